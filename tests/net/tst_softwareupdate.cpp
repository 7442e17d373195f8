#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

#include "core/apppaths.h"
#include "net/softwareupdate.h"
#include "support/backendprocess.h"
#include "support/clientenvironment.h"
#include "support/logfile.h"

// The update check against the local backend's version offer.
class TstSoftwareUpdate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void compareVersion_data();
    void compareVersion();
    void versionIsTheBuilds();
    void upToDateEmptiesTheSetupFolder();
    void forcedUpdateIsDownloadedThenStarted();
    void spoiledDownloadLeavesNothing_data();
    void spoiledDownloadLeavesNothing();
    void versionNamingAPathIsRefused_data();
    void versionNamingAPathIsRefused();
    void declining_data();
    void declining();

private:
    void offer(const QString &version, const QJsonValue &forced, const QString &url = QString());
    SoftwareUpdate *updater();

    BackendProcess m_backend;
    ClientEnvironment m_env;
    QList<QPair<QString, bool>> m_prompts;
    QStringList m_started;
    int m_exits = 0;
    int m_declines = 0;  // answers "no" this many times, then "yes"
    int m_starterFailures = 0;
};

void TstSoftwareUpdate::initTestCase()
{
    QVERIFY(m_backend.start());
    QVERIFY(m_env.setUp(QJsonObject{{"baseUrl", m_backend.baseUrl()}}));
}

void TstSoftwareUpdate::init()
{
    QDir(AppPaths::setupDir()).removeRecursively();
    m_prompts.clear();
    m_started.clear();
    m_exits = 0;
    m_declines = 0;
    m_starterFailures = 0;
    m_backend.reset();
}

void TstSoftwareUpdate::offer(const QString &version, const QJsonValue &forced, const QString &url)
{
    m_backend.control("version", QJsonObject{{"version", version},
                                             {"downloadUrl", url.isNull() ? "{base}/download/setup" + version + ".exe" : url},
                                             {"context", "1. 上传更稳定\\n2. 修复已知问题"},
                                             {"isForcedUpdate", forced}});
}

SoftwareUpdate *TstSoftwareUpdate::updater()
{
    auto *u = new SoftwareUpdate([this](const QString &text, bool forced) {
        m_prompts << qMakePair(text, forced);
        return m_declines-- <= 0;
    }, this);
    u->setStarter([this](const QString &path) {
        if (m_starterFailures > 0) {
            --m_starterFailures;
            return false;
        }
        m_started << path;
        return true;
    });
    u->setExit([this] { ++m_exits; });
    return u;
}

void TstSoftwareUpdate::compareVersion_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("result");
    QTest::newRow("trailing zero is equal") << "2.1.1.0" << "2.1.1" << 0;
    QTest::newRow("numbers, not text") << "2.1.1.0" << "2.1.10" << -1;
    QTest::newRow("newer than 2.1.0.9") << "2.1.1.0" << "2.1.0.9" << 1;
    QTest::newRow("odd part counts as 0") << "2.x.1" << "2.0.1" << 0;
    QTest::newRow("empty offer") << "2.1.1.0" << "" << 1;
}

void TstSoftwareUpdate::compareVersion()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QTEST(SoftwareUpdate::compareVersion(a, b), "result");
}

// The client, its update comparison and the Windows version resource all
// carry the one version of the build.
void TstSoftwareUpdate::versionIsTheBuilds()
{
    const QString current = SoftwareUpdate::currentVersion();
    QCOMPARE(current.split(QLatin1Char('.')).size(), 4);
    QCOMPARE(SoftwareUpdate::compareVersion(current, QStringLiteral(PROJECT_VERSION_TEXT)), 0);

    QFile rc(QStringLiteral(VERSION_RESOURCE));
    QVERIFY(rc.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(rc.readAll());
    const QString commas = QString(current).replace(QLatin1Char('.'), QLatin1Char(','));
    for (const QString &key : {QStringLiteral("FILEVERSION"), QStringLiteral("PRODUCTVERSION")})
        QVERIFY2(QRegularExpression(QStringLiteral("^%1\\s+%2$").arg(key, commas),
                                    QRegularExpression::MultilineOption).match(text).hasMatch(), qPrintable(key));
    QCOMPARE(text.count(QStringLiteral("\"%1\\0\"").arg(current)), 2);  // FileVersion, ProductVersion
    QVERIFY(!text.contains(QLatin1Char('@')));
}

void TstSoftwareUpdate::upToDateEmptiesTheSetupFolder()
{
    // On the first start the folder is not there yet: nothing to report.
    offer("2.1.1", 0);
    updater()->checkUpdate();
    QVERIFY(testlog::texts().filter("Directory does not exist").isEmpty());
    QDir().mkpath(AppPaths::setupDir() + "/old/deeper");
    QFile(AppPaths::setupDir() + "/setup2.0.0.exe").open(QIODevice::WriteOnly);
    updater()->checkUpdate();
    QCOMPARE(QDir(AppPaths::setupDir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"Setting.ini"});
    QSettings settings(AppPaths::setupDir() + "/Setting.ini", QSettings::IniFormat);
    QCOMPARE(settings.value("version/newVersion").toString(), QStringLiteral("2.1.1"));
    QCOMPARE(settings.value("version/isForcedUpdate").toBool(), false);
    QVERIFY(m_prompts.isEmpty());
}

void TstSoftwareUpdate::forcedUpdateIsDownloadedThenStarted()
{
    offer("2.2.0", 1);
    SoftwareUpdate *u = updater();
    QSignalSpy done(u, &SoftwareUpdate::downloadFinished);
    u->checkUpdate();
    QVERIFY(m_prompts.isEmpty());
    QTRY_COMPARE(done.size(), 1);
    QCOMPARE(done.first().first().toBool(), true);
    QFile installer(AppPaths::setupDir() + "/setup2.2.0.exe");
    QVERIFY(installer.open(QIODevice::ReadOnly));
    QVERIFY(installer.readAll().contains("setup2.2.0.exe"));
    QCOMPARE(m_prompts.size(), 1);
    QVERIFY(m_prompts.first().second);
    QCOMPARE(m_exits, 1);
    QSettings settings(AppPaths::setupDir() + "/Setting.ini", QSettings::IniFormat);
    QCOMPARE(settings.value("version/isForcedUpdate").toBool(), true);
}

void TstSoftwareUpdate::spoiledDownloadLeavesNothing_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("connection dropped half-way") << "truncated";
    QTest::newRow("not found") << "http404";
    QTest::newRow("web page with status 200") << "page";
    QTest::newRow("no executable header") << "notinstaller";
}

void TstSoftwareUpdate::spoiledDownloadLeavesNothing()
{
    QFETCH(QString, fault);
    const QString installer = AppPaths::setupDir() + "/setup2.2.0.exe";
    offer("2.2.0", 0);
    m_backend.fault("/download/", fault);
    SoftwareUpdate *first = updater();
    QSignalSpy failed(first, &SoftwareUpdate::downloadFinished);
    first->checkUpdate();
    QTRY_COMPARE(failed.size(), 1);
    QCOMPARE(failed.first().first().toBool(), false);
    QCOMPARE(QDir(AppPaths::setupDir()).entryList(QDir::Files), QStringList{"Setting.ini"});
    QVERIFY(m_prompts.isEmpty());

    // The next start is not stuck with a broken file: it downloads again.
    SoftwareUpdate *next = updater();
    QSignalSpy saved(next, &SoftwareUpdate::downloadFinished);
    next->checkUpdate();
    QTRY_COMPARE(saved.size(), 1);
    QCOMPARE(saved.first().first().toBool(), true);
    QCOMPARE(m_started, QStringList{installer});
    QVERIFY(!QFileInfo::exists(SoftwareUpdate::partialPath(installer)));
}

void TstSoftwareUpdate::versionNamingAPathIsRefused_data()
{
    QTest::addColumn<QString>("version");
    QTest::newRow("slashes") << "9.0/../../evil";
    QTest::newRow("backslashes") << "9.0\\..\\..\\evil";
    QTest::newRow("drive or stream colon") << "9.0:evil";
}

void TstSoftwareUpdate::versionNamingAPathIsRefused()
{
    QFETCH(QString, version);
    offer(version, 1);
    updater()->checkUpdate();
    QVERIFY(m_prompts.isEmpty());
    QVERIFY(m_started.isEmpty());
    QVERIFY(testlog::texts().contains("Update version is not a file name:" + version));
    QSettings settings(AppPaths::setupDir() + "/Setting.ini", QSettings::IniFormat);
    QCOMPARE(settings.value("version/newVersion").toString(), version);
}

void TstSoftwareUpdate::declining_data()
{
    QTest::addColumn<bool>("forced");
    QTest::addColumn<int>("prompts");
    QTest::addColumn<QStringList>("started");
    QTest::newRow("optional: one no is final") << false << 1 << QStringList();
    QTest::newRow("forced: asked until confirmed") << true << 3 << QStringList{AppPaths::setupDir() + "/setup2.2.0.exe"};
}

void TstSoftwareUpdate::declining()
{
    QFETCH(bool, forced);
    QDir().mkpath(AppPaths::setupDir());
    QFile present(AppPaths::setupDir() + "/setup2.2.0.exe");
    QVERIFY(present.open(QIODevice::WriteOnly));
    present.close();
    offer("2.2.0", forced ? 1 : 0);
    m_declines = 2;
    updater()->checkUpdate();
    QTEST(int(m_prompts.size()), "prompts");
    QTEST(m_started, "started");
}

QTEST_GUILESS_MAIN(TstSoftwareUpdate)
#include "tst_softwareupdate.moc"
