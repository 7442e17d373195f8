#include <memory>

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

class TstConfigFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void readConfig_data();
    void readConfig();
    // Bad start-up files: both files read before any window exists.
    void badStartupFiles_data();
    void badStartupFiles();
    void requestTimeoutHeldInRange_data();
    void requestTimeoutHeldInRange();

private:
    void writeConfig(const QByteArray &content);

    std::unique_ptr<QTemporaryDir> m_dir;
    QTemporaryDir m_appData;
    QString m_oldCwd;
};

namespace {
const QString kDefaultBase = QStringLiteral("http://127.0.0.1:27080/");
const QByteArray kNoFile = QByteArrayLiteral("<no file>");
} // namespace

void TstConfigFile::initTestCase()
{
    AppPaths::setAppDataDir(m_appData.path());
}

void TstConfigFile::init()
{
    configFile::resetToDefaults();
    m_oldCwd = QDir::currentPath();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir::setCurrent(m_dir->path()));
}

void TstConfigFile::cleanup()
{
    QDir::setCurrent(m_oldCwd);
    m_dir.reset();
}

void TstConfigFile::writeConfig(const QByteArray &content)
{
    QDir().mkdir(QStringLiteral("data"));
    QFile file(QStringLiteral("data/config.json"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

void TstConfigFile::readConfig_data()
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

    QTest::newRow("no file keeps defaults") << kNoFile << dApi << dCart << dProducts << kDefaultBase << false;
    QTest::newRow("invalid JSON keeps baseUrlW too")
        << QByteArray("{\"baseUrl\": \"http://shop.test/\", ") << dApi << dCart << dProducts << kDefaultBase << false;
    QTest::newRow("top-level array keeps defaults")
        << QByteArray("[\"http://shop.test/\"]") << dApi << dCart << dProducts << kDefaultBase << false;
    QTest::newRow("only baseUrl empties baseUrlW")
        << QByteArray("{\"baseUrl\": \"http://shop.test/\"}") << "http://shop.test/api/"
        << "http://shop.test/cart" << "http://shop.test/products" << QString() << false;
    QTest::newRow("baseUrl without slash is joined unchanged")
        << QByteArray("{\"baseUrl\": \"http://shop.test\"}") << "http://shop.testapi/" << "http://shop.testcart"
        << "http://shop.testproducts" << QString() << false;
    QTest::newRow("empty baseUrl keeps default addresses")
        << QByteArray("{\"baseUrl\": \"\", \"baseUrlW\": \"http://w.test/\"}") << dApi << dCart << dProducts
        << "http://w.test/" << false;
    QTest::newRow("non-string baseUrlW gives empty")
        << QByteArray("{\"baseUrl\": \"http://shop.test/\", \"baseUrlW\": 5}") << "http://shop.test/api/"
        << "http://shop.test/cart" << "http://shop.test/products" << QString() << false;
    QTest::newRow("autoLogin true") << QByteArray("{\"autoLogin\": true}") << dApi << dCart << dProducts << QString()
                                    << true;
}

void TstConfigFile::readConfig()
{
    QFETCH(QByteArray, content);
    if (content != kNoFile)
        writeConfig(content);

    configFile::readConfig();

    QTEST(configFile::apiUrl(), "apiUrl");
    QTEST(configFile::cartUrl(), "cartUrl");
    QTEST(configFile::productsUrl(), "productsUrl");
    QTEST(configFile::baseUrlW(), "baseUrlW");
    QTEST(configFile::autoLogin(), "autoLogin");
}

void TstConfigFile::badStartupFiles_data()
{
    QTest::addColumn<int>("kind");  // a special file kind, or -1 for a regular file of `bytes`
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<bool>("read");
    QTest::addColumn<QString>("why");

    const QString notRegular = QStringLiteral("不是普通文件");
    const QString tooLarge = QStringLiteral("超过1048576字节");
    QTest::newRow("fifo") << int(specialfiles::Fifo) << qint64(0) << false << notRegular;
    QTest::newRow("link to /dev/zero") << int(specialfiles::LinkToZero) << qint64(0) << false << notRegular;
    QTest::newRow("socket") << int(specialfiles::Socket) << qint64(0) << false << notRegular;
    QTest::newRow("link to a fifo") << int(specialfiles::LinkToFifo) << qint64(0) << false << notRegular;
    QTest::newRow("one byte over the limit") << -1 << RegularFile::kStartupFileLimit + 1 << false << tooLarge;
    QTest::newRow("at the limit is read") << -1 << RegularFile::kStartupFileLimit << true << QString();
}

void TstConfigFile::badStartupFiles()
{
    QFETCH(int, kind);
    QFETCH(qint64, bytes);
    QFETCH(bool, read);
    QFETCH(QString, why);

    QVERIFY(QDir().mkdir(QStringLiteral("data")));
    const QStringList names{QStringLiteral("data/config.json"), QStringLiteral("data/error.json")};
    if (kind < 0) {
        // Valid JSON padded with spaces to the size under test.
        const QByteArray config = "{\"baseUrl\": \"http://big.test/\"}";
        const QByteArray table = "{\"net.error\": \"网络错误\"}";
        for (const QByteArray &json : {config, table}) {
            QFile file(names.at(json == config ? 0 : 1));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(json + QByteArray(int(bytes - json.size()), ' '));
        }
    } else {
        for (const QString &name : names)
            QVERIFY(specialfiles::make(specialfiles::Kind(kind), QDir::current().absoluteFilePath(name), m_dir->path()));
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
    for (const QString &name : names) {
        const QString line = QStringLiteral("未读取%1：%2，沿用默认值").arg(name, why);
        QCOMPARE(logged.contains(line), !read);
    }
}

void TstConfigFile::requestTimeoutHeldInRange_data()
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

void TstConfigFile::requestTimeoutHeldInRange()
{
    QFETCH(QByteArray, value);
    writeConfig("{\"requestTimeout\": " + value + "}");
    configFile::readConfig();
    QTEST(configFile::requestTimeoutSec(), "seconds");
}

QTEST_GUILESS_MAIN(TstConfigFile)
#include "tst_configfile.moc"
