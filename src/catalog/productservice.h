#pragma once

#include <QList>
#include <QPair>
#include <QStringList>

#include "catalog/spumess.h"

// The product requests, through the backend client. Each blocks the calling
// thread; a failure leaves what the caller holds untouched.
class ProductService final
{
public:
    ProductService() = delete;

    // Products of the logged-in store whose name holds `text`: (id, name).
    static bool search(const QString &text, QList<QPair<qint32, QString>> *found);
    // The product with its groups, SKUs and (for a series) geometry. An
    // answer the client cannot use leaves the operator's text in `problem`;
    // a failed call leaves it untouched.
    static bool query(qint32 spuId, spuMess *spu, QString *problem);
    // Reads the compose sizes of one non-series group into `spu`.
    static bool loadGroupGeometry(spuMess *spu, qint32 groupId);
    // Template image addresses of a gold-stamp group.
    static bool templateImages(qint32 id, QStringList *urls);
};
