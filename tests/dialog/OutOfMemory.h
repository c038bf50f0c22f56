// Helpers of the tests where memory runs out inside a handler.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace testing
{
// The out-of-memory box's text in the user's language.
std::wstring OutOfMemoryText();
// Runs action with the allocation after skip refused (exactly one must be)
// and returns the boxes it showed.
std::vector<std::wstring> BoxesWhenMemoryFails(const std::function<void()>& action, int skip = 0);
} // namespace testing
