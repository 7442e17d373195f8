#pragma once

#include <QString>

// One page geometry of a SKU: trim size and bleed in millimetres, and the
// pixel windows (exclusive bounds) at the product's two resolutions.
struct composeSizeMess
{
    float sizeWidth = 0.0f; // doubled for "HALF_PAGE"
    float sizeHeight = 0.0f;
    QString pageTypeCode;
    float totalWidth = 0.0f;  // with bleed left and right
    float totalHeight = 0.0f; // with bleed top and bottom
    float areaWidth = 0.0f;
    float areaHeight = 0.0f;
    qint32 minWidth1 = 0;
    qint32 minHeight1 = 0;
    qint32 minWidth2 = 0;
    qint32 minHeight2 = 0;
    qint32 maxWidth1 = 0;
    qint32 maxHeight1 = 0;
    qint32 maxWidth2 = 0;
    qint32 maxHeight2 = 0;
    float bleedBottom = 0.0f;
    float bleedIn = 0.0f;
    float bleedLeft = 0.0f;
    float bleedRight = 0.0f;
    float bleedTop = 0.0f;

    // An empty geometry is neither shown nor matched.
    bool isEmpty() const { return totalWidth == 0.0f; }

    // Fills the windows for the first and second resolution.
    void computeWindows(qint32 firstDpi, qint32 secondDpi);

    // Exclusive bounds of a side of `totalMm` at `dpi`: half a millimetre
    // either way, in single precision as the shop computes them.
    static qint32 windowMin(float totalMm, qint32 dpi);
    static qint32 windowMax(float totalMm, qint32 dpi);
};
