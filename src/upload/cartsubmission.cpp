#include "upload/cartsubmission.h"

#include <QDebug>
#include <QDesktopServices>
#include <QUrl>

#include "core/configfile.h"
#include "core/logmanager.h"
#include "core/vellruntime.h"
#include "net/authentication.h"
#include "net/endpoints.h"
#include "net/httputils.h"
#include "store/shareddatabase.h"
#include "upload/cartpostjournal.h"
#include "upload/databasethread.h"

namespace {

QString quotedNames(const QList<CartSubmission::Choice> &chosen)
{
    QStringList quoted;
    for (const CartSubmission::Choice &choice : chosen)
        quoted << QStringLiteral("“%1”").arg(choice.name);
    return quoted.join(QLatin1Char(','));
}

QStringList orderNos(const QList<CartSubmission::Choice> &chosen)
{
    QStringList numbers;
    for (const CartSubmission::Choice &choice : chosen)
        numbers << choice.orderNo;
    return numbers;
}

} // namespace

CartSubmission::CartSubmission(Ask ask, QObject *parent)
    : QObject(parent)
    , m_ask(std::move(ask))
{
    DatabaseThread &worker = DatabaseThread::instance();
    connect(&worker, &DatabaseThread::subOrderGetSig, this, &CartSubmission::itemsFetched);
    connect(&worker, &DatabaseThread::cartPostBegun, this, &CartSubmission::postRecorded);
    connect(&worker, &DatabaseThread::cartPostsPending, this, &CartSubmission::setPostStates);
}

void CartSubmission::setPostStates(const QHash<QString, QString> &states)
{
    m_states = states;
    emit postStatesChanged();
}

void CartSubmission::submit(const QList<Choice> &chosen)
{
    qDebug() << "addOrderToShoppingCart";
    QStringList quoted, unsureQuoted;
    QList<Choice> unsure, posted;
    for (const Choice &choice : chosen) {
        quoted << sqlQuoted(choice.orderNo);
        const QString state = m_states.value(choice.orderNo);
        if (state == CartPostJournal::posted) {
            posted << choice;
        } else if (state == CartPostJournal::posting) {
            unsureQuoted << quoted.last();
            unsure << choice;
        }
    }
    m_busy = true;
    m_pending = orderNos(chosen);
    m_pendingNames = quotedNames(chosen);
    // The shop has these already; they are marked when the list is loaded again.
    if (!posted.isEmpty()) {
        m_ask(QStringLiteral("%1已加入购物车，不能重复提交").arg(quotedNames(posted)), QStringLiteral("我知道了"),
              QString());
        end();
        return;
    }
    m_postAgain = !unsure.isEmpty();
    if (m_postAgain && !confirmRepeat(unsureQuoted, unsure)) {
        end();
        return;
    }
    DatabaseThread::instance().fetchCartItems(quoted);
}

bool CartSubmission::confirmRepeat(const QStringList &quoted, const QList<Choice> &unsure)
{
    const QString shown = quotedNames(unsure);
    if (m_ask(QStringLiteral("%1可能已加入购物车，请先到商城购物车中查看。购物车中已有这些订单吗?").arg(shown),
              QStringLiteral("已在购物车"), QStringLiteral("没有"))
        == 1) {
        DatabaseThread::instance().markOrdersInCart(quoted);
        leave(orderNos(unsure));
        return false;
    }
    return m_ask(QStringLiteral("确定将%1再次加入购物车吗?").arg(shown), QStringLiteral("重新加入"),
                 QStringLiteral("取消"))
           == 1;
}

void CartSubmission::itemsFetched(const QStringList &quotedOrderNos, const QHash<int, QJsonObject> &items)
{
    if (!m_busy)
        return;
    if (quotedOrderNos.isEmpty()) {
        m_ask(QStringLiteral("请选择要提交的订单"), QStringLiteral("我知道了"), QString());
        end();
        return;
    }
    for (const QJsonObject &item : items)
        m_items.append(item);
    // Posted only once the worker has recorded the post.
    DatabaseThread::instance().beginCartPost(quotedOrderNos, m_postAgain);
}

void CartSubmission::postRecorded(const QStringList &quotedOrderNos, bool recorded)
{
    if (!m_busy)
        return;
    const Outcome result = recorded ? post(quotedOrderNos) : Outcome::Failed;
    if (result == Outcome::Posted) {
        // The browser may not open; the window itself says what went in.
        LogManager::logInfo(QStringLiteral("加入购物车成功:%1").arg(m_pending.join(QLatin1Char(','))));
        const QString names = m_pendingNames;
        leave(m_pending);
        m_ask(QStringLiteral("%1已加入购物车，请到商城购物车中结算").arg(names), QStringLiteral("我知道了"), QString());
    } else if (result == Outcome::Failed) {
        LogManager::logError(QStringLiteral("加入购物车出错！"));
        m_ask(QStringLiteral("加入购物车出错"), QStringLiteral("我知道了"), QString());
    } else {
        LogManager::logError(QStringLiteral("加入购物车结果未知:%1").arg(quotedOrderNos.join(QLatin1Char(','))));
        for (const QString &orderNo : std::as_const(m_pending))
            m_states.insert(orderNo, CartPostJournal::posting);
        emit postStatesChanged();
        if (m_ask(QStringLiteral("加入购物车的结果未知（网络超时或连接中断），订单可能已加入购物车。"
                                 "请到商城购物车中查看，不要重复提交。"),
                  QStringLiteral("查看购物车"), QStringLiteral("我知道了"))
            == 1)
            openCartPage();
    }
    end();
}

CartSubmission::Outcome CartSubmission::post(const QStringList &quotedOrderNos)
{
    HttpUtils &http = HttpUtils::instance();
    if (!http.httpPostArray(Endpoints::cartBatch(), m_items, HttpUtils::jsonType(), true)) {
        // Without an answer the record stays: the shop may hold the items.
        if (http.lastOutcomeUnknown())
            return Outcome::Unknown;
        DatabaseThread::instance().abandonCartPost(quotedOrderNos);
        return Outcome::Failed;
    }
    DatabaseThread::instance().markOrdersInCart(quotedOrderNos);
    openCartPage();
    return Outcome::Posted;
}

void CartSubmission::leave(const QStringList &orderNos)
{
    for (const QString &orderNo : orderNos)
        m_states.remove(orderNo);
    emit ordersLeft(orderNos);
}

void CartSubmission::end()
{
    m_busy = false;
    m_pending.clear();
    m_pendingNames.clear();
    m_items = QJsonArray();
    emit finished();
}

void CartSubmission::openCartPage()
{
    const SessionData session = VellRuntime::instance().snapshot();
    QDesktopServices::openUrl(
        QUrl(QStringLiteral("%1?mes=%2")
                 .arg(configFile::cartUrl(), Authentication::webToken(session.userName, session.password))));
}
