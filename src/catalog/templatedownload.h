#pragma once

#include <atomic>

#include <QList>
#include <QObject>
#include <QStringList>
#include <QThreadPool>

struct spuMess;
class QUrl;

// Fetches the template images of a product's gold-stamp groups into a folder
// of their own under AppPaths::templatesDir(), on a thread of its own, and
// reports once with finished(). The addresses and the product's name come
// from the backend: only http and https are fetched, every file stays inside
// its folder, and a file is replaced only by a complete new one. Lives on the
// GUI thread.
class TemplateDownload final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TemplateDownload)

public:
    // Layered print-resolution templates run to tens of MB; past this an
    // answer is no template.
    static constexpr qint64 kMaxBytes = 64 * 1024 * 1024;

    struct Outcome
    {
        QString folder;       // native separators; empty when no folder was made
        QStringList saved;    // file names written
        QStringList problems; // one operator text per refused or failed step

        // What the page shows: where the files are, then every problem.
        QString text() const;
    };

    explicit TemplateDownload(QObject *parent = nullptr);
    // Stops a running download at its next step and waits for it.
    ~TemplateDownload() override;

    // False, and nothing started, while a download runs.
    bool start(const spuMess &product);
    bool isRunning() const { return m_running; }

    // The product's folder under the templates folder, named by its id alone;
    // empty for an id that is not positive.
    static QString folderFor(qint32 spuId);
    // The last segment of `url`'s path as one file name safe on every system;
    // `fallback` when nothing usable is left of it.
    static QString fileNameFor(const QUrl &url, const QString &fallback);
    // Why `url` is not fetched; empty when it may be.
    static QString refusal(const QUrl &url);
    // True when `path` resolves, links followed, to a place below `root`.
    static bool staysInside(const QString &path, const QString &root);

signals:
    void finished(const TemplateDownload::Outcome &outcome);

private:
    // Pool thread.
    Outcome fetch(qint32 spuId, const QList<qint32> &skuIds);
    bool save(const QString &address, const QString &folder, const QString &fallback, QStringList *used,
              Outcome *outcome);

    QThreadPool m_pool;
    std::atomic<bool> m_stop{false};
    bool m_running = false;
};
