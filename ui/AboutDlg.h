// CAboutDlg: the About box, with the program's icon, its version read from
// its own version block, the ownership notice and the maker's web address as
// a link.
#pragma once

#include "HyperLink.h"

#include "framework/Dialog.h"

class CAboutDlg : public CDialog
{
public:
    explicit CAboutDlg(CWnd* parent = nullptr);

    CHyperLink m_linkWeb;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
};
