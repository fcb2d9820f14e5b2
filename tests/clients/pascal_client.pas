{ A Free Pascal client of Quell.dll through the unit Quell: calls harmless
  exports by name and, declared here, by index. Prints PASS and exits 0. }
program pascal_client;

{$IFDEF FPC}{$MODE DELPHI}{$ENDIF}
{$APPTYPE CONSOLE}

uses
  Quell;

function CheckWindowsNTByIndex: LongBool; stdcall; external QuellDll index 33;
function CheckUserNameByIndex: LongBool; stdcall; external QuellDll index 34;
function CheckMsDosModusByIndex: LongBool; stdcall; external QuellDll index 36;
function IsPwrSuspendAllowedByIndex: ByteBool; stdcall; external QuellDll index 8;
function DllGetVersionByIndex(var pdvi: TDllVersionInfo): HRESULT; stdcall; external QuellDll index 1;

function GetLastError: LongWord; stdcall; external 'kernel32.dll' name 'GetLastError';
procedure SetLastError(dwErrCode: LongWord); stdcall; external 'kernel32.dll' name 'SetLastError';

var
  Failures: Integer = 0;
  ByName, ByIndex: TDllVersionInfo;
  NameResult, IndexResult: HRESULT;
  Suspend: Byte;
  Error: LongWord;

procedure Expect(Holds: Boolean; const What: string);
begin
  if not Holds then
  begin
    WriteLn('FAIL: ', What);
    Inc(Failures);
  end;
end;

begin
  Expect(SizeOf(TDllVersionInfo) = 20, 'TDllVersionInfo is 20 bytes');
  Expect(SizeOf(TSystemPowerCapabilities) = 76, 'TSystemPowerCapabilities is 76 bytes');

  Expect(LongInt(CheckWindowsNT) = -1, 'CheckWindowsNT is -1 under Wine, an NT-family system');
  Expect(LongInt(CheckWindowsNTByIndex) = -1, 'CheckWindowsNT by index');
  Expect(LongInt(CheckUserName) = LongInt(CheckUserNameByIndex), 'CheckUserName by name and by index');
  Expect((LongInt(CheckMsDosModus) = 0) and (LongInt(CheckMsDosModusByIndex) = 0), 'CheckMsDosModus is 0 on NT');

  SetLastError(0);
  Suspend := Byte(IsPwrSuspendAllowed);
  Error := GetLastError;
  SetLastError(0);
  Expect((Byte(IsPwrSuspendAllowedByIndex) = Suspend) and (GetLastError = Error),
    'IsPwrSuspendAllowed by name and by index');

  FillChar(ByName, SizeOf(ByName), 0);
  FillChar(ByIndex, SizeOf(ByIndex), 0);
  ByName.cbSize := SizeOf(ByName);
  ByIndex.cbSize := SizeOf(ByIndex);
  NameResult := DllGetVersion(ByName);
  IndexResult := DllGetVersionByIndex(ByIndex);
  Expect((NameResult = IndexResult) and (ByName.dwMajorVersion = ByIndex.dwMajorVersion) and
    (ByName.dwMinorVersion = ByIndex.dwMinorVersion) and (ByName.dwBuildNumber = ByIndex.dwBuildNumber) and
    (ByName.dwPlatformID = ByIndex.dwPlatformID), 'DllGetVersion by name and by index');

  WriteLn('CheckWindowsNT ', LongInt(CheckWindowsNT), ', IsPwrSuspendAllowed ', Suspend, ' (last error ', Error,
    '), DllGetVersion ', NameResult, ' ', ByName.dwMajorVersion, '.', ByName.dwMinorVersion, '.',
    ByName.dwBuildNumber);
  if Failures = 0 then
    WriteLn('PASS')
  else
    ExitCode := 1;
end.
