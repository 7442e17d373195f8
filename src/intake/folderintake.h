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

    // Files and folders without system leftovers, by name.
    static QStringList entries(const QString &folder);
    // Series: only folders and spreadsheets; frame or stage: only files;
    // album: only folders. An empty folder passes. Entries whose names do
    // not decode are held to the same rule.
    static bool structureOk(const QString &folder, ProductKind kind);
    // One record per entry, numbered from 1 (a skipped spreadsheet keeps its
    // number). A file of a type that cannot be printed carries the message
    // "图片格式不支持：" + its suffix (so does a PDF as a frame or stage) and
    // still gets checked; a special file carries "不是普通文件:" + its name.
    // Entries whose names do not decode come last, each an order carrying
    // "文件名编码无法识别，请重命名:" + the name as far as it can be shown.
    static std::vector<std::unique_ptr<groupProductImages>> createOrders(const QString &folder, const spuMess &spu,
                                                                         const QDateTime &created);
    // Accepted image files: JPG or JPEG (any case), and PDF carried along.
    static bool isAcceptedFile(const QString &path);
};
