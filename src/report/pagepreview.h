#pragma once

#include <QImage>
#include <QSize>
#include <QString>

// A page as the report shows it, read without decoding the image at full
// size: the JPEG's embedded Exif thumbnail when it has one, otherwise a
// decode scaled down inside the JPEG decoder. Only JPEG content is decoded.
class PagePreview final
{
public:
    PagePreview() = delete;

    // Fits within `box` keeping its aspect, turned by `rotation` degrees
    // clockwise; null when the file holds no readable JPEG.
    static QImage thumbnail(const QString &path, QSize box, qint32 rotation);

    // The colour mode the file's metadata states, as a photographer names it
    // ("CMYK", "灰度", …); empty when the metadata states none.
    static QString colourMode(const QString &path);

    // What the bytes are, whatever the name says: "JPG", "PNG", "TIFF",
    // "GIF", "BMP", "WEBP", "PDF", "HEIC", or empty.
    static QString contentKind(const QString &path);
};
