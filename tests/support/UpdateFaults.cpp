#include "UpdateFaults.h"

#include "errors/ErrorCode.h"
#include "framework/AfxString.h"

namespace testing
{
namespace
{
ResourceUpdateStep g_failing;

DWORD FailOneStep(ResourceUpdateStep step)
{
    return step == g_failing ? ERROR_DISK_FULL : 0;
}
} // namespace

const ResourceUpdateStep kUpdateSteps[7] = {
    ResourceUpdateStep::Open,           ResourceUpdateStep::Read,
    ResourceUpdateStep::Update,         ResourceUpdateStep::CreateTemporary,
    ResourceUpdateStep::WriteTemporary, ResourceUpdateStep::Flush,
    ResourceUpdateStep::Replace};

CFailingStep::CFailingStep(ResourceUpdateStep step)
{
    g_failing = step;
    SetResourceUpdateFaultHook(FailOneStep);
}

CFailingStep::~CFailingStep()
{
    SetResourceUpdateFaultHook(nullptr);
}

std::wstring ErrorText(DWORD error)
{
    CString text;
    FormatErrorText(text, HRESULT_FROM_WIN32(error));
    return std::wstring(static_cast<LPCWSTR>(text));
}
} // namespace testing
