#include <limits>

#include <QCryptographicHash>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QtTest>

#include "catalog/productparser.h"
#include "catalog/productservice.h"
#include "catalog/productspec.h"
#include "catalog/spumess.h"
#include "catalog/templatedownload.h"
#include "core/apppaths.h"
#include "net/httputils.h"
#include "support/backendprocess.h"
#include "support/catalogue.h"
#include "support/clientenvironment.h"
#include "support/files.h"
#include "support/logfile.h"

namespace {
// `root` with the value at `path` (keys and array indexes) replaced by
// `value`, or removed when `value` is undefined; an empty path replaces all.
QJsonValue patched(const QJsonValue &root, QStringList path, const QJsonValue &value)
{
    if (path.isEmpty())
        return value;
    const QString step = path.takeFirst();
    if (root.isArray()) {
        QJsonArray array = root.toArray();
        array[step.toInt()] = patched(array.at(step.toInt()), path, value);
        return array;
    }
    QJsonObject object = root.toObject();
    if (path.isEmpty() && value.isUndefined())
        object.remove(step);
    else
        object[step] = patched(object.value(step), path, value);
    return object;
}

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

// The product model against the numbers the shop works with and the local
// backend's catalogue that the demo and the matching tests use; the template
// download against the local backend answering as a hostile one would, with
// the test's whole home, application data and working folder compared before
// and after.
class TstCatalog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_catalogue.load());
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

    void dictIdSet()
    {
        // Pairs of property and value; a lone id and a trailing separator add nothing.
        QCOMPARE(skuGroupMess::parseDictIdSet("3:12;5;7:70;"), (QMap<qint32, qint32>{{3, 12}, {7, 70}}));
        QVERIFY(skuGroupMess::parseDictIdSet(QString()).isEmpty());
    }

    void candidatesFollowChoices()
    {
        spuMess spu = ProductParser::parseProduct(m_catalogue.productData(1001), {});
        spu.dicts[11].selectedValue = 111; // 8寸, cover not chosen yet
        spu.updateCandidates();
        QVERIFY(spu.candidateGroups.isEmpty());
        QCOMPARE(spu.currentGroup.id, 0);

        spu.dicts[12].selectedValue = 122; // crystal
        spu.updateCandidates();
        QCOMPARE(spu.candidateGroups.size(), 1);
        QCOMPARE(spu.currentGroup.skus.keys(), (QList<qint32>{210201, 210202}));

        // Without properties every group is a candidate; a series keeps them all.
        const spuMess series = ProductParser::parseProduct(m_catalogue.productData(1005), {});
        QCOMPARE(series.candidateGroups.size(), 2);
        QCOMPARE(series.currentGroup.id, 3101);
    }

    void sizeLines_data()
    {
        QTest::addColumn<int>("spuId");
        QTest::addColumn<int>("groupId");
        QTest::addColumn<QStringList>("lines");

        const QString res = QStringLiteral("支持分辨率: 300，254像素/英寸   色彩模式: RGB");
        const QString cover = QStringLiteral("  封面尺寸: 446*236mm(含出血)  出血(mm): 上(15)下(15)左(15)右(15)内(0)");
        const QString spread = QStringLiteral("尺寸: 406*206mm(含出血)  出血(mm): 上(3)下(3)左(3)右(3)内(0)");
        const QString single = QStringLiteral("  单页尺寸: 182*131mm(含出血)  出血(mm): 上(2)下(2)左(2)右(2)内(0)");
        const QString album8 = res + cover + "  设计" + spread + " 支持P数:";
        QTest::newRow("album, one line per SKU")
            << 1001 << 2101 << QStringList{album8 + "10P,12P,14P,16P,18P,20P,", album8 + "22P,24P,26P,28P,30P,"};
        QTest::newRow("special first and last pages")
            << 1002 << 2201
            << QStringList{res + cover + "  首尾页尺寸: 203*206mm(含出血)  设计" + spread
                           + " 支持P数:10P,12P,14P,16P,18P,20P,22P,24P,26P,28P,30P,"};
        QTest::newRow("frame single page") << 1003 << 2301 << QStringList{res + single + " 支持P数:1P,"};
        QTest::newRow("series members") << 1005 << 3101
                                        << QStringList{"规格: 8寸相册 10-20P   支持P数:10P,12P,14P,16P,18P,20P,   "
                                                           + res + cover + "  内页" + spread,
                                                       "规格: 7寸摆台   支持P数:1P,   " + res + single};
    }

    void sizeLines()
    {
        QFETCH(int, spuId);
        QFETCH(int, groupId);
        const spuMess spu = m_catalogue.product(spuId);
        const ProductSpecText spec = ProductSpec::build(spu, spu.groupsById.value(groupId));
        QTEST(spec.lines, "lines");
    }

    void pageRanges_data()
    {
        QTest::addColumn<int>("base");
        QTest::addColumn<int>("max");
        QTest::addColumn<int>("step");
        QTest::addColumn<QString>("list");
        const int limit = std::numeric_limits<qint32>::max();
        QTest::newRow("20 to 24 by 2") << 20 << 24 << 2 << "20P,22P,24P,";
        QTest::newRow("fixed count without a step") << 1 << 1 << 0 << "1P,";
        QTest::newRow("step past the end") << 10 << 20 << limit << "10P,";
        QTest::newRow("the most pages") << 999 << 1000 << 1 << "999P,1000P,";
        QTest::newRow("one page too many") << 1 << 1001 << 1000 << "";
        QTest::newRow("basePage above maxPage") << 30 << 20 << 2 << "";
        QTest::newRow("step 0") << 10 << 20 << 0 << "";
        QTest::newRow("negative step") << 10 << 20 << -2 << "";
        QTest::newRow("no pages") << 0 << 0 << 0 << "";
    }

    void pageRanges()
    {
        QFETCH(int, base);
        QFETCH(int, max);
        QFETCH(int, step);
        QFETCH(QString, list);
        QCOMPARE(skuMess::pageList(base, max, step), list);
        skuMess sku;
        sku.basePage = base;
        sku.maxPage = max;
        sku.baseStep = step;
        QCOMPARE(sku.rangeProblem().isEmpty(), !list.isEmpty());
    }

    // Data the client cannot work with is refused whole, with what is wrong;
    // valid data is read by every test that queries a product.
    void malformedProduct_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QJsonValue>("value");
        QTest::addColumn<QString>("problem");
        const QString sku = QStringLiteral("skuGroupList/0/skuList/0/");
        QTest::newRow("data null") << "" << QJsonValue() << "data 不是对象: null";
        QTest::newRow("skuGroupList an object")
            << "skuGroupList" << QJsonValue(QJsonObject{{"id", 1}}) << "skuGroupList 不是数组: {\"id\":1}";
        QTest::newRow("no groups") << "skuGroupList" << QJsonValue(QJsonArray()) << "没有SKU组";
        QTest::newRow("group id as string") << "skuGroupList/0/id" << QJsonValue("2101") << "SKU组的 id 不对: {";
        QTest::newRow("skuList null") << "skuGroupList/0/skuList" << QJsonValue() << "SKU组 2101 的 skuList 不是数组";
        QTest::newRow("sku id as string") << sku + "id" << QJsonValue("210101") << "SKU组 2101 中SKU的 id 不对: {";
        QTest::newRow("sku a number") << sku.chopped(1) << QJsonValue(7) << "SKU组 2101 中SKU的 id 不对: 7";
        QTest::newRow("basePage missing") << sku + "basePage" << QJsonValue(QJsonValue::Undefined) << "起始0P";
    }

    void malformedProduct()
    {
        QFETCH(QString, path);
        QFETCH(QJsonValue, value);
        QFETCH(QString, problem);
        const QJsonValue data = patched(m_catalogue.productData(1001),
                                        path.isEmpty() ? QStringList() : path.split(QLatin1Char('/')), value);
        spuMess spu;
        spu.spuName = QStringLiteral("kept");
        QString text;
        const int logSeen = testlog::texts().size();
        QVERIFY(!ProductParser::readProduct(data, StoreTerms(), &spu, &text));
        QCOMPARE(spu.spuName, QStringLiteral("kept"));
        QVERIFY2(text.startsWith(QStringLiteral("产品数据有误，请联系客服: ")) && text.contains(problem),
                 qPrintable(text));
        QCOMPARE(testlog::texts().mid(logSeen), QStringList{text});
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

    Catalogue m_catalogue;
    BackendProcess m_backend;
    ClientEnvironment m_env;
};

QTEST_MAIN(TstCatalog)
#include "tst_catalog.moc"
