#include "net/authentication.h"

#include <QByteArray>

#include "core/configfile.h"
#include "core/vellruntime.h"
#include "net/endpoints.h"
#include "net/httputils.h"

bool Authentication::getStoreInfo()
{
    HttpUtils &http = HttpUtils::instance();
    const QString url = Endpoints::storeInfo().arg(VellRuntime::instance().storeId());
    if (!http.httpGet(url, HttpUtils::formType(), true))
        return false;
    VellRuntime::instance().setStoreInfo(http.getJson().value(QStringLiteral("data")).toObject());
    return true;
}

QString Authentication::webToken(const QString &userName, const QString &password)
{
    const QString text = userName + QLatin1Char(':') + password;
    const QByteArray key = configFile::webKey();
    QByteArray bytes;
    bytes.reserve(text.size());
    for (int i = 0; i < text.size(); ++i)
        bytes.append(char((text.at(i).unicode() & 0xFF) ^ quint8(key.at(i % 2))));
    return QString::fromLatin1(bytes.toHex());
}
