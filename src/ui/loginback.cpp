#include "ui/loginback.h"

#include <QPainter>

loginback::loginback(QWidget *parent)
    : QLabel(parent)
    , m_picture(QStringLiteral(":/images/loginBg.png"))
{
    setMinimumWidth(200);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void loginback::paintEvent(QPaintEvent *)
{
    if (m_picture.isNull())
        return;
    const QPixmap scaled = m_picture.scaled(size(), Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    const int dx = -int((scaled.width() - width() + 0.5) / 2);
    const int dy = -int((scaled.height() - height() + 0.5) / 2);
    QPainter painter(this);
    painter.drawPixmap(dx, dy, scaled);
}
