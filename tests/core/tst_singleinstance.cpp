#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// Starts the real client: a second start must end with code 1 before it reads
// any configuration (it would create "data" in its working folder).
class TstSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void secondStartExitsSilently()
    {
        QVERIFY(m_root.isValid());
        QDir root(m_root.path());
        QVERIFY(root.mkpath(QStringLiteral("home")) && root.mkpath(QStringLiteral("runtime")));
        QFile::setPermissions(root.filePath(QStringLiteral("runtime")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        m_env.insert(QStringLiteral("HOME"), root.filePath(QStringLiteral("home")));
        m_env.insert(QStringLiteral("XDG_DATA_HOME"), root.filePath(QStringLiteral("home/.local/share")));
        m_env.insert(QStringLiteral("XDG_RUNTIME_DIR"), root.filePath(QStringLiteral("runtime")));

        QProcess *first = startHolder(QStringLiteral("first"));
        QVERIFY(first);
        QProcess *second = start(QStringLiteral("second"));
        QVERIFY(second->waitForFinished(20000));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 1);
        QVERIFY(!QDir(m_root.filePath(QStringLiteral("second/data"))).exists());
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
        QDir().mkpath(m_root.filePath(name));
        auto *process = new QProcess(this);
        process->setProcessEnvironment(m_env);
        process->setWorkingDirectory(m_root.filePath(name));
        process->start(QStringLiteral(CLIENT_EXECUTABLE), QStringList());
        return process;
    }

    // A client that runs on: "data" appears once it holds the guard and reads its configuration.
    QProcess *startHolder(const QString &name)
    {
        QProcess *process = start(name);
        if (!process->waitForStarted())
            return nullptr;
        const QString data = m_root.filePath(name + QStringLiteral("/data"));
        const bool holds = QTest::qWaitFor([&] { return QDir(data).exists(); }, 20000);
        return holds && process->state() == QProcess::Running ? process : nullptr;
    }

    QTemporaryDir m_root;
    QProcessEnvironment m_env;
};

QTEST_GUILESS_MAIN(TstSingleInstance)
#include "tst_singleinstance.moc"
