#include "catalog/storeterms.h"

#include "core/vellruntime.h"

StoreTerms StoreTerms::fromSession()
{
    const SessionData s = VellRuntime::instance().snapshot();
    return StoreTerms{s.startups, s.storeType};
}
