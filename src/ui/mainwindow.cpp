#include "ui/mainwindow.h"
#include "ui_mainwindow.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QSvgRenderer>
#include <QTableWidget>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "catalog/storeterms.h"
#include "core/apppaths.h"
#include "core/configfile.h"
#include "core/logmanager.h"
#include "core/vellruntime.h"
#include "dialogs/massegeboxshow.h"
#include "dialogs/updatedialog.h"
#include "net/authentication.h"
#include "net/softwareupdate.h"
#include "orders/producttablewidget.h"
#include "store/shareddatabase.h"
#include "ui/neworderwid.h"
#include "upload/awsutils.h"
#include "upload/databasethread.h"
#include "upload/uploadimage.h"

namespace {

bool isWeddingOrLater(const QString &storeType)
{
    const StoreTerms terms{0, storeType};
    return terms.isWeddingDress() || terms.isLaterStage();
}

QIcon svgIcon(const QString &path)
{
    QPixmap pixmap(12, 12);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    QSvgRenderer(path).render(&painter);
    return QIcon(pixmap);
}

void shadow(QWidget *widget, const QColor &color, qreal blur)
{
    auto *effect = new QGraphicsDropShadowEffect(widget);
    effect->setColor(color);
    effect->setBlurRadius(blur);
    effect->setOffset(0);
    widget->setGraphicsEffect(effect);
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    m_storage = new AwsUtils(this);

    QFile sheet(QStringLiteral(":/qss/mainWindow.qss"));
    if (sheet.open(QIODevice::ReadOnly))
        setStyleSheet(QString::fromUtf8(sheet.readAll()));
    else
        LogManager::logError(QStringLiteral("文件不存在：mainWindow.qss"));

    if (!QDir(AppPaths::appDataDir()).exists())
        QDir().mkpath(AppPaths::appDataDir());
    m_version = SoftwareUpdate::currentVersion();
    setWindowTitle(QStringLiteral("%1(%2)").arg(windowTitle(), m_version));

    auto *update = new SoftwareUpdate([this](SoftwareUpdate::Question question, const QString &text,
                                             bool forced) { return askToInstall(this, question, text, forced); },
                                      this);
    update->setBrowser([](const QUrl &url) { return QDesktopServices::openUrl(url); });
    update->checkUpdate();

    m_scheduler = new uploadImage(this);
    connect(m_scheduler, &uploadImage::updateUploadingOrder, this, &MainWindow::updateUploadingOrder);
    connect(&DatabaseThread::instance(), &DatabaseThread::ordersGetSig, this, &MainWindow::getOrdersSLOT);

    ui->stackedWidget->setCurrentIndex(0);
    ui->centerStackedWidget->setCurrentIndex(0);
    buildTopBar();
    buildLeftTool();
    connect(ui->loginW, &loginwidget::loginOK, this, &MainWindow::loginOK);

    QLayout *frames[4] = {nullptr, ui->verticalLayout_9, ui->verticalLayout_8, ui->verticalLayout_11};
    for (int type = 1; type <= 3; ++type) {
        m_lists[type] = new productTableWidget(type, this);
        frames[type]->addWidget(m_lists[type]);
        m_lists[type]->setupList();
    }
    m_lists[0] = ui->checkProductWid->orderTable();
    connect(ui->checkProductWid, &neworderwid::changeToUploadWid, this, &MainWindow::changeToUploading);

    // The login page opened the database: a file kept aside or left alone at
    // that check is told once the window is up.
    if (!databaseNotice().isEmpty()) {
        QTimer::singleShot(0, this, [this] {
            massegeBoxShow box(this, QStringLiteral("系统提示"), databaseNotice(), QStringLiteral("我知道了"),
                               QString());
            box.exec();
        });
    }
}

MainWindow::~MainWindow()
{
    QThreadPool::globalInstance()->waitForDone();
    delete ui;
}

bool MainWindow::askToInstall(QWidget *parent, SoftwareUpdate::Question question, const QString &text, bool forced)
{
    if (question == SoftwareUpdate::Question::InstallByHand) {
        updateDialog dialog(parent, QStringLiteral("系统提示"), text, QStringLiteral("打开下载页面"),
                            forced ? QString() : QStringLiteral("取消"));
        return dialog.exec() == 1;
    }
    updateDialog dialog(parent, QStringLiteral("系统提示"), text, QStringLiteral("是"),
                        forced ? QString() : QStringLiteral("否"));
    if (forced)
        dialog.setWindowFlags((dialog.windowFlags() | Qt::CustomizeWindowHint) & ~Qt::WindowCloseButtonHint);
    return dialog.exec() == 1;
}

productTableWidget *MainWindow::list(int type) const
{
    return m_lists[qBound(0, type, 3)];
}

void MainWindow::buildTopBar()
{
    QHBoxLayout *bar = ui->horizontalLayout_3;
    const auto button = [this, bar](const QString &text) {
        auto *b = new QPushButton(text, ui->topwidget);
        b->setProperty("class", QStringLiteral("roundBtn"));
        b->setCursor(Qt::PointingHandCursor);
        shadow(b, QColor(QStringLiteral("#c3cbdc")), 2);
        bar->addWidget(b);
        return b;
    };
    button(QStringLiteral("使用说明"));
    connect(button(QStringLiteral("打开官网")), &QPushButton::clicked, this, &MainWindow::openWeb);
    connect(button(QStringLiteral("查找日志")), &QPushButton::clicked, this, &MainWindow::openLog);
    bar->addStretch();
    connect(button(QStringLiteral("退出登录")), &QPushButton::clicked, this, &MainWindow::loginOutFun);
}

void MainWindow::buildLeftTool()
{
    auto *layout = new QVBoxLayout(ui->leftTool);
    layout->setContentsMargins(15, 15, 15, 40);
    m_group = new QButtonGroup(this);
    m_group->setExclusive(true);
    const struct
    {
        const char *text;
        const char *icon;
    } items[3] = {{"上传文件夹", ":/icons/addForld.svg"},
                  {"正在提交", ":/icons/uploading.svg"},
                  {"待结算", ":/icons/uploaded.svg"}};
    for (int id = 0; id < 3; ++id) {
        auto *b = new QPushButton(QString::fromUtf8(items[id].text), ui->leftTool);
        b->setCheckable(true);
        b->setProperty("class", QStringLiteral("boxButton"));
        b->setIcon(svgIcon(QString::fromLatin1(items[id].icon)));
        b->setIconSize(QSize(12, 12));
        layout->addWidget(b);
        m_group->addButton(b, id);
        m_toolButtons << b;
    }
    layout->addStretch();
    auto *history = new QPushButton(ui->leftTool);
    history->setCheckable(true);
    history->setFlat(true);
    history->setFixedSize(40, 40);
    history->setProperty("class", QStringLiteral("histoyBtn"));
    history->setToolTip(QStringLiteral("加购记录"));
    shadow(history, QColor(65, 65, 65, 40), 10);
    layout->addWidget(history);
    m_group->addButton(history, 3);
    m_toolButtons << history;
    m_toolButtons.first()->setChecked(true);
    connect(m_group, &QButtonGroup::idToggled, this, &MainWindow::changeState);
}

void MainWindow::loginOK()
{
    ui->stackedWidget->setCurrentWidget(ui->mainPage);
    LogManager::logInfo(QStringLiteral("软件登录成功,版本号：%1").arg(m_version));
    m_storage->initialise();
    setWindowTitle(QStringLiteral("%1(%2)").arg(VellRuntime::instance().storeName(), m_version));
    shadow(ui->topwidget, QColor(142, 142, 142, 255), 3);
    Authentication::getStoreInfo();
    m_scheduler->startUploading(false);
    configFile::switchBackend(!isWeddingOrLater(VellRuntime::instance().storeType()));
}

void MainWindow::showList(int type)
{
    ui->centerStackedWidget->setCurrentIndex(type);
    m_lists[type]->setResizeEnabled(true);
    m_lists[type]->handleDelayedResize();
    DatabaseThread::instance().fetchOrders(type);
}

void MainWindow::changeState(int index, bool checked)
{
    if (!checked)
        return;
    for (int type : {0, 2, 3})
        m_lists[type]->setResizeEnabled(false);
    if (index == 0) {
        m_lists[0]->setResizeEnabled(true);
        m_lists[0]->handleDelayedResize();
        ui->centerStackedWidget->setCurrentIndex(0);
        return;
    }
    showList(index);
}

void MainWindow::changeToUploading()
{
    m_toolButtons.at(1)->setChecked(true);
    for (int type : {0, 2, 3})
        m_lists[type]->setResizeEnabled(false);
    showList(1);
}

void MainWindow::getOrdersSLOT(int type, const QList<orderGroup> &orders)
{
    productTableWidget *target = type == 1 ? m_lists[1] : type == 2 ? m_lists[2] : m_lists[3];
    target->clearTable();
    target->addOrders(orders);
}

void MainWindow::updateUploadingOrder(const QString &orderNo, int fileNum)
{
    if (ui->centerStackedWidget->currentIndex() == 1)
        m_lists[1]->updateUploadProgress(orderNo, fileNum);
}

void MainWindow::openWeb()
{
    const QString url =
        isWeddingOrLater(VellRuntime::instance().storeType()) ? configFile::baseUrlW() : configFile::baseUrl();
    const bool opened = QDesktopServices::openUrl(QUrl(url));
    LogManager::logDebug(QStringLiteral("webUrlHome:%1;success:%2").arg(url).arg(opened ? 1 : 0));
    if (!opened)
        LogManager::logError(QStringLiteral("Failed to open URL."));
}

void MainWindow::openLog()
{
    if (QDir(AppPaths::logDir()).exists())
        QDesktopServices::openUrl(QUrl::fromLocalFile(AppPaths::logDir()));
    else
        QMessageBox::warning(this, QStringLiteral("提示"), QStringLiteral("日志文件夹不存在！！"));
}

bool MainWindow::uploadsRunning() const
{
    return QThreadPool::globalInstance()->activeThreadCount() > 0;
}

int MainWindow::ask(const QString &text, const QString &sure, const QString &cancel)
{
    massegeBoxShow box(this, QStringLiteral("系统提示"), text, sure, cancel);
    return box.exec();
}

void MainWindow::loginOutFun()
{
    if (uploadsRunning()) {
        ask(QStringLiteral("正在上传文件夹，请勿退出。"), QStringLiteral("我知道了"), QString());
        return;
    }
    if (m_lists[0]->table()->rowCount() + m_lists[0]->pendingRows() > 0
        && ask(QStringLiteral("文件夹已匹配未上传,是否确定清空并退出?"), QStringLiteral("是"), QStringLiteral("否"))
               != 1)
        return;
    backToLogin();
}

void MainWindow::backToLogin()
{
    LogManager::logInfo(QStringLiteral("退出登录:%1").arg(VellRuntime::instance().storeName()));
    m_toolButtons.at(0)->setChecked(true);
    ui->checkProductWid->clearPage();
    ui->centerStackedWidget->setCurrentIndex(0);
    ui->stackedWidget->setCurrentWidget(ui->loginW);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (uploadsRunning()) {
        event->ignore();
        ask(QStringLiteral("正在上传文件夹，请勿关闭。"), QStringLiteral("我知道了"), QString());
        return;
    }
    const int answer =
        m_lists[0]->table()->rowCount() + m_lists[0]->pendingRows() == 0
            ? ask(QStringLiteral("确定要退出应用系统吗?"), QStringLiteral("确定"), QStringLiteral("取消"))
            : ask(QStringLiteral("文件夹已匹配未上传,是否确定关闭?"), QStringLiteral("是"), QStringLiteral("否"));
    if (answer == 1) {
        LogManager::logInfo(QStringLiteral("退出应用"));
        event->accept();
    } else
        event->ignore();
}
