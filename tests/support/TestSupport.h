// Helpers shared by the test executables: where the fixtures are, reading
// files, scratch folders.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace testing
{
// The folder of the running test executable, with a trailing backslash; the
// fixture programs are built beside it.
std::wstring BinDirectory();
std::wstring Fixture(const wchar_t* name);
// The bytes of a file; empty when it cannot be read.
std::string ReadFileBytes(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
bool FileExists(const std::wstring& path);
std::string Utf8(const std::wstring& text);
// The first visible top-level window of process that accept takes (any
// window when accept is empty), or null.
HWND FindVisibleWindow(DWORD process, const std::function<bool(HWND)>& accept = {});

// Deletes folder (with a trailing backslash) and everything in it.
void RemoveTree(const std::wstring& folder);
// How many files (not folders) folder (with a trailing backslash) holds.
int FilesIn(const std::wstring& folder);

// A new empty folder under the build tree's scratch folder, removed with its
// content when the object ends.
class CScratchFolder
{
public:
    explicit CScratchFolder(const wchar_t* name);
    ~CScratchFolder();
    CScratchFolder(const CScratchFolder&) = delete;
    CScratchFolder& operator=(const CScratchFolder&) = delete;
    const std::wstring& Path() const { return m_path; } // trailing backslash
    std::wstring operator/(const std::wstring& name) const { return m_path + name; }

private:
    std::wstring m_path;
};
} // namespace testing
