#include "catalog/spumess.h"

ProductKind spuMess::kind() const
{
    if (isSeries)
        return ProductKind::Series;
    if (spuType == QLatin1String("PHOTO_FRAME") || spuType == QLatin1String("STAGE"))
        return ProductKind::FrameOrStage;
    return ProductKind::Album;
}

bool spuMess::allPropertiesChosen() const
{
    for (const dictMess &dict : dicts) {
        if (dict.selectedValue == 0)
            return false;
    }
    return true;
}

void spuMess::updateCandidates()
{
    candidateGroups.clear();
    for (const skuGroupMess &group : groupsById) {
        bool fits = true;
        if (!isSeries) {
            for (const dictMess &dict : dicts) {
                if (group.dictIds.value(dict.id, 0) != dict.selectedValue) {
                    fits = false;
                    break;
                }
            }
        }
        if (fits)
            candidateGroups.append(group);
    }
    if (!candidateGroups.isEmpty() && (isSeries || allPropertiesChosen()))
        currentGroup = candidateGroups.first();
}

void spuMess::replaceGroup(const skuGroupMess &group)
{
    groupsById.insert(group.id, group);
    for (skuGroupMess &candidate : candidateGroups) {
        if (candidate.id == group.id)
            candidate = group;
    }
    if (currentGroup.id == group.id)
        currentGroup = group;
}
