#pragma once

#include <QByteArray>
#include <QString>

// Signs the stand-in installers with the build's test key, as the release
// process signs real ones: Ed25519 over the file's bytes, base64.
class InstallerSigner final
{
public:
    InstallerSigner() = default;
    ~InstallerSigner();
    InstallerSigner(const InstallerSigner &) = delete;
    InstallerSigner &operator=(const InstallerSigner &) = delete;

    // Reads a PEM private key; false with a reason when it is no Ed25519 key.
    bool load(const QString &pemFile, QString *error);
    bool isLoaded() const { return m_key != nullptr; }
    // Empty when no key is loaded.
    QByteArray sign(const QByteArray &bytes) const;

private:
    struct evp_pkey_st *m_key = nullptr;
};
