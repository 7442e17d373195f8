#pragma once

#include <memory>
#include <unordered_map>

#include <QList>
#include <QObject>
#include <QThreadPool>

#include "catalog/spumess.h"
#include "catalog/storeterms.h"
#include "model/groupproductimages.h"

// The dropped orders under check: owns their records and runs one check task
// per check on a pool of its own. A task works on a copy of its own and the
// result replaces the record only if no later check of it started and the
// record is still held, so nothing reads a record half-written. Lives on the
// thread that uses it (the GUI thread).
class OrderChecks final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OrderChecks)

public:
    explicit OrderChecks(QObject *parent = nullptr);
    // Drops the checks not yet started and waits for the running ones.
    ~OrderChecks() override;

    // Holds `record` from now on; the pointer stays valid until release().
    groupProductImages *adopt(std::unique_ptr<groupProductImages> record);
    // Checks the record as it is now; a check of it still running is
    // superseded.
    void check(groupProductImages *record, const spuMess &product, const StoreTerms &terms);
    void release(const QList<groupProductImages *> &records);
    // Drops the checks not yet started.
    void cancelQueued() { m_pool.clear(); }

    int held() const { return int(m_records.size()); }
    QThreadPool *pool() { return &m_pool; }

signals:
    // The record took its check's result.
    void checked(groupProductImages *record, bool flag);

private:
    struct Owned
    {
        std::unique_ptr<groupProductImages> record;
        quint64 check = 0; // the number of its latest check
    };
    std::unordered_map<const groupProductImages *, Owned> m_records;
    QThreadPool m_pool;
};
