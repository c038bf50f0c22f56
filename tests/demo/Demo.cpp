// The demo: a sample program with standard controls pictured before any
// change, after Lumaform's Enable and after its Disable, each change made by
// driving Lumaform.exe's own dialog; and that dialog itself, with the sample's
// path typed in, in the user-interface language the demo runs under.
//
//   demo OUTPUT_FOLDER          writes before.bmp, enabled.bmp, disabled.bmp
//                               and the dialog's picture
//   demo OUTPUT_FOLDER dialog   writes the dialog's picture only
//
// The dialog's picture is lumaform_fr.bmp under a French user interface and
// lumaform_en.bmp under any other. Exits with 1 unless the Enable picture
// differs from the first, the Disable one equals it, and the dialog was
// pictured.
#include "../e2e/LumaformSession.h"
#include "../support/TestSupport.h"
#include "../support/WindowCapture.h"

#include "res/resource.h"

#include <cstdio>

using namespace testing;

namespace
{
// A short path, as the dialogs' pictures show it.
const wchar_t kSampleFolder[] = L"C:\\Demo\\";

bool Change(CLumaformSession& session, int command)
{
    session.Click(command);
    const bool asked = session.Answer(IDNO).shown;
    return asked && session.Idle();
}

// The whole dialog (caption and frame included) once it has shown the path.
CWindowCapture PictureDialog(const CLumaformSession& session, const std::wstring& path)
{
    if (!session.Started())
        return CWindowCapture();
    session.SetPath(path);
    Sleep(300); // the dialog probes the file and sets its buttons
    RedrawWindow(session.Window(), nullptr, nullptr,
                 RDW_FRAME | RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(700); // the other process paints
    return CWindowCapture(session.Window(), CWindowCapture::WholeWindow);
}
} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2 || (argc > 2 && std::wstring(argv[2]) != L"dialog"))
    {
        printf("usage: demo OUTPUT_FOLDER [dialog]\n");
        return 2;
    }
    const bool dialogOnly = argc > 2;
    const std::wstring folder = std::wstring(argv[1]) + L"\\";
    const std::wstring sample = std::wstring(kSampleFolder) + L"Sample.exe";
    CreateDirectoryW(kSampleFolder, nullptr);
    if (!CopyFileW(Fixture(L"sample_controls.exe").c_str(), sample.c_str(), FALSE))
        return 2;
    const bool french = PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_FRENCH;
    const std::wstring dialogPicture = folder + (french ? L"lumaform_fr.bmp" : L"lumaform_en.bmp");

    CLumaformSession session;
    const CWindowCapture dialog = PictureDialog(session, sample);
    dialog.SaveBmp(dialogPicture);
    printf("Lumaform's dialog (%s) %s pictured.\n", french ? "French" : "English",
           dialog.Width() > 0 ? "was" : "was not");
    bool ok = dialog.Width() > 0;
    if (!dialogOnly)
    {
        session.SetSaveCopy(false);
        // The sample's first picture is taken with the dialog open beside it.
        const CWindowCapture before = CaptureProgramWindow(sample, L"LumaformSample");
        const bool enabled = Change(session, IDC_ENABLE_XP);
        const CWindowCapture themed = CaptureProgramWindow(sample, L"LumaformSample");
        const bool disabled = Change(session, IDC_DISABLE_XP);
        const CWindowCapture after = CaptureProgramWindow(sample, L"LumaformSample");
        before.SaveBmp(folder + L"before.bmp");
        themed.SaveBmp(folder + L"enabled.bmp");
        after.SaveBmp(folder + L"disabled.bmp");
        ok = ok && enabled && disabled && before.Width() > 0 && !(themed == before) &&
             after == before;
        printf("Enable %s the look; after Disable the picture %s the first one.\n",
               themed == before ? "did not change" : "changed",
               after == before ? "equals" : "differs from");
    }
    DeleteFileW(sample.c_str());
    RemoveDirectoryW(kSampleFolder);
    return ok ? 0 : 1;
}
