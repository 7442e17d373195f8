#pragma once

#include <functional>

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QStringList>

// The way of chosen orders into the shop's cart: the worker assembles their
// items and records the post, the post goes out, and its outcome is kept in
// the cart post journal. Questions and notices go through the list's asker.
// Lives on the GUI thread.
class CartSubmission final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CartSubmission)

public:
    // Shows a "系统提示" with a text and its buttons (no cancel button when
    // empty); 1 when the confirming one was chosen.
    using Ask = std::function<int(const QString &text, const QString &sure, const QString &cancel)>;
    struct Choice
    {
        QString orderNo;
        QString name;
    };

    explicit CartSubmission(Ask ask, QObject *parent = nullptr);

    // One submission at a time; finished() ends every one, sent or not.
    void submit(const QList<Choice> &chosen);
    // The recorded cart post state of an order, empty when it has none.
    QString postState(const QString &orderNo) const { return m_states.value(orderNo); }
    void setPostStates(const QHash<QString, QString> &states);

signals:
    // The orders are in the cart (or the operator says so): their rows go.
    void ordersLeft(const QStringList &orderNos);
    void postStatesChanged();
    void finished();

private:
    enum class Outcome { Failed, Posted, Unknown };
    void itemsFetched(const QStringList &quotedOrderNos, const QHash<int, QJsonObject> &items);
    void postRecorded(const QStringList &quotedOrderNos, bool recorded);
    // False when the operator chose not to post the orders of an earlier
    // post whose outcome is unknown (or said they are in the cart already).
    bool confirmRepeat(const QStringList &quoted, const QList<Choice> &unsure);
    Outcome post(const QStringList &quotedOrderNos);
    void end();
    void leave(const QStringList &orderNos);
    static void openCartPage();

    Ask m_ask;
    bool m_busy = false;
    bool m_postAgain = false;
    QStringList m_pending;  // order numbers of the running submission
    QString m_pendingNames; // their names as the confirmation shows them
    QJsonArray m_items;
    QHash<QString, QString> m_states; // order number -> recorded cart post state
};
