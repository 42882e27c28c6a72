; A small real NSIS installer for the end-to-end runs of the launcher.
; One script serves every case; makensis -D picks the behaviour:
;   -DOUTFILE=path     the installer to write (required)
;   -DINSTALL=dir      the default install folder (/D= overrides it)
;   -DMODE=plain       installs readme.txt and install.log into $INSTDIR
;   -DMODE=exitcode    installs nothing and ends with exit code -DCODE=n
;   -DMODE=relaunch    copies itself to $TEMP, starts the copy without waiting
;                      and quits; after about 4 s the copy takes every
;                      payload\* file from the original's folder
;   -DMODE=startapp    copies app.exe from its own folder into $INSTDIR and
;                      starts it there without waiting (the installed
;                      application launched at the end of a setup)
;   -DMODE=syswait     starts cmd.exe, without waiting, on a file in its own
;                      folder that cmd copies into $INSTDIR after about 4 s
; install.log gets one line "dir=$INSTDIR" and, last, "done".
Unicode true
SilentInstall silent
RequestExecutionLevel user
Name "Orvane NSIS test"
OutFile "${OUTFILE}"
InstallDir "${INSTALL}"

!include FileFunc.nsh
!include LogicLib.nsh

Function WriteLog
  Exch $0
  Push $1
  FileOpen $1 "$INSTDIR\install.log" a
  FileSeek $1 0 END
  FileWrite $1 "$0$\r$\n"
  FileClose $1
  Pop $1
  Pop $0
FunctionEnd

!macro Log text
  Push "${text}"
  Call WriteLog
!macroend

Section
!if "${MODE}" == "exitcode"
  SetErrorLevel ${CODE}
  Quit
!endif
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/ORIGIN=" $R1
  ${If} ${Errors}
    StrCpy $R1 ""
  ${EndIf}
  SetOutPath "$INSTDIR"
  !insertmacro Log "dir=$INSTDIR"
  !insertmacro Log "params=$R0"
!if "${MODE}" == "relaunch"
  ${If} $R1 == ""
    ; The first run, inside the setup folder: hand over to a copy in $TEMP.
    CopyFiles /SILENT "$EXEPATH" "$TEMP\OrvaneRelaunchCopy.exe"
    Exec '"$TEMP\OrvaneRelaunchCopy.exe" /ORIGIN=$EXEDIR'
    !insertmacro Log "handed over"
    SetErrorLevel 0
    Quit
  ${EndIf}
  Sleep 4000
  CopyFiles /SILENT "$R1\payload\*" "$INSTDIR"
!else if "${MODE}" == "startapp"
  CopyFiles /SILENT "$EXEDIR\app.exe" "$INSTDIR\app.exe"
  Exec '"$INSTDIR\app.exe" --class OrvaneInstalledApp --exit-after 60000 --ready "$INSTDIR\app.ready"'
!else if "${MODE}" == "syswait"
  Exec '"$SYSDIR\cmd.exe" /c ping -n 5 127.0.0.1 >nul & copy "$EXEDIR\late.txt" "$INSTDIR\late.txt"'
!endif
  File "/oname=readme.txt" "${__FILE__}"
  !insertmacro Log "done"
SectionEnd
