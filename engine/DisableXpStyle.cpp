// Disable: deletes every language variant of the target's manifest 1 in one
// update, then offers to start it.
#include "pe/ResourceUpdate.h"
#include "TargetModule.h"

#include "errors/ErrorCode.h"
#include "framework/AutoHandles.h"
#include "framework/WinApp.h"
#include "res/resource.h"
#include "ui/ManifestToolDlg.h"

BOOL CALLBACK DeleteManifestLanguage(HMODULE, LPCWSTR type, LPCWSTR name, WORD language,
                                     LONG_PTR param) noexcept
{
    auto& deletion = *reinterpret_cast<CManifestDeletion*>(param);
    // Integer ids are compared as such; a string type or name never matches.
    if (!IS_INTRESOURCE(type) || !IS_INTRESOURCE(name) || type != RT_MANIFEST ||
        name != MAKEINTRESOURCEW(1))
    {
        deletion.error = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    if (UpdateResourceEntry(deletion.update, RT_MANIFEST, MAKEINTRESOURCEW(1), language, nullptr,
                            0))
        return TRUE;
    deletion.error = GetLastError();
    return FALSE;
}

void CManifestToolDlg::OnDisableXpStyle()
{
    if (!UpdateData(TRUE))
        return;

    CString savedName;
    CLibrary module;
    CResourceUpdate update;
    std::wstring keptFile;

    try
    {
        if (!SaveBackupCopy(savedName))
            throw ErrorCodeFromLastError();
        // Loaded as data: no code of the target runs.
        module.Attach(LoadTargetModule(m_strPath));
        if (!module)
            throw ErrorCodeFromLastError();
        update.Attach(BeginResourceUpdate(m_strPath, FALSE));
        if (!update)
            throw ErrorCodeFromLastError();
        // A listing that the callback stopped ends, on Windows, with its own
        // error (ERROR_RESOURCE_ENUM_USER_STOP); the callback's error is the
        // one that says what went wrong.
        CManifestDeletion deletion{update.Get(), 0};
        if (!EnumResourceLanguagesW(module.Get(), RT_MANIFEST, MAKEINTRESOURCEW(1),
                                    DeleteManifestLanguage, reinterpret_cast<LONG_PTR>(&deletion)))
        {
            if (deletion.error != 0)
                SetLastError(deletion.error);
            throw ErrorCodeFromLastError();
        }
        // Released before the commit: the file must not be mapped while it
        // is replaced.
        module.Release();
        if (!update.Commit(&keptFile))
            throw ErrorCodeFromLastError();

        RefreshCommandStates();

        CString suffix;
        if (!savedName.IsEmpty())
            suffix.Format(IDS_COPY_SAVED, static_cast<LPCWSTR>(savedName));
        CString message;
        message.Format(IDS_DISABLED_OK, static_cast<LPCWSTR>(suffix));
        if (AfxMessageBox(message, MB_YESNO | MB_ICONQUESTION) == IDYES)
            LaunchTarget();
    }
    catch (HRESULT code)
    {
        // The module first, then the update still open; the file keeps its
        // old bytes.
        module.Release();
        update.Discard();
        ShowCommandError(code, keptFile);
    }
}
