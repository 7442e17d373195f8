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
    void oneCharacterSendsNothing();
    void chooseProductAndProperties();
    void unknownNameIsRefused();
    void singleValuesShowTheSpecificationAtOnce();

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

void TstNewOrderWid::oneCharacterSendsNothing()
{
    neworderwid page;
    m_backend.reset();
    type(page, QStringLiteral("相"));
    QVERIFY(m_backend.requests().isEmpty());
    type(page, QStringLiteral("相册"));
    QCOMPARE(m_backend.paths().size(), 1);
    QVERIFY(m_backend.paths().first().startsWith("pms/open/spu/listForSearch/20001/"));
}

void TstNewOrderWid::chooseProductAndProperties()
{
    neworderwid page;
    type(page, QStringLiteral("经典对裱相册"));
    page.on_selectBtn_clicked();
    const QList<QComboBox *> combos = page.findChildren<QComboBox *>();
    QCOMPARE(combos.size(), 2);
    QCOMPARE(combos.first()->lineEdit()->placeholderText(), QStringLiteral("选择尺寸"));
    QVERIFY(!page.isReady());
    QCOMPARE(page.findChild<QStackedWidget *>("stackedWidget")->currentIndex(), 0);

    combos.at(0)->setCurrentIndex(0);  // 8寸
    QVERIFY(!page.isReady());
    combos.at(1)->setCurrentIndex(1);  // crystal
    QVERIFY(page.isReady());
    QCOMPARE(page.product().currentGroup.id, 2102);
    QCOMPARE(page.specLines().size(), 1);
    QVERIFY(page.specLines().first().contains(QStringLiteral("封面尺寸: 209*209mm(含出血)")));
    QCOMPARE(page.findChild<QStackedWidget *>("stackedWidget")->currentIndex(), 2);
    QVERIFY(page.findChild<QLabel *>("linkTextWithFord")->text().startsWith(QStringLiteral("单册示例：")));

    // Editing the search text puts the page back to its start.
    type(page, QStringLiteral("经典"));
    QVERIFY(!page.isReady());
    QVERIFY(page.findChildren<QComboBox *>().isEmpty());
}

void TstNewOrderWid::unknownNameIsRefused()
{
    neworderwid page;
    page.findChild<QLineEdit *>("selectProductEdit")->setText(QStringLiteral("不存在的产品"));
    DialogAnswer answer(QStringLiteral("我知道了"));
    page.on_selectBtn_clicked();
    QCOMPARE(answer.seen, QStringList{QStringLiteral("请输入准确产品名字")});
}

void TstNewOrderWid::singleValuesShowTheSpecificationAtOnce()
{
    neworderwid page;
    type(page, QStringLiteral("首尾页纪念册"));
    page.on_selectBtn_clicked();
    QVERIFY(page.isReady());
    QVERIFY(page.specLines().first().contains(QStringLiteral("首尾页尺寸: 203*206mm(含出血)")));
    QCOMPARE(page.findChild<QLabel *>("suportPages")->text(),
             QStringLiteral("支持P数:10P,12P,14P,16P,18P,20P,22P,24P,26P,28P,30P,"));
}

QTEST_MAIN(TstNewOrderWid)
#include "tst_neworderwid.moc"
