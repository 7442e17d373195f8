#pragma once

#include "ui/massegeboxshow.h"

// The software-update prompt: the system dialog with its text aligned left,
// and Escape does not close it (a forced update can only be confirmed).
class updateDialog final : public massegeBoxShow
{
    Q_OBJECT

public:
    updateDialog(QWidget *parent, const QString &title, const QString &text, const QString &sureText,
                 const QString &cancelText);

protected:
    void keyPressEvent(QKeyEvent *event) override;
};
