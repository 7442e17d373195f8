#include "orders/producttablewidget.h"

#include <algorithm>
#include <cmath>

#include <QCheckBox>
#include <QDateTime>
#include <QDebug>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTableWidget>
#include <QTextDocument>
#include <QToolTip>
#include <QVBoxLayout>

#include "catalog/spumess.h"
#include "core/logmanager.h"
#include "core/numbertext.h"
#include "core/timeslicedqueue.h"
#include "dialogs/massegeboxshow.h"
#include "dialogs/tooltipdialog.h"
#include "orders/orderprogressbar.h"
#include "orders/queueprogresslabel.h"
#include "orders/rowcells.h"
#include "store/shareddatabase.h"
#include "upload/cartpostjournal.h"
#include "upload/cartsubmission.h"
#include "upload/databasethread.h"
#include "upload/newordersubmission.h"
#include "upload/orderrecords.h"

namespace {

const QString kGrey = QStringLiteral("#606266");
const QString kDone = QStringLiteral("#09BB07");
const QString kUnsure = QStringLiteral("#E6A23C");
const QString kMaybeInCart = QStringLiteral("可能已加入购物车");
const QString kInCart = QStringLiteral("已加入购物车");

} // namespace

productTableWidget::productTableWidget(int listType, QWidget *parent)
    : QWidget(parent)
    , m_listType(listType >= NewOrder && listType <= Cart ? listType : Cart)
{
    setWindowTitle(QStringLiteral("Form"));
    resize(472, 300);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_table = new QTableWidget(this);
    m_table->setObjectName(QStringLiteral("tableWidget"));
    m_table->setColumnCount(7);
    m_table->setLineWidth(5);
    m_table->setMidLineWidth(5);
    m_table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_table->setAutoScroll(true);
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    m_table->setSelectionBehavior(QAbstractItemView::SelectColumns);
    m_table->setShowGrid(false);
    m_table->setWordWrap(false);
    m_table->setCornerButtonEnabled(false);
    m_table->verticalHeader()->setVisible(false);
    for (QHeaderView *header : {m_table->horizontalHeader(), m_table->verticalHeader()}) {
        header->setMinimumSectionSize(39);
        header->setDefaultSectionSize(39);
    }
    m_table->setFocusPolicy(Qt::NoFocus);
    m_table->viewport()->installEventFilter(this);
    if (m_listType == Uploading)
        layout->addWidget(new QueueProgressLabel(this));
    layout->addWidget(m_table);

    m_btnsWidget = new QWidget(this);
    m_btnsWidget->setObjectName(QStringLiteral("btnsWidget"));
    m_btnsWidget->setFixedHeight(66);
    auto *bar = new QHBoxLayout(m_btnsWidget);
    bar->setSpacing(30);
    bar->setContentsMargins(9, 9, 16, 0);
    m_selectAll = new QCheckBox(QStringLiteral("全选"), m_btnsWidget);
    m_selectAll->setObjectName(QStringLiteral("selectAll"));
    m_cartOrdersCount = new QLabel(m_btnsWidget);
    m_cartOrdersCount->setObjectName(QStringLiteral("cartOrdersCount"));
    m_deletBtn = new QPushButton(QStringLiteral("删除"), m_btnsWidget);
    m_deletBtn->setObjectName(QStringLiteral("deletBtn"));
    m_addOrderBtn = new QPushButton(QStringLiteral("继续上传"), m_btnsWidget);
    m_addOrderBtn->setObjectName(QStringLiteral("addOrderBtn"));
    m_uploadBtn = new QPushButton(QStringLiteral("提交"), m_btnsWidget);
    m_uploadBtn->setObjectName(QStringLiteral("uploadBtn"));
    m_checkedTotal = new QLabel(m_btnsWidget);
    m_checkedTotal->setObjectName(QStringLiteral("checkedTotal"));
    m_checkedTotal->hide();
    bar->addWidget(m_selectAll);
    bar->addWidget(m_cartOrdersCount);
    bar->addSpacerItem(new QSpacerItem(48, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    bar->addWidget(m_deletBtn);
    bar->addWidget(m_addOrderBtn);
    bar->addWidget(m_checkedTotal);
    bar->addWidget(m_uploadBtn);
    layout->addWidget(m_btnsWidget);
    QMetaObject::connectSlotsByName(this);

    if (m_listType == Uploaded) {
        m_cart = new CartSubmission([this](const QString &text, const QString &sure,
                                           const QString &cancel) { return showMessage(text, sure, cancel); },
                                    this);
        connect(m_cart, &CartSubmission::ordersLeft, this, &productTableWidget::removeOrderRows);
        connect(m_cart, &CartSubmission::postStatesChanged, this, &productTableWidget::refreshCartPostStates);
        connect(m_cart, &CartSubmission::finished, m_uploadBtn, [this] { m_uploadBtn->setEnabled(true); });
    }
    if (m_listType == NewOrder) {
        m_submission = new NewOrderSubmission(this);
        connect(m_submission, &NewOrderSubmission::rowsStored, this,
                [this](const QStringList &keys) { removeRowsOf(QSet<QString>(keys.begin(), keys.end())); });
        connect(m_submission, &NewOrderSubmission::finished, this, &productTableWidget::newOrdersStored);
    }
    // Rows are built a slice per event-loop turn: a dropped class or a long
    // list would otherwise hold the window for a second.
    m_feed = new TimeSlicedQueue(20, this);
    m_resizeTimer.setSingleShot(true);
    connect(&m_resizeTimer, &QTimer::timeout, this, &productTableWidget::handleDelayedResize);
}

void productTableWidget::setHeader(const QStringList &labels)
{
    m_headerLabels = labels;
    m_table->setColumnCount(int(labels.size()));
    m_table->setHorizontalHeaderLabels(labels);
}

void productTableWidget::setupList()
{
    switch (m_listType) {
    case NewOrder:
        setHeader({QString(), QStringLiteral("客户名称"), QStringLiteral("产品名称"), QStringLiteral("sku组名称"),
                   QStringLiteral("大小"), QStringLiteral("匹配进度"), QStringLiteral("价格"), QStringLiteral("操作")});
        m_cartOrdersCount->hide();
        m_checkedTotal->show();
        updateCheckedTotal();
        break;
    case Uploading:
        setHeader({QStringLiteral("文件夹名称"), QStringLiteral("产品名称"), QStringLiteral("sku组名称"),
                   QStringLiteral("数量"), QStringLiteral("大小"), QStringLiteral("上传进度条"),
                   QStringLiteral("操作")});
        m_btnsWidget->hide();
        m_cartOrdersCount->hide();
        break;
    case Uploaded:
        setHeader({QString(), QStringLiteral("文件夹名称"), QStringLiteral("产品名称"), QStringLiteral("sku组名称"),
                   QStringLiteral("数量"), QStringLiteral("大小"), QStringLiteral("上传状态")});
        m_cartOrdersCount->hide();
        m_addOrderBtn->hide();
        m_uploadBtn->setText(QStringLiteral("去购物车结算"));
        break;
    default:
        setHeader({QStringLiteral("文件夹名称"), QStringLiteral("产品名称"), QStringLiteral("sku组名称"),
                   QStringLiteral("数量"), QStringLiteral("加购日期"), QStringLiteral("大小"),
                   QStringLiteral("上传状态")});
        m_cartOrdersCount->show();
        m_addOrderBtn->hide();
        m_uploadBtn->hide();
        m_selectAll->hide();
        m_deletBtn->setText(QStringLiteral("清除所有记录"));
        break;
    }
    if (m_listType != Uploading) {
        m_selectAll->setProperty("class", QStringLiteral("tableCheck"));
        m_deletBtn->setProperty("class", QStringLiteral("greenBorderBtn"));
        m_addOrderBtn->setProperty("class", QStringLiteral("greenBorderBtn"));
        m_uploadBtn->setProperty("class", QStringLiteral("greenBackBtn"));
        m_btnsWidget->setProperty("class", QStringLiteral("topBorderWidget"));
        connect(m_selectAll, &QCheckBox::clicked, this, &productTableWidget::slectAllBtn, Qt::UniqueConnection);
    }
}

void productTableWidget::setProductType(int productType)
{
    m_productType = productType;
    QStringList labels{QString(),
                       QStringLiteral("客户名称"),
                       QStringLiteral("产品名称"),
                       QStringLiteral("sku组名称"),
                       QStringLiteral("大小"),
                       QStringLiteral("匹配进度")};
    if (productType == int(ProductKind::Album))
        labels << QStringLiteral("匹数");
    labels << QStringLiteral("价格") << QStringLiteral("操作");
    setHeader(labels);
    setColumnWidths();
}

QString productTableWidget::sizeText(double megabytes)
{
    if (megabytes > 1024.0)
        return QStringLiteral("%1G").arg(megabytes / 1024.0, 0, 'f', 2);
    return QStringLiteral("%1M").arg(megabytes, 0, 'f', 2);
}

QTableWidgetItem *productTableWidget::textItem(const QString &text, bool done) const
{
    QString shown = text;
    shown.replace(QStringLiteral("/n"), QStringLiteral("\n"));
    auto *item = new QTableWidgetItem(shown);
    item->setTextAlignment(Qt::AlignCenter);
    item->setFlags(Qt::ItemIsEnabled);
    item->setForeground(QColor(done ? kDone : kGrey));
    return item;
}

void productTableWidget::addCheckCell(int row)
{
    auto *cell = new QWidget(m_table);
    RowCells::row(cell, 0);
    connect(RowCells::check(cell), &QCheckBox::clicked, this, &productTableWidget::seleteItem);
    m_table->setCellWidget(row, 0, cell);
}

void productTableWidget::addGroupRow(const QString &folderKey, groupProductImages *record)
{
    m_groupsByFolder[folderKey].append(record);
    m_feed->append([this, folderKey, record] { buildGroupRow(folderKey, record); });
}

void productTableWidget::buildGroupRow(const QString &folderKey, groupProductImages *record)
{
    const int row = m_table->rowCount();
    m_table->insertRow(row);
    addCheckCell(row);
    QStringList texts{record->name, record->productName, QString(), QString(), groupProductImages::matchingText,
                      QString()};
    if (m_productType == int(ProductKind::Album))
        texts << QString();
    for (int i = 0; i < texts.size(); ++i)
        m_table->setItem(row, i + 1, textItem(texts.at(i)));
    setRowKeys(row, record->orderNo, folderKey, record->name);
    m_table->item(row, 1)->setToolTip(
        Qt::convertFromPlainText(QStringLiteral("%1*%2*%3").arg(folderKey, record->orderNo, record->name)));

    auto *cell = new QWidget(m_table);
    RowCells::row(cell, 25);
    connect(RowCells::button(cell, QStringLiteral("替换"), "changeBtn", QStringLiteral(":/icons/changImage.svg")),
            &QPushButton::clicked, this, &productTableWidget::OnBtnClicked);
    connect(RowCells::button(cell, QStringLiteral("删除"), "deleteBtn", QStringLiteral(":/icons/deleteBtn.svg")),
            &QPushButton::clicked, this, &productTableWidget::deleteClicked);
    m_table->setCellWidget(row, priceColumn() + 1, cell);
    // Only the new row: all of them each time is quadratic in a large class.
    m_table->resizeRowToContents(row);
    // A check that reported before its row was built.
    if (m_earlyResults.contains(record))
        updateCheckResult(record, m_earlyResults.take(record));
}

void productTableWidget::addOrders(const QList<orderGroup> &orders)
{
    for (const orderGroup &order : orders) {
        m_ordersByNo.insert(order.orderNo, order);
        m_feed->append([this, order] { buildOrderRow(order); });
    }
    if (m_listType == Cart)
        m_cartOrdersCount->setText(QStringLiteral("共加入购物车%1个文件夹").arg(m_ordersByNo.size()));
}

void productTableWidget::buildOrderRow(const orderGroup &order)
{
    const int row = m_table->rowCount();
    m_table->insertRow(row);
    const QString size = sizeText(order.size);
    const QString count = QString::number(order.orderCount);
    QList<QTableWidgetItem *> items{textItem(order.name), textItem(order.productName), textItem(order.skuGroupName),
                                    textItem(count)};
    int first = 0;
    switch (m_listType) {
    case Uploading: {
        items << textItem(size);
        auto *bar = new orderProgressBar(order.fileCout, m_table);
        bar->setProgress(order.uploadedCount);
        m_table->setCellWidget(row, 5, bar);
        if (const QStringList held = order.details.value(OrderRecords::heldImagesKey()).toStringList(); !held.isEmpty())
            addHeldCell(row, order.orderNo, held);
        break;
    }
    case Uploaded:
        addCheckCell(row);
        first = 1;
        items << textItem(size) << uploadedStateItem(order.orderNo);
        break;
    default:
        items << textItem(order.timeCart) << textItem(size) << textItem(QStringLiteral("加购完成"), true);
        break;
    }
    for (int i = 0; i < items.size(); ++i)
        m_table->setItem(row, first + i, items.at(i));
    setRowKeys(row, order.orderNo, QString(), order.name);
    if (QTableWidgetItem *keyItem = m_table->item(row, 1))
        keyItem->setToolTip(Qt::convertFromPlainText(QStringLiteral("%1*%2").arg(order.name, order.orderNo)));
    m_table->resizeRowToContents(row);
    // Progress that arrived while the row waited to be built.
    const int uploaded = m_ordersByNo.value(order.orderNo).uploadedCount;
    if (m_listType == Uploading && uploaded != order.uploadedCount)
        updateUploadProgress(order.orderNo, uploaded);
}

// Images that cannot be sent (file missing or changed since its check) wait
// for the operator: restore the file and check again, or delete the order.
void productTableWidget::addHeldCell(int row, const QString &orderNo, const QStringList &held)
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
    const QString quoted = sqlQuoted(orderNo);
    QPushButton *recheck = RowCells::button(cell, QStringLiteral("重新检查"), "changeBtn");
    connect(recheck, &QPushButton::clicked, this, [this, quoted, orderNo] {
        DatabaseThread::instance().releaseHeldImages({quoted});
        const int r = rowOf(orderNo);
        if (r >= 0) {
            m_table->removeCellWidget(r, 6);
            m_table->setItem(r, 6, textItem(QStringLiteral("等待重新检查")));
        }
    });
    QPushButton *remove = RowCells::button(cell, QStringLiteral("删除"), "deleteBtn");
    connect(remove, &QPushButton::clicked, this, [this, quoted, orderNo] {
        const int r = rowOf(orderNo);
        if (r >= 0 && deleteRow(r, true))
            DatabaseThread::instance().deleteOrders({quoted});
    });
    m_table->setCellWidget(row, 6, cell);
}

void productTableWidget::clearTable()
{
    if (m_table->rowCount() == 0 && m_feed->pending() == 0)
        return;
    m_feed->clear();
    m_earlyResults.clear();
    m_table->setRowCount(0);
    m_keyItems.clear();
    QList<groupProductImages *> released;
    for (const QList<groupProductImages *> &records : std::as_const(m_groupsByFolder))
        released += records;
    m_groupsByFolder.clear();
    m_selectAll->setChecked(false);
    emit clearOrdersSig();
    if (!released.isEmpty())
        emit recordsReleased(released);
}

// The tool tip shows the keys but is never read back: a folder name may
// hold its separator.
void productTableWidget::setRowKeys(int row, const QString &orderNo, const QString &folderKey, const QString &name)
{
    QTableWidgetItem *item = m_table->item(row, 1);
    m_keyItems.insert(orderNo, item);
    item->setData(kOrderNoRole, orderNo);
    item->setData(kFolderRole, folderKey);
    item->setData(kNameRole, name);
}

QString productTableWidget::rowData(int row, int role) const
{
    const QTableWidgetItem *item = m_table->item(row, 1);
    return item ? item->data(role).toString() : QString();
}

QString productTableWidget::rowKey(int row) const
{
    return rowData(row, kOrderNoRole);
}

int productTableWidget::pendingRows() const
{
    return m_feed->pending();
}

int productTableWidget::rowOf(const QString &key) const
{
    // The table keeps each item's last row, so this is no scan of the rows
    // but after a removal above it.
    const QTableWidgetItem *item = m_keyItems.value(key);
    return item ? m_table->row(item) : -1;
}

QString productTableWidget::rowName(int row) const
{
    return rowData(row, kNameRole);
}

QCheckBox *productTableWidget::rowCheck(int row) const
{
    QWidget *cell = m_table->cellWidget(row, 0);
    return cell ? cell->findChild<QCheckBox *>(QStringLiteral("checkBox")) : nullptr;
}

int productTableWidget::senderRow() const
{
    auto *source = qobject_cast<QWidget *>(sender());
    if (!source || !source->parentWidget())
        return -1;
    return m_table->indexAt(source->parentWidget()->frameGeometry().topLeft()).row();
}

void productTableWidget::setRowSelected(int row, QString key, bool deselect)
{
    if (key.isEmpty())
        key = rowKey(row);
    if (deselect)
        m_selectedKeys.remove(key);
    else
        m_selectedKeys.insert(key);
    updateSelectAll();
}

void productTableWidget::updateSelectAll()
{
    if (m_selectedKeys.isEmpty())
        m_selectAll->setCheckState(Qt::Unchecked);
    else if (m_selectedKeys.size() == m_table->rowCount())
        m_selectAll->setCheckState(Qt::Checked);
    else
        m_selectAll->setCheckState(Qt::PartiallyChecked);
    updateCheckedTotal();
}

void productTableWidget::seleteItem(bool checked)
{
    const int row = senderRow();
    if (row >= 0)
        setRowSelected(row, QString(), !checked);
}

void productTableWidget::slectAllBtn(bool state)
{
    for (int row = 0; row < m_table->rowCount(); ++row) {
        QCheckBox *check = rowCheck(row);
        if (!check) {
            LogManager::logInfo(QStringLiteral("没有checkbox"));
            continue;
        }
        check->setChecked(state);
        if (!rowKey(row).isEmpty())
            setRowSelected(row, QString(), !state);
    }
    if (state)
        m_selectAll->setCheckState(Qt::Checked);
    updateCheckedTotal();
}

groupProductImages *productTableWidget::recordOf(int row) const
{
    const QString orderNo = rowKey(row);
    for (groupProductImages *record : m_groupsByFolder.value(rowData(row, kFolderRole))) {
        if (record->orderNo == orderNo)
            return record;
    }
    return nullptr;
}

int productTableWidget::showMessage(const QString &text, const QString &sure, const QString &cancel)
{
    massegeBoxShow box(this, QStringLiteral("系统提示"), text, sure, cancel);
    return box.exec();
}

bool productTableWidget::deleteRow(int row, bool confirm)
{
    if (rowKey(row).isEmpty()) {
        setRowSelected(row, QString(), true);
        return false;
    }
    if (confirm) {
        const groupProductImages *record = recordOf(row);
        const QString name = record ? record->name : rowName(row);
        if (showMessage(QStringLiteral("确定删除“%1”?").arg(name), QStringLiteral("确定"), QStringLiteral("取消")) != 1)
            return false;
    }
    deleteRows({row});
    return true;
}

void productTableWidget::deleteRows(QList<int> rows)
{
    std::sort(rows.begin(), rows.end());
    QList<groupProductImages *> released;
    for (const int row : std::as_const(rows)) {
        m_selectedKeys.remove(rowKey(row));
        m_keyItems.remove(rowKey(row));
        const QString folder = rowData(row, kFolderRole);
        if (groupProductImages *record = recordOf(row)) {
            QList<groupProductImages *> &list = m_groupsByFolder[folder];
            list.removeAll(record);
            if (list.isEmpty())
                m_groupsByFolder.remove(folder);
            m_earlyResults.remove(record);
            released << record;
        }
    }
    // Runs of rows go at once: row by row, every later row's cell widgets
    // would be moved again for each removed row.
    for (int end = int(rows.size()); end > 0;) {
        int start = end - 1;
        while (start > 0 && rows.at(start - 1) == rows.at(start) - 1)
            --start;
        m_table->model()->removeRows(rows.at(start), end - start);
        end = start;
    }
    updateSelectAll();
    if (!released.isEmpty())
        emit recordsReleased(released);
}

void productTableWidget::deleteClicked()
{
    const int scroll = m_table->verticalScrollBar()->value();
    const int row = senderRow();
    if (row >= 0 && deleteRow(row, true))
        m_table->verticalScrollBar()->setValue(scroll);
}

void productTableWidget::OnBtnClicked()
{
    const int row = senderRow();
    if (groupProductImages *record = row >= 0 ? recordOf(row) : nullptr)
        emit changeOrderAgain(record);
}

void productTableWidget::uploadOrders()
{
    emit addOrdersAgain();
}

void productTableWidget::goToUploadWid()
{
    emit gotoUploading();
}

void productTableWidget::on_addOrderBtn_clicked()
{
    emit addOrdersAgain();
}

void productTableWidget::on_deletBtn_clicked()
{
    // "清除所有记录" means the rows still to be built too.
    m_feed->flush();
    const int scroll = m_table->verticalScrollBar()->value();
    QList<int> rows;
    QStringList keys;
    QStringList names;
    for (int row = 0; row < m_table->rowCount(); ++row) {
        QCheckBox *check = rowCheck(row);
        if (m_listType != Cart && !(check && check->isChecked()))
            continue;
        rows << row;
        keys << sqlQuoted(rowKey(row));
        names << QStringLiteral("“%1”").arg(rowName(row));
    }
    if (rows.isEmpty()) {
        showMessage(QStringLiteral("请选择要删除的订单"), QStringLiteral("确定"), QString());
        return;
    }
    const bool accepted =
        m_listType == Cart
            ? showMessage(QStringLiteral("确定要清空全部加购记录吗?"), QStringLiteral("确定"), QStringLiteral("取消"))
                  == 1
            : showMessage(QStringLiteral("确定删除%1?").arg(names.join(QLatin1Char(','))), QStringLiteral("是"),
                          QStringLiteral("否"))
                  == 1;
    if (!accepted)
        return;
    deleteRows(rows);
    if (m_listType == Uploaded || m_listType == Cart)
        DatabaseThread::instance().deleteOrders(keys);
    m_table->verticalScrollBar()->setValue(scroll);
    m_cartOrdersCount->setText(QStringLiteral("共加入购物车0个文件夹"));
}

void productTableWidget::on_uploadBtn_clicked()
{
    m_uploadBtn->setEnabled(false);
    if (m_listType != NewOrder) {
        submitToCart();
        return;
    }
    // Stays disabled while the worker stores the submitted orders.
    submitNewOrders();
}

void productTableWidget::updateCheckResult(groupProductImages *record, bool refreshName)
{
    const int row = rowOf(record->orderNo);
    if (row < 0) {
        if (m_feed->pending() > 0)
            m_earlyResults[record] = m_earlyResults.value(record) || refreshName;
        return;
    }
    m_table->item(row, 4)->setText(QStringLiteral("%1M").arg(NumberText::megabytes(record->totalBytes), 0, 'f', 2));
    m_table->item(row, 3)->setText(record->productName);
    if (!record->matched.isEmpty())
        m_table->item(row, 5)->setToolTip(QString::number(record->skuId));
    const QString state = record->matchStateText();
    m_table->item(row, 5)->setText(state);
    m_table->item(row, 5)->setForeground(state == groupProductImages::successText ? QColor(kGrey) : QColor(Qt::red));
    if (refreshName)
        m_table->item(row, 1)->setText(record->name);
    if (m_productType == int(ProductKind::Album) && m_table->item(row, 6))
        m_table->item(row, 6)->setText(QString::number(record->pageCount));
    m_table->item(row, priceColumn())->setText(record->isMatched() ? priceText(record->price) : QString());
    updateCheckedTotal();
}

void productTableWidget::showChecking(groupProductImages *record)
{
    m_earlyResults.remove(record);
    const int row = rowOf(record->orderNo);
    if (row < 0)
        return;
    m_table->item(row, 1)->setText(record->name);
    m_table->item(row, 1)->setData(kNameRole, record->name);
    m_table->item(row, 5)->setText(groupProductImages::matchingText);
    m_table->item(row, 5)->setToolTip(QString());
    m_table->item(row, 5)->setForeground(QColor(kGrey));
    m_table->item(row, priceColumn())->setText(QString());
    updateCheckedTotal();
}

int productTableWidget::priceColumn() const
{
    return m_productType == int(ProductKind::Album) ? 7 : 6;
}

QString productTableWidget::priceText(double yuan)
{
    return QStringLiteral("¥%1").arg(yuan, 0, 'f', 2);
}

void productTableWidget::updateCheckedTotal()
{
    if (m_listType != NewOrder)
        return;
    int ticked = 0;
    int unpriced = 0;
    double total = 0.0;
    for (int row = 0; row < m_table->rowCount(); ++row) {
        QCheckBox *check = rowCheck(row);
        if (!check || !check->isChecked())
            continue;
        ++ticked;
        // The record is read only once its check has reported (its task may still be writing it).
        const bool reported = m_table->item(row, 5)->text() != groupProductImages::matchingText;
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
    m_checkedTotal->setText(text);
}

void productTableWidget::updateUploadProgress(const QString &orderNo, int uploadedCount)
{
    if (auto it = m_ordersByNo.find(orderNo); it != m_ordersByNo.end())
        it->uploadedCount = uploadedCount;
    const int row = orderNo.isEmpty() ? -1 : rowOf(orderNo);
    auto *bar = row >= 0 ? qobject_cast<orderProgressBar *>(m_table->cellWidget(row, 5)) : nullptr;
    if (bar && bar->setProgress(uploadedCount)) {
        m_keyItems.remove(orderNo);
        m_table->removeRow(row);
    }
}

void productTableWidget::setSkuTable(const QMap<qint32, productRecord> &table)
{
    if (m_submission)
        m_submission->setSkuTable(table);
}

void productTableWidget::submitNewOrders()
{
    QList<NewOrderSubmission::Row> rows;
    for (int row = 0; row < m_table->rowCount() && m_submission->hasSkuTable(); ++row) {
        QCheckBox *check = rowCheck(row);
        if (!check || !check->isChecked())
            continue;
        const QString orderNo = rowKey(row);
        if (orderNo.isEmpty()) {
            LogManager::logInfo(QStringLiteral("丢了对应产品信息"));
            continue;
        }
        groupProductImages *record = recordOf(row);
        if (!record) {
            LogManager::logError(QStringLiteral("订单记录已不存在，未提交:%1").arg(orderNo));
            continue;
        }
        const QTableWidgetItem *state = m_table->item(row, 5);
        rows << NewOrderSubmission::Row{row,    orderNo,       rowData(row, kFolderRole),
                                        record, state->text(), state->toolTip().toInt()};
    }
    const QString refusal = m_submission->submit(rows);
    if (refusal.isEmpty())
        return;
    showMessage(refusal, QStringLiteral("我知道了"), QString());
    m_uploadBtn->setEnabled(true);
}

void productTableWidget::newOrdersStored(const QStringList &stored, const QStringList &failed)
{
    m_uploadBtn->setEnabled(true);
    if (!failed.isEmpty()) {
        QString text = QStringLiteral("%1未能保存到本地数据库，订单仍在列表中。请检查磁盘空间和文件权限后重新提交。")
                           .arg(failed.join(QLatin1Char(',')));
        if (!stored.isEmpty())
            text.prepend(stored.join(QLatin1Char(',')) + QStringLiteral("已提交上传；"));
        showMessage(text, QStringLiteral("我知道了"), QString());
        return;
    }
    toolTipDialog dialog(QStringLiteral("系统提示"), QStringLiteral("继续上传"), QStringLiteral("查看提交进度"),
                         stored.join(QLatin1Char(',')) + QStringLiteral("上传中!上传完成后请去待结算界面进行结算"));
    connect(&dialog, &toolTipDialog::goToUploadWid, this, &productTableWidget::goToUploadWid);
    connect(&dialog, &toolTipDialog::uploadOrders, this, &productTableWidget::uploadOrders);
    dialog.exec();
}

QTableWidgetItem *productTableWidget::uploadedStateItem(const QString &orderNo) const
{
    const QString state = m_cart ? m_cart->postState(orderNo) : QString();
    if (state.isEmpty())
        return textItem(QStringLiteral("上传完成"), true);
    QTableWidgetItem *item = textItem(state == CartPostJournal::posted ? kInCart : kMaybeInCart);
    item->setForeground(QColor(kUnsure));
    return item;
}

void productTableWidget::setCartPostStates(const QHash<QString, QString> &states)
{
    if (m_cart)
        m_cart->setPostStates(states);
}

void productTableWidget::refreshCartPostStates()
{
    for (int row = 0; row < m_table->rowCount(); ++row) {
        if (m_table->item(row, 6))
            m_table->setItem(row, 6, uploadedStateItem(rowKey(row)));
    }
}

void productTableWidget::submitToCart()
{
    QList<CartSubmission::Choice> chosen;
    for (int row = 0; row < m_table->rowCount(); ++row) {
        QCheckBox *check = rowCheck(row);
        if (check && check->isChecked())
            chosen << CartSubmission::Choice{m_ordersByNo.value(rowKey(row)).orderNo, rowName(row)};
    }
    m_cart->submit(chosen);
}

void productTableWidget::removeOrderRows(const QStringList &orderNos)
{
    removeRowsOf(QSet<QString>(orderNos.begin(), orderNos.end()));
}

void productTableWidget::removeRowsOf(const QSet<QString> &keys)
{
    QList<int> rows;
    for (const QString &key : keys) {
        if (const int row = rowOf(key); row >= 0)
            rows << row;
    }
    deleteRows(rows);
}

bool productTableWidget::eventFilter(QObject *watched, QEvent *event)
{
    // A cell too narrow for its text (long names, long error texts) shows it whole on hover.
    if (watched == m_table->viewport() && event->type() == QEvent::ToolTip) {
        const QPoint at = static_cast<QHelpEvent *>(event)->pos();
        const QTableWidgetItem *item = m_table->itemAt(at);
        if (item && !item->text().isEmpty()) {
            const QRect cell = m_table->visualItemRect(item);
            if (m_table->fontMetrics().horizontalAdvance(item->text()) + 8 > cell.width()) {
                QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(),
                                   Qt::convertFromPlainText(item->text()), m_table->viewport(), cell);
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void productTableWidget::resizeEvent(QResizeEvent *event)
{
    if (!m_resizeEnabled)
        return;
    QWidget::resizeEvent(event);
    m_resizeTimer.stop();
    m_resizeTimer.start(100);
}

void productTableWidget::handleDelayedResize()
{
    if (width() == m_lastSize.width())
        return;
    m_lastSize = size();
    setColumnWidths();
}

void productTableWidget::setColumnWidths()
{
    const int W = width();
    m_table->setColumnCount(int(m_headerLabels.size()) + 2);
    const auto set = [this](int column, int w) { m_table->setColumnWidth(column, w); };
    // The two spare columns carry no header and no data: they would show as stray numbered headers.
    for (int c = 0; c < m_table->columnCount(); ++c)
        m_table->setColumnHidden(c, c >= m_headerLabels.size());
    switch (m_listType) {
    case NewOrder: {
        // Units: the name, the SKU group and the row buttons two each, the rest one; the sum fits the
        // width, so "替换" and "删除" are never cut off.
        const int last = priceColumn() + 1;
        const int w = (W - 39 - 8) / (last + 3);
        set(0, 39);
        for (int c = 1; c <= last; ++c)
            set(c, c == 1 || c == 3 || c == last ? 2 * w : w);
        break;
    }
    case Uploading: {
        const int w = W / 9;
        set(0, w);
        set(1, w);
        set(2, int(std::trunc(1.5 * w)));
        set(3, w);
        set(4, w);
        set(5, 2 * w);
        set(6, int(std::trunc(1.6 * w)));
        break;
    }
    case Uploaded: {
        const int w = (W - 30) / 7;
        set(0, 39);
        set(1, w);
        set(2, w);
        set(3, 2 * w);
        for (int c = 4; c <= 6; ++c)
            set(c, w);
        break;
    }
    default: {
        const int w = W / 8;
        set(0, w + 9);
        set(1, w);
        set(2, 2 * w);
        for (int c = 3; c <= 6; ++c)
            set(c, w);
        break;
    }
    }
}
