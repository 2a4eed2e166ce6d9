// Resource ids and menu commands of vellamy.exe, for the resource script and the code alike.
#pragma once

#define IDS_TITLE 103
#define IDS_CLASS 109
#define IDI_LARGE 107
#define IDI_SMALL 108
#define IDR_MAINMENU 109
#define IDR_ACCELERATORS 109
#define IDD_ABOUT 103
#define IDD_SETUP 133
#define IDD_MOREWINDOWS 150

#define IDM_ABOUT 104
#define IDM_EXIT 105
#define IDM_BGCOLOR 129
#define IDM_SNAP 130
#define IDM_SETUP 134
#define IDM_MOVEWINDOWS 137
#define IDM_CASCADE 140
#define IDM_TILE 141
#define IDM_GIMPLAYOUT 142
#define IDM_NEXTWINDOW 143
#define IDM_PREVWINDOW 144
#define IDM_CLOSEWINDOW 145
#define IDM_MOREWINDOWS 146

#define IDC_GIMP_APP 1000
#define IDC_GIMP_NAME 1001
#define IDC_WINDOWLIST 1002
