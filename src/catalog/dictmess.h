#pragma once

#include <QList>
#include <QPair>
#include <QString>

// One selectable property of a product, e.g. size or cover material.
struct dictMess
{
    qint32 id = 0;
    qint32 selectedValue = 0; // 0 while nothing is chosen
    QString propKey;
    QList<QPair<qint32, QString>> values; // value id, propVal
};
