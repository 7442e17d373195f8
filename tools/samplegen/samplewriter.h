#pragma once

#include <QString>

// One sample JPEG and the metadata it carries.
struct SampleImage
{
    QString path;
    int width = 0; // the size the metadata states
    int height = 0;
    // Encode the stated size in real pixels; otherwise a small stand-in of the
    // same proportions is encoded and only the metadata states the size.
    bool realPixels = false;
    bool exif = true;                              // false: no Exif at all
    bool pixelDimensions = true;                   // Exif.Photo.PixelX/YDimension
    bool imageDimensions = false;                  // Exif.Image.ImageWidth/ImageLength
    bool exifThumbnail = false;                    // an embedded thumbnail, plain red, unlike the picture
    QString xResolution = QStringLiteral("300/1"); // rational text; empty leaves it out
    QString yResolution = QStringLiteral("300/1");
    int orientation = 0;   // 0 leaves it out
    QString colorMode;     // Xmp.photoshop.ColorMode; empty leaves it out
    int jfifDpi = 300;     // the decoder's resolution
    qint64 padToBytes = 0; // pad the file with trailing bytes up to this size
    quint32 seed = 1;      // varies the pixels, so files differ
};

class SampleWriter final
{
public:
    SampleWriter() = delete;

    // Writes the file, creating its folder; false with a reason on failure.
    static bool write(const SampleImage &image, QString *error = nullptr);
    // Pixels of `mm` millimetres at `dpi`, rounded.
    static int pixels(double mm, int dpi);
};
