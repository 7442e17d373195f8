#include "store/userstore.h"

#include <QSqlRecord>
#include <QVariant>

#include "core/timeutils.h"
#include "store/shareddatabase.h"

namespace {

UserRecord recordOf(const QSqlRecord &row)
{
    UserRecord user;
    user.id = row.value(QStringLiteral("id")).toInt();
    user.user_name = row.value(QStringLiteral("user_name")).toString();
    user.password = row.value(QStringLiteral("password")).toString();
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
    const QList<QSqlRecord> rows =
        select(QStringLiteral("SELECT password FROM user WHERE user_name = '%1'").arg(sqlEscaped(user)));
    return rows.isEmpty() ? QString() : rows.first().value(QStringLiteral("password")).toString();
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
    if (userExists(phone)) {
        return execStatement(
            sharedDatabase(),
            QStringLiteral("UPDATE user SET last_login_time = '%1',password='%2' WHERE user_name = '%3'")
                .arg(now, sqlEscaped(password), sqlEscaped(phone)));
    }
    return execStatement(sharedDatabase(),
                         QStringLiteral("INSERT INTO user(user_name,password,created_time,last_login_time)  "
                                        "VALUES('%1', '%2', '%3','%4')")
                             .arg(sqlEscaped(phone), sqlEscaped(password), now, now));
}
