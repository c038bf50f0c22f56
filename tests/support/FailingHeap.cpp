#include "FailingHeap.h"

#include <windows.h>

namespace
{
using MallocFn = void*(__cdecl*)(size_t);
using ReallocFn = void*(__cdecl*)(void*, size_t);

volatile bool g_armed = false;
volatile int g_skip = 0;
volatile int g_refused = 0;

// Looked up without the C++ static guard, which may itself allocate.
template <typename Fn> Fn RuntimeFunction(const char* name)
{
    return reinterpret_cast<Fn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"msvcrt.dll"), name)));
}
MallocFn g_malloc = nullptr;
ReallocFn g_realloc = nullptr;

bool Refuse()
{
    if (!g_armed)
        return false;
    if (g_skip > 0)
    {
        g_skip = g_skip - 1;
        return false;
    }
    g_refused = g_refused + 1;
    g_armed = false; // one refusal: the exception that may follow can allocate
    return true;
}
} // namespace

extern "C" void* __cdecl malloc(size_t size)
{
    if (!g_malloc)
        g_malloc = RuntimeFunction<MallocFn>("malloc");
    return Refuse() ? nullptr : g_malloc(size);
}

extern "C" void* __cdecl realloc(void* block, size_t size)
{
    if (!g_realloc)
        g_realloc = RuntimeFunction<ReallocFn>("realloc");
    return Refuse() ? nullptr : g_realloc(block, size);
}

namespace testing
{
CHeapFailure::CHeapFailure(int skip)
{
    g_skip = skip;
    g_refused = 0;
    g_armed = true;
}

CHeapFailure::~CHeapFailure()
{
    g_armed = false;
}

int CHeapFailure::Refused() const
{
    return g_refused;
}
} // namespace testing
