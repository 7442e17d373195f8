#include "ui/neworderwid.h"

#include <QDragEnterEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "core/logmanager.h"
#include "intake/cleanpath.h"
#include "intake/folderintake.h"
#include "intake/readimagetoproduct.h"
#include "orders/producttablewidget.h"
#include "ui/massegeboxshow.h"

neworderwid::neworderwid(QWidget *parent)
    : QWidget(parent)
{
    setWindowTitle(QStringLiteral("Form"));
    setAcceptDrops(true);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_stack = new QStackedWidget(this);
    m_stack->setObjectName(QStringLiteral("stackedWidget"));
    auto *firstPage = new QLabel(QStringLiteral("请先输入产品，再将文件夹拖入此处上传"), m_stack);
    firstPage->setObjectName(QStringLiteral("empotyLable32"));
    firstPage->setAlignment(Qt::AlignCenter);
    firstPage->setProperty("class", QStringLiteral("empotyLable"));
    auto *readyPage = new QLabel(QStringLiteral("请将文件夹拖入此处上传"), m_stack);
    readyPage->setObjectName(QStringLiteral("empotyLable3"));
    readyPage->setAlignment(Qt::AlignCenter);
    readyPage->setProperty("class", QStringLiteral("empotyLable"));
    m_orderTable = new productTableWidget(productTableWidget::NewOrder, m_stack);
    m_orderTable->setupList();
    m_orderTable->setResizeEnabled(true);
    m_stack->addWidget(firstPage);
    m_stack->addWidget(readyPage);
    m_stack->addWidget(m_orderTable);
    layout->addWidget(m_stack);

    connect(m_orderTable, &productTableWidget::gotoUploading, this, &neworderwid::changeToUploading);
    connect(m_orderTable, &productTableWidget::clearOrdersSig, this, &neworderwid::clearThreadPool);
}

neworderwid::~neworderwid()
{
    m_pool.clear();
    m_pool.waitForDone();
}

void neworderwid::setProduct(const spuMess &product, const StoreTerms &terms)
{
    m_product = product;
    m_terms = terms;
    m_hasProduct = true;
    m_ready = !product.candidateGroups.isEmpty();
    m_orderTable->setProductType(int(product.kind()));
    m_stack->setCurrentIndex(m_ready ? 1 : 0);
}

void neworderwid::message(const QString &text)
{
    massegeBoxShow box(this, QStringLiteral("系统提示"), text, QStringLiteral("我知道了"), QString());
    box.exec();
}

bool neworderwid::handleFolder(const QString &rawPath)
{
    const QString path = cleanPath(rawPath);
    if (!m_hasProduct || !m_ready) {
        message(QStringLiteral("请选择产品"));
        LogManager::logInfo(QStringLiteral("请先选择产品"));
        return false;
    }
    if (!FolderIntake::structureOk(path, m_product.kind())) {
        message(QStringLiteral("产品层次有问题，请参照示例图组织产品层次"));
        return false;
    }
    m_stack->setCurrentWidget(m_orderTable);
    const QString className = QFileInfo(path).fileName();
    if (m_orderTable->hasFolder(className)) {
        QMessageBox::warning(this, QStringLiteral("警告"), QStringLiteral("这个班级已经导入，请换一下班级"));
        return false;
    }
    auto orders = FolderIntake::createOrders(path, m_product, QDateTime::currentDateTime());
    for (auto &order : orders) {
        groupProductImages *record = order.get();
        m_records.push_back(std::move(order));
        m_orderTable->addGroupRow(className, record);
        startCheck(record);
    }
    return true;
}

void neworderwid::startCheck(groupProductImages *record)
{
    auto *task = new readImageToProduct(record->path, m_product, record, false, m_terms);
    connect(task, &readImageToProduct::productCheckOK, this, &neworderwid::productCheckResuilt);
    m_pool.start(task, 0);
}

void neworderwid::productCheckResuilt(groupProductImages *record, bool flag)
{
    m_orderTable->updateCheckResult(record, flag);
}

void neworderwid::changeToUploading()
{
    emit changeToUploadWid();
}

void neworderwid::clearThreadPool()
{
    m_pool.clear();
}

void neworderwid::clearPage()
{
    m_orderTable->clearTable();
    m_stack->setCurrentIndex(m_hasProduct && m_ready ? 1 : 0);
}

void neworderwid::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void neworderwid::dropEvent(QDropEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!urls.isEmpty() && handleFolder(urls.first().toLocalFile()))
        event->acceptProposedAction();
}
