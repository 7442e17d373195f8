#pragma once

#include <QByteArray>
#include <QString>

// Decides whether an installer file carries our release signature: Ed25519
// over the file's bytes, checked against a public key. Any thread.
class InstallerSignature final
{
public:
    // The key this build was made with; without one nothing verifies.
    static InstallerSignature builtIn();

    // The raw 32-byte public key as 64 hex digits; anything else is no key.
    explicit InstallerSignature(const QByteArray &publicKeyHex);

    bool hasKey() const { return !m_key.isEmpty(); }
    // Empty when the file's bytes verify against the base64 signature; else why not.
    QString fault(const QString &file, const QString &signatureBase64) const;

private:
    QByteArray m_key;
};
