#pragma once

#include <QJsonObject>
#include <QMutex>
#include <QObject>
#include <QString>

// One consistent copy of the logged-in store's session.
struct SessionData
{
    qint32 userId = 0;
    qint32 storeId = 0;
    QString access_token;
    QString storeName;
    QString userName;
    QString password;
    qint32 addressId = 0;
    qint32 startups = 0;
    QString storeType;
};

// The process-wide session context. Written on the GUI thread at login and
// by a token refresh on any thread; every read and write takes one mutex, so
// a reader never sees half of an update.
class VellRuntime final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(VellRuntime)

public:
    static VellRuntime &instance();

    // From a token response: userId, storeId, access_token, storeName.
    void setLoginInfo(const QJsonObject &response);
    void setCredentials(const QString &userName, const QString &password);
    // Both of the above under one lock, as a successful token request needs.
    void applyLogin(const QJsonObject &response, const QString &userName, const QString &password);
    // From the `data` object of the store information: addressId, startups, storeType.
    void setStoreInfo(const QJsonObject &data);

    // Reads "data/error.json" from the working directory; missing or
    // malformed gives an empty table, as does (logged) a file that is not
    // regular or is too large.
    void loadErrorTable();
    // The text under `key`, or empty when missing or not a string.
    QString errorText(const QString &key) const;

    SessionData snapshot() const;
    qint32 userId() const;
    qint32 storeId() const;
    QString accessToken() const;
    QString storeName() const;
    QString userName() const;
    QString password() const;
    qint32 addressId() const;
    qint32 startups() const;
    QString storeType() const;

    // Forgets everything; for a fresh process state in tests.
    void clear();

private:
    VellRuntime() = default;

    mutable QMutex m_mutex;
    SessionData m_data;
    QJsonObject m_errorTable;
};
