#pragma once

#include <QObject>
#include <QRunnable>
#include <QString>

#include "catalog/spumess.h"
#include "catalog/storeterms.h"
#include "intake/unreadableentries.h"
#include "model/groupproductimages.h"

// The check of one dropped order on a pool thread: collects the order's
// images into sub-orders, inspects each, matches them against the product's
// candidate groups and emits productCheckOK exactly once. Writes only its own
// order record, which the caller must leave alone until the signal.
class readImageToProduct final : public QObject, public QRunnable
{
    Q_OBJECT

public:
    readImageToProduct(const QString &orderPath, const spuMess &spu, groupProductImages *order, bool flag,
                       const StoreTerms &terms = StoreTerms::fromSession());

    void run() override;

    // The order's sub-orders as the product kind collects them; fills the
    // order's message for a series without entries.
    QList<subOrderImages> collect();

signals:
    void productCheckOK(groupProductImages *order, bool flag);
    void changeItem();

private:
    imgMess pdfRecord(const QString &path) const;
    imgMess inspected(const QString &path) const;
    void scanFolder(const QString &folder, subOrderImages &sub);
    static void addUndecodable(const UnreadableEntries::Undecodable &entry, subOrderImages &sub);

    QString m_path;
    spuMess m_spu;
    groupProductImages *m_order;
    bool m_flag;
    StoreTerms m_terms;
};
