#include "ui/customlabel.h"

#include <QMouseEvent>

void customlabel::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        emit clicked();
    else
        QLabel::mousePressEvent(event);
}
