#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include "store/passwordvault.h"
#include "support/files.h"

// The keychain a test talks to. With a service: a private D-Bus session bus
// and a gnome-keyring daemon on it, unlocked with an empty password, both
// stopped with this object. Without: a session bus address where nothing
// listens, as on a machine without any keychain. The keychain finds the bus
// through DBUS_SESSION_BUS_ADDRESS, so start() comes before the first
// keychain call of the process.
class SecretService
{
public:
    ~SecretService() { stop(); }

    bool start(bool withService)
    {
        if (!m_dir.isValid())
            return false;
        const QString bus = QStringLiteral("unix:path=") + m_dir.filePath(QStringLiteral("bus"));
        if (!withService) {
            qputenv("DBUS_SESSION_BUS_ADDRESS", bus.toUtf8());
            return !PasswordVault::available();
        }
        // A bus that starts no service on demand: a keychain call that came
        // before ours registered would otherwise start another daemon, with
        // the bus's environment and no unlocked keyring, that outlives the test.
        const QString config = m_dir.filePath(QStringLiteral("bus.conf"));
        if (!testfiles::write(
                config,
                QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
                               "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                               "<busconfig><type>session</type><listen>%1</listen><auth>EXTERNAL</auth>"
                               "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                               "<allow eavesdrop=\"true\"/><allow own=\"*\"/>"
                               "</policy></busconfig>\n")
                    .arg(bus)
                    .toUtf8()))
            return false;
        m_bus.start(QStringLiteral("dbus-daemon"),
                    {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                     QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
        if (!m_bus.waitForStarted() || !m_bus.waitForReadyRead(10000))
            return false;
        const QByteArray address = m_bus.readLine().trimmed();
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QString::fromUtf8(address));
        // The keyring files go to the test's folder, not the real home.
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.path());
        m_keyring.setProcessEnvironment(env);
        m_keyring.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_keyring.start(
            QStringLiteral("gnome-keyring-daemon"),
            {QStringLiteral("--foreground"), QStringLiteral("--unlock"), QStringLiteral("--components=secrets")});
        if (!m_keyring.waitForStarted())
            return false;
        // The empty password as a line: with no byte at all the daemon makes
        // no login keyring, and storing would ask a prompter nobody answers.
        m_keyring.write("\n");
        m_keyring.closeWriteChannel();
        QElapsedTimer waited;
        waited.start();
        // Reads answer before the daemon has made its login keyring: ready
        // once a password can be stored.
        while (waited.elapsed() < 15000) {
            if (PasswordVault::store(QStringLiteral("probe"), QStringLiteral("x")) == PasswordVault::Status::Ok)
                return PasswordVault::forget(QStringLiteral("probe")) == PasswordVault::Status::Ok;
            QThread::msleep(100);
        }
        return false;
    }

    void stop()
    {
        // Killing a process that is not running does nothing.
        for (QProcess *p : {&m_keyring, &m_bus}) {
            p->kill();
            p->waitForFinished(5000);
        }
    }

private:
    QTemporaryDir m_dir;
    QProcess m_bus;
    QProcess m_keyring;
};
