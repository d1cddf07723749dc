; The kalvit installer: puts the delivered files into a folder of the user's choice (c:\kalvit
; by default), the 64-bit program on 64-bit Windows and the 32-bit one elsewhere, offers the
; shortcuts, runs the program's installation call "kalvit.exe help" at the end and leaves an
; uninstaller. Made by tools/package.sh:
;   makensis -DSTAGE=<stage folder> -DOUTFILE=<setup.exe> tools/kalvit.nsi
; where the stage folder holds win64\kalvit.exe, win32\kalvit.exe and common\ with the other
; delivered files. The installer itself is 32-bit, so that it runs on every Windows.
Unicode true
SetCompressor /SOLID lzma

!ifndef STAGE
  !error "STAGE (the folder of the staged files) is not given"
!endif
!ifndef OUTFILE
  !define OUTFILE "kalvit-setup.exe"
!endif

!include "MUI2.nsh"
!include "x64.nsh"
!include "LogicLib.nsh"

!define PRODUCT "Tavoli测试 kalvit"
!define MENU_FOLDER "Tavoli测试"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\kalvit"
!define PROFILE_KEY "Software\Pelorin\kalvit"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "c:\kalvit"
; The program writes its machine records, report and log into its own folder, so it installs for
; the current user, into a folder the user owns, without elevation.
RequestExecutionLevel user
ShowInstDetails show
ShowUninstDetails show

!define MUI_ABORTWARNING
!define MUI_ICON "${STAGE}\common\kalvit.ico"
!define MUI_UNICON "${STAGE}\common\kalvit.ico"
!define MUI_WELCOMEPAGE_TEXT "本向导将把 Tavoli 测试程序 kalvit 安装到您的计算机上。$\r$\n$\r$\nkalvit 在一分钟左右测出整数运算、浮点运算、内存传送、磁盘读写和 DirectDraw 图形传输的性能，并与基本系统比较。$\r$\n$\r$\n单击“下一步”继续。"
!define MUI_FINISHPAGE_RUN "$INSTDIR\kalvit.exe"
!define MUI_FINISHPAGE_RUN_TEXT "运行 kalvit"
!define MUI_FINISHPAGE_RUN_NOTCHECKED

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

Section "kalvit 程序和数据文件" SecProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  ${If} ${RunningX64}
    File "${STAGE}\win64\kalvit.exe"
  ${Else}
    File "${STAGE}\win32\kalvit.exe"
  ${EndIf}
  File "${STAGE}\common\kalvtetc.inf"
  File "${STAGE}\common\dderr.txt"
  File "${STAGE}\common\kalvit.chm"
  ; The machine records are the user's once stored: a new installation over an old one keeps
  ; them, and gets the delivered pair (the base system alone) only where there is none.
  SetOverwrite off
  File "${STAGE}\common\kalvit.dat"
  File "${STAGE}\common\kalvitif.dat"
  SetOverwrite on
  SetOutPath "$INSTDIR\pdata"
  File "${STAGE}\common\pdata\*.bmp"

  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\kalvit.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Pelorin"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "开始菜单快捷方式" SecMenu
  ; A shortcut starts in the folder that is current when it is made: the installation folder,
  ; where the program finds its records.
  SetOutPath "$INSTDIR"
  CreateDirectory "$SMPROGRAMS\${MENU_FOLDER}"
  CreateShortcut "$SMPROGRAMS\${MENU_FOLDER}\kalvit.lnk" "$INSTDIR\kalvit.exe"
  CreateShortcut "$SMPROGRAMS\${MENU_FOLDER}\kalvit 帮助.lnk" "$INSTDIR\kalvit.chm"
  CreateShortcut "$SMPROGRAMS\${MENU_FOLDER}\卸载 kalvit.lnk" "$INSTDIR\uninstall.exe"
SectionEnd

Section "桌面快捷方式" SecDesktop
  SetOutPath "$INSTDIR"
  CreateShortcut "$DESKTOP\Tavoli测试.lnk" "$INSTDIR\kalvit.exe"
SectionEnd

; Last: the program's own installation call records the folder in its profile, marks it as a
; system folder and opens the help file, from the installation folder. A silent installation, as
; a script runs it on many machines, shows nothing: it records and marks the folder as the call
; does, and opens no help.
Section "-installation call"
  SetOutPath "$INSTDIR"
  ${If} ${Silent}
    WriteRegStr HKCU "${PROFILE_KEY}\settings" "install_dir" "$INSTDIR"
    SetFileAttributes "$INSTDIR" SYSTEM
  ${Else}
    ExecWait '"$INSTDIR\kalvit.exe" help'
  ${EndIf}
SectionEnd

LangString DESC_PROGRAM ${LANG_SIMPCHINESE} "kalvit.exe、配置文件、基本系统的机器记录、帮助文件和图片。"
LangString DESC_MENU ${LANG_SIMPCHINESE} "在开始菜单中建立 kalvit、帮助和卸载的快捷方式。"
LangString DESC_DESKTOP ${LANG_SIMPCHINESE} "在桌面上建立 kalvit 的快捷方式。"
!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} $(DESC_PROGRAM)
  !insertmacro MUI_DESCRIPTION_TEXT ${SecMenu} $(DESC_MENU)
  !insertmacro MUI_DESCRIPTION_TEXT ${SecDesktop} $(DESC_DESKTOP)
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Section "Uninstall"
  Delete "$INSTDIR\kalvit.exe"
  Delete "$INSTDIR\kalvtetc.inf"
  Delete "$INSTDIR\dderr.txt"
  Delete "$INSTDIR\kalvit.chm"
  Delete "$INSTDIR\kalvit.log"
  Delete "$INSTDIR\klvreport.txt"
  Delete "$INSTDIR\pdata\dlgback.bmp"
  Delete "$INSTDIR\pdata\pnlogog.bmp"
  Delete "$INSTDIR\pdata\pnlogo0.bmp"
  Delete "$INSTDIR\pdata\pnlogo1.bmp"
  Delete "$INSTDIR\pdata\pnlogo2.bmp"
  Delete "$INSTDIR\pdata\pnlogo3.bmp"
  RMDir "$INSTDIR\pdata"
  ; The stored machines are the user's work: they go only when the user says so (a silent
  ; uninstallation keeps them).
  MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 "同时删除保存的机器记录（kalvit.dat 和 kalvitif.dat）吗？" /SD IDNO IDNO keep_records
    Delete "$INSTDIR\kalvit.dat"
    Delete "$INSTDIR\kalvitif.dat"
  keep_records:
  Delete "$INSTDIR\uninstall.exe"
  ; The installation call marked the folder as a system folder.
  SetFileAttributes "$INSTDIR" NORMAL
  RMDir "$INSTDIR"

  Delete "$SMPROGRAMS\${MENU_FOLDER}\kalvit.lnk"
  Delete "$SMPROGRAMS\${MENU_FOLDER}\kalvit 帮助.lnk"
  Delete "$SMPROGRAMS\${MENU_FOLDER}\卸载 kalvit.lnk"
  RMDir "$SMPROGRAMS\${MENU_FOLDER}"
  Delete "$DESKTOP\Tavoli测试.lnk"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ; The profile holds the upload account's password: it does not outlive the program.
  DeleteRegKey HKCU "${PROFILE_KEY}"
  DeleteRegKey /ifempty HKCU "Software\Pelorin"
SectionEnd
