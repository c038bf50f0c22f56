#include "TestSupport.h"

#include "framework/CallObserver.h"

#include <shellapi.h>

namespace testing
{
std::wstring BinDirectory()
{
    wchar_t path[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path);
    return dir.substr(0, dir.find_last_of(L'\\') + 1);
}

namespace
{
struct WindowSearch
{
    DWORD process;
    const std::function<bool(HWND)>* accept;
    HWND found;
};

BOOL CALLBACK FindInProcess(HWND window, LPARAM data)
{
    auto* search = reinterpret_cast<WindowSearch*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->process || !IsWindowVisible(window) ||
        (*search->accept && !(*search->accept)(window)))
        return TRUE;
    search->found = window;
    return FALSE;
}
} // namespace

HWND FindVisibleWindow(DWORD process, const std::function<bool(HWND)>& accept)
{
    WindowSearch search = {process, &accept, nullptr};
    EnumWindows(FindInProcess, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring Fixture(const wchar_t* name)
{
    return BinDirectory() + name;
}

std::string ReadFileBytes(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    std::string bytes;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0)
        bytes.append(buffer, read);
    CloseHandle(file);
    return bytes;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size();
    CloseHandle(file);
    return ok;
}

bool FileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string Utf8(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], length,
                        nullptr, nullptr);
    return bytes;
}

void RemoveTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE)
    {
        do
        {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring path = folder + name;
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path + L"\\");
            else
                DeleteFileW(path.c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.substr(0, folder.size() - 1).c_str());
}

int FilesIn(const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    int count = 0;
    do
        count += (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : 1;
    while (FindNextFileW(search, &found));
    FindClose(search);
    return count;
}

CScratchFolder::CScratchFolder(const wchar_t* name)
{
    const std::wstring root = BinDirectory() + L"scratch\\";
    CreateDirectoryW(root.c_str(), nullptr);
    m_path = root + name + L"\\";
    RemoveTree(m_path);
    CreateDirectoryW(m_path.substr(0, m_path.size() - 1).c_str(), nullptr);
}

CScratchFolder::~CScratchFolder()
{
    RemoveTree(m_path);
}

namespace
{
CObservedCalls* g_observed = nullptr;
} // namespace

CObservedCalls::CObservedCalls(std::function<void(const CObservedCall&)> onCall)
    : m_onCall(std::move(onCall))
{
    g_observed = this;
    SetCallObserver(
        [](const char* function, const std::vector<std::wstring>& arguments)
        {
            g_observed->m_calls.push_back({function, arguments});
            if (g_observed->m_onCall)
                g_observed->m_onCall(g_observed->m_calls.back());
        });
}

CObservedCalls::~CObservedCalls()
{
    SetCallObserver(nullptr);
    g_observed = nullptr;
}

std::vector<CObservedCall> CObservedCalls::Of(const char* function) const
{
    std::vector<CObservedCall> calls;
    for (const CObservedCall& call : m_calls)
        if (call.function == function)
            calls.push_back(call);
    return calls;
}

std::wstring ObservedText(const void* handle)
{
    return std::to_wstring(reinterpret_cast<ULONG_PTR>(handle));
}
} // namespace testing
