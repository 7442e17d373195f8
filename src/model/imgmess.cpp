#include "model/imgmess.h"

bool imgMess::isTurned() const
{
    return IsRotate == 90 || IsRotate == 270;
}

qint32 imgMess::uprightWidth() const
{
    return isTurned() ? height : width;
}

qint32 imgMess::uprightHeight() const
{
    return isTurned() ? width : height;
}
