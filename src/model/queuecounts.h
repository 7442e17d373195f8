#pragma once

#include <QMetaType>

// The upload queue as the database holds it: images (and their bytes) stored
// since a given time, and those still to be sent.
struct QueueCounts
{
    int imagesDone = 0;
    int imagesLeft = 0;
    qint64 bytesDone = 0;
    qint64 bytesLeft = 0;
};
Q_DECLARE_METATYPE(QueueCounts)
