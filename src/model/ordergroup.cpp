#include "model/ordergroup.h"

#include <QDateTime>

orderGroup::orderGroup()
    : orderNo(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddhhmmsszzz")))
    , status(waitingWord)
{
}
