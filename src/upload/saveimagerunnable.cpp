#include "upload/saveimagerunnable.h"

#include <QFileInfo>

#include "core/configfile.h"
#include "core/logmanager.h"
#include "upload/awsutils.h"

SaveImageRunnable::SaveImageRunnable(const imgMess &image)
    : m_image(image)
{
    setAutoDelete(false);
}

QString SaveImageRunnable::publicUrl(const imgMess &image)
{
    const QString fileName = QFileInfo(image.localPath).fileName();
    const QString suffix = fileName.contains(QLatin1Char('.')) ? fileName.section(QLatin1Char('.'), -1) : QString();
    return configFile::imageHost()
           + QStringLiteral("/%3/%1.%2").arg(image.imageName, suffix, AwsUtils::bucketName(image.BucketType));
}

QString SaveImageRunnable::problemText(AwsUtils::Failure failure, const QString &reason)
{
    switch (failure) {
    case AwsUtils::Failure::Certificate:
        return reason;
    case AwsUtils::Failure::FileMissing:
        return QStringLiteral("本地图片不存在");
    case AwsUtils::Failure::FileChanged:
        return QStringLiteral("图片在检查后被修改");
    default:
        return QString();
    }
}

void SaveImageRunnable::run()
{
    imgMess image = m_image;
    if (!QFileInfo::exists(image.localPath))
        LogManager::logError(QStringLiteral("本地图片不存在：") + image.localPath);

    const QString address = publicUrl(image);
    // The recorded size and MD5 are those of the checked file, so a file
    // gone since its upload is still recognised at the store.
    const qint64 size = image.size > 0 ? image.size : QFileInfo(image.localPath).size();
    if (image.mayBeStored && AwsUtils::isStored(address, size, image.imageName.section(QLatin1Char('/'), -1))) {
        image.url = address;
        emit runOver(image);
    } else {
        AwsUtils storage;
        image.url = storage.upload(image.localPath, image.imageName, image.BucketType);
        if (!image.url.isEmpty())
            emit runOver(image);
        else
            emit uploadFailed(image, problemText(storage.lastFailure(), storage.lastReason()));
    }
    m_done.store(true, std::memory_order_release);
}
