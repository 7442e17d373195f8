#include "ui/loginwidget.h"
#include "ui_loginwidget.h"

#include <QFile>
#include <QHBoxLayout>

#include "core/logmanager.h"
#include "store/userstore.h"
#include "ui/loginback.h"
#include "ui/logingcenter.h"

loginwidget::loginwidget(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::loginwidget)
{
    ui->setupUi(this);
    QFile sheet(QStringLiteral(":/qss/login.qss"));
    if (sheet.open(QIODevice::ReadOnly))
        setStyleSheet(QString::fromUtf8(sheet.readAll()));
    else
        LogManager::logError(QStringLiteral("文件不存在：login.qss"));

    const UserRecord last = UserStore::lastUser();
    m_back = new loginback(ui->loginwidgetShow);
    m_center = new logingcenter(last.user_name, UserStore::storedPassword(last.user_name), ui->loginwidgetShow);
    auto *layout = new QHBoxLayout(ui->loginwidgetShow);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_back, 1);
    layout->addWidget(m_center, 0);
    connect(m_center, &logingcenter::loginSuccess, this, &loginwidget::loginSuccess);
}

loginwidget::~loginwidget()
{
    delete ui;
}

void loginwidget::loginSuccess()
{
    emit loginOK();
}

void loginwidget::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_back->update();
}
