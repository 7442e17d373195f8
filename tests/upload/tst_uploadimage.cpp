#include <QtTest>
class T : public QObject { Q_OBJECT private slots: void x() { QVERIFY(true); } };
QTEST_GUILESS_MAIN(T)
#include "tst_uploadimage.moc"
