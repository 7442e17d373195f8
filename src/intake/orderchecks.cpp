#include "intake/orderchecks.h"

#include "intake/readimagetoproduct.h"

OrderChecks::OrderChecks(QObject *parent)
    : QObject(parent)
{
}

OrderChecks::~OrderChecks()
{
    m_pool.clear();
    m_pool.waitForDone();
}

groupProductImages *OrderChecks::adopt(std::unique_ptr<groupProductImages> record)
{
    groupProductImages *held = record.get();
    m_records[held].record = std::move(record);
    return held;
}

void OrderChecks::check(groupProductImages *record, const spuMess &product, const StoreTerms &terms)
{
    const auto owned = m_records.find(record);
    if (owned == m_records.end())
        return;
    const quint64 check = ++owned->second.check;
    // Freed with the connection once the result has been delivered or dropped.
    const auto working = std::make_shared<groupProductImages>(*record);
    auto *task = new readImageToProduct(working->path, product, working.get(), false, terms);
    connect(task, &readImageToProduct::productCheckOK, this,
            [this, record, check, working](groupProductImages *, bool flag) {
                const auto it = m_records.find(record);
                if (it == m_records.end() || it->second.check != check)
                    return;
                *record = *working;
                emit checked(record, flag);
            });
    m_pool.start(task, 0);
}

void OrderChecks::release(const QList<groupProductImages *> &records)
{
    for (groupProductImages *record : records)
        m_records.erase(record);
}
