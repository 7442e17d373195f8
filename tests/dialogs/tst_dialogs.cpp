#include <QAccessible>
#include <QLabel>
#include <QLibraryInfo>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "core/apppaths.h"
#include "core/qttranslation.h"
#include "dialogs/massegeboxshow.h"
#include "dialogs/tooltipdialog.h"
#include "dialogs/updatedialog.h"

namespace {
// Runs `dialog` modally and performs `action` once it is up; returns exec()'s result.
int runWith(QDialog &dialog, const std::function<void()> &action)
{
    QTimer::singleShot(0, &dialog, action);
    return dialog.exec();
}
} // namespace

// The result convention and the ways out of the system's dialogs.
class TstDialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { AppPaths::setAppDataDir(m_dir.path()); }

    // A delete or quit question is never confirmed by a stray Return. Which
    // button gives which result the main window's close questions show.
    void buttons_data()
    {
        QTest::addColumn<QString>("cancelText");
        QTest::addColumn<int>("returnGives");
        QTest::newRow("notice") << QString() << 1;
        QTest::newRow("question") << "取消" << 0;
    }

    void buttons()
    {
        QFETCH(QString, cancelText);
        massegeBoxShow box(nullptr, "系统提示", "请选择产品", "我知道了", cancelText);
        // The confirming button is the right-hand one.
        QCOMPARE(box.findChildren<QPushButton *>().last()->text(), QStringLiteral("我知道了"));
        QCOMPARE(runWith(box, [&box] { QTest::keyClick(&box, Qt::Key_Escape); }), 0);
        const auto pressReturn = [&box] {
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &box, Qt::Key_Return);
        };
        QTEST(runWith(box, pressReturn), "returnGives");
    }

    // Release notes and the backend's messages reach these dialogs: markup
    // in them is shown, not drawn.
    void backendTextShownAsText()
    {
        const QString text = QStringLiteral("<h1>系统升级</h1><a href='http://phish.test/'>点此领取</a>");
        massegeBoxShow box(nullptr, "系统提示", text, "确定", QString());
        updateDialog update(nullptr, "系统提示", text, "是", "否");
        toolTipDialog tip("系统提示", "继续上传", "查看提交进度", text);
        const std::pair<QDialog *, const char *> labels[] = {
            {&box, "showMessage"}, {&update, "showMessage"}, {&tip, "textShow"}};
        for (const auto &[dialog, label] : labels) {
            dialog->show();
            // As assistive technology reads it: a label that takes its text as
            // rich text gives the text with its markup interpreted.
            QAccessibleInterface *shown = QAccessible::queryAccessibleInterface(dialog->findChild<QLabel *>(label));
            QVERIFY(shown);
            QCOMPARE(shown->text(QAccessible::Name), text);
        }
    }

    void escape()
    {
        // The forced update prompt outlives Escape, closing and rejecting; only
        // its button ends it.
        updateDialog update(nullptr, "系统提示", "text", "是", QString());
        bool stillOpen = false;
        QCOMPARE(runWith(update,
                         [&] {
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

    void toolTipSignals()
    {
        const auto check = [](const char *button, int toUpload, int more) {
            toolTipDialog dialog("系统提示", "继续上传", "查看提交进度",
                                 "三年二班上传中!上传完成后请去待结算界面进行结算");
            QSignalSpy upload(&dialog, &toolTipDialog::goToUploadWid);
            QSignalSpy orders(&dialog, &toolTipDialog::uploadOrders);
            QPushButton *b = dialog.findChild<QPushButton *>(QLatin1String(button));
            QCOMPARE(runWith(dialog, [b] { b->click(); }), 0);
            QCOMPARE(upload.size(), toUpload);
            QCOMPARE(orders.size(), more);
        };
        check("sureBtn", 1, 0);
        check("cancleBtn", 0, 1);
        check("closeButton", 0, 0);
    }

    // The folder chooser and the standard buttons are Qt's own; they must not speak English.
    void qtOwnTextsInChinese()
    {
        if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_zh_CN.qm")))
            QSKIP("Qt's Chinese translation is not installed (scripts/install.sh installs it)");
        QVERIFY(QtTranslation::install());
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("取消"));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_MAIN(TstDialogs)
#include "tst_dialogs.moc"
