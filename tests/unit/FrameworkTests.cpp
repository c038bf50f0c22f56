// The framework layer's core: strings, the memory file, the application
// object and its message boxes.
#include "../support/FailingHeap.h"
#include "../support/TestHarness.h"
#include "../support/TestSupport.h"

#include "framework/AfxString.h"
#include "framework/MemFile.h"
#include "framework/ModuleState.h"
#include "framework/WinApp.h"
#include "framework/Wnd.h"

#include <cstdlib>
#include <malloc.h>
#include <new>
#include <string>

using namespace testing;

namespace
{
// Records every message box instead of showing it, and answers with a
// preset button.
class CRecordingApp : public CWinApp
{
public:
    int DoMessageBox(LPCWSTR prompt, UINT type, UINT helpId) override
    {
        m_prompt = prompt;
        m_type = type;
        m_helpId = helpId;
        ++m_count;
        return m_answer;
    }
    std::wstring m_prompt;
    UINT m_type = 0;
    UINT m_helpId = 0;
    int m_count = 0;
    int m_answer = IDOK;
};

CRecordingApp theTestApp;
} // namespace

TEST(TitleIsTheExecutableName)
{
    CHECK_EQ(std::wstring(theTestApp.m_pszAppName), std::wstring(L"unit_framework"));
}

TEST(StringFormatting)
{
    CString text;
    text.Format(L"%s|%d|%u|0x%08x|%hs", L"wide", -3, 7u, 0xABCu, "narrow");
    CHECK_EQ(std::wstring(text), std::wstring(L"wide|-3|7|0x00000abc|narrow"));
    text.Format(41, L"D\u00e9j\u00e0.exe.bak", 5);
    CHECK_EQ(std::wstring(text), std::wstring(L"Copied 'D\u00e9j\u00e0.exe.bak' (5)"));
    text.Format(L"%s", L"");
    CHECK(text.IsEmpty());
    std::wstring longText(5000, L'x');
    text.Format(L"<%s>", longText.c_str());
    CHECK_EQ(text.GetLength(), 5002);
}

TEST(StringLoading)
{
    CString text(L"old");
    CHECK(text.LoadString(42));
    CHECK_EQ(std::wstring(text), std::wstring(L"Caf\u00e9 \u2192 done"));
    CHECK(!text.LoadString(999));
    CHECK(text.IsEmpty());
}

TEST(StringBuffer)
{
    CString text;
    LPWSTR buffer = text.GetBuffer(10);
    lstrcpyW(buffer, L"abc");
    text.ReleaseBuffer();
    CHECK_EQ(text.GetLength(), 3);
    text += L"de";
    text += L'f';
    CHECK(text == L"abcdef");
    CHECK((text + L"!") == L"abcdef!");
}

TEST(MemFileGrowsInSteps)
{
    CMemFile file(1024);
    BYTE block[700] = {};
    file.Write(block, sizeof block);
    file.Write(block, sizeof block);
    CHECK_EQ(file.GetLength(), ULONGLONG(1400));
    BYTE* buffer = file.Detach();
    CHECK(buffer != nullptr);
    CHECK_EQ(_msize(buffer), size_t(2048));
    CHECK_EQ(file.GetLength(), ULONGLONG(0));
    free(buffer);
}

TEST(MemFileThrowsWhenMemoryRunsOut)
{
    CMemFile file(16);
    file.Write("0123456789", 10);
    bool threw = false;
    {
        CHeapFailure failure;
        try
        {
            file.Write("too much for sixteen bytes", 26);
        }
        catch (CMemoryException* e)
        {
            threw = true;
            e->Delete();
        }
    }
    CHECK(threw);
    CHECK_EQ(file.GetLength(), ULONGLONG(10));
    BYTE* buffer = file.Detach();
    CHECK_EQ(std::string(reinterpret_cast<char*>(buffer), 10), std::string("0123456789"));
    free(buffer);
}

TEST(MessageBoxesGoThroughTheApplication)
{
    theTestApp.m_answer = IDYES;
    CHECK_EQ(AfxMessageBox(L"Question?", MB_YESNO | MB_ICONQUESTION), IDYES);
    CHECK_EQ(theTestApp.m_prompt, std::wstring(L"Question?"));
    CHECK_EQ(theTestApp.m_type, UINT(MB_YESNO | MB_ICONQUESTION));
    CHECK_EQ(theTestApp.m_helpId, 0u);
    CHECK(AfxGetApp() == &theTestApp);
}

TEST(ResourceHandleLookup)
{
    CHECK(AfxGetResourceHandle() == GetModuleHandleW(nullptr));
    CHECK(AfxFindResourceHandle(MAKEINTRESOURCEW(130), RT_MANIFEST) == GetModuleHandleW(nullptr));
}

// The program's own throw helpers: an impossible container size is the lack
// of memory that every command reports; a range error is still an exception.
TEST(ContainerErrorsThrowWhatTheCommandsCatch)
{
    bool lackOfMemory = false;
    try
    {
        std::wstring text;
        text.reserve(text.max_size() + size_t(1));
    }
    catch (const std::bad_alloc&)
    {
        lackOfMemory = true;
    }
    CHECK(lackOfMemory);

    bool thrown = false;
    try
    {
        const std::wstring text = L"abc";
        CHECK(text.substr(4).empty()); // not reached
    }
    catch (const std::exception&)
    {
        thrown = true;
    }
    CHECK(thrown);
}
