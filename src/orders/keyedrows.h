#pragma once

#include <QHash>
#include <QList>
#include <QString>

class QCheckBox;
class QTableWidget;
class QTableWidgetItem;
class QWidget;

// The rows of an order list, each found by its order number through the item
// that carries its keys, so that a progress update or a check result never
// scans the rows.
class KeyedRows final
{
public:
    explicit KeyedRows(QTableWidget *table)
        : m_table(table)
    {
    }

    // A centred, read-only cell; "/n" in backend texts breaks the line.
    static QTableWidgetItem *textItem(const QString &text, bool done = false);
    static const QString &grey();
    static const QString &done();

    // Column 1 of the row keeps its order number, class folder and name.
    void setKeys(int row, const QString &orderNo, const QString &folderKey, const QString &name);
    void setName(int row, const QString &name);
    QString orderNo(int row) const;
    QString folder(int row) const;
    QString name(int row) const;
    // -1 when no built row has that order number.
    int rowOf(const QString &orderNo) const;
    QCheckBox *check(int row) const;
    // A check box in column 0 of the row.
    QCheckBox *addCheck(int row);
    // The row of a widget inside one of its cells, -1 when none.
    int rowAt(const QWidget *inCell) const;
    bool isTicked(int row) const;

    // Forgets the keys of the row, which the caller removes.
    void forget(const QString &orderNo) { m_keyItems.remove(orderNo); }
    // Removes the rows (ascending) and their keys, runs of rows at once.
    void remove(const QList<int> &rows);
    void clear();

private:
    QString data(int row, int role) const;

    QTableWidget *m_table;
    QHash<QString, QTableWidgetItem *> m_keyItems;
};
