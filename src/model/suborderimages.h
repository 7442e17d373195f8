#pragma once

#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

#include "model/imgmess.h"

// One product folder of an order under check: a future sub-order row.
struct subOrderImages
{
    subOrderImages();

    QString id; // braced UUID, made with the record
    qint32 skuId = 0;
    QString pageType; // the matched SKU's third page type
    QString name;
    QList<imgMess> coverImages;
    QList<imgMess> innerImages;
    QList<imgMess> singleImages;
    QStringList errors;
    QSize coverSize;
    QSize innerSize;
    QSize singleSize;
    bool innerFirstRotated = false;
    qint64 bytes = 0;
    qint32 count = 0;
    QString priceText;
    bool innerSizesDiffer = false;
    bool singleSizesDiffer = false;
    bool coverSizesDiffer = false;
    bool noQrCode = true;

    // Each adds the image, grows bytes and count, keeps its errors, and
    // tracks the list's common size. PDF pages have no pixel size and take
    // no part in the size bookkeeping.
    void addCover(const imgMess &image);
    void addInner(const imgMess &image);
    void addSingle(const imgMess &image);

    // Inner pages 5 pixels or more apart in either side differ.
    static constexpr int kInnerTolerance = 5;

private:
    void account(const imgMess &image);
};
