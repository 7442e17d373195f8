#include <cstdio>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFont>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>

#include "classlayout.h"
#include "core/apppaths.h"
#include "core/configfile.h"
#include "core/qttranslation.h"
#include "core/vellruntime.h"
#include "dialogs/massegeboxshow.h"
#include "dialogs/tooltipdialog.h"
#include "dialogs/updatedialog.h"
#include "net/httputils.h"
#include "orders/orderprogressbar.h"
#include "orders/producttablewidget.h"
#include "store/shareddatabase.h"
#include "ui/mainwindow.h"
#include "ui/neworderwid.h"
#include "upload/orderrecords.h"

// screenshots OUTDIR CATALOGUE LOCALBACKEND: walks the client's pages and
// dialogs at the screen's size, against the local backend, and saves each
// as a PNG for looking at. Prints "clipped:" for a control that lies
// outside the window or the screen, and "too wide:" when a page needs more
// than the screen. Run under Xvfb with CJK fonts (take.sh beside this file).
namespace {

QString g_out;
int g_step = 0;
int g_problems = 0;

void settle(int ms = 150)
{
    QElapsedTimer wait;
    wait.start();
    while (wait.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

// Visible controls outside their window, and windows wider than the screen.
void checkFits(QWidget *top, const QString &name)
{
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    if (top->minimumSizeHint().width() > screen.width() || top->minimumSizeHint().height() > screen.height()) {
        std::printf("too wide: %s needs %dx%d\n", qPrintable(name), top->minimumSizeHint().width(),
                    top->minimumSizeHint().height());
        ++g_problems;
    }
    for (QWidget *w : top->findChildren<QWidget *>()) {
        // Rows scrolled out of a table are not cut off.
        bool inView = false;
        for (QWidget *p = w->parentWidget(); p && !inView; p = p->parentWidget())
            inView = qobject_cast<QAbstractItemView *>(p) != nullptr;
        if (!w->isVisible() || w->width() <= 0 || inView)
            continue;
        const QRect inTop(w->mapTo(top, QPoint(0, 0)), w->size());
        if (!top->rect().contains(inTop)
            && (qobject_cast<QPushButton *>(w) || qobject_cast<QLineEdit *>(w) || qobject_cast<QComboBox *>(w)
                || qobject_cast<QLabel *>(w))) {
            std::printf("clipped: %s: %s %s at %d,%d %dx%d\n", qPrintable(name), w->metaObject()->className(),
                        qPrintable(w->objectName()), inTop.x(), inTop.y(), w->width(), w->height());
            ++g_problems;
        }
    }
}

// The whole screen, so popups and dialogs over the window are in it.
void shoot(const QString &name, QWidget *check = nullptr)
{
    settle();
    const QString file = QStringLiteral("%1/%2-%3.png").arg(g_out).arg(++g_step, 2, 10, QLatin1Char('0')).arg(name);
    QGuiApplication::primaryScreen()->grabWindow(0).save(file);
    std::printf("screenshots: %s\n", qPrintable(QFileInfo(file).fileName()));
    if (check)
        checkFits(check, name);
}

// Shows a dialog, saves the screen, closes it.
void shootDialog(QDialog &dialog, const QString &name)
{
    QTimer::singleShot(0, &dialog, [&dialog, name] {
        shoot(name, &dialog);
        dialog.reject();
    });
    dialog.exec();
}

// Any modal dialog that comes up during `action` is saved, then answered
// with its default (confirming) button.
void withDialogs(const QString &name, const std::function<void()> &action)
{
    QTimer timer;
    int n = 0;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog || dialog->property("shot").toBool())
            return;
        dialog->setProperty("shot", true);
        shoot(QStringLiteral("%1-dialog%2").arg(name).arg(++n), dialog);
        const QList<QPushButton *> buttons = dialog->findChildren<QPushButton *>();
        if (!buttons.isEmpty())
            buttons.last()->click();
        else
            dialog->accept();
    });
    timer.start(50);
    action();
}

QJsonObject catalogue(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
}

bool startBackend(QProcess &backend, const QString &program, QString *baseUrl)
{
    backend.start(program, {QStringLiteral("--port"), QStringLiteral("0")});
    if (!backend.waitForStarted(10000))
        return false;
    QByteArray out;
    while (!out.contains('\n') && backend.waitForReadyRead(10000))
        out += backend.readAllStandardOutput();
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("port (\\d+)")).match(QString::fromUtf8(out));
    *baseUrl = QStringLiteral("http://127.0.0.1:%1/").arg(m.captured(1));
    return m.hasMatch();
}

// A class of 30 album orders with long names; every third has two covers,
// every fifth a page too few.
QString writeClass(const QString &root)
{
    QJsonArray orders;
    for (int i = 1; i <= 30; ++i) {
        QJsonArray entries{QJsonObject{{"image", "封面.jpg"}, {"mm", QJsonArray{446, 236}}, {"dpi", 300}},
                           QJsonObject{{"images", "{n}.jpg"},
                                       {"count", i % 5 == 0 ? 9 : 10},
                                       {"start", 1},
                                       {"mm", QJsonArray{406, 206}},
                                       {"dpi", 300}}};
        if (i % 3 == 0)
            entries.append(QJsonObject{{"image", "封面2.jpg"}, {"mm", QJsonArray{446, 236}}, {"dpi", 300}});
        orders.append(
            QJsonObject{{"folder", QStringLiteral("%1 张三李四王五赵六的毕业纪念相册（加长的客户名称用来看省略）")
                                       .arg(i, 2, 10, QLatin1Char('0'))},
                        {"entries", entries}});
    }
    const QString name = QStringLiteral("二〇二六届 六年级一班 毕业纪念册 第一批");
    ClassLayout::build(QJsonObject{{"folder", name}, {"entries", orders}}, root);
    return root + QLatin1Char('/') + name;
}

QPushButton *buttonWithText(QWidget *in, const QString &text)
{
    for (QPushButton *b : in->findChildren<QPushButton *>()) {
        if (b->text() == text && b->isVisible())
            return b;
    }
    return nullptr;
}

void dialogs(QWidget *window)
{
    massegeBoxShow notice(window, QStringLiteral("系统提示"), QStringLiteral("请选择产品"), QStringLiteral("我知道了"),
                          QString());
    shootDialog(notice, QStringLiteral("dialog-notice"));
    massegeBoxShow confirm(window, QStringLiteral("系统提示"),
                           QStringLiteral("确定删除“01 张三李四王五赵六的毕业纪念相册（加长的客户名称用来看省略）”?"),
                           QStringLiteral("确定"), QStringLiteral("取消"));
    shootDialog(confirm, QStringLiteral("dialog-confirm"));
    updateDialog update(window, QStringLiteral("系统提示"),
                        QStringLiteral("发现新版本 2.2.0\n1. 上传更稳定\n2. 修复已知问题"), QStringLiteral("是"),
                        QStringLiteral("否"));
    shootDialog(update, QStringLiteral("dialog-update"));
    toolTipDialog tip(QStringLiteral("系统提示"), QStringLiteral("继续上传"), QStringLiteral("查看提交进度"),
                      QStringLiteral("二〇二六届 六年级一班 毕业纪念册 第一批上传中!上传完成后请去待结算界面进行结算"));
    shootDialog(tip, QStringLiteral("dialog-submitted"));
}

QList<orderGroup> sampleOrders()
{
    const auto order = [](const QString &no, const QString &name, const QString &group, float size, int files,
                          int done) {
        orderGroup o;
        o.orderNo = no;
        o.name = name;
        o.productName = QStringLiteral("经典对裱相册");
        o.skuGroupName = group;
        o.size = size;
        o.orderCount = 12;
        o.fileCout = files;
        o.uploadedCount = done;
        o.timeCart = QStringLiteral("2026-12-06 10:32");
        return o;
    };
    QList<orderGroup> orders{
        order("A1", QStringLiteral("三年二班"), QStringLiteral("8寸 皮质封面"), 380.5f, 156, 40),
        order("A2", QStringLiteral("二〇二六届 六年级一班 毕业纪念册 第一批"), QStringLiteral("10寸 水晶封面"), 1530.0f,
              210, 0),
        order("A3", QStringLiteral("毕业季 六年一班"), QStringLiteral("毕业套系 相册+摆台"), 96.2f, 48, 47)};
    orders[1].details.insert(OrderRecords::heldImagesKey(),
                             QStringList{QStringLiteral("/班级/三年三班/张三/封面.jpg：图片在检查后被修改")});
    return orders;
}

// The queue line above the lists counts the images table, so the sample
// orders' images go there as well: the done ones stored now, the others
// leased now, which keeps the scheduler from trying their missing files.
bool seedQueue(const QList<orderGroup> &orders)
{
    const QString now = QString::number(QDateTime::currentSecsSinceEpoch());
    for (const orderGroup &o : orders) {
        const QString no = o.orderNo;
        if (!execStatement(
                sharedDatabase(),
                QStringLiteral("INSERT INTO orders(orderNo,name,size,fileCout,uploadedCount,orderCount,status,"
                               "customerId) VALUES('%1','sample',%2,%3,%4,%5,'uploading','%6')")
                    .arg(no)
                    .arg(o.size)
                    .arg(o.fileCout)
                    .arg(o.uploadedCount)
                    .arg(o.orderCount)
                    .arg(VellRuntime::instance().userId()))
            || !execStatement(
                sharedDatabase(),
                QStringLiteral("WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM k WHERE i<%2) INSERT INTO "
                               "images(name,orderId,subOrderId,size,IsRotate,sort,type,localPath,imageMess,status,"
                               "uploadDate) SELECT i||'.jpg','%1','%1-1',%3,0,i,'page','/sample/'||i||'.jpg','',CASE "
                               "WHEN i<=%4 THEN 'uploaded' ELSE 'uploading' END,%5 FROM k")
                    .arg(no)
                    .arg(o.fileCout)
                    .arg(qint64(o.size * 1024 * 1024 / o.fileCout))
                    .arg(o.uploadedCount)
                    .arg(now)))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: screenshots OUTDIR CATALOGUE LOCALBACKEND\n");
        return 2;
    }
    g_out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(g_out);
    QTemporaryDir home;
    AppPaths::setAppDataDir(home.filePath(QStringLiteral("appdata")));
    QtTranslation::install();
    QFont font = QApplication::font();
    font.setFamilies({QStringLiteral("Microsoft YaHei"), QStringLiteral("Microsoft YaHei-Regular"),
                      QStringLiteral("Noto Sans CJK SC")});
    font.setLetterSpacing(QFont::PercentageSpacing, 110);
    font.setStyleStrategy(QFont::PreferAntialias);
    QApplication::setFont(font);

    QProcess backend;
    QString baseUrl;
    if (!startBackend(backend, QString::fromLocal8Bit(argv[3]), &baseUrl)) {
        std::fprintf(stderr, "screenshots: the local backend did not start\n");
        return 1;
    }
    QDir(home.path()).mkpath(QStringLiteral("work/data"));
    QFile config(home.filePath(QStringLiteral("work/data/config.json")));
    config.open(QIODevice::WriteOnly);
    config.write(QJsonDocument(QJsonObject{{"baseUrl", baseUrl}}).toJson());
    config.close();
    QDir::setCurrent(home.filePath(QStringLiteral("work")));
    configFile::readConfig();
    // Never the developer's own keychain: a session bus where nothing listens.
    qputenv("DBUS_SESSION_BUS_ADDRESS", QFile::encodeName("unix:path=" + home.filePath(QStringLiteral("no-bus"))));

    int code = 0;
    {
        MainWindow window;
        window.setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
        window.show();
        shoot(QStringLiteral("login"), &window);
        // Remembering asked for on a machine where no keychain answers.
        if (auto *remember = window.findChild<QCheckBox *>(QStringLiteral("byAccountRdbRememberMe"))) {
            remember->setChecked(true);
            shoot(QStringLiteral("login-no-keychain"), &window);
            remember->setChecked(false);
        }

        // The form at the size it starts with, over its background.
        HttpUtils::instance().getToken(QStringLiteral("13800000001"), QStringLiteral("demo1234"));
        window.loginOK();
        shoot(QStringLiteral("neworder-empty"), &window);

        auto *page = window.findChild<neworderwid *>(QStringLiteral("checkProductWid"));
        auto *search = page->findChild<QLineEdit *>(QStringLiteral("selectProductEdit"));
        const auto typeIn = [&](const QString &text) {
            search->setFocus();
            search->setText(text);
            page->on_selectProductEdit_textEdited(text);
        };
        typeIn(QStringLiteral("纪念"));
        search->completer()->complete();
        shoot(QStringLiteral("search"), &window);
        search->completer()->popup()->hide();
        // A choice from the list brings up "搜索".
        typeIn(QStringLiteral("首尾页纪念册"));
        emit search->completer()->activated(QStringLiteral("首尾页纪念册"));
        shoot(QStringLiteral("search-chosen"), &window);

        const QJsonArray products =
            catalogue(QString::fromLocal8Bit(argv[2])).value(QStringLiteral("products")).toArray();
        for (const QJsonValue &p : products) {
            const QJsonObject query = p.toObject().value(QStringLiteral("query")).toObject();
            const QString id = QString::number(query.value(QStringLiteral("id")).toInt());
            typeIn(query.value(QStringLiteral("spuName")).toString());
            withDialogs(QStringLiteral("product-%1").arg(id), [&] {
                page->on_selectBtn_clicked();
                // The last value of each property: the longest texts in the sample catalogue.
                for (QComboBox *combo : page->findChildren<QComboBox *>()) {
                    shoot(QStringLiteral("product-%1-choosing").arg(id), &window);
                    combo->setCurrentIndex(combo->count() - 1);
                }
                settle();
            });
            shoot(QStringLiteral("product-%1").arg(id), &window);
        }

        // A class of 30 orders with long names and failures, checked.
        typeIn(QStringLiteral("经典对裱相册"));
        page->on_selectBtn_clicked();
        for (QComboBox *combo : page->findChildren<QComboBox *>())
            combo->setCurrentIndex(0);
        QTemporaryDir classes;
        page->handleFolder(writeClass(classes.path()));
        page->pool()->waitForDone();
        settle(400);
        shoot(QStringLiteral("class-30"), &window);
        page->orderTable()->findChild<QCheckBox *>(QStringLiteral("selectAll"))->click();
        shoot(QStringLiteral("class-30-ticked"), &window);
        withDialogs(QStringLiteral("class-30-submit"), [&] { buttonWithText(page, QStringLiteral("提交"))->click(); });
        settle(400);

        // Each list with rows, opened by its tool-bar button.
        const QList<orderGroup> orders = sampleOrders();
        if (!seedQueue(orders)) {
            std::fprintf(stderr, "screenshots: the sample queue could not be written\n");
            ++g_problems;
        }
        for (const auto &[button, type] :
             {std::pair{QStringLiteral("正在提交"), 1}, std::pair{QStringLiteral("待结算"), 2}}) {
            buttonWithText(&window, button)->click();
            settle(400);
            window.getOrdersSLOT(type, orders);
            window.list(type)->setCartPostStates({{QStringLiteral("A2"), QStringLiteral("posted")}});
            shoot(QStringLiteral("list-%1").arg(type), &window);
        }
        window.getOrdersSLOT(3, orders);
        for (QPushButton *b : window.findChildren<QPushButton *>()) {
            if (b->property("class").toString() == QLatin1String("histoyBtn"))
                b->click();
        }
        settle(400);
        window.getOrdersSLOT(3, orders);
        shoot(QStringLiteral("list-3"), &window);

        dialogs(&window);
        withDialogs(QStringLiteral("logout"), [&] { window.loginOutFun(); });
        shoot(QStringLiteral("login-again"), &window);
    }
    backend.kill();
    backend.waitForFinished(5000);
    std::printf("screenshots: %d problem(s) found\n", g_problems);
    return code;
}
