#include "samplewriter.h"

#include <cmath>

#include <exiv2/exiv2.hpp>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QPainter>

namespace {

Exiv2::URational rational(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char('/'));
    const quint32 num = parts.value(0).toUInt();
    const quint32 den = parts.size() > 1 ? parts.value(1).toUInt() : 1;
    return Exiv2::URational(num, den);
}

QImage picture(const SampleImage &s)
{
    int w = s.width;
    int h = s.height;
    if (!s.realPixels) {
        const double scale = 96.0 / std::max(1, std::max(w, h));
        w = std::max(1, int(std::lround(w * scale)));
        h = std::max(1, int(std::lround(h * scale)));
    }
    QImage image(std::max(1, w), std::max(1, h), QImage::Format_RGB32);
    const QColor base = QColor::fromHsv(int(s.seed * 47 % 360), 120, 220);
    image.fill(base);
    QPainter painter(&image);
    painter.setPen(QPen(base.darker(160), std::max(1, image.width() / 40)));
    painter.drawRect(image.rect().adjusted(2, 2, -3, -3));
    painter.drawLine(0, 0, image.width(), image.height());
    painter.end();
    const int dpm = int(std::lround(s.jfifDpi / 0.0254));
    image.setDotsPerMeterX(dpm);
    image.setDotsPerMeterY(dpm);
    return image;
}

bool writeMetadata(const SampleImage &s, QString *error)
{
    try {
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(s.path).toStdString());
        image->readMetadata();
        Exiv2::ExifData exif;
        if (s.exif) {
            exif["Exif.Image.Make"] = "Sample Generator";
            if (s.pixelDimensions) {
                exif["Exif.Photo.PixelXDimension"] = uint32_t(s.width);
                exif["Exif.Photo.PixelYDimension"] = uint32_t(s.height);
            }
            if (s.imageDimensions) {
                exif["Exif.Image.ImageWidth"] = uint32_t(s.width);
                exif["Exif.Image.ImageLength"] = uint32_t(s.height);
            }
            if (!s.xResolution.isEmpty())
                exif["Exif.Image.XResolution"] = rational(s.xResolution);
            if (!s.yResolution.isEmpty())
                exif["Exif.Image.YResolution"] = rational(s.yResolution);
            if (s.orientation > 0)
                exif["Exif.Image.Orientation"] = uint16_t(s.orientation);
        }
        if (s.exif && s.exifThumbnail) {
            QImage red(160, 120, QImage::Format_RGB32);
            red.fill(Qt::red);
            QByteArray jpeg;
            QBuffer buffer(&jpeg);
            buffer.open(QIODevice::WriteOnly);
            red.save(&buffer, "JPEG");
            Exiv2::ExifThumb(exif).setJpegThumbnail(reinterpret_cast<const Exiv2::byte *>(jpeg.constData()),
                                                    long(jpeg.size()));
        }
        image->setExifData(exif);
        Exiv2::XmpData xmp;
        if (!s.colorMode.isEmpty())
            xmp["Xmp.photoshop.ColorMode"] = s.colorMode.toStdString();
        image->setXmpData(xmp);
        image->writeMetadata();
        return true;
    } catch (const Exiv2::AnyError &e) {
        if (error)
            *error = QString::fromStdString(e.what());
        return false;
    }
}

} // namespace

int SampleWriter::pixels(double mm, int dpi)
{
    return int(std::lround(mm * dpi / 25.4));
}

bool SampleWriter::write(const SampleImage &s, QString *error)
{
    QDir().mkpath(QFileInfo(s.path).absolutePath());
    {
        // The writer goes by the file's suffix otherwise, and samples may have any.
        QImageWriter writer(s.path, "jpeg");
        writer.setQuality(80);
        if (!writer.write(picture(s))) {
            if (error)
                *error = writer.errorString();
            return false;
        }
    }
    if (!writeMetadata(s, error))
        return false;
    if (s.padToBytes > 0) {
        QFile file(s.path);
        if (!file.open(QIODevice::Append))
            return false;
        qint64 missing = s.padToBytes - file.size();
        QByteArray block(64 * 1024, char(s.seed & 0xFF));
        while (missing > 0) {
            const qint64 n = std::min<qint64>(missing, block.size());
            file.write(block.constData(), n);
            missing -= n;
        }
    }
    return true;
}
