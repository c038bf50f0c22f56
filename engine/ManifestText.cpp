#include "ManifestComposition.h"

#include "../framework/AutoHandles.h"
#include "../framework/ModuleState.h"
#include "../res/resource.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>

char* LoadManifestTemplate()
{
    HMODULE module = AfxGetResourceHandle();
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(IDR_MANIFEST_TEMPLATE), RT_MANIFEST);
    if (!found)
        return nullptr;
    HGLOBAL loaded = LoadResource(module, found);
    if (!loaded)
        return nullptr;
    const DWORD size = SizeofResource(module, found);
    if (size == 0)
        return nullptr;
    const void* bytes = LockResource(loaded);
    if (!bytes)
        return nullptr;
    char* text = static_cast<char*>(AllocRuntimeBlock(size + 1));
    if (!text)
        return nullptr;
    memcpy(text, bytes, size);
    text[size] = '\0';
    return text;
}

BOOL ReplaceAll(char*& text, const char* pattern, const char* replacement)
{
    const size_t patternLength = strlen(pattern);
    const size_t replacementLength = strlen(replacement);
    size_t searchFrom = 0;
    for (;;)
    {
        const char* match = strstr(text + searchFrom, pattern);
        if (!match)
            return TRUE;
        size_t offset = static_cast<size_t>(match - text);
        const size_t length = strlen(text);
        if (replacementLength > patternLength)
        {
            const size_t needed = length - patternLength + replacementLength + 1;
            if (_msize(text) < needed)
            {
                char* grown = static_cast<char*>(ReallocRuntimeBlock(text, needed));
                if (!grown)
                    return FALSE;
                text = grown;
            }
        }
        char* at = text + offset;
        memmove(at + replacementLength, at + patternLength, length - offset - patternLength + 1);
        memcpy(at, replacement, replacementLength);
        searchFrom = offset + replacementLength;
    }
}
