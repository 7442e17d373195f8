#pragma once

#include <QObject>
#include <QString>

// Time texts of the session and of the `user` table ("yyyy-MM-dd hh:mm:ss",
// local time). Stateless; callable from any thread.
class TimeUtils final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TimeUtils)

public:
    static TimeUtils &instance();

    static QString currentTime();
    // True for an empty text, a text that does not parse, or a time strictly
    // earlier than now.
    static bool isExpired(const QString &text);

private:
    TimeUtils() = default;
};
