// Resource ids of Kestrune.exe, shared by kestrune.rc and the C++ sources. The control ids of the
// dialogs are those of app/control_ids.h; the templates use the numbers.
#pragma once

#define IDM_ABOUTBOX 0x0010
#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_KESTRUNE 102
#define IDD_SERIAL_NUMBER 103
#define IDR_MAINFRAME 128
#define IDB_FOLDER 129
