#include "model/suborderimages.h"

#include <algorithm>

#include <QUuid>

namespace {

bool hasPixelPages(const QList<imgMess> &list)
{
    return std::any_of(list.begin(), list.end(), [](const imgMess &m) { return !m.isPdf; });
}

// The first page fixes the size; a page of another exact size sets the flag.
void trackExactSize(const QList<imgMess> &list, const imgMess &image, QSize &size, bool &differ)
{
    if (image.isPdf)
        return;
    const QSize own(image.width, image.height);
    if (!hasPixelPages(list))
        size = own;
    else if (own != size)
        differ = true;
}

} // namespace

subOrderImages::subOrderImages()
    : id(QUuid::createUuid().toString(QUuid::WithBraces))
{
}

void subOrderImages::account(const imgMess &image)
{
    bytes += image.size;
    ++count;
    errors += image.errors;
}

void subOrderImages::addCover(const imgMess &image)
{
    trackExactSize(coverImages, image, coverSize, coverSizesDiffer);
    coverImages.append(image);
    coverImages.last().pageType = QStringLiteral("COVER");
    account(image);
}

void subOrderImages::addSingle(const imgMess &image)
{
    trackExactSize(singleImages, image, singleSize, singleSizesDiffer);
    singleImages.append(image);
    singleImages.last().pageType = QStringLiteral("SINGLE");
    account(image);
}

void subOrderImages::addInner(const imgMess &image)
{
    if (!image.isPdf) {
        if (!hasPixelPages(innerImages)) {
            innerSize = QSize(image.width, image.height);
            innerFirstRotated = image.isTurned();
        } else {
            const QSize reference = innerFirstRotated ? innerSize.transposed() : innerSize;
            if (qAbs(image.uprightWidth() - reference.width()) >= kInnerTolerance
                || qAbs(image.uprightHeight() - reference.height()) >= kInnerTolerance)
                innerSizesDiffer = true;
        }
    }
    innerImages.append(image);
    innerImages.last().pageType = QStringLiteral("TEXT");
    account(image);
}
