// A running Lumaform.exe driven from the test by window messages, as a user
// would drive it: type a path, tick or untick the copy, click, read and
// answer the boxes it shows.
#pragma once

#include <windows.h>
#include <string>

namespace testing
{
struct MessageBoxSeen
{
    bool shown = false;
    std::wstring caption;
    std::wstring text;
};

class CLumaformSession
{
public:
    CLumaformSession();
    // The program at exe, started in currentDirectory.
    CLumaformSession(const std::wstring& exe, const std::wstring& currentDirectory);
    // The built program, whose started programs (the launch recorder)
    // record their starts in the file record.
    explicit CLumaformSession(const std::wstring& record);
    ~CLumaformSession(); // closes the program, killing it if it hangs
    CLumaformSession(const CLumaformSession&) = delete;
    CLumaformSession& operator=(const CLumaformSession&) = delete;

    bool Started() const { return m_window != nullptr; }
    HWND Window() const { return m_window; }

    void SetPath(const std::wstring& path) const;
    void SetSaveCopy(bool save) const;
    // "E", "D", "S" for each of Enable, Disable, Start that is enabled, "-"
    // for one that is not: "E-S" when only Disable is off.
    std::string Buttons() const;
    // Posts a click on the button, as the command may show a modal box.
    void Click(int id) const;
    // Waits for the box the program shows next and answers it with the
    // button id; what the box said.
    MessageBoxSeen Answer(int button, DWORD timeout = 20000) const;
    // Whether the main window is enabled again (no box open) within timeout.
    bool Idle(DWORD timeout = 20000) const;

private:
    std::string ExitState() const;

    PROCESS_INFORMATION m_process = {};
    HWND m_window = nullptr;
};
} // namespace testing
