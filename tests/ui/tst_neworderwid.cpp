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

QTEST_MAIN(TstNewOrderWid)
#include "tst_neworderwid.moc"
