// CDropEdit: the path field. A single-line edit whose text becomes the full
// path of a file dropped on it from the shell (the first one, when several
// are dropped). The window must have WS_EX_ACCEPTFILES (the template gives it).
#pragma once

#include "framework/Controls.h"

#include <shellapi.h>

class CDropEdit : public CEdit
{
public:
    // Lets a drop from a process of lower integrity (Explorer, when the tool
    // runs as administrator) reach the field; call it once the window is
    // attached.
    void AcceptDropsFromLowerIntegrity();

protected:
    void OnDropFiles(HDROP drop);

    DECLARE_MESSAGE_MAP()
};
