#include <cstdio>

#include <QCommandLineParser>
#include <QCoreApplication>

#include "core/apppaths.h"
#include "core/configfile.h"
#include "core/vellruntime.h"
#include "net/authentication.h"
#include "net/httputils.h"
#include "upload/awsutils.h"
#include "upload/databasethread.h"
#include "upload/uploadimage.h"

// uploadagent: the client's upload pipeline without its windows. Logs in with
// the working folder's data/config.json and uploads what the local queue
// holds until stopped. Used by the crash test and the upload benchmark.
int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orderdesk"));
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOptions({{QStringLiteral("phone"), QStringLiteral("store account"), QStringLiteral("phone"),
                        QStringLiteral("13800000001")},
                       {QStringLiteral("password"), QStringLiteral("its password"), QStringLiteral("password"),
                        QStringLiteral("demo1234")},
                       {QStringLiteral("interval"), QStringLiteral("polling interval in ms"), QStringLiteral("ms"),
                        QStringLiteral("5000")}});
    parser.process(app);

    AppPaths::initialise();
    configFile::readConfig();
    VellRuntime::instance().loadErrorTable();
    if (!HttpUtils::instance().getToken(parser.value(QStringLiteral("phone")), parser.value(QStringLiteral("password")))) {
        std::fprintf(stderr, "uploadagent: login failed: %s\n", qPrintable(HttpUtils::instance().lastMessage()));
        return 2;
    }
    Authentication::getStoreInfo();
    AwsUtils storage;
    storage.initialise();
    uploadImage scheduler;
    scheduler.setInterval(parser.value(QStringLiteral("interval")).toInt());
    scheduler.startUploading(false);
    std::printf("uploadagent running\n");
    std::fflush(stdout);
    const int code = app.exec();
    DatabaseThread::instance().stop();
    return code;
}
