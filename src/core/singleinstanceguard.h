#pragma once

#include <QString>

#include <memory>

class QLockFile;

// Holds the system-wide, per-user claim that this process is the running
// instance. On Windows a named mutex, elsewhere a lock file in the user's
// runtime folder; both are released by the system when the process ends.
class SingleInstanceGuard final
{
public:
    SingleInstanceGuard();
    ~SingleInstanceGuard();
    SingleInstanceGuard(const SingleInstanceGuard &) = delete;
    SingleInstanceGuard &operator=(const SingleInstanceGuard &) = delete;

    // False when another live process already holds `name`.
    bool tryAcquire(const QString &name);

private:
#ifdef Q_OS_WIN
    void *m_handle = nullptr;
#else
    std::unique_ptr<QLockFile> m_lock;
#endif
};
