#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include "model/groupproductimages.h"
#include "model/ordergroup.h"
#include "model/productrecord.h"
#include "orders/keyedrows.h"
#include "orders/listlayout.h"

class CartSubmission;
class NewOrderRows;
class NewOrderSubmission;
class StoredOrderRows;
class TimeSlicedQueue;
class QCheckBox;
class QLabel;
class QPushButton;
class QTableWidget;

// The one order list behind four views: the dropped customer folders of the
// new-order page with their check results, and the uploading, awaiting
// checkout ("待结算") and cart lists of the main window. The rows of each
// kind are built and updated by NewOrderRows or StoredOrderRows; this class
// keeps the table, the bar below it, the ticks and the removals.
class productTableWidget final : public QWidget
{
    Q_OBJECT

public:
    enum ListType { NewOrder = 0, Uploading = 1, Uploaded = 2, Cart = 3 };

    // Any type outside 0..3 is the cart list.
    explicit productTableWidget(int listType, QWidget *parent = nullptr);

    // Applies the header and the bar of the list type; called once.
    void setupList();
    void setProductType(int productType);
    void addGroupRow(const QString &folderKey, groupProductImages *record);
    void addOrders(const QList<orderGroup> &orders);
    void clearTable();
    void updateCheckResult(groupProductImages *record, bool refreshName);
    // The record's row reads as being checked again: no state, price or SKU
    // of the check before, and its name as it is now.
    void showChecking(groupProductImages *record);
    void updateUploadProgress(const QString &orderNo, int uploadedCount);
    // The chosen product's SKUs, for the new-order list's submission.
    void setSkuTable(const QMap<qint32, productRecord> &table);
    void setCartPostStates(const QHash<QString, QString> &states);
    void setResizeEnabled(bool enabled) { m_resizeEnabled = enabled; }
    // While a check report is written its button waits.
    void setReportBusy(bool busy);
    // Removes one row (after a confirmation when asked); true when removed.
    bool deleteRow(int row, bool confirm);

    int listType() const { return m_listType; }
    bool hasFolder(const QString &folderKey) const;
    // Added rows not yet built into the table.
    int pendingRows() const;
    QTableWidget *table() const { return m_table; }
    QStringList headerLabels() const { return m_layout.headers(); }
    QString rowKey(int row) const { return m_keys.orderNo(row); }
    // The record of a new-order row; null for any other row.
    groupProductImages *recordOf(int row) const;
    QString rowName(int row) const { return m_keys.name(row); }
    // The new-order records of every row once each has its check result; else empty.
    QList<const groupProductImages *> reportedRecords() const;

signals:
    void addOrdersAgain();
    void clearOrdersSig();
    // Rows of these records are gone; the list holds them no longer.
    void recordsReleased(const QList<groupProductImages *> &records);
    void changeOrderAgain(groupProductImages *groupProduct);
    void gotoUploading();
    // "导出检查报告" pressed; reportedRecords() has what it needs.
    void reportRequested();

public slots:
    void slectAllBtn(bool state);
    void on_deletBtn_clicked();
    void on_addOrderBtn_clicked();
    void on_uploadBtn_clicked();
    void handleDelayedResize();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void applyLayout();
    void setColumnWidths();
    // The count and total of the ticked orders beside "提交".
    void updateCheckedTotal();
    void setRowSelected(int row, bool selected);
    void deleteClicked(int row);
    void submitNewOrders();
    void newOrdersStored(const QStringList &stored, const QStringList &failed);
    void removeRowsOf(const QSet<QString> &keys);
    // Bookkeeping of each row, then the rows in runs.
    void deleteRows(QList<int> rows);
    void updateSelectAll();
    // The report button of the new-order list works once every row has its result.
    void updateReportButton();
    int showMessage(const QString &text, const QString &sure, const QString &cancel);

    int m_listType;
    ListLayout m_layout;
    bool m_resizeEnabled = false;
    QSet<QString> m_selectedKeys;
    QTableWidget *m_table;
    KeyedRows m_keys;
    NewOrderRows *m_newRows = nullptr;       // the new-order list's only
    StoredOrderRows *m_storedRows = nullptr; // the other lists'
    NewOrderSubmission *m_submission = nullptr;
    CartSubmission *m_cart = nullptr; // the uploaded list's only
    TimeSlicedQueue *m_feed;
    QTimer m_resizeTimer;
    QSize m_lastSize;

    QWidget *m_btnsWidget;
    QCheckBox *m_selectAll;
    QLabel *m_cartOrdersCount;
    QLabel *m_checkedTotal;
    QPushButton *m_deletBtn;
    QPushButton *m_addOrderBtn;
    QPushButton *m_uploadBtn;
    QPushButton *m_reportBtn;
    bool m_reportBusy = false;
};
