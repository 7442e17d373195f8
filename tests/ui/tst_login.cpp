#include <QCheckBox>
#include <QCompleter>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "core/apppaths.h"
#include "core/configfile.h"
#include "core/vellruntime.h"
#include "store/passwordvault.h"
#include "store/shareddatabase.h"
#include "store/userstore.h"
#include "support/backendprocess.h"
#include "support/clientenvironment.h"
#include "support/files.h"
#include "support/logfile.h"
#include "support/queryvalue.h"
#include "support/secretservice.h"
#include "ui/loginwidget.h"

// The login page against the local backend, offscreen, with a keychain of
// its own, or, with ORDERDESK_NO_SECRET_SERVICE set, without any keychain.
class TstLogin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_keychain = qEnvironmentVariableIsEmpty("ORDERDESK_NO_SECRET_SERVICE");
        QVERIFY(m_secrets.start(m_keychain));
        QVERIFY(m_backend.start());
        // The second address leads nowhere: a backend that cannot be reached.
        QVERIFY(m_env.setUp(QJsonObject{{"baseUrl", m_backend.baseUrl()}, {"baseUrlW", "http://127.0.0.1:1/"}}));
        QVERIFY(testfiles::write(QStringLiteral("data/error.json"),
                                 R"({"auth.badCredentials": "手机号或密码错误", "auth.userNotFound": "账号不存在"})"));
        VellRuntime::instance().loadErrorTable();
    }

    // Remembered in the keychain, filled in at the next start and while
    // typing, forgotten when the box is unticked; never in the database.
    // Without a keychain the form says so and nothing is remembered.
    void rememberedLogin()
    {
        const QString phone = QStringLiteral("13800000002");
        const QString secret = QStringLiteral("wedding'88");
        const QString remembered = m_keychain ? secret : QString();
        {
            loginwidget page;
            child<QLineEdit>(&page, "phoneEdit")->setText(phone);
            child<QLineEdit>(&page, "passwordEdit")->setText(secret);
            child<QCheckBox>(&page, "byAccountRdbRememberMe")->setChecked(true);
            QLabel *tip = child<QLabel>(&page, "keychainTip");
            QCOMPARE(tip->isHidden() ? QString() : tip->text(),
                     m_keychain ? QString() : QStringLiteral("系统钥匙串不可用，密码不会被记住"));
            child<QPushButton>(&page, "loginButton")->click();
        }
        QVERIFY(!databaseBytes().contains(secret.toUtf8()));

        // The next start fills in that login and offers the number while typing.
        {
            loginwidget page;
            QLineEdit *number = child<QLineEdit>(&page, "phoneEdit");
            QLineEdit *password = child<QLineEdit>(&page, "passwordEdit");
            QCOMPARE(number->text() + ' ' + password->text(), phone + ' ' + remembered);
            QCOMPARE(child<QCheckBox>(&page, "byAccountRdbRememberMe")->isChecked(), m_keychain);
            QVERIFY(number->completer());
            QCOMPARE(number->completer()->model()->index(0, 0).data().toString(), phone);

            // Typed number, the password it brings back, the number rule told on leaving the field.
            const QString rule = QStringLiteral("请输入正确手机号");
            for (const QStringList &typed : QList<QStringList>{{"1380000000", "", rule},
                                                               {phone, remembered, ""},
                                                               {"12800000001", "", rule},
                                                               {"13800000001", "", ""}}) {
                number->setText(typed.at(0));
                emit number->editingFinished();
                QCOMPARE(password->text() + '|' + child<QLabel>(&page, "phoneMessage")->text(),
                         typed.at(1) + '|' + typed.at(2));
            }

            // Unticked at a login: forgotten.
            number->setText(phone);
            password->setText(secret);
            child<QCheckBox>(&page, "byAccountRdbRememberMe")->setChecked(false);
            child<QPushButton>(&page, "loginButton")->click();
        }
        loginwidget page;
        QCOMPARE(child<QLineEdit>(&page, "phoneEdit")->text(), phone);
        QCOMPARE(child<QLineEdit>(&page, "passwordEdit")->text(), QString());
        QCOMPARE(PasswordVault::read(phone), QString());
    }

    // A database as earlier versions left it: passwords in the table, and an
    // older one in the file's free space. At the start they move to the
    // keychain, and no byte of them is left in the file; without a keychain
    // they stay where they are and the log says so.
    void passwordsOfEarlierVersionsMove()
    {
        sharedDatabase();
        const char *earlier = "PRAGMA secure_delete=OFF;"
                              "INSERT INTO user(user_name,password,created_time,last_login_time) VALUES "
                              "('13800000005','first-one','2025-01-01 08:00:00','2025-01-01 08:00:00'),"
                              "('13800000006','','2025-01-01 08:00:00','2025-01-01 08:00:00');"
                              "UPDATE user SET password='a-much-longer-first-one' WHERE user_name='13800000005';"
                              "UPDATE user SET password='rock&roll-2024' WHERE user_name='13800000005';";
        QCOMPARE(QProcess::execute(QStringLiteral("sqlite3"), {AppPaths::databaseFile(), earlier}), 0);
        QVERIFY(databaseBytes().contains("rock&roll-2024"));

        QCOMPARE(UserStore::movePasswordsToKeychain(), m_keychain ? 1 : 0);
        const QString left = queryValue("SELECT password FROM user WHERE user_name='13800000005'").toString();
        if (m_keychain) {
            QCOMPARE(left, QString());
            QCOMPARE(PasswordVault::read(QStringLiteral("13800000005")), QStringLiteral("rock&roll-2024"));
            QVERIFY(!databaseBytes().contains("rock&roll-2024"));
            QVERIFY(!databaseBytes().contains("first-one")); // nor the longer password ending in it
        } else {
            QCOMPARE(left, QStringLiteral("rock&roll-2024"));
            QVERIFY(testlog::texts().join('\n').contains(QStringLiteral("旧版本保存的密码未能移入系统钥匙串")));
        }
        QVERIFY(execStatement(sharedDatabase(), "DELETE FROM user WHERE user_name IN ('13800000005','13800000006')"));
        PasswordVault::forget(QStringLiteral("13800000005"));
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

    // The database file with its journal, as bytes.
    static QByteArray databaseBytes()
    {
        QByteArray bytes;
        for (const QString &name : {AppPaths::databaseFile(), AppPaths::databaseFile() + "-journal"})
            bytes += testfiles::read(name);
        return bytes;
    }

    SecretService m_secrets;
    bool m_keychain = true;
    BackendProcess m_backend;
    ClientEnvironment m_env;
};

QTEST_MAIN(TstLogin)
#include "tst_login.moc"
