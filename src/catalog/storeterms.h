#pragma once

#include <QString>

// The store's pricing terms from its basic information.
struct StoreTerms
{
    qint32 startups = 0;
    QString storeType;

    bool isWeddingDress() const { return storeType == QLatin1String("WEDDINGDRESS"); }
    bool isLaterStage() const { return storeType == QLatin1String("LATERSTAGE"); }

    // The logged-in store's terms from the session.
    static StoreTerms fromSession();
};
