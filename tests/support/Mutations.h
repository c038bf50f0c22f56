// Deterministic damage to a real program for the tests that feed damaged
// files to the tool: flipped bits, cut ends, and 32-bit fields grown or
// shrunk, in the headers or in the resource section of rich_resources.exe.
#pragma once

#include <string>

namespace testing
{
// The i-th damaged copy of original; seed carries the sequence from one
// call to the next.
std::string MutateImage(const std::string& original, int i, unsigned& seed);
} // namespace testing
