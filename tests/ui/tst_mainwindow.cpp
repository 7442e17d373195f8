#include <QCloseEvent>
#include <QStackedWidget>
#include <QTableWidget>
#include <QThreadPool>
#include <QtTest>
#include <atomic>

#include "core/apppaths.h"
#include "core/configfile.h"
#include "net/httputils.h"
#include "orders/producttablewidget.h"
#include "store/shareddatabase.h"
#include "support/backendprocess.h"
#include "support/catalogue.h"
#include "support/clientenvironment.h"
#include "support/dialoganswer.h"
#include "support/logfile.h"
#include "support/orderbuilder.h"
#include "support/urlcatcher.h"
#include "ui/mainwindow.h"
#include "ui/neworderwid.h"
#include "upload/databasethread.h"
#include "upload/uploadimage.h"

// The main window offscreen against the local backend.
class TstMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_backend.start());
        QVERIFY(
            m_env.setUp(QJsonObject{{"baseUrl", m_backend.baseUrl()}, {"baseUrlW", m_backend.baseUrl() + "wedding/"}}));
        QVERIFY(m_catalogue.load());
    }

    void cleanupTestCase() { DatabaseThread::instance().stop(); }

    void loginLogoutRefusedWhileUploadsRunThenAnotherStore()
    {
        MainWindow window;
        QCOMPARE(window.windowTitle(), QStringLiteral("印品订单上传(2.1.1.0)"));
        QVERIFY(HttpUtils::instance().getToken("13800000001", "demo1234"));
        window.loginOK();
        QCOMPARE(window.windowTitle(), QStringLiteral("星光影楼（本地演示）(2.1.1.0)"));
        QCOMPARE(window.findChild<QStackedWidget *>("stackedWidget")->currentIndex(), 1);
        QVERIFY(window.scheduler()->isPolling());

        // A running check task keeps the operator in.
        std::atomic<bool> release{false};
        QThreadPool::globalInstance()->start([&release] {
            while (!release)
                QThread::msleep(5);
        });
        QTRY_VERIFY(QThreadPool::globalInstance()->activeThreadCount() > 0);
        {
            DialogAnswer answer(QStringLiteral("我知道了"));
            window.loginOutFun();
            QCOMPARE(answer.seen, QStringList{QStringLiteral("正在上传文件夹，请勿退出。")});
            QCOMPARE(window.findChild<QStackedWidget *>("stackedWidget")->currentIndex(), 1);
            QCloseEvent event;
            QApplication::sendEvent(&window, &event);
            QVERIFY(!event.isAccepted());
            QTRY_COMPARE(answer.seen.size(), 2);
            QCOMPARE(answer.seen.last(), QStringLiteral("正在上传文件夹，请勿关闭。"));
        }
        release = true;
        QThreadPool::globalInstance()->waitForDone();
        window.loginOutFun();
        QCOMPARE(window.findChild<QStackedWidget *>("stackedWidget")->currentIndex(), 0);
        QVERIFY(testlog::texts().contains(QStringLiteral("退出登录:星光影楼（本地演示）")));

        // The next operator's store is a later-stage one, with its own home page.
        QVERIFY(HttpUtils::instance().getToken("13800000003", "later-stage"));
        window.loginOK();
        m_urls.opened.clear();
        window.openWeb();
        QCOMPARE(m_urls.opened, QList<QUrl>{QUrl(m_backend.baseUrl() + "wedding/")});
        configFile::switchBackend(true);
    }

    // What the tour's drops cannot reach: a drop before a product is chosen,
    // and a link without a local folder, which must not read the working folder.
    void droppedFolderRefusals()
    {
        MainWindow window;
        auto *page = window.findChild<neworderwid *>("checkProductWid");
        DialogAnswer answer(QStringLiteral("我知道了"));
        QVERIFY(!page->handleFolder(QDir::currentPath()));
        page->setProduct(m_catalogue.productForGroup(1001, 2101), StoreTerms());
        QVERIFY(!page->handleFolder(QString()));
        QCOMPARE(answer.seen, (QStringList{QStringLiteral("请选择产品"),
                                           QStringLiteral("产品层次有问题，请参照示例图组织产品层次")}));
        QCOMPARE(window.list(0)->table()->rowCount(), 0);
    }

    void closeAsksAccordingToTheNewOrders()
    {
        MainWindow window;
        groupProductImages record = orderbuilder::line("C-001", "张三", 1, 2, 0, 1);
        record.className = QStringLiteral("一班");
        // What the window asked and whether it closed.
        const auto close = [&window](const QString &button) {
            DialogAnswer answer(button);
            QCloseEvent event;
            QApplication::sendEvent(&window, &event);
            return answer.seen.join(QLatin1Char('|')) + (event.isAccepted() ? " closed" : " open");
        };
        QCOMPARE(close(QStringLiteral("取消")), QStringLiteral("确定要退出应用系统吗? open"));
        window.list(0)->addGroupRow(record.className, &record);
        QCOMPARE(close(QStringLiteral("否")), QStringLiteral("文件夹已匹配未上传,是否确定关闭? open"));
        QVERIFY(testlog::texts().filter(QStringLiteral("退出应用")).isEmpty());
        QCOMPARE(close(QStringLiteral("是")), QStringLiteral("文件夹已匹配未上传,是否确定关闭? closed"));
        QVERIFY(testlog::texts().contains(QStringLiteral("退出应用")));
    }

    void databaseKeptAsideIsTold()
    {
        sharedDatabase().close();
        QFile file(AppPaths::databaseFile());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("damaged").repeated(100));
        file.close();
        QVERIFY(ensureDatabase(sharedDatabase()));
        DialogAnswer answer(QStringLiteral("我知道了"));
        MainWindow window;
        QTRY_COMPARE(answer.seen.size(), 1);
        QVERIFY(answer.seen.first().contains(QStringLiteral("本地数据库已损坏，原文件已另存为")));
        QVERIFY(answer.seen.first().contains(QDir::toNativeSeparators(AppPaths::databaseFile()) + ".broken-"));
    }

private:
    BackendProcess m_backend;
    ClientEnvironment m_env;
    Catalogue m_catalogue;
    UrlCatcher m_urls;
};

QTEST_MAIN(TstMainWindow)
#include "tst_mainwindow.moc"
