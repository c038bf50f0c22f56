#include "Controls.h"

// The controls' own maps are empty: everything goes to the platform control.
BEGIN_MESSAGE_MAP(CEdit, CWnd)
END_MESSAGE_MAP()

BEGIN_MESSAGE_MAP(CStatic, CWnd)
END_MESSAGE_MAP()

BEGIN_MESSAGE_MAP(CButton, CWnd)
END_MESSAGE_MAP()
