// Holds an OruThreadExclusion for the lifetime of a scope.
#pragma once

#include "orurt.h"

namespace sirrel {

class ExclusionHold {
public:
    explicit ExclusionHold(OruThreadExclusion &lock) : lock_(lock) { OruThreadExclusion_Enter(&lock_); }
    ~ExclusionHold() { OruThreadExclusion_Leave(&lock_); }
    ExclusionHold(const ExclusionHold &) = delete;
    ExclusionHold &operator=(const ExclusionHold &) = delete;

private:
    OruThreadExclusion &lock_;
};

} // namespace sirrel
