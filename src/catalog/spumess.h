#pragma once

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>

#include "catalog/dictmess.h"
#include "catalog/skugroupmess.h"

// What a dropped folder must hold and how one order is collected.
enum class ProductKind : int { FrameOrStage = 1, Album = 2, Series = 3 };

// The selected product as read from the backend. Check tasks get copies.
struct spuMess
{
    qint32 id = 0;
    qint32 spuMinDpi = 0; // first resolution
    qint32 spuMaxDpi = 0; // second resolution
    QString spuName;
    bool isSeries = false;
    bool startupsSpu = false;
    bool goldStamp = false;
    QString spuType;
    QJsonObject raw;
    skuGroupMess currentGroup;
    QList<skuGroupMess> candidateGroups;
    QMap<qint32, skuGroupMess> groupsById;
    QMap<qint32, dictMess> dicts;

    ProductKind kind() const;
    // True when every property has a chosen value.
    bool allPropertiesChosen() const;
    // Series: every group. Otherwise the groups, ascending id, whose value
    // for every property equals its choice (missing counts as 0); the first
    // becomes current once every property has a choice.
    void updateCandidates();
    // Stores `group` wherever the product holds a copy of it.
    void replaceGroup(const skuGroupMess &group);
};
