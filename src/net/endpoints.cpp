#include "net/endpoints.h"

#include <QUrl>

#include "core/configfile.h"

namespace {

// A raw "&", "#", "+" or "%" in a password would end or change the value.
QString queryValue(const QString &value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

} // namespace

QString Endpoints::token(const QString &userName, const QString &password)
{
    return configFile::apiUrl()
           + QStringLiteral("crm/oauth/token?grant_type=password&client_id=client-app&client_secret=739214&username=")
           + queryValue(userName) + QStringLiteral("&password=") + queryValue(password) + QStringLiteral("&type=STORE");
}

QString Endpoints::storeInfo()
{
    return configFile::apiUrl() + QStringLiteral("crm/store/getStoreBasicInfoByStoreId/%1");
}

QString Endpoints::versions()
{
    return configFile::apiUrl() + QStringLiteral("crm/open/software/versions/getVersions/%1");
}

QString Endpoints::productSearch()
{
    return configFile::apiUrl() + QStringLiteral("pms/open/spu/listForSearch/%1/%2");
}

QString Endpoints::productQuery()
{
    return configFile::apiUrl() + QStringLiteral("pms/open/spu/query/%1");
}

QString Endpoints::skuGroupList()
{
    return configFile::apiUrl() + QStringLiteral("pms/store/sku/group/feign/list/%1");
}

QString Endpoints::skuMainImage()
{
    return configFile::apiUrl() + QStringLiteral("pms/group/getskuMainImageBySkuId/%1/%2");
}

QString Endpoints::stsSessionToken()
{
    return configFile::apiUrl() + QStringLiteral("pub/oss/sdsXsky/sts/sessionToken/%1");
}

QString Endpoints::cartBatch()
{
    return configFile::apiUrl() + QStringLiteral("oms/cart/item/spu/batch");
}
