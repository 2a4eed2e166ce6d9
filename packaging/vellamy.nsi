; The vellamy installer. It finds GIMP 2, puts the vellamy build that matches GIMP's own
; architecture into GIMP's plug-in folder and registers an uninstaller.
;
; makensis -DVERSION=x.y.z -DCOPYRIGHT=<text> -DBIN32=<32-bit bin> -DBIN64=<64-bit bin>
;          -DICON=<ico> -DOUTFILE=<setup.exe> [-DAMD64] vellamy.nsi
; AMD64 builds the same installer as a 64-bit program, so the tests can run it under wine64
; without 32-bit emulation; the one shipped is the 32-bit one, which runs on every Windows.

Unicode true
!ifdef AMD64
  Target amd64-unicode
  ; There ${RunningX64} is constant, which leaves LogicLib's else-labels unused.
  !pragma warning disable 6012
!endif

!include LogicLib.nsh
!include x64.nsh
!include FileFunc.nsh
!include MUI2.nsh

!define PRODUCT "GIMP Vellamy"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\GIMPVellamy"
!define PLUGINS "lib\gimp\2.0\plug-ins"
!define UNINSTALLER "uninst\vellamy-uninstall.exe"
!define SETTINGS "SOFTWARE\GIMPVellamy"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
; GIMP's folder lies below Program Files, which only an administrator may write to.
RequestExecutionLevel admin
SetCompressor /SOLID lzma
BrandingText "GIMP Vellamy ${VERSION}"
ShowInstDetails show
ShowUninstDetails show
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} installer"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${COPYRIGHT}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING

!define MUI_WELCOMEPAGE_TEXT "Setup will add vellamy to GIMP 2. vellamy gathers GIMP's \
toolbox, docks and image windows into one large window with one taskbar entry, so that they \
stay together and are never lost behind other programs.$\r$\n$\r$\nClose GIMP before you go on."
!insertmacro MUI_PAGE_WELCOME
!define MUI_DIRECTORYPAGE_TEXT_TOP "Setup will install vellamy into the plug-in folder of the \
GIMP 2 installation below. If GIMP is installed elsewhere, choose its folder: the one that \
holds GIMP's bin and lib folders."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "GIMP 2 folder"
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE CheckFolderPage
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "vellamy is installed. It starts by itself the next time you \
start GIMP."
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

Var gimpExe     ; GIMP's executable in the chosen folder
Var gimpBits    ; 32 or 64, read from that executable

; ---------------------------------------------------------------------------------------------
; Shared by installer and uninstaller

!macro NativeRegView
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
!macroend

; A running backdrop holds vellamyhook.dll loaded in every program on the desktop.
!macro RefuseWhileRunning un
  Function ${un}RefuseWhileRunning
    FindWindow $0 "VELLAMY" ""
    ${If} $0 <> 0
      MessageBox MB_OK|MB_ICONSTOP "GIMP is running with vellamy. Close GIMP, then run \
Setup again." /SD IDOK
      SetErrorLevel 3
      Quit
    ${EndIf}
  FunctionEnd
!macroend
!insertmacro RefuseWhileRunning ""
!insertmacro RefuseWhileRunning "un."

; ---------------------------------------------------------------------------------------------
; Finding GIMP

; $R0: a folder. Sets $gimpExe to GIMP 2's executable in its bin folder, or to "". GIMP 2.99
; (a preview of GIMP 3) is named alike but looks for plug-ins below lib\gimp\3.0.
Function FindGimpExe
  StrCpy $gimpExe ""
  StrCmp $R0 "" done
  IfFileExists "$R0\lib\gimp\2.0\*.*" 0 done
  FindFirst $0 $1 "$R0\bin\gimp-2.*.exe"
  ${DoWhile} $1 != ""
    StrCpy $2 $1 3 5  ; "2.9" from "gimp-2.99.12.exe"
    ${If} $2 != "2.9"
      StrCpy $gimpExe "$R0\bin\$1"
      ${Break}
    ${EndIf}
    FindNext $0 $1
  ${Loop}
  FindClose $0
  done:
FunctionEnd

; $R0: a folder, possibly with a trailing backslash; takes it as $INSTDIR when it holds GIMP.
Function TryFolder
  ${If} $INSTDIR == ""
  ${AndIf} $R0 != ""
    StrCpy $0 $R0 1 -1
    ${If} $0 == "\"
      StrCpy $R0 $R0 -1
    ${EndIf}
    Call FindGimpExe
    ${If} $gimpExe != ""
      StrCpy $INSTDIR $R0
    ${EndIf}
  ${EndIf}
FunctionEnd

!macro TryUninstallEntry root
  ReadRegStr $R0 ${root} "Software\Microsoft\Windows\CurrentVersion\Uninstall\GIMP-2_is1" \
"InstallLocation"
  Call TryFolder
!macroend

; Sets $gimpBits from the machine field of the executable's PE header, or to "".
Function ReadGimpBits
  StrCpy $gimpBits ""
  ClearErrors
  FileOpen $0 $gimpExe r
  IfErrors done
  FileSeek $0 0x3C SET
  FileReadByte $0 $1
  FileReadByte $0 $2
  FileReadByte $0 $3
  FileReadByte $0 $4
  IntOp $2 $2 << 8
  IntOp $3 $3 << 16
  IntOp $4 $4 << 24
  IntOp $1 $1 | $2
  IntOp $1 $1 | $3
  IntOp $1 $1 | $4
  IntOp $1 $1 + 4  ; past the "PE\0\0" signature
  FileSeek $0 $1 SET
  FileReadByte $0 $2
  FileReadByte $0 $3
  FileClose $0
  IntOp $3 $3 << 8
  IntOp $2 $2 | $3
  ${If} $2 = 0x8664
    StrCpy $gimpBits 64
  ${ElseIf} $2 = 0x014C
    StrCpy $gimpBits 32
  ${EndIf}
  done:
FunctionEnd

Function .onInit
  Call RefuseWhileRunning
  ; /D= sets $INSTDIR before this runs and is taken as it stands. Otherwise an earlier install
  ; of vellamy knows where GIMP is, then GIMP's own uninstall entry, then Program Files.
  ${If} $INSTDIR == ""
    !insertmacro NativeRegView
    ReadRegStr $R0 HKLM "${UNINST_KEY}" "InstallLocation"
    Call TryFolder
    ${If} ${RunningX64}
      SetRegView 64
      !insertmacro TryUninstallEntry HKLM
      SetRegView 32
    ${EndIf}
    !insertmacro TryUninstallEntry HKLM
    !insertmacro TryUninstallEntry HKCU
    ${If} ${RunningX64}
      StrCpy $R0 "$PROGRAMFILES64\GIMP 2"
      Call TryFolder
    ${EndIf}
    StrCpy $R0 "$PROGRAMFILES32\GIMP 2"
    Call TryFolder
    SetRegView default
  ${EndIf}
  ${If} $INSTDIR == ""
    ${If} ${RunningX64}
      StrCpy $INSTDIR "$PROGRAMFILES64\GIMP 2"
    ${Else}
      StrCpy $INSTDIR "$PROGRAMFILES\GIMP 2"
    ${EndIf}
  ${EndIf}
FunctionEnd

Function CheckFolderPage
  StrCpy $R0 $INSTDIR
  Call FindGimpExe
  ${If} $gimpExe == ""
    MessageBox MB_OK|MB_ICONEXCLAMATION "This folder does not hold GIMP 2: there is no \
bin\gimp-2.*.exe in it. Choose the folder GIMP 2 is installed in."
    Abort
  ${EndIf}
FunctionEnd

; ---------------------------------------------------------------------------------------------
; Installing

Section "vellamy"
  Call RefuseWhileRunning
  ; Checked again here: a silent install shows no directory page.
  StrCpy $R0 $INSTDIR
  Call FindGimpExe
  ${If} $gimpExe == ""
    MessageBox MB_OK|MB_ICONSTOP "No GIMP 2 was found in $INSTDIR (no bin\gimp-2.*.exe)." \
/SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
  Call ReadGimpBits
  ${If} $gimpBits == ""
    MessageBox MB_OK|MB_ICONSTOP "$gimpExe is neither a 32-bit nor a 64-bit Windows program." \
/SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
  DetailPrint "GIMP: $gimpExe ($gimpBits-bit)"

  ; The plug-in must lie below GIMP's own lib folder: vellamy takes the part of its own path
  ; before "lib" as the folder whose programs are GIMP.
  ; A file still in use can be retried; skipped (as a silent install does), it sets the error
  ; flag. The library goes first, so a failure leaves the old pair in place.
  SetOutPath "$INSTDIR\${PLUGINS}"
  SetOverwrite on
  AllowSkipFiles on
  ClearErrors
  StrCpy $0 ""
  ${If} $gimpBits == 64
    File "${BIN64}\vellamyhook.dll"
    ${IfNot} ${Errors}  ; which also clears the flag
      File "${BIN64}\vellamy.exe"
      ${IfNot} ${Errors}
        StrCpy $0 "written"
      ${EndIf}
    ${EndIf}
  ${Else}
    File "${BIN32}\vellamyhook.dll"
    ${IfNot} ${Errors}  ; which also clears the flag
      File "${BIN32}\vellamy.exe"
      ${IfNot} ${Errors}
        StrCpy $0 "written"
      ${EndIf}
    ${EndIf}
  ${EndIf}
  ${If} $0 != "written"
    MessageBox MB_OK|MB_ICONSTOP "vellamy's files in $INSTDIR\${PLUGINS} could not be \
replaced: a program still uses them. Close GIMP, or restart Windows, then run Setup again." \
        /SD IDOK
    SetErrorLevel 4
    Quit
  ${EndIf}

  ; Not in the plug-in folder: GIMP runs every program there as a plug-in.
  CreateDirectory "$INSTDIR\uninst"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  !insertmacro NativeRegView
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT} ($gimpBits-bit)"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "vellamy"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\${PLUGINS}\vellamy.exe"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR\${PLUGINS}" "/M=vellamy* /S=0K /G=0" $0 $1 $2
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" $0
  SetRegView default
SectionEnd

; ---------------------------------------------------------------------------------------------
; Uninstalling

Function un.onInit
  ; The uninstaller lives in <GIMP>\uninst; run from anywhere else it would not know what
  ; to remove.
  ${GetParent} "$INSTDIR" $INSTDIR
  ${IfNot} ${FileExists} "$INSTDIR\${UNINSTALLER}"
  ${OrIfNot} ${FileExists} "$INSTDIR\lib\gimp\2.0\*.*"
    MessageBox MB_OK|MB_ICONSTOP "Run the uninstaller from the uninst folder of the GIMP \
folder that vellamy was installed into." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
FunctionEnd

Section "Uninstall"
  Call un.RefuseWhileRunning
  Delete /REBOOTOK "$INSTDIR\${PLUGINS}\vellamy.exe"
  Delete /REBOOTOK "$INSTDIR\${PLUGINS}\vellamyhook.dll"
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR\uninst"  ; only when empty: GIMP keeps its own uninstaller there

  ; The entry goes unless it names another GIMP folder, installed into later.
  !insertmacro NativeRegView
  ReadRegStr $0 HKLM "${UNINST_KEY}" "InstallLocation"
  ${If} $0 == ""
  ${OrIf} $0 == $INSTDIR
    DeleteRegKey HKLM "${UNINST_KEY}"
  ${EndIf}
  SetRegView default

  ; The settings go too: they hold only the window's place and the choices of the Edit menu
  ; and Setup. A 32-bit vellamy on 64-bit Windows keeps them in the 32-bit view, and a user's
  ; own copy lies below HKEY_CURRENT_USER (or, for a 32-bit vellamy older than 2.1, which had
  ; no manifest and so was virtualised, in the VirtualStore).
  ${If} ${RunningX64}
    SetRegView 64
    DeleteRegKey HKLM "${SETTINGS}"
    SetRegView 32
  ${EndIf}
  DeleteRegKey HKLM "${SETTINGS}"
  SetRegView default
  DeleteRegKey HKCU "${SETTINGS}"
  DeleteRegKey HKCU "Software\Classes\VirtualStore\MACHINE\${SETTINGS}"
  DeleteRegKey HKCU "Software\Classes\VirtualStore\MACHINE\SOFTWARE\WOW6432Node\GIMPVellamy"
  IfRebootFlag 0 +2
    MessageBox MB_OK "A program still uses vellamy's files; they go when Windows restarts." \
/SD IDOK
SectionEnd
