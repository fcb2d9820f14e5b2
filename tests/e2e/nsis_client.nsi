; An installer that carries Quell.dll and calls harmless exports through the
; System plug-in, as an installer script would, and writes what each answered
; to answers.txt beside itself. Run it with /S.
;   makensis -DQUELL_DLL=<path of Quell.dll> -DOUTFILE=<installer> nsis_client.nsi
Unicode true
Name "Quell NSIS client"
OutFile "${OUTFILE}"
RequestExecutionLevel user
SilentInstall silent

Section "Answers"
    InitPluginsDir
    File "/oname=$PLUGINSDIR\Quell.dll" "${QUELL_DLL}"
    FileOpen $9 "$EXEDIR\answers.txt" w

    ; BOOL results: -1 for true. ?e pushes the last-error value, which means
    ; something only after a false answer: the System plug-in's own calls
    ; change it before the export runs.
    System::Call '"$PLUGINSDIR\Quell.dll"::CheckWindowsNT() i .r0 ?e'
    Pop $1
    FileWrite $9 "CheckWindowsNT=$0 error=$1$\n"

    System::Call '"$PLUGINSDIR\Quell.dll"::CheckUserName() i .r0 ?e'
    Pop $1
    FileWrite $9 "CheckUserName=$0 error=$1$\n"

    ; DLLVERSIONINFO: cbSize (20) and four DWORDs for the answer.
    System::Call '*(i 20, i 0, i 0, i 0, i 0) p .r2'
    System::Call '"$PLUGINSDIR\Quell.dll"::DllGetVersion(p r2) i .r0 ?e'
    Pop $1
    System::Call '*$2(i, i .r3, i .r4, i .r5, i .r6)'
    System::Free $2
    IntFmt $0 "0x%08X" $0
    FileWrite $9 "DllGetVersion=$0 error=$1 version=$3.$4.$5 platform=$6$\n"

    ; A BOOLEAN result: only the low byte of the register counts.
    System::Call '"$PLUGINSDIR\Quell.dll"::IsPwrHibernateAllowed() i .r0 ?e'
    Pop $1
    IntOp $0 $0 & 0xFF
    FileWrite $9 "IsPwrHibernateAllowed=$0 error=$1$\n"

    ; A false answer with its last-error value; the size (256 characters) goes by
    ; reference and comes back as the export left it.
    System::Call '"$PLUGINSDIR\Quell.dll"::ShutdownBlockReasonQuery(p 0, p 0, *i 256 r7) i .r0 ?e'
    Pop $1
    FileWrite $9 "ShutdownBlockReasonQuery=$0 error=$1 size=$7$\n"

    FileClose $9
SectionEnd
