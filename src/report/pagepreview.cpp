#include "report/pagepreview.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QTransform>

#include "intake/imageinspector.h"

namespace {

constexpr int kThumbnailSide = 1024;
constexpr qint64 kMaxPixels = 200'000'000;

QSize turned(QSize size, qint32 rotation)
{
    return rotation == 90 || rotation == 270 ? size.transposed() : size;
}

} // namespace

QImage PagePreview::thumbnail(const QString &path, QSize box, qint32 rotation)
{
    if (contentKind(path) != QLatin1String("JPG"))
        return QImage();
    QImage image;
    QByteArray embedded = ImageInspector::embedded(path).thumbnail;
    if (!embedded.isEmpty()) {
        QBuffer buffer(&embedded);
        QImageReader reader(&buffer, "jpeg");
        reader.setAutoDetectImageFormat(false);
        // A thumbnail is small; one that says otherwise is not decoded.
        const QSize size = reader.size();
        if (size.isValid() && size.width() <= kThumbnailSide && size.height() <= kThumbnailSide)
            image = reader.read();
    }
    if (image.isNull()) {
        QImageReader reader(path, "jpeg");
        reader.setAutoDetectImageFormat(false);
        const QSize full = reader.size();
        // The decoder keeps a whole progressive image in memory whatever the
        // scale; no print page comes near this many pixels.
        if (!full.isValid() || full.isEmpty() || qint64(full.width()) * full.height() > kMaxPixels)
            return QImage();
        // Scaled to twice the box at most, so the decoder skips most of the work.
        reader.setScaledSize(full.scaled(turned(box * 2, rotation), Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
        image = reader.read();
        if (image.isNull())
            return QImage();
    }
    if (rotation != 0)
        image = image.transformed(QTransform().rotate(rotation));
    return image.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

QString PagePreview::colourMode(const QString &path)
{
    static const QHash<QString, QString> names{
        {QStringLiteral("0"), QStringLiteral("位图")},     {QStringLiteral("1"), QStringLiteral("灰度")},
        {QStringLiteral("2"), QStringLiteral("索引颜色")}, {QStringLiteral("3"), QStringLiteral("RGB")},
        {QStringLiteral("4"), QStringLiteral("CMYK")},     {QStringLiteral("7"), QStringLiteral("多通道")},
        {QStringLiteral("8"), QStringLiteral("双色调")},   {QStringLiteral("9"), QStringLiteral("Lab")},
    };
    const QString mode = ImageInspector::embedded(path).colourMode;
    return mode.isEmpty() ? QString() : names.value(mode, QStringLiteral("模式 ") + mode);
}

QString PagePreview::contentKind(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray head = file.read(16);
    const struct
    {
        const char *magic;
        int size;
        const char *kind;
    } kinds[] = {
        {"\xFF\xD8\xFF", 3, "JPG"}, {"\x89PNG\r\n\x1A\n", 8, "PNG"},
        {"II*\0", 4, "TIFF"},       {"MM\0*", 4, "TIFF"},
        {"GIF8", 4, "GIF"},         {"BM", 2, "BMP"},
        {"%PDF-", 5, "PDF"},        {"8BPS", 4, "PSD"},
    };
    for (const auto &k : kinds) {
        if (head.startsWith(QByteArray(k.magic, k.size)))
            return QLatin1String(k.kind);
    }
    if (head.startsWith("RIFF") && head.mid(8, 4) == "WEBP")
        return QStringLiteral("WEBP");
    if (head.mid(4, 4) == "ftyp" && (head.mid(8, 4) == "heic" || head.mid(8, 4) == "mif1"))
        return QStringLiteral("HEIC");
    return QString();
}
