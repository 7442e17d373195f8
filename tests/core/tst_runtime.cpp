#include <atomic>
#include <cstdio>
#include <limits>
#include <optional>
#include <thread>
#include <vector>

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include "core/apppaths.h"
#include "core/configfile.h"
#include "core/logmanager.h"
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
const QByteArray kFifo = QByteArrayLiteral("<fifo>");
const char *const kChildMode = "--log-then-hang";

// The child: logs "level:text" arguments and waits to be killed
// without ever stopping its logger.
int logThenHang(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    AppPaths::setAppDataDir(args.at(2));
    for (const QString &arg : args.mid(3))
        LogManager::instance().write(arg.section(QLatin1Char(':'), 0, 0).toInt(), arg.section(QLatin1Char(':'), 1));
    std::getchar();
    return 0;
}
} // namespace

// What the client holds while it runs: the start-up files it reads, the
// session of the operator, its log, and the one instance it is. Each test
// runs in a fresh working folder, where the client looks for "data/".
class TstRuntime : public QObject
{
    Q_OBJECT

private slots:
    // Missing parents too: the log writer creates the whole path.
    void initTestCase() { AppPaths::setAppDataDir(m_appData.path() + QStringLiteral("/app data/nested")); }

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

    // What the client reads: api|cart|products|baseUrlW|autoLogin|request timeout|CA
    // file|the "net.error" text, with both start-up files holding the same content.
    // The rows run in order: "no file" follows a table that held the key.
    void readStartupFiles_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("read");
        const QString addresses = kDefaultBase + "api/|" + kDefaultBase + "cart|https://127.0.0.1:27080/products|";
        const QString fallback = addresses + kDefaultBase + "|false|60||";
        const QString shop = QStringLiteral("http://shop.test/api/|http://shop.test/cart|http://shop.test/products|");
        QTest::newRow("error text, other keys ignored")
            << QByteArray("{\"net.error\": \"网络错误\"}") << addresses + "|false|60||网络错误";
        QTest::newRow("no file keeps defaults") << kNoFile << fallback;
        QTest::newRow("invalid JSON keeps baseUrlW too")
            << QByteArray("{\"baseUrl\": \"http://shop.test/\", ") << fallback;
        QTest::newRow("top-level array keeps defaults") << QByteArray("[\"http://shop.test/\"]") << fallback;
        QTest::newRow("only baseUrl empties baseUrlW")
            << QByteArray("{\"baseUrl\": \"http://shop.test/\"}") << shop + "|false|60||";
        QTest::newRow("baseUrl without slash is joined unchanged")
            << QByteArray("{\"baseUrl\": \"http://shop.test\"}")
            << "http://shop.testapi/|http://shop.testcart|http://shop.testproducts||false|60||";
        QTest::newRow("empty baseUrl keeps default addresses")
            << QByteArray("{\"baseUrl\": \"\", \"baseUrlW\": \"http://w.test/\"}")
            << addresses + "http://w.test/|false|60||";
        QTest::newRow("autoLogin true") << QByteArray("{\"autoLogin\": true}") << addresses + "|true|60||";
        // A studio's CA file is named as "data/config.json" is found: relative to
        // the working folder, where it stays when the folder changes.
        QTest::newRow("CA file, relative")
            << QByteArray("{\"caFile\": \"data/studio-ca.pem\"}") << addresses + "|false|60|<cwd>/data/studio-ca.pem|";
        QTest::newRow("CA file, absolute")
            << QByteArray("{\"caFile\": \"/etc/studio/ca.pem\"}") << addresses + "|false|60|/etc/studio/ca.pem|";
        // The request timeout is held between one second and ten minutes.
        const QList<QPair<QByteArray, int>> timeouts{{"30", 30}, {"1e12", 600}, {"0", 60}, {"0.2", 1}, {"\"NaN\"", 60}};
        for (const auto &[value, seconds] : timeouts)
            QTest::addRow("timeout %s", value.constData())
                << "{\"requestTimeout\": " + value + "}" << addresses + "|false|" + QString::number(seconds) + "||";
        // Neither a FIFO nor a file past the size limit holds up the start (both
        // files are read before any window exists) or is read in part.
        const QByteArray big = QByteArray("{\"baseUrl\": \"http://big.test/\", \"net.error\": \"网络错误\"}")
                                   .leftJustified(RegularFile::kStartupFileLimit, ' ');
        QTest::newRow("FIFOs") << kFifo << fallback;
        QTest::newRow("one byte over the limit") << big + ' ' << fallback;
        QTest::newRow("at the limit is read")
            << big << "http://big.test/api/|http://big.test/cart|http://big.test/products||false|60||网络错误";
    }

    void readStartupFiles()
    {
        QFETCH(QByteArray, content);
        const QStringList files{QStringLiteral("data/config.json"), QStringLiteral("data/error.json")};
        QVERIFY(QDir().mkdir(QStringLiteral("data")));
        for (const QString &file : files) {
            if (content == kFifo)
                QVERIFY(specialfiles::make(specialfiles::Fifo, QDir::current().absoluteFilePath(file), m_dir->path()));
            else if (content != kNoFile)
                QVERIFY(testfiles::write(file, content));
        }
        QVERIFY2(testdeadline::finishes([] {
                     configFile::readConfig();
                     VellRuntime::instance().loadErrorTable();
                 }),
                 "start-up blocked on a configuration file");
        const QString cwd = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_appData.path()));
        QTEST(
            QStringList({configFile::apiUrl(), configFile::cartUrl(), configFile::productsUrl(), configFile::baseUrlW(),
                         configFile::autoLogin() ? "true" : "false", QString::number(configFile::requestTimeoutSec()),
                         configFile::caFile().replace(cwd, QStringLiteral("<cwd>")),
                         VellRuntime::instance().errorText(QStringLiteral("net.error"))})
                .join('|'),
            "read");
        // A file left unread is logged with the reason.
        const QString why = content == kFifo                                  ? QStringLiteral("不是普通文件")
                            : content.size() > RegularFile::kStartupFileLimit ? QStringLiteral("超过1048576字节")
                                                                              : QString();
        for (const QString &file : files)
            QCOMPARE(testlog::texts().contains(QStringLiteral("未读取%1：%2，沿用默认值").arg(file, why)),
                     !why.isEmpty());
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

    void linesOfSeveralThreadsKeepQueueOrder()
    {
        constexpr int threads = 4;
        constexpr int perThread = 500;
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t) {
            workers.emplace_back([t] {
                for (int i = 0; i < perThread; ++i)
                    LogManager::logInfo(QStringLiteral("worker %1 line %2").arg(t).arg(i));
            });
        }
        for (std::thread &w : workers)
            w.join();
        QList<int> next(threads, 0);
        const QRegularExpression re(QStringLiteral("^worker (\\d) line (\\d+)$"));
        for (const QString &text : testlog::texts()) {
            const QRegularExpressionMatch m = re.match(text);
            if (m.hasMatch())
                QCOMPARE(m.captured(2).toInt(), next[m.captured(1).toInt()]++);
        }
        QCOMPARE(next, QList<int>(threads, perThread));
    }

    // Lines of every level and of none, written by a process that is then
    // killed: nothing stops or flushes its logger, so the lines must reach the
    // disk by themselves while it runs.
    void killedProcessLeavesItsLines()
    {
        const QString appData = m_dir->filePath(QStringLiteral("child"));
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {QString::fromLatin1(kChildMode), appData, "0:d-line", QStringLiteral("1:i-line 中文"), "2:w-line",
                     "7:dropped", "-1:dropped", QStringLiteral("3:网络错误:Connection refused {} %s")});
        const QString log = testlog::todaysFile(appData + QStringLiteral("/logs"));
        QTRY_COMPARE_WITH_TIMEOUT(testlog::rawContent(log).count('\n'), 4, 3000);
        child.kill();
        QVERIFY(child.waitForFinished());
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);

        const QByteArray raw = testlog::rawContent(log);
        QVERIFY(raw.endsWith("\r\n"));
        QCOMPARE(raw.count("\r\n"), raw.count('\n'));
        const QRegularExpression shape(QStringLiteral(
            "^\\[\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\.\\d{3}\\] \\[(debug|info|warning|critical)\\] (.*)$"));
        QStringList seen;
        for (const QString &line : QString::fromUtf8(raw).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
            const QRegularExpressionMatch m = shape.match(line);
            QVERIFY2(m.hasMatch(), qPrintable(line));
            seen << m.captured(1) + QLatin1Char('|') + m.captured(2);
        }
        QCOMPARE(seen, (QStringList{"debug|d-line", QStringLiteral("info|i-line 中文"), "warning|w-line",
                                    QStringLiteral("critical|网络错误:Connection refused {} %s")}));
        // The timestamp is local time, within a few seconds of now.
        const QDateTime stamp = QDateTime::fromString(QString::fromLatin1(raw.mid(1, 23)), "yyyy-MM-dd hh:mm:ss.zzz");
        QVERIFY(stamp.isValid());
        QVERIFY(qAbs(stamp.secsTo(QDateTime::currentDateTime())) <= 5);
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

int main(int argc, char **argv)
{
    if (argc > 2 && qstrcmp(argv[1], kChildMode) == 0)
        return logThenHang(argc, argv);
    QCoreApplication app(argc, argv);
    TstRuntime test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_runtime.moc"
