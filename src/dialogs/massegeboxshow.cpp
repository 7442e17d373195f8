#include "dialogs/massegeboxshow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

massegeBoxShow::massegeBoxShow(QWidget *parent, const QString &title, const QString &text, const QString &sureText,
                               const QString &cancelText)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Dialog"));
    resize(400, 200);
    setMinimumWidth(400);
    QFont dialogFont = font();
    dialogFont.setPointSize(16);
    dialogFont.setKerning(true);
    setFont(dialogFont);

    auto *verticalLayout = new QVBoxLayout(this);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    verticalLayout->setSpacing(0);
    verticalLayout->setContentsMargins(15, 0, 15, 0);
    m_showMessage = new QLabel(this);
    m_showMessage->setObjectName(QStringLiteral("showMessage"));
    m_showMessage->setAlignment(Qt::AlignCenter);
    m_showMessage->setWordWrap(true);
    // Texts come from the backend too (release notes, its messages): markup
    // in them must not draw a fake dialog or a link.
    m_showMessage->setTextFormat(Qt::PlainText);
    verticalLayout->addWidget(m_showMessage);

    auto *btnWidget = new QWidget(this);
    btnWidget->setObjectName(QStringLiteral("btnWidget"));
    btnWidget->setFixedHeight(55);
    auto *horizontalLayout = new QHBoxLayout(btnWidget);
    horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));
    horizontalLayout->setSpacing(15);
    horizontalLayout->setContentsMargins(0, 0, 0, 0);
    horizontalLayout->addSpacerItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    verticalLayout->addWidget(btnWidget);

    setWindowTitle(title);
    m_showMessage->setText(text);
    // A question (delete, quit, log out) must not be answered "yes" by a stray Return: there the
    // cancelling button is the default; a notice's only button is.
    QPushButton *cancel = nullptr;
    if (!cancelText.isEmpty()) {
        cancel = addButton(horizontalLayout, cancelText, "grayBackBtnRound");
        connect(cancel, &QPushButton::clicked, this, &massegeBoxShow::cancleButtonClicked);
    }
    if (!sureText.isEmpty()) {
        QPushButton *sure = addButton(horizontalLayout, sureText, "greenBackBtnRound");
        connect(sure, &QPushButton::clicked, this, &massegeBoxShow::sureButtonClicked);
        if (cancel)
            sure->setAutoDefault(false);
        else
            sure->setDefault(true);
    }
    if (cancel)
        cancel->setDefault(true);
}

QPushButton *massegeBoxShow::addButton(QHBoxLayout *layout, const QString &text, const char *styleClass)
{
    auto *button = new QPushButton(text, this);
    button->setProperty("class", QString::fromLatin1(styleClass));
    button->setCursor(Qt::PointingHandCursor);
    layout->addWidget(button);
    return button;
}

void massegeBoxShow::cancleButtonClicked()
{
    reject();
}

void massegeBoxShow::sureButtonClicked()
{
    accept();
}
