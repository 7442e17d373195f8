#include <QtTest>

#include "orders/orderprogressbar.h"

class TstOrderProgressBar : public QObject
{
    Q_OBJECT

private slots:
    void progress_data();
    void progress();
    void zeroPutsItBackToWaiting();
    void orderWithoutImages();
};

void TstOrderProgressBar::progress_data()
{
    QTest::addColumn<int>("total");
    QTest::addColumn<int>("uploaded");
    QTest::addColumn<QString>("percent");
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("complete");
    QTest::newRow("0 of 10") << 10 << 0 << QString() << "等待上传…" << false;
    QTest::newRow("3 of 10") << 10 << 3 << "30%" << "上传中…" << false;
    QTest::newRow("2 of 3 truncated") << 3 << 2 << "66%" << "上传中…" << false;
    QTest::newRow("10 of 10") << 10 << 10 << "100%" << "上传完成" << true;
    QTest::newRow("more than all") << 10 << 11 << "110%" << "上传完成" << true;
}

void TstOrderProgressBar::progress()
{
    QFETCH(int, total);
    QFETCH(int, uploaded);
    orderProgressBar bar(total);
    QTEST(bar.setProgress(uploaded), "complete");
    QTEST(bar.percentText(), "percent");
    QTEST(bar.statusText(), "status");
    QCOMPARE(bar.value(), qMin(uploaded, total));
}

void TstOrderProgressBar::zeroPutsItBackToWaiting()
{
    orderProgressBar bar(10);
    bar.setProgress(4);
    QVERIFY(!bar.setProgress(0));
    QCOMPARE(bar.percentText(), QString());
    QCOMPARE(bar.statusText(), QStringLiteral("等待上传…"));
}

void TstOrderProgressBar::orderWithoutImages()
{
    orderProgressBar bar(0);
    QCOMPARE(bar.statusText(), QStringLiteral("无需上传"));
    QVERIFY(!bar.setProgress(0));
}

QTEST_MAIN(TstOrderProgressBar)
#include "tst_orderprogressbar.moc"
