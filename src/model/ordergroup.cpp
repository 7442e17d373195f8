#include "model/ordergroup.h"

#include <QDateTime>

orderGroup::orderGroup()
    : orderNo(QDateTime::currentDateTime().toString(groupProductImages::orderNoStamp))
    , status(groupProductImages::waitText)
{
}
