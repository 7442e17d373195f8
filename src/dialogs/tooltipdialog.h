#pragma once

#include <QDialog>

namespace Ui {
class toolTipDialog;
}

// The frameless prompt after new orders were submitted: the confirming
// button leads to the uploading page, the other asks for more folders, the
// close button only closes.
class toolTipDialog final : public QDialog
{
    Q_OBJECT

public:
    toolTipDialog(const QString &title, const QString &cancelText, const QString &sureText, const QString &text,
                  QWidget *parent = nullptr);
    ~toolTipDialog() override;

signals:
    void goToUploadWid();
    void uploadOrders();

private slots:
    void on_sureBtn_clicked();
    void on_cancleBtn_clicked();
    void on_closeButton_clicked();

private:
    Ui::toolTipDialog *ui;
};
