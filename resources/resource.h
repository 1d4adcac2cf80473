// Identifiers of the program's resources, shared by kestrava.rc and the code.
#pragma once

// Dialogs
#define IDD_VERSION 101
#define IDD_SETTINGS 112
#define IDD_INTERFACE 115

// Menu 106: one popup whose items are the commands below
#define IDR_MENU 106

// The application icon: class icon, small icon and tray icon
#define IDI_APP 125

// Menu commands
#define IDM_VERSION 40002
#define IDM_EXIT 40008
#define IDM_SETTINGS 40020
#define IDM_DNS_REPORT 40024
#define IDM_TCP_REPORT 40026
#define IDM_ICMP_REPORT 40028
#define IDM_RESET_NETWORK 40032
#define IDM_PROCESS_REPORT 40034

// Settings dialog controls
#define IDC_FONT_FACE 1002
#define IDC_COLOR_RED 1005
#define IDC_COLOR_GREEN 1006
#define IDC_COLOR_BLUE 1007
#define IDC_PICK_BACKGROUND 1008
#define IDC_PICK_DNS 1009
#define IDC_PICK_TCP 1010
#define IDC_PICK_IPV4_FRAME 1011
#define IDC_PICK_ICMP 1012
#define IDC_PICK_IPV6_FRAME 1013
#define IDC_RED_TEXT 1015
#define IDC_GREEN_TEXT 1016
#define IDC_BLUE_TEXT 1017
#define IDC_BOLD 1018
#define IDC_FONT_SIZE 1019
#define IDC_ALWAYS_ON_TOP 1020
#define IDC_OPACITY 1021
#define IDC_IGNORE_DOTLESS 1022
#define IDC_TWO_LINE 1023
#define IDC_HIDE_RATES 1024
#define IDC_FONT_SIZE_SPIN 111

// Interface selection dialog controls
#define IDC_INTERFACE_LIST 1025
#define IDC_INTERFACE_REFRESH 1026
