#include "PosixFile.h"

#include "pe/ResourceEditor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pecheck
{
namespace
{
// Moves size bytes at offset with call (pread or pwrite), piece by piece;
// a call that fails or moves nothing is an IoError.
template <typename Bytes, typename Call>
void Transfer(int fd, uint64_t offset, Bytes* bytes, size_t size, Call call)
{
    while (size != 0)
    {
        const ssize_t moved = call(fd, bytes, size, static_cast<off_t>(offset));
        if (moved <= 0)
            throw pe::IoError{};
        bytes += moved;
        offset += static_cast<uint64_t>(moved);
        size -= static_cast<size_t>(moved);
    }
}
} // namespace

PosixFd::~PosixFd()
{
    if (m_fd >= 0)
        close(m_fd);
}

PosixSource::PosixSource(const std::string& path) : m_fd(open(path.c_str(), O_RDONLY))
{
    struct stat info;
    if (m_fd.IsOpen() && fstat(m_fd.Get(), &info) == 0)
        m_size = static_cast<uint64_t>(info.st_size);
}

void PosixSource::Read(uint64_t offset, void* data, size_t size)
{
    Transfer(m_fd.Get(), offset, static_cast<char*>(data), size, pread);
}

PosixSink::PosixSink(const std::string& path)
    : m_fd(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644))
{
}

void PosixSink::Write(const void* data, size_t size)
{
    WriteAt(m_position, data, size);
    m_position += size;
}

void PosixSink::WriteAt(uint64_t offset, const void* data, size_t size)
{
    Transfer(m_fd.Get(), offset, static_cast<const char*>(data), size, pwrite);
}

void PosixSink::Sync()
{
    if (fsync(m_fd.Get()) != 0)
        throw pe::IoError{};
}

void EditFile(const std::string& from, const std::string& to,
              const std::function<void(pe::ResourceTree&)>& change)
{
    PosixSource source(from);
    if (!source.IsOpen())
        throw pe::IoError{};
    pe::ResourceEditor editor(source);
    change(editor.Tree());
    const pe::FilePlan plan = editor.Plan();
    PosixSink sink(to);
    if (!sink.IsOpen())
        throw pe::IoError{};
    pe::WritePlan(plan, source, sink);
    sink.Sync();
}
} // namespace pecheck
