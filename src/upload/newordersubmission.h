#pragma once

#include <QMap>
#include <QObject>
#include <QPair>
#include <QStringList>

#include "model/groupproductimages.h"
#include "model/ordergroup.h"
#include "model/productrecord.h"

// The way of the ticked customer folders of the new-order list into the
// queue: refused while any of them has no match, otherwise grouped by class
// folder into one order each for the worker, whose answers tell which rows
// may go. Lives on the GUI thread.
class NewOrderSubmission final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NewOrderSubmission)

public:
    struct Row
    {
        int row = 0;
        QString key;    // the row's order number
        QString folder; // its class folder
        groupProductImages *record = nullptr;
        QString state;    // the row's check state text
        qint32 skuId = 0; // the matched SKU the row shows
    };

    explicit NewOrderSubmission(QObject *parent = nullptr);

    void setSkuTable(const QMap<qint32, productRecord> &table) { m_skuTable = table; }
    bool hasSkuTable() const { return !m_skuTable.isEmpty(); }
    // The refusal for the operator, or empty once the orders went to the
    // worker; the rows stay until their order is stored.
    QString submit(const QList<Row> &rows);

signals:
    // A stored order's rows.
    void rowsStored(const QStringList &keys);
    // Every order of the submission answered: the class folders stored and
    // those that could not be.
    void finished(const QStringList &stored, const QStringList &failed);

private:
    void orderStored(const QString &orderNo, bool stored);

    QMap<qint32, productRecord> m_skuTable;
    // Order number to its class folder and the keys of its rows.
    QMap<QString, QPair<QString, QStringList>> m_pending;
    QStringList m_stored;
    QStringList m_failed;
};
