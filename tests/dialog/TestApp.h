// The application object of the dialog tests: every message box is kept
// (its text and style) and answered with OK instead of shown.
#pragma once

#include "framework/WinApp.h"

#include <string>
#include <vector>

namespace testing
{
class CTestApp : public CWinApp
{
public:
    int DoMessageBox(LPCWSTR prompt, UINT type, UINT) override
    {
        m_boxes.push_back(prompt);
        m_types.push_back(type);
        return IDOK;
    }
    void Clear()
    {
        m_boxes.clear();
        m_types.clear();
    }
    std::vector<std::wstring> m_boxes;
    std::vector<UINT> m_types;
};
extern CTestApp theTestApp;

// Whether the user interface runs in French.
bool French();
} // namespace testing
