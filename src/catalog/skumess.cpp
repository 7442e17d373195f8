#include "catalog/skumess.h"

QString skuMess::rangeProblem() const
{
    const bool inRange = basePage >= 1 && basePage <= maxPage && maxPage <= kMaxPages;
    const bool steps = baseStep > 0 || basePage == maxPage;
    if (inRange && steps)
        return QString();
    return QStringLiteral("规格「%1」的P数范围不对(起始%2P，最大%3P，步长%4；P数须在1到%5之间)")
        .arg(skuFrontName)
        .arg(basePage)
        .arg(maxPage)
        .arg(baseStep)
        .arg(kMaxPages);
}

QList<qint32> skuMess::pageCounts() const
{
    QList<qint32> counts;
    if (!rangeProblem().isEmpty())
        return counts;
    // Wide enough that a step near the 32-bit limit cannot wrap around.
    for (qint64 p = basePage; p <= maxPage; p += qMax(baseStep, 1))
        counts << qint32(p);
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
