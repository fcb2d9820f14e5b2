// The fake Windows beneath quell.exe's own code: a system whose every answer a
// test sets and whose every call it sees, and recording fakes of Quell.dll's
// entry points. It runs as a fake NT or a fake Windows 95, whose W functions
// fail with 120.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "quell_cli.h"

struct Recorded {
    std::string name;
    std::vector<uintptr_t> args;
    std::wstring text;     // the string argument, where there is one
    std::wstring machine;  // the machine name argument, where there is one
    DWORD at = 0;          // the fake clock's milliseconds since the run started, when it was called
};

// A registry value of the fake system: a string (REG_MULTI_SZ's with its nulls) or a number.
struct FakeValue {
    DWORD type;
    std::wstring text;
    DWORD number = 0;
};
inline FakeValue Sz(const std::wstring &text) { return {REG_SZ, text}; }
inline FakeValue MultiSz(const std::wstring &text) { return {REG_MULTI_SZ, text}; }
inline FakeValue Dword(DWORD number) { return {REG_DWORD, L"", number}; }
// HKEY_LOCAL_MACHINE's keys by path, each with its values by name.
using FakeRegistry = std::map<std::wstring, std::map<std::wstring, FakeValue>>;

struct FakeWindow;
// A running process and the moment it ends.
struct FakeProcess {
    DWORD id;
    std::string program;  // as Toolhelp lists it
    DWORD endsAt = ~DWORD(0);
    DWORD startsAt = 0;
};
constexpr DWORD SelfId = 4242;
std::vector<FakeProcess> DefaultProcesses();
// A named event or file mapping.
struct FakeObject {
    bool event;
    bool set = false;
    int handles = 0;  // open
    std::vector<BYTE> bytes = std::vector<BYTE>(32);
};
struct FakeSystem {
    bool nt = true;
    std::wstring commandLine;
    std::string ansiCommandLine;
    std::wstring exePath = L"C:\\Program Files\\Quell\\quell.exe";
    std::wstring linkTarget;                 // the file that exePath, a symbolic link, leads to; empty: none
    DWORD openError = 0;                     // non-zero: CreateFileW refuses the image with it
    DWORD finalPathError = 0;                // non-zero: GetFinalPathNameByHandleW fails with it
    int openFiles = 0;                       // handles of CreateFileW not yet closed
    DWORD quellLoadError = 0;                // non-zero: Quell.dll does not load
    WORD quellMachine = 0;                   // the machine type in Quell.dll's header; 0: no PE header
    std::vector<std::string> lacking;        // exports the fake Quell.dll lacks
    std::string lackingWide;                 // a function kernel32 lacks, of those looked up
    bool shellLacksShutdownDialog = false;   // shell32.dll has no #60
    BYTE aoAc = 0;                           // the power capabilities' Modern Standby byte
    std::vector<std::string> systemCalls;    // the host functions called, by name
    std::vector<std::wstring> loaded;        // the paths given to LoadLibraryA/W
    std::vector<std::string> lookedUp;       // "path!name" of the system entries looked up
    std::string outBytes, errBytes;          // what WriteFile received
    std::wstring outConsole;                 // what WriteConsoleW received
    DWORD version = 0x0500;                  // the NT family's major << 8 | minor
    DWORD build = 2195;                      // the build number; Windows 95's carries 4.0 in its high word
    DWORD initiateAnswer = 0;                // what InitiateShutdownW returns
    std::vector<struct FakeWindow> windows;  // the top-level windows, in EnumWindows' order
    bool keepsBlockReasons = true;           // false: Quell.dll answers 0 with 120, as before Vista
    int openProcesses = 0;                   // handles of OpenProcess not yet closed
    // The waits: the fake clock, the running processes and the named objects.
    DWORD elapsed = 0;                                     // milliseconds since the run started ...
    SYSTEMTIME runStart = {2026, 12, 1, 7, 10, 31, 0, 0};  // ... at this local time
    long clockShift = 0;                                   // seconds the local clock moves (daylight saving time) ...
    DWORD clockShiftAt = ~DWORD(0);                        // ... this many seconds into the run
    std::vector<FakeProcess> processes = DefaultProcesses();
    bool toolhelp = true;                       // false: kernel32 lacks Toolhelp, as NT 4.0's does
    bool psapi = true;                          // false: no psapi.dll either
    std::map<std::string, FakeObject> objects;  // by name; unnamed ones under "#N"
    std::vector<std::string> handles;           // what each fake object handle (its index + 1) stands for
    PHANDLER_ROUTINE ctrlHandler = nullptr;
    DWORD cancelAt = ~DWORD(0);  // the moment the wait is cancelled, in milliseconds
    DWORD signal = ~DWORD(0);    // how: a console signal, else through the wait's named event as quell abort does
    std::map<std::string, LONG> answers;                  // what one export of Quell.dll answers instead of g_result
    FakeRegistry registry;                                // HKEY_LOCAL_MACHINE, the 64-bit view
    FakeRegistry redirected;                              // what WOW64 shows a 32-bit process without KEY_WOW64_64KEY
    DWORD registryError = 0;                              // non-zero: every key is refused with it
    int wow64 = -1;                                       // what IsWow64Process says; -1: kernel32 lacks it
    std::vector<std::pair<std::wstring, REGSAM>> opened;  // the keys opened, with the access asked
    int openKeys = 0;                                     // keys not yet closed
    DWORD windowError = 0;                                // non-zero: CreateWindowExA fails with it
};

// A top-level window of the fake system and its process.
struct FakeWindow {
    DWORD process;
    std::wstring title;
    std::wstring reason;  // empty: none
    bool programReadable = true;
    DWORD queryError = 0;  // non-zero: ShutdownBlockReasonQuery refuses with it
};

extern FakeSystem g_system;
extern std::vector<Recorded> g_calls;
extern LONG g_result;  // what every fake export returns
extern DWORD g_error;  // the last-error value every fake export leaves

// The host whose functions are the fake system's.
extern const CliHost FakeHost;

const char *SystemDirectory();
// The path of the program a fake process runs.
std::wstring ProgramOf(DWORD process);
std::string Encode(const std::wstring &text, UINT codePage);
std::wstring Decode(const std::string &bytes, UINT codePage);
// A text as the program sees it after the command line (ANSI on Windows 95).
std::wstring Typed(const std::wstring &text);
// ... and as it then shows in the output (the console's code page on Windows 95).
std::wstring Seen(const std::wstring &text);
// What went to standard output (a console) and to standard error (a pipe), read with LF.
std::wstring Out();
std::wstring Err();
std::wstring Wide(const std::string &ascii);
