// Runs the real main dialog modally inside the test executable and drives it
// by window messages: each step runs from a timer inside the dialog's own
// modal loop, so keys and clicks take the same road as a user's.
#pragma once

#include "ui/ManifestToolDlg.h"

#include <functional>
#include <string>
#include <vector>

namespace testing
{
using Step = std::function<void(CManifestToolDlg& dialog)>;

// Runs the steps one timer tick apart; after the last one the dialog is
// cancelled if it is still open. Returns DoModal's result.
INT_PTR RunDialog(CManifestToolDlg& dialog, const std::vector<Step>& steps);

// Runs action now and, while it is inside a nested modal loop (a file dialog,
// a message box), calls onWindow with the first new top-level window of this
// thread that appears, owned by the dialog.
void WhileModal(HWND owner, const std::function<void()>& action,
                const std::function<void(HWND window)>& onWindow);

// Runs action (which opens a modal box owned by owner and returns when the
// box has closed); once the box shows, runs the steps one timer tick apart
// inside the box's own modal loop, and cancels the box after the last step
// if it is still open. Steps after the box closed are not run. Returns how
// many steps ran.
using BoxStep = std::function<void(HWND box)>;
size_t RunInModalBox(HWND owner, const std::function<void()>& action,
                     const std::vector<BoxStep>& steps);

bool IsEnabled(HWND dialog, int id);
// "EDS": which of Enable, Disable and Start are enabled, '-' for off.
std::string Buttons(HWND dialog);
std::wstring TextOf(HWND window);
void SetPath(HWND dialog, const std::wstring& path);
// A click on the dialog's button id, as the keyboard or mouse would make it.
void Click(HWND dialog, int id);
void SetSaveCopy(HWND dialog, bool on);
// Builds the shell's drop data for files and sends it to window as a drop.
void DropFiles(HWND window, const std::vector<std::wstring>& files);
} // namespace testing
