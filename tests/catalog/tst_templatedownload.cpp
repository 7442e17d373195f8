#include <QCryptographicHash>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QtTest>

#include "catalog/productservice.h"
#include "catalog/spumess.h"
#include "catalog/templatedownload.h"
#include "core/apppaths.h"
#include "net/httputils.h"
#include "support/backendprocess.h"
#include "support/clientenvironment.h"
#include "support/files.h"
#include "support/logfile.h"

namespace {

const QString kQueryPath = QStringLiteral("pms/open/spu/query/");
const QString kListPath = QStringLiteral("pms/group/getskuMainImageBySkuId/");
const QString kCover = QStringLiteral("template-260101-cover.jpg");
const QString kInner = QStringLiteral("template-260101-inner.jpg");

QString md5(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

// Every entry below `root` but the log folder, with what a file holds and
// where a link leads, so that a write anywhere shows.
QMap<QString, QString> tree(const QString &root)
{
    QMap<QString, QString> entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    const QDir base(root);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        const QString name = base.relativeFilePath(info.filePath());
        if (name.startsWith(QLatin1String("appdata/logs")))
            continue;
        if (info.isSymLink())
            entries.insert(name, QStringLiteral("link ") + info.symLinkTarget());
        else
            entries.insert(name, info.isDir() ? QStringLiteral("folder") : md5(testfiles::read(info.filePath())));
    }
    return entries;
}

} // namespace

// The template download against the local backend, answering as a hostile
// one would; the test's whole home, application data and working folder is
// compared before and after.
class TstTemplateDownload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_backend.start());
        QVERIFY(m_env.setUp(config(10)));
        QVERIFY(HttpUtils::instance().getToken("13800000001", "demo1234"));
    }

    void init()
    {
        m_backend.reset();
        QVERIFY(QDir(AppPaths::templatesDir()).removeRecursively());
        QVERIFY(QDir().mkpath(AppPaths::appDataDir()));
        QVERIFY(QDir(m_env.path() + "/outside").removeRecursively());
    }

    // What comes from the backend decides neither where a file goes nor
    // what is read; a refused or failed image leaves nothing behind, and an
    // existing file is replaced only by a complete one.
    void writesOnlyInsideItsFolder_data()
    {
        QTest::addColumn<QString>("kind"); // of the fault on the answers it fits, empty for none
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("plant");     // what is there before: a link out, an older file
        QTest::addColumn<QStringList>("saved"); // "name=address below /images/"
        QTest::addColumn<QString>("problems");  // pattern of the problem lines
        const QString none;
        const QString traversing = QStringLiteral("template:traversing");
        const QString scheme = QStringLiteral("template:scheme");
        const QStringList inner{kInner + "=" + kInner};
        const QStringList both{kCover + "=" + kCover, kInner + "=" + kInner};
        const QString refused = QStringLiteral("^模版地址不是http/https地址，已拒绝：");
        const QString escaping = QStringLiteral("模版文件会写到模版文件夹以外，已拒绝：.*");
        const QString failed = QStringLiteral("^模版下载失败：%1（http://127.0.0.1:\\d+/images/") + kCover + "）$";

        QTest::newRow("as served") << none << none << none << both << none;
        QTest::newRow("product name climbing with slashes") << traversing << none << none << both << none;
        QTest::newRow("product name climbing with backslashes")
            << traversing << R"(..\..\Microsoft\Windows\Start Menu\Programs\Startup)" << none << both << none;
        const char *refusedAddresses[][2] = {{"file", "file:///.*/accounts\\.json$"},
                                             {"ftp", "ftp://127\\.0\\.0\\.1:\\d+/template\\.jpg$"}};
        for (const auto &row : refusedAddresses)
            QTest::addRow("%s address", row[0])
                << scheme << QString::fromLatin1(row[0]) << none << QStringList() << refused + row[1];
        QTest::newRow("names hiding separators")
            << QStringLiteral("template:escapingname") << none << none
            << QStringList{"_.._.._Startup_template.bat=..%5C..%5C..%5CStartup%5Ctemplate.bat",
                           "_.._.._Startup_template-2.bat=..%2F..%2F..%2FStartup%2Ftemplate.bat",
                           "template-260101-3=..%20", "cover.jpg_Zone.Identifier=cover.jpg%3AZone.Identifier"}
            << none;
        QTest::newRow("endless template over an older one")
            << QStringLiteral("endless") << none << QStringLiteral("older") << inner
            << failed.arg(QStringLiteral("应答超过64MB，已中止"));
        // Against a deadline of one second.
        QTest::newRow("slow template") << QStringLiteral("drip") << none << none << inner
                                       << failed.arg(QStringLiteral("请求超过1秒未完成，已中止"));
        QTest::newRow("product folder a link out") << none << none << QStringLiteral("folder link") << QStringList()
                                                   << "^" + escaping + kCover + "\n" + escaping + kInner + "$";
        QTest::newRow("file a link out") << none << none << QStringLiteral("file link") << inner
                                         << "^" + escaping + kCover + "$";
    }

    void writesOnlyInsideItsFolder()
    {
        QFETCH(QString, kind);
        QFETCH(QString, body);
        QFETCH(QString, plant);
        QFETCH(QStringList, saved);
        QFETCH(QString, problems);
        QVERIFY(m_env.setUp(config(kind == "drip" ? 1 : kind == "endless" ? 60 : 10)));
        const QString folder = AppPaths::templatesDir() + "/1006";
        const QString outside = m_env.path() + "/outside";
        if (plant == QLatin1String("older")) {
            QVERIFY(testfiles::write(folder + "/" + kCover, "older template"));
        } else if (plant == QLatin1String("folder link")) {
            QVERIFY(QDir().mkpath(outside));
            QVERIFY(QDir().mkpath(AppPaths::templatesDir()));
            QVERIFY(QFile::link(outside, folder));
        } else if (plant == QLatin1String("file link")) {
            QVERIFY(testfiles::write(outside + "/startup.bat", "left alone"));
            QVERIFY(QDir().mkpath(folder));
            QVERIFY(QFile::link(outside + "/startup.bat", folder + "/" + kCover));
        }
        // The product query names the folder, the group list the addresses, and /images/ serves the files.
        const QString path = kind == "template:traversing"  ? kQueryPath
                             : kind.startsWith("template:") ? kListPath
                                                            : QStringLiteral("/images/");
        if (!kind.isEmpty())
            m_backend.fault(path, kind, 1, 100, body);
        spuMess product;
        QString problem;
        QVERIFY(ProductService::query(1006, &product, &problem));
        const QMap<QString, QString> before = tree(m_env.path());
        testlog::Follower log;
        log.newTexts();

        TemplateDownload templates;
        QSignalSpy done(&templates, &TemplateDownload::finished);
        QVERIFY(templates.start(product));
        QVERIFY(done.wait(20000));
        const auto outcome = done.first().first().value<TemplateDownload::Outcome>();

        QMap<QString, QString> expected = before;
        expected.insert(QStringLiteral("appdata/templates"), QStringLiteral("folder"));
        if (!expected.contains(QStringLiteral("appdata/templates/1006")))
            expected.insert(QStringLiteral("appdata/templates/1006"), QStringLiteral("folder"));
        QStringList names;
        for (const QString &entry : saved) {
            const QString name = entry.section('=', 0, 0);
            const QByteArray served = BackendProcess::fetch(m_backend.baseUrl() + "images/" + entry.section('=', 1));
            QVERIFY(served.startsWith("template stand-in "));
            expected.insert("appdata/templates/1006/" + name, md5(served));
            names << name;
        }
        QCOMPARE(tree(m_env.path()), expected);
        QCOMPARE(outcome.saved, names);
        QVERIFY2(QRegularExpression(problems.isEmpty() ? QStringLiteral("^$") : problems)
                     .match(outcome.problems.join('\n'))
                     .hasMatch(),
                 qPrintable(outcome.problems.join('\n')));
        const QStringList logged = log.newTexts();
        for (const QString &line : outcome.problems)
            QVERIFY2(logged.contains(line), qPrintable(line));
        QCOMPARE(outcome.text().startsWith(QStringLiteral("模版已保存到：") + QDir::toNativeSeparators(folder)),
                 !saved.isEmpty());
    }

    // Names from an address hold no separator, no way up, nothing Windows
    // reads as a stream or a device, and nothing invisible.
    void fileNames_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("name");
        // Escaped separators, a stream colon and dots with a blank (nothing
        // left: the fallback) are the download's own ("names hiding
        // separators"); the override shows the name decoded as UTF-8.
        const char *rows[][3] = {
            {"plain", "http://h/i/cover.jpg?x=../../a", "cover.jpg"},
            {"no name", "http://h/i/", "fallback"},
            {"reserved characters", "http://h/i/a%3Cb%3E%22%7C%3F%2A.jpg", "a_b_____.jpg"},
            {"line break", "http://h/i/a%0D%0Ab.jpg", "a__b.jpg"},
            {"right-to-left override", "http://h/i/cover%E2%80%AEgpj.exe", "cover_gpj.exe"},
            {"device name", "http://h/i/CON.jpg", "_CON.jpg"},
            {"trailing dots and blanks", "http://h/i/run.bat.%20.", "run.bat"},
        };
        for (const auto &row : rows)
            QTest::newRow(row[0]) << QString::fromUtf8(row[1]) << QString::fromUtf8(row[2]);
    }

    void fileNames()
    {
        QFETCH(QString, address);
        QTEST(TemplateDownload::fileNameFor(QUrl(address), QStringLiteral("fallback")), "name");
    }

    // The owner's end does not wait for a slow template's deadline, and the
    // part fetched so far is dropped.
    void destroyedWhileRunningStops()
    {
        m_backend.fault(QStringLiteral("/images/"), QStringLiteral("drip"), -1, 100);
        spuMess product;
        QString problem;
        QVERIFY(ProductService::query(1006, &product, &problem));
        QElapsedTimer clock;
        {
            TemplateDownload templates;
            QVERIFY(templates.start(product));
            QVERIFY(!templates.start(product));
            QTRY_VERIFY(!m_backend.paths().filter(kListPath).isEmpty());
            clock.start();
        }
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(QDir(AppPaths::templatesDir() + "/1006").entryList(QDir::Files | QDir::Hidden), QStringList());
    }

private:
    QJsonObject config(int deadline) const
    {
        return QJsonObject{{"baseUrl", m_backend.baseUrl()}, {"requestTimeout", deadline}};
    }

    BackendProcess m_backend;
    ClientEnvironment m_env;
};

QTEST_MAIN(TstTemplateDownload)
#include "tst_templatedownload.moc"
