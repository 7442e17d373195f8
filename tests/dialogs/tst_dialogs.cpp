#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "core/apppaths.h"
#include "dialogs/massegeboxshow.h"
#include "dialogs/tooltipdialog.h"
#include "dialogs/updatedialog.h"

// The result convention and the ways out of the system's dialogs.
class TstDialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void buttons_data();
    void buttons();
    void escape();
    void toolTipSignals();

private:
    QTemporaryDir m_dir;
};

namespace {
// Runs `dialog` modally and performs `action` once it is up; returns exec()'s result.
int runWith(QDialog &dialog, const std::function<void()> &action)
{
    QTimer::singleShot(0, &dialog, action);
    return dialog.exec();
}
} // namespace

void TstDialogs::initTestCase()
{
    AppPaths::setAppDataDir(m_dir.path());
}

void TstDialogs::buttons_data()
{
    QTest::addColumn<QString>("cancelText");
    QTest::addColumn<QStringList>("buttons");
    QTest::newRow("notice") << QString() << QStringList{"我知道了"};
    QTest::newRow("confirmation") << "取消" << QStringList{"取消", "我知道了"};
}

void TstDialogs::buttons()
{
    QFETCH(QString, cancelText);
    massegeBoxShow box(nullptr, QStringLiteral("系统提示"), QStringLiteral("请选择产品"), QStringLiteral("我知道了"),
                       cancelText);
    QStringList texts;
    for (QPushButton *b : box.findChildren<QPushButton *>())
        texts << b->text();
    QTEST(texts, "buttons");
    QCOMPARE(box.windowTitle(), QStringLiteral("系统提示"));
    QCOMPARE(box.findChild<QLabel *>("showMessage")->text(), QStringLiteral("请选择产品"));

    QPushButton *sure = box.findChildren<QPushButton *>().last();
    QCOMPARE(sure->property("class").toString(), QStringLiteral("greenBackBtnRound"));
    QCOMPARE(runWith(box, [sure] { sure->click(); }), 1);
    if (!cancelText.isEmpty()) {
        QPushButton *cancel = box.findChildren<QPushButton *>().first();
        QCOMPARE(cancel->property("class").toString(), QStringLiteral("grayBackBtnRound"));
        QCOMPARE(runWith(box, [cancel] { cancel->click(); }), 0);
    }
}

void TstDialogs::escape()
{
    massegeBoxShow box(nullptr, "系统提示", "text", "是", "否");
    QCOMPARE(runWith(box, [&box] { QTest::keyClick(&box, Qt::Key_Escape); }), 0);

    // The forced update prompt outlives Escape, closing and rejecting; only
    // its button ends it.
    updateDialog update(nullptr, "系统提示", "text", "是", QString());
    bool stillOpen = false;
    QCOMPARE(runWith(update, [&] {
                 QTest::keyClick(&update, Qt::Key_Escape);
                 update.close();
                 update.reject();
                 stillOpen = update.isVisible();
                 update.findChild<QPushButton *>()->click();
             }),
             1);
    QVERIFY(stillOpen);

    // With a "否" button, closing the window is a "no".
    updateDialog optional(nullptr, "系统提示", "text", "是", "否");
    QCOMPARE(runWith(optional, [&optional] { optional.close(); }), 0);
}

void TstDialogs::toolTipSignals()
{
    const auto check = [](const char *button, int toUpload, int more) {
        toolTipDialog dialog(QStringLiteral("系统提示"), QStringLiteral("继续上传"), QStringLiteral("查看提交进度"),
                             QStringLiteral("三年二班上传中!上传完成后请去待结算界面进行结算"));
        QSignalSpy upload(&dialog, &toolTipDialog::goToUploadWid);
        QSignalSpy orders(&dialog, &toolTipDialog::uploadOrders);
        QVERIFY(dialog.windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(dialog.findChild<QPushButton *>("sureBtn")->text(), QStringLiteral("查看提交进度"));
        QPushButton *b = dialog.findChild<QPushButton *>(QLatin1String(button));
        QCOMPARE(runWith(dialog, [b] { b->click(); }), 0);
        QCOMPARE(upload.size(), toUpload);
        QCOMPARE(orders.size(), more);
    };
    check("sureBtn", 1, 0);
    check("cancleBtn", 0, 1);
    check("closeButton", 0, 0);
}

QTEST_MAIN(TstDialogs)
#include "tst_dialogs.moc"
