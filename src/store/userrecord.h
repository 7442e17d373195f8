#pragma once

#include <QString>

// One remembered login of the `user` table (its password is the keychain's).
struct UserRecord
{
    qint32 id = 0;
    QString user_name;
    QString created_time;    // "yyyy-MM-dd hh:mm:ss"
    QString last_login_time; // "yyyy-MM-dd hh:mm:ss"
};
