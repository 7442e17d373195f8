#include "core/configfile.h"

#include <algorithm>
#include <cmath>

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QReadWriteLock>

#include "core/regularfile.h"

namespace {

// The local backend shipped in tools/ listens here for development and demos.
const QString kDefaultHost = QStringLiteral("127.0.0.1:27080");
const QString kDefaultImageHost = QStringLiteral("http://127.0.0.1:27090");
const QByteArray kDefaultWebKey = QByteArrayLiteral("sk");
constexpr int kDefaultTimeoutSec = 60;
constexpr int kMaxTimeoutSec = 600;

struct Values
{
    QString apiUrl;
    QString cartUrl;
    QString productsUrl;
    QString baseUrl;
    QString baseUrlW;
    bool autoLogin = false;
    QString productPath;
    QString imageHost;
    QByteArray webKey;
    int requestTimeoutSec = kDefaultTimeoutSec;
    QString caFile;
};

Values defaults()
{
    Values v;
    v.baseUrl = QStringLiteral("http://") + kDefaultHost + QStringLiteral("/");
    v.baseUrlW = v.baseUrl;
    v.apiUrl = v.baseUrl + QStringLiteral("api/");
    v.cartUrl = v.baseUrl + QStringLiteral("cart");
    v.productsUrl = QStringLiteral("https://") + kDefaultHost + QStringLiteral("/products");
    v.imageHost = kDefaultImageHost;
    v.webKey = kDefaultWebKey;
    return v;
}

void deriveFrom(Values &v, const QString &base)
{
    v.apiUrl = base + QStringLiteral("api/");
    v.cartUrl = base + QStringLiteral("cart");
    v.productsUrl = base + QStringLiteral("products");
}

QReadWriteLock g_lock;
Values g_values = defaults();

Values current()
{
    QReadLocker lock(&g_lock);
    return g_values;
}

void store(const Values &v)
{
    QWriteLocker lock(&g_lock);
    g_values = v;
}

void readDeploymentKeys(Values &v, const QJsonObject &obj)
{
    QString host = obj.value(QStringLiteral("imageHost")).toString();
    while (host.endsWith(QLatin1Char('/')))
        host.chop(1);
    if (!host.isEmpty())
        v.imageHost = host;

    const QString key = obj.value(QStringLiteral("webKey")).toString();
    if (key.size() == 2 && key.at(0).unicode() < 0x80 && key.at(1).unicode() < 0x80)
        v.webKey = key.toLatin1();

    // Milliseconds of a huge value would overflow the network layer's int;
    // zero, negative or non-numeric values keep the default.
    const double timeout = obj.value(QStringLiteral("requestTimeout")).toDouble(0.0);
    if (std::isfinite(timeout) && timeout > 0.0)
        v.requestTimeoutSec = int(std::ceil(std::min(timeout, double(kMaxTimeoutSec))));

    // Like "data/config.json" itself, a relative name is taken from the
    // working directory; held absolute, so a later change of directory
    // does not lose it.
    const QString caFile = obj.value(QStringLiteral("caFile")).toString();
    v.caFile = caFile.isEmpty() ? QString() : QDir::current().absoluteFilePath(caFile);
}

} // namespace

void configFile::readConfig()
{
    const QString dataDir = QDir::current().absoluteFilePath(QStringLiteral("data"));
    if (!QDir(dataDir).exists())
        QDir().mkdir(dataDir);

    const QString text = QString::fromUtf8(RegularFile::readSmall(QStringLiteral("data/config.json")));
    if (text.isEmpty())
        return;

    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError)
        return;
    const QJsonObject obj = doc.object();
    if (obj.isEmpty())
        return;

    Values v = current();
    const QString base = obj.value(QStringLiteral("baseUrl")).toString();
    if (!base.isEmpty()) {
        v.baseUrl = base;
        deriveFrom(v, base);
    }
    v.baseUrlW = obj.value(QStringLiteral("baseUrlW")).toString();
    v.autoLogin = obj.value(QStringLiteral("autoLogin")).toBool(false);
    v.productPath = obj.value(QStringLiteral("productPath")).toString();
    readDeploymentKeys(v, obj);
    store(v);
}

void configFile::switchBackend(bool ordinaryStore)
{
    QWriteLocker lock(&g_lock);
    const QString target = ordinaryStore ? g_values.baseUrl : g_values.baseUrlW;
    if (target.isEmpty())
        return;
    deriveFrom(g_values, target);
}

void configFile::resetToDefaults()
{
    store(defaults());
}

QString configFile::apiUrl()
{
    return current().apiUrl;
}
QString configFile::cartUrl()
{
    return current().cartUrl;
}
QString configFile::productsUrl()
{
    return current().productsUrl;
}
QString configFile::baseUrl()
{
    return current().baseUrl;
}
QString configFile::baseUrlW()
{
    return current().baseUrlW;
}
bool configFile::autoLogin()
{
    return current().autoLogin;
}
QString configFile::productPath()
{
    return current().productPath;
}
QString configFile::imageHost()
{
    return current().imageHost;
}
QByteArray configFile::webKey()
{
    return current().webKey;
}
int configFile::requestTimeoutSec()
{
    return current().requestTimeoutSec;
}
QString configFile::caFile()
{
    return current().caFile;
}
QString configFile::defaultHost()
{
    return kDefaultHost;
}
