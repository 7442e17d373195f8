#include "catalog/skugroupmess.h"

#include <QStringList>

QMap<qint32, qint32> skuGroupMess::parseDictIdSet(const QString &text)
{
    QMap<qint32, qint32> ids;
    for (const QString &pair : text.split(QLatin1Char(';'))) {
        const QStringList parts = pair.split(QLatin1Char(':'));
        if (parts.size() < 2)
            continue;
        ids.insert(parts.at(0).toInt(), parts.at(1).toInt());
    }
    return ids;
}
