#include <cstdio>

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include "core/apppaths.h"
#include "core/logmanager.h"
#include "support/logfile.h"

namespace {

const char *const kChildMode = "--log-then-hang";

// The child: logs "level:text" arguments, says so, and waits to be killed
// without ever stopping its logger.
int logThenHang(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    AppPaths::setAppDataDir(args.at(2));
    for (const QString &arg : args.mid(3))
        LogManager::instance().write(arg.section(QLatin1Char(':'), 0, 0).toInt(), arg.section(QLatin1Char(':'), 1));
    std::puts("queued");
    std::fflush(stdout);
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

    void lineFormatAndLevels()
    {
        LogManager::logDebug(QStringLiteral("d-line"));
        LogManager::logInfo(QStringLiteral("i-line 中文"));
        LogManager::instance().write(LogManager::Warning, QStringLiteral("w-line"));
        LogManager::instance().write(7, QStringLiteral("dropped-line"));
        LogManager::instance().write(-1, QStringLiteral("dropped-too"));
        LogManager::logError(QStringLiteral("e-line {} %s"));

        const QByteArray raw = testlog::rawContent();
        QVERIFY(raw.endsWith("\r\n"));
        QCOMPARE(raw.count("\r\n"), raw.count('\n'));
        QVERIFY(!raw.contains("dropped"));
        const QRegularExpression shape(QStringLiteral(
            "^\\[\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\.\\d{3}\\] \\[(debug|info|warning|critical)\\] (.*)$"));
        QStringList seen;
        for (const QString &line : testlog::lines()) {
            const QRegularExpressionMatch m = shape.match(line);
            QVERIFY2(m.hasMatch(), qPrintable(line));
            seen << m.captured(1) + QLatin1Char('|') + m.captured(2);
        }
        QCOMPARE(seen.mid(seen.size() - 4), (QStringList{"debug|d-line", QStringLiteral("info|i-line 中文"),
                                                         "warning|w-line", "critical|e-line {} %s"}));
        // The timestamp is local time, within a few seconds of now.
        const QDateTime stamp = QDateTime::fromString(testlog::lines().last().mid(1, 23), "yyyy-MM-dd hh:mm:ss.zzz");
        QVERIFY(stamp.isValid());
        QVERIFY(qAbs(stamp.secsTo(QDateTime::currentDateTime())) <= 5);
    }

    void linesOfSeveralThreadsKeepQueueOrder()
    {
        constexpr int threads = 4;
        constexpr int perThread = 500;
        QList<QThread *> workers;
        for (int t = 0; t < threads; ++t) {
            workers << QThread::create([t] {
                for (int i = 0; i < perThread; ++i)
                    LogManager::logInfo(QStringLiteral("worker %1 line %2").arg(t).arg(i));
            });
            workers.last()->start();
        }
        for (QThread *w : workers) {
            QVERIFY(w->wait(30000));
            delete w;
        }
        QList<int> next(threads, 0);
        const QRegularExpression re(QStringLiteral("^worker (\\d) line (\\d+)$"));
        for (const QString &text : testlog::texts()) {
            const QRegularExpressionMatch m = re.match(text);
            if (m.hasMatch())
                QCOMPARE(m.captured(2).toInt(), next[m.captured(1).toInt()]++);
        }
        QCOMPARE(next, QList<int>(threads, perThread));
    }

    void lineQueuedAfterStopIsNeverWritten()
    {
        {
            LogManager manager;
            manager.write(LogManager::Info, QStringLiteral("before stop"));
            QVERIFY(manager.flush());
            manager.stop();
            QVERIFY(!manager.isRunning());
            manager.write(LogManager::Info, QStringLiteral("after stop"));
            QVERIFY(!manager.flush(200));
        }
        const QStringList texts = testlog::texts();
        QVERIFY(texts.contains(QStringLiteral("before stop")));
        QVERIFY(!texts.contains(QStringLiteral("after stop")));
    }

    // Lines of every level, an error among them, written and then killed.
    void killedProcessLeavesItsLines()
    {
        const QStringList lines{"1:before crash", "3:网络错误:Connection refused", "3:网络错误:Connection refused",
                                "0:trailing debug"};
        const QStringList expected{"[info] before crash", "[critical] 网络错误:Connection refused",
                                   "[debug] trailing debug"};
        const QString appData = m_dir.path() + QStringLiteral("/child");
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    QStringList{QString::fromLatin1(kChildMode), appData} + lines);
        QVERIFY(child.waitForStarted());
        QByteArray out;
        QTRY_VERIFY((out += child.readAllStandardOutput()).contains("queued") || child.state() != QProcess::Running);
        QCOMPARE(child.state(), QProcess::Running);

        // Nothing stops or flushes the child's logger: the lines must reach the
        // disk by themselves while it runs.
        const auto hasAll = [&] {
            QFile file(testlog::todaysFile(appData + QStringLiteral("/logs")));
            const QString text = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
            return std::all_of(expected.begin(), expected.end(),
                               [&](const QString &line) { return text.contains(line + QStringLiteral("\r\n")); });
        };
        QTRY_VERIFY_WITH_TIMEOUT(hasAll(), 3000);
        child.kill();
        QVERIFY(child.waitForFinished());
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        QVERIFY(hasAll());
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
