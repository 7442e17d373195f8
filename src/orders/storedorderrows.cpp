#include "orders/storedorderrows.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTextDocument>

#include "orders/keyedrows.h"
#include "orders/orderprogressbar.h"
#include "orders/producttablewidget.h"
#include "orders/rowcells.h"
#include "store/shareddatabase.h"
#include "upload/cartpostjournal.h"
#include "upload/databasethread.h"
#include "upload/orderrecords.h"

namespace {

constexpr int kProgressColumn = 5; // uploading list
constexpr int kStateColumn = 6;    // uploading and uploaded lists

} // namespace

StoredOrderRows::StoredOrderRows(int listType, QTableWidget *table, KeyedRows &keys, CartSubmission *cart,
                                 QObject *parent)
    : QObject(parent)
    , m_listType(listType)
    , m_table(table)
    , m_keys(keys)
    , m_cart(cart)
{
}

QString StoredOrderRows::sizeText(double megabytes)
{
    if (megabytes > 1024.0)
        return QStringLiteral("%1G").arg(megabytes / 1024.0, 0, 'f', 2);
    return QStringLiteral("%1M").arg(megabytes, 0, 'f', 2);
}

void StoredOrderRows::build(const orderGroup &order)
{
    const int row = m_table->rowCount();
    m_table->insertRow(row);
    const QString size = sizeText(order.size);
    QList<QTableWidgetItem *> items{KeyedRows::textItem(order.name), KeyedRows::textItem(order.productName),
                                    KeyedRows::textItem(order.skuGroupName),
                                    KeyedRows::textItem(QString::number(order.orderCount))};
    int first = 0;
    if (m_listType == productTableWidget::Uploading) {
        items << KeyedRows::textItem(size);
        auto *bar = new orderProgressBar(order.fileCout, m_table);
        bar->setProgress(order.uploadedCount);
        m_table->setCellWidget(row, kProgressColumn, bar);
        if (const QStringList held = order.details.value(OrderRecords::heldImagesKey()).toStringList(); !held.isEmpty())
            addHeldCell(row, order.orderNo, held);
    } else if (m_listType == productTableWidget::Uploaded) {
        QCheckBox *box = m_keys.addCheck(row);
        connect(box, &QCheckBox::clicked, this, [this, box](bool checked) {
            if (const int r = m_keys.rowAt(box); r >= 0)
                emit rowTicked(r, checked);
        });
        first = 1;
        items << KeyedRows::textItem(size) << uploadedStateItem(order.orderNo);
    } else {
        items << KeyedRows::textItem(order.timeCart) << KeyedRows::textItem(size)
              << KeyedRows::textItem(QStringLiteral("加购完成"), true);
    }
    for (int i = 0; i < items.size(); ++i)
        m_table->setItem(row, first + i, items.at(i));
    m_keys.setKeys(row, order.orderNo, QString(), order.name);
    if (QTableWidgetItem *keyItem = m_table->item(row, 1))
        keyItem->setToolTip(Qt::convertFromPlainText(QStringLiteral("%1*%2").arg(order.name, order.orderNo)));
    m_table->resizeRowToContents(row);
    // Progress that arrived while the row waited to be built.
    const int uploaded = m_ordersByNo.value(order.orderNo).uploadedCount;
    if (m_listType == productTableWidget::Uploading && uploaded != order.uploadedCount)
        updateUploadProgress(order.orderNo, uploaded);
}

// Images that cannot be sent (file missing or changed since its check) wait
// for the operator: restore the file and check again, or delete the order.
void StoredOrderRows::addHeldCell(int row, const QString &orderNo, const QStringList &held)
{
    auto *cell = new QWidget(m_table);
    cell->setObjectName(QStringLiteral("heldCell"));
    QHBoxLayout *layout = RowCells::row(cell, 8);
    auto *label = new QLabel(QStringLiteral("需处理"), cell);
    // The size of the row buttons beside it.
    label->setStyleSheet(QStringLiteral("color: red; font-size: 14px;"));
    // Folder and file names are the studio's, shown as they are.
    cell->setToolTip(Qt::convertFromPlainText(
        QStringLiteral("以下图片无法上传，恢复原文件后点“重新检查”，或删除订单：\n") + held.join(QLatin1Char('\n'))));
    label->setToolTip(cell->toolTip());
    layout->addWidget(label);
    QPushButton *recheck = RowCells::button(cell, QStringLiteral("重新检查"), "changeBtn");
    connect(recheck, &QPushButton::clicked, this, [this, orderNo] {
        DatabaseThread::instance().releaseHeldImages({sqlQuoted(orderNo)});
        if (const int r = m_keys.rowOf(orderNo); r >= 0) {
            m_table->removeCellWidget(r, kStateColumn);
            m_table->setItem(r, kStateColumn, KeyedRows::textItem(QStringLiteral("等待重新检查")));
        }
    });
    QPushButton *remove = RowCells::button(cell, QStringLiteral("删除"), "deleteBtn");
    connect(remove, &QPushButton::clicked, this, [this, orderNo] { emit deleteRequested(orderNo); });
    m_table->setCellWidget(row, kStateColumn, cell);
}

void StoredOrderRows::updateUploadProgress(const QString &orderNo, int uploadedCount)
{
    if (auto it = m_ordersByNo.find(orderNo); it != m_ordersByNo.end())
        it->uploadedCount = uploadedCount;
    const int row = orderNo.isEmpty() ? -1 : m_keys.rowOf(orderNo);
    auto *bar = row >= 0 ? qobject_cast<orderProgressBar *>(m_table->cellWidget(row, kProgressColumn)) : nullptr;
    if (bar && bar->setProgress(uploadedCount))
        m_keys.remove({row});
}

QTableWidgetItem *StoredOrderRows::uploadedStateItem(const QString &orderNo) const
{
    const QString state = m_cart ? m_cart->postState(orderNo) : QString();
    if (state.isEmpty())
        return KeyedRows::textItem(QStringLiteral("上传完成"), true);
    QTableWidgetItem *item = KeyedRows::textItem(state == CartPostJournal::posted ? QStringLiteral("已加入购物车")
                                                                                  : QStringLiteral("可能已加入购物车"));
    item->setForeground(QColor(QStringLiteral("#E6A23C")));
    return item;
}

void StoredOrderRows::refreshCartPostStates()
{
    for (int row = 0; row < m_table->rowCount(); ++row) {
        if (m_table->item(row, kStateColumn))
            m_table->setItem(row, kStateColumn, uploadedStateItem(m_keys.orderNo(row)));
    }
}

QList<CartSubmission::Choice> StoredOrderRows::ticked() const
{
    QList<CartSubmission::Choice> chosen;
    for (int row = 0; row < m_table->rowCount(); ++row) {
        if (m_keys.isTicked(row))
            chosen << CartSubmission::Choice{m_ordersByNo.value(m_keys.orderNo(row)).orderNo, m_keys.name(row)};
    }
    return chosen;
}
