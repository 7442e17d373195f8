#include <atomic>
#include <limits>
#include <optional>
#include <thread>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "core/apppaths.h"
#include "core/configfile.h"
#include "core/regularfile.h"
#include "core/timeutils.h"
#include "core/vellruntime.h"
#include "support/deadline.h"
#include "support/files.h"
#include "support/logfile.h"
#include "support/specialfiles.h"

namespace {
const QString kDefaultBase = QStringLiteral("http://127.0.0.1:27080/");
const QByteArray kNoFile = QByteArrayLiteral("<no file>");
} // namespace

// What the client holds while it runs: the start-up files it reads, the
// session of the operator, and the one instance it is. Each test runs in a
// fresh working folder, where the client looks for "data/".
class TstRuntime : public QObject
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
        VellRuntime::instance().clear();
    }

    // What the client reads: api|cart|products|baseUrlW|autoLogin|request timeout|the
    // "net.error" text, with both start-up files holding the same content. The rows
    // run in order: "no file" follows a table that held the key.
    void readStartupFiles_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("read");
        const QString addresses = kDefaultBase + "api/|" + kDefaultBase + "cart|https://127.0.0.1:27080/products|";
        const QString fallback = addresses + kDefaultBase + "|false|60|";
        const QString shop = QStringLiteral("http://shop.test/api/|http://shop.test/cart|http://shop.test/products|");
        QTest::newRow("error text, other keys ignored")
            << QByteArray("{\"net.error\": \"网络错误\"}") << addresses + "|false|60|网络错误";
        QTest::newRow("no file keeps defaults") << kNoFile << fallback;
        QTest::newRow("invalid JSON keeps baseUrlW too")
            << QByteArray("{\"baseUrl\": \"http://shop.test/\", ") << fallback;
        QTest::newRow("top-level array keeps defaults") << QByteArray("[\"http://shop.test/\"]") << fallback;
        QTest::newRow("only baseUrl empties baseUrlW")
            << QByteArray("{\"baseUrl\": \"http://shop.test/\"}") << shop + "|false|60|";
        QTest::newRow("baseUrl without slash is joined unchanged")
            << QByteArray("{\"baseUrl\": \"http://shop.test\"}")
            << "http://shop.testapi/|http://shop.testcart|http://shop.testproducts||false|60|";
        QTest::newRow("empty baseUrl keeps default addresses")
            << QByteArray("{\"baseUrl\": \"\", \"baseUrlW\": \"http://w.test/\"}")
            << addresses + "http://w.test/|false|60|";
        QTest::newRow("autoLogin true") << QByteArray("{\"autoLogin\": true}") << addresses + "|true|60|";
        // The request timeout is held between one second and ten minutes.
        const QList<QPair<QByteArray, int>> timeouts{{"30", 30}, {"1e12", 600}, {"0", 60}, {"0.2", 1}, {"\"NaN\"", 60}};
        for (const auto &[value, seconds] : timeouts)
            QTest::addRow("timeout %s", value.constData())
                << "{\"requestTimeout\": " + value + "}" << addresses + "|false|" + QString::number(seconds) + '|';
    }

    void readStartupFiles()
    {
        QFETCH(QByteArray, content);
        if (content != kNoFile) {
            QVERIFY(testfiles::write(QStringLiteral("data/config.json"), content));
            QVERIFY(testfiles::write(QStringLiteral("data/error.json"), content));
        }
        configFile::readConfig();
        VellRuntime::instance().loadErrorTable();
        QTEST(
            QStringList({configFile::apiUrl(), configFile::cartUrl(), configFile::productsUrl(), configFile::baseUrlW(),
                         configFile::autoLogin() ? "true" : "false", QString::number(configFile::requestTimeoutSec()),
                         VellRuntime::instance().errorText(QStringLiteral("net.error"))})
                .join('|'),
            "read");
    }

    // A studio's CA file is named as "data/config.json" is found: relative
    // to the working folder, where it stays when the folder changes.
    void caFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("file"); // as the working folder resolves it; empty: none
        QTest::newRow("relative") << QByteArray("{\"caFile\": \"data/studio-ca.pem\"}") << "data/studio-ca.pem";
        QTest::newRow("absolute") << QByteArray("{\"caFile\": \"/etc/studio/ca.pem\"}") << "/etc/studio/ca.pem";
        QTest::newRow("not named") << QByteArray("{\"baseUrl\": \"https://shop.test/\"}") << QString();
    }

    void caFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, file);
        QVERIFY(testfiles::write(QStringLiteral("data/config.json"), content));
        configFile::readConfig();
        const QString expected = file.isEmpty() ? QString() : QDir::current().absoluteFilePath(file);
        QVERIFY(QDir::setCurrent(m_appData.path()));
        QCOMPARE(configFile::caFile(), expected);
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
                QVERIFY(testfiles::write(it.key(), it.value() + QByteArray(int(bytes - it.value().size()), ' ')));
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

    void isExpired_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("expired");
        const QDateTime now = QDateTime::currentDateTime();
        const QString fmt = QStringLiteral("yyyy-MM-dd hh:mm:ss");
        QTest::newRow("empty") << QString() << true;
        QTest::newRow("one minute ahead") << now.addSecs(60).toString(fmt) << false;
        QTest::newRow("one second ago") << now.addSecs(-1).toString(fmt) << true;
        QTest::newRow("ISO with T does not parse") << now.addSecs(3600).toString(Qt::ISODate) << true;
        QTest::newRow("impossible date") << QStringLiteral("2099-02-30 10:00:00") << true;
    }

    void isExpired()
    {
        QFETCH(QString, text);
        QTEST(TimeUtils::isExpired(text), "expired");
    }

    void readersNeverSeeHalfALogin()
    {
        VellRuntime &rt = VellRuntime::instance();
        const auto login = [&rt](int n) {
            const QString id = QString::number(n);
            rt.applyLogin(QJsonObject{{"userId", n}, {"storeId", n}, {"access_token", "token-" + id}}, "user-" + id,
                          "pass-" + id);
        };
        login(1);
        std::atomic<bool> done{false};
        std::thread writer([&] {
            for (int i = 0; i < 20000; ++i)
                login(1 + i % 2);
            done = true;
        });
        int torn = 0;
        int reads = 0;
        for (; !done; ++reads) {
            const SessionData s = rt.snapshot();
            const QString n = QString::number(s.userId);
            torn += s.storeId != s.userId || s.userName != "user-" + n || s.password != "pass-" + n
                    || s.access_token != "token-" + n;
        }
        writer.join();
        QVERIFY(reads > 0);
        QCOMPARE(torn, 0);
    }

    void numbersThatDoNotFit_data()
    {
        QTest::addColumn<QJsonValue>("value");
        QTest::addColumn<int>("read");
        QTest::newRow("fraction truncated") << QJsonValue(-3.7) << -3;
        QTest::newRow("largest") << QJsonValue(2147483647.0) << 2147483647;
        QTest::newRow("one past largest") << QJsonValue(2147483648.0) << 0;
        QTest::newRow("-1e300") << QJsonValue(-1e300) << 0;
        QTest::newRow("infinity") << QJsonValue(std::numeric_limits<double>::infinity()) << 0;
        QTest::newRow("NaN") << QJsonValue(std::numeric_limits<double>::quiet_NaN()) << 0;
        QTest::newRow("as string") << QJsonValue("20001") << 0;
    }

    void numbersThatDoNotFit()
    {
        QFETCH(QJsonValue, value);
        QFETCH(int, read);
        VellRuntime &session = VellRuntime::instance();
        session.setLoginInfo(QJsonObject{{"userId", value}, {"storeId", value}});
        session.setStoreInfo(QJsonObject{{"addressId", value}, {"startups", value}});
        const SessionData data = session.snapshot();
        QCOMPARE(QList<int>({data.userId, data.storeId, data.addressId, data.startups}), QList<int>(4, read));
    }

    // Starts the real client: a second start must end with code 1 before it
    // reads any configuration (it would create "data" in its working folder).
    void secondStartExitsSilently()
    {
        QDir root(m_dir->path());
        QVERIFY(root.mkpath(QStringLiteral("home")) && root.mkpath(QStringLiteral("runtime")));
        QFile::setPermissions(root.filePath(QStringLiteral("runtime")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_client = QProcessEnvironment::systemEnvironment();
        m_client.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        m_client.insert(QStringLiteral("HOME"), root.filePath(QStringLiteral("home")));
        m_client.insert(QStringLiteral("XDG_DATA_HOME"), root.filePath(QStringLiteral("home/.local/share")));
        m_client.insert(QStringLiteral("XDG_RUNTIME_DIR"), root.filePath(QStringLiteral("runtime")));

        QProcess *first = startHolder(QStringLiteral("first"));
        QVERIFY(first);
        QProcess *second = start(QStringLiteral("second"));
        QVERIFY(second->waitForFinished(20000));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 1);
        QVERIFY(!QDir(root.filePath(QStringLiteral("second/data"))).exists());
        QCOMPARE(second->readAllStandardOutput(), QByteArray());
        QCOMPARE(first->state(), QProcess::Running);

        // The holder killed without cleaning up does not block the next start.
        first->kill();
        QVERIFY(first->waitForFinished(10000));
        QProcess *third = startHolder(QStringLiteral("third"));
        QVERIFY(third);
        third->kill();
        QVERIFY(third->waitForFinished(10000));
    }

private:
    QProcess *start(const QString &name)
    {
        QDir().mkpath(m_dir->filePath(name));
        auto *process = new QProcess(this);
        process->setProcessEnvironment(m_client);
        process->setWorkingDirectory(m_dir->filePath(name));
        process->start(QStringLiteral(CLIENT_EXECUTABLE), QStringList());
        return process;
    }

    // A client that runs on: "data" appears once it holds the guard and reads its configuration.
    QProcess *startHolder(const QString &name)
    {
        QProcess *process = start(name);
        if (!process->waitForStarted())
            return nullptr;
        const QString data = m_dir->filePath(name + QStringLiteral("/data"));
        const bool holds = QTest::qWaitFor([&] { return QDir(data).exists(); }, 20000);
        return holds && process->state() == QProcess::Running ? process : nullptr;
    }

    std::optional<QTemporaryDir> m_dir;
    QTemporaryDir m_appData;
    QString m_oldCwd;
    QProcessEnvironment m_client;
};

QTEST_GUILESS_MAIN(TstRuntime)
#include "tst_runtime.moc"
