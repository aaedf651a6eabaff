// Ids of the main window's controls and of the Windows resources, read by both
// front ends and by res/strivo.rc (windres reads only #defines).
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_MAIN 102
#define IDR_MAINFRAME 128
#define IDR_MAINMENU 129     // the main window's menu bar, filled by the window
#define IDM_ABOUTBOX 0x0010  // the about entry of the Win32 window's system menu

#define IDC_SERVICE_USER 1000
#define IDC_SERVICE_PASSWORD 1001
#define IDC_SERVICE_LOGIN 1002
#define IDC_RUN_TABLE 1003
#define IDC_ABOUT 1004
#define IDC_VISIT_SITE 1005
#define IDC_STATUS 1006
#define IDC_REFRESH 1007
#define IDC_SITE_USER 1008
#define IDC_EXPORT 1009
#define IDC_SYNC 1010
#define IDC_SITE_PASSWORD 1011
#define IDC_SUMMARY 1012

// The statistics dialog.
#define IDD_STATS 103
#define IDC_STATS_PERIOD 1013
#define IDC_STATS_LINE 1014
#define IDC_STATS_CHART 1015
