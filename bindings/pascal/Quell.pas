{ Quell.pas: Quell.dll for Delphi and Free Pascal, 32-bit (x86) and 64-bit
  (x64) Windows; each loads the Quell.dll of its own architecture.

  Every export is stdcall (ignored on x64, which has one calling convention)
  and bound here by its name; its fixed ordinal stands in the comment, for
  binding by index instead (external QuellDll index N).
  BOOL is LongBool: the library's own booleans are -1 (true) or 0, never 1; the
  forwarders of system functions return the system's own value. BOOLEAN, one
  byte, is ByteBool. HRESULT and the last-error values are those of Quell.h;
  after a failure, GetLastError tells why (120: not available on this system).

  Several exports carry the names of system functions (LockWorkStation,
  SetSuspendState, ...). Pascal keeps them apart by unit: with Windows and Quell
  both in the uses clause, write Quell.LockWorkStation for this library's. }
unit Quell;

{$IFDEF FPC}{$MODE DELPHI}{$ENDIF}

interface

const
  QuellDll = 'Quell.dll';

type
  { DLLVERSIONINFO: set cbSize to 20 (SizeOf) before calling DllGetVersion. }
  PDllVersionInfo = ^TDllVersionInfo;
  TDllVersionInfo = packed record
    cbSize: LongWord;
    dwMajorVersion: LongWord;
    dwMinorVersion: LongWord;
    dwBuildNumber: LongWord;
    dwPlatformID: LongWord;
  end;

  TBatteryReportingScale = packed record
    Granularity: LongWord;
    Capacity: LongWord;
  end;

  { SYSTEM_POWER_CAPABILITIES, 76 bytes. }
  PSystemPowerCapabilities = ^TSystemPowerCapabilities;
  TSystemPowerCapabilities = packed record
    PowerButtonPresent, SleepButtonPresent, LidPresent: ByteBool;
    SystemS1, SystemS2, SystemS3, SystemS4, SystemS5: ByteBool;
    HiberFilePresent, FullWake, VideoDimPresent, ApmPresent, UpsPresent: ByteBool;
    ThermalControl, ProcessorThrottle: ByteBool;
    ProcessorMinThrottle, ProcessorMaxThrottle: Byte;
    FastSystemS4: ByteBool;
    Spare2: array[0..2] of Byte;
    DiskSpinDown: ByteBool;
    Spare3: array[0..7] of Byte;
    SystemBatteriesPresent, BatteriesAreShortTerm: ByteBool;
    BatteryScale: array[0..2] of TBatteryReportingScale;
    AcOnLineWake, SoftLidWake, RtcWake, MinDeviceWakeState, DefaultLowLatencyWake: LongWord;
  end;

{ 1: file version of Quell.dll. S_OK, E_INVALIDARG (cbSize not 20), E_OUTOFMEMORY,
  E_FAIL, E_POINTER. }
function DllGetVersion(var pdvi: TDllVersionInfo): HRESULT; stdcall; external QuellDll name 'DllGetVersion';

{ 2, 3: hibernate (NT 5 and later, else 120) / standby. Boolean; 50 when the
  system says that state is not there. }
function WindowsHibernate: LongBool; stdcall; external QuellDll name 'WindowsHibernate';
function WindowsStandby: LongBool; stdcall; external QuellDll name 'WindowsStandby';

{ 4: can the machine go into standby? Boolean, or IsPwrSuspendAllowed's value. }
function CheckSystemPowerStatus: LongBool; stdcall; external QuellDll name 'CheckSystemPowerStatus';

{ 5-8: forwarded to powrprof.dll; 0 with 120 when it lacks them. }
function GetPwrCapabilities(var lpspc: TSystemPowerCapabilities): ByteBool; stdcall;
  external QuellDll name 'GetPwrCapabilities';
function SetSuspendState(bHibernate, bForce, bWakeupEventsDisabled: ByteBool): ByteBool; stdcall;
  external QuellDll name 'SetSuspendState';
function IsPwrHibernateAllowed: ByteBool; stdcall; external QuellDll name 'IsPwrHibernateAllowed';
function IsPwrSuspendAllowed: ByteBool; stdcall; external QuellDll name 'IsPwrSuspendAllowed';

{ 9, 10: the shell's shut-down and restart dialogs; 0 when not available. }
function ShutdownDialog(hwnd: THandle): Integer; stdcall; external QuellDll name 'ShutdownDialog';
function RestartDialog(hwnd: THandle; pszPrompt: PWideChar; dwFlags: LongWord): Integer; stdcall;
  external QuellDll name 'RestartDialog';

{ 11, 12: forwarded; a Win32 error code, 1 when not available (Vista and later). }
function InitiateShutdownW(lpMachineName, lpMessage: PWideChar; dwGracePeriod, dwShutdownFlags,
  dwReason: LongWord): LongWord; stdcall; external QuellDll name 'InitiateShutdownW';
function InitiateShutdownA(lpMachineName, lpMessage: PAnsiChar; dwGracePeriod, dwShutdownFlags,
  dwReason: LongWord): LongWord; stdcall; external QuellDll name 'InitiateShutdownA';

{ 13-18: forwarded to advapi32.dll and user32.dll; 0 with 120 when not available. }
function InitiateSystemShutdownExW(lpMachineName, lpMessage: PWideChar; dwTimeout: LongWord;
  bForceAppsClosed, bRebootAfterShutdown: LongBool; dwReason: LongWord): LongBool; stdcall;
  external QuellDll name 'InitiateSystemShutdownExW';
function InitiateSystemShutdownExA(lpMachineName, lpMessage: PAnsiChar; dwTimeout: LongWord;
  bForceAppsClosed, bRebootAfterShutdown: LongBool; dwReason: LongWord): LongBool; stdcall;
  external QuellDll name 'InitiateSystemShutdownExA';
function ShutdownBlockReasonQuery(hWnd: THandle; pwszBuff: PWideChar; var pcchBuff: LongWord): LongBool;
  stdcall; external QuellDll name 'ShutdownBlockReasonQuery';
function ShutdownBlockReasonDestroy(hWnd: THandle): LongBool; stdcall;
  external QuellDll name 'ShutdownBlockReasonDestroy';
function ShutdownBlockReasonCreate(hWnd: THandle; pwszReason: PWideChar): LongBool; stdcall;
  external QuellDll name 'ShutdownBlockReasonCreate';
function LockWorkStation: LongBool; stdcall; external QuellDll name 'LockWorkStation';

{ 19-23: abort / start a timed reboot or shutdown of this machine. Boolean;
  NT family only (else 120); 1300 without the shutdown privilege. }
function LocalAbortSystemShutdown: LongBool; stdcall; external QuellDll name 'LocalAbortSystemShutdown';
function LocalInitSystemRebootW(lpMessage: PWideChar; dwTimeout: LongWord; bForceAppsClosed: LongBool): LongBool;
  stdcall; external QuellDll name 'LocalInitSystemRebootW';
function LocalInitSystemRebootA(lpMessage: PAnsiChar; dwTimeout: LongWord; bForceAppsClosed: LongBool): LongBool;
  stdcall; external QuellDll name 'LocalInitSystemRebootA';
function LocalInitSystemShutdownW(lpMessage: PWideChar; dwTimeout: LongWord; bForceAppsClosed: LongBool): LongBool;
  stdcall; external QuellDll name 'LocalInitSystemShutdownW';
function LocalInitSystemShutdownA(lpMessage: PAnsiChar; dwTimeout: LongWord; bForceAppsClosed: LongBool): LongBool;
  stdcall; external QuellDll name 'LocalInitSystemShutdownA';

{ 24-31: end the session at once. Boolean. }
function WindowsHybridShutdown: LongBool; stdcall; external QuellDll name 'WindowsHybridShutdown';
function WindowsRestartApps: LongBool; stdcall; external QuellDll name 'WindowsRestartApps';
function WindowsForceLogOnOff: LongBool; stdcall; external QuellDll name 'WindowsForceLogOnOff';
function WindowsForceShutdown: LongBool; stdcall; external QuellDll name 'WindowsForceShutdown';
function WindowsForceReboot: LongBool; stdcall; external QuellDll name 'WindowsForceReboot';
function WindowsLogOnOff: LongBool; stdcall; external QuellDll name 'WindowsLogOnOff';
function WindowsShutdown: LongBool; stdcall; external QuellDll name 'WindowsShutdown';
function WindowsReboot: LongBool; stdcall; external QuellDll name 'WindowsReboot';

{ 32-34: enable the shutdown privilege; NT family?; user name readable? Boolean. }
function WindowsNTPrivilegien: LongBool; stdcall; external QuellDll name 'WindowsNTPrivilegien';
function CheckWindowsNT: LongBool; stdcall; external QuellDll name 'CheckWindowsNT';
function CheckUserName: LongBool; stdcall; external QuellDll name 'CheckUserName';

{ 35, 36: Windows 95/98/Me: restart into MS-DOS mode / is its shortcut there?
  Boolean; 123 when there is no shortcut. }
function WindowsMsDosModus: LongBool; stdcall; external QuellDll name 'WindowsMsDosModus';
function CheckMsDosModus: LongBool; stdcall; external QuellDll name 'CheckMsDosModus';

implementation

end.
