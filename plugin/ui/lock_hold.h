// Holds an OruThreadExclusion for a scope. The framework's locks are re-entrant, so a window operation may call
// another on the same window while holding its lock.
#pragma once

#include "orurt.h"

namespace sirrel {

class LockHold {
public:
    explicit LockHold(OruThreadExclusion &lock) : lock_(lock) { OruThreadExclusion_Enter(&lock_); }
    ~LockHold() { OruThreadExclusion_Leave(&lock_); }
    LockHold(const LockHold &) = delete;
    LockHold &operator=(const LockHold &) = delete;

private:
    OruThreadExclusion &lock_;
};

} // namespace sirrel
