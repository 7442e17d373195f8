#pragma once

#include <QList>
#include <QString>

#include "catalog/composesizemess.h"

// One SKU: a page-count range of one bound item with its page geometry.
struct skuMess
{
    qint32 id = 0;
    qint32 spuId = 0;
    qint32 skuGroupId = 0;
    qint32 composeSizeGroupId = 0;
    QString skuFrontName;
    qint32 basePage = 0;
    qint32 maxPage = 0;
    qint32 baseStep = 0;
    qint32 coverPage = 0;
    bool specialLayout = false;
    bool isComposeHalfP = false;
    bool isSeries = false;
    bool specialPrint = false; // gold stamp
    float basePagePrice = 0.0f;
    float baseStepPrice = 0.0f;
    float onlineBaseStepPrice = 0.0f;
    float startupsBasePagePrice = 0.0f;
    float startupsBaseStepPrice = 0.0f;
    double onlineSalePrice = 0.0;
    QString coverPdfPage;
    QString textPdfPage;
    QString otherPdfPage;
    bool noQrCode = true;
    bool isBase = false; // cover images count as pages
    QString pageListText;
    QString otherPageType;
    composeSizeMess cover;
    composeSizeMess text;
    composeSizeMess other;

    // No bound item has more pages; a larger count is a catalogue typo.
    static constexpr qint32 kMaxPages = 1000;

    // Empty when the page range can be offered, otherwise the operator's
    // text of what is wrong with it.
    QString rangeProblem() const;
    // basePage, basePage + baseStep, ... up to maxPage; empty when the range
    // has a problem. A step of 0 is allowed only when basePage equals maxPage.
    QList<qint32> pageCounts() const;
    // "%1P," for every allowed page count.
    static QString pageList(qint32 basePage, qint32 maxPage, qint32 baseStep);
};
