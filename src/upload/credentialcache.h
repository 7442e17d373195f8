#pragma once

#include "upload/stscredentials.h"

// The one set of storage credentials of the process, shared by every upload
// thread and renewed by one of them at a time.
class CredentialCache final
{
public:
    CredentialCache() = delete;

    static StsCredentials current();
    static void clear();
    // Fetches a set when the cached one is missing, expired or another
    // account's. False when that fetch failed: the reason is this thread's
    // last HttpUtils result.
    static bool ensure();
    // False when the backend call failed; the cache keeps its values.
    static bool fetch(const QString &key);
    // The store turned `refused` down: it is dropped unless another upload
    // has renewed it meanwhile, and a set is fetched. True, with the set in
    // `fresh`, when that set is usable and differs from the refused one.
    static bool renewAfterRefusal(const StsCredentials &refused, StsCredentials *fresh);
};
