#include "ResourceUpdate.h"

#include "ActivationContext.h"
#include "ResourceEditor.h"
#include "Win32FileSource.h"
#include "Win32Path.h"

#include <algorithm>
#include <memory>
#include <new>

namespace
{
ResourceUpdateFaultHook g_faultHook = nullptr;
// Files are read and written in pieces of this size, through one buffer.
constexpr size_t kChunk = 1024 * 1024;
// Room for the name of a file made beside the target ("~lmf0000.tmp").
constexpr size_t kSideNameLength = 12;
// Real-time virus scanners open a freshly written executable for a moment; a
// replacement or a removal that meets one is tried again this many times,
// this far apart: about two seconds in all.
constexpr int kRetries = 8;
constexpr DWORD kRetryInterval = 250;

// A failed step's error, carried to the end of the call, where it becomes
// the last error once every owner has cleaned up.
struct Failure
{
    DWORD error;
};

[[noreturn]] void Fail(DWORD error)
{
    throw Failure{error != 0 ? error : ERROR_GEN_FAILURE};
}

[[noreturn]] void FailWithLastError()
{
    Fail(GetLastError());
}

DWORD FaultOf(ResourceUpdateStep step)
{
    return g_faultHook ? g_faultHook(step) : 0;
}

// Fails when the hook makes step fail outright; kFaultNoProgress means
// something only to the steps that read or write the files (pe::Win32File).
void CheckFault(ResourceUpdateStep step)
{
    const DWORD fault = FaultOf(step);
    if (fault != 0 && fault != kFaultNoProgress)
        Fail(fault);
}

// A file handle, closed on every path (the writer depends on nothing of the
// program's, so it has its own owner).
class CHandle
{
public:
    CHandle() = default;
    explicit CHandle(HANDLE handle) : m_handle(handle) {}
    ~CHandle() { Close(); }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;

    HANDLE Get() const { return m_handle; }
    explicit operator bool() const { return m_handle != INVALID_HANDLE_VALUE; }
    void Attach(HANDLE handle)
    {
        Close();
        m_handle = handle;
    }
    void Close()
    {
        if (m_handle != INVALID_HANDLE_VALUE)
            CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE m_handle = INVALID_HANDLE_VALUE;
};

// The hook's way of making a call move nothing is the file's own.
static_assert(kFaultNoProgress == pe::Win32FileSink::kNoProgress, "one value for no progress");

// The target as the core reads it, through whichever handle the update holds
// at the time, as step of the fault hook; a failed read fails the update.
class CUpdateSource : public pe::Win32FileSource
{
public:
    void Use(HANDLE file, uint64_t size, ResourceUpdateStep step)
    {
        Win32FileSource::Use(file, size);
        m_step = step;
    }

protected:
    DWORD Fault() override { return FaultOf(m_step); }
    [[noreturn]] void Failed(DWORD error) override { Fail(error); }

private:
    ResourceUpdateStep m_step = ResourceUpdateStep::Read;
};

// What identifies the file's content: if any of it differs, someone else
// wrote the file between the begin and the commit.
struct FileIdentity
{
    BY_HANDLE_FILE_INFORMATION info;

    static FileIdentity Of(HANDLE file)
    {
        FileIdentity identity = {};
        if (!GetFileInformationByHandle(file, &identity.info))
            FailWithLastError();
        return identity;
    }
    bool operator==(const FileIdentity& other) const
    {
        const BY_HANDLE_FILE_INFORMATION &a = info, &b = other.info;
        return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
               a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow &&
               a.nFileSizeHigh == b.nFileSizeHigh && a.nFileSizeLow == b.nFileSizeLow &&
               CompareFileTime(&a.ftLastWriteTime, &b.ftLastWriteTime) == 0;
    }
    uint64_t Size() const { return uint64_t(info.nFileSizeHigh) << 32 | info.nFileSizeLow; }
};

struct PendingUpdate
{
    std::wstring path;       // full, in the extended form when it is long
    CHandle file;            // open from the begin until the commit locks the file
    FileIdentity identity{}; // its attributes too
    CUpdateSource source;
    std::unique_ptr<pe::ResourceEditor> editor;
    std::vector<WORD> manifestLanguages; // of manifest 1 in the target, as begun
};

// The languages of manifest 1 in tree.
std::vector<WORD> ManifestLanguages(const pe::ResourceTree& tree)
{
    std::vector<WORD> languages;
    const auto& types = tree.Root().entries;
    const auto type = types.find(pe::ResName::Id(24));
    if (type == types.end())
        return languages;
    const auto name = type->second.entries.find(pe::ResName::Id(1));
    if (name == type->second.entries.end())
        return languages;
    for (const auto& language : name->second.entries)
        if (!language.first.named)
            languages.push_back(language.first.id);
    return languages;
}

bool Contains(const std::vector<WORD>& languages, WORD language)
{
    return std::find(languages.begin(), languages.end(), language) != languages.end();
}

// The platform's judgement of the target's manifest 1, asked before the
// commit locks the file (the platform opens it sharing only reading), and
// then of the new file's.
class CManifestJudgement
{
public:
    CManifestJudgement(const PendingUpdate& update, const ResourceCommitOptions& options)
        : m_machine(update.editor->Image().Machine())
    {
        // An unreadable variant goes only where the platform refuses it as
        // well; where it cannot say, it stays.
        for (WORD language : options.unreadableManifests)
        {
            const ContextVerdict verdict =
                JudgesProcessor(m_machine) ? Judge(update.path, language) : ContextVerdict::Unknown;
            if (verdict == ContextVerdict::Builds)
                Fail(kErrorManifestAccepted);
            if (verdict == ContextVerdict::Unknown)
                Fail(kErrorManifestUnjudged);
        }
        if (!options.checkManifest || !JudgesProcessor(m_machine))
            return;
        // A variant the platform refuses in the target already, or cannot
        // judge, is no reason to refuse the change.
        for (WORD language : ManifestLanguages(update.editor->Tree()))
            if (!Contains(update.manifestLanguages, language) ||
                Judge(update.path, language) == ContextVerdict::Builds)
                m_languages.push_back(language);
    }

    // The new file, flushed and closed beside the target.
    void JudgeChanged(const std::wstring& file) const
    {
        for (WORD language : m_languages)
        {
            const DWORD fault = FaultOf(ResourceUpdateStep::Judge);
            if (fault != 0 || Judge(file, language) == ContextVerdict::Refused)
                Fail(kErrorManifestRefused);
        }
    }

private:
    ContextVerdict Judge(const std::wstring& file, WORD language) const
    {
        return JudgeActivationContext(file.c_str(), language, m_machine);
    }

    WORD m_machine;
    std::vector<WORD> m_languages; // to judge in the new file
};

PendingUpdate* FromHandle(HANDLE update)
{
    if (!update)
        SetLastError(ERROR_INVALID_HANDLE);
    return static_cast<PendingUpdate*>(update);
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

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// What someone else holding a file for a moment gives.
bool HeldByAnother(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED;
}

// Deletes a file made beside the target, again while another holds it for a
// moment. Whether it is gone.
bool RemoveSideFile(const std::wstring& path)
{
    for (int retry = 0;; ++retry)
    {
        const DWORD fault = FaultOf(ResourceUpdateStep::Remove);
        if (fault == 0 && DeleteFileW(path.c_str()))
            return true;
        if (!HeldByAnother(fault != 0 ? fault : GetLastError()) || retry == kRetries)
            return false;
        Sleep(kRetryInterval);
    }
}

// Moves a file under the target's name after a failed replacement,
// through to the disk.
bool MoveInto(const std::wstring& from, const std::wstring& to)
{
    const DWORD fault = FaultOf(ResourceUpdateStep::Restore);
    if (fault != 0)
    {
        SetLastError(fault);
        return false;
    }
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) != FALSE;
}

// The new file of a commit, written beside the target and deleted unless it
// was put in the target's place (or kept after a failure).
class CTemporaryFile : public pe::Win32FileSink
{
public:
    CTemporaryFile() = default;
    ~CTemporaryFile() override
    {
        m_file.Close();
        if (!m_path.empty())
            RemoveSideFile(m_path);
    }
    CTemporaryFile(const CTemporaryFile&) = delete;
    CTemporaryFile& operator=(const CTemporaryFile&) = delete;

    // A new file beside target, opened for writing by us alone; a free name
    // for the target's old file beside it.
    void Create(const std::wstring& target)
    {
        CheckFault(ResourceUpdateStep::CreateTemporary);
        const std::wstring folder = pe::FolderOf(target);
        const DWORD seed = GetTickCount() ^ GetCurrentProcessId() << 16;
        for (DWORD attempt = 0; attempt < 100; ++attempt)
        {
            wchar_t name[kSideNameLength + 1];
            wsprintfW(name, L"~lmf%04X.", (seed + attempt) & 0xFFFF);
            std::wstring path = folder + name + L"tmp";
            std::wstring backup = folder + name + L"old";
            if (Exists(backup))
                continue;
            HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file != INVALID_HANDLE_VALUE)
            {
                // Moves, which cannot fail: the file is owned from here.
                m_file.Attach(file);
                Use(file);
                m_path = std::move(path);
                m_backup = std::move(backup);
                return;
            }
            const DWORD error = GetLastError();
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
                Fail(error);
        }
        Fail(ERROR_FILE_EXISTS);
    }

    // Reports each write as progress of a file of total bytes.
    void Report(const ResourceCommitOptions* options, uint64_t total)
    {
        m_options = options && options->progress ? options : nullptr;
        m_total = total;
    }
    // Asks whether to go on; ERROR_CANCELLED when not.
    void CheckProgress() const
    {
        if (m_options && !m_options->progress(Written(), m_total, m_options->context))
            Fail(ERROR_CANCELLED);
    }

    void Write(const void* data, size_t size) override
    {
        Win32FileSink::Write(data, size);
        CheckProgress();
    }

    void Flush()
    {
        CheckFault(ResourceUpdateStep::Flush);
        if (!FlushFileBuffers(m_file.Get()))
            FailWithLastError();
    }

    void Close() { m_file.Close(); }
    const std::wstring& Path() const { return m_path; }
    const std::wstring& BackupName() const { return m_backup; }
    // The file now is the target, or is kept: not deleted.
    void Keep() { m_path.clear(); }

private:
    // The fault hook's step, and its failures as the update's.
    DWORD Fault() override { return FaultOf(ResourceUpdateStep::WriteTemporary); }
    [[noreturn]] void Failed(DWORD error) override { Fail(error); }

    CHandle m_file;
    std::wstring m_path;
    std::wstring m_backup;
    const ResourceCommitOptions* m_options = nullptr;
    uint64_t m_total = 0;
};

// ReplaceFileW, or what the fault hook makes of it; 0 on success, else the
// error.
DWORD TryReplace(const std::wstring& target, const CTemporaryFile& temporary)
{
    const DWORD fault = FaultOf(ResourceUpdateStep::Replace);
    if (fault == ERROR_UNABLE_TO_MOVE_REPLACEMENT)
    {
        // The replaced file no longer exists; the replacement keeps its name.
        MoveFileExW(target.c_str(), temporary.BackupName().c_str(), 0);
        DeleteFileW(temporary.BackupName().c_str());
        return fault;
    }
    if (fault == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2)
    {
        // The replaced file is under the backup name; the replacement keeps
        // its own.
        MoveFileExW(target.c_str(), temporary.BackupName().c_str(), 0);
        return fault;
    }
    if (fault != 0)
        return fault;
    if (ReplaceFileW(target.c_str(), temporary.Path().c_str(), temporary.BackupName().c_str(),
                     REPLACEFILE_WRITE_THROUGH | REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
        return 0;
    return GetLastError();
}

// Puts the new file in the target's place. The replacement keeps the
// target's security and time of creation; the old file goes to a backup
// name and is deleted afterwards, so that whatever the replacement's outcome
// the target's name holds the old file or the new one, never neither.
// guard holds the target while the replacement runs, so that no one writes
// it in between; it is let go where the platform will not replace a file
// that is held.
void Replace(const std::wstring& target, CTemporaryFile& temporary, CHandle& guard,
             std::wstring* keptFile)
{
    DWORD error = TryReplace(target, temporary);
    // While nothing has moved (ERROR_UNABLE_TO_REMOVE_REPLACED, too, leaves
    // both files under their names), a file held by another, a scanner
    // reading the new file or the target, is waited for. The first retry
    // comes at once, without the guard.
    for (int retry = 0; (HeldByAnother(error) || error == ERROR_UNABLE_TO_REMOVE_REPLACED) &&
                        retry <= kRetries && Exists(target) && !Exists(temporary.BackupName());
         ++retry)
    {
        guard.Close();
        if (retry > 0)
            Sleep(kRetryInterval);
        error = TryReplace(target, temporary);
    }
    guard.Close();
    const std::wstring& backup = temporary.BackupName();
    // The new file is in the target's place: the old one is let go.
    const auto replaced = [&]
    {
        temporary.Keep();
        RemoveSideFile(backup);
    };
    if (error == 0)
        return replaced();
    if (Exists(target))
        Fail(error); // nothing moved: the target is as it was
    if (Exists(backup))
    {
        // The old file is under the backup name: it goes back, or else the
        // new one takes the target's place.
        if (MoveInto(backup, target))
            Fail(error);
        if (MoveInto(temporary.Path(), target))
            return replaced();
        if (keptFile)
            *keptFile = backup;
        Fail(error);
    }
    // The old file is gone: the new one takes its place, or stays where it
    // is and the user is told its name.
    if (MoveInto(temporary.Path(), target))
    {
        temporary.Keep();
        return;
    }
    if (keptFile)
        *keptFile = temporary.Path();
    temporary.Keep();
    Fail(error);
}

void Commit(PendingUpdate& update, const ResourceCommitOptions* options, std::wstring* keptFile)
{
    const pe::FilePlan plan = update.editor->Plan();

    // The reading handle lets no one else write; the commit's handle also
    // asks for write access, which a running program or anyone holding the
    // file refuses, and checks that the file is still the one read (and
    // judged).
    update.file.Close();
    const std::unique_ptr<CManifestJudgement> judgement(
        options ? new CManifestJudgement(update, *options) : nullptr);
    CheckFault(ResourceUpdateStep::Lock);
    CHandle target(CreateFileW(update.path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                               FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!target)
        FailWithLastError();
    if (!(FileIdentity::Of(target.Get()) == update.identity))
        Fail(ERROR_SHARING_VIOLATION);
    update.source.Use(target.Get(), update.identity.Size(), ResourceUpdateStep::ReadSource);

    CTemporaryFile temporary;
    temporary.Create(update.path);
    temporary.Report(options, plan.Size());
    pe::WritePlan(plan, update.source, temporary, kChunk);
    temporary.Flush();
    temporary.Close();
    if (judgement)
        judgement->JudgeChanged(temporary.Path());
    // The last moment to stop: from here the new file takes the target's
    // place.
    temporary.CheckProgress();
    // Given to the new file first, as Wine's replacement does not carry them.
    SetFileAttributesW(temporary.Path().c_str(), update.identity.info.dwFileAttributes);
    Replace(update.path, temporary, target, keptFile);
}

// Runs body and turns what it throws into the last error; FALSE then.
template <typename Body> BOOL Guarded(Body body)
{
    DWORD error = 0;
    try
    {
        body();
        return TRUE;
    }
    catch (const Failure& failure)
    {
        error = failure.error;
    }
    catch (const pe::BadImage& refusal)
    {
        error = refusal.noRoom ? kErrorNoRoomForResources : ERROR_BAD_EXE_FORMAT;
    }
    catch (const std::bad_alloc&)
    {
        error = ERROR_NOT_ENOUGH_MEMORY;
    }
    catch (...)
    {
        error = ERROR_GEN_FAILURE;
    }
    SetLastError(error);
    return FALSE;
}
} // namespace

void SetResourceUpdateFaultHook(ResourceUpdateFaultHook hook)
{
    g_faultHook = hook;
}

HANDLE BeginResourceUpdate(LPCWSTR path, BOOL deleteExistingResources)
{
    PendingUpdate* result = nullptr;
    Guarded(
        [&]
        {
            // Released during the unwinding of a failure, before its error
            // becomes the last error.
            auto update = std::make_unique<PendingUpdate>();
            update->path = pe::ExtendedPath(pe::FullPath(path), kSideNameLength);
            const DWORD attributes = GetFileAttributesW(update->path.c_str());
            if (attributes == INVALID_FILE_ATTRIBUTES)
                FailWithLastError();
            // Wine running as root would open a read-only file for writing.
            if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))
                Fail(ERROR_ACCESS_DENIED);
            CheckFault(ResourceUpdateStep::Open);
            update->file.Attach(CreateFileW(update->path.c_str(), GENERIC_READ | DELETE,
                                            FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
            if (!update->file)
                FailWithLastError();
            update->identity = FileIdentity::Of(update->file.Get());
            update->source.Use(update->file.Get(), update->identity.Size(),
                               ResourceUpdateStep::Read);
            update->editor = std::make_unique<pe::ResourceEditor>(update->source);
            update->manifestLanguages = ManifestLanguages(update->editor->Tree());
            if (deleteExistingResources)
                update->editor->Tree() = pe::ResourceTree();
            result = update.release();
        });
    return result;
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
    return Guarded(
        [&]
        {
            CheckFault(ResourceUpdateStep::Update);
            pe::ResourceTree& tree = update->editor->Tree();
            if (!data)
                tree.Remove(ToResName(type), ToResName(name), pe::ResName::Id(language));
            else
            {
                const auto* bytes = static_cast<const uint8_t*>(data);
                tree.Set(ToResName(type), ToResName(name), pe::ResName::Id(language),
                         pe::Bytes(bytes, bytes + size));
            }
        });
}

BOOL EndResourceUpdateEx(HANDLE handle, BOOL discard, std::wstring* keptFile,
                         const ResourceCommitOptions* options)
{
    std::unique_ptr<PendingUpdate> update(FromHandle(handle));
    if (keptFile)
        keptFile->clear();
    if (!update)
        return FALSE;
    if (discard)
        return TRUE;
    return Guarded([&] { Commit(*update, options, keptFile); });
}

BOOL EndResourceUpdate(HANDLE update, BOOL discard)
{
    return EndResourceUpdateEx(update, discard, nullptr);
}
