#include "report/reportwriting.h"

#include <memory>

#include <QThread>

#include "report/checkreport.h"

ReportWriting::ReportWriting(QObject *parent)
    : QObject(parent)
{
}

ReportWriting::~ReportWriting()
{
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
    }
}

bool ReportWriting::start(const CheckFindings &findings, const QString &path)
{
    if (m_thread)
        return false;
    auto error = std::make_shared<QString>();
    m_thread = QThread::create([findings, path, error] {
        CheckReport report(findings);
        report.write(path, error.get());
    });
    connect(m_thread, &QThread::finished, this, [this, path, error] {
        m_thread->deleteLater();
        m_thread = nullptr;
        emit finished(path, *error);
    });
    m_thread->start(QThread::LowPriority);
    return true;
}
