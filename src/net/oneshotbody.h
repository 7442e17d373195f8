#pragma once

#include <QByteArray>
#include <QIODevice>

// A request body that can be read only once. Qt sends a request again by
// itself when the connection closes before the answer; for a POST that the
// backend may already have served that would repeat it (the same cart items
// twice), so with this body the resend fails instead and the call reports an
// error.
class OneShotBody final : public QIODevice
{
public:
    explicit OneShotBody(const QByteArray &data);

    bool isSequential() const override;
    qint64 bytesAvailable() const override;

protected:
    qint64 readData(char *out, qint64 max) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    QByteArray m_data;
    qint64 m_read = 0;
};
