#pragma once

#include <QByteArray>

// One JPEG marker segment: FF, marker, big-endian length (payload + 2), payload.
inline QByteArray jpegSegment(quint8 marker, const QByteArray &payload)
{
    return QByteArray("\xFF", 1) + char(marker) + char((payload.size() + 2) >> 8) + char((payload.size() + 2) & 0xFF)
           + payload;
}
