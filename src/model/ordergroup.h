#pragma once

#include <QHash>
#include <QJsonArray>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariant>

#include "model/groupproductimages.h"

// One stored order: a class folder whose customer orders are its lines. The
// lists and the order-creation request carry it by value.
struct orderGroup
{
    orderGroup();

    static inline const QString successWord = QStringLiteral("匹配成功");
    static inline const QString failureWord = QStringLiteral("匹配失败");
    static inline const QString waitingWord = QStringLiteral("等待匹配……");
    static inline const QString matchingWord = QStringLiteral("匹配中……");

    QHash<QString, QVariant> details; // filled by intake, not read by the store
    QString name;
    QString productName;
    QString skuGroupName;
    qint32 spuID = 0;
    bool ifSeries = false;
    QString orderNo; // "yyyyMMddhhmmsszzz" of its creation
    QJsonArray orderJson;
    QString timeCart;
    QStringList skuGroupNames;
    double size = 0.0; // megabytes
    qint32 fileCout = 0;
    qint32 uploadedCount = 0;
    qint32 orderCount = 0;
    // The customer orders of a new order, copied so the request does not
    // depend on the page that made them.
    QList<groupProductImages> subOrders;
    QString status;
};

Q_DECLARE_METATYPE(orderGroup)
