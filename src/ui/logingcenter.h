#pragma once

#include <QList>
#include <QWidget>

#include "store/userrecord.h"

class QLabel;

namespace Ui {
class logingcenter;
}

// The login form: phone number, password, remember-password; fills in
// remembered logins and performs the token request.
class logingcenter final : public QWidget
{
    Q_OBJECT

public:
    logingcenter(const QString &phone, const QString &password, QWidget *parent = nullptr);
    ~logingcenter() override;

    // Under the phone field when the text mentions the user or the phone
    // number, else under the password field.
    void showTip(const QString &text);
    // Shown when the token request got no answer from the backend.
    static QString unreachableTip();
    // Shown when remembering is asked for and no keychain answers.
    static QString keychainUnavailableTip();

signals:
    void loginSuccess();

private slots:
    void on_loginButton_clicked();
    void on_phoneEdit_editingFinished();
    void on_phoneEdit_textChanged(const QString &arg1);
    void on_passwordEdit_textChanged(const QString &arg1);

private:
    Ui::logingcenter *ui;
    QList<UserRecord> m_users;
    QLabel *m_keychainTip;
};
