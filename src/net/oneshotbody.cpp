#include "net/oneshotbody.h"

#include <cstring>

OneShotBody::OneShotBody(const QByteArray &data)
    : m_data(data)
{
    open(QIODevice::ReadOnly);
}

bool OneShotBody::isSequential() const
{
    return true;
}

qint64 OneShotBody::bytesAvailable() const
{
    return m_data.size() - m_read + QIODevice::bytesAvailable();
}

qint64 OneShotBody::readData(char *out, qint64 max)
{
    const qint64 n = qMin(max, qint64(m_data.size()) - m_read);
    std::memcpy(out, m_data.constData() + m_read, size_t(n));
    m_read += n;
    return n;
}

qint64 OneShotBody::writeData(const char *, qint64)
{
    return -1;
}
