// The core's source and sink on POSIX files, so that the native tests and
// tools stream plans exactly as the Win32 layer does.
#pragma once

#include "pe/ResourceTree.h"
#include "pe/Stream.h"

#include <functional>
#include <string>

namespace pecheck
{
// Owns a file descriptor: closes it once.
class PosixFd
{
public:
    explicit PosixFd(int fd) : m_fd(fd) {}
    ~PosixFd();
    PosixFd(const PosixFd&) = delete;
    PosixFd& operator=(const PosixFd&) = delete;
    int Get() const { return m_fd; }
    bool IsOpen() const { return m_fd >= 0; }

private:
    int m_fd;
};

// Reads an open file with pread; IoError on a failed or short read.
class PosixSource : public pe::Source
{
public:
    explicit PosixSource(const std::string& path);
    bool IsOpen() const { return m_fd.IsOpen(); }
    uint64_t Size() const override { return m_size; }
    void Read(uint64_t offset, void* data, size_t size) override;

private:
    PosixFd m_fd;
    uint64_t m_size = 0;
};

// Writes a new file; IoError on a failed write. Sync flushes it to disk.
class PosixSink : public pe::Sink
{
public:
    explicit PosixSink(const std::string& path);
    bool IsOpen() const { return m_fd.IsOpen(); }
    void Write(const void* data, size_t size) override;
    void WriteAt(uint64_t offset, const void* data, size_t size) override;
    void Sync();

private:
    PosixFd m_fd;
    uint64_t m_position = 0;
};
// Reads from, changes the tree with change, and streams the new file into
// to, flushed to disk: what a commit does, on POSIX files.
void EditFile(const std::string& from, const std::string& to,
              const std::function<void(pe::ResourceTree&)>& change);
} // namespace pecheck
