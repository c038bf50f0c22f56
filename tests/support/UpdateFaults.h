// Fault injection into the resource writer for the tests, and the text the
// error box shows for a code.
#pragma once

#include "pe/ResourceUpdate.h"

#include <string>

namespace testing
{
// Every step of an update that can be made to fail, in the order they run.
extern const ResourceUpdateStep kUpdateSteps[7];

// While it lives, step fails with ERROR_DISK_FULL, as on a full disk.
class CFailingStep
{
public:
    explicit CFailingStep(ResourceUpdateStep step);
    ~CFailingStep();
    CFailingStep(const CFailingStep&) = delete;
    CFailingStep& operator=(const CFailingStep&) = delete;
};

// The error box's text for a Win32 error code.
std::wstring ErrorText(DWORD error);
} // namespace testing
