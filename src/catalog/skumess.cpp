#include "catalog/skumess.h"

QList<qint32> skuMess::pageCounts() const
{
    QList<qint32> counts;
    if (baseStep <= 0) {
        // A zero step would never advance: only the base count is offered.
        if (basePage <= maxPage)
            counts << basePage;
        return counts;
    }
    for (qint32 p = basePage; p <= maxPage; p += baseStep)
        counts << p;
    return counts;
}

QString skuMess::pageList(qint32 basePage, qint32 maxPage, qint32 baseStep)
{
    skuMess sku;
    sku.basePage = basePage;
    sku.maxPage = maxPage;
    sku.baseStep = baseStep;
    QString text;
    for (qint32 p : sku.pageCounts())
        text += QStringLiteral("%1P,").arg(p);
    return text;
}
