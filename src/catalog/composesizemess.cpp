#include "catalog/composesizemess.h"

#include <cmath>

#include "core/jsonnumber.h"

qint32 composeSizeMess::windowMin(float totalMm, qint32 dpi)
{
    const float product = float(dpi) * (totalMm - 0.5f);
    return JsonNumber::saturated(double(product) / 25.4);
}

qint32 composeSizeMess::windowMax(float totalMm, qint32 dpi)
{
    const float product = float(dpi) * (totalMm + 0.5f);
    return JsonNumber::saturated(1 - std::trunc(double(product) / -25.4));
}

void composeSizeMess::computeWindows(qint32 firstDpi, qint32 secondDpi)
{
    minWidth1 = windowMin(totalWidth, firstDpi);
    minHeight1 = windowMin(totalHeight, firstDpi);
    maxWidth1 = windowMax(totalWidth, firstDpi);
    maxHeight1 = windowMax(totalHeight, firstDpi);
    minWidth2 = windowMin(totalWidth, secondDpi);
    minHeight2 = windowMin(totalHeight, secondDpi);
    maxWidth2 = windowMax(totalWidth, secondDpi);
    maxHeight2 = windowMax(totalHeight, secondDpi);
}
