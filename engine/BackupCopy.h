// The backup copy made before a command changes its target: "<path>.bak"
// beside it, never overwriting an earlier copy. Run on the command's work
// thread: nothing here touches a window.
#pragma once

#include "ProgressSync.h"
#include "TargetPath.h"

#include "framework/AfxString.h"

// Copies the target at path to "<path>.bak" when wanted and no copy exists;
// savedName gets the copy's file name only when one was made now. The copy
// reports its bytes as phase 0 of progress and stops when progress is asked
// to (ERROR_REQUEST_ABORTED, no partial copy left). 0 on failure, with the
// copy's last error.
BOOL SaveBackupCopy(const CTargetPath& path, bool wanted, CProgressSync& progress,
                    CString& savedName);

// Removes the copy a command made (savedName not empty) when the command
// ends having changed nothing after all.
void RemoveBackupCopy(const CTargetPath& path, const CString& savedName);
