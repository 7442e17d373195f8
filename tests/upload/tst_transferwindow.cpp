#include <QtTest>

#include "upload/transferwindow.h"

// The window against a simulated line: one shared rate for every transfer's
// bytes, then a round trip for the store's answer, each trip a little
// different. Small images on a fast or far line need many transfers at once
// to use the line; large ones fill it with few, and gain nothing from more.
class TstTransferWindow : public QObject
{
    Q_OBJECT

private slots:
    void followsTheLine_data()
    {
        QTest::addColumn<double>("mbit");
        QTest::addColumn<double>("rttMs");
        QTest::addColumn<int>("bytes");
        QTest::addColumn<int>("images");
        QTest::addColumn<double>("minUse"); // of the line's rate, from the first byte to the last answer
        QTest::addColumn<int>("maxLimit");  // where the window ends
        QTest::addColumn<int>("minLimit");
        QTest::newRow("fiber, 200 KB") << 500.0 << 30.0 << 200000 << 2000 << 0.95 << 64 << 16;
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
        QTest::newRow("as much: the larger kept") << 1.0 << 200000 << QList<int>{8, 16, 32, 64};
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
};

QTEST_MAIN(TstTransferWindow)
#include "tst_transferwindow.moc"
