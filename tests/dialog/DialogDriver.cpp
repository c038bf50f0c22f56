#include "DialogDriver.h"

#include "res/resource.h"

#include <shlobj.h>

#include "../support/TestHarness.h"

#include <exception>

namespace testing
{
namespace
{
struct Script
{
    CManifestToolDlg* dialog;
    const std::vector<Step>* steps;
    size_t next;
    UINT_PTR timer; // the one timer that runs the next step
};
Script* g_script = nullptr;

void CALLBACK StepTimer(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    // Only the script's own timer runs a step: one left over from an earlier
    // dialog, or firing while a command's work answers messages inside a
    // step, must not start the next step inside this one.
    if (!g_script || id != g_script->timer)
        return;
    Script& script = *g_script;
    script.timer = 0;
    if (!script.dialog->m_hWnd)
        return;
    if (script.next < script.steps->size())
    {
        // An exception must not cross the platform's timer dispatch: it
        // would end the step silently and leave the dialog waiting forever.
        try
        {
            (*script.steps)[script.next++](*script.dialog);
        }
        catch (const std::exception& e)
        {
            Fail(__FILE__, __LINE__, std::string("exception escaped a step: ") + e.what());
            script.next = script.steps->size();
        }
        catch (...)
        {
            Fail(__FILE__, __LINE__, "exception escaped a step");
            script.next = script.steps->size();
        }
        script.timer = SetTimer(nullptr, 0, 20, StepTimer);
    }
    else
    {
        PostMessageW(script.dialog->m_hWnd, WM_COMMAND, IDCANCEL, 0);
    }
}

struct Watch
{
    HWND owner;
    std::function<void(HWND)> onWindow;
    bool done;
};
Watch* g_watch = nullptr;

BOOL CALLBACK FindOwned(HWND window, LPARAM)
{
    if (GetWindow(window, GW_OWNER) == g_watch->owner && IsWindowVisible(window))
    {
        g_watch->done = true;
        g_watch->onWindow(window);
        return FALSE;
    }
    return TRUE;
}

void CALLBACK WatchTimer(HWND, UINT, UINT_PTR id, DWORD)
{
    if (!g_watch || g_watch->done)
    {
        KillTimer(nullptr, id);
        return;
    }
    EnumThreadWindows(GetCurrentThreadId(), FindOwned, 0);
    if (g_watch->done)
        KillTimer(nullptr, id);
}
struct BoxScript
{
    HWND owner;
    const std::vector<BoxStep>* steps;
    size_t next;
    HWND box;
    bool finished;
};
BoxScript* g_box = nullptr;

BOOL CALLBACK FindBox(HWND window, LPARAM)
{
    if (GetWindow(window, GW_OWNER) == g_box->owner && IsWindowVisible(window))
    {
        g_box->box = window;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK BoxTimer(HWND, UINT, UINT_PTR id, DWORD)
{
    BoxScript& script = *g_box;
    if (script.finished)
        return;
    if (!script.box)
    {
        EnumThreadWindows(GetCurrentThreadId(), FindBox, 0);
        return;
    }
    if (!IsWindow(script.box))
        script.finished = true;
    else if (script.next < script.steps->size())
        (*script.steps)[script.next++](script.box);
    else
    {
        PostMessageW(script.box, WM_COMMAND, IDCANCEL, 0);
        script.finished = true;
    }
    if (script.finished)
        KillTimer(nullptr, id);
}
} // namespace

size_t RunInModalBox(HWND owner, const std::function<void()>& action,
                     const std::vector<BoxStep>& steps)
{
    BoxScript script = {owner, &steps, 0, nullptr, false};
    BoxScript* previous = g_box;
    g_box = &script;
    const UINT_PTR timer = SetTimer(nullptr, 0, 40, BoxTimer);
    action();
    KillTimer(nullptr, timer);
    g_box = previous;
    return script.next;
}

INT_PTR RunDialog(CManifestToolDlg& dialog, const std::vector<Step>& steps)
{
    Script script = {&dialog, &steps, 0, 0};
    g_script = &script;
    script.timer = SetTimer(nullptr, 0, 20, StepTimer);
    const INT_PTR result = dialog.DoModal();
    KillTimer(nullptr, script.timer);
    g_script = nullptr;
    return result;
}

void WhileModal(HWND owner, const std::function<void()>& action,
                const std::function<void(HWND window)>& onWindow)
{
    Watch watch = {owner, onWindow, false};
    Watch* previous = g_watch;
    g_watch = &watch;
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, WatchTimer);
    action();
    KillTimer(nullptr, timer);
    g_watch = previous;
}

bool IsEnabled(HWND dialog, int id)
{
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

std::string Buttons(HWND dialog)
{
    std::string state;
    state += IsEnabled(dialog, IDC_ENABLE_XP) ? 'E' : '-';
    state += IsEnabled(dialog, IDC_DISABLE_XP) ? 'D' : '-';
    state += IsEnabled(dialog, IDC_START) ? 'S' : '-';
    return state;
}

std::wstring TextOf(HWND window)
{
    wchar_t text[1024] = L"";
    GetWindowTextW(window, text, 1024);
    return text;
}

void SetPath(HWND dialog, const std::wstring& path)
{
    SendMessageW(GetDlgItem(dialog, IDC_APP_PATH), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(path.c_str()));
}

void Click(HWND dialog, int id)
{
    SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void DropFiles(HWND window, const std::vector<std::wstring>& files)
{
    size_t chars = 1;
    for (const auto& file : files)
        chars += file.size() + 1;
    HGLOBAL data = GlobalAlloc(GHND, sizeof(DROPFILES) + chars * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(GlobalLock(data));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    auto* names = reinterpret_cast<wchar_t*>(drop + 1);
    for (const auto& file : files)
    {
        lstrcpyW(names, file.c_str());
        names += file.size() + 1;
    }
    GlobalUnlock(data);
    // The handler releases the drop with DragFinish.
    SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(data), 0);
}

void SetSaveCopy(HWND dialog, bool on)
{
    SendMessageW(GetDlgItem(dialog, IDC_SAVE_COPY), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED,
                 0);
}
} // namespace testing
