#include <memory>

#include <QSqlRecord>
#include <QtTest>

#include "support/queryvalue.h"
#include "support/uploadenvironment.h"
#include "upload/databasethread.h"

#ifndef CREATION_KILL_FILES
#define CREATION_KILL_FILES 20000
#endif

namespace {
constexpr int kOrders = 8;
constexpr int kPerOrder = 50;
constexpr int kKills = 5;
} // namespace

// The upload pipeline killed with SIGKILL at random moments and started
// again: in the end every image is stored once, intact, and counted once.
// Order creation killed part-way leaves whole orders or none.
class TstCrashRecovery : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_up.setUp());
        for (int o = 0; o < kOrders; ++o)
            DatabaseThread::instance().createOrder(
                m_up.orderWithFiles(QStringLiteral("K%1").arg(o), kPerOrder, 60000 + o * 97));
        DatabaseThread::instance().stop();
        QCOMPARE(count("SELECT count(*) FROM images WHERE status='waiting'"), kOrders * kPerOrder);
        qInfo() << "random seed" << m_seed;
    }

    void killedAgainAndAgain()
    {
        for (int kill = 0; kill < kKills; ++kill) {
            std::unique_ptr<QProcess> agent(startAgent());
            QTest::qWait(int(m_random.bounded(150, 900)));
            agent->kill();
            QVERIFY(agent->waitForFinished(10000));
        }
        // Leases are stamped in whole seconds: the last start comes in a later
        // second than the last kill, so it can tell the killed run's leases
        // from its own and takes every one of them back.
        QTest::qWait(1100);
        std::unique_ptr<QProcess> agent(startAgent());
        const int total = kOrders * kPerOrder;
        QTRY_COMPARE_WITH_TIMEOUT(count("SELECT count(*) FROM images WHERE status='uploaded'"), total, 120000);
        agent->kill();
        agent->waitForFinished(10000);
        QCOMPARE(count("SELECT count(*) FROM orders WHERE status='uploaded' AND uploadedCount=fileCout"), kOrders);

        QList<QSqlRecord> rows;
        runQuery(sharedDatabase(), "SELECT url, localPath FROM images", rows);
        for (const QSqlRecord &row : rows)
            QCOMPARE(m_up.store.get(row.value(0).toString()), testfiles::read(row.value(1).toString()));
        qInfo() << m_up.store.writes() - total << "images sent again after a kill";
    }

    void orderCreationKilled()
    {
        constexpr int kFiles = CREATION_KILL_FILES;
        constexpr int kOrdersPerRun = kFiles / 50;
        constexpr int kCreationKills = 16;
        const QString folder = m_up.env.path() + QStringLiteral("/class");
        for (int i = 0; i < kFiles; ++i)
            QVERIFY(testfiles::write(QStringLiteral("%1/%2.jpg").arg(folder).arg(i, 5, 10, QLatin1Char('0')),
                                     QByteArray::number(i).repeated(16)));
        // Every way an order can be half there.
        const char *halfWritten =
            "SELECT (SELECT count(*) FROM images WHERE orderId NOT IN (SELECT orderNo FROM orders))"
            " + (SELECT count(*) FROM subOrders WHERE parentOrderId NOT IN (SELECT orderNo FROM orders))"
            " + (SELECT count(*) FROM orders o WHERE fileCout != (SELECT count(*) FROM images i WHERE i.orderId = "
            "o.orderNo))"
            " + (SELECT count(*) FROM orders o WHERE orderCount != "
            "(SELECT count(*) FROM subOrders s WHERE s.parentOrderId = o.orderNo))";
        for (int kill = 0; kill < kCreationKills; ++kill) {
            // Kill points spread from the first order to the last.
            const int target = 1 + kill * (kOrdersPerRun - 2) / (kCreationKills - 1);
            const int before = count("SELECT count(*) FROM orders");
            std::unique_ptr<QProcess> agent(startAgent({QStringLiteral("--enqueue"), folder}));
            int created = 0;
            while (created < target && agent->state() == QProcess::Running
                   && (agent->canReadLine() || agent->waitForReadyRead(30000))) {
                while (agent->canReadLine()) {
                    const QByteArray line = agent->readLine();
                    if (line.endsWith(" orders created\n"))
                        created = line.split(' ').at(1).toInt();
                }
            }
            // Somewhere inside one of the next orders' transactions.
            QThread::usleep(m_random.bounded(30000));
            agent->kill();
            QVERIFY(agent->waitForFinished(10000));
            QVERIFY2(created >= target,
                     qPrintable(QStringLiteral("run %1 reached %2 of %3").arg(kill).arg(created).arg(target)));
            const int stored = count("SELECT count(*) FROM orders") - before;
            QVERIFY(stored >= created && stored <= kOrdersPerRun);
            QCOMPARE(count(halfWritten), 0);
            QCOMPARE(queryValue("PRAGMA quick_check").toString(), QStringLiteral("ok"));
        }
    }

private:
    QProcess *startAgent(const QStringList &arguments = {"--interval", "200"})
    {
        auto *agent = new QProcess(this);
        agent->start(QStringLiteral(UPLOADAGENT_EXECUTABLE), arguments);
        if (!agent->waitForStarted(10000) || !agent->waitForReadyRead(20000))
            qWarning() << "agent did not start" << agent->readAllStandardError();
        return agent;
    }

    static int count(const char *sql) { return queryValue(sql).toInt(); }

    UploadEnvironment m_up;
    const quint32 m_seed = QRandomGenerator::global()->generate();
    QRandomGenerator m_random{m_seed};
};

QTEST_GUILESS_MAIN(TstCrashRecovery)
#include "tst_crashrecovery.moc"
