// Makes the runtime heap refuse allocations on demand, so that tests can
// reach the out-of-memory paths. The test executable replaces malloc and
// realloc with forwarders to the C runtime's own; the one call chosen by an
// armed CHeapFailure returns null instead.
#pragma once

#include <cstddef>

namespace testing
{
// The malloc/realloc call after `skip` successful ones fails; the calls after
// it succeed again (throwing the out-of-memory exception allocates too).
class CHeapFailure
{
public:
    explicit CHeapFailure(int skip = 0);
    ~CHeapFailure();
    CHeapFailure(const CHeapFailure&) = delete;
    CHeapFailure& operator=(const CHeapFailure&) = delete;
    // Number of calls that were refused.
    int Refused() const;
};
} // namespace testing
