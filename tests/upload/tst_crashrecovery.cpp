#include <QCryptographicHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlRecord>
#include <QtTest>

#include "store/shareddatabase.h"
#include "support/queryvalue.h"
#include "support/uploadenvironment.h"
#include "upload/databasethread.h"

// The upload pipeline killed with SIGKILL at random moments and started
// again: in the end every image is stored once, intact, and counted once.
// Order creation killed part-way leaves whole orders or none.
class TstCrashRecovery : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void killedAgainAndAgain();
    void orderCreationKilled();

private:
    QProcess *startAgent(const QStringList &arguments = {});
    QString halfWrittenRows();

    UploadEnvironment m_up;
};

#ifndef CREATION_KILL_FILES
#define CREATION_KILL_FILES 20000
#endif

namespace {
constexpr int kOrders = 8;
constexpr int kPerOrder = 50;
constexpr int kKills = 5;
} // namespace

void TstCrashRecovery::initTestCase()
{
    QVERIFY(m_up.setUp());
    for (int o = 0; o < kOrders; ++o) {
        const QString orderNo = QStringLiteral("K%1").arg(o);
        DatabaseThread::instance().createOrder(m_up.orderWithFiles(orderNo, kPerOrder, 60000 + o * 97));
    }
    DatabaseThread::instance().stop();
    QCOMPARE(queryValue("SELECT count(*) FROM images WHERE status='waiting'").toInt(), kOrders * kPerOrder);
}

QProcess *TstCrashRecovery::startAgent(const QStringList &arguments)
{
    auto *agent = new QProcess(this);
    agent->setProgram(QStringLiteral(UPLOADAGENT_EXECUTABLE));
    agent->setArguments(arguments.isEmpty() ? QStringList{QStringLiteral("--interval"), QStringLiteral("200")}
                                            : arguments);
    agent->setWorkingDirectory(QDir::currentPath());
    agent->setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    agent->start();
    if (!agent->waitForStarted(10000) || !agent->waitForReadyRead(20000))
        qWarning() << "agent did not start" << agent->readAllStandardError();
    return agent;
}

void TstCrashRecovery::killedAgainAndAgain()
{
    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    QStringList progress;
    for (int kill = 0; kill < kKills; ++kill) {
        QProcess *agent = startAgent();
        QTest::qWait(int(random.bounded(150, 900)));
        agent->kill();
        qInfo() << "killed run" << kill;
        QVERIFY(agent->waitForFinished(10000));
        progress << queryValue("SELECT count(*) FROM images WHERE status='uploaded'").toString();
        delete agent;
    }
    // Leases are stamped in whole seconds: the last start comes in a later
    // second than the last kill, so it can tell the killed run's leases
    // from its own and takes every one of them back.
    QTest::qWait(1100);
    QProcess *agent = startAgent();
    qInfo() << "final run started";
    const int total = kOrders * kPerOrder;
    QTRY_COMPARE_WITH_TIMEOUT(queryValue("SELECT count(*) FROM images WHERE status='uploaded'").toInt(), total, 120000);
    agent->kill();
    agent->waitForFinished(10000);

    QCOMPARE(queryValue("SELECT count(*) FROM orders WHERE status='uploaded' AND uploadedCount=fileCout").toInt(),
             kOrders);
    QCOMPARE(queryValue("SELECT count(*) FROM orders o WHERE uploadedCount != "
                        "(SELECT count(*) FROM images i WHERE i.orderId=o.orderNo AND i.status='uploaded')")
                 .toInt(),
             0);

    qInfo() << "all uploaded; checking objects";
    QList<QSqlRecord> rows;
    runQuery(sharedDatabase(), "SELECT url, localPath FROM images", rows);
    int intact = 0;
    for (const QSqlRecord &row : rows) {
        QFile file(row.value(1).toString());
        QVERIFY(file.open(QIODevice::ReadOnly));
        if (QCryptographicHash::hash(m_up.store.get(row.value(0).toString()), QCryptographicHash::Md5)
            == QCryptographicHash::hash(file.readAll(), QCryptographicHash::Md5))
            ++intact;
    }
    QCOMPARE(intact, total);
    const int writes = m_up.store.writes();
    QVERIFY(writes >= total);
    qInfo().noquote() << QStringLiteral("crash test (seed %1): %2 images in %3 orders, %4 kills; uploaded after each "
                                        "kill: %5; %6 writes reached the store (%7 sent again after a kill)")
                             .arg(seed)
                             .arg(total)
                             .arg(kOrders)
                             .arg(kKills)
                             .arg(progress.join(", "))
                             .arg(writes)
                             .arg(writes - total);
}

// Every way an order can be half there; empty when there is none.
QString TstCrashRecovery::halfWrittenRows()
{
    const QStringList checks{
        "SELECT count(*) FROM images WHERE orderId NOT IN (SELECT orderNo FROM orders)",
        "SELECT count(*) FROM subOrders WHERE parentOrderId NOT IN (SELECT orderNo FROM orders)",
        "SELECT count(*) FROM orders o WHERE fileCout != (SELECT count(*) FROM images i WHERE i.orderId = o.orderNo)",
        "SELECT count(*) FROM orders o WHERE orderCount != "
        "(SELECT count(*) FROM subOrders s WHERE s.parentOrderId = o.orderNo)",
    };
    QStringList found;
    for (const QString &sql : checks) {
        if (queryValue(sql).toInt() != 0)
            found << QStringLiteral("%1 from: %2").arg(queryValue(sql).toInt()).arg(sql);
    }
    if (queryValue("PRAGMA quick_check").toString() != QLatin1String("ok"))
        found << queryValue("PRAGMA quick_check").toString();
    return found.join('\n');
}

void TstCrashRecovery::orderCreationKilled()
{
    constexpr int kFiles = CREATION_KILL_FILES;
    constexpr int kOrdersPerRun = kFiles / 50;
    constexpr int kCreationKills = 16;
    const QString folder = m_up.env.path() + QStringLiteral("/class");
    QVERIFY(QDir().mkpath(folder));
    for (int i = 0; i < kFiles; ++i) {
        QFile file(QStringLiteral("%1/%2.jpg").arg(folder).arg(i, 5, 10, QLatin1Char('0')));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::number(i).repeated(16));
    }
    const int ordersBefore = queryValue("SELECT count(*) FROM orders").toInt();

    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    QStringList storedAtKill;
    for (int kill = 0; kill < kCreationKills; ++kill) {
        // Kill points spread from the first order to the last.
        const int target = 1 + kill * (kOrdersPerRun - 2) / (kCreationKills - 1);
        const int before = queryValue("SELECT count(*) FROM orders").toInt();
        QProcess *agent = startAgent({QStringLiteral("--enqueue"), folder});
        int created = 0;
        QByteArray pending;
        while (created < target && agent->state() == QProcess::Running) {
            if (!agent->canReadLine() && !agent->waitForReadyRead(30000))
                break;
            while (agent->canReadLine()) {
                const QByteArray line = agent->readLine();
                if (line.endsWith(" orders created\n"))
                    created = line.split(' ').at(1).toInt();
            }
        }
        // Somewhere inside one of the next orders' transactions.
        QThread::usleep(random.bounded(30000));
        agent->kill();
        QVERIFY(agent->waitForFinished(10000));
        delete agent;
        QVERIFY2(created >= target,
                 qPrintable(QStringLiteral("run %1 reached %2 of %3").arg(kill).arg(created).arg(target)));
        const int stored = queryValue("SELECT count(*) FROM orders").toInt() - before;
        QVERIFY(stored >= created && stored <= kOrdersPerRun);
        const QString broken = halfWrittenRows();
        QVERIFY2(broken.isEmpty(), qPrintable(broken));
        storedAtKill << QString::number(stored);
    }
    qInfo().noquote() << QStringLiteral(
                             "creation kill test (seed %5): %1 files a run, killed %2 times; orders stored at each "
                             "kill (of %3): %4; 0 half-written rows")
                             .arg(kFiles)
                             .arg(kCreationKills)
                             .arg(kOrdersPerRun)
                             .arg(storedAtKill.join(", "))
                             .arg(seed);
    QVERIFY(queryValue("SELECT count(*) FROM orders").toInt() > ordersBefore);
}

QTEST_GUILESS_MAIN(TstCrashRecovery)
#include "tst_crashrecovery.moc"
