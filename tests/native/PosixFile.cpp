#include "PosixFile.h"

#include "pe/ResourceEditor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pecheck
{
PosixSource::PosixSource(const std::string& path) : m_fd(open(path.c_str(), O_RDONLY))
{
    struct stat info;
    if (m_fd >= 0 && fstat(m_fd, &info) == 0)
        m_size = static_cast<uint64_t>(info.st_size);
}

PosixSource::~PosixSource()
{
    if (m_fd >= 0)
        close(m_fd);
}

void PosixSource::Read(uint64_t offset, void* data, size_t size)
{
    auto* bytes = static_cast<char*>(data);
    while (size != 0)
    {
        const ssize_t read = pread(m_fd, bytes, size, static_cast<off_t>(offset));
        if (read <= 0)
            throw pe::IoError{};
        bytes += read;
        offset += static_cast<uint64_t>(read);
        size -= static_cast<size_t>(read);
    }
}

PosixSink::PosixSink(const std::string& path)
    : m_fd(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644))
{
}

PosixSink::~PosixSink()
{
    if (m_fd >= 0)
        close(m_fd);
}

void PosixSink::Write(const void* data, size_t size)
{
    WriteAt(m_position, data, size);
    m_position += size;
}

void PosixSink::WriteAt(uint64_t offset, const void* data, size_t size)
{
    const auto* bytes = static_cast<const char*>(data);
    while (size != 0)
    {
        const ssize_t written = pwrite(m_fd, bytes, size, static_cast<off_t>(offset));
        if (written <= 0)
            throw pe::IoError{};
        bytes += written;
        offset += static_cast<uint64_t>(written);
        size -= static_cast<size_t>(written);
    }
}

void PosixSink::Sync()
{
    if (fsync(m_fd) != 0)
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
