#include <QtTest>

#include "store/shareddatabase.h"
#include "store/userstore.h"
#include "support/clientenvironment.h"

class TstUserStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_env.setUp(QJsonObject())); }

    // Quotes in the number and password are stored as typed; a second login
    // of the number updates its row and keeps when it was first seen.
    void firstLoginInsertsSecondUpdates()
    {
        const QString phone = QStringLiteral("138'00");
        const QString password = QStringLiteral("it's a 'secret'; DROP TABLE user;--");
        QVERIFY(!UserStore::userExists(phone));
        QVERIFY(UserStore::rememberLogin(phone, password));
        QList<UserRecord> users = UserStore::loadUsers();
        QCOMPARE(users.size(), 1);
        QCOMPARE(users.first().created_time, users.first().last_login_time);
        QVERIFY(QDateTime::fromString(users.first().created_time, "yyyy-MM-dd hh:mm:ss")
                    .secsTo(QDateTime::currentDateTime())
                < 60);

        QVERIFY(execStatement(sharedDatabase(), QStringLiteral("UPDATE user SET created_time='2020-01-01 08:00:00', "
                                                               "last_login_time='2020-01-01 08:00:00'")));
        QVERIFY(UserStore::rememberLogin(phone, password + "'"));
        users = UserStore::loadUsers();
        QCOMPARE(users.size(), 1);
        QCOMPARE(users.first().created_time, QStringLiteral("2020-01-01 08:00:00"));
        QVERIFY(users.first().last_login_time > QStringLiteral("2020-01-01 08:00:00"));
        QCOMPARE(UserStore::storedPassword(phone), password + "'");
        QCOMPARE(UserStore::lastUser().user_name, phone);
        QCOMPARE(UserStore::storedPassword(QStringLiteral("nobody")), QString());
    }

private:
    ClientEnvironment m_env;
};

QTEST_GUILESS_MAIN(TstUserStore)
#include "tst_userstore.moc"
