#pragma once

#include <QLabel>
#include <QPixmap>

// The login page's background picture, scaled to cover the whole widget and
// cut evenly on both sides.
class loginback final : public QLabel
{
    Q_OBJECT

public:
    explicit loginback(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QPixmap m_picture;
};
