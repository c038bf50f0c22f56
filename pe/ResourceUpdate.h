// Updating the resources of an executable file: begin, write or delete, then
// commit or discard, with the contract of the platform's BeginUpdateResourceW,
// UpdateResourceW and EndUpdateResourceW. Ours deletes what it is asked to
// delete, keeps data appended after the last section, keeps every other
// section where it is, and replaces the file in one step so that it holds
// either all of its old bytes or all of its new ones.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// Opens path and reads its headers and resources into a pending update; the
// file stays open, and no one else can write it, until the update ends. Null
// with the last error set: ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND,
// ERROR_ACCESS_DENIED (also for a folder or a read-only file),
// ERROR_SHARING_VIOLATION, ERROR_BAD_EXE_FORMAT for anything that is not a
// well-formed image, ERROR_NOT_ENOUGH_MEMORY, or a read's error.
HANDLE BeginResourceUpdate(LPCWSTR path, BOOL deleteExistingResources);

// With data, adds or replaces exactly (type, name, language); with no data
// and size 0, deletes it. Types and names may be integers or strings.
BOOL UpdateResourceEntry(HANDLE update, LPCWSTR type, LPCWSTR name, WORD language, LPVOID data,
                         DWORD size);

// The last error of a commit for which no layout fits: a well-formed program
// whose file leaves the resources no room to grow (headers without room for
// another section, no address space to spare). A code of the program's own,
// with the customer bit set, that no system message names.
constexpr DWORD kErrorNoRoomForResources = 0xA0520001;
// The last errors of a commit that a check of the program's manifest stopped
// (ResourceCommitOptions): the platform would refuse manifest 1 of the new
// file, while it builds the target's; the platform builds a variant of
// manifest 1 that the update deletes as unreadable; or it cannot be asked
// about such a variant (a program of another processor, a file it cannot
// map).
constexpr DWORD kErrorManifestRefused = 0xA0520002;
constexpr DWORD kErrorManifestAccepted = 0xA0520003;
constexpr DWORD kErrorManifestUnjudged = 0xA0520004;

// What a commit checks beyond the platform's contract, asking the platform
// itself (ActivationContext.h) whether it would start the program.
struct ResourceCommitOptions
{
    // The new file, written and flushed, takes the target's place only where
    // the platform builds each language variant of its manifest 1 whose
    // variant in the target it builds (or which the target lacks); else the
    // commit fails with kErrorManifestRefused. Judged for programs of this
    // process's processor only (JudgesProcessor): nothing is refused for
    // what this machine cannot bind.
    bool checkManifest = false;
    // Languages of manifest 1 that the update deletes because the caller
    // cannot read them: only where the platform refuses the target's variant
    // too. Where it builds one, the commit fails with
    // kErrorManifestAccepted; where it cannot judge one, with
    // kErrorManifestUnjudged.
    std::vector<WORD> unreadableManifests;
    // Told how many bytes of the new file are written (done of total) as it
    // is written, and once more before it takes the target's place; a false
    // answer stops the commit, which then fails with ERROR_CANCELLED and
    // leaves the target as it was. Called on the committing thread.
    bool (*progress)(uint64_t done, uint64_t total, void* context) = nullptr;
    void* context = nullptr;
};

// Discard: the file stays as it was. Commit: the new file is streamed from
// the target into a file beside it, flushed and put in its place, keeping the
// target's attributes; a program that is running cannot be replaced
// (ERROR_SHARING_VIOLATION). Virus scanners open a freshly written file for
// a moment: putting it in place, and removing a file made beside the target,
// are tried again over about two seconds while they fail with a sharing
// violation or access denied. The handle is finished whatever the result;
// FALSE with the last error of the failing step, and no temporary file left
// behind. Memory use does not grow with the size of the file.
BOOL EndResourceUpdate(HANDLE update, BOOL discard);

// As EndResourceUpdate. When a failed replacement left the target's name
// empty and neither the old nor the new file could be put back under it,
// keptFile receives the name the program is kept under (it is not deleted);
// otherwise it is emptied.
// options, when given, adds its checks to a commit; the target's manifest is
// judged before the commit locks the file, with no handle of the update on
// it, and the new file's once it is flushed and closed.
BOOL EndResourceUpdateEx(HANDLE update, BOOL discard, std::wstring* keptFile,
                         const ResourceCommitOptions* options = nullptr);

// The steps of an update that tests can make fail through the fault hook.
enum class ResourceUpdateStep
{
    Open,            // opening the target at the begin
    Read,            // reading its headers and resources at the begin
    Update,          // a change
    Lock,            // opening the target for the commit
    CreateTemporary, // creating the new file beside it
    ReadSource,      // reading the target while the new file is written
    WriteTemporary,  // writing the new file
    Flush,           // flushing it
    Replace,         // putting it in the target's place
    Restore,         // putting a file back under the target's name after a failed replacement
    Remove,          // deleting the new file after a failure, or the old one after the replacement
    Judge,           // the platform's judgement of the new file's manifest (ResourceCommitOptions)
};
// What the hook returns for a step: 0 lets it run; kFaultNoProgress makes a
// read or write report success with no bytes moved; any other value is the
// error the step fails with; for Judge, the error with which the platform
// refuses to build the new file's activation context, as CreateActCtxW does
// (INVALID_HANDLE_VALUE). For Replace, ERROR_UNABLE_TO_MOVE_REPLACEMENT and
// ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 leave the files as the platform documents
// for them (the target gone; the target under the backup name) before
// failing. Null turns the hook off. For tests.
constexpr DWORD kFaultNoProgress = 0xFFFFFFFF;
using ResourceUpdateFaultHook = DWORD (*)(ResourceUpdateStep step);
void SetResourceUpdateFaultHook(ResourceUpdateFaultHook hook);

// Owns a pending update: discards it on destruction unless it was ended.
class CResourceUpdate
{
public:
    CResourceUpdate() = default;
    explicit CResourceUpdate(HANDLE update) : m_update(update) {}
    ~CResourceUpdate() { Discard(); }
    CResourceUpdate(const CResourceUpdate&) = delete;
    CResourceUpdate& operator=(const CResourceUpdate&) = delete;

    HANDLE Get() const { return m_update; }
    explicit operator bool() const { return m_update != nullptr; }
    // Takes over update, discarding one still held.
    void Attach(HANDLE update)
    {
        Discard();
        m_update = update;
    }
    // Ends the update with a commit; afterwards it counts as closed whatever
    // the result, so it is never discarded after this. keptFile and options
    // as for EndResourceUpdateEx.
    BOOL Commit(std::wstring* keptFile = nullptr, const ResourceCommitOptions* options = nullptr)
    {
        return EndResourceUpdateEx(Detach(), FALSE, keptFile, options);
    }
    void Discard()
    {
        if (m_update)
            EndResourceUpdate(Detach(), TRUE);
    }
    HANDLE Detach()
    {
        HANDLE update = m_update;
        m_update = nullptr;
        return update;
    }

private:
    HANDLE m_update = nullptr;
};
