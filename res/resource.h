// Resource ids shared by the code and the resource scripts.
#pragma once

#define IDS_EXE_FILTER 1
#define IDS_UNEXPECTED_ERROR 2
#define IDS_ENABLED_OK 3
#define IDS_DISABLED_OK 4
#define IDS_COPY_SAVED 5
#define IDS_OUT_OF_MEMORY 6
#define IDS_PROGRAM_KEPT 7
#define IDS_READ_ONLY 8
#define IDS_NO_ROOM 9

#define IDS_SIGNATURE_QUESTION 20
#define IDS_SIGNED_BY 21
#define IDS_SIGNER_UNREADABLE 22
#define IDS_SIGNED_COPY_KEPT 23

#define IDD_MAIN_DIALOG 102
#define IDR_MAINFRAME 128
#define IDR_MANIFEST_TEMPLATE 130
#define IDD_ABOUTBOX 131

#define IDC_APP_PATH 1000
#define IDC_BROWSE 1001
#define IDC_ABOUT 1003
#define IDC_SAVE_COPY 1004
#define IDC_ENABLE_XP 1005
#define IDC_DISABLE_XP 1006
#define IDC_START 1008
#define IDC_VERSION_TEXT 1009
#define IDC_WEB_LINK 1010

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
