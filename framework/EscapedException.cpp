#include "EscapedException.h"

#include "AfxRes.h"
#include "AfxString.h"
#include "MemFile.h"
#include "WinApp.h"
#include "Wnd.h"

#include <exception>
#include <new>

namespace
{
bool g_reporting = false;

// The box of last resort, when not even the text can be had: nothing here
// allocates.
void ShowFixedText(LPCWSTR text)
{
    CWinApp* app = AfxGetApp();
    HWND owner = app && app->m_pMainWnd ? app->m_pMainWnd->GetSafeHwnd() : nullptr;
    MessageBoxW(owner && IsWindow(owner) ? GetLastActivePopup(owner) : nullptr, text,
                app ? app->m_pszAppName : nullptr, MB_ICONERROR);
}

void ShowOutOfMemory() noexcept
{
    try
    {
        CString text;
        if (!text.LoadString(AFX_IDP_FAILED_MEMORY_ALLOC))
            throw std::bad_alloc();
        AfxMessageBox(text, MB_ICONERROR);
    }
    catch (...)
    {
        ShowFixedText(L"Out of memory.");
    }
}

void ShowUnexpected(LPCWSTR detail) noexcept
{
    try
    {
        CString format, text;
        if (!format.LoadString(AFX_IDS_UNEXPECTED_ERROR))
            format = L"Unexpected error: %s";
        text.Format(format, detail);
        AfxMessageBox(text, MB_ICONERROR);
    }
    catch (CMemoryException* e)
    {
        e->Delete();
        ShowOutOfMemory();
    }
    catch (...)
    {
        ShowOutOfMemory();
    }
}
} // namespace

void AfxReportCurrentException(UINT message) noexcept
{
    if (g_reporting)
        return;
    g_reporting = true;
    WCHAR detail[64];
    try
    {
        throw;
    }
    catch (CMemoryException* e)
    {
        e->Delete();
        ShowOutOfMemory();
    }
    catch (const std::bad_alloc&)
    {
        ShowOutOfMemory();
    }
    catch (HRESULT code)
    {
        wsprintfW(detail, L"0x%08X", static_cast<unsigned>(code));
        ShowUnexpected(detail);
    }
    catch (const std::exception& e)
    {
        // what() is a narrow text; its ASCII letters are enough to tell.
        size_t i = 0;
        for (const char* c = e.what(); *c && i + 1 < ARRAYSIZE(detail); ++c)
            detail[i++] = static_cast<unsigned char>(*c) < 0x80 ? WCHAR(*c) : L'?';
        detail[i] = L'\0';
        ShowUnexpected(detail);
    }
    catch (...)
    {
        wsprintfW(detail, L"message 0x%04X", message);
        ShowUnexpected(detail);
    }
    g_reporting = false;
}
