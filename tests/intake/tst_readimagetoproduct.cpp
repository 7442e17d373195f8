#include <QtTest>
class TstReadImageToProduct : public QObject { Q_OBJECT private slots: void placeholder() { QVERIFY(true); } };
QTEST_GUILESS_MAIN(TstReadImageToProduct)
#include "tst_readimagetoproduct.moc"
