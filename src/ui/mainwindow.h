#pragma once

#include <QList>
#include <QMainWindow>

#include "model/ordergroup.h"
#include "net/softwareupdate.h"

namespace Ui {
class MainWindow;
}
class AwsUtils;
class QButtonGroup;
class QPushButton;
class productTableWidget;
class uploadImage;

// The one top-level window: the login page or the main page with its top
// bar, left tool bar and four centre pages.
class MainWindow final : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    productTableWidget *list(int type) const;
    // The update question: "是" and, unless forced, "否"; a forced one has no
    // close button either. The offer of the download page has its own
    // buttons and can always be closed. True when confirmed.
    static bool askToInstall(QWidget *parent, SoftwareUpdate::Question question, const QString &text, bool forced);
    uploadImage *scheduler() const { return m_scheduler; }

public slots:
    void loginOK();
    void loginOutFun();
    void openWeb();
    void openLog();
    void changeState(int index, bool checked);
    void getOrdersSLOT(int type, const QList<orderGroup> &orders);
    void changeToUploading();
    void updateUploadingOrder(const QString &orderNo, int fileNum);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildTopBar();
    void buildLeftTool();
    void showList(int type);
    void backToLogin();
    bool uploadsRunning() const;
    int ask(const QString &text, const QString &sure, const QString &cancel);

    Ui::MainWindow *ui;
    QString m_version;
    AwsUtils *m_storage;
    uploadImage *m_scheduler = nullptr;
    productTableWidget *m_lists[4] = {nullptr, nullptr, nullptr, nullptr};
    QButtonGroup *m_group = nullptr;
    QList<QPushButton *> m_toolButtons;
};
