#include "orders/rowcells.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QPushButton>

QHBoxLayout *RowCells::row(QWidget *cell, int spacing)
{
    auto *layout = new QHBoxLayout(cell);
    layout->setSpacing(spacing);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setAlignment(Qt::AlignCenter);
    return layout;
}

QPushButton *RowCells::button(QWidget *cell, const QString &text, const char *styleClass, const QString &icon)
{
    auto *b = new QPushButton(text, cell);
    b->setFlat(true);
    b->setProperty("class", QString::fromLatin1(styleClass));
    b->setCursor(Qt::PointingHandCursor);
    if (!icon.isEmpty()) {
        b->setIcon(QIcon(icon));
        b->setFixedSize(56, 18);
        b->setIconSize(QSize(12, 12));
    }
    cell->layout()->addWidget(b);
    return b;
}

QCheckBox *RowCells::check(QWidget *cell)
{
    auto *check = new QCheckBox(cell);
    check->setObjectName(QStringLiteral("checkBox"));
    check->setProperty("class", QStringLiteral("tableCheck"));
    cell->layout()->addWidget(check);
    return check;
}
