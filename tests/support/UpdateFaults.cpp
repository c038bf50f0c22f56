#include "UpdateFaults.h"

#include "errors/ErrorCode.h"
#include "framework/AfxString.h"

namespace testing
{
namespace
{
ResourceUpdateStep g_failing;
DWORD g_result;

DWORD FailOneStep(ResourceUpdateStep step)
{
    return step == g_failing ? g_result : 0;
}

int g_failuresLeft, g_calls;
bool g_alsoFailing;
ResourceUpdateStep g_also;
DWORD g_alsoResult;
DWORD FailSomeTimes(ResourceUpdateStep step)
{
    if (g_alsoFailing && step == g_also)
        return g_alsoResult;
    if (step != g_failing)
        return 0;
    ++g_calls;
    if (g_failuresLeft == 0)
        return 0;
    if (g_failuresLeft > 0)
        --g_failuresLeft;
    return g_result;
}

int g_runsLeft;
DWORD g_delay;
DWORD FailAfterRuns(ResourceUpdateStep step)
{
    if (step != g_failing)
        return 0;
    if (g_runsLeft == 0)
        return g_result;
    --g_runsLeft;
    Sleep(g_delay);
    return 0;
}

int g_restoreFailures;
DWORD FailReplacement(ResourceUpdateStep step)
{
    if (step == ResourceUpdateStep::Replace)
        return g_result;
    if (step == ResourceUpdateStep::Restore && g_restoreFailures > 0)
    {
        --g_restoreFailures;
        return ERROR_ACCESS_DENIED;
    }
    return 0;
}
} // namespace

const ResourceUpdateStep kUpdateSteps[9] = {ResourceUpdateStep::Open,
                                            ResourceUpdateStep::Read,
                                            ResourceUpdateStep::Update,
                                            ResourceUpdateStep::Lock,
                                            ResourceUpdateStep::CreateTemporary,
                                            ResourceUpdateStep::ReadSource,
                                            ResourceUpdateStep::WriteTemporary,
                                            ResourceUpdateStep::Flush,
                                            ResourceUpdateStep::Replace};

const TransferStep kTransferSteps[3] = {{ResourceUpdateStep::Read, ERROR_READ_FAULT},
                                        {ResourceUpdateStep::ReadSource, ERROR_READ_FAULT},
                                        {ResourceUpdateStep::WriteTemporary, ERROR_WRITE_FAULT}};

CFailingStep::CFailingStep(ResourceUpdateStep step, DWORD result)
{
    g_failing = step;
    g_result = result;
    SetResourceUpdateFaultHook(FailOneStep);
}

CFailingStep::~CFailingStep()
{
    SetResourceUpdateFaultHook(nullptr);
}

CFailingTimes::CFailingTimes(ResourceUpdateStep step, DWORD error, int times)
{
    g_failing = step;
    g_result = error;
    g_failuresLeft = times;
    g_calls = 0;
    g_alsoFailing = false;
    SetResourceUpdateFaultHook(FailSomeTimes);
}

void CFailingTimes::AlsoFail(ResourceUpdateStep step, DWORD error)
{
    g_alsoFailing = true;
    g_also = step;
    g_alsoResult = error;
}

CFailingTimes::~CFailingTimes()
{
    SetResourceUpdateFaultHook(nullptr);
}

int CFailingTimes::Calls() const
{
    return g_calls;
}

CFailingAfter::CFailingAfter(ResourceUpdateStep step, DWORD error, int runs, DWORD delay)
{
    g_failing = step;
    g_result = error;
    g_runsLeft = runs;
    g_delay = delay;
    SetResourceUpdateFaultHook(FailAfterRuns);
}

CFailingAfter::~CFailingAfter()
{
    SetResourceUpdateFaultHook(nullptr);
}

CFailingReplacement::CFailingReplacement(DWORD replaceError, int restoreFailures)
{
    g_result = replaceError;
    g_restoreFailures = restoreFailures;
    SetResourceUpdateFaultHook(FailReplacement);
}

CFailingReplacement::~CFailingReplacement()
{
    SetResourceUpdateFaultHook(nullptr);
}

std::wstring ErrorText(DWORD error, const wchar_t* name)
{
    CString text;
    FormatErrorText(text, HRESULT_FROM_WIN32(error), name);
    return std::wstring(static_cast<LPCWSTR>(text));
}
} // namespace testing
