#include "guidedtour.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStackedWidget>
#include <QTableWidget>
#include <QThread>
#include <QTimer>

#include "core/apppaths.h"
#include "model/groupproductimages.h"
#include "orders/producttablewidget.h"
#include "ui/mainwindow.h"
#include "ui/neworderwid.h"

namespace {

QPushButton *buttonIn(QWidget *root, const QString &text)
{
    for (QPushButton *b : root->findChildren<QPushButton *>()) {
        if (b->text() == text && b->isVisibleTo(root))
            return b;
    }
    return nullptr;
}

QString stateOf(productTableWidget *list, int row)
{
    const QTableWidgetItem *item = list->table()->item(row, 5);
    return item ? item->text() : QString();
}

void tick(productTableWidget *list, int row)
{
    if (QWidget *cell = list->table()->cellWidget(row, 0)) {
        if (auto *box = cell->findChild<QCheckBox *>(QStringLiteral("checkBox")); box && !box->isChecked())
            box->click();
    }
}

// Images of the queue not yet in the store, read on a connection of the
// tour's own so the client's worker keeps its one.
int imagesLeft()
{
    const QString name = QStringLiteral("tour");
    int left = -1;
    {
        QSqlDatabase db = QSqlDatabase::contains(name) ? QSqlDatabase::database(name)
                                                       : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(AppPaths::databaseFile());
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=2000"));
        if (db.isOpen() || db.open()) {
            QSqlQuery query(db);
            if (query.exec(QStringLiteral("SELECT count(*) FROM images WHERE status <> 'uploaded'")) && query.next())
                left = query.value(0).toInt();
        }
    }
    return left;
}

} // namespace

GuidedTour::GuidedTour(MainWindow &window, const QString &outDir)
    : m_window(window)
    , m_outDir(outDir)
{
    QDir().mkpath(m_outDir);
    QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "openUrl");
    QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "openUrl");
}

GuidedTour::~GuidedTour()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    if (QSqlDatabase::contains(QStringLiteral("tour"))) {
        QSqlDatabase::database(QStringLiteral("tour")).close();
        QSqlDatabase::removeDatabase(QStringLiteral("tour"));
    }
}

QString GuidedTour::pagePath() const
{
    return QDir(m_outDir).absoluteFilePath(QStringLiteral("index.html"));
}

bool GuidedTour::run(const QString &phone, const QString &password, const QList<SampleClass> &classes)
{
    bool ok = login(phone, password);
    for (int i = 0; ok && i < classes.size(); ++i)
        ok = dropClass(classes.at(i), i == classes.size() - 1);
    ok = ok && waitForUploads() && addToCart();
    writePage();
    return ok;
}

bool GuidedTour::login(const QString &phone, const QString &password)
{
    QApplication::processEvents();
    shot(&m_window, QStringLiteral("登录页：输入手机号和密码"));
    auto *phoneEdit = m_window.findChild<QLineEdit *>(QStringLiteral("phoneEdit"));
    auto *passwordEdit = m_window.findChild<QLineEdit *>(QStringLiteral("passwordEdit"));
    auto *loginButton = m_window.findChild<QPushButton *>(QStringLiteral("loginButton"));
    if (!phoneEdit || !passwordEdit || !loginButton)
        return fail(QStringLiteral("登录页没有输入框"));
    phoneEdit->setText(phone);
    passwordEdit->setText(password);
    shot(&m_window, QStringLiteral("填好账号 %1").arg(phone));
    loginButton->click();
    auto *pages = m_window.findChild<QStackedWidget *>(QStringLiteral("stackedWidget"));
    if (!waitUntil([pages] { return pages && pages->currentIndex() == 1; }, 20000))
        return fail(QStringLiteral("登录没有成功"));
    shot(&m_window, QStringLiteral("登录成功，进入新建订单页"));
    return true;
}

bool GuidedTour::dropClass(const SampleClass &sample, bool last)
{
    auto *page = m_window.findChild<neworderwid *>(QStringLiteral("checkProductWid"));
    auto *search = page ? page->findChild<QLineEdit *>(QStringLiteral("selectProductEdit")) : nullptr;
    if (!search)
        return fail(QStringLiteral("找不到新建订单页"));
    search->setText(sample.product);
    page->on_selectProductEdit_textEdited(sample.product);
    page->on_selectBtn_clicked();
    for (QComboBox *box : page->findChildren<QComboBox *>()) {
        if (box->count() > 0)
            box->setCurrentIndex(0);
    }
    QApplication::processEvents();
    if (!page->isReady())
        return fail(QStringLiteral("产品“%1”没有选好属性").arg(sample.product));
    shot(&m_window,
         QStringLiteral("搜索“%1”并选择属性：%2").arg(sample.product, page->product().currentGroup.skuGroupName));

    if (!page->handleFolder(sample.folder))
        return fail(QStringLiteral("班级文件夹没有生成订单：%1").arg(sample.folder));
    productTableWidget *list = page->orderTable();
    const auto checked = [list] {
        if (list->pendingRows() > 0)
            return false;
        for (int row = 0; row < list->table()->rowCount(); ++row) {
            if (stateOf(list, row) == groupProductImages::matchingText)
                return false;
        }
        return true;
    };
    if (!waitUntil(checked, 120000))
        return fail(QStringLiteral("订单检查超过两分钟没有完成"));
    int matched = 0;
    for (int row = 0; row < list->table()->rowCount(); ++row) {
        if (stateOf(list, row) == groupProductImages::successText) {
            tick(list, row);
            ++matched;
        }
    }
    const int rows = list->table()->rowCount();
    shot(&m_window, QStringLiteral("拖入班级“%1”：%2 个订单检查完毕，勾选其中匹配成功的 %3 个")
                        .arg(QFileInfo(sample.folder).fileName())
                        .arg(rows)
                        .arg(matched));
    if (matched == 0)
        return true;

    // The last class goes on to the uploads; the others stay on the page.
    answerDialogs(last ? QStringLiteral("查看提交进度") : QStringLiteral("关闭"));
    QPushButton *submit = buttonIn(list, QStringLiteral("提交"));
    if (!submit)
        return fail(QStringLiteral("找不到“提交”"));
    submit->click();
    if (!waitUntil([list, rows, matched] { return list->table()->rowCount() <= rows - matched; }, 60000))
        return fail(QStringLiteral("提交的订单没有保存"));
    waitUntil([] { return QApplication::activeModalWidget() == nullptr; }, 10000);
    answerDialogs(QString());
    shot(&m_window, last ? QStringLiteral("提交后转到“正在提交”，图片在后台上传")
                         : QStringLiteral("提交后留在本页，未匹配的订单仍在列表中"));
    return true;
}

bool GuidedTour::waitForUploads()
{
    const auto done = [] { return imagesLeft() == 0; };
    QElapsedTimer clock;
    clock.start();
    bool shownMidway = false;
    while (!done()) {
        if (clock.elapsed() > m_uploadTimeoutMs)
            return fail(QStringLiteral("图片没有在规定时间内上传完"));
        if (!shownMidway && clock.elapsed() > 1500) {
            shot(&m_window, QStringLiteral("上传中：还有 %1 张图片").arg(imagesLeft()));
            shownMidway = true;
        }
        waitUntil([] { return false; }, 500);
    }
    if (productTableWidget *uploading = m_window.list(1))
        waitUntil([uploading] { return uploading->table()->rowCount() == 0; }, 3000);
    shot(&m_window, QStringLiteral("全部图片已上传（%1 秒）").arg(clock.elapsed() / 1000));
    return true;
}

bool GuidedTour::addToCart()
{
    QPushButton *toPay = buttonIn(&m_window, QStringLiteral("待结算"));
    if (!toPay)
        return fail(QStringLiteral("找不到“待结算”"));
    toPay->click();
    productTableWidget *list = m_window.list(2);
    if (!waitUntil([list] { return list->table()->rowCount() > 0 && list->pendingRows() == 0; }, 10000))
        return fail(QStringLiteral("“待结算”里没有订单"));
    for (int row = 0; row < list->table()->rowCount(); ++row)
        tick(list, row);
    const int rows = list->table()->rowCount();
    shot(&m_window, QStringLiteral("“待结算”：勾选 %1 个已上传的订单").arg(rows));
    QPushButton *toCart = buttonIn(list, QStringLiteral("去购物车结算"));
    if (!toCart)
        return fail(QStringLiteral("找不到“去购物车结算”"));
    answerDialogs(QStringLiteral("我知道了"));
    toCart->click();
    if (!waitUntil([list, toCart] { return list->table()->rowCount() == 0 && toCart->isEnabled(); }, 30000))
        return fail(QStringLiteral("订单没有加入购物车"));
    waitUntil([] { return QApplication::activeModalWidget() == nullptr; }, 10000);
    answerDialogs(QString());
    shot(&m_window, m_opened.isEmpty() ? QStringLiteral("%1 个订单已加入购物车").arg(rows)
                                       : QStringLiteral("%1 个订单已加入购物车，打开购物车页面 %2")
                                             .arg(rows)
                                             .arg(m_opened.last().toString(QUrl::RemoveQuery)));
    for (QPushButton *b : m_window.findChildren<QPushButton *>()) {
        if (b->toolTip() == QStringLiteral("加购记录")) {
            b->click();
            productTableWidget *history = m_window.list(3);
            waitUntil([history] { return history->table()->rowCount() > 0 && history->pendingRows() == 0; }, 10000);
            shot(&m_window, QStringLiteral("加购记录：%1 个订单").arg(history->table()->rowCount()));
        }
    }
    return true;
}

void GuidedTour::shot(QWidget *widget, const QString &caption)
{
    // Lists lay out their columns a moment after a resize; an operator never
    // sees the moment before.
    waitUntil([] { return false; }, 250);
    const QString file = QStringLiteral("%1.png").arg(m_steps.size() + 1, 2, 10, QLatin1Char('0'));
    widget->grab().save(QDir(m_outDir).filePath(file));
    m_steps << Step{file, caption};
    std::printf("tour: %s %s\n", qPrintable(file), qPrintable(caption));
    std::fflush(stdout);
}

// Every modal question that comes up is pictured, then answered with
// `button`, or closed when it has no such button (what an operator does to
// stay on the page). An empty text stops answering.
void GuidedTour::answerDialogs(const QString &button)
{
    m_answer = button;
    if (button.isEmpty())
        return;
    QTimer::singleShot(50, this, [this] {
        if (m_answer.isEmpty())
            return;
        // Armed again first: the answer may open the next question and
        // return only when that one is closed.
        answerDialogs(m_answer);
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog || dialog->property("tourAnswered").toBool())
            return;
        dialog->setProperty("tourAnswered", true);
        QStringList texts;
        for (QLabel *label : dialog->findChildren<QLabel *>()) {
            if (!label->text().trimmed().isEmpty() && label->isVisibleTo(dialog))
                texts << label->text().trimmed();
        }
        shot(dialog, QStringLiteral("提示框：%1").arg(texts.join(QStringLiteral(" / "))));
        if (QPushButton *b = buttonIn(dialog, m_answer))
            b->click();
        else
            dialog->reject();
    });
}

bool GuidedTour::waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    return true;
}

bool GuidedTour::fail(const QString &why)
{
    m_failure = why;
    shot(&m_window, QStringLiteral("未完成：%1").arg(why));
    return false;
}

void GuidedTour::writePage() const
{
    QFile page(pagePath());
    if (!page.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    QString html = QStringLiteral("<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\">"
                                  "<title>下单流程导览</title><style>body{font-family:sans-serif;margin:2em;}"
                                  "li{margin-bottom:2em;}img{max-width:100%;border:1px solid #ccc;}</style>"
                                  "</head><body>\n<h1>下单流程导览</h1>\n");
    html += m_failure.isEmpty() ? QStringLiteral("<p>整个流程已走完，共 %1 步。</p>\n").arg(m_steps.size())
                                : QStringLiteral("<p>流程未走完：%1</p>\n").arg(m_failure.toHtmlEscaped());
    html += QStringLiteral("<ol>\n");
    for (const Step &step : m_steps)
        html += QStringLiteral("<li><p>%1</p><img src=\"%2\" alt=\"%1\"></li>\n")
                    .arg(step.caption.toHtmlEscaped(), step.file);
    html += QStringLiteral("</ol>\n</body></html>\n");
    page.write(html.toUtf8());
}
