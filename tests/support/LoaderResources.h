// Every resource of a file as the platform's loader reads it.
#pragma once

#include <windows.h>
#include <map>
#include <string>

namespace testing
{
// "type/name/language" (ids as "#24") to the entry's bytes. Empty, with a
// test failure, when the file cannot be loaded. The file is mapped as data,
// or laid out as an image with LOAD_LIBRARY_AS_IMAGE_RESOURCE.
using ResourceMap = std::map<std::wstring, std::string>;
ResourceMap LoaderResources(const std::wstring& path, DWORD flags = LOAD_LIBRARY_AS_DATAFILE);
} // namespace testing
