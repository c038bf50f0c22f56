// Helpers shared by the test executables: where the fixtures are, reading
// files, scratch folders.
#pragma once

#include <windows.h>
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
