#include "core/qttranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "core/logmanager.h"

bool QtTranslation::install()
{
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QStringLiteral("qtbase_zh_CN"), folder)) {
        delete translator;
        LogManager::logWarning(QStringLiteral("Qt中文翻译未找到，Qt自带的对话框将显示英文:%1").arg(folder));
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}
