#pragma once

#include <QObject>
#include <QString>

#include "report/checkfindings.h"

class QThread;

// Writes a check report on a thread of its own, so a class of hundreds of
// orders does not hold the window while its thumbnails are made. One report
// at a time; lives on the thread that starts it.
class ReportWriting final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ReportWriting)

public:
    explicit ReportWriting(QObject *parent = nullptr);
    // Waits for a report still being written.
    ~ReportWriting() override;

    // False while a report is being written.
    bool start(const CheckFindings &findings, const QString &path);
    bool busy() const { return m_thread != nullptr; }

signals:
    // `error` is empty when the file is written.
    void finished(const QString &path, const QString &error);

private:
    QThread *m_thread = nullptr;
};
