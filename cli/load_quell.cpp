#include "load_quell.h"

#include "latebound/system_libraries.h"
#include "text.h"

// Quell.dll loads only into a process of its own architecture; each release
// bundle holds one architecture's quell.exe and Quell.dll. The build names both.
constexpr const wchar_t *OwnArchitecture = L"" QUELL_ARCH_TITLE;
constexpr const wchar_t *OwnBundle = L"" QUELL_BUNDLE ".zip";

// The full path of Quell.dll beside quell.exe. Never a bare name: that would
// let the search path pick another file.
bool FormQuellPath(const Cli &cli, Text &path) {
    const CliHost &host = cli.host;
    void *buffer = nullptr;
    DWORD length = 0;
    // The buffer grows until the name fits; NT paths reach 32,767 characters.
    for (DWORD size = MAX_PATH; !length && size <= 0x10000; size *= 2) {
        void *grown = Grow(buffer, size * sizeof(wchar_t));
        if (!grown) break;
        buffer = grown;
        DWORD got = cli.ansi ? host.GetModuleFileNameA(nullptr, static_cast<char *>(buffer), size)
                             : host.GetModuleFileNameW(nullptr, static_cast<wchar_t *>(buffer), size);
        if (got == 0) break;
        if (got < size) length = got;
    }
    // Wide first even on Windows 95/98/Me: a DBCS trail byte may equal '\'.
    if (length && cli.ansi) AppendAnsi(path, static_cast<char *>(buffer), static_cast<int>(length));
    if (length && !cli.ansi) Append(path, static_cast<wchar_t *>(buffer), length);
    Release(buffer);

    DWORD directory = path.length;
    while (directory && path.data[directory - 1] != L'\\') --directory;
    if (!directory) return false;
    Cut(path, directory);
    AppendAscii(path, "Quell.dll");
    if (path.length < MAX_PATH) return true;
    if (cli.ansi) return false;  // Windows 95/98/Me have no longer paths
    const wchar_t *name = path.data;
    if (name[0] == L'\\' && name[1] == L'\\' && name[2] == L'?' && name[3] == L'\\') return true;
    // Beyond MAX_PATH the loader wants the \\?\ form (\\?\UNC\ for a share).
    bool share = name[0] == L'\\' && name[1] == L'\\';
    Text prefixed{};
    Append(prefixed, share ? L"\\\\?\\UNC" : L"\\\\?\\");
    Append(prefixed, name + (share ? 1 : 0));
    Release(path.data);
    path = prefixed;
    return true;
}

// Loads Quell.dll on first need and resolves its entries; says why when it cannot.
bool LibraryReady(Cli &cli) {
    if (cli.loaded) return true;
    Text path{};
    HMODULE module = nullptr;
    if (!FormQuellPath(cli, path)) {
        Say(cli, STD_ERROR_HANDLE,
            "quell: Quell.dll is loaded only from the directory of quell.exe, and its full path there could not "
            "be formed\n");
        Release(path.data);
        return false;
    }
    if (cli.ansi) {
        char *ansi = ToAnsi(path.data);
        if (ansi) module = cli.host.LoadLibraryA(ansi);
        Release(ansi);
    } else {
        module = cli.host.LoadLibraryW(path.data);
    }
    if (!module) {
        DWORD error = GetLastError();
        Say(cli, STD_ERROR_HANDLE, "quell: %s could not be loaded: %L\n", path.data, error, L"Quell.dll");
        if (error == ERROR_BAD_EXE_FORMAT) {
            Say(cli, STD_ERROR_HANDLE,
                "quell: this Quell.dll is not built for %s, the architecture of this quell.exe, or the file is "
                "damaged. Use the Quell.dll of %s, the bundle this quell.exe belongs to.\n",
                OwnArchitecture, OwnBundle);
        }
    }
    Release(path.data);
    if (!module) return false;
    const char *name = QuellEntryNames;
    for (unsigned i = 0; i < QuellEntryCount; ++i) {
        EntrySlots(cli.quell)[i] = cli.host.GetProcAddress(module, name);
        while (*name++) {
        }
    }
    cli.loaded = true;
    return true;
}

int SayMissing(const Cli &cli, const char *exportName) {
    Say(cli, STD_ERROR_HANDLE, "quell: %S missing from Quell.dll\n", exportName);
    return ExitNoLibrary;
}

HMODULE LoadSystemLibrary(const Cli &cli, const char *fileName) {
    char directory[MAX_PATH], path[MAX_PATH + 16];
    UINT length = cli.host.GetSystemDirectoryA(directory, MAX_PATH);
    return FormSystemLibraryPath(directory, length, fileName, path) ? cli.host.LoadLibraryA(path) : nullptr;
}
