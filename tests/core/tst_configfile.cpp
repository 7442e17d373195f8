#include <optional>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "core/apppaths.h"
#include "core/configfile.h"
#include "core/regularfile.h"
#include "core/vellruntime.h"
#include "support/deadline.h"
#include "support/logfile.h"
#include "support/specialfiles.h"

namespace {
const QString kDefaultBase = QStringLiteral("http://127.0.0.1:27080/");
const QByteArray kNoFile = QByteArrayLiteral("<no file>");

void writeFile(const QString &name, const QByteArray &content)
{
    QDir().mkdir(QStringLiteral("data"));
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qWarning() << "not written:" << name;
}
} // namespace

// Each test runs in a fresh working folder, where the client looks for "data/".
class TstConfigFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { AppPaths::setAppDataDir(m_appData.path()); }

    void init()
    {
        configFile::resetToDefaults();
        m_oldCwd = QDir::currentPath();
        m_dir.emplace();
        QVERIFY(m_dir->isValid() && QDir::setCurrent(m_dir->path()));
    }

    void cleanup()
    {
        QDir::setCurrent(m_oldCwd);
        m_dir.reset();
    }

    void readConfig_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("apiUrl");
        QTest::addColumn<QString>("cartUrl");
        QTest::addColumn<QString>("productsUrl");
        QTest::addColumn<QString>("baseUrlW");
        QTest::addColumn<bool>("autoLogin");
        const QString dApi = kDefaultBase + "api/";
        const QString dCart = kDefaultBase + "cart";
        const QString dProducts = QStringLiteral("https://127.0.0.1:27080/products");
        const QString shop = QStringLiteral("http://shop.test/");
        QTest::newRow("no file keeps defaults") << kNoFile << dApi << dCart << dProducts << kDefaultBase << false;
        QTest::newRow("invalid JSON keeps baseUrlW too") << QByteArray("{\"baseUrl\": \"http://shop.test/\", ") << dApi
                                                         << dCart << dProducts << kDefaultBase << false;
        QTest::newRow("top-level array keeps defaults")
            << QByteArray("[\"http://shop.test/\"]") << dApi << dCart << dProducts << kDefaultBase << false;
        QTest::newRow("only baseUrl empties baseUrlW")
            << QByteArray("{\"baseUrl\": \"http://shop.test/\"}") << shop + "api/" << shop + "cart" << shop + "products"
            << QString() << false;
        QTest::newRow("baseUrl without slash is joined unchanged")
            << QByteArray("{\"baseUrl\": \"http://shop.test\"}") << "http://shop.testapi/"
            << "http://shop.testcart"
            << "http://shop.testproducts" << QString() << false;
        QTest::newRow("empty baseUrl keeps default addresses")
            << QByteArray("{\"baseUrl\": \"\", \"baseUrlW\": \"http://w.test/\"}") << dApi << dCart << dProducts
            << "http://w.test/" << false;
        QTest::newRow("non-string baseUrlW gives empty")
            << QByteArray("{\"baseUrl\": \"http://shop.test/\", \"baseUrlW\": 5}") << shop + "api/" << shop + "cart"
            << shop + "products" << QString() << false;
        QTest::newRow("autoLogin true") << QByteArray("{\"autoLogin\": true}") << dApi << dCart << dProducts
                                        << QString() << true;
    }

    void readConfig()
    {
        QFETCH(QByteArray, content);
        if (content != kNoFile)
            writeFile(QStringLiteral("data/config.json"), content);
        configFile::readConfig();
        QTEST(configFile::apiUrl(), "apiUrl");
        QTEST(configFile::cartUrl(), "cartUrl");
        QTEST(configFile::productsUrl(), "productsUrl");
        QTEST(configFile::baseUrlW(), "baseUrlW");
        QTEST(configFile::autoLogin(), "autoLogin");
    }

    // Both start-up files are read before any window exists.
    void badStartupFiles_data()
    {
        QTest::addColumn<int>("kind"); // a special file kind, or -1 for a regular file of `bytes`
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("why"); // empty: the files are read
        const QString notRegular = QStringLiteral("不是普通文件");
        QTest::newRow("fifo") << int(specialfiles::Fifo) << qint64(0) << notRegular;
        QTest::newRow("link to /dev/zero") << int(specialfiles::LinkToZero) << qint64(0) << notRegular;
        QTest::newRow("socket") << int(specialfiles::Socket) << qint64(0) << notRegular;
        QTest::newRow("link to a fifo") << int(specialfiles::LinkToFifo) << qint64(0) << notRegular;
        QTest::newRow("one byte over the limit") << -1 << RegularFile::kStartupFileLimit + 1 << "超过1048576字节";
        QTest::newRow("at the limit is read") << -1 << RegularFile::kStartupFileLimit << QString();
    }

    void badStartupFiles()
    {
        QFETCH(int, kind);
        QFETCH(qint64, bytes);
        QFETCH(QString, why);
        const bool read = why.isEmpty();
        QVERIFY(QDir().mkdir(QStringLiteral("data")));
        // Valid JSON padded with spaces to the size under test.
        const QMap<QString, QByteArray> files{
            {QStringLiteral("data/config.json"), "{\"baseUrl\": \"http://big.test/\"}"},
            {QStringLiteral("data/error.json"), "{\"net.error\": \"网络错误\"}"}};
        for (auto it = files.begin(); it != files.end(); ++it) {
            if (kind < 0)
                writeFile(it.key(), it.value() + QByteArray(int(bytes - it.value().size()), ' '));
            else
                QVERIFY(specialfiles::make(specialfiles::Kind(kind), QDir::current().absoluteFilePath(it.key()),
                                           m_dir->path()));
        }
        QVERIFY2(testdeadline::finishes([] {
                     configFile::readConfig();
                     VellRuntime::instance().loadErrorTable();
                 }),
                 "start-up blocked on a configuration file");
        QCOMPARE(configFile::apiUrl(), read ? QStringLiteral("http://big.test/api/") : kDefaultBase + "api/");
        QCOMPARE(VellRuntime::instance().errorText(QStringLiteral("net.error")),
                 read ? QStringLiteral("网络错误") : QString());
        const QStringList logged = testlog::texts();
        for (const QString &name : files.keys())
            QCOMPARE(logged.contains(QStringLiteral("未读取%1：%2，沿用默认值").arg(name, why)), !read);
    }

    void requestTimeoutHeldInRange_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("seconds");
        QTest::newRow("as given") << QByteArray("30") << 30;
        QTest::newRow("1e12 is held at ten minutes") << QByteArray("1e12") << 600;
        QTest::newRow("beyond double range") << QByteArray("1e999") << 60;
        QTest::newRow("negative keeps the default") << QByteArray("-5") << 60;
        QTest::newRow("zero keeps the default") << QByteArray("0") << 60;
        QTest::newRow("a fraction rounds up") << QByteArray("0.2") << 1;
        QTest::newRow("a string keeps the default") << QByteArray("\"NaN\"") << 60;
    }

    void requestTimeoutHeldInRange()
    {
        QFETCH(QByteArray, value);
        writeFile(QStringLiteral("data/config.json"), "{\"requestTimeout\": " + value + "}");
        configFile::readConfig();
        QTEST(configFile::requestTimeoutSec(), "seconds");
    }

private:
    std::optional<QTemporaryDir> m_dir;
    QTemporaryDir m_appData;
    QString m_oldCwd;
};

QTEST_GUILESS_MAIN(TstConfigFile)
#include "tst_configfile.moc"
