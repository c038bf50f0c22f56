// A file that pe/'s core reads through a Win32 handle: the resource update,
// the tool's own PE reader and its check for a signature all read through
// it. Pieces of at most 1 MiB, through the handle's own position rather than
// an OVERLAPPED offset (the file is mostly read front to back, and Wine takes
// a slower road for every call that carries an offset).
#pragma once

#include "Stream.h"

#include <windows.h>

namespace pe
{
class Win32FileSource : public Source
{
public:
    // What Fault() gives for a read that reports success and moves nothing.
    static constexpr DWORD kNoProgress = 0xFFFFFFFF;

    Win32FileSource() = default;
    // The caller keeps file open while the source reads it.
    Win32FileSource(HANDLE file, uint64_t size) { Use(file, size); }
    Win32FileSource(const Win32FileSource&) = delete;
    Win32FileSource& operator=(const Win32FileSource&) = delete;

    // Reads file from here on (the update reads through one handle, then
    // through another).
    void Use(HANDLE file, uint64_t size);
    uint64_t Size() const override { return m_size; }
    // Exactly size bytes at offset. A read that fails, or moves nothing,
    // ends in Failed with the platform's error (ERROR_READ_FAULT when it gave
    // none).
    void Read(uint64_t offset, void* data, size_t size) override;
    // The error of the last failed read.
    DWORD Error() const { return m_error; }

protected:
    // Asked before each piece: 0 reads it; kNoProgress makes the read
    // report success with nothing moved; any other value fails it with that
    // error. The resource update's fault hook.
    virtual DWORD Fault() { return 0; }
    // A failed read with error (never 0): keeps it for Error() and throws
    // IoError. Must not return.
    [[noreturn]] virtual void Failed(DWORD error);

private:
    static constexpr uint64_t kUnknown = ~uint64_t(0);
    HANDLE m_file = INVALID_HANDLE_VALUE;
    uint64_t m_size = 0;
    uint64_t m_position = kUnknown; // the handle's, as far as known
    DWORD m_error = ERROR_READ_FAULT;
};
} // namespace pe
