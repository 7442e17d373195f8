#include "orders/producttablewidget.h"

#include <algorithm>

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTableWidget>
#include <QToolTip>
#include <QVBoxLayout>

#include "catalog/spumess.h"
#include "core/logmanager.h"
#include "core/timeslicedqueue.h"
#include "dialogs/massegeboxshow.h"
#include "dialogs/tooltipdialog.h"
#include "orders/neworderrows.h"
#include "orders/queueprogresslabel.h"
#include "orders/storedorderrows.h"
#include "orders/uploadlimitbox.h"
#include "store/shareddatabase.h"
#include "upload/cartsubmission.h"
#include "upload/databasethread.h"
#include "upload/newordersubmission.h"

productTableWidget::productTableWidget(int listType, QWidget *parent)
    : QWidget(parent)
    , m_listType(listType >= NewOrder && listType <= Cart ? listType : Cart)
    , m_layout(ListLayout::of(m_listType))
    , m_table(new QTableWidget(this))
    , m_keys(m_table)
{
    setWindowTitle(QStringLiteral("Form"));
    resize(472, 300);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

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
    if (m_listType == Uploading) {
        auto *top = new QHBoxLayout;
        top->addWidget(new QueueProgressLabel(this), 1);
        top->addWidget(new UploadLimitBox(this));
        layout->addLayout(top);
    }
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
    m_reportBtn = new QPushButton(QStringLiteral("导出检查报告"), m_btnsWidget);
    m_reportBtn->setObjectName(QStringLiteral("reportBtn"));
    m_reportBtn->setEnabled(false);
    m_reportBtn->setToolTip(QStringLiteral("把每个订单的检查结果和修改方法导出为PDF，发给摄影师"));
    m_checkedTotal = new QLabel(m_btnsWidget);
    m_checkedTotal->setObjectName(QStringLiteral("checkedTotal"));
    m_checkedTotal->hide();
    bar->addWidget(m_selectAll);
    bar->addWidget(m_cartOrdersCount);
    bar->addSpacerItem(new QSpacerItem(48, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    bar->addWidget(m_reportBtn);
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
        connect(m_cart, &CartSubmission::ordersLeft, this,
                [this](const QStringList &orderNos) { removeRowsOf(QSet<QString>(orderNos.begin(), orderNos.end())); });
        connect(m_cart, &CartSubmission::finished, m_uploadBtn, [this] { m_uploadBtn->setEnabled(true); });
    }
    if (m_listType == NewOrder) {
        m_submission = new NewOrderSubmission(this);
        connect(m_submission, &NewOrderSubmission::rowsStored, this,
                [this](const QStringList &keys) { removeRowsOf(QSet<QString>(keys.begin(), keys.end())); });
        connect(m_submission, &NewOrderSubmission::finished, this, &productTableWidget::newOrdersStored);
        m_newRows = new NewOrderRows(m_table, m_keys, this);
        connect(m_newRows, &NewOrderRows::rowTicked, this, &productTableWidget::setRowSelected);
        connect(m_newRows, &NewOrderRows::changeRequested, this, &productTableWidget::changeOrderAgain);
        connect(m_newRows, &NewOrderRows::deleteRequested, this, &productTableWidget::deleteClicked);
        connect(m_newRows, &NewOrderRows::resultShown, this, &productTableWidget::updateCheckedTotal);
        connect(m_newRows, &NewOrderRows::resultShown, this, &productTableWidget::updateReportButton);
        connect(m_reportBtn, &QPushButton::clicked, this, &productTableWidget::reportRequested);
    } else {
        m_storedRows = new StoredOrderRows(m_listType, m_table, m_keys, m_cart, this);
        connect(m_storedRows, &StoredOrderRows::rowTicked, this, &productTableWidget::setRowSelected);
        connect(m_storedRows, &StoredOrderRows::deleteRequested, this, [this](const QString &orderNo) {
            const int row = m_keys.rowOf(orderNo);
            if (row >= 0 && deleteRow(row, true))
                DatabaseThread::instance().deleteOrders({sqlQuoted(orderNo)});
        });
        if (m_cart)
            connect(m_cart, &CartSubmission::postStatesChanged, m_storedRows, &StoredOrderRows::refreshCartPostStates);
    }
    // Rows are built a slice per event-loop turn: a dropped class or a long
    // list would otherwise hold the window for a second.
    m_feed = new TimeSlicedQueue(20, this);
    m_resizeTimer.setSingleShot(true);
    connect(&m_resizeTimer, &QTimer::timeout, this, &productTableWidget::handleDelayedResize);
}

void productTableWidget::applyLayout()
{
    const QStringList labels = m_layout.headers();
    m_table->setColumnCount(int(labels.size()));
    m_table->setHorizontalHeaderLabels(labels);
}

void productTableWidget::setupList()
{
    applyLayout();
    m_btnsWidget->setVisible(m_layout.bar);
    m_selectAll->setVisible(m_layout.selectAll);
    m_cartOrdersCount->setVisible(m_layout.cartCount);
    m_checkedTotal->setVisible(m_layout.checkedTotal);
    m_addOrderBtn->setVisible(m_layout.addOrder);
    m_reportBtn->setVisible(m_newRows != nullptr);
    m_uploadBtn->setVisible(m_layout.upload);
    m_uploadBtn->setText(m_layout.uploadText);
    m_deletBtn->setText(m_layout.deleteText);
    updateCheckedTotal();
    if (m_layout.bar) {
        m_selectAll->setProperty("class", QStringLiteral("tableCheck"));
        m_deletBtn->setProperty("class", QStringLiteral("greenBorderBtn"));
        m_addOrderBtn->setProperty("class", QStringLiteral("greenBorderBtn"));
        m_reportBtn->setProperty("class", QStringLiteral("greenBorderBtn"));
        m_uploadBtn->setProperty("class", QStringLiteral("greenBackBtn"));
        m_btnsWidget->setProperty("class", QStringLiteral("topBorderWidget"));
        connect(m_selectAll, &QCheckBox::clicked, this, &productTableWidget::slectAllBtn, Qt::UniqueConnection);
    }
}

void productTableWidget::setProductType(int productType)
{
    if (!m_newRows)
        return;
    const bool album = productType == int(ProductKind::Album);
    m_newRows->setAlbum(album);
    m_layout = ListLayout::of(m_listType, album);
    applyLayout();
    setColumnWidths();
}

void productTableWidget::addGroupRow(const QString &folderKey, groupProductImages *record)
{
    m_newRows->add(folderKey, record);
    m_feed->append([this, folderKey, record] { m_newRows->build(folderKey, record); });
    updateReportButton();
}

QList<const groupProductImages *> productTableWidget::reportedRecords() const
{
    return m_newRows && pendingRows() == 0 ? m_newRows->reported() : QList<const groupProductImages *>();
}

void productTableWidget::setReportBusy(bool busy)
{
    m_reportBusy = busy;
    m_reportBtn->setText(busy ? QStringLiteral("正在导出……") : QStringLiteral("导出检查报告"));
    updateReportButton();
}

void productTableWidget::updateReportButton()
{
    m_reportBtn->setEnabled(m_newRows && !m_reportBusy && pendingRows() == 0 && m_newRows->allReported());
}

void productTableWidget::addOrders(const QList<orderGroup> &orders)
{
    for (const orderGroup &order : orders) {
        m_storedRows->add(order);
        m_feed->append([this, order] { m_storedRows->build(order); });
    }
    if (m_listType == Cart)
        m_cartOrdersCount->setText(QStringLiteral("共加入购物车%1个文件夹").arg(m_storedRows->count()));
}

void productTableWidget::clearTable()
{
    if (m_table->rowCount() == 0 && m_feed->pending() == 0)
        return;
    m_feed->clear();
    m_keys.clear();
    const QList<groupProductImages *> released = m_newRows ? m_newRows->takeAll() : QList<groupProductImages *>();
    m_selectAll->setChecked(false);
    updateReportButton();
    emit clearOrdersSig();
    if (!released.isEmpty())
        emit recordsReleased(released);
}

bool productTableWidget::hasFolder(const QString &folderKey) const
{
    return m_newRows && m_newRows->hasFolder(folderKey);
}

int productTableWidget::pendingRows() const
{
    return m_feed->pending();
}

groupProductImages *productTableWidget::recordOf(int row) const
{
    return m_newRows ? m_newRows->recordOf(row) : nullptr;
}

void productTableWidget::setRowSelected(int row, bool selected)
{
    const QString key = m_keys.orderNo(row);
    if (selected)
        m_selectedKeys.insert(key);
    else
        m_selectedKeys.remove(key);
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

void productTableWidget::slectAllBtn(bool state)
{
    for (int row = 0; row < m_table->rowCount(); ++row) {
        QCheckBox *check = m_keys.check(row);
        if (!check) {
            LogManager::logInfo(QStringLiteral("没有checkbox"));
            continue;
        }
        check->setChecked(state);
        if (!rowKey(row).isEmpty())
            setRowSelected(row, state);
    }
    if (state)
        m_selectAll->setCheckState(Qt::Checked);
    updateCheckedTotal();
}

int productTableWidget::showMessage(const QString &text, const QString &sure, const QString &cancel)
{
    massegeBoxShow box(this, QStringLiteral("系统提示"), text, sure, cancel);
    return box.exec();
}

bool productTableWidget::deleteRow(int row, bool confirm)
{
    if (rowKey(row).isEmpty()) {
        setRowSelected(row, false);
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
    for (const int row : std::as_const(rows))
        m_selectedKeys.remove(rowKey(row));
    const QList<groupProductImages *> released = m_newRows ? m_newRows->take(rows) : QList<groupProductImages *>();
    m_keys.remove(rows);
    updateSelectAll();
    updateReportButton();
    if (!released.isEmpty())
        emit recordsReleased(released);
}

void productTableWidget::deleteClicked(int row)
{
    const int scroll = m_table->verticalScrollBar()->value();
    if (deleteRow(row, true))
        m_table->verticalScrollBar()->setValue(scroll);
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
        if (m_listType != Cart && !m_keys.isTicked(row))
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
        m_cart->submit(m_storedRows->ticked());
        return;
    }
    // Stays disabled while the worker stores the submitted orders.
    submitNewOrders();
}

void productTableWidget::updateCheckResult(groupProductImages *record, bool refreshName)
{
    m_newRows->showResult(record, refreshName, m_feed->pending() > 0);
}

void productTableWidget::showChecking(groupProductImages *record)
{
    m_newRows->showChecking(record);
}

void productTableWidget::updateCheckedTotal()
{
    if (m_newRows)
        m_checkedTotal->setText(m_newRows->checkedTotalText());
}

void productTableWidget::updateUploadProgress(const QString &orderNo, int uploadedCount)
{
    if (m_storedRows)
        m_storedRows->updateUploadProgress(orderNo, uploadedCount);
}

void productTableWidget::setSkuTable(const QMap<qint32, productRecord> &table)
{
    if (m_submission)
        m_submission->setSkuTable(table);
}

void productTableWidget::setCartPostStates(const QHash<QString, QString> &states)
{
    if (m_cart)
        m_cart->setPostStates(states);
}

void productTableWidget::submitNewOrders()
{
    const QString refusal = m_submission->hasSkuTable() ? m_submission->submit(m_newRows->ticked()) : QString();
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
    connect(&dialog, &toolTipDialog::goToUploadWid, this, &productTableWidget::gotoUploading);
    connect(&dialog, &toolTipDialog::uploadOrders, this, &productTableWidget::addOrdersAgain);
    dialog.exec();
}

void productTableWidget::removeRowsOf(const QSet<QString> &keys)
{
    QList<int> rows;
    for (const QString &key : keys) {
        if (const int row = m_keys.rowOf(key); row >= 0)
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
    const QList<int> widths = m_layout.widths(width());
    // The two spare columns carry no header and no data: they would show as stray numbered headers.
    m_table->setColumnCount(int(widths.size()) + 2);
    for (int c = 0; c < m_table->columnCount(); ++c) {
        m_table->setColumnHidden(c, c >= widths.size());
        if (c < widths.size())
            m_table->setColumnWidth(c, widths.at(c));
    }
}
