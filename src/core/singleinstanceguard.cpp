#include "core/singleinstanceguard.h"

#include <QDir>
#include <QLockFile>
#include <QStandardPaths>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <unistd.h>
#endif

SingleInstanceGuard::SingleInstanceGuard() = default;

// The Windows handle is never closed: the system releases the mutex when the
// process ends. The lock file is removed when the guard goes at exit, and a
// crashed holder's file is recognised as stale by the next start.
SingleInstanceGuard::~SingleInstanceGuard() = default;

#ifdef Q_OS_WIN

bool SingleInstanceGuard::tryAcquire(const QString &name)
{
    HANDLE handle = CreateMutexW(nullptr, TRUE, reinterpret_cast<LPCWSTR>(name.utf16()));
    if (handle && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(handle);
        return false;
    }
    m_handle = handle;
    return true;
}

#else

bool SingleInstanceGuard::tryAcquire(const QString &name)
{
    // The runtime folder is per user; the uid keeps the fallback per user too.
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    const QString path = QStringLiteral("%1/%2-%3.lock").arg(dir, name).arg(getuid());
    auto lock = std::make_unique<QLockFile>(path);
    // A holder that lives long is still the holder; only a dead one is stale.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
        return false;
    m_lock = std::move(lock);
    return true;
}

#endif
