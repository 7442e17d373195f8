#include <QSpinBox>
#include <QtTest>

#include "core/apppaths.h"
#include "orders/uploadlimitbox.h"
#include "upload/queueprogress.h"
#include "upload/sendlimit.h"
#include "upload/transferwindow.h"

namespace {

constexpr qint64 kMB = 1024 * 1024;

QueueCounts counts(int imagesDone, int imagesLeft, qint64 mbDone, qint64 mbLeft, int otherAccounts = 0)
{
    return QueueCounts{imagesDone, imagesLeft, mbDone * kMB, mbLeft * kMB, otherAccounts};
}

} // namespace

// The pace of the queue: the queue line's arithmetic, the window of
// transfers at once against a simulated line, and the operator's upload limit.
class TstUploadPace : public QObject
{
    Q_OBJECT

private slots:
    // Counts read once a second become totals, a smoothed speed and the time left.
    void progress_data()
    {
        // Counts taken stepMs apart.
        QTest::addColumn<QList<QueueCounts>>("samples");
        QTest::addColumn<qint64>("stepMs");
        QTest::addColumn<double>("mbPerSecond");    // negative: none yet
        QTest::addColumn<double>("mbPerSecondMax"); // above mbPerSecond: the speed lies between
        QTest::addColumn<qint64>("secondsLeft");
        QTest::addColumn<QString>("text");
        QTest::newRow("steady 10 MB/s") << QList<QueueCounts>{counts(0, 100, 0, 500), counts(2, 98, 10, 490),
                                                              counts(4, 96, 20, 480)}
                                        << qint64(1000) << 10.0 << 10.0 << qint64(48)
                                        << "全部队列：4/100 张，20.0/500.0 MB，速度 10.0 MB/s，预计剩余 48秒";
        // Small images: the per-image rate binds, not the bytes.
        QTest::newRow("images bind") << QList<QueueCounts>{counts(0, 600, 0, 6), counts(1, 599, 1, 5)} << qint64(1000)
                                     << 1.0 << 1.0 << qint64(599)
                                     << "全部队列：1/600 张，1.0/6.0 MB，速度 1.0 MB/s，预计剩余 9分59秒";
        // One fast second moves the speed only part of the way.
        QTest::newRow("spike is smoothed")
            << QList<QueueCounts>{counts(0, 100, 0, 500), counts(1, 99, 10, 490), counts(2, 98, 110, 390)}
            << qint64(1000) << 10.5 << 55.0 << qint64(-2) << QString();
        // Counts closer than a second keep the speed of the last full second.
        QTest::newRow("too close for a rate")
            << QList<QueueCounts>{counts(0, 100, 0, 500), counts(1, 99, 50, 450)} << qint64(400) << -1.0 << -1.0
            << qint64(-1) << "全部队列：1/100 张，50.0/500.0 MB，速度 —，预计剩余 计算中";
        QTest::newRow("drained") << QList<QueueCounts>{counts(0, 100, 0, 500), counts(100, 0, 500, 0)} << qint64(1000)
                                 << -1.0 << -1.0 << qint64(0) << "全部图片已上传";
        // Another store account's images wait for its login; they are told, not counted.
        QTest::newRow("others wait, nothing of ours")
            << QList<QueueCounts>{counts(0, 0, 0, 0, 3)} << qint64(1000) << -1.0 << -1.0 << qint64(0)
            << "没有等待上传的图片；另有3张图片属于其他账号，该账号登录后上传";
        QTest::newRow("others wait beside ours")
            << QList<QueueCounts>{counts(0, 100, 0, 500, 7)} << qint64(1000) << -1.0 << -1.0 << qint64(-1)
            << "全部队列：0/100 张，0.0/500.0 MB，速度 —，预计剩余 计算中；另有7张图片属于其他账号，该账号登录后上传";
    }

    void progress()
    {
        QFETCH(QList<QueueCounts>, samples);
        QFETCH(qint64, stepMs);
        QFETCH(double, mbPerSecond);
        QFETCH(double, mbPerSecondMax);
        QFETCH(qint64, secondsLeft);
        QFETCH(QString, text);
        const qint64 start = 1'700'000'000'000;
        QueueProgress progress(start / 1000 - 60);
        for (int i = 0; i < samples.size(); ++i)
            progress.add(samples.at(i), start + i * stepMs);
        if (mbPerSecond < 0)
            QCOMPARE(progress.bytesPerSecond(), -1.0);
        else
            QVERIFY2(progress.bytesPerSecond() / kMB > mbPerSecond - 1e-6
                         && progress.bytesPerSecond() / kMB < mbPerSecondMax + 1e-6,
                     qPrintable(QString::number(progress.bytesPerSecond() / kMB)));
        if (secondsLeft != -2)
            QCOMPARE(progress.secondsLeft(), secondsLeft);
        if (!text.isEmpty())
            QCOMPARE(progress.text(), text);
        // A drained queue starts the next run at its last count.
        const qint64 lastSecs = (start + (samples.size() - 1) * stepMs) / 1000;
        QCOMPARE(progress.runStart(), samples.last().imagesLeft == 0 ? lastSecs : start / 1000 - 60);
    }

    // The window against a simulated line: one shared rate for every
    // transfer's bytes, then a round trip for the store's answer, each trip a
    // little different. Small images on a fast or far line need many
    // transfers at once to use the line; large ones fill it with few, and
    // gain nothing from more.
    void followsTheLine_data()
    {
        QTest::addColumn<double>("mbit");
        QTest::addColumn<double>("rttMs");
        QTest::addColumn<int>("bytes");
        QTest::addColumn<int>("images");
        QTest::addColumn<double>("minUse"); // of the line's rate, from the first byte to the last answer
        QTest::addColumn<int>("maxLimit");  // where the window ends
        QTest::addColumn<int>("minLimit");
        QTest::newRow("far store, 200 KB") << 100.0 << 150.0 << 200000 << 300 << 0.86 << 64 << 16;
        QTest::newRow("office, 200 KB") << 100.0 << 40.0 << 200000 << 1000 << 0.95 << 64 << 32;
        QTest::newRow("office, 5 MB") << 100.0 << 40.0 << 5000000 << 60 << 0.95 << 16 << 8;
        // Ends probing a size it will step back from.
        QTest::newRow("slow line, 5 MB") << 10.0 << 50.0 << 5000000 << 20 << 0.95 << 16 << 8;
        QTest::newRow("local network, 200 KB") << 1000.0 << 1.0 << 200000 << 3000 << 0.95 << 64 << 8;
    }

    void followsTheLine()
    {
        QFETCH(double, mbit);
        QFETCH(double, rttMs);
        QFETCH(int, bytes);
        QFETCH(int, images);
        QFETCH(double, minUse);
        QFETCH(int, maxLimit);
        QFETCH(int, minLimit);
        struct Transfer
        {
            double left;   // bytes still to send
            double answer; // ms until the answer arrives, once sent
        };
        QRandomGenerator random(7);
        TransferWindow window;
        const double bytesPerMs = mbit * 1e6 / 8 / 1000;
        const double step = qBound(0.01, rttMs / 20, 0.5);
        QList<Transfer> running;
        int started = 0;
        int done = 0;
        double now = 0;
        while (done < images) {
            while (running.size() < window.limit() && started < images) {
                running << Transfer{double(bytes), rttMs * (0.85 + 0.3 * random.generateDouble())};
                ++started;
            }
            int sending = 0;
            for (const Transfer &t : std::as_const(running))
                sending += t.left > 0 ? 1 : 0;
            const double share = bytesPerMs * step / qMax(1, sending);
            for (int i = 0; i < running.size();) {
                Transfer &t = running[i];
                if (t.left > 0) {
                    t.left -= share;
                } else if ((t.answer -= step) <= 0) {
                    running.removeAt(i);
                    ++done;
                    window.finished(bytes, qint64(now), started < images);
                    QVERIFY(window.limit() >= TransferWindow::kMin && window.limit() <= TransferWindow::kMax);
                    continue;
                }
                ++i;
            }
            now += step;
        }
        const double use = double(images) * bytes / bytesPerMs / now;
        QVERIFY2(use >= minUse,
                 qPrintable(QStringLiteral("line use %1, window %2").arg(use, 0, 'f', 2).arg(window.limit())));
        QVERIFY2(window.limit() <= maxLimit && window.limit() >= minLimit,
                 qPrintable(QStringLiteral("window %1").arg(window.limit())));
    }

    // The sizes the window takes when every size moves `gain` times the bytes
    // a second of the size half as large; leases follow it: the threshold
    // above what runs, so a slot never waits for a lease, and a lease at
    // least the threshold. A pinned window stays where it is put.
    void sizesFollowTheRate_data()
    {
        QTest::addColumn<double>("gain");
        QTest::addColumn<int>("bytes");
        QTest::addColumn<QList<int>>("sizes"); // the first five
        QTest::newRow("twice as much: leaps") << 2.0 << 200000 << QList<int>{8, 16, 64};
        QTest::newRow("more at every size") << 1.3 << 200000 << QList<int>{8, 16, 32, 64};
        QTest::newRow("a little less: kept") << 0.9 << 200000 << QList<int>{8, 16, 32, 64};
        QTest::newRow("less: back, and probing") << 0.8 << 200000 << QList<int>{8, 16, 8, 16, 8};
        QTest::newRow("5 MB images: few in flight") << 2.0 << 5000000 << QList<int>{8, 13};
    }

    void sizesFollowTheRate()
    {
        QFETCH(double, gain);
        QFETCH(int, bytes);
        TransferWindow window;
        QList<int> sizes;
        qint64 nowUs = 0;
        for (int i = 0; i < 20000 && sizes.size() < 5; ++i) {
            if (sizes.isEmpty() || sizes.last() != window.limit())
                sizes << window.limit();
            QVERIFY(window.leaseThreshold() > window.limit());
            QVERIFY(window.leaseSize() >= window.leaseThreshold());
            // 8 at once move an image every 10 ms.
            nowUs += qint64(10000 / std::pow(gain, std::log2(window.limit() / 8.0)));
            window.finished(bytes, nowUs / 1000, true);
        }
        QTEST(sizes, "sizes");
        window.setRange(16, 16);
        for (int i = 0; i < 200; ++i)
            window.finished(bytes, (nowUs += 1000 * (i % 7)) / 1000, true);
        QCOMPARE(window.limit(), 16);
    }

    // The operator's limit: one schedule for all transfers together, and the
    // setting that survives a restart. Last: the queue line tells the limit.
    void allTransfersTogether_data()
    {
        QTest::addColumn<int>("transfers");
        QTest::addColumn<int>("pauseMs"); // before the first reservation
        QTest::newRow("one transfer") << 1 << 0;
        QTest::newRow("eight transfers") << 8 << 0;
        QTest::newRow("after a long pause") << 4 << 5000;
    }

    // Each transfer asks again as soon as its last turn has gone; whatever
    // their number, the bytes of all of them take the limit's time, less at
    // most the short burst a pause lends.
    void allTransfersTogether()
    {
        QFETCH(int, transfers);
        QFETCH(int, pauseMs);
        const int chunk = 16384;
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

QTEST_MAIN(TstUploadPace)
#include "tst_uploadpace.moc"
