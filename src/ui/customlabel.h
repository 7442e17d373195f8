#pragma once

#include <QLabel>

// A label that emits clicked() when pressed with the left mouse button.
class customlabel final : public QLabel
{
    Q_OBJECT

public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
};
