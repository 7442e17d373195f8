#include "store/transactionguard.h"

#include <QDebug>
#include <QSqlError>

TransactionGuard::TransactionGuard(QSqlDatabase &db)
    : m_db(db)
{
}

TransactionGuard::~TransactionGuard()
{
    if (m_began && !m_committed && !m_rolledBack)
        rollback();
}

bool TransactionGuard::begin()
{
    m_began = m_db.transaction();
    if (!m_began)
        qWarning().noquote() << "Failed to begin transaction:" << m_db.lastError().text();
    return m_began;
}

bool TransactionGuard::commit()
{
    m_committed = m_db.commit();
    if (!m_committed)
        qWarning().noquote() << "Failed to commit transaction:" << m_db.lastError().text();
    return m_committed;
}

void TransactionGuard::rollback()
{
    m_rolledBack = true;
    if (!m_db.rollback())
        qWarning().noquote() << "Failed to rollback transaction:" << m_db.lastError().text();
}
