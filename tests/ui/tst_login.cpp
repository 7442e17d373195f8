#include <QCheckBox>
#include <QCompleter>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include "core/configfile.h"
#include "core/vellruntime.h"
#include "support/backendprocess.h"
#include "support/clientenvironment.h"
#include "support/logfile.h"
#include "ui/loginwidget.h"

// The login page against the local backend, offscreen.
class TstLogin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_backend.start());
        // The second address leads nowhere: a backend that cannot be reached.
        QVERIFY(m_env.setUp(QJsonObject{{"baseUrl", m_backend.baseUrl()}, {"baseUrlW", "http://127.0.0.1:1/"}}));
        QFile table(QStringLiteral("data/error.json"));
        QVERIFY(table.open(QIODevice::WriteOnly));
        table.write(R"({"auth.badCredentials": "手机号或密码错误", "auth.userNotFound": "账号不存在"})");
        table.close();
        VellRuntime::instance().loadErrorTable();
    }

    void rememberedLoginFillsTheForm()
    {
        {
            loginwidget page;
            child<QLineEdit>(&page, "phoneEdit")->setText("13800000002");
            child<QLineEdit>(&page, "passwordEdit")->setText("wedding'88");
            child<QCheckBox>(&page, "byAccountRdbRememberMe")->setChecked(true);
            child<QPushButton>(&page, "loginButton")->click();
        }

        // The next start fills in that login and offers the number while typing.
        loginwidget page;
        QLineEdit *phone = child<QLineEdit>(&page, "phoneEdit");
        QLineEdit *password = child<QLineEdit>(&page, "passwordEdit");
        QCOMPARE(phone->text() + ' ' + password->text(), QStringLiteral("13800000002 wedding'88"));
        QVERIFY(phone->completer());
        QCOMPARE(phone->completer()->model()->index(0, 0).data().toString(), QStringLiteral("13800000002"));

        // Typed number, the password it brings back, the number rule told on leaving the field.
        const QString rule = QStringLiteral("请输入正确手机号");
        for (const QStringList &typed : QList<QStringList>{{"1380000000", "", rule},
                                                           {"13800000002", "wedding'88", ""},
                                                           {"12800000001", "", rule},
                                                           {"13800000001", "", ""}}) {
            phone->setText(typed.at(0));
            emit phone->editingFinished();
            QCOMPARE(password->text() + '|' + child<QLabel>(&page, "phoneMessage")->text(),
                     typed.at(1) + '|' + typed.at(2));
        }
    }

    void failedLoginShowsATip_data()
    {
        QTest::addColumn<QString>("phone");
        QTest::addColumn<QString>("fault"); // "closed port", a backend fault, or none
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("tip");
        const QString phone = QStringLiteral("13800000001");
        const QString unreachable = QStringLiteral("无法连接服务器，请检查网络后重试");
        QTest::newRow("wrong password") << phone << QString() << "phoneMessage" << QStringLiteral("手机号或密码错误");
        // The number rule only warns; the backend decides.
        QTest::newRow("number breaking the rule")
            << QStringLiteral("12800000001") << QString() << "byAccountErrorTip" << QStringLiteral("账号不存在");
        QTest::newRow("nothing listens") << phone << QStringLiteral("closed port") << "byAccountErrorTip"
                                         << unreachable;
        QTest::newRow("error status") << phone << QStringLiteral("http500") << "byAccountErrorTip" << unreachable;
    }

    void failedLoginShowsATip()
    {
        QFETCH(QString, phone);
        QFETCH(QString, fault);
        QFETCH(QString, label);
        QFETCH(QString, tip);
        m_backend.reset();
        if (fault == QLatin1String("closed port"))
            configFile::switchBackend(false);
        else if (!fault.isEmpty())
            m_backend.fault("crm/oauth/token", fault);

        loginwidget page;
        page.show();
        QSignalSpy ok(&page, &loginwidget::loginOK);
        child<QLineEdit>(&page, "phoneEdit")->setText(phone);
        child<QLineEdit>(&page, "passwordEdit")->setText(phone.startsWith("12") ? "pw" : "wrong");
        child<QPushButton>(&page, "loginButton")->click();
        configFile::switchBackend(true);

        QCOMPARE(ok.size(), 0);
        QLabel *shown = child<QLabel>(&page, label.toLatin1().constData());
        QVERIFY(shown->isVisible());
        // The tip is in its own label and the other one is empty.
        QCOMPARE(shown->text(), tip);
        QCOMPARE(child<QLabel>(&page, "phoneMessage")->text() + child<QLabel>(&page, "byAccountErrorTip")->text(), tip);
        QVERIFY(
            testlog::texts().contains(QStringLiteral("登录失败:%1****%2 %3").arg(phone.left(3), phone.right(4), tip)));
        QVERIFY(!testlog::texts().join(QLatin1Char('\n')).contains(phone));
    }

private:
    template<typename T> T *child(QWidget *page, const char *name) { return page->findChild<T *>(QLatin1String(name)); }

    BackendProcess m_backend;
    ClientEnvironment m_env;
};

QTEST_MAIN(TstLogin)
#include "tst_login.moc"
