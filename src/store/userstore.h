#pragma once

#include <QList>
#include <QString>

#include "store/userrecord.h"

// The remembered logins of the login form, on the shared connection.
// Called on the GUI thread; statement failures are logged by the routines.
class UserStore final
{
public:
    UserStore() = delete;

    static bool userExists(const QString &user);
    // Empty when the user is not remembered.
    static QString storedPassword(const QString &user);
    // Newest login first.
    static QList<UserRecord> loadUsers();
    // An empty record when nothing is remembered.
    static UserRecord lastUser();
    // Updates the row of a known phone number (time and password), inserts
    // one otherwise. False when the statement failed.
    static bool rememberLogin(const QString &phone, const QString &password);
};
