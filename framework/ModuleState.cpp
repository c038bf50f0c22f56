#include "ModuleState.h"

AFX_MODULE_STATE* AfxGetModuleState()
{
    // Filled on first use, so that resource loads made before AfxWinMain
    // (static initialisation, unit tests) still find the executable.
    static AFX_MODULE_STATE state = []
    {
        AFX_MODULE_STATE s;
        s.m_hCurrentInstanceHandle = GetModuleHandleW(nullptr);
        s.m_hCurrentResourceHandle = s.m_hCurrentInstanceHandle;
        return s;
    }();
    return &state;
}

HINSTANCE AfxGetInstanceHandle()
{
    return AfxGetModuleState()->m_hCurrentInstanceHandle;
}

HINSTANCE AfxGetResourceHandle()
{
    return AfxGetModuleState()->m_hCurrentResourceHandle;
}

void AfxSetResourceHandle(HINSTANCE resourceModule)
{
    AfxGetModuleState()->m_hCurrentResourceHandle = resourceModule;
}

HINSTANCE AfxFindResourceHandle(LPCWSTR name, LPCWSTR type)
{
    HINSTANCE resources = AfxGetResourceHandle();
    if (FindResourceW(resources, name, type))
        return resources;
    return AfxGetInstanceHandle();
}
