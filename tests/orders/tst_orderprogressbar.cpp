#include <QtTest>

#include "orders/orderprogressbar.h"

class TstOrderProgressBar : public QObject
{
    Q_OBJECT

private slots:
    void progress_data()
    {
        QTest::addColumn<int>("total");
        QTest::addColumn<int>("uploaded");
        QTest::addColumn<QString>("percent");
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("complete");
        QTest::newRow("0 of 10") << 10 << 0 << QString() << "等待上传…" << false;
        QTest::newRow("3 of 10") << 10 << 3 << QStringLiteral("30%") << "上传中…" << false;
        QTest::newRow("2 of 3 truncated") << 3 << 2 << QStringLiteral("66%") << "上传中…" << false;
        QTest::newRow("10 of 10") << 10 << 10 << QStringLiteral("100%") << "上传完成" << true;
        QTest::newRow("more than all") << 10 << 11 << QStringLiteral("110%") << "上传完成" << true;
    }

    void progress()
    {
        QFETCH(int, total);
        QFETCH(int, uploaded);
        orderProgressBar bar(total);
        QTEST(bar.setProgress(uploaded), "complete");
        QTEST(bar.percentText(), "percent");
        QTEST(bar.statusText(), "status");
        QCOMPARE(bar.value(), qMin(uploaded, total));
    }
};

QTEST_MAIN(TstOrderProgressBar)
#include "tst_orderprogressbar.moc"
