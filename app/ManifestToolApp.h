// The application object: runs the main dialog modally and ends the program
// when it closes.
#pragma once

#include "framework/WinApp.h"

class CManifestToolApp : public CWinApp
{
public:
    BOOL InitInstance() override;
};
