#include <QCryptographicHash>
#include <QTemporaryDir>
#include <QtTest>

#include "core/apppaths.h"
#include "intake/cleanpath.h"
#include "intake/filedigest.h"
#include "intake/imageinspector.h"
#include "samplewriter.h"
#include "support/logfile.h"

class TstImageInspector : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void resolution_data();
    void resolution();
    void orientation_data();
    void orientation();
    void unreadableFile();
    void memoryRouteForNonLatinPath();
    void cleanPathRenames();

private:
    QString write(SampleImage s, const QString &name);
    QStringList newLogTexts();

    QTemporaryDir m_dir;
    int m_logSeen = 0;
};

void TstImageInspector::initTestCase()
{
    QVERIFY(m_dir.isValid());
    AppPaths::setAppDataDir(m_dir.filePath(QStringLiteral("appdata")));
}

QString TstImageInspector::write(SampleImage s, const QString &name)
{
    s.path = m_dir.filePath(name);
    QString error;
    if (!SampleWriter::write(s, &error))
        qWarning() << "sample not written:" << error;
    return s.path;
}

QStringList TstImageInspector::newLogTexts()
{
    const QStringList all = testlog::texts();
    const QStringList fresh = all.mid(m_logSeen);
    m_logSeen = all.size();
    return fresh;
}

void TstImageInspector::resolution_data()
{
    QTest::addColumn<QString>("xres");
    QTest::addColumn<QString>("yres");
    QTest::addColumn<int>("xdpi");
    QTest::addColumn<int>("ydpi");
    QTest::addColumn<bool>("rejected");
    QTest::newRow("600/2 is 300") << "600/2" << "600/2" << 300 << 300 << false;
    QTest::newRow("zero denominator ignored") << "300/0" << "300/0" << 300 << 300 << false;
    QTest::newRow("72 dpi") << "72/1" << "72/1" << 72 << 72 << true;
    QTest::newRow("254 by 300 passes") << "254/1" << "300/1" << 254 << 300 << false;
    QTest::newRow("one axis wrong") << "300/1" << "301/1" << 300 << 301 << true;
    QTest::newRow("truncating division") << "601/2" << "300/1" << 300 << 300 << false;
}

void TstImageInspector::resolution()
{
    QFETCH(QString, xres);
    QFETCH(QString, yres);
    SampleImage s;
    s.width = 1800;
    s.height = 1200;
    s.xResolution = xres;
    s.yResolution = yres;
    const imgMess m = ImageInspector::inspect(write(s, QStringLiteral("res.jpg")));
    QTEST(m.xdpi, "xdpi");
    QTEST(m.ydpi, "ydpi");
    QCOMPARE(m.width, 1800);
    QCOMPARE(m.height, 1200);
    QFETCH(bool, rejected);
    QCOMPARE(m.errors, rejected ? QStringList{QStringLiteral("分辨率错误")} : QStringList());
}

void TstImageInspector::orientation_data()
{
    QTest::addColumn<int>("orientation");
    QTest::addColumn<int>("rotation");
    QTest::addColumn<QString>("warning");
    QTest::newRow("absent") << 0 << 0 << QString();
    QTest::newRow("1 upright") << 1 << 0 << QString();
    QTest::newRow("3 upside down") << 3 << 180 << QString();
    QTest::newRow("6 turned right") << 6 << 90 << QString();
    QTest::newRow("8 turned left") << 8 << 270 << QString();
    QTest::newRow("4 flipped") << 4 << 0 << QStringLiteral("图片垂直翻转了");
    QTest::newRow("5 transposed") << 5 << 0 << QStringLiteral("顺时针90°+水平翻转");
    QTest::newRow("7 transversed") << 7 << 0 << QStringLiteral("逆时针90°+水平翻转");
}

void TstImageInspector::orientation()
{
    QFETCH(int, orientation);
    QFETCH(QString, warning);
    SampleImage s;
    s.width = 3000;
    s.height = 2000;
    s.orientation = orientation;
    newLogTexts();
    const imgMess m = ImageInspector::inspect(write(s, QStringLiteral("turned.jpg")));
    QTEST(m.IsRotate, "rotation");
    QCOMPARE(m.width, 3000);
    if (m.IsRotate == 90 || m.IsRotate == 270)
        QCOMPARE(QSize(m.uprightWidth(), m.uprightHeight()), QSize(2000, 3000));
    QCOMPARE(newLogTexts(), warning.isEmpty() ? QStringList() : QStringList{warning});
}

void TstImageInspector::unreadableFile()
{
    const QString path = m_dir.filePath(QStringLiteral("broken.jpg"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("this is not an image at all");
    file.close();
    newLogTexts();
    const imgMess m = ImageInspector::inspect(path);
    QCOMPARE(QSize(m.width, m.height), QSize(-1, -1));
    QCOMPARE(m.xdpi, -1);
    QVERIFY(m.errors.isEmpty());
    const QStringList texts = newLogTexts();
    QCOMPARE(texts.size(), 2);
    QVERIFY(texts.at(0).startsWith(QStringLiteral("Caught exception in worker thread:")));
    QCOMPARE(texts.at(1), QStringLiteral("加载图片获取大小失败：") + path);
}

void TstImageInspector::memoryRouteForNonLatinPath()
{
    SampleImage s;
    s.width = 4795;
    s.height = 2433;
    s.orientation = 8;
    s.colorMode = QStringLiteral("4");
    const QString path = write(s, QStringLiteral("상품 写真 ✓.jpg"));
    newLogTexts();
    const imgMess viaMemory = ImageInspector::inspect(path, ImageInspector::Route::Memory);
    QCOMPARE(newLogTexts(), QStringList{QStringLiteral("File Path Error:") + path});
    const imgMess viaFile = ImageInspector::inspect(path);
    QCOMPARE(QSize(viaMemory.width, viaMemory.height), QSize(4795, 2433));
    QCOMPARE(viaMemory.IsRotate, 270);
    QCOMPARE(viaMemory.errors, QStringList{QStringLiteral("色彩模式应为RGB:상품 写真 ✓")});
    QCOMPARE(QSize(viaFile.width, viaFile.height), QSize(viaMemory.width, viaMemory.height));
    QCOMPARE(viaFile.errors, viaMemory.errors);

    // A path Qt cannot open either: the record stays empty, without errors.
    const imgMess missing = ImageInspector::inspect(m_dir.filePath(QStringLiteral("없음.jpg")), ImageInspector::Route::Memory);
    QCOMPARE(QSize(missing.width, missing.height), QSize(0, 0));
    QVERIFY(missing.errors.isEmpty());
}

void TstImageInspector::cleanPathRenames()
{
    QDir root(m_dir.filePath(QStringLiteral("clean")));
    QVERIFY(root.mkpath(QStringLiteral("O'Neil's class")));
    const QString folder = root.filePath(QStringLiteral("O'Neil's class"));
    QFile(folder + QStringLiteral("/photo\u2764\uFE0F.jpg")).open(QIODevice::WriteOnly);

    newLogTexts();
    const QString cleanedFolder = cleanPath(folder);
    QCOMPARE(cleanedFolder, root.filePath(QStringLiteral("ONeils class")));
    QVERIFY(QFileInfo(cleanedFolder).isDir());
    QCOMPARE(newLogTexts(), QStringList{QStringLiteral("图片路径中有特殊字符:") + folder});

    const QString file = cleanPath(cleanedFolder + QStringLiteral("/photo\u2764\uFE0F.jpg"));
    QCOMPARE(file, cleanedFolder + QStringLiteral("/photo\u2764.jpg"));
    QVERIFY(QFileInfo::exists(file));
    QVERIFY(newLogTexts().isEmpty());

    // Folders above the name are not the name's to rename.
    QVERIFY(root.mkpath(QStringLiteral("Bob's")));
    const QString inside = root.filePath(QStringLiteral("Bob's/a.jpg"));
    QFile(inside).open(QIODevice::WriteOnly);
    QCOMPARE(cleanPath(inside), inside);
    QVERIFY(QFileInfo::exists(inside));
}

QTEST_MAIN(TstImageInspector)
#include "tst_imageinspector.moc"
