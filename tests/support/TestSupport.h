// Helpers shared by the test executables: where the fixtures are, reading
// files, scratch folders.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

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

// One call the program reported through ObserveCall (framework/CallObserver.h).
struct CObservedCall
{
    std::string function;
    std::vector<std::wstring> arguments;
};
// While it lives, keeps every call the program reports, in order, and runs
// onCall, when given, inside the report, just before the call is made.
class CObservedCalls
{
public:
    explicit CObservedCalls(std::function<void(const CObservedCall&)> onCall = {});
    ~CObservedCalls();
    CObservedCalls(const CObservedCalls&) = delete;
    CObservedCalls& operator=(const CObservedCalls&) = delete;
    // The reported calls of function, in order.
    std::vector<CObservedCall> Of(const char* function) const;
    std::vector<CObservedCall> m_calls;

private:
    std::function<void(const CObservedCall&)> m_onCall;
};
// A handle or number as ObserveCall reports it.
std::wstring ObservedText(const void* handle);

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
