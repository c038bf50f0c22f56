#include "ResourceUpdate.h"

#include "ResourceEditor.h"
#include "framework/AutoHandles.h"

#include <memory>
#include <new>
#include <string>

namespace
{
ResourceUpdateFaultHook g_faultHook = nullptr;
// Files are read and written in pieces of this size: large single calls are
// markedly slower under Wine.
constexpr size_t kChunk = 256 * 1024;

// Whether the test hook makes step fail; the last error is then set.
bool Faulted(ResourceUpdateStep step)
{
    const DWORD error = g_faultHook ? g_faultHook(step) : 0;
    if (error == 0)
        return false;
    SetLastError(error);
    return true;
}

struct PendingUpdate
{
    std::wstring path;
    DWORD attributes = 0;
    CFileHandle file; // open from the begin until the update ends
    std::unique_ptr<pe::ResourceEditor> editor;
};

PendingUpdate* FromHandle(HANDLE update)
{
    if (!update)
        SetLastError(ERROR_INVALID_HANDLE);
    return static_cast<PendingUpdate*>(update);
}

bool ReadWholeFile(HANDLE file, pe::Bytes& bytes)
{
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size))
        return false;
    if (Faulted(ResourceUpdateStep::Read))
        return false;
    if (static_cast<ULONGLONG>(size.QuadPart) > 0x7FFFFFFF)
    {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    bytes.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < bytes.size())
    {
        DWORD read = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, kChunk));
        if (!ReadFile(file, bytes.data() + done, chunk, &read, nullptr))
            return false;
        if (read == 0)
        {
            SetLastError(ERROR_HANDLE_EOF);
            return false;
        }
        done += read;
    }
    return true;
}

// A resource type or name as the platform takes it: an integer id, "#123"
// for the id 123, or a string, compared in upper case as FindResource does.
pe::ResName ToResName(LPCWSTR value)
{
    if (IS_INTRESOURCE(value))
        return pe::ResName::Id(LOWORD(reinterpret_cast<ULONG_PTR>(value)));
    if (value[0] == L'#')
    {
        unsigned id = 0;
        bool digits = value[1] != 0;
        for (LPCWSTR c = value + 1; *c && digits; ++c)
        {
            digits = *c >= L'0' && *c <= L'9';
            id = id * 10 + (*c - L'0');
            digits = digits && id <= 0xFFFF;
        }
        if (digits)
            return pe::ResName::Id(static_cast<uint16_t>(id));
    }
    std::wstring upper(value);
    CharUpperBuffW(&upper[0], static_cast<DWORD>(upper.size()));
    return pe::ResName::Named(std::u16string(upper.begin(), upper.end()));
}

// The folder part of path with its separator, or empty for a bare name.
std::wstring FolderOf(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

// The full form of path, so that the temporary file lands beside the target
// and the replacement names it however the user typed it (relative names
// included); the path itself when it cannot be resolved.
std::wstring FullPathOf(LPCWSTR path)
{
    const DWORD size = GetFullPathNameW(path, 0, nullptr, nullptr);
    if (size == 0)
        return path;
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(path, size, &full[0], nullptr);
    if (length == 0 || length >= size)
        return path;
    full.resize(length);
    return full;
}

// Owns the temporary file of a commit and deletes it unless it was put in
// the target's place.
class CTemporaryFile
{
public:
    CTemporaryFile() = default;
    ~CTemporaryFile()
    {
        m_file.Release();
        if (!m_path.empty())
            DeleteFileW(m_path.c_str());
    }
    CTemporaryFile(const CTemporaryFile&) = delete;
    CTemporaryFile& operator=(const CTemporaryFile&) = delete;

    // A new file beside target, opened for writing only by us.
    bool Create(const std::wstring& target)
    {
        if (Faulted(ResourceUpdateStep::CreateTemporary))
            return false;
        const std::wstring folder = FolderOf(target);
        DWORD seed = GetTickCount() ^ GetCurrentProcessId() << 16;
        for (int attempt = 0; attempt < 100; ++attempt)
        {
            wchar_t name[16];
            wsprintfW(name, L"~lmf%04X.tmp", (seed + attempt) & 0xFFFF);
            const std::wstring path = folder + name;
            HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file != INVALID_HANDLE_VALUE)
            {
                m_file.Attach(file);
                m_path = path;
                return true;
            }
            const DWORD error = GetLastError();
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
                return false;
        }
        return false;
    }

    bool Write(const pe::Bytes& bytes)
    {
        size_t done = 0;
        while (done < bytes.size())
        {
            if (Faulted(ResourceUpdateStep::WriteTemporary))
                return false;
            DWORD written = 0;
            const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, kChunk));
            if (!WriteFile(m_file.Get(), bytes.data() + done, chunk, &written, nullptr))
                return false;
            done += written;
        }
        return !Faulted(ResourceUpdateStep::Flush) && FlushFileBuffers(m_file.Get());
    }

    void Close() { m_file.Release(); }
    const std::wstring& Path() const { return m_path; }
    // The file now is the target; nothing to delete.
    void Keep() { m_path.clear(); }

private:
    CFileHandle m_file;
    std::wstring m_path;
};

BOOL Commit(PendingUpdate& update)
{
    pe::Bytes image;
    try
    {
        image = update.editor->Build();
    }
    catch (const pe::BadImage&)
    {
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return FALSE;
    }
    catch (const std::bad_alloc&)
    {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    update.editor.reset();

    // Our reading handle lets no one else write; it gives way to one that
    // also asks for write access, which a running program or anyone holding
    // the file refuses. It is held while the new bytes are written.
    update.file.Release();
    CFileHandle exclusive(CreateFileW(update.path.c_str(), GENERIC_WRITE | DELETE, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
    if (!exclusive)
        return FALSE;

    CTemporaryFile temporary;
    if (!temporary.Create(update.path) || !temporary.Write(image))
        return FALSE;
    temporary.Close();
    image = pe::Bytes();
    exclusive.Release();

    // The replacement keeps the target's security and time of creation;
    // its attributes are given to the new file first, as Wine's does not
    // carry them over.
    SetFileAttributesW(temporary.Path().c_str(), update.attributes);
    if (Faulted(ResourceUpdateStep::Replace) ||
        !ReplaceFileW(update.path.c_str(), temporary.Path().c_str(), nullptr,
                      REPLACEFILE_WRITE_THROUGH | REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                      nullptr))
        return FALSE;
    temporary.Keep();
    return TRUE;
}
} // namespace

void SetResourceUpdateFaultHook(ResourceUpdateFaultHook hook)
{
    g_faultHook = hook;
}

HANDLE BeginResourceUpdate(LPCWSTR path, BOOL deleteExistingResources)
{
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return nullptr;
    // Wine running as root would open a read-only file for writing.
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    if (Faulted(ResourceUpdateStep::Open))
        return nullptr;
    CFileHandle file(CreateFileW(path, GENERIC_READ | DELETE, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file)
        return nullptr;
    try
    {
        auto update = std::make_unique<PendingUpdate>();
        update->path = FullPathOf(path);
        update->attributes = attributes;
        pe::Bytes bytes;
        if (!ReadWholeFile(file.Get(), bytes))
            return nullptr;
        update->editor = std::make_unique<pe::ResourceEditor>(std::move(bytes));
        if (deleteExistingResources)
            update->editor->Tree() = pe::ResourceTree();
        update->file.Attach(file.Detach());
        return update.release();
    }
    catch (const pe::BadImage&)
    {
        SetLastError(ERROR_BAD_EXE_FORMAT);
    }
    catch (const std::bad_alloc&)
    {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    return nullptr;
}

BOOL UpdateResourceEntry(HANDLE handle, LPCWSTR type, LPCWSTR name, WORD language, LPVOID data,
                         DWORD size)
{
    PendingUpdate* update = FromHandle(handle);
    if (!update)
        return FALSE;
    if (!type || !name || (!data && size != 0))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (Faulted(ResourceUpdateStep::Update))
        return FALSE;
    try
    {
        pe::ResourceTree& tree = update->editor->Tree();
        if (!data)
            tree.Remove(ToResName(type), ToResName(name), pe::ResName::Id(language));
        else
        {
            const auto* bytes = static_cast<const uint8_t*>(data);
            tree.Set(ToResName(type), ToResName(name), pe::ResName::Id(language),
                     pe::Bytes(bytes, bytes + size));
        }
        return TRUE;
    }
    catch (const std::bad_alloc&)
    {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}

BOOL EndResourceUpdate(HANDLE handle, BOOL discard)
{
    std::unique_ptr<PendingUpdate> update(FromHandle(handle));
    if (!update)
        return FALSE;
    return discard ? TRUE : Commit(*update);
}
