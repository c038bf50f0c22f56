// Files that pe/'s core reads and writes through a Win32 handle: the resource
// update reads the target and writes the new file through them, the tool's
// own PE reader and its check for a signature read through them. Pieces of at
// most 1 MiB, through the handle's own position rather than an OVERLAPPED
// offset (the files are mostly read and written front to back, and Wine takes
// a slower road for every call that carries an offset: a gigabyte streamed in
// 1.8 to 2.4 s instead of 0.85 s).
#pragma once

#include "PeImage.h"
#include "Stream.h"

#include <windows.h>

#include <functional>

namespace pe
{
// The handle, its position as far as known, and the one loop that moves
// bytes through it, under a Source or a Sink; a fault hook and the failure
// are the derived class's. A base of its own beside Source or Sink would
// make them classes with two bases, whose run-time type support (about
// 3 KB of the C++ runtime) the program otherwise never needs.
template <typename Stream> class Win32File : public Stream
{
public:
    // What Fault() gives for a call that reports success and moves nothing.
    static constexpr DWORD kNoProgress = 0xFFFFFFFF;

    // The error of the last failed call.
    DWORD Error() const { return m_error; }

protected:
    Win32File() = default;
    Win32File(const Win32File&) = delete;
    Win32File& operator=(const Win32File&) = delete;

    // Moves through file from here on, its position unknown.
    void Attach(HANDLE file)
    {
        m_file = file;
        m_position = kUnknown;
    }
    // Exactly size bytes at offset, read into data or written from it. A
    // call that fails, or moves nothing, ends in Failed with the platform's
    // error (ERROR_READ_FAULT or ERROR_WRITE_FAULT when it gave none).
    void Move(uint64_t offset, void* data, size_t size, bool write);

    // Asked before each piece: 0 moves it; kNoProgress makes the call
    // report success with nothing moved; any other value fails it with that
    // error. The resource update's fault hook.
    virtual DWORD Fault() { return 0; }
    // A failed call with error (never 0): keeps it for Error() and throws
    // IoError. Must not return.
    [[noreturn]] virtual void Failed(DWORD error)
    {
        m_error = error;
        throw IoError{};
    }

private:
    static constexpr uint64_t kUnknown = ~uint64_t(0);
    HANDLE m_file = INVALID_HANDLE_VALUE;
    uint64_t m_position = kUnknown; // the handle's, as far as known
    DWORD m_error = ERROR_READ_FAULT;
};

// Win32FileSource.cpp holds Move for these two.
extern template class Win32File<Source>;
extern template class Win32File<Sink>;

class Win32FileSource : public Win32File<Source>
{
public:
    Win32FileSource() = default;
    // The caller keeps file open while the source reads it.
    Win32FileSource(HANDLE file, uint64_t size) { Use(file, size); }

    // Reads file from here on (the update reads through one handle, then
    // through another).
    void Use(HANDLE file, uint64_t size)
    {
        Attach(file);
        m_size = size;
    }
    uint64_t Size() const override { return m_size; }
    void Read(uint64_t offset, void* data, size_t size) override
    {
        Move(offset, data, size, false);
    }

private:
    uint64_t m_size = 0;
};

// A new file written front to back, with a few bytes written again where
// they were (the checksum).
class Win32FileSink : public Win32File<Sink>
{
public:
    // Writes file from its start; the caller keeps it open meanwhile.
    void Use(HANDLE file)
    {
        Attach(file);
        m_end = 0;
    }
    void Write(const void* data, size_t size) override
    {
        WriteAt(m_end, data, size);
        m_end += size;
    }
    void WriteAt(uint64_t offset, const void* data, size_t size) override
    {
        Move(offset, const_cast<void*>(data), size, true);
    }
    // How many bytes Write has appended.
    uint64_t Written() const { return m_end; }

private:
    uint64_t m_end = 0;
};

// Opens the file named name for reading (others may read it and delete it)
// and hands read a source over it with the PE image it holds; the file is
// closed before this returns. 0, or the error: the file's,
// ERROR_BAD_EXE_FORMAT for what is not a well-formed PE image (BadImage,
// from read too), a failed read's. Out of memory throws std::bad_alloc.
DWORD ReadImageFile(const wchar_t* name,
                    const std::function<void(Win32FileSource&, const PeImage&)>& read);
} // namespace pe
