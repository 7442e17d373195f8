#include <QApplication>
#include <QFont>
#include <QScreen>

#include "core/apppaths.h"
#include "core/configfile.h"
#include "core/logmanager.h"
#include "core/privatefiles.h"
#include "core/qttranslation.h"
#include "core/singleinstanceguard.h"
#include "core/vellruntime.h"
#include "store/userstore.h"
#include "ui/mainwindow.h"
#include "upload/databasethread.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);

    AppPaths::initialise();
    PrivateFiles::restrict();

    SingleInstanceGuard guard;
    if (!guard.tryAcquire(QCoreApplication::applicationName()))
        return 1;

    QtTranslation::install();
    configFile::readConfig();
    VellRuntime::instance().loadErrorTable();
    UserStore::movePasswordsToKeychain();

    QFont font = QApplication::font();
    font.setFamilies({QStringLiteral("Microsoft YaHei"), QStringLiteral("Microsoft YaHei-Regular")});
    font.setLetterSpacing(QFont::PercentageSpacing, 110);
    font.setStyleStrategy(QFont::PreferAntialias);
    QApplication::setFont(font);

    int code = 0;
    {
        MainWindow window;
        // Without a window manager (a bare X server) the maximise hint alone
        // would leave the window at its form size.
        if (QScreen *screen = QGuiApplication::primaryScreen())
            window.setGeometry(screen->availableGeometry());
        window.showMaximized();
        code = app.exec();
    }
    // Requests queued before the window closed are served before the end.
    DatabaseThread::instance().stop();
    // The exit line would otherwise die in the queue with the process.
    LogManager::instance().flush();
    return code;
}
