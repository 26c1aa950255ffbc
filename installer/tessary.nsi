; Tessary's per-user installer. Built by installer/CMakeLists.txt:
;   makensis -INPUTCHARSET UTF8 -DVERSION=1.0.0 -DEXE=... -DINI=... -DICON=... -DOUTFILE=... tessary.nsi
; 64-bit stub: it runs on every x64 Windows and under a 64-bit-only Wine.
Target amd64-unicode

!ifndef VERSION | EXE | INI | ICON | OUTFILE
  !error "define VERSION, EXE, INI, ICON and OUTFILE (see installer/CMakeLists.txt)"
!endif

; The guide: one HTML page (GUIDE) in the program folder, opened from the Start menu.
!ifndef GUIDE
  !error "define GUIDE, the guide's HTML page (see installer/CMakeLists.txt)"
!endif
!define GUIDE_NAME "Tessary の使い方"

; Signed builds (scripts/package.sh with TESSARY_SIGN_PFX): the uninstaller before it is packed,
; then the setup. Without SIGN both stay unsigned.
!ifdef SIGN
  !uninstfinalize '"${SIGN}" "%1" "${SIGNED_UNINSTALLER}"'
  !finalize '"${SIGN}" "%1"'
!endif

!define PRODUCT "Tessary"
!define PUBLISHER "Tessary"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define UNINSTALLER "uninstall.exe"
; Installer and uninstaller share it: two of them at once would fight over the same folder.
!define MUTEX "Tessary-Setup-{6b0e3d52-8f1c-4c57-9a3e-2d41c7f0b9a4}"
; The program's hidden window; WM_CLOSE to it runs "終了".
!define FORM_CLASS "TessaryForm"
!define MENU_TITLE "Tessary"
; The settings dialog outlives "終了": the process ends only when the user closes it.
!define SETTINGS_TITLE "設定"
; How long a running copy gets to end, in milliseconds. Wine under load needs a few seconds.
!define CLOSE_WAIT_MS 10000
; Exit codes besides NSIS's own (0 done, 1 cancelled by the user, 2 aborted).
!define EXIT_BUSY 3 ; another installer or uninstaller is running
!define EXIT_RUNNING 4 ; a running Tessary did not end

Unicode true
Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
; An upgrade goes where the program already is; /D= still chooses.
InstallDirRegKey HKCU "${UNINST_KEY}" "InstallLocation"
RequestExecutionLevel user
SetCompressor /SOLID lzma
ManifestDPIAware true
ShowInstDetails show
ShowUninstDetails show
BrandingText "${PRODUCT} ${VERSION}"

!include MUI2.nsh
!include nsDialogs.nsh
!include LogicLib.nsh
!include WinMessages.nsh
!include FileFunc.nsh

Var Autostart ; 1: a shortcut in the Startup folder, remembered in the uninstall entry
Var NoRun ; 1: /NORUN, a silent install starts nothing
Var Closed ; copies of Tessary that setup ended and starts again should it give up
Var Looks ; EndRunningTessary: looks again at windows with no menu window to close
Var AutostartBox
Var DeleteSettings ; uninstaller: 1 removes CNT\Tessary.ini too
Var DeleteSettingsBox

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"

!define MUI_WELCOMEPAGE_TEXT "Tessary ${VERSION} をインストールします。$\r$\n$\r$\nTessary はクリップボードの画像を大画面テレビに映したときの見え方を確かめて、既定のプリンターに印刷する常駐ツールです。管理者の権限は要りません。$\r$\n$\r$\n実行中の Tessary はセットアップが終了させ、インストールの後でもう一度起動します。いまお使いの設定はそのまま引き継がれます。$\r$\n$\r$\n$_CLICK"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
Page custom OptionsPage OptionsPageLeave
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Tessary を起動する"
!define MUI_FINISHPAGE_RUN_FUNCTION LaunchTessary
!insertmacro MUI_PAGE_FINISH

UninstPage custom un.OptionsPage un.OptionsPageLeave
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "Japanese"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_JAPANESE} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "FileDescription" "${PRODUCT} セットアップ"
VIAddVersionKey /LANG=${LANG_JAPANESE} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "LegalCopyright" "Copyright (C) 2026 ${PUBLISHER}"

; --- shared by installer and uninstaller ------------------------------------------------------

!macro SharedFunctions UN
; Refuses to run beside another installer or uninstaller of Tessary.
Function ${UN}TakeMutex
  System::Call 'kernel32::CreateMutexW(p 0, i 0, w "${MUTEX}") p .r0 ?e'
  Pop $1
  ${If} $1 = 183 ; ERROR_ALREADY_EXISTS
    MessageBox MB_OK|MB_ICONEXCLAMATION "Tessary のセットアップまたはアンインストールが、すでに実行中です。$\r$\nそちらが終わってから、もう一度お試しください。" /SD IDOK
    SetErrorLevel ${EXIT_BUSY}
    Quit
  ${EndIf}
FunctionEnd

; $R0 = the number of windows of class TessaryForm whose process runs $INSTDIR\tessary.exe, $R8
; how many of them are an open settings dialog. With $R9 = 1, also posts WM_CLOSE to each one's
; hidden menu window and pushes a handle to its process, $R7 = how many. Copies started from
; other folders are left alone. Posted, not sent: a hung copy must not hang the installer.
Function ${UN}OurWindows
  StrCpy $R0 0
  StrCpy $R8 0
  StrCpy $R7 0
  StrCpy $R1 0
  ${Do}
    FindWindow $R1 "${FORM_CLASS}" "" "" $R1
    ${If} $R1 = 0
      ${Break}
    ${EndIf}
    StrCpy $R3 0
    System::Call 'user32::GetWindowThreadProcessId(p R1, *i .R2)'
    ; PROCESS_QUERY_LIMITED_INFORMATION
    System::Call 'kernel32::OpenProcess(i 0x1000, i 0, i R2) p .R4'
    ${If} $R4 P<> 0
      System::Call 'kernel32::QueryFullProcessImageNameW(p R4, i 0, w .R5, *i ${NSIS_MAX_STRLEN}) i .R3'
      System::Call 'kernel32::CloseHandle(p R4)'
    ${EndIf}
    ${If} $R3 <> 0
    ${AndIf} $R5 == "$INSTDIR\tessary.exe"
      IntOp $R0 $R0 + 1
      System::Call 'user32::GetWindowTextW(p R1, w .R6, i 64)'
      ${If} $R6 S== "${SETTINGS_TITLE}"
        IntOp $R8 $R8 + 1
      ${ElseIf} $R9 = 1
      ${AndIf} $R6 S== "${MENU_TITLE}"
        ; SYNCHRONIZE: the wait is for the process, which can outlive its windows.
        System::Call 'kernel32::OpenProcess(i 0x100000, i 0, i R2) p .R4'
        ${If} $R4 P<> 0
          Push $R4
          IntOp $R7 $R7 + 1
        ${EndIf}
        System::Call 'user32::PostMessageW(p R1, i ${WM_CLOSE}, p 0, p 0)'
      ${EndIf}
    ${EndIf}
  ${Loop}
FunctionEnd

; Starts again the copies that EndRunningTessary ended, before a run gives up: "nothing changed"
; must hold for the running program too.
Function ${UN}RestartClosed
  ${If} $Closed > 0
    SetOutPath "$INSTDIR"
  ${EndIf}
  ${DoWhile} $Closed > 0
    IntOp $Closed $Closed - 1
    Exec '"$INSTDIR\tessary.exe"'
  ${Loop}
FunctionEnd

; Ends every Tessary started from $INSTDIR through its own exit and waits for its process to end.
; Interactive: offers retry or cancel when one stays. Silent: no box. Giving up, it starts again
; the copies it ended and aborts with EXIT_RUNNING before anything in the folder has changed.
Function ${UN}EndRunningTessary
  Push $R0
  Push $R1
  Push $R2
  Push $R3
  Push $R4
  Push $R5
  Push $R6
  Push $R7
  Push $R8
  Push $R9
  StrCpy $Looks 0
  ${Do}
    StrCpy $R9 0
    Call ${UN}OurWindows
    ${If} $R0 = 0
      ${Break}
    ${EndIf}
    ; "終了" leaves an open settings dialog running; rather than take the icon away from a copy
    ; that would stay, leave it untouched and ask.
    ${If} $R8 = 0
      DetailPrint "実行中の Tessary を終了しています..."
      StrCpy $R9 1
      Call ${UN}OurWindows
      StrCpy $R9 0
      ; All of them within CLOSE_WAIT_MS from now; $R3 counts those still running.
      System::Call 'kernel32::GetTickCount() i .R5'
      StrCpy $R3 0
      ${DoWhile} $R7 > 0
        IntOp $R7 $R7 - 1
        Pop $R4
        System::Call 'kernel32::GetTickCount() i .R6'
        IntOp $R6 $R6 - $R5
        IntOp $R6 ${CLOSE_WAIT_MS} - $R6
        ${If} $R6 < 0
          StrCpy $R6 0
        ${EndIf}
        System::Call 'kernel32::WaitForSingleObject(p R4, i R6) i .R6'
        System::Call 'kernel32::CloseHandle(p R4)'
        ${If} $R6 = 0 ; WAIT_OBJECT_0
          IntOp $Closed $Closed + 1
        ${Else}
          IntOp $R3 $R3 + 1
        ${EndIf}
      ${Loop}
      ; All ended, or windows of a copy that has no menu window (starting or ending): look again.
      IntOp $Looks $Looks + 1
      ${If} $R3 = 0
      ${AndIf} $Looks < 40
        Sleep 250
        ${Continue}
      ${EndIf}
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "実行中の Tessary が終了しませんでした。$\r$\n$\r$\nTessary の設定画面が開いていれば閉じてから「再試行」を押してください。$\r$\n「キャンセル」を押すと、何も変更せずに中止します。" /SD IDCANCEL IDRETRY retry
    Call ${UN}RestartClosed
    SetErrorLevel ${EXIT_RUNNING}
    Abort "Tessary が終了しなかったため、中止しました。"
    retry:
    StrCpy $Looks 0
  ${Loop}
  Pop $R9
  Pop $R8
  Pop $R7
  Pop $R6
  Pop $R5
  Pop $R4
  Pop $R3
  Pop $R2
  Pop $R1
  Pop $R0
FunctionEnd
!macroend
!insertmacro SharedFunctions ""
!insertmacro SharedFunctions "un."

; --- installer --------------------------------------------------------------------------------

Function .onInit
  Call TakeMutex
  StrCpy $Closed 0
  ; An upgrade offers the sign-in start as the user left it: off when unticked (remembered) or
  ; when the Startup shortcut was deleted, as the options page suggests. A first install: on.
  StrCpy $Autostart 1
  ReadRegStr $0 HKCU "${UNINST_KEY}" "InstallLocation"
  ${If} $0 != ""
    ClearErrors
    ReadRegDWORD $0 HKCU "${UNINST_KEY}" "Autostart"
    ${If} ${Errors} ; installed before the choice was remembered
      StrCpy $0 1
    ${EndIf}
    ${If} $0 = 0
    ${OrIfNot} ${FileExists} "$SMSTARTUP\${PRODUCT}.lnk"
      StrCpy $Autostart 0
    ${EndIf}
  ${EndIf}
  ; Switches for administrators: /NOAUTOSTART no sign-in start, /NORUN nothing started at the end.
  ${GetParameters} $1
  ClearErrors
  ${GetOptions} $1 "/NOAUTOSTART" $0
  ${IfNot} ${Errors}
    StrCpy $Autostart 0
  ${EndIf}
  StrCpy $NoRun 0
  ClearErrors
  ${GetOptions} $1 "/NORUN" $0
  ${IfNot} ${Errors}
    StrCpy $NoRun 1
  ${EndIf}
FunctionEnd

Function OptionsPage
  !insertmacro MUI_HEADER_TEXT "オプション" "Tessary の起動のしかたを選んでください。"
  nsDialogs::Create 1018
  Pop $0
  ${If} $0 == error
    Abort
  ${EndIf}
  ${NSD_CreateLabel} 0 0 100% 24u "サインインのたびに Tessary を自動で起動するには、次にチェックを付けてください。後からスタートアップ フォルダーのショートカットを削除して止めることもできます。"
  Pop $0
  ${NSD_CreateCheckbox} 0 34u 100% 12u "サインイン時に Tessary を起動する"
  Pop $AutostartBox
  ${If} $Autostart = 1
    ${NSD_Check} $AutostartBox
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function OptionsPageLeave
  ${NSD_GetState} $AutostartBox $0
  ${If} $0 = ${BST_CHECKED}
    StrCpy $Autostart 1
  ${Else}
    StrCpy $Autostart 0
  ${EndIf}
FunctionEnd

Function LaunchTessary
  SetOutPath "$INSTDIR"
  Exec '"$INSTDIR\tessary.exe"'
FunctionEnd

Section "Tessary"
  Call EndRunningTessary

  SetOutPath "$INSTDIR"
  ; The only file that an upgrade replaces; should it still be locked, the old one stays whole.
  SetOverwrite try
  StrCpy $0 0
  ${Do}
    ClearErrors
    File "/oname=tessary.exe" "${EXE}"
    ${IfNot} ${Errors}
      ${Break}
    ${EndIf}
    IntOp $0 $0 + 1
    ${If} $0 >= 20
      Call RestartClosed
      SetErrorLevel ${EXIT_RUNNING}
      Abort "tessary.exe を置き換えられませんでした。"
    ${EndIf}
    Sleep 250
  ${Loop}
  SetOverwrite on

  ; The user's settings are kept byte for byte; the defaults only go where there are none.
  ${IfNot} ${FileExists} "$INSTDIR\CNT\Tessary.ini"
    SetOutPath "$INSTDIR\CNT"
    File "/oname=Tessary.ini" "${INI}"
    SetOutPath "$INSTDIR"
  ${EndIf}

  File "/oname=${GUIDE_NAME}.html" "${GUIDE}"
  CreateShortcut "$SMPROGRAMS\${GUIDE_NAME}.lnk" "$INSTDIR\${GUIDE_NAME}.html"

  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\tessary.exe" "" "$INSTDIR\tessary.exe" 0
  ${If} $Autostart = 1
    CreateShortcut "$SMSTARTUP\${PRODUCT}.lnk" "$INSTDIR\tessary.exe" "" "$INSTDIR\tessary.exe" 0
  ${Else}
    Delete "$SMSTARTUP\${PRODUCT}.lnk"
  ${EndIf}

  WriteRegStr HKCU "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\tessary.exe,0"
  WriteRegStr HKCU "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINST_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  ; A script runs this and then looks: it returns once the removal is done, with the uninstaller's
  ; exit code. Plain, the uninstaller goes on from a copy in the temporary folder and returns at
  ; once; run in place (_?=) it cannot delete its own running file, so cmd deletes it after a
  ; removal that went through (an explicit test: Wine's cmd runs "&&" after a failed GUI program).
  WriteRegStr HKCU "${UNINST_KEY}" "QuietUninstallString" '"$SYSDIR\cmd.exe" /d /v:on /c ""$INSTDIR\${UNINSTALLER}" /S _?=$INSTDIR & set "e=!errorlevel!" & if "!e!"=="0" (del "$INSTDIR\${UNINSTALLER}" & rd "$INSTDIR" 2>nul) & exit !e!"'
  WriteRegDWORD HKCU "${UNINST_KEY}" "Autostart" $Autostart
  SectionGetSize 0 $0
  WriteRegDWORD HKCU "${UNINST_KEY}" "EstimatedSize" $0
  WriteRegDWORD HKCU "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINST_KEY}" "NoRepair" 1
SectionEnd

; A silent install (an upgrade included) leaves Tessary running, as the finish page would,
; unless /NORUN.
Function .onInstSuccess
  ${If} ${Silent}
  ${AndIf} $NoRun = 0
    Call LaunchTessary
  ${EndIf}
FunctionEnd

; --- uninstaller ------------------------------------------------------------------------------

Function un.onInit
  Call un.TakeMutex
  StrCpy $DeleteSettings 0
  StrCpy $Closed 0
FunctionEnd

Function un.OptionsPage
  !insertmacro MUI_HEADER_TEXT "Tessary のアンインストール" "Tessary をこのコンピューターから削除します。"
  nsDialogs::Create 1018
  Pop $0
  ${If} $0 == error
    Abort
  ${EndIf}
  ${NSD_CreateLabel} 0 0 100% 52u "$INSTDIR から Tessary を削除します。実行中の Tessary は終了します。$\r$\n$\r$\n設定ファイル (CNT\Tessary.ini) は、次にチェックを付けない限り残ります。もう一度インストールすると、その設定で使えます。"
  Pop $0
  ${NSD_CreateCheckbox} 0 60u 100% 12u "設定ファイルも削除する"
  Pop $DeleteSettingsBox
  ${If} $DeleteSettings = 1
    ${NSD_Check} $DeleteSettingsBox
  ${EndIf}
  GetDlgItem $0 $HWNDPARENT 1
  SendMessage $0 ${WM_SETTEXT} 0 "STR:$(^UninstallBtn)"
  nsDialogs::Show
FunctionEnd

Function un.OptionsPageLeave
  ${NSD_GetState} $DeleteSettingsBox $0
  ${If} $0 = ${BST_CHECKED}
    StrCpy $DeleteSettings 1
  ${Else}
    StrCpy $DeleteSettings 0
  ${EndIf}
FunctionEnd

; $R1 = two characters from $R0 at offset $R2 as a number 0..99, or -1 when not two digits.
Function un.TwoDigits
  Push $R3
  Push $R4
  Push $R5
  StrCpy $R1 0
  ${For} $R3 0 1
    IntOp $R4 $R2 + $R3
    StrCpy $R4 $R0 1 $R4
    ${For} $R5 0 10
      ${If} $R5 = 10
        StrCpy $R1 -1
      ${ElseIf} $R4 S== $R5
        ${Break}
      ${EndIf}
    ${Next}
    ${If} $R1 = -1
      ${Break}
    ${EndIf}
    IntOp $R1 $R1 * 10
    IntOp $R1 $R1 + $R5
  ${Next}
  Pop $R5
  Pop $R4
  Pop $R3
FunctionEnd

; $R9 = 1 when the file name $R0 is one of the program's print files: "yymmddhhmmss.BMP"
; (the extension in any case) with a real month, day, hour, minute and second.
Function un.IsPrintFile
  Push $R1
  Push $R2
  Push $R3
  StrCpy $R9 0
  StrLen $R1 $R0
  StrCpy $R3 $R0 4 12
  ${If} $R1 = 16
  ${AndIf} $R3 == ".bmp"
    StrCpy $R9 1
    ; Each field: offset, lowest, highest.
    ${For} $R2 0 5
      Push $R2
      IntOp $R2 $R2 * 2
      Call un.TwoDigits
      Pop $R2
      ${If} $R1 < 0
        StrCpy $R9 0
      ${ElseIf} $R2 = 1
      ${AndIf} $R1 < 1
        StrCpy $R9 0
      ${ElseIf} $R2 = 1
      ${AndIf} $R1 > 12
        StrCpy $R9 0
      ${ElseIf} $R2 = 2
      ${AndIf} $R1 < 1
        StrCpy $R9 0
      ${ElseIf} $R2 = 2
      ${AndIf} $R1 > 31
        StrCpy $R9 0
      ${ElseIf} $R2 = 3
      ${AndIf} $R1 > 23
        StrCpy $R9 0
      ${ElseIf} $R2 > 3
      ${AndIf} $R1 > 59
        StrCpy $R9 0
      ${EndIf}
    ${Next}
  ${EndIf}
  Pop $R3
  Pop $R2
  Pop $R1
FunctionEnd

; Print files that an interrupted print left beside the program; a user's own pictures stay.
Function un.DeletePrintFiles
  Push $R0
  Push $R8
  Push $R9
  FindFirst $R8 $R0 "$INSTDIR\*.bmp"
  ${DoWhile} $R0 != ""
    Call un.IsPrintFile
    ${If} $R9 = 1
    ${AndIfNot} ${FileExists} "$INSTDIR\$R0\*.*"
      Delete "$INSTDIR\$R0"
    ${EndIf}
    FindNext $R8 $R0
  ${Loop}
  FindClose $R8
  Pop $R9
  Pop $R8
  Pop $R0
FunctionEnd

; Deletes the shortcut $R0 when it starts $R5, a file of this folder: another folder's copy may
; have made it since. One that cannot be read is left.
Function un.DeleteOurShortcut
  Push $R1
  Push $R2
  Push $R3
  Push $R4
  StrCpy $R1 ""
  ; CLSID_ShellLink, IShellLinkW, IPersistFile
  System::Call 'ole32::CoCreateInstance(g "{00021401-0000-0000-C000-000000000046}", p 0, i 1, g "{000214F9-0000-0000-C000-000000000046}", *p .R2) i .R3'
  ${If} $R3 = 0
    System::Call '$R2->0(g "{0000010b-0000-0000-C000-000000000046}", *p .R4) i .R3'
    ${If} $R3 = 0
      System::Call '$R4->5(w R0, i 0) i .R3' ; IPersistFile::Load
      ${If} $R3 = 0
        System::Call '$R2->3(w .R1, i ${NSIS_MAX_STRLEN}, p 0, i 0) i .R3' ; IShellLinkW::GetPath
      ${EndIf}
      System::Call '$R4->2()'
    ${EndIf}
    System::Call '$R2->2()'
  ${EndIf}
  ${If} $R1 == $R5
    Delete "$R0"
  ${EndIf}
  Pop $R4
  Pop $R3
  Pop $R2
  Pop $R1
FunctionEnd

Section "Uninstall"
  Call un.EndRunningTessary

  Delete "$INSTDIR\tessary.exe"
  ; Fails when run in place (_?=): the quiet uninstall command deletes it then.
  Delete "$INSTDIR\${UNINSTALLER}"
  Delete "$INSTDIR\${GUIDE_NAME}.html"
  Call un.DeletePrintFiles
  ${If} $DeleteSettings = 1
    Delete "$INSTDIR\CNT\Tessary.ini"
  ${EndIf}
  ; Only when empty: anything the user keeps there stays. Not the working folder, or it stays.
  SetOutPath "$TEMP"
  RMDir "$INSTDIR\CNT"
  RMDir "$INSTDIR"

  ; Only what names this folder: a copy installed elsewhere since keeps its entry and shortcuts.
  StrCpy $R5 "$INSTDIR\tessary.exe"
  StrCpy $R0 "$SMPROGRAMS\${PRODUCT}.lnk"
  Call un.DeleteOurShortcut
  StrCpy $R0 "$SMSTARTUP\${PRODUCT}.lnk"
  Call un.DeleteOurShortcut
  StrCpy $R5 "$INSTDIR\${GUIDE_NAME}.html"
  StrCpy $R0 "$SMPROGRAMS\${GUIDE_NAME}.lnk"
  Call un.DeleteOurShortcut
  ReadRegStr $0 HKCU "${UNINST_KEY}" "InstallLocation"
  ${If} $0 == "$INSTDIR"
    DeleteRegKey HKCU "${UNINST_KEY}"
  ${EndIf}
SectionEnd
