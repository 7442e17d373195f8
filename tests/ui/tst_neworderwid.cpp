#include <QComboBox>
#include <QCompleter>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QtTest>

#include "net/httputils.h"
#include "support/backendprocess.h"
#include "support/clientenvironment.h"
#include "support/dialoganswer.h"
#include "ui/neworderwid.h"
#include "upload/databasethread.h"

// Product search and choice on the new-order page against the local backend.
class TstNewOrderWid : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void singleValuesShowTheSizesAtOnce();
    void malformedProductIsNamed_data();
    void malformedProductIsNamed();

private:
    void type(neworderwid &page, const QString &text);

    BackendProcess m_backend;
    ClientEnvironment m_env;
};

void TstNewOrderWid::initTestCase()
{
    QVERIFY(m_backend.start());
    QVERIFY(m_env.setUp(QJsonObject{{"baseUrl", m_backend.baseUrl()}}));
    QVERIFY(HttpUtils::instance().getToken("13800000001", "demo1234"));
}

void TstNewOrderWid::cleanupTestCase()
{
    DatabaseThread::instance().stop();
}

void TstNewOrderWid::type(neworderwid &page, const QString &text)
{
    auto *edit = page.findChild<QLineEdit *>("selectProductEdit");
    edit->setText(text);
    page.on_selectProductEdit_textEdited(text);
}

void TstNewOrderWid::singleValuesShowTheSizesAtOnce()
{
    neworderwid page;
    type(page, QStringLiteral("首尾页纪念册"));
    page.on_selectBtn_clicked();
    QVERIFY(page.isReady());
    QVERIFY(page.specLines().first().contains(QStringLiteral("首尾页尺寸: 203*206mm(含出血)")));
    QCOMPARE(page.findChild<QLabel *>("suportPages")->text(),
             QStringLiteral("支持P数:10P,12P,14P,16P,18P,20P,22P,24P,26P,28P,30P,"));
}

void TstNewOrderWid::malformedProductIsNamed_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("problem");
    QTest::newRow("data null") << QByteArray("null") << "data 不是对象: null";
    QTest::newRow("group id as string")
        << QByteArray(R"({"spuName": "首尾页纪念册", "skuGroupList": [{"id": "2201", "skuList": []}]})")
        << "SKU组的 id 不对: {";
    QTest::newRow("maxPage at the 32-bit limit")
        << QByteArray(R"({"skuGroupList": [{"id": 2201, "skuList": [{"id": 220101, "skuFrontName": "纪念册",
                      "basePage": 10, "maxPage": 2147483647, "baseStep": 2}]}]})")
        << "规格「纪念册」的P数范围不对(起始10P，最大2147483647P，步长2；P数须在1到1000之间)";
}

void TstNewOrderWid::malformedProductIsNamed()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, problem);
    m_backend.reset();
    m_backend.control(QStringLiteral("fault"),
                      QJsonObject{{"path", "pms/open/spu/query/"},
                                  {"kind", "answer"},
                                  {"times", -1},
                                  {"body", QString::fromUtf8(R"({"code": 200, "success": true, "data": )" + data
                                                             + "}")}});
    neworderwid page;
    type(page, QStringLiteral("首尾页纪念册"));
    DialogAnswer answer(QStringLiteral("我知道了"));
    page.on_selectBtn_clicked();
    m_backend.reset();
    QCOMPARE(answer.seen.size(), 1);
    QVERIFY2(answer.seen.first().contains(QStringLiteral("产品数据有误，请联系客服: ") + problem),
             qPrintable(answer.seen.first()));
    QVERIFY(!page.isReady());
}

QTEST_MAIN(TstNewOrderWid)
#include "tst_neworderwid.moc"
