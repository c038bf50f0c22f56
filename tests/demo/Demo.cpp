// The demo: a sample program with standard controls pictured before any
// change, after Lumaform's Enable and after its Disable, each change made by
// driving Lumaform.exe's own dialog. Writes before.bmp, enabled.bmp and
// disabled.bmp into the folder given as argument; exits with 1 unless the
// Enable picture differs from the first and the Disable one equals it.
#include "../e2e/LumaformSession.h"
#include "../support/TestSupport.h"
#include "../support/WindowCapture.h"

#include "res/resource.h"

#include <cstdio>

using namespace testing;

namespace
{
bool Change(CLumaformSession& session, int command)
{
    session.Click(command);
    const bool asked = session.Answer(IDNO).shown;
    return asked && session.Idle();
}
} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2)
    {
        printf("usage: demo OUTPUT_FOLDER\n");
        return 2;
    }
    const std::wstring folder = std::wstring(argv[1]) + L"\\";
    const std::wstring sample = folder + L"Sample.exe";
    if (!CopyFileW(Fixture(L"sample_controls.exe").c_str(), sample.c_str(), FALSE))
        return 2;

    const CWindowCapture before = CaptureProgramWindow(sample, L"LumaformSample");
    CLumaformSession session;
    session.SetSaveCopy(false);
    session.SetPath(sample);
    const bool enabled = Change(session, IDC_ENABLE_XP);
    const CWindowCapture themed = CaptureProgramWindow(sample, L"LumaformSample");
    const bool disabled = Change(session, IDC_DISABLE_XP);
    const CWindowCapture after = CaptureProgramWindow(sample, L"LumaformSample");

    before.SaveBmp(folder + L"before.bmp");
    themed.SaveBmp(folder + L"enabled.bmp");
    after.SaveBmp(folder + L"disabled.bmp");
    DeleteFileW(sample.c_str());
    const bool ok =
        enabled && disabled && before.Width() > 0 && !(themed == before) && after == before;
    printf("Enable %s the look; after Disable the picture %s the first one.\n",
           themed == before ? "did not change" : "changed",
           after == before ? "equals" : "differs from");
    return ok ? 0 : 1;
}
