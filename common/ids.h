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
#define IDC_OPTION1_0 2010  /* A3; A4, B4, B5 follow */
#define IDC_COMMAND1_0 2020 /* OK */
#define IDC_COMMAND1_1 2021 /* CANCEL */

/* Private messages */
#define WM_RUNHELD 0x8010 /* WM_APP + 0x10: ClipMenu runs the commands it held back */

/* Notification icon */
#define TRAY_ICON_ID 1
#define WM_TRAYCALLBACK 0x0200 /* WM_MOUSEMOVE: the icon reports through the mouse-move message */

#if !defined(RC_INVOKED) && defined(__cplusplus)
namespace ids_check {
// Resources, menu commands and controls share WM_COMMAND and the resource table: a repeated
// number would route one item's command to another.
constexpr int kIds[] = {IDI_TESSARY,
                        IDB_REMOTE,
                        IDB_DISP42,
                        IDB_DISP57,
                        IDB_DISP65,
                        IDB_SETTING,
                        ID_M42,
                        ID_M57,
                        ID_M65,
                        ID_MOFF,
                        ID_MTPRINT,
                        ID_MYPRINT,
                        ID_MEND,
                        ID_MSET,
                        ID_MREM,
                        ID_MEND2,
                        IDC_COMBO1,
                        IDC_COMBO2,
                        IDC_OPTION1_0,
                        IDC_OPTION1_0 + 1,
                        IDC_OPTION1_0 + 2,
                        IDC_OPTION1_0 + 3,
                        IDC_COMMAND1_0,
                        IDC_COMMAND1_1};
constexpr bool AllDistinct() {
    for (int i = 0; i < static_cast<int>(sizeof kIds / sizeof kIds[0]); ++i)
        for (int j = 0; j < i; ++j)
            if (kIds[i] == kIds[j]) return false;
    return true;
}
static_assert(AllDistinct(), "resource, menu and control ids must be pairwise distinct");
} // namespace ids_check
#endif
