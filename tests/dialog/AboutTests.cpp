// The About box opened from the real main dialog, and its link control:
// the version line, how the box closes, what the link paints (read back from
// the window's pixels) in the system's link colour, its cursor, when a click
// or a key opens it, and the COM apartment the shell opens it in.
#include "DialogDriver.h"
#include "OutOfMemory.h"
#include "TestApp.h"

#include "../support/TestHarness.h"
#include "../support/TestSupport.h"
#include "../support/WindowCapture.h"

#include "framework/WinApp.h"
#include "res/resource.h"
#include "ui/HyperLink.h"

#include <objbase.h>

using namespace testing;

namespace
{
void Key(HWND window, UINT key)
{
    PostMessageW(window, WM_KEYDOWN, key, 1);
    PostMessageW(window, WM_KEYUP, key, 0xC0000001);
}

// The link's pixels, with the colour tests the checks need.
class CCapture : public CWindowCapture
{
public:
    explicit CCapture(HWND window) : CWindowCapture(window) {}
    // Whether the pixel has colour, each channel within tolerance (the
    // text's edges are smoothed).
    bool Is(int x, int y, COLORREF colour, int tolerance = 0) const
    {
        const DWORD p = At(x, y);
        const int got[3] = {int(p >> 16) & 0xFF, int(p >> 8) & 0xFF, int(p) & 0xFF};
        const int want[3] = {GetRValue(colour), GetGValue(colour), GetBValue(colour)};
        for (int i = 0; i < 3; ++i)
            if (got[i] - want[i] > tolerance || want[i] - got[i] > tolerance)
                return false;
        return true;
    }
    bool InLinkColour(int x, int y, int tolerance = 0) const
    {
        return Is(x, y, GetSysColor(COLOR_HOTLIGHT), tolerance);
    }
    bool Black(int x, int y) const { return At(x, y) == 0; }
};

// While it lives, the system's link colour is colour, as a high-contrast
// theme sets it.
class CLinkColour
{
public:
    explicit CLinkColour(COLORREF colour) : m_old(GetSysColor(COLOR_HOTLIGHT)) { Set(colour); }
    ~CLinkColour() { Set(m_old); }
    CLinkColour(const CLinkColour&) = delete;
    CLinkColour& operator=(const CLinkColour&) = delete;

private:
    static void Set(COLORREF colour)
    {
        const INT element = COLOR_HOTLIGHT;
        SetSysColors(1, &element, &colour);
    }
    COLORREF m_old;
};

CHyperLink* LinkOf(HWND box)
{
    return dynamic_cast<CHyperLink*>(CWnd::FromHandlePermanent(GetDlgItem(box, IDC_WEB_LINK)));
}

void Repaint(HWND box)
{
    RedrawWindow(box, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

// Opens the About box of a main dialog and runs steps in it.
size_t WithAboutBox(const std::vector<BoxStep>& steps, bool* mainDisabled = nullptr)
{
    CManifestToolDlg dialog;
    // As in the program: the main dialog is the application's main window,
    // which owns a box made without a parent.
    AfxGetApp()->m_pMainWnd = &dialog;
    size_t ran = 0;
    RunDialog(dialog, {[&](CManifestToolDlg& d)
                       {
                           ran = RunInModalBox(
                               d.m_hWnd, [&] { Click(d.m_hWnd, IDC_ABOUT); }, steps);
                           if (mainDisabled)
                               *mainDisabled = !IsWindowEnabled(d.m_hWnd);
                       }});
    AfxGetApp()->m_pMainWnd = nullptr;
    return ran;
}

const BoxStep kStillOpen = [](HWND) { CHECK(!"the About box is still open"); };

// The launch recorder as the link's caption: each opening appends a line.
struct CRecorderLink
{
    CScratchFolder folder{L"about_link"};
    std::wstring record = folder / L"record.txt";
    CRecorderLink() { SetEnvironmentVariableW(L"LUMAFORM_RECORD", record.c_str()); }
    ~CRecorderLink() { SetEnvironmentVariableW(L"LUMAFORM_RECORD", nullptr); }
    void PointAt(HWND box) const
    {
        SetWindowTextW(GetDlgItem(box, IDC_WEB_LINK), Fixture(L"launch_recorder.exe").c_str());
        Repaint(box);
    }
    // The lines the started programs wrote, once there are as many as
    // expected (a program can take seconds to start on a slow or emulated
    // machine) and a little later, for any extra one.
    int Opened(int expected) const
    {
        for (int waited = 0; Lines() < expected && waited < 30000; waited += 100)
            Sleep(100);
        Sleep(1500);
        return Lines();
    }
    int Lines() const
    {
        int lines = 0;
        for (char c : ReadFileBytes(record))
            lines += c == '\n';
        return lines;
    }
};
} // namespace

TEST(AboutShowsTheVersionAndHoldsTheMainWindow)
{
    bool disabledWhileOpen = false, enabledAfter = false;
    const size_t ran = WithAboutBox({[&](HWND box)
                                     {
                                         CHECK_EQ(TextOf(GetDlgItem(box, IDC_VERSION_TEXT)),
                                                  std::wstring(L"Lumaform - v1.0.1 (Build 6)"));
                                         disabledWhileOpen =
                                             !IsWindowEnabled(GetWindow(box, GW_OWNER));
                                         CHECK(GetFocus() == GetDlgItem(box, IDOK));
                                     }},
                                    &enabledAfter);
    CHECK_EQ(ran, size_t(1));
    CHECK(disabledWhileOpen);
    CHECK(!enabledAfter);
}

TEST(OkEnterEscapeAndTheCloseBoxCloseIt)
{
    const std::vector<BoxStep> closers = {
        [](HWND box) { PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0); },
        [](HWND box) { Key(GetDlgItem(box, IDOK), VK_RETURN); },
        [](HWND) { Key(GetFocus(), VK_ESCAPE); },
        [](HWND box) { PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0); },
    };
    for (const BoxStep& close : closers)
        CHECK_EQ(WithAboutBox({close, kStillOpen}), size_t(1));
}

// The link painted, read back: its text and underline in the link colour,
// and the dotted frame with the focus only.
static void PaintTheLink()
{
    WithAboutBox({[](HWND box)
                  {
                      CHyperLink* link = LinkOf(box);
                      CHECK(link != nullptr);
                      if (!link)
                          return;
                      Repaint(box);
                      // The text's extent in the underlined GUI font.
                      LOGFONTW font = {};
                      GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
                      font.lfUnderline = 1;
                      HFONT created = CreateFontIndirectW(&font);
                      HDC dc = GetDC(link->m_hWnd);
                      HGDIOBJ old = SelectObject(dc, created);
                      const std::wstring caption = TextOf(link->m_hWnd);
                      SIZE size;
                      GetTextExtentPoint32W(dc, caption.c_str(), int(caption.size()), &size);
                      SelectObject(dc, old);
                      ReleaseDC(link->m_hWnd, dc);
                      DeleteObject(created);
                      const RECT r = link->m_rcText;
                      CHECK(r.left == 0 && r.top == 0 && r.right == size.cx && r.bottom == size.cy);

                      const CCapture shot(link->m_hWnd);
                      int coloured = 0, underline = 0;
                      for (int y = r.top; y < r.bottom; ++y)
                      {
                          int row = 0;
                          for (int x = r.left; x < r.right; ++x)
                              row += shot.InLinkColour(x, y, 0x40) ? 1 : 0;
                          coloured += row;
                          int exact = 0;
                          for (int x = r.left; x < r.right; ++x)
                              exact += shot.InLinkColour(x, y) ? 1 : 0;
                          if (exact * 10 >= (r.right - r.left) * 9)
                              ++underline;
                      }
                      CHECK(coloured > 50);
                      CHECK(underline >= 1);
                      // No frame without the focus.
                      CHECK(!shot.Black(r.left, r.top));
                      SetFocus(link->m_hWnd);
                  },
                  [](HWND box)
                  {
                      CHyperLink* link = LinkOf(box);
                      Repaint(box);
                      const RECT r = link->m_rcText;
                      const CCapture shot(link->m_hWnd);
                      int wrong = 0;
                      auto edge = [&](int x, int y)
                      {
                          const bool expectBlack = (x + y) % 2 == 0;
                          wrong += shot.Black(x, y) != expectBlack ? 1 : 0;
                      };
                      for (int x = r.left; x < r.right; ++x)
                      {
                          edge(x, r.top);
                          edge(x, r.bottom - 1);
                      }
                      for (int y = r.top; y < r.bottom; ++y)
                      {
                          edge(r.left, y);
                          edge(r.right - 1, y);
                      }
                      CHECK_EQ(wrong, 0);
                      CHECK(shot.Black(r.left, r.top) == ((r.left + r.top) % 2 == 0));
                      SetFocus(GetDlgItem(box, IDOK));
                  },
                  [](HWND box)
                  {
                      CHyperLink* link = LinkOf(box);
                      Repaint(box);
                      const RECT r = link->m_rcText;
                      const CCapture shot(link->m_hWnd);
                      CHECK(!shot.Black(r.left, r.top) && !shot.Black(r.right - 1, r.top));
                  }});
}

// The link's text is underlined in the system's link colour, whichever it is:
// Windows' own blue, and the yellow of a high-contrast theme on black.
TEST(LinkPaintsUnderlinedTextInTheLinkColourAndADottedFocusFrame)
{
    for (COLORREF colour : {RGB(0x00, 0x66, 0xCC), RGB(0xFF, 0xFF, 0x00)})
    {
        const CLinkColour linkColour(colour);
        CHECK_EQ(GetSysColor(COLOR_HOTLIGHT), DWORD(colour));
        PaintTheLink();
    }
}

TEST(CursorIsTheHandOverTheTextOnly)
{
    WithAboutBox(
        {[](HWND box)
         {
             CHyperLink* link = LinkOf(box);
             Repaint(box);
             const RECT r = link->m_rcText;
             RECT client;
             GetClientRect(link->m_hWnd, &client);
             CHECK(r.right + 2 < client.right); // room beside the text
             auto cursor = [&]
             { return reinterpret_cast<HCURSOR>(GetClassLongPtrW(link->m_hWnd, GCLP_HCURSOR)); };
             SendMessageW(link->m_hWnd, WM_MOUSEMOVE, 0, MAKELPARAM(r.left + 2, r.top + 2));
             CHECK(cursor() == LoadCursorW(nullptr, IDC_HAND));
             SendMessageW(link->m_hWnd, WM_MOUSEMOVE, 0, MAKELPARAM(r.right + 1, r.top + 2));
             CHECK(cursor() == LoadCursorW(nullptr, IDC_ARROW));
             SendMessageW(link->m_hWnd, WM_MOUSEMOVE, 0, MAKELPARAM(r.right - 1, r.bottom - 1));
             CHECK(cursor() == LoadCursorW(nullptr, IDC_HAND));
             SendMessageW(link->m_hWnd, WM_MOUSEMOVE, 0, MAKELPARAM(r.right - 1, r.bottom));
             CHECK(cursor() == LoadCursorW(nullptr, IDC_ARROW));
         }});
}

// Only where the button comes up counts; a click beside the text only takes
// the focus.
namespace
{
// How CoInitializeEx for a multithreaded apartment fares on this thread now:
// RPC_E_CHANGED_MODE inside a single-threaded one, S_OK in none.
HRESULT Apartment()
{
    const HRESULT result = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(result))
        CoUninitialize();
    return result;
}
} // namespace

// A click opens the link when it ends on the text it began on. The shell
// may hand the link to handlers that are COM objects: the thread is a
// single-threaded apartment when ShellExecuteW runs, and stops being one when
// the box (and its link) goes. A link the shell cannot open shows nothing.
TEST(ClickOnTheTextOpensTheLink)
{
    CHECK_EQ(Hex(Apartment()), Hex(S_OK));
    std::vector<HRESULT> during;
    CObservedCalls observed(
        [&](const CObservedCall& call)
        {
            if (call.function == "ShellExecuteW")
                during.push_back(Apartment());
        });
    CRecorderLink recorder;
    int afterDownBesideUpOn = -1, afterDownOnUpBeside = -1, afterBeside = -1;
    bool focused = false;
    theTestApp.Clear();
    WithAboutBox({[&](HWND box)
                  {
                      recorder.PointAt(box);
                      CHyperLink* link = LinkOf(box);
                      const RECT r = link->m_rcText;
                      const LPARAM on = MAKELPARAM(r.left + 3, r.top + 3),
                                   beside = MAKELPARAM(r.right + 1, r.top + 3);
                      SendMessageW(link->m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, beside);
                      SendMessageW(link->m_hWnd, WM_LBUTTONUP, 0, on);
                      afterDownBesideUpOn = recorder.Opened(1);
                      SendMessageW(link->m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, on);
                      SendMessageW(link->m_hWnd, WM_LBUTTONUP, 0, beside);
                      afterDownOnUpBeside = recorder.Opened(1);
                      SetFocus(GetDlgItem(box, IDOK));
                      SendMessageW(link->m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, beside);
                      SendMessageW(link->m_hWnd, WM_LBUTTONUP, 0, beside);
                      focused = GetFocus() == link->m_hWnd;
                      afterBeside = recorder.Opened(1);
                      SetWindowTextW(link->m_hWnd, (recorder.folder / L"none\\none.exe").c_str());
                      Repaint(box);
                      SendMessageW(link->m_hWnd, WM_LBUTTONUP, 0,
                                   MAKELPARAM(r.left + 3, r.top + 3));
                  }});
    CHECK_EQ(afterDownBesideUpOn, 1);
    CHECK_EQ(afterDownOnUpBeside, 1);
    CHECK_EQ(afterBeside, 1);
    CHECK(focused);
    CHECK(theTestApp.m_boxes.empty());
    CHECK(during == std::vector<HRESULT>({RPC_E_CHANGED_MODE, RPC_E_CHANGED_MODE}));
    CHECK_EQ(Hex(Apartment()), Hex(S_OK));
}

TEST(EnterAndSpaceOpenTheFocusedLinkAndTabMovesTheFocus)
{
    CRecorderLink recorder;
    HWND seenFocus[3] = {};
    int opened = -1;
    const size_t ran = WithAboutBox({
        [&](HWND box)
        {
            recorder.PointAt(box);
            Key(GetFocus(), VK_TAB);
        },
        [&](HWND box)
        {
            seenFocus[0] = GetFocus();
            CHECK(seenFocus[0] == GetDlgItem(box, IDC_WEB_LINK));
            Key(GetFocus(), VK_RETURN);
            Key(GetFocus(), VK_SPACE);
            PostMessageW(GetFocus(), WM_KEYDOWN, VK_SPACE, 0x40000001); // auto-repeat
        },
        [&](HWND box)
        {
            opened = recorder.Opened(3);
            CHECK(IsWindowVisible(box));
            Key(GetFocus(), VK_TAB);
        },
        [&](HWND box)
        {
            seenFocus[1] = GetFocus();
            CHECK(seenFocus[1] == GetDlgItem(box, IDOK));
        },
    });
    CHECK_EQ(ran, size_t(4));
    CHECK_EQ(opened, 3);
}

// Memory that runs out while the link paints or opens: one box says so, the
// paint leaves the context as it found it, nothing is opened, and the next
// paint and click work as always.
TEST(MemoryRunningOutInTheLinkIsReported)
{
    CRecorderLink recorder;
    const std::vector<std::wstring> outOfMemory = {OutOfMemoryText()};
    WithAboutBox(
        {[&](HWND box)
         {
             recorder.PointAt(box);
             CHyperLink* link = LinkOf(box);
             const RECT painted = link->m_rcText;
             CHECK(BoxesWhenMemoryFails([&] { Repaint(box); }) == outOfMemory);
             Repaint(box);
             CHECK(EqualRect(&link->m_rcText, &painted));
             CCapture capture(link->m_hWnd);
             CHECK(capture.InLinkColour(painted.left + 1, painted.bottom - 1)); // the underline

             const LPARAM on = MAKELPARAM(painted.left + 3, painted.top + 3);
             SendMessageW(link->m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, on);
             CHECK(BoxesWhenMemoryFails([&] { SendMessageW(link->m_hWnd, WM_LBUTTONUP, 0, on); }) ==
                   outOfMemory);
             CHECK_EQ(recorder.Opened(0), 0);
             SendMessageW(link->m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, on);
             SendMessageW(link->m_hWnd, WM_LBUTTONUP, 0, on);
             CHECK_EQ(recorder.Opened(1), 1);
         }});
    theTestApp.Clear();
}
