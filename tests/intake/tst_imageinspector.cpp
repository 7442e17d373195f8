#include <QTemporaryDir>
#include <QtTest>

#include "core/apppaths.h"
#include "intake/imageinspector.h"
#include "intake/jpegstructure.h"
#include "samplewriter.h"
#include "support/jpegsegments.h"
#include "support/logfile.h"

class TstImageInspector : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        AppPaths::setAppDataDir(m_dir.filePath(QStringLiteral("appdata")));
    }

    // Resolution and orientation as the metadata states them, on a 3000x2000 image.
    void metadata_data()
    {
        // x and y resolution, orientation > dpi, rotation, errors > the log line, if any
        QTest::addColumn<QString>("row");
        QTest::newRow("zero denominator ignored") << "300/0 300/0 0 > 300x300 0";
        QTest::newRow("72 dpi") << "72/1 72/1 0 > 72x72 0 分辨率错误";
        QTest::newRow("254 by 300 passes") << "254/1 300/1 0 > 254x300 0";
        QTest::newRow("one axis wrong") << "300/1 301/1 0 > 300x301 0 分辨率错误";
        QTest::newRow("truncating division, upright") << "601/2 300/1 1 > 300x300 0";
        QTest::newRow("3 upside down") << "300/1 300/1 3 > 300x300 180";
        QTest::newRow("6 turned right") << "300/1 300/1 6 > 300x300 90";
        QTest::newRow("8 turned left") << "300/1 300/1 8 > 300x300 270";
        QTest::newRow("4 flipped") << "300/1 300/1 4 > 300x300 0 > 图片垂直翻转了";
        QTest::newRow("5 transposed") << "300/1 300/1 5 > 300x300 0 > 顺时针90°+水平翻转";
        QTest::newRow("7 transversed") << "300/1 300/1 7 > 300x300 0 > 逆时针90°+水平翻转";
    }

    void metadata()
    {
        QFETCH(QString, row);
        const QStringList parts = row.split(QStringLiteral(" > "));
        const QStringList given = parts[0].split(' ');
        SampleImage s;
        s.width = 3000;
        s.height = 2000;
        s.xResolution = given[0];
        s.yResolution = given[1];
        s.orientation = given[2].toInt();
        m_log.newTexts();
        const imgMess m = ImageInspector::inspect(write(s, QStringLiteral("meta.jpg")));
        QCOMPARE(
            QStringLiteral("%1x%2 %3 %4").arg(m.xdpi).arg(m.ydpi).arg(m.IsRotate).arg(m.errors.join(',')).trimmed(),
            parts[1]);
        const bool turned = m.IsRotate == 90 || m.IsRotate == 270;
        QCOMPARE(QSize(m.uprightWidth(), m.uprightHeight()), turned ? QSize(2000, 3000) : QSize(3000, 2000));
        QCOMPARE(m_log.newTexts(), parts.mid(2));
    }

    // Sizes past 32 bits stay true: a sparse file of 3 GiB costs no disk.
    void unreadableFile_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::newRow("a few bytes") << qint64(27);
        QTest::newRow("3 GiB") << (qint64(3) << 30);
    }

    void unreadableFile()
    {
        QFETCH(qint64, size);
        const QString path = m_dir.filePath(QStringLiteral("broken.jpg"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("this is not an image at all") > 0);
        QVERIFY(file.resize(size));
        file.close();
        m_log.newTexts();
        const imgMess m = ImageInspector::inspect(path);
        QCOMPARE(m.size, size);
        QCOMPARE(QSize(m.width, m.height), QSize(-1, -1));
        QCOMPARE(m.xdpi, -1);
        QVERIFY(m.errors.isEmpty());
        // No JPEG, so the metadata library is never handed it.
        QCOMPARE(m_log.newTexts(), QStringList{QStringLiteral("加载图片获取大小失败：") + path});
    }

    void jpegStructure_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("verdict");
        QTest::addColumn<QByteArray>("metadata");
        using V = JpegStructure::Verdict;
        const QByteArray soi("\xFF\xD8", 2);
        const QByteArray eoi("\xFF\xD9", 2);
        const QByteArray exif = jpegSegment(0xE1, QByteArray("Exif\0\0MM", 8));
        const QByteArray frame = jpegSegment(0xC2, QByteArray(15, '\x01'));
        const QByteArray sos = jpegSegment(0xDA, QByteArray(10, '\x01'));
        const QByteArray scanData("\x12\xFF\x00\x34\xFF\xD3\x56\xFF\xFF\x00", 10); // stuffing, restart, fill
        const QByteArray kept = soi + exif + frame + eoi;
        const QByteArray progressive = soi + exif + jpegSegment(0xFE, "comment") + frame + sos + scanData
                                       + jpegSegment(0xC4, "table") + sos + scanData + eoi;
        QTest::newRow("trailer after EOI") << progressive + "\xFF\xE1\x00" << int(V::Complete) << kept;
        QTest::newRow("cut in the scan") << progressive.left(progressive.size() - 3) << int(V::Truncated) << kept;
        QTest::newRow("cut in a length") << soi + "\xFF\xE1\x01" << int(V::Truncated) << soi + eoi;
        QTest::newRow("EOI before any scan") << soi + frame + eoi << int(V::NotJpeg) << QByteArray();
        QTest::newRow("scan before the frame") << soi + sos + scanData + eoi << int(V::NotJpeg) << QByteArray();
        QTest::newRow("length below 2") << soi + QByteArray::fromHex("ffe10001") << int(V::NotJpeg) << QByteArray();
        QTest::newRow("no SOI") << QByteArray("\x89PNG\r\n") << int(V::NotJpeg) << QByteArray();

        // Segments past the bound are left out of the copy, the rest still checked.
        QByteArray big = soi;
        const QByteArray photoshop = jpegSegment(0xED, QByteArray("Photoshop 3.0\0", 14) + QByteArray(65000, 'p'));
        for (int i = 0; i < 20; ++i)
            big += photoshop;
        const int fitting = (JpegStructure::kMetadataLimit - 4) / photoshop.size();
        QTest::newRow("metadata past the bound") << big + frame + sos + scanData + eoi << int(V::Complete)
                                                 << soi + photoshop.repeated(fitting) + frame + eoi;
    }

    // Fed whole and one byte at a time: the verdict cannot depend on where reads end.
    void jpegStructure()
    {
        QFETCH(QByteArray, bytes);
        JpegStructure whole;
        whole.feed(bytes.constData(), bytes.size());
        JpegStructure bytewise;
        for (char c : bytes)
            bytewise.feed(&c, 1);
        QTEST(int(whole.verdict()), "verdict");
        QTEST(int(bytewise.verdict()), "verdict");
        QTEST(whole.metadata(), "metadata");
        QTEST(bytewise.metadata(), "metadata");
    }

    void memoryRouteForNonLatinPath()
    {
        SampleImage s;
        s.width = 4795;
        s.height = 2433;
        s.orientation = 8;
        s.colorMode = QStringLiteral("4");
        const QString path = write(s, QStringLiteral("상품 写真 ✓.jpg"));
        m_log.newTexts();
        const imgMess viaMemory = ImageInspector::inspect(path, ImageInspector::Route::Memory);
        QCOMPARE(m_log.newTexts(), QStringList{QStringLiteral("File Path Error:") + path});
        const imgMess viaFile = ImageInspector::inspect(path);
        QCOMPARE(QSize(viaMemory.width, viaMemory.height), QSize(4795, 2433));
        QCOMPARE(viaMemory.IsRotate, 270);
        QCOMPARE(viaMemory.errors, QStringList{QStringLiteral("色彩模式应为RGB:상품 写真 ✓")});
        QCOMPARE(QSize(viaFile.width, viaFile.height), QSize(viaMemory.width, viaMemory.height));
        QCOMPARE(viaFile.errors, viaMemory.errors);

        // A path Qt cannot open either: the record stays empty, without errors.
        const imgMess missing =
            ImageInspector::inspect(m_dir.filePath(QStringLiteral("없음.jpg")), ImageInspector::Route::Memory);
        QCOMPARE(QSize(missing.width, missing.height), QSize(0, 0));
        QVERIFY(missing.errors.isEmpty());
    }

private:
    QString write(SampleImage s, const QString &name)
    {
        s.path = m_dir.filePath(name);
        QString error;
        if (!SampleWriter::write(s, &error))
            qWarning() << "sample not written:" << error;
        return s.path;
    }

    QTemporaryDir m_dir;
    testlog::Follower m_log;
};

QTEST_MAIN(TstImageInspector)
#include "tst_imageinspector.moc"
