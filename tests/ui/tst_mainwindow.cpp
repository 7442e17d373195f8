#include <QCloseEvent>
#include <QSemaphore>
#include <QStackedWidget>
#include <QTableWidget>
#include <QThreadPool>
#include <QtTest>

#include "core/apppaths.h"
#include "core/configfile.h"
#include "net/httputils.h"
#include "orders/producttablewidget.h"
#include "store/shareddatabase.h"
#include "support/backendprocess.h"
#include "support/clientenvironment.h"
#include "support/dialoganswer.h"
#include "support/logfile.h"
#include "support/orderbuilder.h"
#include "support/urlcatcher.h"
#include "ui/mainwindow.h"
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
    }

    void cleanupTestCase() { DatabaseThread::instance().stop(); }

    void loginLogoutRefusedWhileUploadsRunThenAnotherStore()
    {
        MainWindow window;
        auto *pages = window.findChild<QStackedWidget *>("stackedWidget");
        QCOMPARE(window.windowTitle(), QStringLiteral("印品订单上传(2.1.1.0)"));
        QVERIFY(HttpUtils::instance().getToken("13800000001", "demo1234"));
        window.loginOK();
        QCOMPARE(window.windowTitle(), QStringLiteral("星光影楼（本地演示）(2.1.1.0)"));
        QVERIFY(window.scheduler()->isPolling());

        // A running check task keeps the operator in.
        QSemaphore release;
        QThreadPool::globalInstance()->start([&release] { release.acquire(); });
        {
            DialogAnswer answer(QStringLiteral("我知道了"));
            window.loginOutFun();
            QCOMPARE(answer.seen, QStringList{QStringLiteral("正在上传文件夹，请勿退出。")});
            QCOMPARE(pages->currentIndex(), 1);
        }
        QCOMPARE(close(window, QStringLiteral("我知道了")), QStringLiteral("正在上传文件夹，请勿关闭。 open"));
        release.release();
        QThreadPool::globalInstance()->waitForDone();
        window.loginOutFun();
        QCOMPARE(pages->currentIndex(), 0);
        QVERIFY(testlog::texts().contains(QStringLiteral("退出登录:星光影楼（本地演示）")));

        // The next operator's store is a later-stage one, with its own home page.
        QVERIFY(HttpUtils::instance().getToken("13800000003", "later-stage"));
        window.loginOK();
        m_urls.opened.clear();
        window.openWeb();
        QCOMPARE(m_urls.opened, QList<QUrl>{QUrl(m_backend.baseUrl() + "wedding/")});
        configFile::switchBackend(true);
    }

    void closeAsksAccordingToTheNewOrders()
    {
        MainWindow window;
        groupProductImages record = orderbuilder::line("C-001", "张三", 1, 2, 0, 1);
        QCOMPARE(close(window, QStringLiteral("取消")), QStringLiteral("确定要退出应用系统吗? open"));
        window.list(0)->addGroupRow(QStringLiteral("一班"), &record);
        QCOMPARE(close(window, QStringLiteral("否")), QStringLiteral("文件夹已匹配未上传,是否确定关闭? open"));
        QCOMPARE(close(window, QStringLiteral("是")), QStringLiteral("文件夹已匹配未上传,是否确定关闭? closed"));
        // Logged once: on the close that was accepted.
        QCOMPARE(testlog::texts().count(QStringLiteral("退出应用")), 1);
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
    // What the window asked when closed with `button` answering, and whether it closed.
    static QString close(MainWindow &window, const QString &button)
    {
        DialogAnswer answer(button);
        QCloseEvent event;
        QApplication::sendEvent(&window, &event);
        return answer.seen.join(QLatin1Char('|')) + (event.isAccepted() ? " closed" : " open");
    }

    BackendProcess m_backend;
    ClientEnvironment m_env;
    UrlCatcher m_urls;
};

QTEST_MAIN(TstMainWindow)
#include "tst_mainwindow.moc"
