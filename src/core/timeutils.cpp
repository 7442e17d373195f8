#include "core/timeutils.h"

#include <QDateTime>

namespace {
const QString kFormat = QStringLiteral("yyyy-MM-dd hh:mm:ss");
}

TimeUtils &TimeUtils::instance()
{
    static TimeUtils utils;
    return utils;
}

QString TimeUtils::currentTime()
{
    return QDateTime::currentDateTime().toString(kFormat);
}

bool TimeUtils::isExpired(const QString &text)
{
    if (text.isEmpty())
        return true;
    const QDateTime when = QDateTime::fromString(text, kFormat);
    if (!when.isValid())
        return true;
    return when < QDateTime::currentDateTime();
}
