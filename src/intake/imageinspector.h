#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>

#include "model/imgmess.h"

// Reads one image's pixel size, resolution, colour mode and orientation from
// its Exif and XMP metadata, falling back to Qt's decoder, and records the
// rules it breaks. The only class that touches Exiv2. Any thread.
class ImageInspector final
{
public:
    enum class Route { Auto, Memory };

    ImageInspector() = delete;

    // Exiv2 only ever parses a bounded in-memory copy of a JPEG's metadata
    // segments, read through Qt; files that are no JPEG go to the decoder.
    // Route::Memory logs the path as Auto does for paths the local 8-bit
    // encoding cannot express.
    static imgMess inspect(const QString &path, Route route = Route::Auto);
    // Same, with the metadata copy already taken (JpegStructure::metadata()).
    static imgMess inspect(const QString &path, const QByteArray &jpegMetadata, Route route = Route::Auto);

    // Size, base name, path and suffix from the file system; nothing inspected.
    static imgMess fileRecord(const QString &path);

    // Pixel size and resolution from Qt's JPEG decoder; -1 x -1 for both (and
    // a warning logged) when it cannot load the file as a JPEG.
    static void decoderSize(const QString &path, QSize *pixels, QSize *resolution);

    // What a JPEG's metadata segments carry besides the checked values: its
    // embedded Exif thumbnail (a JPEG) and the colour mode its XMP states
    // ("3" RGB, "4" CMYK, …; empty when none). Empty for anything else.
    struct Embedded
    {
        QByteArray thumbnail;
        QString colourMode;
    };
    static Embedded embedded(const QString &path);

    // Unsigned base-10 value of a metadata text; anything else is 0.
    static quint32 number(const QString &text);
    // "600/2" -> 300; a missing or zero denominator is ignored.
    static quint32 resolutionValue(const QString &text);
};
