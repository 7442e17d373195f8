#pragma once

#include <QString>

// Remembered passwords in the operating system's keychain (the Credential
// Manager, the macOS keychain, the Secret Service), one entry per phone
// number. Nothing is ever written anywhere else: without a keychain nothing
// is remembered. Each call blocks the calling thread until the keychain
// answers; GUI thread only.
class PasswordVault final
{
public:
    PasswordVault() = delete;

    enum class Status { Ok, NotFound, Unavailable, Failed };

    // `error` gets the keychain's reason when it is not Ok.
    static Status store(const QString &phone, const QString &password, QString *error = nullptr);
    // Empty when nothing is remembered or no keychain answers.
    static QString read(const QString &phone, Status *status = nullptr);
    // Ok also when there was nothing to forget.
    static Status forget(const QString &phone);
    // True when a keychain answers at all.
    static bool available();
};
