#pragma once
// Resource numbers: dialogs, icons, strings and the controls of each dialog.

// Dialogs
constexpr int IDD_ABOUTBOX = 100;
constexpr int IDD_OCTWTCH_DIALOG = 102;
constexpr int IDD_OVERWRITE = 129;

// Icons
constexpr int IDR_MAINFRAME = 128;    // the application icon
constexpr int IDI_WRITABLE = 134;     // green pencil in a blue ring
constexpr int IDI_READONLY = 135;     // the pencil crossed by a red prohibition sign

// Strings and the window menu
constexpr int IDS_ABOUTBOX = 101;
constexpr int IDM_ABOUTBOX = 0x10;

// Main dialog (102)
constexpr int IDC_EDIT_FILE_A = 1000;
constexpr int IDC_EDIT_FILE_B = 1001;
constexpr int IDC_EDIT_LOG_FILE = 1002;
constexpr int IDC_BTN_FILE_A = 1003;
constexpr int IDC_BTN_FILE_B = 1004;
constexpr int IDC_BTN_LOG_FILE = 1005;
constexpr int IDC_BTN_EXECUTE = 1006;
constexpr int IDC_PROGRESS = 1007;
constexpr int IDC_BTN_STOP = 1008;
constexpr int IDC_EDIT_OUTPUT = 1009;
constexpr int IDC_CHK_DISP_DIFF = 1010;
constexpr int IDC_EDIT_SIZE_A = 1017;
constexpr int IDC_EDIT_SIZE_B = 1018;
constexpr int IDC_CHK_MAKE_DB = 1019;
constexpr int IDC_BTN_REPAIR_A = 1020;
constexpr int IDC_BTN_REPAIR_B = 1021;
constexpr int IDC_ICON_A = 1022;
constexpr int IDC_ICON_B = 1023;
constexpr int IDC_ICON_LOG = 1024;

// Overwrite question (129)
constexpr int IDC_ICON_OVERWRITE = 1012;
constexpr int IDC_EDIT_MESSAGE = 1018;

// About box (100)
constexpr int IDC_ICON_ABOUT = 1100;
