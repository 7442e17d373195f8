#include "dialogs/tooltipdialog.h"
#include "ui_tooltipdialog.h"

#include <QFile>

#include "core/logmanager.h"

toolTipDialog::toolTipDialog(const QString &title, const QString &cancelText, const QString &sureText,
                             const QString &text, QWidget *parent)
    : QDialog(parent, Qt::Tool)
    , ui(new Ui::toolTipDialog)
{
    ui->setupUi(this);
    setWindowFlags(Qt::FramelessWindowHint);
    QFile sheet(QStringLiteral(":/qss/textDialog.qss"));
    if (sheet.open(QIODevice::ReadOnly))
        setStyleSheet(QString::fromUtf8(sheet.readAll()));
    else
        LogManager::logError(QStringLiteral("文件不存在：textDialog.qss"));
    ui->titleTxt->setText(title);
    ui->textShow->setText(text);
    ui->cancleBtn->setText(cancelText);
    ui->sureBtn->setText(sureText);
    ui->cancleBtn->setProperty("class", QStringLiteral("greenBackBtnZhijiao"));
    ui->sureBtn->setProperty("class", QStringLiteral("greenBackBtnZhijiao"));
}

toolTipDialog::~toolTipDialog()
{
    delete ui;
}

void toolTipDialog::on_sureBtn_clicked()
{
    emit goToUploadWid();
    close();
}

void toolTipDialog::on_cancleBtn_clicked()
{
    emit uploadOrders();
    close();
}

void toolTipDialog::on_closeButton_clicked()
{
    close();
}
