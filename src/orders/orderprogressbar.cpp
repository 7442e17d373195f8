#include "orders/orderprogressbar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

orderProgressBar::orderProgressBar(int total, QWidget *parent)
    : QWidget(parent)
    , m_total(total)
{
    setObjectName(QStringLiteral("orderProgressBar"));
    resize(400, 47);
    setMaximumHeight(60);
    setWindowTitle(QStringLiteral("Form"));
    auto *verticalLayout = new QVBoxLayout(this);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    verticalLayout->setSpacing(3);
    verticalLayout->setContentsMargins(11, 2, 11, 2);
    auto *widget = new QWidget(this);
    widget->setObjectName(QStringLiteral("widget"));
    widget->setFixedHeight(30);
    verticalLayout->addWidget(widget);
    auto *verticalLayout2 = new QVBoxLayout(widget);
    verticalLayout2->setObjectName(QStringLiteral("verticalLayout_2"));
    verticalLayout2->setSpacing(1);
    verticalLayout2->setContentsMargins(0, 0, 0, 0);
    auto *horizontalLayout = new QHBoxLayout;
    horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));
    horizontalLayout->setSpacing(12);
    verticalLayout2->addLayout(horizontalLayout);
    m_orderProgress = new QProgressBar(widget);
    m_orderProgress->setObjectName(QStringLiteral("orderProgress"));
    m_orderProgress->setFixedHeight(6);
    m_orderProgress->setTextVisible(false);
    horizontalLayout->addWidget(m_orderProgress);
    m_uploadPencent = new QLabel(widget);
    m_uploadPencent->setObjectName(QStringLiteral("uploadPencent"));
    m_uploadPencent->setMaximumWidth(60);
    m_uploadPencent->setAlignment(Qt::AlignCenter);
    horizontalLayout->addWidget(m_uploadPencent);
    m_labelSUDU = new QLabel(widget);
    m_labelSUDU->setObjectName(QStringLiteral("labelSUDU"));
    m_labelSUDU->setFixedHeight(14);
    verticalLayout2->addWidget(m_labelSUDU);

    m_orderProgress->setMaximum(qMax(total, 0));
    setProgress(0);
}

bool orderProgressBar::setProgress(int uploaded)
{
    m_orderProgress->setValue(qBound(0, uploaded, qMax(m_total, 0)));
    // An order without images has nothing to upload and no image will ever
    // report for it: it says so instead of waiting for ever.
    if (m_total <= 0) {
        m_uploadPencent->setText(QStringLiteral("100%"));
        m_labelSUDU->setText(QStringLiteral("无需上传"));
        return false;
    }
    const int pct = int(double(uploaded) / double(m_total) * 100.0);
    if (uploaded == 0) {
        m_uploadPencent->clear();
        m_labelSUDU->setText(QStringLiteral("等待上传…"));
        return false;
    }
    m_uploadPencent->setText(QStringLiteral("%1%").arg(pct));
    if (pct >= 100) {
        m_labelSUDU->setText(QStringLiteral("上传完成"));
        return true;
    }
    m_labelSUDU->setText(QStringLiteral("上传中…"));
    return false;
}

QString orderProgressBar::percentText() const
{
    return m_uploadPencent->text();
}

QString orderProgressBar::statusText() const
{
    return m_labelSUDU->text();
}

int orderProgressBar::value() const
{
    return m_orderProgress->value();
}
