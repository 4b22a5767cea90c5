// Resource identifiers shared by Setup.rc and the window front end.
#ifndef SETUP_RES_RESOURCE_H_
#define SETUP_RES_RESOURCE_H_

#define IDS_ABOUTBOX 101
#define IDD_SETUP_DIALOG 102
#define IDR_MAINFRAME 128
#define IDD_FINISH_DIALOG 129
#define IDD_DISK_DIALOG 131
#define IDD_MESSAGE_DIALOG 132

#define IDC_DESTINATION 1000
#define IDC_PROGRESS 1003
#define IDC_DISK_TEXT 1004
#define IDC_MESSAGE_TEXT 1005

// Command of the system-menu entry that SetupDialog appends (string IDS_ABOUTBOX).
#define IDM_ABOUTBOX 0x0010

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#endif  // SETUP_RES_RESOURCE_H_
