#include <QDirIterator>
#include <QSaveFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

#include "core/apppaths.h"
#include "core/logmanager.h"
#include "core/privatefiles.h"
#include "store/shareddatabase.h"
#include "support/logfile.h"

// The client's folders and files on a fresh home, and on one an earlier
// version made with the default modes: every folder 0700 and every file 0600
// afterwards, what the client writes then included, and nothing outside
// them touched through a link.
class TstPrivateFiles : public QObject
{
    Q_OBJECT

private slots:
    void onlyTheOperatorReads_data()
    {
        QTest::addColumn<bool>("earlier");
        // The fresh home first: the shared database connection stays on it.
        QTest::newRow("fresh home") << false;
        QTest::newRow("made with the old modes") << true;
    }

    void onlyTheOperatorReads()
    {
        QFETCH(bool, earlier);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString home = dir.filePath(QStringLiteral("home"));
        const QString appData = dir.filePath(QStringLiteral("appdata"));
        const QString outside = dir.filePath(QStringLiteral("outside.txt"));
        qputenv("HOME", QFile::encodeName(home));
        AppPaths::setAppDataDir(appData);
        QVERIFY(QDir().mkpath(home));
        if (earlier) {
            const mode_t mask = ::umask(022);
            for (const QString &file :
                 {home + "/.vell/batchDesk1.db", home + "/.vell/batchDesk1.db-journal",
                  home + "/.vell/batchDesk1.db.broken-20250101-080000", appData + "/Setting.ini",
                  appData + "/logs/app_2025-01-01.log", appData + "/logs/aws_sdk/log_2025-01-01.log",
                  appData + "/setup/setup_2.1.exe", appData + "/templates/10101/cover.jpg", outside})
                write(file);
            QVERIFY(QFile::link(outside, appData + "/templates/10101/link.jpg"));
            ::umask(mask);
        }

        PrivateFiles::restrict();
        // What the client writes from then on.
        write(appData + "/templates/20202/page.jpg");
        QSettings settings(appData + "/Setting.ini", QSettings::IniFormat);
        settings.setValue(QStringLiteral("LastFilePath"), dir.path());
        settings.sync();
        if (!earlier) {
            QVERIFY(execStatement(sharedDatabase(), "UPDATE user SET last_login_time='now'"));
            LogManager::logInfo(QStringLiteral("private"));
            QVERIFY(!testlog::rawContent().isEmpty());
        }

        QStringList wrong;
        int seen = 0;
        for (const QString &root : {home + "/.vell", appData}) {
            QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                            QDirIterator::Subdirectories);
            for (QString path = root; !path.isEmpty(); path = it.hasNext() ? it.next() : QString()) {
                struct stat st;
                QVERIFY(::lstat(QFile::encodeName(path).constData(), &st) == 0);
                if (S_ISLNK(st.st_mode))
                    continue;
                ++seen;
                const mode_t expected = S_ISDIR(st.st_mode) ? 0700 : 0600;
                if ((st.st_mode & 0777) != expected)
                    wrong << QStringLiteral("%1 %2").arg(path).arg(st.st_mode & 0777, 0, 8);
            }
        }
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join('\n')));
        // The database, its folder, the logs, the settings and the templates at least.
        QVERIFY(seen >= (earlier ? 16 : 9));
        if (earlier)
            QCOMPARE(QFile::permissions(outside) & 0x0444, QFile::ReadUser | QFile::ReadGroup | QFile::ReadOther);
    }

private:
    static void write(const QString &path)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QSaveFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("x");
        QVERIFY(file.commit());
    }
};

QTEST_MAIN(TstPrivateFiles)
#include "tst_privatefiles.moc"
