// quell.exe: the front end on the real system, for Windows 95 to 11. It has no
// C runtime: this file is its entry point and the memory routines the compiler
// may call, and it hands the front end the system's functions.
//
// Imported, all from kernel32 and exported by Windows 95 and NT 4.0 alike:
//   ExitProcess, GetModuleHandleA, GetProcAddress, GetVersionExA,
//   GetCommandLineA, GetModuleFileNameA, GetSystemDirectoryA, LoadLibraryA,
//   FreeLibrary, GetStdHandle, GetConsoleMode, GetConsoleOutputCP, WriteFile,
//   FormatMessageA, GetLastError, SetLastError, MultiByteToWideChar,
//   WideCharToMultiByte, GetProcessHeap, HeapAlloc, HeapReAlloc, HeapFree.
// Looked up at run time and called on the NT family only: GetCommandLineW,
//   GetModuleFileNameW, LoadLibraryW, WriteConsoleW, FormatMessageW.
#include "quell_cli.h"

// GCC may call these to zero or copy an object, and nothing may come from
// msvcrt. The direction flag is clear on entry to any function (ABI).
extern "C" void *memset(void *target, int value, size_t size) {
    void *at = target;
    asm volatile("rep stosb" : "+D"(at), "+c"(size) : "a"(value) : "memory");
    return target;
}

extern "C" void *memcpy(void *target, const void *source, size_t size) {
    void *at = target;
    asm volatile("rep movsb" : "+D"(at), "+S"(source), "+c"(size) : : "memory");
    return target;
}

namespace {

template <typename Entry> void Resolve(HMODULE module, const char *name, Entry &entry) {
    entry = reinterpret_cast<Entry>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace

extern "C" void QuellStart() {
    CliHost host{};
    host.GetVersionExA = GetVersionExA;
    host.GetCommandLineA = GetCommandLineA;
    host.GetModuleFileNameA = GetModuleFileNameA;
    host.GetSystemDirectoryA = GetSystemDirectoryA;
    host.LoadLibraryA = LoadLibraryA;
    host.GetProcAddress = GetProcAddress;
    host.FreeLibrary = FreeLibrary;
    host.GetStdHandle = GetStdHandle;
    host.GetConsoleMode = GetConsoleMode;
    host.GetConsoleOutputCP = GetConsoleOutputCP;
    host.WriteFile = WriteFile;
    host.FormatMessageA = FormatMessageA;
    // kernel32 is in every process; its W entries are stubs on Windows 95/98/Me.
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    Resolve(kernel, "GetCommandLineW", host.GetCommandLineW);
    Resolve(kernel, "GetModuleFileNameW", host.GetModuleFileNameW);
    Resolve(kernel, "LoadLibraryW", host.LoadLibraryW);
    Resolve(kernel, "WriteConsoleW", host.WriteConsoleW);
    Resolve(kernel, "FormatMessageW", host.FormatMessageW);
    ExitProcess(static_cast<UINT>(RunQuell(host)));
}
