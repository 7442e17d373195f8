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
    void initTestCase();
    void secondStartExitsSilently();
    void crashedHolderDoesNotBlock();

private:
    QProcess *startClient(const QString &workDir);

    QTemporaryDir m_root;
    QProcessEnvironment m_env;
};

void TstSingleInstance::initTestCase()
{
    QVERIFY(m_root.isValid());
    QDir root(m_root.path());
    root.mkpath(QStringLiteral("home"));
    root.mkpath(QStringLiteral("runtime"));
    QFile::setPermissions(root.filePath(QStringLiteral("runtime")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_env = QProcessEnvironment::systemEnvironment();
    m_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    m_env.insert(QStringLiteral("HOME"), root.filePath(QStringLiteral("home")));
    m_env.insert(QStringLiteral("XDG_DATA_HOME"), root.filePath(QStringLiteral("home/.local/share")));
    m_env.insert(QStringLiteral("XDG_RUNTIME_DIR"), root.filePath(QStringLiteral("runtime")));
}

QProcess *TstSingleInstance::startClient(const QString &workDir)
{
    QDir().mkpath(workDir);
    auto *process = new QProcess(this);
    process->setProcessEnvironment(m_env);
    process->setWorkingDirectory(workDir);
    process->setProgram(QStringLiteral(CLIENT_EXECUTABLE));
    process->start();
    return process;
}

void TstSingleInstance::secondStartExitsSilently()
{
    const QString firstDir = m_root.filePath(QStringLiteral("first"));
    QProcess *first = startClient(firstDir);
    QVERIFY(first->waitForStarted());
    // "data" appears once the first instance holds the guard and reads its configuration.
    QTRY_VERIFY_WITH_TIMEOUT(QDir(firstDir + QStringLiteral("/data")).exists(), 20000);

    const QString secondDir = m_root.filePath(QStringLiteral("second"));
    QProcess *second = startClient(secondDir);
    QVERIFY(second->waitForFinished(20000));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 1);
    QVERIFY(!QDir(secondDir + QStringLiteral("/data")).exists());
    QCOMPARE(second->readAllStandardOutput(), QByteArray());
    QCOMPARE(first->state(), QProcess::Running);

    first->kill();
    QVERIFY(first->waitForFinished(10000));
}

void TstSingleInstance::crashedHolderDoesNotBlock()
{
    // The previous holder was killed without cleaning up: the next start runs.
    const QString thirdDir = m_root.filePath(QStringLiteral("third"));
    QProcess *third = startClient(thirdDir);
    QVERIFY(third->waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QDir(thirdDir + QStringLiteral("/data")).exists(), 20000);
    QCOMPARE(third->state(), QProcess::Running);
    third->terminate();
    if (!third->waitForFinished(10000)) {
        third->kill();
        third->waitForFinished(10000);
    }
}

QTEST_GUILESS_MAIN(TstSingleInstance)
#include "tst_singleinstance.moc"
