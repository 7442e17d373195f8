#include <QtTest>

#include "core/timeutils.h"
#include "store/shareddatabase.h"
#include "store/userstore.h"
#include "support/clientenvironment.h"
#include "support/logfile.h"

class TstUserStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void firstLoginInsertsSecondUpdates();
    void quotesRoundTrip();
    void newestLoginFirst();
    void failingStatementIsLogged();

private:
    ClientEnvironment m_env;
};

void TstUserStore::initTestCase()
{
    QVERIFY(m_env.setUp(QJsonObject()));
    QCOMPARE(UserStore::lastUser().user_name, QString());
    QVERIFY(UserStore::loadUsers().isEmpty());
}

void TstUserStore::firstLoginInsertsSecondUpdates()
{
    const QString phone = QStringLiteral("13800000001");
    QVERIFY(!UserStore::userExists(phone));
    QVERIFY(UserStore::rememberLogin(phone, QStringLiteral("first")));
    QVERIFY(UserStore::userExists(phone));
    QList<UserRecord> users = UserStore::loadUsers();
    QCOMPARE(users.size(), 1);
    QCOMPARE(users.first().created_time, users.first().last_login_time);
    QVERIFY(!TimeUtils::isExpired(QDateTime::fromString(users.first().created_time, "yyyy-MM-dd hh:mm:ss")
                                      .addSecs(5)
                                      .toString("yyyy-MM-dd hh:mm:ss")));

    // Make the stored times older so the update is visible.
    QVERIFY(execStatement(sharedDatabase(), QStringLiteral("UPDATE user SET created_time='2020-01-01 08:00:00', "
                                                           "last_login_time='2020-01-01 08:00:00'")));
    QVERIFY(UserStore::rememberLogin(phone, QStringLiteral("second")));
    users = UserStore::loadUsers();
    QCOMPARE(users.size(), 1);
    QCOMPARE(users.first().password, QStringLiteral("second"));
    QCOMPARE(users.first().created_time, QStringLiteral("2020-01-01 08:00:00"));
    QVERIFY(users.first().last_login_time > QStringLiteral("2020-01-01 08:00:00"));
    QCOMPARE(UserStore::storedPassword(phone), QStringLiteral("second"));
}

void TstUserStore::quotesRoundTrip()
{
    const QString phone = QStringLiteral("138'00");
    const QString password = QStringLiteral("it's a 'secret'; DROP TABLE user;--");
    QVERIFY(UserStore::rememberLogin(phone, password));
    QVERIFY(UserStore::userExists(phone));
    QCOMPARE(UserStore::storedPassword(phone), password);
    QVERIFY(UserStore::rememberLogin(phone, password + "'"));
    QCOMPARE(UserStore::storedPassword(phone), password + "'");
    QCOMPARE(UserStore::storedPassword(QStringLiteral("nobody")), QString());
}

void TstUserStore::newestLoginFirst()
{
    QVERIFY(execStatement(sharedDatabase(), QStringLiteral("DELETE FROM user")));
    for (const auto &[name, time] : {std::pair{"a", "2024-05-01 10:00:00"}, std::pair{"b", "2025-01-01 09:00:00"},
                                     std::pair{"c", "2024-12-31 23:59:59"}}) {
        QVERIFY(execStatement(sharedDatabase(), QStringLiteral("INSERT INTO user(user_name,password,created_time,"
                                                               "last_login_time) VALUES('%1','p','%2','%2')")
                                                    .arg(QLatin1String(name), QLatin1String(time))));
    }
    QStringList order;
    for (const UserRecord &u : UserStore::loadUsers())
        order << u.user_name;
    QCOMPARE(order, (QStringList{"b", "c", "a"}));
    QCOMPARE(UserStore::lastUser().user_name, QStringLiteral("b"));
    QVERIFY(UserStore::lastUser().id > 0);
}

void TstUserStore::failingStatementIsLogged()
{
    QVERIFY(execStatement(sharedDatabase(), QStringLiteral("ALTER TABLE user RENAME TO user_gone")));
    const int before = testlog::lines().size();
    QVERIFY(!UserStore::rememberLogin(QStringLiteral("13900000000"), QStringLiteral("x")));
    const QStringList texts = testlog::texts().mid(before);
    QVERIFY(!texts.isEmpty());
    QVERIFY(texts.last().startsWith(QStringLiteral("Error:")));
    QVERIFY(execStatement(sharedDatabase(), QStringLiteral("ALTER TABLE user_gone RENAME TO user")));
}

QTEST_GUILESS_MAIN(TstUserStore)
#include "tst_userstore.moc"
