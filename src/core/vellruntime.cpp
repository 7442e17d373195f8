#include "core/vellruntime.h"

#include <QJsonDocument>
#include <QJsonValue>
#include <QMutexLocker>

#include "core/jsonnumber.h"
#include "core/regularfile.h"

namespace {
qint32 intOf(const QJsonObject &obj, const char *key)
{
    return JsonNumber::toInt32(obj.value(QLatin1String(key)));
}

void applyTokenFields(SessionData &data, const QJsonObject &response)
{
    data.userId = intOf(response, "userId");
    data.storeId = intOf(response, "storeId");
    data.access_token = response.value(QStringLiteral("access_token")).toString();
    data.storeName = response.value(QStringLiteral("storeName")).toString();
}
} // namespace

VellRuntime &VellRuntime::instance()
{
    static VellRuntime runtime;
    return runtime;
}

void VellRuntime::setLoginInfo(const QJsonObject &response)
{
    QMutexLocker lock(&m_mutex);
    applyTokenFields(m_data, response);
}

void VellRuntime::applyLogin(const QJsonObject &response, const QString &userName, const QString &password)
{
    QMutexLocker lock(&m_mutex);
    applyTokenFields(m_data, response);
    m_data.userName = userName;
    m_data.password = password;
}

void VellRuntime::setCredentials(const QString &userName, const QString &password)
{
    QMutexLocker lock(&m_mutex);
    m_data.userName = userName;
    m_data.password = password;
}

void VellRuntime::setStoreInfo(const QJsonObject &data)
{
    QMutexLocker lock(&m_mutex);
    m_data.addressId = intOf(data, "addressId");
    m_data.startups = intOf(data, "startups");
    m_data.storeType = data.value(QStringLiteral("storeType")).toString();
}

void VellRuntime::loadErrorTable()
{
    const QJsonObject table =
        QJsonDocument::fromJson(RegularFile::readSmall(QStringLiteral("data/error.json"))).object();
    QMutexLocker lock(&m_mutex);
    m_errorTable = table;
}

QString VellRuntime::errorText(const QString &key) const
{
    QMutexLocker lock(&m_mutex);
    return m_errorTable.value(key).toString();
}

SessionData VellRuntime::snapshot() const
{
    QMutexLocker lock(&m_mutex);
    return m_data;
}

qint32 VellRuntime::userId() const
{
    return snapshot().userId;
}
qint32 VellRuntime::storeId() const
{
    return snapshot().storeId;
}
QString VellRuntime::accessToken() const
{
    return snapshot().access_token;
}
QString VellRuntime::storeName() const
{
    return snapshot().storeName;
}
QString VellRuntime::userName() const
{
    return snapshot().userName;
}
QString VellRuntime::password() const
{
    return snapshot().password;
}
qint32 VellRuntime::addressId() const
{
    return snapshot().addressId;
}
qint32 VellRuntime::startups() const
{
    return snapshot().startups;
}
QString VellRuntime::storeType() const
{
    return snapshot().storeType;
}

void VellRuntime::clear()
{
    QMutexLocker lock(&m_mutex);
    m_data = SessionData();
    m_errorTable = QJsonObject();
}
