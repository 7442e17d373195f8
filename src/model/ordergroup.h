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

    QHash<QString, QVariant> details; // filled by intake, not read by the store
    QString name;
    QString productName;
    QString skuGroupName;
    qint32 spuID = 0;
    bool ifSeries = false;
    QString orderNo; // groupProductImages::orderNoStamp of its creation, then its first row
    QJsonArray orderJson;
    QString timeCart;
    QStringList skuGroupNames;
    double size = 0.0; // megabytes
    qint32 fileCout = 0;
    qint32 uploadedCount = 0;
    qint32 orderCount = 0;
    // The store account that asked for it to be stored (the session's user
    // id then); its images go out only under that account's login.
    qint32 customerId = 0;
    // The customer orders of a new order, copied so the request does not
    // depend on the page that made them.
    QList<groupProductImages> subOrders;
    QString status;
};

Q_DECLARE_METATYPE(orderGroup)
