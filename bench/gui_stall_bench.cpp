// How long the GUI thread's event loop stalls while the real main window,
// offscreen, works against the local backend and the verifying local store:
// (a) checking a dropped class of 200 orders, (b) submitting it, (c) uploading
// it with "正在提交" shown, (d) loading each list with 10,000 stored orders.
// The stall is the lateness of a 10 ms timer. Images per order and their
// size can be set: gui_stall_bench [ORDERS] [KB_PER_IMAGE].
#include <cstdio>
#include <functional>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTest>

#include "classlayout.h"
#include "orders/producttablewidget.h"
#include "store/shareddatabase.h"
#include "support/dialoganswer.h"
#include "support/uploadenvironment.h"
#include "ui/mainwindow.h"
#include "ui/neworderwid.h"
#include "upload/databasethread.h"
#include "upload/uploadimage.h"

namespace {

// The longest lateness of a 10 ms timer between start() and stop().
class StallMeter : public QObject
{
public:
    StallMeter()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_worst = qMax(m_worst, now - m_last - 10'000'000);
            m_last = now;
        });
    }
    void start()
    {
        m_worst = 0;
        m_clock.start();
        m_last = 0;
        m_timer.start();
    }
    double stop()
    {
        m_timer.stop();
        // A stall still running when the scenario ends counts too.
        m_worst = qMax(m_worst, m_clock.nsecsElapsed() - m_last - 10'000'000);
        return m_worst / 1e6;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_worst = 0;
};

QPushButton *button(QWidget *root, const QString &text)
{
    for (QPushButton *b : root->findChildren<QPushButton *>()) {
        if (b->text() == text && b->isVisibleTo(root))
            return b;
    }
    return nullptr;
}

bool waitFor(const std::function<bool()> &done, int seconds, const char *what)
{
    if (QTest::qWaitFor(done, seconds * 1000))
        return true;
    std::fprintf(stderr, "gui_stall_bench: gave up waiting for %s\n", what);
    return false;
}

// Lets the window lay out and paint what the scenario left.
void settle()
{
    QTest::qWait(300);
}

QJsonObject classLayout(int orders, int kilobytes)
{
    QJsonArray folders;
    for (int i = 1; i <= orders; ++i) {
        folders.append(QJsonObject{{"folder", QStringLiteral("%1 学生").arg(i, 3, 10, QLatin1Char('0'))},
                                   {"entries", QJsonArray{QJsonObject{{"image", "封面.jpg"},
                                                                      {"mm", QJsonArray{446, 236}},
                                                                      {"dpi", 300},
                                                                      {"bytes", kilobytes * 1024}},
                                                          QJsonObject{{"images", "{n}.jpg"},
                                                                      {"count", 20},
                                                                      {"mm", QJsonArray{406, 206}},
                                                                      {"dpi", 300},
                                                                      {"bytes", kilobytes * 1024}}}}});
    }
    return QJsonObject{{"folder", "毕业班"}, {"entries", folders}};
}

// Logs in through the form; the new-order page after it.
neworderwid *logIn(MainWindow &window)
{
    window.findChild<QLineEdit *>("phoneEdit")->setText("13800000001");
    window.findChild<QLineEdit *>("passwordEdit")->setText("demo1234");
    window.findChild<QPushButton *>("loginButton")->click();
    return window.findChild<neworderwid *>("checkProductWid");
}

// Searches the product and takes the first value of each property.
void chooseProduct(neworderwid *page, const QString &name)
{
    auto *search = page->findChild<QLineEdit *>("selectProductEdit");
    search->setText(name);
    page->on_selectProductEdit_textEdited(search->text());
    page->on_selectBtn_clicked();
    for (QComboBox *combo : page->findChildren<QComboBox *>())
        combo->setCurrentIndex(0);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int orders = argc > 1 ? QString::fromLatin1(argv[1]).toInt() : 200;
    const int kilobytes = argc > 2 ? QString::fromLatin1(argv[2]).toInt() : 100;

    UploadEnvironment up;
    QTemporaryDir photos;
    if (!up.setUp()) {
        std::fprintf(stderr, "gui_stall_bench: the local backend or store did not start\n");
        return 1;
    }
    const int images = ClassLayout::build(classLayout(orders, kilobytes), photos.path());
    std::printf("gui_stall: %d orders, %d images of %d KB, %d cores\n", orders, images, kilobytes,
                QThread::idealThreadCount());

    double worst[4] = {-1, -1, -1, -1};
    double lists[4] = {-1, -1, -1, -1};
    StallMeter meter;
    {
        MainWindow window;
        window.resize(1400, 900);
        window.show();
        neworderwid *page = logIn(window);
        window.scheduler()->setInterval(200);
        chooseProduct(page, QStringLiteral("经典对裱相册"));
        if (!page->isReady()) {
            std::fprintf(stderr, "gui_stall_bench: the product could not be chosen\n");
            return 1;
        }
        settle();

        // (a) The class is dropped and every order checked.
        productTableWidget *fresh = page->orderTable();
        const auto checked = [fresh, orders] {
            if (fresh->table()->rowCount() != orders)
                return false;
            for (int row = 0; row < orders; ++row) {
                if (fresh->table()->item(row, 5)->text() == groupProductImages::matchingText)
                    return false;
            }
            return true;
        };
        meter.start();
        page->handleFolder(photos.filePath(QStringLiteral("毕业班")));
        const bool allChecked = waitFor(checked, 600, "the checks");
        settle();
        worst[0] = meter.stop();
        if (!allChecked)
            return 1;

        // (b) All of them submitted; "查看提交进度" shows the uploading list.
        int stored = 0;
        QObject::connect(&DatabaseThread::instance(), &DatabaseThread::uploadingOrderDate, &app,
                         [&stored] { ++stored; });
        fresh->findChild<QCheckBox *>("selectAll")->click();
        meter.start();
        {
            DialogAnswer answer(QStringLiteral("查看提交进度"));
            button(fresh, QStringLiteral("提交"))->click();
            if (!waitFor([&] { return answer.seen.size() == 1 && fresh->table()->rowCount() == 0; }, 300,
                         "the submission"))
                return 1;
        }
        settle();
        worst[1] = meter.stop();

        // (c) Every image uploaded while the list is on screen.
        meter.start();
        const bool uploaded = waitFor([&] { return stored >= images; }, 1800, "the uploads");
        settle();
        worst[2] = meter.stop();
        if (!uploaded)
            return 1;

        // (d) 10,000 stored orders, a third in each list.
        execStatement(sharedDatabase(),
                      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 10000) "
                      "INSERT INTO orders(orderNo, spuID, productName, ifSeries, skuGroupName, name, size, "
                      "timeCreated, fileCout, uploadedCount, orderCount, status, customerId, orderJson, timeCart) "
                      "SELECT 'L' || i, o.spuID, o.productName, o.ifSeries, o.skuGroupName, '班级 ' || i, o.size, "
                      "o.timeCreated, o.fileCout, i % 7, o.orderCount, "
                      "CASE i % 3 WHEN 0 THEN 'CARTOK' WHEN 1 THEN 'uploading' ELSE 'uploaded' END, "
                      "o.customerId, o.orderJson, '2026-12-06 10:32' FROM n, (SELECT * FROM orders LIMIT 1) o");
        const char *names[4] = {"", "正在提交", "待结算", "加购记录"};
        for (int type = 3; type >= 1; --type) {
            QAbstractButton *tool = nullptr;
            for (QPushButton *b : window.findChildren<QPushButton *>()) {
                if (b->text() == QString::fromUtf8(names[type]) || b->toolTip() == QString::fromUtf8(names[type]))
                    tool = b;
            }
            window.list(type)->clearTable();
            settle();
            meter.start();
            tool->click();
            const bool shown = waitFor([&] { return window.list(type)->table()->rowCount() >= 100; }, 120, names[type]);
            settle();
            lists[type] = meter.stop();
            if (!shown)
                return 1;
        }
        worst[3] = qMax(lists[1], qMax(lists[2], lists[3]));
        QThreadPool::globalInstance()->waitForDone();
    }
    DatabaseThread::instance().stop();

    std::printf("gui_stall: (a) checking the dropped class   %8.1f ms\n", worst[0]);
    std::printf("gui_stall: (b) submitting it                %8.1f ms\n", worst[1]);
    std::printf("gui_stall: (c) uploading it, list shown     %8.1f ms\n", worst[2]);
    std::printf("gui_stall: (d) loading the lists (10,000)   %8.1f ms (正在提交 %.1f, 待结算 %.1f, 加购记录 %.1f)\n",
                worst[3], lists[1], lists[2], lists[3]);
    return 0;
}
