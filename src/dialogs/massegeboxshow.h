#pragma once

#include <QDialog>

class QHBoxLayout;
class QLabel;

// The system dialog: a text and one or two buttons. exec() gives 1 for the
// confirming button, 0 for every other way out.
class massegeBoxShow : public QDialog
{
    Q_OBJECT

public:
    // An empty cancelText leaves only the confirming button (a notice).
    massegeBoxShow(QWidget *parent, const QString &title, const QString &text, const QString &sureText,
                   const QString &cancelText);

public slots:
    void cancleButtonClicked();
    void sureButtonClicked();

protected:
    QLabel *m_showMessage = nullptr;

private:
    QPushButton *addButton(QHBoxLayout *layout, const QString &text, const char *styleClass);
};
