#include <QSpinBox>
#include <QtTest>

#include "core/apppaths.h"
#include "orders/uploadlimitbox.h"
#include "upload/queueprogress.h"
#include "upload/sendlimit.h"

// The operator's upload limit: one schedule for all transfers together, and
// the setting that survives a restart.
class TstSendLimit : public QObject
{
    Q_OBJECT

private slots:
    void allTransfersTogether_data()
    {
        QTest::addColumn<int>("transfers");
        QTest::addColumn<int>("chunk");
        QTest::addColumn<int>("pauseMs"); // before the first reservation
        QTest::newRow("one transfer") << 1 << 16384 << 0;
        QTest::newRow("eight transfers") << 8 << 16384 << 0;
        QTest::newRow("thirty-two, small turns") << 32 << 1024 << 0;
        QTest::newRow("after a long pause") << 4 << 16384 << 5000;
    }

    // Each transfer asks again as soon as its last turn has gone; whatever
    // their number, the bytes of all of them take the limit's time, less at
    // most the short burst a pause lends.
    void allTransfersTogether()
    {
        QFETCH(int, transfers);
        QFETCH(int, chunk);
        QFETCH(int, pauseMs);
        const double rate = 1e6; // bytes a second
        SendLimit::Schedule schedule(rate);
        const qint64 begin = qint64(pauseMs) * 1'000'000;
        QList<qint64> next(transfers, begin);
        qint64 last = 0;
        qint64 bytes = 0;
        for (int i = 0; i < 400; ++i) {
            const int t = i % transfers;
            const qint64 start = schedule.reserve(chunk, next[t]);
            QVERIFY(start >= next[t] - SendLimit::Schedule::kBurstNs);
            QVERIFY(start >= last);
            last = start;
            bytes += chunk;
            next[t] = start + qint64(chunk * 1e9 / rate);
        }
        const double taken = double(last - begin) + chunk * 1e9 / rate;
        const double due = bytes * 1e9 / rate;
        QVERIFY2(taken >= due - SendLimit::Schedule::kBurstNs && taken <= due * 1.01,
                 qPrintable(QStringLiteral("%1 ms for %2 ms of the limit").arg(taken / 1e6).arg(due / 1e6)));
    }

    // Set on the page, kept in Setting.ini, applied at once and at the next
    // start, and told on the queue line; 0 lifts it.
    void settingSurvivesAndShows()
    {
        QTemporaryDir dir;
        AppPaths::setAppDataDir(dir.path());
        // Set on a page that is closed at once.
        UploadLimitBox().findChild<QSpinBox *>(QStringLiteral("uploadLimit"))->setValue(20);
        QCOMPARE(QSettings(dir.filePath("Setting.ini"), QSettings::IniFormat).value("UploadLimitMbit").toInt(), 20);
        SendLimit::setMbit(0);
        UploadLimitBox box;
        QCOMPARE(SendLimit::mbit(), 20.0);
        QCOMPARE(box.findChild<QSpinBox *>(QStringLiteral("uploadLimit"))->value(), 20);
        QVERIFY(QueueProgress(0).text().contains(QStringLiteral("限速 20 Mbit/s")));
        QVERIFY(SendLimit::chunkBytes() > 0);
        box.findChild<QSpinBox *>(QStringLiteral("uploadLimit"))->setValue(0);
        QCOMPARE(SendLimit::chunkBytes(), 0);
        QVERIFY(!QueueProgress(0).text().contains(QStringLiteral("限速")));
    }
};

QTEST_MAIN(TstSendLimit)
#include "tst_sendlimit.moc"
