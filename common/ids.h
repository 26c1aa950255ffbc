/* Resource identifiers, menu command identifiers and private window messages.
   Plain #defines: the resource compiler reads this file too. */
#pragma once

/* Resources */
#define IDI_TESSARY 1
#define IDB_REMOTE 101
#define IDB_DISP42 102
#define IDB_DISP57 103
#define IDB_DISP65 104
#define IDB_SETTING 105

/* Menu commands of ClipMenu */
#define ID_M42 1001
#define ID_M57 1002
#define ID_M65 1003
#define ID_MOFF 1004
#define ID_MTPRINT 1011
#define ID_MYPRINT 1012
#define ID_MEND 1020
#define ID_MSET 1031
#define ID_MREM 1032
#define ID_MEND2 1033

/* Controls of ClipSetting */
#define IDC_COMBO1 2001
#define IDC_COMBO2 2002
#define IDC_OPTION1_0 2010 /* A3; A4, B4, B5 follow */
#define IDC_COMMAND1_0 2020 /* OK */
#define IDC_COMMAND1_1 2021 /* CANCEL */

/* Private messages */
#define WM_RUNHELD 0x8010 /* WM_APP + 0x10: ClipMenu runs the commands it held back */

/* Notification icon */
#define TRAY_ICON_ID 1
#define WM_TRAYCALLBACK 0x0200 /* WM_MOUSEMOVE: the icon reports through the mouse-move message */

