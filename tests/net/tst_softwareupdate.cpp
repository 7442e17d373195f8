#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

#include "core/apppaths.h"
#include "net/httputils.h"
#include "net/softwareupdate.h"
#include "support/backendprocess.h"
#include "support/clientenvironment.h"
#include "support/logfile.h"

// The update check against the local backend's version offer.
class TstSoftwareUpdate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_backend.start());
        QVERIFY(m_env.setUp(QJsonObject{{"baseUrl", m_backend.baseUrl()}}));
    }

    void init()
    {
        QDir(AppPaths::setupDir()).removeRecursively();
        m_prompts.clear();
        m_started.clear();
        m_exits = 0;
        m_declines = 0;
        m_backend.reset();
    }

    void compareVersion_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("result");
        QTest::newRow("trailing zero is equal") << "2.1.1.0" << QStringLiteral("2.1.1") << 0;
        QTest::newRow("numbers, not text") << "2.1.9" << QStringLiteral("2.1.10") << -1;
        QTest::newRow("odd part counts as 0") << "2.x.1" << QStringLiteral("2.0.1") << 0;
        QTest::newRow("empty offer") << "2.1.1.0" << QString() << 1;
    }

    void compareVersion()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QTEST(SoftwareUpdate::compareVersion(a, b), "result");
    }

    // The client, its update comparison and the Windows version resource all
    // carry the one version of the build.
    void versionIsTheBuilds()
    {
        const QString current = SoftwareUpdate::currentVersion();
        QCOMPARE(current.split(QLatin1Char('.')).size(), 4);
        QCOMPARE(SoftwareUpdate::compareVersion(current, QStringLiteral(PROJECT_VERSION_TEXT)), 0);

        QFile rc(QStringLiteral(VERSION_RESOURCE));
        QVERIFY(rc.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(rc.readAll());
        const QString commas = QString(current).replace(QLatin1Char('.'), QLatin1Char(','));
        QCOMPARE(text.count(QRegularExpression(QStringLiteral("^(FILE|PRODUCT)VERSION\\s+%1$").arg(commas),
                                               QRegularExpression::MultilineOption)),
                 2);
        QCOMPARE(text.count(QStringLiteral("\"%1\\0\"").arg(current)), 2); // FileVersion, ProductVersion
        QVERIFY(!text.contains(QLatin1Char('@')));
    }

    void upToDateEmptiesTheSetupFolder()
    {
        // On the first start the folder is not there yet: nothing to report.
        // The check runs before any login, with an empty token.
        offer("2.1.1", 0);
        updater()->checkUpdate();
        QVERIFY(testlog::texts().filter("Directory does not exist").isEmpty());
        const QJsonObject request = m_backend.requests().first().toObject();
        QCOMPARE(request.value("token"), QJsonValue(QString()));
        QCOMPARE(request.value("contentType").toString(), HttpUtils::formType());
        QDir().mkpath(AppPaths::setupDir() + "/old/deeper");
        QFile(AppPaths::setupDir() + "/old/setup2.0.0.exe").open(QIODevice::WriteOnly);
        updater()->checkUpdate();
        QCOMPARE(QDir(AppPaths::setupDir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{"Setting.ini"});
        QVERIFY(m_prompts.isEmpty());
    }

    void spoiledDownloadLeavesNothing_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("forced");
        QTest::newRow("connection dropped half-way") << "truncated" << true;
        QTest::newRow("not found") << "http404" << false;
        QTest::newRow("no executable header") << "notinstaller" << false;
    }

    void spoiledDownloadLeavesNothing()
    {
        QFETCH(QString, fault);
        QFETCH(bool, forced);
        const QString installer = AppPaths::setupDir() + "/setup2.2.0.exe";
        offer("2.2.0", int(forced));
        m_backend.fault("/download/", fault);
        // The next start is not stuck with a broken file: it downloads again,
        // and asks only once the installer is there.
        for (const bool saved : {false, true}) {
            SoftwareUpdate *update = updater();
            QSignalSpy finished(update, &SoftwareUpdate::downloadFinished);
            update->checkUpdate();
            QVERIFY(m_prompts.isEmpty());
            QTRY_COMPARE(finished.size(), 1);
            QCOMPARE(finished.first().first().toBool(), saved);
            QCOMPARE(QDir(AppPaths::setupDir()).entryList(QDir::Files),
                     (saved ? QStringList{"Setting.ini", "setup2.2.0.exe"} : QStringList{"Setting.ini"}));
            QCOMPARE(int(m_prompts.size()), int(saved));
        }
        QFile file(installer);
        QVERIFY(file.open(QIODevice::ReadOnly) && file.readAll().contains("setup2.2.0.exe"));
        QCOMPARE(m_prompts.first().second, forced);
        QCOMPARE(m_started, QStringList{installer});
        QCOMPARE(m_exits, 1);
        QCOMPARE(setting("isForcedUpdate").toBool(), forced);
    }

    // With the installer in place, the operator says no twice, then yes; a
    // version naming a path is never asked about nor started.
    void answers_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<bool>("forced");
        QTest::addColumn<int>("prompts");
        QTest::addColumn<bool>("started");
        QTest::newRow("optional: one no is final") << "2.2.0" << false << 1 << false;
        QTest::newRow("forced: asked until confirmed") << "2.2.0" << true << 3 << true;
        QTest::newRow("slashes") << "9.0/../../evil" << true << 0 << false;
        QTest::newRow("backslashes") << "9.0\\..\\..\\evil" << true << 0 << false;
        QTest::newRow("drive or stream colon") << "9.0:evil" << true << 0 << false;
    }

    void answers()
    {
        QFETCH(QString, version);
        QFETCH(bool, forced);
        QFETCH(bool, started);
        const QString installer = AppPaths::setupDir() + "/setup" + version + ".exe";
        QDir().mkpath(AppPaths::setupDir());
        QFile(installer).open(QIODevice::WriteOnly);
        offer(version, int(forced));
        m_declines = 2;
        updater()->checkUpdate();
        QTEST(int(m_prompts.size()), "prompts");
        QCOMPARE(m_started, started ? QStringList{installer} : QStringList());
        QCOMPARE(setting("newVersion").toString(), version);
    }

private:
    static QVariant setting(const char *key)
    {
        return QSettings(AppPaths::setupDir() + "/Setting.ini", QSettings::IniFormat)
            .value("version/" + QLatin1String(key));
    }

    void offer(const QString &version, int forced)
    {
        m_backend.control("version", QJsonObject{{"version", version},
                                                 {"downloadUrl", "{base}/download/setup" + version + ".exe"},
                                                 {"context", "1. 上传更稳定\\n2. 修复已知问题"},
                                                 {"isForcedUpdate", forced}});
    }

    SoftwareUpdate *updater()
    {
        auto *u = new SoftwareUpdate(
            [this](const QString &text, bool forced) {
                m_prompts << qMakePair(text, forced);
                return m_declines-- <= 0;
            },
            this);
        u->setStarter([this](const QString &path) {
            m_started << path;
            return true;
        });
        u->setExit([this] { ++m_exits; });
        return u;
    }

    BackendProcess m_backend;
    ClientEnvironment m_env;
    QList<QPair<QString, bool>> m_prompts;
    QStringList m_started;
    int m_exits = 0;
    int m_declines = 0; // answers "no" this many times, then "yes"
};

QTEST_GUILESS_MAIN(TstSoftwareUpdate)
#include "tst_softwareupdate.moc"
