#include "upload/cartpostjournal.h"

#include <QDateTime>
#include <QSqlRecord>
#include <QVariant>

#include "core/logmanager.h"
#include "store/shareddatabase.h"
#include "upload/orderrecords.h"

namespace {

// One row per quoted order number, all in one statement, so that a conflict
// writes none of them.
QString recordStatement(const QStringList &quotedOrderNos, const QString &state, bool replace)
{
    const QString now = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    QStringList rows;
    for (const QString &quoted : quotedOrderNos)
        rows << QStringLiteral("(%1,'%2','%3')").arg(quoted, now, state);
    return QStringLiteral("INSERT %1INTO cartPosts(orderNo,postedAt,state) VALUES %2")
        .arg(replace ? QStringLiteral("OR REPLACE ") : QString(), rows.join(QLatin1Char(',')));
}

QString inList(const QStringList &quotedOrderNos)
{
    return QLatin1Char('(') + quotedOrderNos.join(QLatin1Char(',')) + QLatin1Char(')');
}

} // namespace

bool CartPostJournal::begin(const QStringList &quotedOrderNos, bool again)
{
    if (quotedOrderNos.isEmpty())
        return false;
    if (execStatement(sharedDatabase(), recordStatement(quotedOrderNos, posting, again)))
        return true;
    LogManager::logError(QStringLiteral("记录购物车提交失败，未提交:%1").arg(quotedOrderNos.join(QLatin1Char(','))));
    return false;
}

void CartPostJournal::abandon(const QStringList &quotedOrderNos)
{
    if (!quotedOrderNos.isEmpty())
        execStatement(sharedDatabase(),
                      QStringLiteral("DELETE FROM cartPosts WHERE orderNo IN ") + inList(quotedOrderNos));
}

bool CartPostJournal::complete(const QStringList &quotedOrderNos)
{
    if (quotedOrderNos.isEmpty())
        return OrderRecords::markOrdersInCart(quotedOrderNos);
    // Without this the record would still say "posting" after a failed
    // marking, and the operator would be asked about a post the backend took.
    execStatement(sharedDatabase(), recordStatement(quotedOrderNos, posted, true));
    if (!OrderRecords::markOrdersInCart(quotedOrderNos))
        return false;
    abandon(quotedOrderNos);
    return true;
}

QHash<QString, QString> CartPostJournal::settle()
{
    QList<QSqlRecord> rows;
    runQuery(sharedDatabase(),
             QStringLiteral("SELECT c.orderNo FROM cartPosts c WHERE c.state='%1' AND EXISTS (SELECT 1 FROM orders o "
                            "WHERE o.orderNo=c.orderNo AND o.status<>'CARTOK')")
                 .arg(posted),
             rows);
    QStringList unmarked;
    for (const QSqlRecord &row : rows)
        unmarked << sqlQuoted(row.value(0).toString());
    if (!unmarked.isEmpty()) {
        LogManager::logInfo(QStringLiteral("购物车已收到的订单重新标记:%1").arg(unmarked.join(QLatin1Char(','))));
        OrderRecords::markOrdersInCart(unmarked);
    }
    execStatement(sharedDatabase(), QStringLiteral("DELETE FROM cartPosts WHERE NOT EXISTS (SELECT 1 FROM orders o "
                                                   "WHERE o.orderNo=cartPosts.orderNo AND o.status<>'CARTOK')"));

    QHash<QString, QString> remaining;
    rows.clear();
    runQuery(sharedDatabase(), QStringLiteral("SELECT orderNo, state FROM cartPosts"), rows);
    for (const QSqlRecord &row : rows)
        remaining.insert(row.value(0).toString(), row.value(1).toString());
    return remaining;
}
