#include "orders/uploadlimitbox.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>

#include "upload/sendlimit.h"

UploadLimitBox::UploadLimitBox(QWidget *parent)
    : QWidget(parent)
    , m_box(new QSpinBox(this))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 0, 12, 0);
    layout->addWidget(new QLabel(QStringLiteral("上传限速"), this));
    m_box->setObjectName(QStringLiteral("uploadLimit"));
    m_box->setRange(0, 10000);
    m_box->setSuffix(QStringLiteral(" Mbit/s"));
    m_box->setSpecialValueText(QStringLiteral("不限"));
    SendLimit::loadSetting();
    m_box->setValue(int(SendLimit::mbit()));
    layout->addWidget(m_box);
    connect(m_box, QOverload<int>::of(&QSpinBox::valueChanged), this, &SendLimit::saveSetting);
}
