#pragma once

#include <QWidget>

class QSpinBox;

// "上传限速" beside the queue progress: the operator's limit for all uploads
// together in Mbit/s (0 none), kept in Setting.ini and applied at once, also
// while uploads run.
class UploadLimitBox final : public QWidget
{
    Q_OBJECT

public:
    explicit UploadLimitBox(QWidget *parent = nullptr);

private:
    QSpinBox *m_box;
};
