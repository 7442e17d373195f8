#pragma once

#include <memory>

#include <QMap>
#include <QPixmap>
#include <QStringList>
#include <QThreadPool>
#include <QWidget>

#include "catalog/productchoice.h"
#include "catalog/spumess.h"
#include "catalog/storeterms.h"
#include "catalog/templatedownload.h"
#include "intake/orderchecks.h"
#include "model/groupproductimages.h"
#include "report/reportwriting.h"

namespace Ui {
class neworderwid;
}
class QCompleter;
class QLabel;
class productTableWidget;

// The new-order page: product search and choice, its size lines and
// example, the dropped class folders with their check tasks on the page's
// own pool, and the new-order list.
class neworderwid final : public QWidget
{
    Q_OBJECT

public:
    explicit neworderwid(QWidget *parent = nullptr);
    ~neworderwid() override;

    // Takes a product as the choice would (for callers that already hold it).
    void setProduct(const spuMess &product, const StoreTerms &terms);
    bool isReady() const { return m_ready; }
    const spuMess &product() const { return m_product; }
    // Folder intake of a dropped or chosen class folder; true when orders
    // were created.
    bool handleFolder(const QString &path);
    // The re-check of one order with a replacement folder or file.
    void recheck(groupProductImages *record, const QString &newPath);
    void clearPage();
    // Writes the check report of the list's orders to `path` in the
    // background, then offers to open it; false when there is nothing to
    // report yet or a report is still being written.
    bool exportReport(const QString &path);
    productTableWidget *orderTable() const { return m_orderTable; }
    QThreadPool *pool() { return m_checks.pool(); }
    // Records the page holds for the rows of its list.
    int heldRecords() const { return m_checks.held(); }
    QStringList specLines() const;

signals:
    void changeToUploadWid();
    void downLoadSeccussSig();

public slots:
    void changeToUploading();
    void on_selectBtn_clicked();
    void on_selectProductEdit_textEdited(const QString &text);
    void onComboxSelect(int index);
    void productCheckResuilt(groupProductImages *record, bool flag);
    void changeItem() { }
    void changeProduct(const QString &) { }
    void addOrdersAgain();
    void reCheckOrder(groupProductImages *record);
    void on_linkText_clicked();
    void on_downLoadBtn_clicked();
    void downLoadSeccuss();
    void clearThreadPool();

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void clearProductArea();
    // A combo box for each property of the chosen product.
    void addPropertyChoices();
    void showOutcome(const ProductChoice::Outcome &outcome);
    void clearSpec();
    // Gold-stamp products are ordered online: no example, the templates offered.
    void stopForGoldStamp();
    void showTemplateOutcome(const TemplateDownload::Outcome &outcome);
    void showSpec(const QStringList &lines);
    void showExample();
    void scalePicture();
    void startCheck(groupProductImages *record);
    // Asks where to save the check report (beside the class folder) and writes it.
    void askForReport();
    void reportWritten(const QString &path, const QString &error);
    void message(const QString &text, const QString &button = QStringLiteral("我知道了"));

    Ui::neworderwid *ui;
    spuMess m_product;
    StoreTerms m_terms;
    bool m_hasProduct = false;
    bool m_ready = false;
    ProductChoice m_choice;
    QCompleter *m_completer;
    // The records of the list's rows and their checks.
    OrderChecks m_checks;
    productTableWidget *m_orderTable;
    QPixmap m_pictures[4];
    QPixmap m_shown;
    TemplateDownload m_templates;
    QLabel *m_templateNote;
    ReportWriting m_reportWriting;
};
