#include "orders/neworderrows.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTextDocument>

#include "core/logmanager.h"
#include "core/numbertext.h"
#include "orders/keyedrows.h"
#include "orders/rowcells.h"

namespace {

constexpr int kSizeColumn = 4;
constexpr int kSkuColumn = 3;
constexpr int kStateColumn = 5;
constexpr int kPagesColumn = 6; // album lists only

QString priceText(double yuan)
{
    return QStringLiteral("¥%1").arg(yuan, 0, 'f', 2);
}

} // namespace

NewOrderRows::NewOrderRows(QTableWidget *table, KeyedRows &keys, QObject *parent)
    : QObject(parent)
    , m_table(table)
    , m_keys(keys)
{
}

void NewOrderRows::add(const QString &folderKey, groupProductImages *record)
{
    m_byFolder[folderKey].append(record);
}

void NewOrderRows::build(const QString &folderKey, groupProductImages *record)
{
    const int row = m_table->rowCount();
    m_table->insertRow(row);
    QCheckBox *box = m_keys.addCheck(row);
    connect(box, &QCheckBox::clicked, this, [this, box](bool checked) {
        if (const int r = m_keys.rowAt(box); r >= 0)
            emit rowTicked(r, checked);
    });
    QStringList texts{record->name, record->productName, QString(), QString(), groupProductImages::matchingText,
                      QString()};
    if (m_album)
        texts << QString();
    for (int i = 0; i < texts.size(); ++i)
        m_table->setItem(row, i + 1, KeyedRows::textItem(texts.at(i)));
    m_keys.setKeys(row, record->orderNo, folderKey, record->name);
    m_table->item(row, 1)->setToolTip(
        Qt::convertFromPlainText(QStringLiteral("%1*%2*%3").arg(folderKey, record->orderNo, record->name)));

    auto *cell = new QWidget(m_table);
    RowCells::row(cell, 25);
    QPushButton *change =
        RowCells::button(cell, QStringLiteral("替换"), "changeBtn", QStringLiteral(":/icons/changImage.svg"));
    connect(change, &QPushButton::clicked, this, [this, change] {
        if (groupProductImages *r = recordOf(m_keys.rowAt(change)))
            emit changeRequested(r);
    });
    QPushButton *remove =
        RowCells::button(cell, QStringLiteral("删除"), "deleteBtn", QStringLiteral(":/icons/deleteBtn.svg"));
    connect(remove, &QPushButton::clicked, this, [this, remove] {
        if (const int r = m_keys.rowAt(remove); r >= 0)
            emit deleteRequested(r);
    });
    m_table->setCellWidget(row, priceColumn() + 1, cell);
    // Only the new row: all of them each time is quadratic in a large class.
    m_table->resizeRowToContents(row);
    // A check that reported before its row was built.
    if (m_earlyResults.contains(record))
        showResult(record, m_earlyResults.take(record), false);
}

groupProductImages *NewOrderRows::recordOf(int row) const
{
    if (row < 0)
        return nullptr;
    const QString orderNo = m_keys.orderNo(row);
    for (groupProductImages *record : m_byFolder.value(m_keys.folder(row))) {
        if (record->orderNo == orderNo)
            return record;
    }
    return nullptr;
}

void NewOrderRows::showResult(groupProductImages *record, bool refreshName, bool rowsPending)
{
    const int row = m_keys.rowOf(record->orderNo);
    if (row < 0) {
        if (rowsPending)
            m_earlyResults[record] = m_earlyResults.value(record) || refreshName;
        return;
    }
    m_table->item(row, kSizeColumn)
        ->setText(QStringLiteral("%1M").arg(NumberText::megabytes(record->totalBytes), 0, 'f', 2));
    m_table->item(row, kSkuColumn)->setText(record->productName);
    QTableWidgetItem *state = m_table->item(row, kStateColumn);
    if (!record->matched.isEmpty())
        state->setToolTip(QString::number(record->skuId));
    const QString text = record->matchStateText();
    state->setText(text);
    state->setForeground(text == groupProductImages::successText ? QColor(KeyedRows::grey()) : QColor(Qt::red));
    if (refreshName)
        m_table->item(row, 1)->setText(record->name);
    if (m_album && m_table->item(row, kPagesColumn))
        m_table->item(row, kPagesColumn)->setText(QString::number(record->pageCount));
    m_table->item(row, priceColumn())->setText(record->isMatched() ? priceText(record->price) : QString());
    emit resultShown();
}

void NewOrderRows::showChecking(groupProductImages *record)
{
    m_earlyResults.remove(record);
    const int row = m_keys.rowOf(record->orderNo);
    if (row < 0)
        return;
    m_keys.setName(row, record->name);
    QTableWidgetItem *state = m_table->item(row, kStateColumn);
    state->setText(groupProductImages::matchingText);
    state->setToolTip(QString());
    state->setForeground(QColor(KeyedRows::grey()));
    m_table->item(row, priceColumn())->setText(QString());
    emit resultShown();
}

QList<groupProductImages *> NewOrderRows::take(const QList<int> &rows)
{
    QList<groupProductImages *> taken;
    for (const int row : rows) {
        groupProductImages *record = recordOf(row);
        if (!record)
            continue;
        const QString folder = m_keys.folder(row);
        QList<groupProductImages *> &list = m_byFolder[folder];
        list.removeAll(record);
        if (list.isEmpty())
            m_byFolder.remove(folder);
        m_earlyResults.remove(record);
        taken << record;
    }
    return taken;
}

QList<groupProductImages *> NewOrderRows::takeAll()
{
    QList<groupProductImages *> taken;
    for (const QList<groupProductImages *> &records : std::as_const(m_byFolder))
        taken += records;
    m_byFolder.clear();
    m_earlyResults.clear();
    return taken;
}

QList<const groupProductImages *> NewOrderRows::reported() const
{
    QList<const groupProductImages *> records;
    for (int row = 0; row < m_table->rowCount(); ++row) {
        const groupProductImages *record = recordOf(row);
        if (!record || m_table->item(row, kStateColumn)->text() == groupProductImages::matchingText)
            return {};
        records << record;
    }
    return records;
}

bool NewOrderRows::allReported() const
{
    for (int row = 0; row < m_table->rowCount(); ++row) {
        if (m_table->item(row, kStateColumn)->text() == groupProductImages::matchingText)
            return false;
    }
    return m_table->rowCount() > 0;
}

QString NewOrderRows::checkedTotalText() const
{
    int ticked = 0;
    int unpriced = 0;
    double total = 0.0;
    for (int row = 0; row < m_table->rowCount(); ++row) {
        if (!m_keys.isTicked(row))
            continue;
        ++ticked;
        // The record is read only once its check has reported (its task may still be writing it).
        const bool reported = m_table->item(row, kStateColumn)->text() != groupProductImages::matchingText;
        const groupProductImages *record = reported ? recordOf(row) : nullptr;
        if (record && record->isMatched())
            total += double(record->price);
        else
            ++unpriced;
    }
    QString text = QStringLiteral("已选%1个订单，合计：%2").arg(ticked).arg(priceText(total));
    // Orders without a match have no price yet; the total must not look complete.
    if (unpriced > 0)
        text += QStringLiteral("（%1个未匹配成功，未计价）").arg(unpriced);
    return text;
}

QList<NewOrderSubmission::Row> NewOrderRows::ticked() const
{
    QList<NewOrderSubmission::Row> rows;
    for (int row = 0; row < m_table->rowCount(); ++row) {
        if (!m_keys.isTicked(row))
            continue;
        const QString orderNo = m_keys.orderNo(row);
        if (orderNo.isEmpty()) {
            LogManager::logInfo(QStringLiteral("丢了对应产品信息"));
            continue;
        }
        groupProductImages *record = recordOf(row);
        if (!record) {
            LogManager::logError(QStringLiteral("订单记录已不存在，未提交:%1").arg(orderNo));
            continue;
        }
        const QTableWidgetItem *state = m_table->item(row, kStateColumn);
        rows << NewOrderSubmission::Row{row,    orderNo,       m_keys.folder(row),
                                        record, state->text(), state->toolTip().toInt()};
    }
    return rows;
}
