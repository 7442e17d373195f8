#pragma once

#include <QWidget>

namespace Ui {
class loginwidget;
}
class loginback;
class logingcenter;

// The login page: the background picture beside the login form, filled in
// with the most recent remembered login.
class loginwidget final : public QWidget
{
    Q_OBJECT

public:
    explicit loginwidget(QWidget *parent = nullptr);
    ~loginwidget() override;

    logingcenter *form() const { return m_center; }

signals:
    void loginOK();

public slots:
    void loginSuccess();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    Ui::loginwidget *ui;
    loginback *m_back;
    logingcenter *m_center;
};
