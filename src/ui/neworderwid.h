#pragma once

#include <memory>
#include <vector>

#include <QThreadPool>
#include <QWidget>

#include "catalog/spumess.h"
#include "catalog/storeterms.h"
#include "model/groupproductimages.h"

class QStackedWidget;
class productTableWidget;

// The new-order page: the chosen product, the dropped class folders with
// their check tasks on the page's own pool, and the new-order list.
class neworderwid final : public QWidget
{
    Q_OBJECT

public:
    explicit neworderwid(QWidget *parent = nullptr);
    ~neworderwid() override;

    // The product whose rules dropped folders are checked against; the page
    // takes folders only once it is ready.
    void setProduct(const spuMess &product, const StoreTerms &terms);
    bool isReady() const { return m_ready; }
    // Folder intake of a dropped or chosen class folder; true when orders
    // were created.
    bool handleFolder(const QString &path);
    void clearPage();
    productTableWidget *orderTable() const { return m_orderTable; }
    QThreadPool *pool() { return &m_pool; }

signals:
    void changeToUploadWid();

public slots:
    void changeToUploading();
    void productCheckResuilt(groupProductImages *record, bool flag);
    void clearThreadPool();

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void startCheck(groupProductImages *record);
    void message(const QString &text);

    spuMess m_product;
    StoreTerms m_terms;
    bool m_hasProduct = false;
    bool m_ready = false;
    QThreadPool m_pool;
    std::vector<std::unique_ptr<groupProductImages>> m_records;
    QStackedWidget *m_stack;
    productTableWidget *m_orderTable;
};
