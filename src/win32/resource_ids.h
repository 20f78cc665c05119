// The window's resource and control ids, shared by the dialog templates and the code.
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC (-1)  // labels and group boxes nothing refers to
#endif

// Dialog templates.
#define IDD_MAIN_WINDOW 100
#define IDD_CONVERT_PAGE 101
#define IDD_OPTIONS_PAGE 102
#define IDD_ABOUT_BOX 103

// The tray icon's id and its menu.
#define IDR_TRAY_MENU 221
#define IDM_OPEN 40001
#define IDM_ABOUT 40002
#define IDM_EXIT 40003
// The home-page link's menu.
#define IDR_LINK_MENU 222
#define IDM_COPY_LINK 40010

// The main window.
#define IDC_TABS 1010
#define IDC_HELP_BUTTON 1011
#define IDC_ABOUT_BUTTON 1012

// Convert page.
#define IDC_GO 1000
#define IDC_SOURCE_BROWSE 1001
#define IDC_DESTINATION_BROWSE 1003
#define IDC_SOURCE 1004
#define IDC_DESTINATION 1006
#define IDC_FILTER 1008
#define IDC_PROGRESS 1020
#define IDC_CANCEL_PASS 1040
#define IDC_STATUS 1041
#define IDC_RESULT_LIST 1043

// Options page.
#define IDC_CONVERT_DIRECTORY 1029
#define IDC_CONVERT_FILES 1030
#define IDC_SUBDIR 1032
#define IDC_HIERARCHY 1039
#define IDC_KEEP_DATE 1046
#define IDC_KEEP_EXT 1062
#define IDC_RECALCULATE 1065
#define IDC_CYCLE 1066
#define IDC_CYCLE_MINUTES 1067
// The options the Linux window added.
#define IDC_PARALLEL_JOBS 1070
#define IDC_VERIFY 1071
#define IDC_PDFA 1072
#define IDC_PDFA_LEVEL 1073

// About box.
#define IDC_ABOUT_VERSION 1080
#define IDC_HOME_LINK 1081
#define IDC_SUPPORT_LINK 1082
#define IDC_LICENCE 1083
