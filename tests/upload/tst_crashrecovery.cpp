#include <QCryptographicHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlRecord>
#include <QtTest>

#include "store/shareddatabase.h"
#include "support/orderbuilder.h"
#include "support/uploadenvironment.h"
#include "upload/databasethread.h"

// The upload pipeline killed with SIGKILL at random moments and started
// again: in the end every image is stored once, intact, and counted once.
class TstCrashRecovery : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void killedAgainAndAgain();

private:
    QProcess *startAgent();
    QVariant value(const QString &sql);

    UploadEnvironment m_up;
};

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
        groupProductImages line = orderbuilder::line(orderNo + "-1", QStringLiteral("顾客%1").arg(o), 1, 2, 0, kPerOrder);
        for (imgMess &page : line.matched[1].innerImages) {
            page.localPath = m_up.writeFile(QStringLiteral("%1/%2.jpg").arg(orderNo, page.name), 60000 + o * 97);
            page.imageName = UploadEnvironment::imageFor(page.localPath).imageName.section('/', -1);
        }
        DatabaseThread::instance().createOrder(orderbuilder::order(orderNo, QStringLiteral("一班"), {line}));
    }
    DatabaseThread::instance().stop();
    QCOMPARE(value("SELECT count(*) FROM images WHERE status='waiting'").toInt(), kOrders * kPerOrder);
}

QVariant TstCrashRecovery::value(const QString &sql)
{
    QList<QSqlRecord> rows;
    runQuery(sharedDatabase(), sql, rows);
    return rows.isEmpty() ? QVariant() : rows.first().value(0);
}

QProcess *TstCrashRecovery::startAgent()
{
    auto *agent = new QProcess(this);
    agent->setProgram(QStringLiteral(UPLOADAGENT_EXECUTABLE));
    agent->setArguments({QStringLiteral("--interval"), QStringLiteral("200")});
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
        progress << value("SELECT count(*) FROM images WHERE status='uploaded'").toString();
        delete agent;
    }
    // Leases are stamped in whole seconds: the last start comes in a later
    // second than the last kill, so it can tell the killed run's leases
    // from its own and takes every one of them back.
    QTest::qWait(1100);
    QProcess *agent = startAgent();
    qInfo() << "final run started";
    const int total = kOrders * kPerOrder;
    QTRY_COMPARE_WITH_TIMEOUT(value("SELECT count(*) FROM images WHERE status='uploaded'").toInt(), total, 120000);
    agent->kill();
    agent->waitForFinished(10000);

    QCOMPARE(value("SELECT count(*) FROM orders WHERE status='uploaded' AND uploadedCount=fileCout").toInt(), kOrders);
    QCOMPARE(value("SELECT count(*) FROM orders o WHERE uploadedCount != "
                   "(SELECT count(*) FROM images i WHERE i.orderId=o.orderNo AND i.status='uploaded')").toInt(), 0);

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
                             .arg(seed).arg(total).arg(kOrders).arg(kKills).arg(progress.join(", ")).arg(writes)
                             .arg(writes - total);
}

QTEST_GUILESS_MAIN(TstCrashRecovery)
#include "tst_crashrecovery.moc"
