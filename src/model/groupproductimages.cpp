#include "model/groupproductimages.h"

QString groupProductImages::matchStateText() const
{
    if (!message.isEmpty())
        return message;
    if (!failed.isEmpty()) {
        const subOrderImages &last = failed.last();
        if (!last.errors.isEmpty())
            return last.errors.first();
        return QStringLiteral("产品匹配有误：") + last.name;
    }
    return successText;
}

void groupProductImages::reset()
{
    totalBytes = 0;
    imageCount = 0;
    price = 0.0f;
    message.clear();
    createdSubOrders.clear();
    matched.clear();
    failed.clear();
    notTried.clear();
}

QString groupProductImages::makeOrderNo(const QDateTime &created, int position)
{
    return created.toString(orderNoStamp) + QStringLiteral("%1").arg(position, 3, 10, QLatin1Char('0'));
}
