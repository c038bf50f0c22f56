#include "FileVersion.h"

#include "../framework/AutoHandles.h"
#include "../framework/MemFile.h"
#include "../framework/ModuleState.h"

BOOL GetFileVersionNumbers(LPCWSTR path, DWORD& packed, int* build)
{
    packed = 0;
    WCHAR ownPath[MAX_PATH];
    if (!path)
    {
        ownPath[0] = L'\0';
        GetModuleFileNameW(AfxGetResourceHandle(), ownPath, MAX_PATH);
        path = ownPath;
    }

    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &handle);
    if (size == 0)
        return FALSE;
    CRuntimeHeapBlock data(malloc(size));
    if (!data)
        AfxThrowMemoryException();
    if (!GetFileVersionInfoW(path, 0, size, data.Get()))
        return FALSE;

    VS_FIXEDFILEINFO* info = nullptr;
    UINT infoLength = 0;
    VerQueryValueW(data.Get(), L"\\", reinterpret_cast<void**>(&info), &infoLength);
    if (info)
    {
        packed = ((HIWORD(info->dwFileVersionMS) & 0xFFu) << 24) |
                 ((LOWORD(info->dwFileVersionMS) & 0xFFu) << 16) | HIWORD(info->dwFileVersionLS);
        if (build)
            *build = LOWORD(info->dwFileVersionLS);
    }
    return TRUE;
}
