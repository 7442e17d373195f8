#include "store/userstore.h"

#include <QSqlRecord>
#include <QVariant>

#include "core/logmanager.h"
#include "core/timeutils.h"
#include "store/passwordvault.h"
#include "store/shareddatabase.h"

namespace {

UserRecord recordOf(const QSqlRecord &row)
{
    UserRecord user;
    user.id = row.value(QStringLiteral("id")).toInt();
    user.user_name = row.value(QStringLiteral("user_name")).toString();
    user.created_time = row.value(QStringLiteral("created_time")).toString();
    user.last_login_time = row.value(QStringLiteral("last_login_time")).toString();
    return user;
}

QList<QSqlRecord> select(const QString &sql, bool *ok = nullptr)
{
    QList<QSqlRecord> rows;
    const bool done = runQuery(sharedDatabase(), sql, rows).type() == QSqlError::NoError;
    if (ok)
        *ok = done;
    return rows;
}

} // namespace

bool UserStore::userExists(const QString &user)
{
    bool ok = false;
    const QList<QSqlRecord> rows =
        select(QStringLiteral("SELECT * FROM user WHERE user_name = '%1'").arg(sqlEscaped(user)), &ok);
    return ok && !rows.isEmpty();
}

QString UserStore::storedPassword(const QString &user)
{
    return user.isEmpty() ? QString() : PasswordVault::read(user);
}

QList<UserRecord> UserStore::loadUsers()
{
    QList<UserRecord> users;
    for (const QSqlRecord &row : select(QStringLiteral("SELECT * FROM user ORDER BY last_login_time DESC")))
        users << recordOf(row);
    return users;
}

UserRecord UserStore::lastUser()
{
    const QList<QSqlRecord> rows = select(QStringLiteral("SELECT * FROM user ORDER BY last_login_time DESC LIMIT 1"));
    return rows.isEmpty() ? UserRecord() : recordOf(rows.first());
}

bool UserStore::rememberLogin(const QString &phone, const QString &password)
{
    const QString now = TimeUtils::currentTime();
    const bool recorded =
        userExists(phone)
            ? execStatement(sharedDatabase(),
                            QStringLiteral("UPDATE user SET last_login_time = '%1',password='' WHERE user_name = '%2'")
                                .arg(now, sqlEscaped(phone)))
            : execStatement(sharedDatabase(),
                            QStringLiteral("INSERT INTO user(user_name,password,created_time,last_login_time)  "
                                           "VALUES('%1', '', '%2','%3')")
                                .arg(sqlEscaped(phone), now, now));
    QString error;
    if (PasswordVault::store(phone, password, &error) != PasswordVault::Status::Ok) {
        LogManager::logWarning(QStringLiteral("密码未保存到系统钥匙串:%1").arg(error));
        return false;
    }
    return recorded;
}

void UserStore::forgetPassword(const QString &phone)
{
    if (PasswordVault::forget(phone) == PasswordVault::Status::Failed)
        LogManager::logWarning(QStringLiteral("系统钥匙串中的密码未能删除"));
}

int UserStore::movePasswordsToKeychain()
{
    QStringList moved;
    for (const QSqlRecord &row : select(QStringLiteral("SELECT user_name, password FROM user WHERE password <> ''"))) {
        const QString phone = row.value(0).toString();
        QString error;
        if (PasswordVault::store(phone, row.value(1).toString(), &error) == PasswordVault::Status::Ok)
            moved << sqlQuoted(phone);
        else
            LogManager::logWarning(
                QStringLiteral("旧版本保存的密码未能移入系统钥匙串，仍留在本地数据库:%1").arg(error));
    }
    if (moved.isEmpty())
        return 0;
    const bool blanked = runAtomically(sharedDatabase(), [&] {
        return execStatement(
            sharedDatabase(),
            QStringLiteral("UPDATE user SET password='' WHERE user_name IN (%1)").arg(moved.join(QLatin1Char(','))));
    });
    if (!blanked)
        return 0;
    // Earlier versions overwrote passwords without zeroing them: their old
    // bytes may sit in the file's free space until it is rebuilt.
    execStatement(sharedDatabase(), QStringLiteral("VACUUM"));
    LogManager::logInfo(QStringLiteral("%1个密码已移入系统钥匙串").arg(moved.size()));
    return int(moved.size());
}
