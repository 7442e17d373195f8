#pragma once

#include <QMetaType>

// The upload queue of the logged-in account as the database holds it: images
// (and their bytes) stored since a given time, and those still to be sent.
struct QueueCounts
{
    int imagesDone = 0;
    int imagesLeft = 0;
    qint64 bytesDone = 0;
    qint64 bytesLeft = 0;
    // Images still to go whose orders belong to another store account: they
    // wait until it logs in.
    int imagesOtherAccounts = 0;
};
Q_DECLARE_METATYPE(QueueCounts)
