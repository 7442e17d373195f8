#include "intake/filedigest.h"

#include <QCryptographicHash>
#include <QFile>

QString fileMd5Hex(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QCryptographicHash hash(QCryptographicHash::Md5);
    QByteArray block(1 << 20, Qt::Uninitialized);
    forever {
        const qint64 n = file.read(block.data(), block.size());
        if (n < 0)
            return QString();
        if (n == 0)
            break;
        hash.addData(QByteArrayView(block.constData(), n));
    }
    return QString::fromLatin1(hash.result().toHex());
}
