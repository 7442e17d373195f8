#pragma once

#include <QString>

class QCheckBox;
class QHBoxLayout;
class QPushButton;
class QWidget;

// The small widgets in the cells of the order lists, laid out in a centred
// row: flat buttons, a check box.
class RowCells final
{
public:
    RowCells() = delete;

    static QHBoxLayout *row(QWidget *cell, int spacing);
    // A flat button appended to the cell's row; one with an icon has the size of the row buttons.
    static QPushButton *button(QWidget *cell, const QString &text, const char *styleClass,
                               const QString &icon = QString());
    // The row's check box "checkBox", appended to the cell's row.
    static QCheckBox *check(QWidget *cell);
};
