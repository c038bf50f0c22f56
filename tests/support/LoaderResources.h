// Every resource of a file as the platform's loader reads it.
#pragma once

#include <windows.h>
#include <map>
#include <string>

namespace testing
{
// "type/name/language" (ids as "#24") to the entry's bytes. Empty, with a
// test failure, when the file cannot be loaded.
using ResourceMap = std::map<std::wstring, std::string>;
ResourceMap LoaderResources(const std::wstring& path);
} // namespace testing
