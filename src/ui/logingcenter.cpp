#include "ui/logingcenter.h"
#include "ui_logingcenter.h"

#include <QCompleter>
#include <QRegularExpression>

#include "core/logmanager.h"
#include "net/httputils.h"
#include "store/passwordvault.h"
#include "store/userstore.h"

namespace {

// Enough of the number to tell accounts apart in a log sent to support, not
// enough to give the account away.
QString maskedPhone(const QString &phone)
{
    if (phone.size() <= 7)
        return QString(phone.size(), QLatin1Char('*'));
    return phone.left(3) + QString(phone.size() - 7, QLatin1Char('*')) + phone.right(4);
}

} // namespace

logingcenter::logingcenter(const QString &phone, const QString &password, QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::logingcenter)
{
    ui->setupUi(this);
    ui->phoneMessage->setProperty("class", QStringLiteral("errorTip"));
    ui->byAccountErrorTip->setProperty("class", QStringLiteral("errorTip"));
    ui->phoneEdit->setProperty("class", QStringLiteral("logingInput"));
    ui->passwordEdit->setProperty("class", QStringLiteral("logingInput"));
    ui->byAccountRdbRememberMe->setProperty("class", QStringLiteral("loginCheck"));

    m_users = UserStore::loadUsers();
    if (!m_users.isEmpty()) {
        QStringList phones;
        for (const UserRecord &user : m_users)
            phones << user.user_name;
        auto *completer = new QCompleter(phones, this);
        completer->setCaseSensitivity(Qt::CaseInsensitive);
        ui->phoneEdit->setCompleter(completer);
    }
    if (!phone.isEmpty())
        ui->phoneEdit->setText(phone);
    // A remembered password shows as remembered; unticking forgets it.
    if (!password.isEmpty()) {
        ui->passwordEdit->setText(password);
        ui->byAccountRdbRememberMe->setChecked(true);
    }

    // Without a keychain a password is never remembered, and the form says so
    // when remembering is asked for.
    m_keychainTip = new QLabel(this);
    m_keychainTip->setObjectName(QStringLiteral("keychainTip"));
    m_keychainTip->setProperty("class", QStringLiteral("errorTip"));
    m_keychainTip->setTextFormat(Qt::PlainText);
    m_keychainTip->hide();
    ui->verticalLayout_3->addWidget(m_keychainTip);
    // Room for the tip's line below the box, which the form's height keeps otherwise.
    QWidget *fields = ui->byAccountRdbRememberMe->parentWidget();
    fields->setMaximumHeight(fields->maximumHeight() + 2 * fontMetrics().height());
    connect(ui->byAccountRdbRememberMe, &QCheckBox::toggled, this, [this](bool on) {
        if (on && !PasswordVault::available())
            m_keychainTip->setText(keychainUnavailableTip());
        m_keychainTip->setVisible(on && !m_keychainTip->text().isEmpty());
    });
}

QString logingcenter::keychainUnavailableTip()
{
    return QStringLiteral("系统钥匙串不可用，密码不会被记住");
}

logingcenter::~logingcenter()
{
    delete ui;
}

QString logingcenter::unreachableTip()
{
    return QStringLiteral("无法连接服务器，请检查网络后重试");
}

void logingcenter::showTip(const QString &text)
{
    if (text.contains(QStringLiteral("用户")) || text.contains(QStringLiteral("手机号")))
        ui->phoneMessage->setText(text);
    else
        ui->byAccountErrorTip->setText(text);
}

void logingcenter::on_phoneEdit_textChanged(const QString &arg1)
{
    if (arg1.size() == 11) {
        const QString remembered = UserStore::storedPassword(arg1);
        ui->passwordEdit->setText(remembered);
        if (!remembered.isEmpty())
            ui->byAccountRdbRememberMe->setChecked(true);
    } else if (!ui->passwordEdit->text().isEmpty())
        ui->passwordEdit->clear();
    if (!ui->phoneMessage->text().isEmpty())
        ui->phoneMessage->clear();
}

void logingcenter::on_phoneEdit_editingFinished()
{
    static const QRegularExpression rule(QStringLiteral("^1([358][0-9]|4[579]|66|7[0135678]|9[89])[0-9]{8}$"));
    if (!rule.match(ui->phoneEdit->text()).hasMatch())
        showTip(QStringLiteral("请输入正确手机号"));
}

void logingcenter::on_passwordEdit_textChanged(const QString &)
{
    if (!ui->byAccountErrorTip->text().isEmpty())
        ui->byAccountErrorTip->clear();
}

void logingcenter::on_loginButton_clicked()
{
    const QString phone = ui->phoneEdit->text().trimmed();
    if (phone.isEmpty()) {
        showTip(QStringLiteral("请输入正确手机号"));
        return;
    }
    const QString password = ui->passwordEdit->text().trimmed();
    if (password.isEmpty()) {
        showTip(QStringLiteral("请输入密码"));
        return;
    }
    HttpUtils &http = HttpUtils::instance();
    if (!http.getToken(phone, password)) {
        // A transport error text is not in the message table: say so plainly
        // rather than leave the operator looking at an unchanged form.
        const QString text = http.errorMessage();
        const QString tip = text.isEmpty() && http.lastFailedInTransport() ? unreachableTip() : text;
        LogManager::logWarning(QStringLiteral("登录失败:%1 %2").arg(maskedPhone(phone), tip));
        showTip(tip);
        return;
    }
    if (ui->byAccountRdbRememberMe->isChecked()) {
        if (!UserStore::rememberLogin(phone, password) && !PasswordVault::available()) {
            m_keychainTip->setText(keychainUnavailableTip());
            m_keychainTip->show();
        }
    } else {
        UserStore::forgetPassword(phone);
    }
    emit loginSuccess();
}
