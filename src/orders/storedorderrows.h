#pragma once

#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>

#include "model/ordergroup.h"
#include "upload/cartsubmission.h"

class KeyedRows;
class QTableWidget;
class QTableWidgetItem;

// The rows of the lists of stored orders: upload progress and held images
// while uploading, the cart post state once uploaded, the cart date in the
// cart list.
class StoredOrderRows final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StoredOrderRows)

public:
    // `cart` (the uploaded list's only) knows each order's cart post state.
    StoredOrderRows(int listType, QTableWidget *table, KeyedRows &keys, CartSubmission *cart,
                    QObject *parent = nullptr);

    void add(const orderGroup &order) { m_ordersByNo.insert(order.orderNo, order); }
    void build(const orderGroup &order);
    int count() const { return int(m_ordersByNo.size()); }

    void updateUploadProgress(const QString &orderNo, int uploadedCount);
    void refreshCartPostStates();
    QList<CartSubmission::Choice> ticked() const;

    // "%1M" with two decimals, or "%1G" above 1024 MB.
    static QString sizeText(double megabytes);

signals:
    void rowTicked(int row, bool checked);
    // "删除" of a row with held images.
    void deleteRequested(const QString &orderNo);

private:
    void addHeldCell(int row, const QString &orderNo, const QStringList &held);
    QTableWidgetItem *uploadedStateItem(const QString &orderNo) const;

    const int m_listType;
    QTableWidget *m_table;
    KeyedRows &m_keys;
    CartSubmission *m_cart;
    QMap<QString, orderGroup> m_ordersByNo;
};
