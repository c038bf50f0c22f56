#include "WindowCapture.h"

#include "TestSupport.h"

namespace testing
{
CWindowCapture::CWindowCapture(HWND window, Area area)
{
    RECT rect = {};
    if (area == WholeWindow)
    {
        GetWindowRect(window, &rect);
        OffsetRect(&rect, -rect.left, -rect.top);
    }
    else
        GetClientRect(window, &rect);
    m_width = rect.right;
    m_height = rect.bottom;
    if (m_width <= 0 || m_height <= 0)
        return;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = m_width;
    info.bmiHeader.biHeight = -m_height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC screen = area == WholeWindow ? GetWindowDC(window) : GetDC(window);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, m_width, m_height, screen, 0, 0, SRCCOPY);
    GdiFlush();
    const auto* pixels = static_cast<const DWORD*>(bits);
    m_pixels.assign(pixels, pixels + m_width * m_height);
    for (DWORD& p : m_pixels)
        p &= 0xFFFFFF;
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, screen);
}

namespace
{
struct Search
{
    DWORD process;
    const wchar_t* windowClass;
    HWND found;
};

BOOL CALLBACK FindClass(HWND window, LPARAM data)
{
    auto* search = reinterpret_cast<Search*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t cls[64] = L"";
    GetClassNameW(window, cls, 64);
    if (owner == search->process && IsWindowVisible(window) && !lstrcmpW(cls, search->windowClass))
    {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}
} // namespace

CWindowCapture CaptureProgramWindow(const std::wstring& program, const wchar_t* windowClass)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return CWindowCapture();
    WaitForInputIdle(process.hProcess, 20000);
    Search search = {process.dwProcessId, windowClass, nullptr};
    for (int i = 0; i < 200 && !search.found; ++i)
    {
        EnumWindows(FindClass, reinterpret_cast<LPARAM>(&search));
        if (!search.found)
            Sleep(50);
    }
    CWindowCapture capture;
    if (search.found)
    {
        RedrawWindow(search.found, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        Sleep(700); // the other process paints
        capture = CWindowCapture(search.found);
        PostMessageW(search.found, WM_CLOSE, 0, 0);
    }
    if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0)
        TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return capture;
}

bool CWindowCapture::SaveBmp(const std::wstring& path) const
{
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER header = {};
    const DWORD size = static_cast<DWORD>(m_pixels.size() * 4);
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + size;
    header.biSize = sizeof header;
    header.biWidth = m_width;
    header.biHeight = -m_height;
    header.biPlanes = 1;
    header.biBitCount = 32;
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
    bytes.append(reinterpret_cast<const char*>(&header), sizeof header);
    bytes.append(reinterpret_cast<const char*>(m_pixels.data()), size);
    return WriteFileBytes(path, bytes);
}
} // namespace testing
