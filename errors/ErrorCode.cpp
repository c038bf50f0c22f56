#include "ErrorCode.h"

HRESULT ErrorCodeFromLastError()
{
    const LONG error = static_cast<LONG>(GetLastError());
    if (error > 0)
        return static_cast<HRESULT>((static_cast<DWORD>(error) & 0xFFFF) | 0x80070000);
    return static_cast<HRESULT>(error);
}
