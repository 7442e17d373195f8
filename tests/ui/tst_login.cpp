#include <QCheckBox>
#include <QCompleter>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QtTest>

#include "core/vellruntime.h"
#include "store/shareddatabase.h"
#include "store/userstore.h"
#include "support/backendprocess.h"
#include "support/clientenvironment.h"
#include "ui/logingcenter.h"
#include "ui/loginwidget.h"

// The login page against the local backend, offscreen.
class TstLogin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void wrongPasswordShowsTheTableText();
    void ruleOnLeavingTheFieldButStillSent();
    void rememberedLoginFillsTheForm();
    void unansweredLoginShowsATip_data();
    void unansweredLoginShowsATip();

private:
    template <typename T>
    T *child(QWidget *page, const char *name) { return page->findChild<T *>(QLatin1String(name)); }

    BackendProcess m_backend;
    ClientEnvironment m_env;
};

void TstLogin::initTestCase()
{
    QVERIFY(m_backend.start());
    QVERIFY(m_env.setUp(QJsonObject{{"baseUrl", m_backend.baseUrl()}}));
    QFile table(QStringLiteral("data/error.json"));
    QVERIFY(table.open(QIODevice::WriteOnly));
    table.write(R"({"auth.badCredentials": "手机号或密码错误", "auth.userNotFound": "账号不存在"})");
    table.close();
    VellRuntime::instance().loadErrorTable();
}

void TstLogin::wrongPasswordShowsTheTableText()
{
    loginwidget page;
    QSignalSpy ok(&page, &loginwidget::loginOK);
    child<QLineEdit>(&page, "phoneEdit")->setText("13800000001");
    child<QLineEdit>(&page, "passwordEdit")->setText("wrong");
    child<QPushButton>(&page, "loginButton")->click();
    QCOMPARE(ok.size(), 0);
    QCOMPARE(child<QLabel>(&page, "phoneMessage")->text(), QStringLiteral("手机号或密码错误"));
}

void TstLogin::ruleOnLeavingTheFieldButStillSent()
{
    loginwidget page;
    QLineEdit *phone = child<QLineEdit>(&page, "phoneEdit");
    phone->setText("12800000001");
    emit phone->editingFinished();
    QCOMPARE(child<QLabel>(&page, "phoneMessage")->text(), QStringLiteral("请输入正确手机号"));
    phone->setText("13800000001");
    emit phone->editingFinished();
    QCOMPARE(child<QLabel>(&page, "phoneMessage")->text(), QString());

    m_backend.reset();
    phone->setText("12800000001");
    child<QLineEdit>(&page, "passwordEdit")->setText("pw");
    child<QPushButton>(&page, "loginButton")->click();
    const QJsonObject request = m_backend.requests().first().toObject();
    QVERIFY(request.value("query").toString().contains("username=12800000001"));
    QCOMPARE(child<QLabel>(&page, "byAccountErrorTip")->text(), QStringLiteral("账号不存在"));
}

void TstLogin::rememberedLoginFillsTheForm()
{
    {
        loginwidget page;
        QSignalSpy ok(&page, &loginwidget::loginOK);
        child<QLineEdit>(&page, "phoneEdit")->setText("13800000002");
        child<QLineEdit>(&page, "passwordEdit")->setText("wedding'88");
        child<QCheckBox>(&page, "byAccountRdbRememberMe")->setChecked(true);
        child<QPushButton>(&page, "loginButton")->click();
        QCOMPARE(ok.size(), 1);
        QCOMPARE(VellRuntime::instance().storeId(), 20002);
    }
    QCOMPARE(UserStore::storedPassword("13800000002"), QStringLiteral("wedding'88"));

    // The next start fills in that login and offers the number while typing.
    loginwidget page;
    QLineEdit *phone = child<QLineEdit>(&page, "phoneEdit");
    QLineEdit *password = child<QLineEdit>(&page, "passwordEdit");
    QCOMPARE(phone->text(), QStringLiteral("13800000002"));
    QCOMPARE(password->text(), QStringLiteral("wedding'88"));
    QVERIFY(phone->completer());
    QCOMPARE(phone->completer()->model()->index(0, 0).data().toString(), QStringLiteral("13800000002"));

    phone->setText("1380000000");
    QCOMPARE(password->text(), QString());
    phone->setText("13800000002");
    QCOMPARE(password->text(), QStringLiteral("wedding'88"));
    phone->setText("13900000002");
    QCOMPARE(password->text(), QString());
}

void TstLogin::unansweredLoginShowsATip_data()
{
    QTest::addColumn<bool>("closedPort");
    QTest::newRow("nothing listens") << true;
    QTest::newRow("error status") << false;
}

void TstLogin::unansweredLoginShowsATip()
{
    QFETCH(bool, closedPort);
    m_backend.reset();
    if (closedPort) {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 port = probe.serverPort();
        probe.close();
        QVERIFY(m_env.setUp(QJsonObject{{"baseUrl", QStringLiteral("http://127.0.0.1:%1/").arg(port)}}));
    } else {
        m_backend.fault("crm/oauth/token", "http500");
    }

    loginwidget page;
    page.show();
    QSignalSpy ok(&page, &loginwidget::loginOK);
    child<QLineEdit>(&page, "phoneEdit")->setText("13800000001");
    child<QLineEdit>(&page, "passwordEdit")->setText("demo1234");
    child<QPushButton>(&page, "loginButton")->click();
    QVERIFY(m_env.setUp(QJsonObject{{"baseUrl", m_backend.baseUrl()}}));

    QCOMPARE(ok.size(), 0);
    QLabel *tip = child<QLabel>(&page, "byAccountErrorTip");
    QCOMPARE(tip->text(), QStringLiteral("无法连接服务器，请检查网络后重试"));
    QVERIFY(tip->isVisible());
    QCOMPARE(child<QLabel>(&page, "phoneMessage")->text(), QString());
}

QTEST_MAIN(TstLogin)
#include "tst_login.moc"
