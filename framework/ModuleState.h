// The framework's module state: which module the program's resources and
// code come from. In this single-module program both are the executable,
// unless a caller (a test) points the resource handle elsewhere.
#pragma once

#include <windows.h>

struct AFX_MODULE_STATE
{
    HINSTANCE m_hCurrentInstanceHandle = nullptr;
    HINSTANCE m_hCurrentResourceHandle = nullptr;
};

AFX_MODULE_STATE* AfxGetModuleState();
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();
void AfxSetResourceHandle(HINSTANCE resourceModule);

// The module that holds the resource (name, type): the current resource
// module when it has it, else the program's own module.
HINSTANCE AfxFindResourceHandle(LPCWSTR name, LPCWSTR type);
