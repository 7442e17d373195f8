#pragma once

#include <QBuffer>
#include <QDateTime>
#include <QImage>
#include <QJsonArray>
#include <QJsonObject>

#include "intake/folderintake.h"
#include "intake/readimagetoproduct.h"

// Class folders described for the sample generator's layout builder, and
// their orders checked as the new-order page checks them.
namespace classfolder {

inline QJsonObject folder(const QString &name, const QJsonArray &entries)
{
    return QJsonObject{{"folder", name}, {"entries", entries}};
}

// An image of `w` x `h` mm at 300 dpi; `extra` adds or overrides fields.
inline QJsonObject image(const QString &name, double w, double h, const QJsonObject &extra = QJsonObject())
{
    QJsonObject e{{"image", name}, {"mm", QJsonArray{w, h}}, {"dpi", 300}};
    for (auto it = extra.begin(); it != extra.end(); ++it)
        e.insert(it.key(), it.value());
    return e;
}

// The 8-inch album's cover, and its spreads "1.jpg" to "<count>.jpg" unless sized otherwise.
inline QJsonObject cover(const QString &name = QStringLiteral("封面.jpg"))
{
    return image(name, 446, 236);
}

inline QJsonObject spreads(int count, double w = 406, double h = 206)
{
    return QJsonObject{{"images", "{n}.jpg"}, {"count", count}, {"mm", QJsonArray{w, h}}, {"dpi", 300}};
}

// A blue picture of 60x30 pixels at 300 dpi as a `format` ("PNG", "BMP") file; empty if it cannot be encoded.
inline QByteArray picture(const char *format)
{
    QImage image(60, 30, QImage::Format_RGB32);
    image.fill(Qt::blue);
    image.setDotsPerMeterX(11811);
    image.setDotsPerMeterY(11811);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    return buffer.open(QIODevice::WriteOnly) && image.save(&buffer, format) ? bytes : QByteArray();
}

// The record of the order at `path`, as intake made it or a bare one, after its check.
inline groupProductImages checked(const QString &path, const spuMess &spu, const StoreTerms &terms,
                                  groupProductImages order = groupProductImages())
{
    readImageToProduct task(path, spu, &order, false, terms);
    task.setAutoDelete(false);
    task.run();
    return order;
}

// Every order of a class folder, checked, in the order intake made them.
inline QList<groupProductImages> checkedClass(const QString &folder, const spuMess &spu, const StoreTerms &terms)
{
    QList<groupProductImages> orders;
    for (const auto &order : FolderIntake::createOrders(folder, spu, QDateTime::currentDateTime()))
        orders << checked(order->path, spu, terms, *order);
    return orders;
}

} // namespace classfolder
