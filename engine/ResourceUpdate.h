// Updating the resources of an executable file: begin, write or delete, then
// commit or discard, with the contract of the platform's BeginUpdateResourceW,
// UpdateResourceW and EndUpdateResourceW. Ours deletes what it is asked to
// delete, keeps data appended after the last section, keeps every other
// section where it is, and replaces the file in one step so that it holds
// either all of its old bytes or all of its new ones.
#pragma once

#include <windows.h>

// Opens path and reads its resources into a pending update; the file stays
// open, and no one else can write it, until the update ends. Null with the
// last error set: ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND,
// ERROR_ACCESS_DENIED (also for a folder or a read-only file),
// ERROR_SHARING_VIOLATION, ERROR_BAD_EXE_FORMAT for anything that is not a
// well-formed image, ERROR_NOT_ENOUGH_MEMORY.
HANDLE BeginResourceUpdate(LPCWSTR path, BOOL deleteExistingResources);

// With data, adds or replaces exactly (type, name, language); with no data
// and size 0, deletes it. Types and names may be integers or strings.
BOOL UpdateResourceEntry(HANDLE update, LPCWSTR type, LPCWSTR name, WORD language, LPVOID data,
                         DWORD size);

// Discard: the file stays as it was. Commit: the new file is written beside
// the target, flushed and put in its place, keeping the target's attributes;
// a program that is running cannot be replaced (ERROR_SHARING_VIOLATION).
// The handle is finished whatever the result; FALSE with the last error of
// the failing step, and no temporary file left behind.
BOOL EndResourceUpdate(HANDLE update, BOOL discard);

// The steps of an update that tests can make fail through the fault hook.
enum class ResourceUpdateStep
{
    Open,
    Read,
    Update,
    CreateTemporary,
    WriteTemporary,
    Flush,
    Replace,
};
// hook returns the error a step fails with, or 0 to let it run; null turns
// the hook off. For tests.
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
    // the result, so it is never discarded after this.
    BOOL Commit() { return EndResourceUpdate(Detach(), FALSE); }
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
