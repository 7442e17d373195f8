#pragma once

#include <QString>

// Backend API addresses: `apiUrl` at the moment of the call followed by the
// path, placeholders (%1, %2) left for the caller to fill.
class Endpoints final
{
public:
    Endpoints() = delete;

    // The password grant; user name and password are percent-encoded.
    static QString token(const QString &userName, const QString &password);
    static QString storeInfo();       // %1 store id
    static QString versions();        // %1 platform word
    static QString productSearch();   // %1 store id, %2 search text
    static QString productQuery();    // %1 SPU id
    static QString skuGroupList();    // %1 store id
    static QString skuMainImage();    // %1 store id, %2 SKU or group id
    static QString stsSessionToken(); // %1 credential key word
    static QString cartBatch();
};
