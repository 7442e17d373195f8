#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlRecord>
#include <QStackedWidget>
#include <QTableWidget>
#include <QtTest>

#include "classlayout.h"
#include "net/authentication.h"
#include "orders/producttablewidget.h"
#include "store/shareddatabase.h"
#include "support/dialoganswer.h"
#include "support/uploadenvironment.h"
#include "support/urlcatcher.h"
#include "ui/mainwindow.h"
#include "ui/neworderwid.h"
#include "upload/databasethread.h"
#include "upload/uploadimage.h"

// The whole road of one dropped class folder through the real main window,
// the local backend and the verifying local store.
class TstEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void oneClassFromDropToCart();

private:
    QPushButton *button(QWidget *root, const QString &text);
    QVariant value(const QString &sql);
    void tickRows(productTableWidget *list, const std::function<bool(int)> &which);

    UploadEnvironment m_up;
    UrlCatcher m_urls;
    QTemporaryDir m_photos;
};

void TstEndToEnd::initTestCase()
{
    QVERIFY(m_up.setUp());
    QFile preset(QStringLiteral(PRESET_DIR "/album-class.json"));
    QVERIFY(preset.open(QIODevice::ReadOnly));
    QCOMPARE(ClassLayout::build(QJsonDocument::fromJson(preset.readAll()).object(), m_photos.path()), 93);
}

void TstEndToEnd::cleanupTestCase()
{
    QThreadPool::globalInstance()->waitForDone();
    DatabaseThread::instance().stop();
}

QPushButton *TstEndToEnd::button(QWidget *root, const QString &text)
{
    for (QPushButton *b : root->findChildren<QPushButton *>()) {
        if (b->text() == text && b->isVisibleTo(root))
            return b;
    }
    return nullptr;
}

QVariant TstEndToEnd::value(const QString &sql)
{
    QList<QSqlRecord> rows;
    runQuery(sharedDatabase(), sql, rows);
    return rows.isEmpty() ? QVariant() : rows.first().value(0);
}

void TstEndToEnd::tickRows(productTableWidget *list, const std::function<bool(int)> &which)
{
    for (int row = 0; row < list->table()->rowCount(); ++row) {
        if (which(row))
            list->table()->cellWidget(row, 0)->findChild<QCheckBox *>("checkBox")->click();
    }
}

void TstEndToEnd::oneClassFromDropToCart()
{
    MainWindow window;
    window.resize(1400, 900);
    window.show();

    // Log in through the form.
    window.findChild<QLineEdit *>("phoneEdit")->setText("13800000001");
    window.findChild<QLineEdit *>("passwordEdit")->setText("demo1234");
    window.findChild<QPushButton *>("loginButton")->click();
    QCOMPARE(window.findChild<QStackedWidget *>("stackedWidget")->currentIndex(), 1);
    window.scheduler()->setInterval(200);

    // Search, choose the product and its properties.
    auto *page = window.findChild<neworderwid *>("checkProductWid");
    auto *search = page->findChild<QLineEdit *>("selectProductEdit");
    search->setText(QStringLiteral("经典对裱相册"));
    page->on_selectProductEdit_textEdited(search->text());
    page->on_selectBtn_clicked();
    const QList<QComboBox *> combos = page->findChildren<QComboBox *>();
    QCOMPARE(combos.size(), 2);
    combos.at(0)->setCurrentIndex(0);
    combos.at(1)->setCurrentIndex(0);
    QVERIFY(page->isReady());
    QCOMPARE(page->product().currentGroup.id, 2101);

    // Hand the class to intake and wait for every check.
    QVERIFY(page->handleFolder(m_photos.filePath(QStringLiteral("三年二班"))));
    productTableWidget *fresh = page->orderTable();
    QCOMPARE(fresh->table()->rowCount(), 7);
    const auto state = [fresh](int row) { return fresh->table()->item(row, 5)->text(); };
    for (int row = 0; row < 7; ++row)
        QTRY_VERIFY_WITH_TIMEOUT(state(row) != groupProductImages::matchingText, 20000);
    QStringList states;
    for (int row = 0; row < 7; ++row)
        states << state(row);
    QCOMPARE(states, (QStringList{"匹配成功", "匹配成功", "产品P数不对", "色彩模式应为RGB:封面", "分辨率错误",
                                  "封皮P数不对", "图片尺寸有误"}));

    // Submit the matched ones; "查看提交进度" leads to the uploading list.
    tickRows(fresh, [&](int row) { return state(row) == groupProductImages::successText; });
    {
        DialogAnswer answer(QStringLiteral("查看提交进度"));
        button(fresh, QStringLiteral("提交"))->click();
        QTRY_COMPARE(answer.seen.size(), 1);
    }
    QCOMPARE(fresh->table()->rowCount(), 5);
    QCOMPARE(window.findChild<QStackedWidget *>("centerStackedWidget")->currentIndex(), 1);
    QTRY_COMPARE(value("SELECT count(*) FROM orders WHERE name='三年二班'").toInt(), 1);
    QCOMPARE(value("SELECT fileCout FROM orders WHERE name='三年二班'").toInt(), 28);

    // Every image reaches the store, intact.
    QTRY_COMPARE_WITH_TIMEOUT(value("SELECT count(*) FROM images WHERE status='uploaded'").toInt(), 28, 60000);
    QTRY_COMPARE(value("SELECT status FROM orders WHERE name='三年二班'").toString(), QStringLiteral("uploaded"));
    QList<QSqlRecord> images;
    runQuery(sharedDatabase(), "SELECT url, localPath FROM images", images);
    for (const QSqlRecord &row : images) {
        QFile file(row.value(1).toString());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(row.value(0).toString().startsWith(m_up.store.url() + "/normal-order-image/10001/"));
        QCOMPARE(QCryptographicHash::hash(m_up.store.get(row.value(0).toString()), QCryptographicHash::Md5),
                 QCryptographicHash::hash(file.readAll(), QCryptographicHash::Md5));
    }

    // "待结算": tick the order and add it to the cart.
    button(&window, QStringLiteral("待结算"))->click();
    productTableWidget *uploaded = window.list(2);
    QTRY_COMPARE(uploaded->table()->rowCount(), 1);
    tickRows(uploaded, [](int) { return true; });
    QPushButton *toCart = button(uploaded, QStringLiteral("去购物车结算"));
    {
        DialogAnswer added(QStringLiteral("我知道了"));
        toCart->click();
        QTRY_VERIFY(toCart->isEnabled());
        QCOMPARE(added.seen, QStringList{QStringLiteral("“三年二班”已加入购物车，请到商城购物车中结算")});
    }
    QCOMPARE(uploaded->table()->rowCount(), 0);
    QTRY_COMPARE(value("SELECT status FROM orders WHERE name='三年二班'").toString(), QStringLiteral("CARTOK"));

    const QJsonArray posts = m_up.backend.control("cart").array();
    QCOMPARE(posts.size(), 1);
    const QJsonObject item = posts.first().toObject().value("items").toArray().first().toObject();
    QCOMPARE(item.value("skuGroupId").toInt(), 2101);
    const QJsonArray spus = item.value("spus").toArray();
    QCOMPARE(spus.size(), 2);
    const QJsonArray pages = spus.first().toObject().value("skus").toArray().first().toObject().value("images").toArray();
    QCOMPARE(pages.size(), 13);
    QVERIFY(pages.first().toObject().value("url").toString().startsWith(m_up.store.url() + "/normal-order-image/"));
    QCOMPARE(m_urls.opened.size(), 1);
    QCOMPARE(m_urls.opened.first().toString(),
             m_up.backend.baseUrl() + "cart?mes=" + Authentication::webToken("13800000001", "demo1234"));
}

QTEST_MAIN(TstEndToEnd)
#include "tst_endtoend.moc"
