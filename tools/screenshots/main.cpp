#include <cstdio>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QTimer>
#include <QVBoxLayout>

#include "core/apppaths.h"
#include "orders/orderprogressbar.h"
#include "ui/loginwidget.h"
#include "ui/massegeboxshow.h"
#include "ui/tooltipdialog.h"
#include "ui/updatedialog.h"

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
    return 0;
}
