#include <QtTest>

#include "upload/queueprogress.h"

// The queue line's arithmetic: counts read once a second become totals, a
// smoothed speed and the time left.
class TstQueueProgress : public QObject
{
    Q_OBJECT

private slots:
    void progress_data();
    void progress();
};

namespace {

constexpr qint64 kMB = 1024 * 1024;

QueueCounts counts(int imagesDone, int imagesLeft, qint64 mbDone, qint64 mbLeft, int otherAccounts = 0)
{
    return QueueCounts{imagesDone, imagesLeft, mbDone * kMB, mbLeft * kMB, otherAccounts};
}

} // namespace

void TstQueueProgress::progress_data()
{
    // Counts at t = 0, 1, 2 ... seconds (a row of -1 images is skipped).
    QTest::addColumn<QList<QueueCounts>>("samples");
    QTest::addColumn<qint64>("stepMs");
    QTest::addColumn<double>("mbPerSecond");    // negative: none yet
    QTest::addColumn<double>("mbPerSecondMax"); // above mbPerSecond: the speed lies between
    QTest::addColumn<qint64>("secondsLeft");
    QTest::addColumn<QString>("text");
    QTest::newRow("first count: no speed") << QList<QueueCounts>{counts(0, 100, 0, 500)} << qint64(1000) << -1.0 << -1.0
                                           << qint64(-1) << "全部队列：0/100 张，0.0/500.0 MB，速度 —，预计剩余 计算中";
    QTest::newRow("steady 10 MB/s") << QList<QueueCounts>{counts(0, 100, 0, 500), counts(2, 98, 10, 490),
                                                          counts(4, 96, 20, 480)}
                                    << qint64(1000) << 10.0 << 10.0 << qint64(48)
                                    << "全部队列：4/100 张，20.0/500.0 MB，速度 10.0 MB/s，预计剩余 48秒";
    // Small images: the per-image rate binds, not the bytes.
    QTest::newRow("images bind") << QList<QueueCounts>{counts(0, 600, 0, 6), counts(1, 599, 1, 5)} << qint64(1000)
                                 << 1.0 << 1.0 << qint64(599)
                                 << "全部队列：1/600 张，1.0/6.0 MB，速度 1.0 MB/s，预计剩余 9分59秒";
    // One fast second moves the speed only part of the way.
    QTest::newRow("spike is smoothed") << QList<QueueCounts>{counts(0, 100, 0, 500), counts(1, 99, 10, 490),
                                                             counts(2, 98, 110, 390)}
                                       << qint64(1000) << 10.5 << 55.0 << qint64(-2) << QString();
    // Counts closer than a second keep the speed of the last full second.
    QTest::newRow("too close for a rate")
        << QList<QueueCounts>{counts(0, 100, 0, 500), counts(1, 99, 50, 450)} << qint64(400) << -1.0 << -1.0
        << qint64(-1) << "全部队列：1/100 张，50.0/500.0 MB，速度 —，预计剩余 计算中";
    QTest::newRow("drained") << QList<QueueCounts>{counts(0, 100, 0, 500), counts(100, 0, 500, 0)} << qint64(1000)
                             << -1.0 << -1.0 << qint64(0) << "全部图片已上传";
    QTest::newRow("nothing queued") << QList<QueueCounts>{counts(0, 0, 0, 0)} << qint64(1000) << -1.0 << -1.0
                                    << qint64(0) << "没有等待上传的图片";
    // Another store account's images wait for its login; they are told, not counted.
    QTest::newRow("others wait, nothing of ours")
        << QList<QueueCounts>{counts(0, 0, 0, 0, 3)} << qint64(1000) << -1.0 << -1.0 << qint64(0)
        << "没有等待上传的图片；另有3张图片属于其他账号，该账号登录后上传";
    QTest::newRow("others wait beside ours")
        << QList<QueueCounts>{counts(0, 100, 0, 500, 7)} << qint64(1000) << -1.0 << -1.0 << qint64(-1)
        << "全部队列：0/100 张，0.0/500.0 MB，速度 —，预计剩余 计算中；另有7张图片属于其他账号，该账号登录后上传";
}

void TstQueueProgress::progress()
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

QTEST_APPLESS_MAIN(TstQueueProgress)
#include "tst_queueprogress.moc"
