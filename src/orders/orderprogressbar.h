#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;

// The progress of one uploading order in its list row: a thin bar, the
// percentage and a status word.
class orderProgressBar final : public QWidget
{
    Q_OBJECT

public:
    explicit orderProgressBar(int total, QWidget *parent = nullptr);

    // True when the order counts as complete.
    bool setProgress(int uploaded);

    QString percentText() const;
    QString statusText() const;
    int value() const;

private:
    int m_total;
    QProgressBar *m_orderProgress;
    QLabel *m_uploadPencent;
    QLabel *m_labelSUDU;
};
