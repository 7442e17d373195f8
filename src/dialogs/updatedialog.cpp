#include "dialogs/updatedialog.h"

#include <QKeyEvent>
#include <QLabel>

updateDialog::updateDialog(QWidget *parent, const QString &title, const QString &text, const QString &sureText,
                           const QString &cancelText)
    : massegeBoxShow(parent, title, text, sureText, cancelText)
    , m_confirmOnly(cancelText.isEmpty())
{
    m_showMessage->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void updateDialog::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    massegeBoxShow::keyPressEvent(event);
}

void updateDialog::reject()
{
    // The window manager's close and Alt+F4 arrive here too (QDialog's close
    // event rejects): they must not read as "no".
    if (!m_confirmOnly)
        massegeBoxShow::reject();
}
