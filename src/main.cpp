#include <QApplication>
#include <QFileInfo>
#include <QFont>
#include <QLabel>

#include "core/apppaths.h"
#include "core/configfile.h"
#include "core/singleinstanceguard.h"
#include "core/vellruntime.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);

    AppPaths::initialise();

    SingleInstanceGuard guard;
    if (!guard.tryAcquire(QCoreApplication::applicationName()))
        return 1;

    configFile::readConfig();
    VellRuntime::instance().loadErrorTable();

    QFont font = QApplication::font();
    font.setFamilies({QStringLiteral("Microsoft YaHei"), QStringLiteral("Microsoft YaHei-Regular")});
    font.setLetterSpacing(QFont::PercentageSpacing, 110);
    font.setStyleStrategy(QFont::PreferAntialias);
    QApplication::setFont(font);

    QLabel window(QStringLiteral("%1 %2").arg(QCoreApplication::applicationName(), QStringLiteral(APP_VERSION_TEXT)));
    window.setAlignment(Qt::AlignCenter);
    window.showMaximized();
    return app.exec();
}
