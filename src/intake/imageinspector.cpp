#include "intake/imageinspector.h"

#include <cmath>
#include <memory>
#include <mutex>

#include <exiv2/exiv2.hpp>

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>

#include "core/logmanager.h"
#include "intake/checktexts.h"
#include "intake/jpegstructure.h"

namespace {

const QString kUnknown = QStringLiteral("Unknow");

void xmpLock(void *data, bool lock)
{
    auto *mutex = static_cast<std::mutex *>(data);
    if (lock)
        mutex->lock();
    else
        mutex->unlock();
}

// The XMP toolkit is not thread-safe unless initialised with a lock.
void initialiseXmp()
{
    static std::mutex xmpMutex;
    static std::once_flag once;
    std::call_once(once, [] { Exiv2::XmpParser::initialize(xmpLock, &xmpMutex); });
}

QString exifText(const Exiv2::ExifData &exif, const char *key)
{
    const auto it = exif.findKey(Exiv2::ExifKey(key));
    if (it == exif.end())
        return kUnknown;
    return QString::fromLocal8Bit(it->toString().c_str());
}

QString xmpText(const Exiv2::XmpData &xmp, const char *key)
{
    const auto it = xmp.findKey(Exiv2::XmpKey(key));
    if (it == xmp.end())
        return kUnknown;
    return QString::fromLocal8Bit(it->toString().c_str());
}

// Only the metadata segments, so a crafted file cannot make the library
// read, or allocate for, more than their bounded size. Owned at once by a
// unique_ptr: the library's own pointer type is the deprecated auto_ptr.
// Throws as the library does.
std::unique_ptr<Exiv2::Image> openMetadata(const QByteArray &jpegMetadata)
{
    return std::unique_ptr<Exiv2::Image>(
        Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte *>(jpegMetadata.constData()),
                                  long(jpegMetadata.size()))
            .release());
}

void fromDecoder(imgMess &m, QSize *decoderResolution = nullptr)
{
    QSize pixels;
    QSize resolution;
    ImageInspector::decoderSize(m.localPath, &pixels, &resolution);
    m.width = pixels.width();
    m.height = pixels.height();
    m.xdpi = resolution.width();
    m.ydpi = resolution.height();
    if (decoderResolution)
        *decoderResolution = resolution;
}

void resolutionRule(imgMess &m)
{
    const auto accepted = [](qint32 dpi) { return dpi == 254 || dpi == 300; };
    if (!accepted(m.xdpi) || !accepted(m.ydpi))
        m.errors << CheckTexts::resolution;
}

void readOrientation(imgMess &m, const Exiv2::ExifData &exif)
{
    const auto it = exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
    if (it == exif.end() || it->count() < 1)
        return;
    switch (it->toLong(0)) {
    case 3:
        m.IsRotate = 180;
        break;
    case 6:
        m.IsRotate = 90;
        break;
    case 8:
        m.IsRotate = 270;
        break;
    case 4:
        LogManager::logWarning(QStringLiteral("图片垂直翻转了"));
        break;
    case 5:
        LogManager::logWarning(QStringLiteral("顺时针90°+水平翻转"));
        break;
    case 7:
        LogManager::logWarning(QStringLiteral("逆时针90°+水平翻转"));
        break;
    default:
        break;
    }
}

// Steps after a successful open: Exif keys, colour mode, resolution and
// orientation, then the resolution rule.
void readMetadata(imgMess &m, Exiv2::Image &image)
{
    image.readMetadata();
    const Exiv2::ExifData &exif = image.exifData();
    if (exif.empty()) {
        fromDecoder(m);
        resolutionRule(m);
        return;
    }

    m.width = qint32(ImageInspector::number(exifText(exif, "Exif.Photo.PixelXDimension")));
    m.height = qint32(ImageInspector::number(exifText(exif, "Exif.Photo.PixelYDimension")));
    if (m.width == 0 || m.height == 0) {
        m.width = qint32(ImageInspector::number(exifText(exif, "Exif.Image.ImageWidth")));
        m.height = qint32(ImageInspector::number(exifText(exif, "Exif.Image.ImageLength")));
    }

    const QString colorMode = xmpText(image.xmpData(), "Xmp.photoshop.ColorMode");
    if (colorMode == QLatin1String("3") || colorMode == kUnknown)
        m.color = QStringLiteral("3");
    else
        m.errors << CheckTexts::notRgb + m.name;

    QSize decoderResolution(0, 0);
    if (m.width == 0 || m.height == 0) {
        QSize pixels;
        ImageInspector::decoderSize(m.localPath, &pixels, &decoderResolution);
        m.width = pixels.width();
        m.height = pixels.height();
    }

    qint32 x = qint32(ImageInspector::resolutionValue(exifText(exif, "Exif.Image.XResolution")));
    qint32 y = qint32(ImageInspector::resolutionValue(exifText(exif, "Exif.Image.YResolution")));
    if ((x == 0 || y == 0) && decoderResolution.width() != 0 && decoderResolution.height() != 0) {
        x = decoderResolution.width();
        y = decoderResolution.height();
    }
    m.xdpi = x;
    m.ydpi = y;

    readOrientation(m, exif);
    resolutionRule(m);
}

// Exiv2 cannot open every path the local 8-bit encoding fails to express.
bool pathUnreadable(const QString &path, ImageInspector::Route route)
{
    return route == ImageInspector::Route::Memory || !Exiv2::fileExists(path.toLocal8Bit().toStdString());
}

} // namespace

imgMess ImageInspector::fileRecord(const QString &path)
{
    imgMess m;
    const QFileInfo info(path);
    m.size = info.size();
    m.name = info.completeBaseName();
    m.localPath = path;
    m.suffix = info.suffix();
    return m;
}

quint32 ImageInspector::number(const QString &text)
{
    bool ok = false;
    const quint32 value = text.toUInt(&ok, 10);
    return ok ? value : 0;
}

quint32 ImageInspector::resolutionValue(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char('/'));
    quint32 value = number(parts.at(0));
    if (parts.size() > 1) {
        const quint32 denominator = number(parts.at(1));
        if (denominator > 0)
            value /= denominator;
    }
    return value;
}

void ImageInspector::decoderSize(const QString &path, QSize *pixels, QSize *resolution)
{
    // The JPEG decoder alone: every page the checks accept is a JPEG, and the
    // other decoders need never see hostile bytes (libpng, for one, allocates
    // a chunk's declared length before reading it).
    QImageReader reader(path, "jpeg");
    reader.setAutoDetectImageFormat(false);
    // The size is in the header. The density comes only with decoded pixels,
    // and an eighth of them (libjpeg's cheapest scale) costs a fraction of the
    // whole picture's time and memory. A picture too large to decode whole
    // stays refused: libjpeg holds a progressive one's coefficients at full size.
    const QSize header = reader.size();
    const bool withinLimit =
        header.isValid()
        && qint64(header.width()) * header.height() * 4 <= qint64(QImageReader::allocationLimit()) * 1024 * 1024;
    if (withinLimit)
        reader.setScaledSize(QSize(qMax(1, header.width() / 8), qMax(1, header.height() / 8)));
    const QImage image = withinLimit ? reader.read() : QImage();
    if (image.isNull()) {
        LogManager::logWarning(QStringLiteral("加载图片获取大小失败：%1").arg(path));
        *pixels = QSize(-1, -1);
        *resolution = QSize(-1, -1);
        return;
    }
    *pixels = header;
    *resolution =
        QSize(int(std::lround(image.dotsPerMeterX() * 0.0254)), int(std::lround(image.dotsPerMeterY() * 0.0254)));
}

imgMess ImageInspector::inspect(const QString &path, Route route)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) && pathUnreadable(path, route)) {
        LogManager::logError(QStringLiteral("File Path Error:%1").arg(path));
        qDebug().noquote() << "Failed to open file:" << path;
        return fileRecord(path);
    }
    return inspect(path, file.isOpen() ? JpegStructure::readMetadata(file) : QByteArray(), route);
}

imgMess ImageInspector::inspect(const QString &path, const QByteArray &jpegMetadata, Route route)
{
    initialiseXmp();
    imgMess m = fileRecord(path);
    if (pathUnreadable(path, route))
        LogManager::logError(QStringLiteral("File Path Error:%1").arg(path));
    if (jpegMetadata.isEmpty()) {
        fromDecoder(m);
        return m;
    }
    try {
        const std::unique_ptr<Exiv2::Image> image = openMetadata(jpegMetadata);
        if (image)
            readMetadata(m, *image);
        else
            fromDecoder(m);
    } catch (const std::exception &e) {
        LogManager::logError(
            QStringLiteral("Caught exception in worker thread:%1").arg(QString::fromLocal8Bit(e.what())));
        m.errors.clear();
        m.color = QStringLiteral("3");
        fromDecoder(m);
    }
    return m;
}

ImageInspector::Embedded ImageInspector::embedded(const QString &path)
{
    initialiseXmp();
    Embedded found;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return found;
    const QByteArray metadata = JpegStructure::readMetadata(file);
    if (metadata.isEmpty())
        return found;
    try {
        const std::unique_ptr<Exiv2::Image> image = openMetadata(metadata);
        if (!image)
            return found;
        image->readMetadata();
        const Exiv2::ExifThumbC thumb(image->exifData());
        const Exiv2::DataBuf data = thumb.copy();
        if (data.size_ > 0 && QByteArray(thumb.mimeType()) == "image/jpeg")
            found.thumbnail = QByteArray(reinterpret_cast<const char *>(data.pData_), int(data.size_));
        const QString mode = xmpText(image->xmpData(), "Xmp.photoshop.ColorMode");
        if (mode != kUnknown)
            found.colourMode = mode;
    } catch (const std::exception &) {
        // A page whose metadata cannot be read is shown from its pixels.
    }
    return found;
}
