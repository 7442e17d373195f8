#pragma once

#include <memory>
#include <vector>

#include <QDateTime>
#include <QStringList>

#include "catalog/spumess.h"
#include "model/groupproductimages.h"

// The rules a dropped class folder meets before any image is read, and the
// order records made from its entries. No dialogs; the page shows those.
class FolderIntake final
{
public:
    FolderIntake() = delete;

    // Files and folders (hidden ones too), without "." and "..", by name.
    static QStringList entries(const QString &folder);
    // Series: only folders and spreadsheets; frame or stage: only files;
    // album: only folders. An empty folder passes.
    static bool structureOk(const QString &folder, ProductKind kind);
    // One record per entry, numbered from 1 (a skipped spreadsheet keeps its
    // number). A file of a type that cannot be printed carries the message
    // "图片格式不支持：" + its suffix and still gets checked.
    static std::vector<std::unique_ptr<groupProductImages>> createOrders(const QString &folder, const spuMess &spu,
                                                                         const QDateTime &created);
    // Accepted image files: JPG or JPEG (any case), and PDF carried along.
    static bool isAcceptedFile(const QString &path);
};
