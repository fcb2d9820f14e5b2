// quell.exe: loads Quell.dll from its own directory and runs the front end on it.
#include "quell_cli.h"

namespace {

template <typename Entry> void Resolve(HMODULE module, const char *name, Entry &entry) {
    entry = reinterpret_cast<Entry>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

QuellEntries ResolveEntries(HMODULE module) {
    QuellEntries quell{};
#define QUELL_RESOLVE(name) Resolve(module, #name, quell.name);
    QUELL_CLI_ENTRIES(QUELL_RESOLVE)
#undef QUELL_RESOLVE
    return quell;
}

bool SystemOffers(const char *library, const char *name, WORD ordinal) {
    HMODULE module = LoadLibraryA(library);
    if (!module) return false;
    bool offered = GetProcAddress(module, name ? name : MAKEINTRESOURCEA(ordinal)) != nullptr;
    FreeLibrary(module);
    return offered;
}

// A console takes UTF-16 as it is; a pipe or a file gets UTF-8.
void Write(DWORD stream, const std::wstring &text) {
    HANDLE handle = GetStdHandle(stream);
    DWORD written = 0, mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                   nullptr);
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size, nullptr, nullptr);
    WriteFile(handle, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

void PrintOut(const std::wstring &text) { Write(STD_OUTPUT_HANDLE, text); }
void PrintErr(const std::wstring &text) { Write(STD_ERROR_HANDLE, text); }

// Quell.dll next to quell.exe, not whichever the search path finds first.
HMODULE LoadQuellBesideExe() {
    wchar_t path[MAX_PATH + 16];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return LoadLibraryW(L"Quell.dll");
    wchar_t *slash = wcsrchr(path, L'\\');
    wcscpy(slash ? slash + 1 : path, L"Quell.dll");
    return LoadLibraryW(path);
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
    CliHost host{};
    HMODULE quell = LoadQuellBesideExe();
    if (quell) {
        host.quell = ResolveEntries(quell);
    } else {
        host.loadError = GetLastError();
    }
    host.systemOffers = SystemOffers;
    host.print = PrintOut;
    host.printError = PrintErr;
    return RunCli(argc, argv, host);
}
