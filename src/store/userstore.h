#pragma once

#include <QList>
#include <QString>

#include "store/userrecord.h"

// The remembered logins of the login form: the phone numbers and login
// times on the shared connection, the passwords in the keychain only (the
// table's password column stays empty). Called on the GUI thread; statement
// failures are logged by the routines.
class UserStore final
{
public:
    UserStore() = delete;

    static bool userExists(const QString &user);
    // From the keychain; empty when the user's password is not remembered.
    static QString storedPassword(const QString &user);
    // Newest login first.
    static QList<UserRecord> loadUsers();
    // An empty record when nothing is remembered.
    static UserRecord lastUser();
    // Updates the row of a known phone number (its time), inserts one
    // otherwise, and keeps the password in the keychain. False when either
    // failed; the log says why.
    static bool rememberLogin(const QString &phone, const QString &password);
    // The row stays (the number is still offered); the password goes.
    static void forgetPassword(const QString &phone);
    // Passwords earlier versions kept in the table move to the keychain and
    // are blanked there in one transaction; one the keychain does not take
    // stays, and the log says so. The number of passwords moved.
    static int movePasswordsToKeychain();
};
