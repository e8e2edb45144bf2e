; The installer of Quorvel, in Russian: the program, its user's guide and
; licence, the Start-menu shortcuts and the entry among installed programs.
;
; The program writes Quorvel.ini beside Quorvel.exe and DDEConf.dde in its
; working directory, which its shortcuts set to the program's folder. A
; standard user cannot write under Program Files, so the program gets a
; folder of its own, C:\Quorvel by default, whose files the group Users may
; change. The installer never writes the user's files: an upgrade keeps them
; as they are, and the uninstaller removes them only when asked.
;
; Exit codes: 0 done, 1 cancelled by the user, 2 Quorvel.exe runs (in
; silent mode the installer does not ask; it ends with 2 and changes
; nothing).
;
; Defined by the build: VERSION, OUTFILE, EXE (Quorvel.exe), GUIDE (the
; folder of the guide: guide.html and the files it links), LICENSE.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"

!define PRODUCT "Quorvel"
!define PUBLISHER "Quorvel Instruments"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvel"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
; The program's single-copy owner: a mutex named after its lower-cased
; executable file name.
!define RUNNING_MUTEX "Quorvel.instance.quorvel.exe"
!define SETUP_LINK "Quorvel (с доступом к настройкам)"
!define GUIDE_LINK "Руководство пользователя"
!define UNINSTALL_LINK "Удаление Quorvel"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "C:\Quorvel"
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1049 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1049 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1049 "FileDescription" "Установка ${PRODUCT}"
VIAddVersionKey /LANG=1049 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1049 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1049 "LegalCopyright" "© 2026 ${PUBLISHER}"

!define MUI_ABORTWARNING
!define MUI_UNABORTWARNING
!define MUI_ICON "${EXE_ICON}"
!define MUI_UNICON "${EXE_ICON}"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\doc\guide.html"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Открыть руководство пользователя"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "Russian"

; Waits until no Quorvel.exe runs: asks the user to close it, or in silent
; mode ends the installer with exit code 2.
!macro WaitNotRunning un
Function ${un}WaitNotRunning
  again:
    System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${RUNNING_MUTEX}") p .r0'
    ${If} $0 P<> 0
      System::Call 'kernel32::CloseHandle(p r0)'
      ${If} ${Silent}
        SetErrorLevel 2
        Quit
      ${EndIf}
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
        "Программа Quorvel запущена. Закройте её (остановите опрос и закройте окно) и нажмите «Повтор»." \
        IDRETRY again
      SetErrorLevel 1
      Quit
    ${EndIf}
FunctionEnd
!macroend
!insertmacro WaitNotRunning ""
!insertmacro WaitNotRunning "un."

Function .onInit
  SetRegView 64
  Call WaitNotRunning
FunctionEnd

Section "Quorvel" SecProgram
  SectionIn RO
  ; Started between the pages and this section, it would be replaced.
  Call WaitNotRunning
  SetOutPath "$INSTDIR"
  File "/oname=Quorvel.exe" "${EXE}"
  File "/oname=license.txt" "${LICENSE}"
  RMDir /r "$INSTDIR\doc"
  SetOutPath "$INSTDIR\doc"
  File "${GUIDE}\*.*"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ; The settings and the table are written by the program as the user who
  ; runs it; the result is not looked at (a file system without rights).
  nsExec::Exec 'icacls "$INSTDIR" /grant *S-1-5-32-545:(OI)(CI)M /Q'
  Pop $0

  ; For every user. The working directory of a shortcut is the output
  ; folder when it is made: the program's folder.
  SetShellVarContext all
  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\Quorvel.exe"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${SETUP_LINK}.lnk" "$INSTDIR\Quorvel.exe" "/k"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${GUIDE_LINK}.lnk" "$INSTDIR\doc\guide.html"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${UNINSTALL_LINK}.lnk" "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\Quorvel.exe"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" $0
SectionEnd

Function un.onInit
  SetRegView 64
  Call un.WaitNotRunning
FunctionEnd

Section "-un.Program"
  Call un.WaitNotRunning
  Delete "$INSTDIR\Quorvel.exe"
  Delete "$INSTDIR\license.txt"
  RMDir /r "$INSTDIR\doc"
  SetShellVarContext all
  RMDir /r "$SMPROGRAMS\${PRODUCT}"
  DeleteRegKey HKLM "${UNINST_KEY}"
  ; The program's start with Windows, when it is this copy's.
  ReadRegStr $0 HKLM "${RUN_KEY}" "Quorvel.exe"
  ${If} $0 == "$INSTDIR\Quorvel.exe"
    DeleteRegValue HKLM "${RUN_KEY}" "Quorvel.exe"
  ${EndIf}
  Delete "$INSTDIR\uninstall.exe"
SectionEnd

Section /o "un.Настройки, таблица датчиков и журнал" SecUserFiles
  Delete "$INSTDIR\Quorvel.ini"
  Delete "$INSTDIR\DDEConf.dde"
  Delete "$INSTDIR\DDEConf.dde.bad*"
  RMDir /r "$INSTDIR\log"
SectionEnd

Section "-un.Folder"
  ; Only when nothing of the user's is left in it.
  RMDir "$INSTDIR"
SectionEnd

LangString DESC_UserFiles ${LANG_RUSSIAN} "Удалить также Quorvel.ini, DDEConf.dde, сохранённые копии повреждённой таблицы и папку журнала log. Без этой отметки они остаются в папке программы."
!insertmacro MUI_UNFUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecUserFiles} $(DESC_UserFiles)
!insertmacro MUI_UNFUNCTION_DESCRIPTION_END
