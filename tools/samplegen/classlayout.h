#pragma once

#include <QJsonObject>
#include <QString>

// Lays out a folder tree of sample images from a short JSON description:
//   {"folder": name, "entries": [...]}                 a folder
//   {"image": "封面.jpg", "mm": [w, h], "dpi": 300}     one image ("px": [w, h] for pixels)
//   {"images": "{n}.jpg", "count": 12, "start": 1, …}  numbered images
//   {"file": "notes.txt", "text": "…"}                 any other file
// Image keys beyond the size: "resolution" (both axes, rational text),
// "xres", "yres", "orientation", "colorMode", "exif" (false: none),
// "pixelDimensions", "imageDimensions", "realPixels", "exifThumbnail", "jfifDpi", "bytes".
class ClassLayout final
{
public:
    ClassLayout() = delete;

    // Writes the tree under `outDir`; returns the number of images written,
    // -1 with a reason on failure.
    static int build(const QJsonObject &description, const QString &outDir, QString *error = nullptr);
};
