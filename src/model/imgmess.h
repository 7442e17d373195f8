#pragma once

#include <QMetaType>
#include <QString>
#include <QStringList>

// One image as intake fills it and the upload pipeline carries it; copied by
// value through queued signals.
struct imgMess
{
    qint32 width = 0;
    qint32 height = 0;
    qint32 id = 0;   // images.id
    qint64 size = 0; // file size in bytes
    qint32 sort = 0; // position of the page within its sub-order
    qint32 xdpi = 0;
    qint32 ydpi = 0;
    qint32 IsRotate = 0;        // rotation in degrees clockwise; stored as the page's rotation flag
    bool specialLayout = false; // half-width first or last page of a special layout
    bool isPdf = false;
    bool BucketType = true; // true: "normal-order-image", false: "special-order-image"
    // False only for a lease that knows the object cannot be at the store yet,
    // so its upload skips asking the image host.
    bool mayBeStored = true;
    QString name;      // file name without its last suffix
    QString imageName; // MD5 (intake), "userId/MD5" once stored
    QString suffix;    // the file's suffix as found
    QString url;
    QString orderId;
    QString subOrderId;
    QString localPath;
    QString status = QStringLiteral("waiting");
    QString pageType; // "COVER", "TEXT" or "SINGLE" once sorted into a list
    QString color = QStringLiteral("3");
    QString specialLayoutWhitePagePosition = QStringLiteral("LEFT");
    QStringList errors;

    // Width and height as the page stands: swapped for a 90 or 270 rotation.
    qint32 uprightWidth() const;
    qint32 uprightHeight() const;
    bool isTurned() const;
};

Q_DECLARE_METATYPE(imgMess)
