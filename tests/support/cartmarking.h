#pragma once

#include "store/shareddatabase.h"

namespace cartmarking {

// While blocked, marking orders "CARTOK" fails as on a file that can no
// longer be written; every other statement still works.
inline bool block(bool blocked)
{
    execStatement(sharedDatabase(), QStringLiteral("DROP TRIGGER IF EXISTS blockCart"));
    return !blocked
           || execStatement(sharedDatabase(),
                            QStringLiteral("CREATE TRIGGER blockCart BEFORE UPDATE OF status ON orders "
                                           "WHEN NEW.status='CARTOK' BEGIN SELECT RAISE(ABORT, 'blocked'); END"));
}

} // namespace cartmarking
