#include "TestApp.h"

namespace testing
{
CTestApp theTestApp;

bool French()
{
    return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_FRENCH;
}
} // namespace testing
