// Fault injection into the resource writer for the tests, and the text the
// error box shows for a code.
#pragma once

#include "pe/ResourceUpdate.h"

#include <string>

namespace testing
{
// Every step of an update that can be made to fail, in the order they run.
extern const ResourceUpdateStep kUpdateSteps[9];
// The steps that move bytes, with the error a call that moves none gives.
struct TransferStep
{
    ResourceUpdateStep step;
    DWORD error;
};
extern const TransferStep kTransferSteps[3];

// While it lives, step fails with result: ERROR_DISK_FULL by default, as on
// a full disk; kFaultNoProgress for a call that succeeds and moves nothing.
class CFailingStep
{
public:
    explicit CFailingStep(ResourceUpdateStep step, DWORD result = ERROR_DISK_FULL);
    ~CFailingStep();
    CFailingStep(const CFailingStep&) = delete;
    CFailingStep& operator=(const CFailingStep&) = delete;
};

// While it lives, step fails with error the first times calls and then runs
// (fails every time with kAlways). Calls() counts the step's runs.
class CFailingTimes
{
public:
    static constexpr int kAlways = -1;
    CFailingTimes(ResourceUpdateStep step, DWORD error, int times);
    ~CFailingTimes();
    CFailingTimes(const CFailingTimes&) = delete;
    CFailingTimes& operator=(const CFailingTimes&) = delete;
    int Calls() const;
    // Makes another step fail every time as well, with error.
    void AlsoFail(ResourceUpdateStep step, DWORD error);
};

// While it lives, step runs runs times, each after a pause of delay ms (a
// slow disk), and then fails with error every time: a failure well into a
// long commit.
class CFailingAfter
{
public:
    CFailingAfter(ResourceUpdateStep step, DWORD error, int runs, DWORD delay = 0);
    ~CFailingAfter();
    CFailingAfter(const CFailingAfter&) = delete;
    CFailingAfter& operator=(const CFailingAfter&) = delete;
};

// While it lives, the replacement fails with replaceError, which may leave
// the files as the platform documents for it, and the moves that put a file
// back under the target's name fail the first restoreFailures times.
class CFailingReplacement
{
public:
    CFailingReplacement(DWORD replaceError, int restoreFailures);
    ~CFailingReplacement();
    CFailingReplacement(const CFailingReplacement&) = delete;
    CFailingReplacement& operator=(const CFailingReplacement&) = delete;
};

// The error box's text for a Win32 error code about the file named name.
std::wstring ErrorText(DWORD error, const wchar_t* name = nullptr);
} // namespace testing
