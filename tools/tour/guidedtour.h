#pragma once

#include <functional>

#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

class MainWindow;
class QWidget;

// Walks the real main window along the whole road an operator takes: log in,
// choose each sample product, drop its class, tick and submit the matched
// orders, wait for the uploads, add them to the cart. Every step leaves a
// numbered screenshot and a line; the page shows them in order.
class GuidedTour final : public QObject
{
    Q_OBJECT

public:
    struct SampleClass
    {
        QString product; // what the operator types into the search
        QString folder;  // the class folder to drop
    };

    GuidedTour(MainWindow &window, const QString &outDir);
    ~GuidedTour() override;

    void setUploadTimeoutMs(int ms) { m_uploadTimeoutMs = ms; }
    // False when a step could not be done; the steps so far are on the page.
    bool run(const QString &phone, const QString &password, const QList<SampleClass> &classes);
    QString pagePath() const;
    int stepCount() const { return int(m_steps.size()); }
    QString failure() const { return m_failure; }
    const QList<QUrl> &openedUrls() const { return m_opened; }

public slots:
    // Stands in for the system browser: the cart page is named, not opened.
    void openUrl(const QUrl &url) { m_opened << url; }

private:
    struct Step
    {
        QString file;
        QString caption;
    };

    bool login(const QString &phone, const QString &password);
    bool dropClass(const SampleClass &sample, bool last);
    bool waitForUploads();
    bool addToCart();
    void shot(QWidget *widget, const QString &caption);
    void answerDialogs(const QString &button);
    bool waitUntil(const std::function<bool()> &done, int timeoutMs);
    bool fail(const QString &why);
    void writePage() const;

    MainWindow &m_window;
    QString m_outDir;
    QList<Step> m_steps;
    QList<QUrl> m_opened;
    QString m_failure;
    QString m_answer;
    int m_uploadTimeoutMs = 600000;
};
