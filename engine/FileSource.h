// A file that the tool's own PE reader (pe/) reads through a Win32 handle.
#pragma once

#include "pe/Stream.h"

#include <windows.h>

class CFileSource : public pe::Source
{
public:
    // The caller keeps file open while the source is used.
    CFileSource(HANDLE file, uint64_t size) : m_file(file), m_size(size) {}
    uint64_t Size() const override { return m_size; }
    // A read that fails or moves nothing throws pe::IoError and keeps the
    // platform's error for Error().
    void Read(uint64_t offset, void* data, size_t size) override;
    DWORD Error() const { return m_error; }

private:
    HANDLE m_file;
    uint64_t m_size;
    DWORD m_error = ERROR_READ_FAULT;
};
