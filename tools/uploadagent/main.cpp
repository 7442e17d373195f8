#include <cstdio>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "core/apppaths.h"
#include "core/configfile.h"
#include "core/vellruntime.h"
#include "intake/filedigest.h"
#include "net/authentication.h"
#include "net/httputils.h"
#include "upload/awsutils.h"
#include "upload/databasethread.h"
#include "upload/sendlimit.h"
#include "upload/uploadimage.h"

namespace {

// Files as orders the way a checked frame class would be queued: one order
// per 50 files, one single page each.
int enqueue(const QString &folder)
{
    const QFileInfoList files = QDir(folder).entryInfoList(QDir::Files, QDir::Name);
    // One line per stored order, printed as soon as its transaction ended, so
    // a test can kill the agent at a known point of the creation.
    int created = 0;
    const QMetaObject::Connection progress = QObject::connect(
        &DatabaseThread::instance(), &DatabaseThread::orderCreated, &DatabaseThread::instance(),
        [&created](const QString &, bool stored) {
            if (stored)
                std::printf("uploadagent: %d orders created\n", ++created);
            std::fflush(stdout);
        },
        Qt::DirectConnection);
    int queued = 0;
    for (qsizetype start = 0; start < files.size(); start += 50) {
        orderGroup order;
        order.orderNo += QStringLiteral("%1").arg(start / 50, 3, 10, QLatin1Char('0'));
        order.name = QFileInfo(folder).fileName();
        order.productName = QStringLiteral("水晶摆台");
        order.spuID = 1003;
        groupProductImages line;
        line.orderNo = order.orderNo + QStringLiteral("-1");
        line.name = order.name;
        line.skuId = 230101;
        line.skuGroupId = 2301;
        subOrderImages entry;
        entry.pageType = QStringLiteral("SINGLE");
        for (qsizetype i = start; i < qMin(files.size(), start + 50); ++i) {
            imgMess page;
            page.localPath = files.at(i).absoluteFilePath();
            page.name = files.at(i).completeBaseName();
            page.size = files.at(i).size();
            page.imageName = fileMd5Hex(page.localPath);
            entry.addSingle(page);
        }
        line.imageCount = entry.count;
        line.matched.insert(line.skuId, entry);
        order.subOrders = {line};
        order.fileCout = entry.count;
        DatabaseThread::instance().createOrder(order);
        queued += entry.count;
    }
    DatabaseThread::instance().stop();
    QObject::disconnect(progress);
    std::printf("uploadagent: %d files queued\n", queued);
    return 0;
}

} // namespace

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
                        QStringLiteral("5000")},
                       {QStringLiteral("transfers"),
                        QStringLiteral("uploads at once, fixed (default: following the line)"), QStringLiteral("n")},
                       {QStringLiteral("exit-when-done"),
                        QStringLiteral("exit once every image of the queue is recorded as uploaded")},
                       {QStringLiteral("fresh-connections"),
                        QStringLiteral("a new connection for every request, to measure what kept ones save")},
                       {QStringLiteral("enqueue"),
                        QStringLiteral("queue every file of a folder as orders of 50 "
                                       "single pages, then exit"),
                        QStringLiteral("dir")}});
    parser.process(app);

    AppPaths::initialise();
    configFile::readConfig();
    VellRuntime::instance().loadErrorTable();
    if (!HttpUtils::instance().getToken(parser.value(QStringLiteral("phone")),
                                        parser.value(QStringLiteral("password")))) {
        std::fprintf(stderr, "uploadagent: login failed: %s\n", qPrintable(HttpUtils::instance().lastMessage()));
        return 2;
    }
    Authentication::getStoreInfo();
    if (parser.isSet(QStringLiteral("enqueue")))
        return enqueue(parser.value(QStringLiteral("enqueue")));
    if (parser.isSet(QStringLiteral("fresh-connections"))) {
        AwsUtils::Options options = AwsUtils::options();
        options.keepConnections = false;
        AwsUtils::setOptions(options);
    }
    AwsUtils storage;
    storage.initialise();
    // The operator's limit, as the client applies it.
    SendLimit::loadSetting();
    uploadImage scheduler;
    scheduler.setInterval(parser.value(QStringLiteral("interval")).toInt());
    if (parser.isSet(QStringLiteral("transfers"))) {
        const int transfers = parser.value(QStringLiteral("transfers")).toInt();
        scheduler.setTransferRange(transfers, transfers);
    }
    if (parser.isSet(QStringLiteral("exit-when-done"))) {
        // Asked after every recorded outcome, so the end is the moment the
        // last one is in the database, as the operator's list would show it.
        auto &worker = DatabaseThread::instance();
        QObject::connect(&worker, &DatabaseThread::uploadingOrderDate, &app, [&worker] { worker.countQueue(0); });
        QObject::connect(&worker, &DatabaseThread::queueCounted, &app, [&app](const QueueCounts &counts) {
            if (counts.imagesLeft == 0 && counts.imagesOtherAccounts == 0)
                app.quit();
        });
    }
    scheduler.startUploading(false);
    std::printf("uploadagent running\n");
    std::fflush(stdout);
    const int code = app.exec();
    DatabaseThread::instance().stop();
    return code;
}
