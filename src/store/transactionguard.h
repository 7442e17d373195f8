#pragma once

#include <QSqlDatabase>

// Rolls back a transaction that began but was not committed when the guard
// goes out of scope.
class TransactionGuard final
{
public:
    explicit TransactionGuard(QSqlDatabase &db);
    ~TransactionGuard();
    TransactionGuard(const TransactionGuard &) = delete;
    TransactionGuard &operator=(const TransactionGuard &) = delete;

    bool begin();
    bool commit();
    void rollback();

    bool began() const { return m_began; }
    bool committed() const { return m_committed; }

private:
    QSqlDatabase &m_db;
    bool m_began = false;
    bool m_committed = false;
    bool m_rolledBack = false;
};
