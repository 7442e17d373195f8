#include <cstdio>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QFile>
#include <QFont>
#include <QTimer>
#include <QVBoxLayout>

#include "core/apppaths.h"
#include "orders/orderprogressbar.h"
#include "orders/producttablewidget.h"
#include "upload/orderrecords.h"
#include "ui/loginwidget.h"
#include "ui/mainwindow.h"
#include "ui/neworderwid.h"
#include "catalog/productparser.h"
#include <QJsonArray>
#include <QJsonDocument>
#include "dialogs/massegeboxshow.h"
#include "dialogs/tooltipdialog.h"
#include "dialogs/updatedialog.h"

// screenshots OUTDIR: shows the client's windows one by one and saves each as
// a PNG, for looking at them. Run under a display with CJK fonts (the
// take.sh beside this file starts Xvfb).
namespace {

QString g_out;

void save(QWidget *w, const QString &name)
{
    w->show();
    QApplication::processEvents();
    w->grab().save(g_out + QLatin1Char('/') + name + QStringLiteral(".png"));
    std::printf("screenshots: %s.png\n", qPrintable(name));
}

QString sheet(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    g_out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    QDir().mkpath(g_out);
    AppPaths::initialise();
    QFont font = QApplication::font();
    font.setFamilies({QStringLiteral("Microsoft YaHei"), QStringLiteral("Microsoft YaHei-Regular"),
                      QStringLiteral("Noto Sans CJK SC")});
    font.setLetterSpacing(QFont::PercentageSpacing, 110);
    font.setStyleStrategy(QFont::PreferAntialias);
    QApplication::setFont(font);
    app.setStyleSheet(sheet(QStringLiteral(":/qss/mainWindow.qss")));

    loginwidget login;
    login.resize(1280, 760);
    save(&login, QStringLiteral("login"));

    massegeBoxShow notice(nullptr, QStringLiteral("系统提示"), QStringLiteral("请选择产品"), QStringLiteral("我知道了"),
                          QString());
    save(&notice, QStringLiteral("dialog-notice"));
    massegeBoxShow confirm(nullptr, QStringLiteral("系统提示"), QStringLiteral("确定要删除选中的订单吗？"),
                           QStringLiteral("确定"), QStringLiteral("取消"));
    save(&confirm, QStringLiteral("dialog-confirm"));
    updateDialog update(nullptr, QStringLiteral("系统提示"),
                        QStringLiteral("发现新版本 2.2.0\n1. 上传更稳定\n2. 修复已知问题"), QStringLiteral("是"),
                        QStringLiteral("否"));
    save(&update, QStringLiteral("dialog-update"));
    toolTipDialog tip(QStringLiteral("系统提示"), QStringLiteral("继续上传"), QStringLiteral("查看提交进度"),
                      QStringLiteral("三年二班上传中!上传完成后请去待结算界面进行结算"));
    save(&tip, QStringLiteral("dialog-submitted"));

    QWidget bars;
    bars.resize(420, 160);
    auto *layout = new QVBoxLayout(&bars);
    for (const auto &[done, total] : {std::pair{0, 10}, std::pair{3, 10}, std::pair{10, 10}}) {
        auto *bar = new orderProgressBar(total, &bars);
        bar->setProgress(done);
        layout->addWidget(bar);
    }
    save(&bars, QStringLiteral("progress"));

    // Each list type with rows.
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
    const QList<orderGroup> orders{order("A1", QStringLiteral("三年二班"), QStringLiteral("8寸 皮质封面"), 380.5f, 156, 40),
                                   order("A2", QStringLiteral("三年三班"), QStringLiteral("10寸 水晶封面"), 1530.0f, 210, 0),
                                   order("A3", QStringLiteral("毕业季 六年一班"), QStringLiteral("毕业套系 相册+摆台"),
                                         96.2f, 48, 47)};
    const QStringList names{QString(), QStringLiteral("list-uploading"), QStringLiteral("list-uploaded"),
                            QStringLiteral("list-cart")};
    // An order held for the operator, and cart posts recorded but not marked.
    QList<orderGroup> uploading = orders;
    uploading[1].details.insert(OrderRecords::heldImagesKey(),
                                QStringList{QStringLiteral("/班级/三年三班/张三/封面.jpg：图片在检查后被修改")});
    for (int type = 1; type <= 3; ++type) {
        auto *list = new productTableWidget(type);
        list->setupList();
        list->addOrders(type == 1 ? uploading : orders);
        if (type == 2)
            list->setCartPostStates({{QStringLiteral("A2"), QStringLiteral("posted")},
                                     {QStringLiteral("A3"), QStringLiteral("posting")}});
        list->resize(1280, 420);
        list->setResizeEnabled(true);
        list->show();
        list->handleDelayedResize();
        save(list, names.at(type));
    }

    auto *fresh = new productTableWidget(productTableWidget::NewOrder);
    fresh->setupList();
    fresh->setProductType(2);
    static QList<groupProductImages> records;
    for (const auto &[name, state] : {std::pair{"01 张三", 1}, std::pair{"02 李四", 2}, std::pair{"03 王五", 0}}) {
        groupProductImages r;
        r.orderNo = QStringLiteral("N%1").arg(records.size());
        r.name = QString::fromUtf8(name);
        r.className = QStringLiteral("三年二班");
        r.productName = QStringLiteral("经典对裱相册");
        records << r;
    }
    for (groupProductImages &r : records)
        fresh->addGroupRow(r.className, &r);
    records[0].productName = QStringLiteral("8寸 皮质封面");
    records[0].totalBytes = 23 * 1024 * 1024;
    records[0].pageCount = 12;
    records[0].matched.insert(210101, subOrderImages());
    records[0].skuId = 210101;
    fresh->updateCheckResult(&records[0], false);
    records[1].message = QStringLiteral("产品P数不对");
    records[1].totalBytes = 19 * 1024 * 1024;
    fresh->updateCheckResult(&records[1], false);
    fresh->resize(1280, 420);
    fresh->setResizeEnabled(true);
    fresh->show();
    fresh->handleDelayedResize();
    save(fresh, QStringLiteral("list-neworder"));

    // The whole window: before login, and its main page with each list.
    MainWindow window;
    window.resize(1440, 860);
    save(&window, QStringLiteral("window-login"));
    window.loginOK();
    save(&window, QStringLiteral("window-neworder"));
    // With a product of the local catalogue chosen: its example picture.
    if (argc > 2) {
        QFile file(QString::fromLocal8Bit(argv[2]));
        if (file.open(QIODevice::ReadOnly)) {
            const QJsonObject catalogue = QJsonDocument::fromJson(file.readAll()).object();
            for (const QJsonValue &p : catalogue.value(QStringLiteral("products")).toArray()) {
                const QJsonObject query = p.toObject().value(QStringLiteral("query")).toObject();
                if (query.value(QStringLiteral("id")).toInt() != 1005)
                    continue;
                auto *page = window.findChild<neworderwid *>(QStringLiteral("checkProductWid"));
                page->setProduct(ProductParser::parseProduct(query, StoreTerms()), StoreTerms());
            }
        }
        QElapsedTimer settle;
        settle.start();
        while (settle.elapsed() < 200)
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        save(&window, QStringLiteral("window-neworder-example"));
    }
    // Open a page by its tool-bar button, let the (empty) stored list arrive,
    // then show sample rows in it.
    const auto openPage = [&window, &orders](const QString &button, int type) {
        for (QPushButton *b : window.findChildren<QPushButton *>()) {
            if (b->text() == button)
                b->click();
        }
        QElapsedTimer wait;
        wait.start();
        while (wait.elapsed() < 400)
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        window.getOrdersSLOT(type, orders);
        QApplication::processEvents();
    };
    openPage(QStringLiteral("待结算"), 2);
    save(&window, QStringLiteral("window-uploaded"));
    openPage(QStringLiteral("正在提交"), 1);
    save(&window, QStringLiteral("window-uploading"));
    return 0;
}
