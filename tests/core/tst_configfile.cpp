#include <memory>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "core/configfile.h"

class TstConfigFile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void readConfig_data();
    void readConfig();
    void requestTimeoutHeldInRange_data();
    void requestTimeoutHeldInRange();

private:
    void writeConfig(const QByteArray &content);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_oldCwd;
};

namespace {
const QString kDefaultBase = QStringLiteral("http://127.0.0.1:27080/");
const QByteArray kNoFile = QByteArrayLiteral("<no file>");
} // namespace

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
