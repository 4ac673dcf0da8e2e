; The Windows installer of KORVO, built by Debian's makensis through
; make-installer.sh, which defines VERSION, OUTFILE and the build folders it
; found (WIN32_DIR, WIN64_DIR, ARM64_DIR). It installs, into a folder the
; user picks, the shell extension for the machine's architecture (on x64 also
; the 32-bit one, for 32-bit programs' file dialogs, in x86\), korvo.exe and
; the Susie plug-ins; registers the extension for the machine; and adds an
; uninstaller to "Apps". /S installs and uninstalls silently.
Unicode true
!include "LogicLib.nsh"
!include "x64.nsh"

Name "KORVO ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\KORVO"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ShowInstDetails show

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\KORVO"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; The 64-bit registry and system folder on 64-bit Windows.
!macro NativeViews
  ${If} ${RunningX64}
    SetRegView 64
    ${DisableX64FSRedirection}
  ${EndIf}
!macroend

Function .onInit
  ${IfNot} ${RunningX64}
    StrCpy $INSTDIR "$PROGRAMFILES\KORVO"
  ${EndIf}
FunctionEnd

Section "KORVO"
  !insertmacro NativeViews
  SetOutPath "$INSTDIR"
  ${If} ${IsNativeARM64}
!ifdef ARM64_DIR
    File "${ARM64_DIR}\bin\KorvoShell.dll"
    File "${ARM64_DIR}\bin\korvo.exe"
    File "${ARM64_DIR}\plugins\IFKORVO.spha"
    File "${ARM64_DIR}\plugins\AXKORVO.spha"
!else
    Abort "This installer holds no ARM64 build."
!endif
  ${ElseIf} ${RunningX64}
!ifdef WIN64_DIR
    File "${WIN64_DIR}\bin\KorvoShell.dll"
    File "${WIN64_DIR}\bin\korvo.exe"
    File "${WIN64_DIR}\plugins\IFKORVO.SPH"
    File "${WIN64_DIR}\plugins\AXKORVO.SPH"
!else
    Abort "This installer holds no x64 build."
!endif
  ${Else}
!ifdef WIN32_DIR
    File "${WIN32_DIR}\bin\KorvoShell.dll"
    File "${WIN32_DIR}\bin\korvo.exe"
!endif
  ${EndIf}
!ifdef WIN32_DIR
  ; The 32-bit plug-ins for 32-bit viewers, on every machine.
  File "${WIN32_DIR}\plugins\IFKORVO.SPI"
  File "${WIN32_DIR}\plugins\AXKORVO.SPI"
!endif
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ExecWait '"$SYSDIR\regsvr32.exe" /s "$INSTDIR\KorvoShell.dll"' $0
  ${If} $0 != 0
    DetailPrint "Registering KorvoShell.dll failed ($0)"
    SetErrorLevel 2
  ${EndIf}
!ifdef WIN32_DIR
  ${If} ${RunningX64}
  ${OrIf} ${IsNativeARM64}
    SetOutPath "$INSTDIR\x86"
    File "${WIN32_DIR}\bin\KorvoShell.dll"
    ExecWait '"$WINDIR\SysWOW64\regsvr32.exe" /s "$INSTDIR\x86\KorvoShell.dll"' $0
    ${If} $0 != 0
      DetailPrint "Registering the 32-bit KorvoShell.dll failed ($0)"
      SetErrorLevel 2
    ${EndIf}
  ${EndIf}
!endif

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "KORVO ${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The KORVO project"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  !insertmacro NativeViews
  ${If} ${FileExists} "$INSTDIR\x86\KorvoShell.dll"
    ExecWait '"$WINDIR\SysWOW64\regsvr32.exe" /s /u "$INSTDIR\x86\KorvoShell.dll"'
  ${EndIf}
  ExecWait '"$SYSDIR\regsvr32.exe" /s /u "$INSTDIR\KorvoShell.dll"'
  Delete "$INSTDIR\x86\KorvoShell.dll"
  RMDir "$INSTDIR\x86"
  Delete "$INSTDIR\KorvoShell.dll"
  Delete "$INSTDIR\korvo.exe"
  Delete "$INSTDIR\IFKORVO.spha"
  Delete "$INSTDIR\AXKORVO.spha"
  Delete "$INSTDIR\IFKORVO.SPH"
  Delete "$INSTDIR\AXKORVO.SPH"
  Delete "$INSTDIR\IFKORVO.SPI"
  Delete "$INSTDIR\AXKORVO.SPI"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
