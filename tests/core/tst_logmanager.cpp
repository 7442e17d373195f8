#include <cstdio>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include "core/apppaths.h"
#include "core/logmanager.h"
#include "support/logfile.h"

namespace {

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

class TstLogManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // Missing parents too: the writer creates the whole path.
        AppPaths::setAppDataDir(m_dir.path() + QStringLiteral("/app data/nested"));
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
        const QString appData = m_dir.path() + QStringLiteral("/child");
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

private:
    QTemporaryDir m_dir;
};

int main(int argc, char **argv)
{
    if (argc > 2 && qstrcmp(argv[1], kChildMode) == 0)
        return logThenHang(argc, argv);
    QCoreApplication app(argc, argv);
    TstLogManager test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_logmanager.moc"
