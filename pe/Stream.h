// Where the core reads an image from and writes a new one to. The core reads
// only the parts of a file it needs (headers, the resource section, a few
// bytes it patches) and streams the rest; these interfaces let the same code
// run on Win32 file handles, POSIX files and bytes in memory.
#pragma once

#include "Bytes.h"

namespace pe
{
// Thrown by a Source or Sink whose platform call failed; the layer that
// made it knows the platform's error and reports it.
struct IoError
{
};

class Source
{
public:
    virtual ~Source() = default;
    virtual uint64_t Size() const = 0;
    // Exactly size bytes at offset, or IoError (a short read included).
    virtual void Read(uint64_t offset, void* data, size_t size) = 0;
};

class Sink
{
public:
    virtual ~Sink() = default;
    // Appends size bytes, or IoError.
    virtual void Write(const void* data, size_t size) = 0;
    // Overwrites bytes already written, or IoError.
    virtual void WriteAt(uint64_t offset, const void* data, size_t size) = 0;
};

// size bytes at offset; BadImage(reason) when they lie past the end.
Bytes ReadRange(Source& source, uint64_t offset, uint64_t size, const char* reason);

class MemorySource : public Source
{
public:
    // bytes must outlive the source.
    explicit MemorySource(const Bytes& bytes) : m_bytes(bytes) {}
    uint64_t Size() const override { return m_bytes.size(); }
    void Read(uint64_t offset, void* data, size_t size) override;

private:
    const Bytes& m_bytes;
};

class MemorySink : public Sink
{
public:
    void Write(const void* data, size_t size) override;
    void WriteAt(uint64_t offset, const void* data, size_t size) override;
    Bytes& Data() { return m_bytes; }

private:
    Bytes m_bytes;
};
} // namespace pe
