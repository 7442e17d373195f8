#pragma once

#include <QHash>
#include <QList>
#include <QMap>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include "model/groupproductimages.h"
#include "model/ordergroup.h"
#include "model/productrecord.h"

class CartSubmission;
class NewOrderSubmission;
class TimeSlicedQueue;
class QCheckBox;
class QLabel;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;

// The one order list behind four views: the dropped customer folders of the
// new-order page with their check results, and the uploading, awaiting
// checkout ("待结算") and cart lists of the main window.
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
    void setResizeEnabled(bool enabled) { m_resizeEnabled = enabled; }
    // Removes one row (after a confirmation when asked); true when removed.
    bool deleteRow(int row, bool confirm);

    int listType() const { return m_listType; }
    bool hasFolder(const QString &folderKey) const { return m_groupsByFolder.contains(folderKey); }
    // Added rows not yet built into the table.
    int pendingRows() const;
    QTableWidget *table() const { return m_table; }
    QStringList headerLabels() const { return m_headerLabels; }
    QString rowKey(int row) const;
    // The record of a new-order row; null for any other row.
    groupProductImages *recordOf(int row) const;
    QString rowName(int row) const;

    // "%1M" with two decimals, or "%1G" above 1024 MB.
    static QString sizeText(double megabytes);
    // "¥%1" with two decimals.
    static QString priceText(double yuan);

signals:
    void addOrdersAgain();
    void clearOrdersSig();
    // Rows of these records are gone; the list holds them no longer.
    void recordsReleased(const QList<groupProductImages *> &records);
    void changeOrderAgain(groupProductImages *groupProduct);
    void gotoUploading();

public slots:
    void deleteClicked();
    void OnBtnClicked();
    void uploadOrders();
    void goToUploadWid();
    void slectAllBtn(bool state);
    void seleteItem(bool checked);
    void on_deletBtn_clicked();
    void on_addOrderBtn_clicked();
    void on_uploadBtn_clicked();
    void handleDelayedResize();
    void setCartPostStates(const QHash<QString, QString> &states);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void setColumnWidths();
    // New-order list: the matched price, before the row's buttons.
    int priceColumn() const;
    // The count and total of the ticked orders beside "提交".
    void updateCheckedTotal();
    void setHeader(const QStringList &labels);
    QTableWidgetItem *textItem(const QString &text, bool done = false) const;
    void buildGroupRow(const QString &folderKey, groupProductImages *record);
    void buildOrderRow(const orderGroup &order);
    int rowOf(const QString &key) const;
    void addCheckCell(int row);
    void addHeldCell(int row, const QString &orderNo, const QStringList &held);
    void setRowSelected(int row, QString key, bool deselect);
    int senderRow() const;
    QCheckBox *rowCheck(int row) const;
    void setRowKeys(int row, const QString &orderNo, const QString &folderKey, const QString &name);
    QString rowData(int row, int role) const;
    void submitNewOrders();
    void newOrdersStored(const QStringList &stored, const QStringList &failed);
    void submitToCart();
    void removeOrderRows(const QStringList &orderNos);
    void removeRowsOf(const QSet<QString> &keys);
    // Bookkeeping of each row, then the rows in runs.
    void deleteRows(QList<int> rows);
    void updateSelectAll();
    void refreshCartPostStates();
    QTableWidgetItem *uploadedStateItem(const QString &orderNo) const;
    int showMessage(const QString &text, const QString &sure, const QString &cancel);

    // Where column 1 keeps its row's order number, class folder and name.
    static constexpr int kOrderNoRole = Qt::UserRole;
    static constexpr int kFolderRole = Qt::UserRole + 1;
    static constexpr int kNameRole = Qt::UserRole + 2;

    int m_listType;
    bool m_resizeEnabled = false;
    QStringList m_headerLabels;
    int m_productType = 0;
    QMap<QString, QList<groupProductImages *>> m_groupsByFolder;
    QSet<QString> m_selectedKeys;
    QMap<QString, orderGroup> m_ordersByNo;
    // The key item (column 1) of each built row by its order number.
    QHash<QString, QTableWidgetItem *> m_keyItems;
    NewOrderSubmission *m_submission = nullptr; // the new-order list's only
    CartSubmission *m_cart = nullptr;           // the uploaded list's only
    TimeSlicedQueue *m_feed;
    // Checks reported for rows still waiting, with their refresh-name flag.
    QHash<groupProductImages *, bool> m_earlyResults;
    QTimer m_resizeTimer;
    QSize m_lastSize;

    QTableWidget *m_table;
    QWidget *m_btnsWidget;
    QCheckBox *m_selectAll;
    QLabel *m_cartOrdersCount;
    QLabel *m_checkedTotal;
    QPushButton *m_deletBtn;
    QPushButton *m_addOrderBtn;
    QPushButton *m_uploadBtn;
};
