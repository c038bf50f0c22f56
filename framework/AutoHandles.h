// Owners of handles and heap blocks that must be released on every path.
// Each has exactly one owner, cannot be copied, and can give its handle up
// with Detach().
#pragma once

#include <windows.h>
#include <cstdlib>

template <typename T, typename Traits> class CAutoHandle
{
public:
    CAutoHandle() = default;
    explicit CAutoHandle(T handle) : m_handle(handle) {}
    ~CAutoHandle() { Release(); }
    CAutoHandle(const CAutoHandle&) = delete;
    CAutoHandle& operator=(const CAutoHandle&) = delete;

    T Get() const { return m_handle; }
    explicit operator bool() const { return m_handle != Traits::Invalid(); }
    // Replaces the owned handle, releasing the previous one.
    void Attach(T handle)
    {
        Release();
        m_handle = handle;
    }
    T Detach()
    {
        T handle = m_handle;
        m_handle = Traits::Invalid();
        return handle;
    }
    void Release()
    {
        if (m_handle != Traits::Invalid())
            Traits::Close(Detach());
    }

private:
    T m_handle = Traits::Invalid();
};

struct CLibraryTraits
{
    static HMODULE Invalid() { return nullptr; }
    static void Close(HMODULE module) { FreeLibrary(module); }
};
// A loaded module, released with FreeLibrary.
using CLibrary = CAutoHandle<HMODULE, CLibraryTraits>;

struct CLocalMemoryTraits
{
    static HLOCAL Invalid() { return nullptr; }
    static void Close(HLOCAL block) { LocalFree(block); }
};
// A block from LocalAlloc or FormatMessage's allocation, released with LocalFree.
using CLocalMemory = CAutoHandle<HLOCAL, CLocalMemoryTraits>;

struct CFileHandleTraits
{
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE handle) { CloseHandle(handle); }
};
// A file handle from CreateFile, closed with CloseHandle.
using CFileHandle = CAutoHandle<HANDLE, CFileHandleTraits>;

struct CRuntimeHeapTraits
{
    static void* Invalid() { return nullptr; }
    static void Close(void* block) { free(block); }
};
// A block from the runtime heap (malloc), released with free.
using CRuntimeHeapBlock = CAutoHandle<void*, CRuntimeHeapTraits>;

// malloc and realloc that set ERROR_NOT_ENOUGH_MEMORY when they fail, as the
// platform's allocators do: the runtime's heap sets no last error, and the
// callers report failures by it.
inline void* AllocRuntimeBlock(size_t size)
{
    void* block = malloc(size);
    if (!block)
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return block;
}

inline void* ReallocRuntimeBlock(void* block, size_t size)
{
    void* grown = realloc(block, size);
    if (!grown)
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return grown;
}
