#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// What one order list shows: its header, the bar below it and how its
// columns share the width. One table per list type instead of a switch in
// every place that lays the list out.
struct ListLayout
{
    struct Column
    {
        QString header;
        int fixed = 0;      // pixels
        double units = 0.0; // shares of what the fixed columns leave
    };

    QList<Column> columns;
    int margin = 0; // pixels left free beside the columns
    bool bar = true;
    bool selectAll = true;
    bool cartCount = false;
    bool checkedTotal = false;
    bool addOrder = false;
    bool upload = true;
    QString uploadText;
    QString deleteText;

    // Types outside the known ones are the cart list; `album` adds the page
    // count column of the new-order list.
    static ListLayout of(int listType, bool album = false);

    QStringList headers() const;
    // Each column's width in a list `width` pixels wide; the sum fits it.
    QList<int> widths(int width) const;
};
