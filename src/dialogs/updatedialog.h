#pragma once

#include "dialogs/massegeboxshow.h"

// The software-update prompt: the system dialog with its text aligned left,
// and Escape does not close it. Without a cancel text (a forced update) it
// ends only through its confirming button: closing or rejecting it is ignored.
class updateDialog final : public massegeBoxShow
{
    Q_OBJECT

public:
    updateDialog(QWidget *parent, const QString &title, const QString &text, const QString &sureText,
                 const QString &cancelText);

public slots:
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    bool m_confirmOnly = false;
};
