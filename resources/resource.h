#pragma once
// Resource identifiers of the launcher.

#define IDD_ORVINLAUNCHER_DIALOG 102
#define IDR_MAINFRAME 128
#define IDB_BGD_PROG1_NOR 130
#define IDB_BGD_PROG2_NOR 131
#define IDB_STT_PROG_NOR 132
