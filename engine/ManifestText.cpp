#include "ManifestComposition.h"

#include "../framework/AutoHandles.h"
#include "../framework/ModuleState.h"
#include "../res/resource.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>

const char kTemplateArchitecture[] = "processorArchitecture=\"X86\"";
const char kVersionPlaceholder[] = "%AppVersion%";
const char kNamePlaceholder[] = "%AppName%";

void FormatVersionText(DWORD packed, int build, char (&buffer)[32])
{
    const int major = static_cast<int>(packed >> 24);
    const int minor = static_cast<int>((packed >> 16) & 0xFF);
    const int release = static_cast<int>(packed & 0xFFFF);
    snprintf(buffer, sizeof buffer, "%d.%d.%d.%d", major, minor, release, build);
}

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
