#include "orders/keyedrows.h"

#include <QAbstractItemModel>
#include <QCheckBox>
#include <QTableWidget>

#include "orders/rowcells.h"

namespace {

constexpr int kOrderNoRole = Qt::UserRole;
constexpr int kFolderRole = Qt::UserRole + 1;
constexpr int kNameRole = Qt::UserRole + 2;

} // namespace

const QString &KeyedRows::grey()
{
    static const QString colour = QStringLiteral("#606266");
    return colour;
}

const QString &KeyedRows::done()
{
    static const QString colour = QStringLiteral("#09BB07");
    return colour;
}

QTableWidgetItem *KeyedRows::textItem(const QString &text, bool isDone)
{
    QString shown = text;
    shown.replace(QStringLiteral("/n"), QStringLiteral("\n"));
    auto *item = new QTableWidgetItem(shown);
    item->setTextAlignment(Qt::AlignCenter);
    item->setFlags(Qt::ItemIsEnabled);
    item->setForeground(QColor(isDone ? done() : grey()));
    return item;
}

// The tool tip shows the keys but is never read back: a folder name may
// hold its separator.
void KeyedRows::setKeys(int row, const QString &orderNo, const QString &folderKey, const QString &name)
{
    QTableWidgetItem *item = m_table->item(row, 1);
    m_keyItems.insert(orderNo, item);
    item->setData(kOrderNoRole, orderNo);
    item->setData(kFolderRole, folderKey);
    item->setData(kNameRole, name);
}

void KeyedRows::setName(int row, const QString &name)
{
    if (QTableWidgetItem *item = m_table->item(row, 1)) {
        item->setText(name);
        item->setData(kNameRole, name);
    }
}

QString KeyedRows::data(int row, int role) const
{
    const QTableWidgetItem *item = m_table->item(row, 1);
    return item ? item->data(role).toString() : QString();
}

QString KeyedRows::orderNo(int row) const
{
    return data(row, kOrderNoRole);
}

QString KeyedRows::folder(int row) const
{
    return data(row, kFolderRole);
}

QString KeyedRows::name(int row) const
{
    return data(row, kNameRole);
}

int KeyedRows::rowOf(const QString &orderNo) const
{
    // The table keeps each item's last row, so this is no scan of the rows
    // but after a removal above it.
    const QTableWidgetItem *item = m_keyItems.value(orderNo);
    return item ? m_table->row(item) : -1;
}

QCheckBox *KeyedRows::check(int row) const
{
    QWidget *cell = m_table->cellWidget(row, 0);
    return cell ? cell->findChild<QCheckBox *>(QStringLiteral("checkBox")) : nullptr;
}

QCheckBox *KeyedRows::addCheck(int row)
{
    auto *cell = new QWidget(m_table);
    RowCells::row(cell, 0);
    QCheckBox *box = RowCells::check(cell);
    m_table->setCellWidget(row, 0, cell);
    return box;
}

int KeyedRows::rowAt(const QWidget *inCell) const
{
    if (!inCell || !inCell->parentWidget())
        return -1;
    return m_table->indexAt(inCell->parentWidget()->frameGeometry().topLeft()).row();
}

bool KeyedRows::isTicked(int row) const
{
    const QCheckBox *box = check(row);
    return box && box->isChecked();
}

void KeyedRows::remove(const QList<int> &rows)
{
    for (const int row : rows)
        m_keyItems.remove(orderNo(row));
    // Runs of rows go at once: row by row, every later row's cell widgets
    // would be moved again for each removed row.
    for (int end = int(rows.size()); end > 0;) {
        int start = end - 1;
        while (start > 0 && rows.at(start - 1) == rows.at(start) - 1)
            --start;
        m_table->model()->removeRows(rows.at(start), end - start);
        end = start;
    }
}

void KeyedRows::clear()
{
    m_table->setRowCount(0);
    m_keyItems.clear();
}
