// Every label and check box of the main dialog and of the About box shows its
// whole text on one line, in the user's language: the text as shown (its
// mnemonic marks removed), measured with the control's own font in the
// control's own device context, fits the width the control gives its text.
// The dialogs are the real ones from the program's resources; the fonts are
// whatever the platform picks for the templates' "MS Sans Serif".
#include "DialogDriver.h"

#include "../support/TestHarness.h"

#include "framework/WinApp.h"
#include "res/resource.h"

#include <cstdlib>

using namespace testing;

namespace
{
class CTestApp : public CWinApp
{
public:
    int DoMessageBox(LPCWSTR, UINT, UINT) override { return IDOK; }
};
CTestApp theTestApp;

bool French()
{
    return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_FRENCH;
}

std::wstring ClassOf(HWND window)
{
    wchar_t name[64] = L"";
    GetClassNameW(window, name, 64);
    return name;
}

// The text a control shows: "&&" is one ampersand, any other '&' only
// underlines the next character.
std::wstring Shown(const std::wstring& text)
{
    std::wstring shown;
    for (size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] == L'&' && i + 1 < text.size())
            ++i;
        shown += text[i];
    }
    return shown;
}

struct Fit
{
    std::wstring text; // as shown
    std::wstring face; // the font the control's context really uses
    SIZE extent = {0, 0};
    int width = 0;  // what the control leaves for its text
    int height = 0; // the control's client height
};

// A label (a static control showing text) or a check box; icons, frames and
// push buttons are left out.
bool ShowsTextOnOneLine(HWND control, bool* checkBox)
{
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    const std::wstring cls = ClassOf(control);
    if (lstrcmpiW(cls.c_str(), L"Static") == 0)
    {
        const LONG type = style & SS_TYPEMASK;
        *checkBox = false;
        return type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT || type == SS_SIMPLE ||
               type == SS_LEFTNOWORDWRAP;
    }
    if (lstrcmpiW(cls.c_str(), L"Button") == 0)
    {
        const LONG type = style & BS_TYPEMASK;
        *checkBox = type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE ||
                    type == BS_AUTO3STATE || type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
        return *checkBox;
    }
    return false;
}

Fit Measure(HWND control, bool checkBox)
{
    Fit fit;
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    const std::wstring text = TextOf(control);
    fit.text = !checkBox && (style & SS_NOPREFIX) ? text : Shown(text);

    HDC dc = GetDC(control);
    // The font the control draws with; none means the system font.
    const HFONT font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    const HGDIOBJ previous = font ? SelectObject(dc, font) : nullptr;
    GetTextExtentPoint32W(dc, fit.text.c_str(), static_cast<int>(fit.text.size()), &fit.extent);
    wchar_t face[LF_FACESIZE] = L"";
    GetTextFaceW(dc, LF_FACESIZE, face);
    fit.face = face;
    // A check box draws its box, then a gap of half a digit's width, then the
    // text.
    int digit = 0;
    GetCharWidth32W(dc, L'0', L'0', &digit);
    if (previous)
        SelectObject(dc, previous);
    ReleaseDC(control, dc);

    RECT client = {0, 0, 0, 0};
    GetClientRect(control, &client);
    fit.width = client.right - client.left;
    fit.height = client.bottom - client.top;
    if (checkBox)
        fit.width -= GetSystemMetrics(SM_CXMENUCHECK) + digit / 2;
    return fit;
}

// Checks every label and check box of dialog; how many there were.
int CheckTextsFit(HWND dialog)
{
    int checked = 0;
    for (HWND control = GetWindow(dialog, GW_CHILD); control;
         control = GetWindow(control, GW_HWNDNEXT))
    {
        bool checkBox = false;
        if (!IsWindowVisible(control) || !ShowsTextOnOneLine(control, &checkBox))
            continue;
        const Fit fit = Measure(control, checkBox);
        ++checked;
        CHECK(!fit.text.empty());
        const std::string where = Describe(fit.text) + " in " + Describe(fit.face) + ": " +
                                  std::to_string(fit.extent.cx) + " x " +
                                  std::to_string(fit.extent.cy) + " pixels, room for " +
                                  std::to_string(fit.width) + " x " + std::to_string(fit.height);
        printf("  %s\n", where.c_str());
        if (fit.extent.cx > fit.width)
            Fail(__FILE__, __LINE__, "too wide for one line: " + where);
        if (fit.extent.cy > fit.height)
            Fail(__FILE__, __LINE__, "taller than the control: " + where);
    }
    return checked;
}
} // namespace

TEST(RunsInTheExpectedLanguage)
{
    const char* expected = getenv("LUMAFORM_EXPECT_LANGUAGE");
    CHECK(expected != nullptr);
    if (expected)
        CHECK_EQ(std::string(French() ? "fr" : "en"), std::string(expected));
}

TEST(MainDialogLabelsFitOnOneLine)
{
    CManifestToolDlg dialog;
    int checked = 0;
    RunDialog(dialog, {[&](CManifestToolDlg& d)
                       {
                           CHECK_EQ(TextOf(GetDlgItem(d.m_hWnd, IDC_SAVE_COPY)),
                                    std::wstring(French() ? L"&Sauvegarder une copie du fichier "
                                                            L"(recommand\u00e9)"
                                                          : L"&Save a copy of the file before "
                                                            L"modification (recommended)"));
                           checked = CheckTextsFit(d.m_hWnd);
                       }});
    // The label above the path and the check box.
    CHECK_EQ(checked, 2);
}

TEST(AboutBoxLabelsFitOnOneLine)
{
    CManifestToolDlg dialog;
    AfxGetApp()->m_pMainWnd = &dialog;
    int checked = 0;
    std::wstring caption;
    RunDialog(dialog, {[&](CManifestToolDlg& d)
                       {
                           RunInModalBox(d.m_hWnd, [&] { Click(d.m_hWnd, IDC_ABOUT); },
                                         {[&](HWND box)
                                          {
                                              caption = TextOf(box);
                                              checked = CheckTextsFit(box);
                                          }});
                       }});
    AfxGetApp()->m_pMainWnd = nullptr;
    CHECK_EQ(caption, std::wstring(French() ? L"A propos de Lumaform" : L"About Lumaform"));
    // The version line, the ownership notice and the web link.
    CHECK_EQ(checked, 3);
}

// The caption buttons (close, minimise) are drawn as glyphs of the Marlett
// font; without it the title bar shows letters such as "r".
TEST(CaptionButtonsHaveTheirFont)
{
    LOGFONTW description = {};
    description.lfHeight = -13;
    description.lfCharSet = SYMBOL_CHARSET;
    lstrcpyW(description.lfFaceName, L"Marlett");
    const HFONT font = CreateFontIndirectW(&description);
    HDC dc = GetDC(nullptr);
    const HGDIOBJ previous = SelectObject(dc, font);
    wchar_t face[LF_FACESIZE] = L"";
    GetTextFaceW(dc, LF_FACESIZE, face);
    SelectObject(dc, previous);
    ReleaseDC(nullptr, dc);
    DeleteObject(font);
    CHECK_EQ(std::wstring(face), std::wstring(L"Marlett"));
}
