#include "ui/neworderwid.h"
#include "ui_neworderwid.h"

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QCompleter>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QSettings>
#include <QStringListModel>
#include <QTimer>
#include <QToolTip>

#include "core/apppaths.h"
#include "core/logmanager.h"
#include "core/vellruntime.h"
#include "dialogs/massegeboxshow.h"
#include "intake/cleanpath.h"
#include "intake/folderintake.h"
#include "intake/readimagetoproduct.h"
#include "orders/producttablewidget.h"
#include "report/checkreport.h"
#include "ui/customlabel.h"

namespace {

QString settingsFile()
{
    return AppPaths::appDataDir() + QStringLiteral("/Setting.ini");
}
} // namespace

neworderwid::neworderwid(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::neworderwid)
    , m_completer(new QCompleter(this))
{
    ui->setupUi(this);
    setAcceptDrops(true);
    ui->downLoadBtn->setProperty("class", QStringLiteral("greenBackBtn"));
    for (QLabel *label : {ui->empotyLable32, ui->empotyLable3, ui->empotyLable1, ui->empotyLable2})
        label->setProperty("class", QStringLiteral("empotyLable"));
    ui->linkText->setProperty("class", QStringLiteral("linkText"));
    ui->addNewForder->setProperty("class", QStringLiteral("newForder"));
    ui->addNewForder2->setProperty("class", QStringLiteral("newForder"));
    ui->selectProductEdit->addAction(QIcon(QStringLiteral(":/icons/selectbtn.svg")), QLineEdit::LeadingPosition);
    ui->selectProductEdit->setCompleter(m_completer);
    // The list is a window of its own: the page's style sheet does not reach it.
    // Its size is reckoned from the font, not from style-sheet padding.
    QFont listFont = m_completer->popup()->font();
    listFont.setPixelSize(15);
    m_completer->popup()->setFont(listFont);
    m_completer->popup()->setStyleSheet(
        QStringLiteral("QListView { border: 1px solid #dcdfe6; background: #ffffff; color: #303133; }"
                       "QListView::item:selected { background: #e8f6ee; color: #23984F; }"));
    ui->selectBtn->hide();
    ui->downLoadBtn->hide();
    ui->suportPages->setAttribute(Qt::WA_AlwaysShowToolTips);
    ui->suportPages->setToolTipDuration(5000);
    ui->stackedWidget->setCurrentIndex(0);
    // The picture follows the label's size, not the other way round.
    ui->productFodersImage->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    ui->productFodersImage->setMinimumSize(1, 1);

    m_pictures[int(ProductKind::Series)] = QPixmap(QStringLiteral(":/images/productsfolders.png"));
    m_pictures[int(ProductKind::FrameOrStage)] = QPixmap(QStringLiteral(":/images/lonePageImage.png"));
    m_pictures[int(ProductKind::Album)] = QPixmap(QStringLiteral(":/images/produtctFord.png"));

    m_orderTable = new productTableWidget(productTableWidget::NewOrder, ui->mainWid);
    ui->verticalLayout_3->addWidget(m_orderTable);
    m_orderTable->setResizeEnabled(true);
    m_orderTable->setupList();

    connect(m_orderTable, &productTableWidget::gotoUploading, this, &neworderwid::changeToUploading);
    connect(m_orderTable, &productTableWidget::clearOrdersSig, this, &neworderwid::clearThreadPool);
    connect(m_orderTable, &productTableWidget::addOrdersAgain, this, &neworderwid::addOrdersAgain);
    connect(m_orderTable, &productTableWidget::changeOrderAgain, this, &neworderwid::reCheckOrder);
    connect(m_orderTable, &productTableWidget::recordsReleased, &m_checks, &OrderChecks::release);
    connect(m_orderTable, &productTableWidget::reportRequested, this, &neworderwid::askForReport);
    connect(&m_reportWriting, &ReportWriting::finished, this, &neworderwid::reportWritten);
    connect(&m_checks, &OrderChecks::checked, this, &neworderwid::productCheckResuilt);
    connect(ui->linkTextWithFord, &customlabel::clicked, this, &neworderwid::on_linkText_clicked);
    connect(m_completer, QOverload<const QString &>::of(&QCompleter::activated), this,
            [this] { ui->selectBtn->show(); });
    connect(this, &neworderwid::downLoadSeccussSig, this, &neworderwid::downLoadSeccuss);

    // Where the templates went, or why not; the path can be copied from it.
    m_templateNote = new QLabel(ui->bottomWid);
    m_templateNote->setObjectName(QStringLiteral("templateNote"));
    m_templateNote->setProperty("class", QStringLiteral("productMessShow"));
    m_templateNote->setTextFormat(Qt::PlainText);
    m_templateNote->setWordWrap(true);
    m_templateNote->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_templateNote->hide();
    ui->verticalLayout_2->insertWidget(ui->verticalLayout_2->indexOf(ui->stackedWidget), m_templateNote);
    connect(&m_templates, &TemplateDownload::finished, this, &neworderwid::showTemplateOutcome);
}

neworderwid::~neworderwid()
{
    delete ui;
}

void neworderwid::message(const QString &text, const QString &button)
{
    massegeBoxShow box(this, QStringLiteral("系统提示"), text, button, QString());
    box.exec();
}

QStringList neworderwid::specLines() const
{
    QStringList lines;
    for (int i = 0; i < ui->productMessLay->count(); ++i) {
        if (auto *label = qobject_cast<QLabel *>(ui->productMessLay->itemAt(i)->widget()))
            lines << label->text();
    }
    return lines;
}

void neworderwid::clearProductArea()
{
    const auto empty = [](QLayout *layout) {
        while (QLayoutItem *item = layout->takeAt(0)) {
            delete item->widget();
            delete item;
        }
    };
    const bool hadSomething = ui->propertyLayout->count() > 0 || ui->productMessLay->count() > 0;
    empty(ui->propertyLayout);
    empty(ui->productMessLay);
    if (hadSomething) {
        ui->downLoadBtn->hide();
        ui->suportPages->clear();
        ui->suportPages->setToolTip(QString());
        ui->stackedWidget->setCurrentIndex(0);
        m_ready = false;
    }
}

void neworderwid::on_selectProductEdit_textEdited(const QString &text)
{
    ui->selectBtn->hide();
    clearProductArea();
    if (!m_choice.search(text))
        return;
    m_completer->setModel(new QStringListModel(m_choice.names(), m_completer));
    m_completer->setFilterMode(Qt::MatchContains);
    m_completer->setCaseSensitivity(Qt::CaseInsensitive);
    m_completer->setMaxVisibleItems(100);
}

void neworderwid::on_selectBtn_clicked()
{
    clearProductArea();
    QString problem;
    if (!m_choice.choose(ui->selectProductEdit->text(), &problem)) {
        if (!problem.isEmpty())
            message(problem);
        ui->selectBtn->setEnabled(true);
        return;
    }
    m_product = m_choice.product();
    m_terms = StoreTerms::fromSession();
    m_hasProduct = true;
    m_orderTable->setProductType(int(m_product.kind()));
    if (m_product.isSeries)
        showOutcome(m_choice.seriesOutcome());
    else
        addPropertyChoices();
    ui->selectBtn->setEnabled(true);
}

void neworderwid::addPropertyChoices()
{
    for (const dictMess &dict : std::as_const(m_product.dicts)) {
        auto *label = new QLabel(dict.propKey, ui->centerProduct);
        label->setTextFormat(Qt::PlainText);
        label->setProperty("class", QStringLiteral("altriLable"));
        auto *combo = new QComboBox(ui->centerProduct);
        combo->setEditable(true);
        combo->setStyleSheet(QStringLiteral("QComboBox { color: #000000; }"));
        combo->setProperty("id", dict.id);
        combo->setObjectName(QString::number(dict.id));
        for (const auto &[valueId, text] : dict.values)
            combo->addItem(text, valueId);
        combo->setCurrentIndex(-1);
        const QString placeholder = QStringLiteral("选择%1").arg(dict.propKey);
        // Wide enough for the prompt and every value, never "选...": text, padding and arrow.
        int longest = combo->fontMetrics().horizontalAdvance(placeholder);
        for (int i = 0; i < combo->count(); ++i)
            longest = qMax(longest, combo->fontMetrics().horizontalAdvance(combo->itemText(i)));
        combo->setMinimumWidth(longest + 56);
        combo->lineEdit()->setPlaceholderText(placeholder);
        combo->lineEdit()->setStyleSheet(QStringLiteral("color: #999999;"));
        ui->propertyLayout->addWidget(label);
        ui->propertyLayout->addWidget(combo);
        connect(combo, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &neworderwid::onComboxSelect);
        if (dict.values.size() == 1)
            combo->setCurrentIndex(0);
    }
    if (m_product.dicts.isEmpty())
        onComboxSelect(0);
}

void neworderwid::onComboxSelect(int index)
{
    if (index < 0)
        return;
    auto *combo = qobject_cast<QComboBox *>(sender());
    const ProductChoice::Outcome outcome =
        combo ? m_choice.select(combo->objectName().toInt(), combo->itemData(index).toInt()) : m_choice.settle();
    if (!outcome.ready)
        return;
    clearSpec();
    showOutcome(outcome);
}

void neworderwid::showOutcome(const ProductChoice::Outcome &outcome)
{
    m_product = m_choice.product();
    m_ready = outcome.ready;
    if (outcome.goldStamp) {
        stopForGoldStamp();
        return;
    }
    showSpec(outcome.specLines);
    if (!outcome.pagesText.isEmpty()) {
        ui->suportPages->setText(outcome.pagesText);
        ui->suportPages->setToolTip(outcome.pagesText);
    }
    m_orderTable->setSkuTable(outcome.skuTable);
    showExample();
}

void neworderwid::clearSpec()
{
    // Another choice of properties replaces the lines of the previous one.
    while (QLayoutItem *item = ui->productMessLay->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    ui->suportPages->clear();
    ui->suportPages->setToolTip(QString());
    ui->downLoadBtn->hide();
    m_templateNote->hide();
}

void neworderwid::stopForGoldStamp()
{
    m_ready = false;
    ui->stackedWidget->setCurrentIndex(0);
    m_orderTable->clearTable();
    ui->downLoadBtn->setText(QStringLiteral("下载模版"));
    ui->downLoadBtn->show();
    message(QStringLiteral("当前产品是烫金产品，烫金产品请到在线端提交?"), QStringLiteral("确定"));
}

void neworderwid::showSpec(const QStringList &lines)
{
    for (const QString &line : lines) {
        auto *label = new QLabel(line, ui->bottomWid);
        label->setTextFormat(Qt::PlainText);
        label->setProperty("class", QStringLiteral("productMessShow"));
        // A long line wraps; unwrapped it would widen the window past a laptop screen.
        label->setWordWrap(true);
        ui->productMessLay->addWidget(label);
    }
}

void neworderwid::showExample()
{
    ui->stackedWidget->setCurrentIndex(2);
    ui->bottomWid->adjustSize();
    m_orderTable->clearTable();
    const ProductKind kind = m_product.kind();
    const QString prefix = kind == ProductKind::Series         ? QStringLiteral("套系示例：")
                           : kind == ProductKind::FrameOrStage ? QStringLiteral("框摆示例：")
                                                               : QStringLiteral("单册示例：");
    ui->linkTextWithFord->setText(
        prefix + QStringLiteral("按照示例，拖拽文件夹上传；或点击<font color='#53B578'><u>上传文件</u></font>上传"));
    m_shown = m_pictures[int(kind)];
    // The example page gets its size once the layout has run.
    QTimer::singleShot(0, this, &neworderwid::scalePicture);
    scalePicture();
}

void neworderwid::scalePicture()
{
    if (m_shown.isNull())
        return;
    QLabel *label = ui->productFodersImage;
    QPixmap picture = m_shown;
    if (picture.height() > label->height()) {
        picture = m_shown.scaled(qRound(label->width() * 0.8), qRound(label->height() * 0.8), Qt::KeepAspectRatio,
                                 Qt::SmoothTransformation);
    }
    label->setPixmap(picture);
}

void neworderwid::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    scalePicture();
}

void neworderwid::setProduct(const spuMess &product, const StoreTerms &terms)
{
    m_product = product;
    m_terms = terms;
    m_hasProduct = true;
    m_ready = !product.candidateGroups.isEmpty();
    m_orderTable->setProductType(int(product.kind()));
    if (m_ready)
        showExample();
}

bool neworderwid::handleFolder(const QString &rawPath)
{
    const QString path = cleanPath(rawPath);
    if (!m_hasProduct || !m_ready) {
        message(QStringLiteral("请选择产品"));
        LogManager::logInfo(QStringLiteral("请先选择产品"));
        return false;
    }
    // A dropped file or a link is no class folder; an empty path would be
    // read as the working folder.
    if (!QFileInfo(path).isDir()) {
        LogManager::logError(QStringLiteral("拖入的不是文件夹:%1").arg(path));
        message(QStringLiteral("产品层次有问题，请参照示例图组织产品层次"));
        return false;
    }
    if (!FolderIntake::structureOk(path, m_product.kind())) {
        message(QStringLiteral("产品层次有问题，请参照示例图组织产品层次"));
        return false;
    }
    ui->stackedWidget->setCurrentWidget(ui->mainWid);
    const QString className = QFileInfo(path).fileName();
    if (m_orderTable->hasFolder(className)) {
        QMessageBox::warning(this, QStringLiteral("警告"), QStringLiteral("这个班级已经导入，请换一下班级"));
        return false;
    }
    auto orders = FolderIntake::createOrders(path, m_product, QDateTime::currentDateTime());
    for (auto &order : orders) {
        groupProductImages *record = m_checks.adopt(std::move(order));
        m_orderTable->addGroupRow(className, record);
        startCheck(record);
    }
    return true;
}

void neworderwid::recheck(groupProductImages *record, const QString &newPath)
{
    if (QFileInfo(newPath).isFile()
        && QFileInfo(newPath).suffix().compare(QLatin1String("JPG"), Qt::CaseInsensitive) != 0) {
        message(QStringLiteral("图片格式不对，请选择jpg文件"));
        return;
    }
    record->name = QFileInfo(newPath).fileName();
    record->path = newPath;
    record->reset();
    m_orderTable->showChecking(record);
    startCheck(record);
}

void neworderwid::startCheck(groupProductImages *record)
{
    m_checks.check(record, m_product, m_terms);
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
    m_checks.cancelQueued();
}

void neworderwid::clearPage()
{
    m_orderTable->clearTable();
    ui->selectProductEdit->clear();
    clearProductArea();
    m_completer->setModel(new QStringListModel(m_completer));
    m_choice.forget();
}

void neworderwid::askForReport()
{
    const QList<const groupProductImages *> records = m_orderTable->reportedRecords();
    if (records.isEmpty())
        return;
    const QString classFolder = QFileInfo(records.first()->path).absolutePath();
    const QString suggested =
        QDir(QFileInfo(classFolder).absolutePath())
            .filePath(CheckReport::defaultFileName(records.first()->className, QDate::currentDate()));
    QString path = QFileDialog::getSaveFileName(this, QStringLiteral("导出检查报告"), suggested,
                                                QStringLiteral("PDF 文件 (*.pdf)"));
    if (path.isEmpty())
        return;
    if (!path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
        path += QLatin1String(".pdf");
    exportReport(path);
}

bool neworderwid::exportReport(const QString &path)
{
    const QList<const groupProductImages *> records = m_orderTable->reportedRecords();
    if (records.isEmpty() || m_reportWriting.busy())
        return false;
    QStringList classes;
    for (const groupProductImages *record : records) {
        if (!classes.contains(record->className))
            classes << record->className;
    }
    const VellRuntime &session = VellRuntime::instance();
    const QString account = session.storeName().isEmpty()
                                ? session.userName()
                                : QStringLiteral("%1（%2）").arg(session.storeName(), session.userName());
    // The findings are taken here, on the thread that owns the records.
    m_reportWriting.start(CheckFindings::build(m_product, records, account, classes.join(QStringLiteral("、"))), path);
    m_orderTable->setReportBusy(true);
    return true;
}

void neworderwid::reportWritten(const QString &path, const QString &error)
{
    m_orderTable->setReportBusy(false);
    if (!error.isEmpty()) {
        message(error);
        return;
    }
    massegeBoxShow box(this, QStringLiteral("系统提示"),
                       QStringLiteral("检查报告已保存：%1\n现在打开吗？").arg(QDir::toNativeSeparators(path)),
                       QStringLiteral("打开"), QStringLiteral("关闭"));
    if (box.exec() == 1)
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void neworderwid::addOrdersAgain()
{
    on_linkText_clicked();
}

void neworderwid::on_linkText_clicked()
{
    QSettings settings(settingsFile(), QSettings::IniFormat);
    const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("选择一个目录"),
                                                             settings.value(QStringLiteral("LastFilePath")).toString(),
                                                             QFileDialog::ShowDirsOnly);
    if (folder.isEmpty())
        return;
    QDir parent(folder);
    parent.cdUp();
    settings.setValue(QStringLiteral("LastFilePath"), parent.absolutePath());
    handleFolder(folder);
}

void neworderwid::reCheckOrder(groupProductImages *record)
{
    const QString start = QFileInfo(record->path).absolutePath();
    QString chosen = m_product.kind() == ProductKind::FrameOrStage
                         ? QFileDialog::getOpenFileName(this, QStringLiteral("选择一个图片"), start)
                         : QFileDialog::getExistingDirectory(this, QStringLiteral("选择一个目录"), start);
    if (chosen.isEmpty())
        return;
#ifdef Q_OS_WIN
    chosen.replace(QLatin1Char('/'), QLatin1Char('\\'));
#endif
    recheck(record, chosen);
}

void neworderwid::on_downLoadBtn_clicked()
{
    if (!m_templates.start(m_product))
        return;
    ui->downLoadBtn->setEnabled(false);
    m_templateNote->hide();
}

void neworderwid::showTemplateOutcome(const TemplateDownload::Outcome &outcome)
{
    ui->downLoadBtn->setEnabled(true);
    m_templateNote->setText(outcome.text());
    m_templateNote->show();
    if (outcome.problems.isEmpty() && !outcome.saved.isEmpty())
        emit downLoadSeccussSig();
}

void neworderwid::downLoadSeccuss()
{
    ui->downLoadBtn->setText(QStringLiteral("下载完成"));
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
