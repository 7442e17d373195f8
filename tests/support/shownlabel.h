#pragma once

#include <QAccessible>
#include <QLabel>

// What a label shows, as assistive technology reads it: a label that takes
// its text as rich text gives the text with its markup interpreted.
inline QString shownText(QLabel *label)
{
    QAccessibleInterface *shown = label ? QAccessible::queryAccessibleInterface(label) : nullptr;
    return shown ? shown->text(QAccessible::Name) : QString();
}
