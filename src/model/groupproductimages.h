#pragma once

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>

#include "model/suborderimages.h"

// One dropped order (a folder, or one image file for frames and stage
// prints): created by the new-order page, filled by its check task.
struct groupProductImages
{
    static inline const QString failText = QStringLiteral("匹配失败");
    static inline const QString waitText = QStringLiteral("等待匹配……");
    static inline const QString matchingText = QStringLiteral("匹配中……");
    static inline const QString successText = QStringLiteral("匹配成功");
    // The time part of every order number.
    static inline const QString orderNoStamp = QStringLiteral("yyyyMMddhhmmsszzz");

    qint64 totalBytes = 0;
    qint32 imageCount = 0;
    QString orderNo;
    QString message; // group-level errors, appended one after the other
    QList<subOrderImages> createdSubOrders;
    QString name;
    qint32 skuId = 0;
    qint32 skuGroupId = 0;
    float price = 0.0f;
    qint32 pageCount = 0;
    QString className;
    QString path;
    QString productName;
    QMap<qint32, subOrderImages> matched; // SKU id -> sub-order
    QList<subOrderImages> failed;
    // After a miss, the sub-orders matching never reached (those after the
    // failed one, or all when a series had the wrong count), so a report can
    // name what else is wrong.
    QList<subOrderImages> notTried;

    // The order's state as the order list shows it: the message, else the
    // last failed sub-order's first error (or "产品匹配有误：" + its name),
    // else successText.
    QString matchStateText() const;
    bool isMatched() const { return matchStateText() == successText && !matched.isEmpty(); }

    // Empties what one candidate group's attempt filled in.
    void reset();

    // orderNoStamp of `created` followed by the position as three digits.
    static QString makeOrderNo(const QDateTime &created, int position);
};
