#include <QtTest>

#include "core/apppaths.h"
#include "net/httputils.h"
#include "net/softwareupdate.h"
#include "support/backendprocess.h"
#include "support/clientenvironment.h"
#include "support/files.h"
#include "support/logfile.h"

// The update check against the local backend's version offer.
class TstSoftwareUpdate : public QObject
{
    Q_OBJECT

public:
    // How the local backend signs its installer.
    enum Signing { Signed, Unsigned, OtherBytes, Garbage };
    Q_ENUM(Signing)
    enum Key { BuiltIn, NoKey, OtherSigner };
    Q_ENUM(Key)
    enum Present { Nothing, SignedFile, TamperedFile };
    Q_ENUM(Present)

private slots:
    void initTestCase()
    {
        QVERIFY(m_backend.start());
        QVERIFY(m_env.setUp(QJsonObject{{"baseUrl", m_backend.baseUrl()}}));
    }

    void init()
    {
        QDir(AppPaths::setupDir()).removeRecursively();
        m_case = Case();
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
        QVERIFY(testfiles::write(AppPaths::setupDir() + "/old/deeper/setup2.0.0.exe", "MZ"));
        updater()->checkUpdate();
        QCOMPARE(QDir(AppPaths::setupDir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{"Setting.ini"});
        QVERIFY(m_case.asked.isEmpty());
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
            QVERIFY(m_case.asked.isEmpty());
            QTRY_COMPARE(finished.size(), 1);
            QCOMPARE(finished.first().first().toBool(), saved);
            QCOMPARE(QDir(AppPaths::setupDir()).entryList(QDir::Files),
                     (saved ? QStringList{"Setting.ini", "setup2.2.0.exe"} : QStringList{"Setting.ini"}));
            QCOMPARE(int(m_case.asked.size()), int(saved));
        }
        QVERIFY(testfiles::read(installer).contains("setup2.2.0.exe"));
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
        testfiles::write(installer, signedInstaller(version)); // unchecked: a version naming a path may make no file
        offer(version, int(forced));
        m_case.declines = 2;
        updater()->checkUpdate();
        QTEST(int(m_case.asked.size()), "prompts");
        QCOMPARE(m_case.started, started ? QStringList{installer} : QStringList());
        QCOMPARE(setting("newVersion").toString(), version);
    }

    // Only an installer whose bytes carry the offer's signature under the
    // built-in key is ever started, downloaded or found in the setup folder,
    // and checked again after the question. Anything else is removed and the
    // operator is offered the download page; optional offers accept it, forced
    // ones close it and must not be asked again.
    void onlySignedInstallersStart_data()
    {
        QTest::addColumn<Signing>("signing");
        QTest::addColumn<Key>("key");
        QTest::addColumn<bool>("forced");
        QTest::addColumn<Present>("present"); // already in the setup folder
        QTest::addColumn<bool>("swapped");    // replaced while the operator is asked
        QTest::addColumn<QStringList>("asked");
        QTest::addColumn<QString>("refusal"); // logged reason; empty: started
        const QStringList install{"install"}, byHand{"by hand"}, both{"install", "by hand"};
        const QString mismatch = "signature does not match";
        const QString garbage = "signature is not 64 bytes in base64";
        const QString noKey = "no update key built in";
        for (const bool forced : {false, true}) {
            const char *f = forced ? ", forced" : "";
            QTest::addRow("signed%s", f) << Signed << BuiltIn << forced << Nothing << false << install << QString();
            QTest::addRow("unsigned%s", f)
                << Unsigned << BuiltIn << forced << Nothing << false << byHand << "no signature";
            QTest::addRow("tampered file present%s", f)
                << Signed << BuiltIn << forced << TamperedFile << false << byHand << mismatch;
        }
        QTest::newRow("signed other bytes") << OtherBytes << BuiltIn << false << Nothing << false << byHand << mismatch;
        QTest::newRow("garbage signature") << Garbage << BuiltIn << false << Nothing << false << byHand << garbage;
        QTest::newRow("another signer's key")
            << Signed << OtherSigner << false << Nothing << false << byHand << mismatch;
        QTest::newRow("no key built in") << Signed << NoKey << false << Nothing << false << byHand << noKey;
        QTest::newRow("no key built in, signed file present, forced")
            << Signed << NoKey << true << SignedFile << false << byHand << noKey;
        QTest::newRow("signed file present")
            << Signed << BuiltIn << false << SignedFile << false << install << QString();
        QTest::newRow("swapped while asked") << Signed << BuiltIn << false << Nothing << true << both << mismatch;
        QTest::newRow("present file swapped while asked, forced")
            << Signed << BuiltIn << true << SignedFile << true << both << mismatch;
    }

    void onlySignedInstallersStart()
    {
        QFETCH(Signing, signing);
        QFETCH(Key, key);
        QFETCH(bool, forced);
        QFETCH(Present, present);
        QFETCH(bool, swapped);
        QFETCH(QStringList, asked);
        QFETCH(QString, refusal);
        const QString installer = AppPaths::setupDir() + "/setup2.2.0.exe";
        const QByteArray genuine = signedInstaller("2.2.0");
        if (present != Nothing)
            QVERIFY(testfiles::write(installer, present == SignedFile ? genuine : genuine + "tampered"));
        offer("2.2.0", int(forced), signing);
        if (swapped)
            m_case.whileAsked = [&] { testfiles::write(installer, "MZ another program"); };
        testlog::Follower log;
        log.newTexts();

        SoftwareUpdate *update = updater();
        if (key == NoKey)
            update->setUpdateKey(QByteArray());
        else if (key == OtherSigner)
            update->setUpdateKey("d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a");
        QSignalSpy finished(update, &SoftwareUpdate::downloadFinished);
        update->checkUpdate();
        if (present == Nothing && key != NoKey)
            QTRY_COMPARE(finished.size(), 1);

        const bool started = refusal.isEmpty();
        QCOMPARE(m_case.asked, asked);
        QCOMPARE(m_case.forced, QList<bool>(asked.size(), forced));
        QCOMPARE(m_case.started, started ? QStringList{installer} : QStringList());
        QCOMPARE(m_case.exits, int(started));
        QCOMPARE(QDir(AppPaths::setupDir()).entryList(QDir::Files),
                 (started ? QStringList{"Setting.ini", "setup2.2.0.exe"} : QStringList{"Setting.ini"}));
        const QUrl page(m_backend.baseUrl() + "download/setup2.2.0.exe");
        QCOMPARE(m_case.opened, started || forced ? QList<QUrl>() : QList<QUrl>{page});
        const QStringList refusals = log.newTexts().filter("Installer not started");
        QCOMPARE(refusals.size(), int(!started));
        if (!started)
            QVERIFY2(refusals.first().startsWith("Installer not started, " + refusal + ":"),
                     qPrintable(refusals.first()));
    }

private:
    // What the local backend serves, and signs, as the installer of `version`.
    QByteArray signedInstaller(const QString &version)
    {
        return LoopbackProcess::fetch(m_backend.baseUrl() + "download/setup" + version + ".exe");
    }

    static QVariant setting(const char *key)
    {
        return QSettings(AppPaths::setupDir() + "/Setting.ini", QSettings::IniFormat)
            .value("version/" + QLatin1String(key));
    }

    void offer(const QString &version, int forced, Signing signing = Signed)
    {
        QJsonObject answer{{"version", version},
                           {"downloadUrl", "{base}/download/setup" + version + ".exe"},
                           {"context", "1. 上传更稳定\\n2. 修复已知问题"},
                           {"isForcedUpdate", forced}};
        if (signing == Unsigned)
            answer.insert("signing", "none");
        else if (signing == OtherBytes)
            answer.insert("signing", "other");
        else if (signing == Garbage)
            answer.insert("signature", "!!not a signature!!");
        m_backend.control("version", answer);
    }

    SoftwareUpdate *updater()
    {
        auto *u = new SoftwareUpdate(
            [this](SoftwareUpdate::Question question, const QString &, bool forced) {
                const bool byHand = question == SoftwareUpdate::Question::InstallByHand;
                m_case.asked << (byHand ? "by hand" : "install");
                m_case.forced << forced;
                if (byHand)
                    return !forced || m_case.asked.count("by hand") > 1;
                if (m_case.whileAsked)
                    m_case.whileAsked();
                return m_case.declines-- <= 0;
            },
            this);
        u->setStarter([this](const QString &path) {
            m_case.started << path;
            return true;
        });
        u->setExit([this] { ++m_case.exits; });
        u->setBrowser([this](const QUrl &url) {
            m_case.opened << url;
            return true;
        });
        return u;
    }

    BackendProcess m_backend;
    ClientEnvironment m_env;
    // How the operator answers in a case, and what the updater did.
    struct Case
    {
        QStringList asked; // "install" or "by hand", per question
        QList<bool> forced;
        QStringList started;
        QList<QUrl> opened;
        std::function<void()> whileAsked;
        int exits = 0;
        int declines = 0; // answers "no" this many times, then "yes"
    } m_case;
};

QTEST_GUILESS_MAIN(TstSoftwareUpdate)
#include "tst_softwareupdate.moc"
