#include "classlayout.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>

#include "samplewriter.h"

namespace {

struct Builder
{
    quint32 seed = 1;
    int images = 0;
    QString error;

    bool image(const QJsonObject &e, const QString &path)
    {
        SampleImage s;
        s.path = path;
        const int dpi = e.value("dpi").toInt(300);
        if (e.contains("px")) {
            s.width = e.value("px").toArray().at(0).toInt();
            s.height = e.value("px").toArray().at(1).toInt();
        } else {
            s.width = SampleWriter::pixels(e.value("mm").toArray().at(0).toDouble(), dpi);
            s.height = SampleWriter::pixels(e.value("mm").toArray().at(1).toDouble(), dpi);
        }
        const QString resolution = e.value("resolution").toString(QStringLiteral("%1/1").arg(dpi));
        s.xResolution = e.value("xres").toString(resolution);
        s.yResolution = e.value("yres").toString(resolution);
        s.orientation = e.value("orientation").toInt(0);
        s.colorMode = e.value("colorMode").toString();
        s.exif = e.value("exif").toBool(true);
        s.pixelDimensions = e.value("pixelDimensions").toBool(true);
        s.imageDimensions = e.value("imageDimensions").toBool(false);
        s.realPixels = e.value("realPixels").toBool(false);
        s.exifThumbnail = e.value("exifThumbnail").toBool(false);
        s.jfifDpi = e.value("jfifDpi").toInt(dpi);
        s.padToBytes = qint64(e.value("bytes").toDouble(0));
        s.seed = seed++;
        if (!SampleWriter::write(s, &error))
            return false;
        ++images;
        return true;
    }

    bool entry(const QJsonObject &e, const QString &dir)
    {
        if (e.contains("folder")) {
            const QString sub = dir + QLatin1Char('/') + e.value("folder").toString();
            if (!QDir().mkpath(sub)) {
                error = QStringLiteral("cannot create %1").arg(sub);
                return false;
            }
            for (const QJsonValue &child : e.value("entries").toArray()) {
                if (!entry(child.toObject(), sub))
                    return false;
            }
            return true;
        }
        if (e.contains("image"))
            return image(e, dir + QLatin1Char('/') + e.value("image").toString());
        if (e.contains("images")) {
            const int start = e.value("start").toInt(1);
            for (int n = start; n < start + e.value("count").toInt(); ++n) {
                QString name = e.value("images").toString();
                name.replace(QStringLiteral("{n}"), QString::number(n));
                if (!image(e, dir + QLatin1Char('/') + name))
                    return false;
            }
            return true;
        }
        if (e.contains("file")) {
            QFile file(dir + QLatin1Char('/') + e.value("file").toString());
            if (!file.open(QIODevice::WriteOnly)) {
                error = file.errorString();
                return false;
            }
            file.write(e.value("text").toString().toUtf8());
            return true;
        }
        error = QStringLiteral("entry without folder, image, images or file");
        return false;
    }
};

} // namespace

int ClassLayout::build(const QJsonObject &description, const QString &outDir, QString *error)
{
    Builder builder;
    if (!builder.entry(description, outDir)) {
        if (error)
            *error = builder.error;
        return -1;
    }
    return builder.images;
}
