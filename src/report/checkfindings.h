#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include "catalog/spumess.h"
#include "model/groupproductimages.h"

// What a photographer needs to put a checked class right: the product's
// rules in plain words and, for every failed order, each page that failed
// with what it is, what it must be and the fix in one sentence. Built from
// the check results alone; the only file it reads is a page's metadata when
// its colour mode must be named.
struct CheckFindings
{
    struct Page
    {
        QString file; // file name as found in the order
        QString path; // the page's file, for its thumbnail; empty when there is none to show
        qint32 rotation = 0;
        QString measured; // "4600 × 2433 像素，300 dpi，RGB，横向"
        QString required; // "4784–4806 × 2422–2444 像素（300 dpi）"
        QString fix;
        QStringList alike; // further pages with the very same finding, shown once
    };

    struct FailedOrder
    {
        QString name;
        QString state;      // exactly as the order list shows it
        QStringList counts; // order-level failures: counts found and allowed, structure
        QList<Page> pages;
    };

    struct MatchedOrder
    {
        QString name;
        QString group;
        qint32 pageCount = 0;
        float price = 0.0f;
    };

    QString account;
    QString className;
    QString product;
    QStringList groupNames;
    QDate date;
    QStringList rules;
    int checked = 0;
    double totalPrice = 0.0; // of the matched orders
    QList<FailedOrder> failed;
    QList<MatchedOrder> matched;

    // `orders` must all have their result.
    static CheckFindings build(const spuMess &spu, const QList<const groupProductImages *> &orders,
                               const QString &account, const QString &className);

    // The rules of one SKU group in plain words, one line each.
    static QStringList rulesOf(const spuMess &spu, const skuGroupMess &group);
};
