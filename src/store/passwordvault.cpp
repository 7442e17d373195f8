#include "store/passwordvault.h"

#include <QEventLoop>

#include <qt6keychain/keychain.h>

namespace {

const QString kService = QStringLiteral("orderdesk");

PasswordVault::Status statusOf(QKeychain::Error error)
{
    switch (error) {
    case QKeychain::NoError:
        return PasswordVault::Status::Ok;
    case QKeychain::EntryNotFound:
        return PasswordVault::Status::NotFound;
    case QKeychain::AccessDenied:
    case QKeychain::AccessDeniedByUser:
    case QKeychain::CouldNotDeleteEntry:
        return PasswordVault::Status::Failed;
    default:
        // No backend, or one that does not answer (no Secret Service on the
        // session bus, no session bus at all).
        return PasswordVault::Status::Unavailable;
    }
}

// Runs the job to its end; the keychain's own calls time out, so this ends.
PasswordVault::Status run(QKeychain::Job &job, QString *error)
{
    job.setAutoDelete(false);
    // Never a file of its own beside the keychain: no keychain, no password.
    job.setInsecureFallback(false);
    QEventLoop loop;
    bool done = false;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, [&] {
        done = true;
        loop.quit();
    });
    job.start();
    if (!done)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (error)
        *error = job.errorString();
    return statusOf(job.error());
}

} // namespace

PasswordVault::Status PasswordVault::store(const QString &phone, const QString &password, QString *error)
{
    QKeychain::WritePasswordJob job(kService);
    job.setKey(phone);
    job.setTextData(password);
    return run(job, error);
}

QString PasswordVault::read(const QString &phone, Status *status)
{
    QKeychain::ReadPasswordJob job(kService);
    job.setKey(phone);
    const Status result = run(job, nullptr);
    if (status)
        *status = result;
    return result == Status::Ok ? job.textData() : QString();
}

PasswordVault::Status PasswordVault::forget(const QString &phone)
{
    QKeychain::DeletePasswordJob job(kService);
    job.setKey(phone);
    const Status result = run(job, nullptr);
    return result == Status::NotFound ? Status::Ok : result;
}

bool PasswordVault::available()
{
    Status status = Status::Unavailable;
    // An entry no phone number has: found or not, the keychain answered.
    read(QStringLiteral("-"), &status);
    return status == Status::Ok || status == Status::NotFound;
}
