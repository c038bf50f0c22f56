// CProgressBar: a static control that draws how far a piece of work has
// come, as the common controls' progress bar does. Drawn by the tool itself:
// the common controls' bar would need comctl32 imported and initialised for
// one window. It answers PBM_GETPOS with its position, so that tests read it
// as they would the platform's.
#pragma once

#include "framework/Controls.h"

class CProgressBar : public CStatic
{
public:
    // Thousandths of the bar filled, from 0 to 1000.
    void SetPos(int permille);
    int GetPos() const { return m_permille; }

protected:
    void OnPaint();
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    DECLARE_MESSAGE_MAP()

private:
    int m_permille = 0;
};
