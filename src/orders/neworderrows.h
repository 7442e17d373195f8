#pragma once

#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>

#include "model/groupproductimages.h"
#include "upload/newordersubmission.h"

class KeyedRows;
class QTableWidget;

// The rows of the new-order list: one per dropped customer folder, with its
// check result and price. Holds the records of its rows; a record leaves
// through take() when its row goes, for its owner to free.
class NewOrderRows final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NewOrderRows)

public:
    NewOrderRows(QTableWidget *table, KeyedRows &keys, QObject *parent = nullptr);

    void setAlbum(bool album) { m_album = album; }
    // The matched price, before the row's buttons.
    int priceColumn() const { return m_album ? 7 : 6; }

    void add(const QString &folderKey, groupProductImages *record);
    void build(const QString &folderKey, groupProductImages *record);
    bool hasFolder(const QString &folderKey) const { return m_byFolder.contains(folderKey); }
    // The record of a row; null for a row without one.
    groupProductImages *recordOf(int row) const;

    // `rowsPending`: rows still wait to be built, so an unknown record's
    // result is kept for its row.
    void showResult(groupProductImages *record, bool refreshName, bool rowsPending);
    void showChecking(groupProductImages *record);

    // The records of these rows (before they are removed), or of all rows.
    QList<groupProductImages *> take(const QList<int> &rows);
    QList<groupProductImages *> takeAll();

    // The records of all rows in row order once every check has reported;
    // empty while any row is still being checked.
    QList<const groupProductImages *> reported() const;
    // Rows exist and none is being checked; reads the rows alone.
    bool allReported() const;

    // "已选N个订单，合计：…" for the ticked rows.
    QString checkedTotalText() const;
    QList<NewOrderSubmission::Row> ticked() const;

signals:
    void rowTicked(int row, bool checked);
    void changeRequested(groupProductImages *record);
    void deleteRequested(int row);
    void resultShown();

private:
    QTableWidget *m_table;
    KeyedRows &m_keys;
    bool m_album = false;
    QMap<QString, QList<groupProductImages *>> m_byFolder;
    // Checks reported for rows still waiting, with their refresh-name flag.
    QHash<groupProductImages *, bool> m_earlyResults;
};
