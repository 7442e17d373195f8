#pragma once

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

// Answers the next modal dialogs by clicking the button with `buttonText`,
// and remembers what each of them said.
class DialogAnswer : public QObject
{
public:
    explicit DialogAnswer(const QString &buttonText)
        : m_button(buttonText)
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            if (!dialog || dialog->property("answered").toBool())
                return;
            dialog->setProperty("answered", true);
            QStringList texts;
            for (QLabel *label : dialog->findChildren<QLabel *>())
                texts << label->text();
            seen << texts.join(QLatin1Char('|'));
            for (QPushButton *b : dialog->findChildren<QPushButton *>()) {
                if (b->text() == m_button) {
                    b->click();
                    return;
                }
            }
            dialog->reject();
        });
        m_timer.start(10);
    }

    QStringList seen;

private:
    QString m_button;
    QTimer m_timer;
};
