#include "load_quell.h"

#include "latebound/system_libraries.h"
#include "messages.h"

// Quell.dll loads only into a process of its own architecture; each release
// bundle holds one architecture's quell.exe and Quell.dll. The build names both.
constexpr const wchar_t *OwnArchitecture = L"" QUELL_ARCH_TITLE;
constexpr const wchar_t *OwnBundle = L"" QUELL_BUNDLE ".zip";

namespace {

constexpr DWORD LongestPath = 32768;  // in characters, with the terminating null

bool StartsWith(const wchar_t *text, const wchar_t *prefix) {
    while (*prefix && *text == *prefix) ++text, ++prefix;
    return !*prefix;
}

// A drive's or a share's path, plain or in the \\?\ form: never one that the
// system would look for relative to the current directory.
bool IsFullPath(const wchar_t *path) {
    return StartsWith(path, L"\\\\") || (path[0] && path[1] == L':' && path[2] == L'\\');
}

// Gives a full path the form the system takes: the plain one where it fits
// MAX_PATH, else the \\?\ form (\\?\UNC\ for a share), which the loader
// wants beyond it. False when there was no room for it.
bool FitPath(Text &path) {
    const wchar_t *name = path.data;
    bool prefixed = StartsWith(name, L"\\\\?\\");
    bool share = prefixed ? StartsWith(name + 4, L"UNC\\") : StartsWith(name, L"\\\\");
    bool drive = prefixed && name[4] && name[5] == L':' && name[6] == L'\\';
    // The plain form drops "\\?\" ("?\UNC\" of a share); a volume's name has none.
    bool strip = (share || drive) && prefixed && path.length - (share ? 6 : 4) < MAX_PATH;
    bool prefix = !prefixed && path.length >= MAX_PATH;
    if (!strip && !prefix) return true;
    Text fitted{};
    if (strip) {
        if (share) Append(fitted, L"\\", 1);
        Append(fitted, name + (share ? 7 : 4));
    } else {
        Append(fitted, share ? L"\\\\?\\UNC" : L"\\\\?\\");
        Append(fitted, name + (share ? 1 : 0));
    }
    if (!fitted.data) return false;
    Release(path.data);
    path = fitted;
    return true;
}

// Started through a symbolic link (winget starts the programs it installs so),
// the module's name is the link's: the file it leads to is the one Quell.dll
// lies beside. Where that file cannot be named (before Vista, which brought
// links to files), the module's name stands.
void FollowLink(const Cli &cli, Text &path) {
    const CliHost &host = cli.host;
    if (!host.GetFinalPathNameByHandleW) return;
    // No access: the handle only names the file.
    HANDLE file = host.CreateFileW(path.data, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    auto name = static_cast<wchar_t *>(Grow(nullptr, LongestPath * sizeof(wchar_t)));
    DWORD length =
        name ? host.GetFinalPathNameByHandleW(file, name, LongestPath, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS) : 0;
    host.CloseHandle(file);
    Text target{};
    if (length && length < LongestPath) Append(target, name, length);
    Release(name);
    if (target.length && IsFullPath(target.data)) {
        Release(path.data);
        path = target;
    } else {
        Release(target.data);
    }
}

// The architectures by their machine type in a PE file's header, named as the build names them.
struct Architecture {
    WORD machine;
    const char *title;
};
const Architecture Architectures[] = {
    {IMAGE_FILE_MACHINE_I386, QUELL_TITLE_X86},
    {IMAGE_FILE_MACHINE_AMD64, QUELL_TITLE_X64},
    {0xAA64, QUELL_TITLE_ARM64},  // IMAGE_FILE_MACHINE_ARM64
};

#define QUELL_READ_KERNEL32(X)                                                                                         \
  X(BOOL, ReadFile, (HANDLE file, LPVOID bytes, DWORD size, LPDWORD read, LPOVERLAPPED overlapped))
QUELL_SYSTEM_FUNCTIONS(ReadFunctions, QUELL_READ_KERNEL32);

// The architecture a DLL is built for, read from its header; null where it
// cannot be read (Windows 95/98/Me: no Unicode file names) or is none of these.
const char *ArchitectureOf(const Cli &cli, const wchar_t *path) {
    if (cli.ansi) return nullptr;
    ReadFunctions read;
    HMODULE kernel32 = LoadSystem(cli, "kernel32.dll", read);
    HANDLE file = read.ReadFile
                      ? cli.host.CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr)
                      : INVALID_HANDLE_VALUE;
    BYTE header[512];
    DWORD got = 0, at;
    WORD machine = 0;
    if (file != INVALID_HANDLE_VALUE) {
        // "MZ", at 0x3C where "PE\0\0" is, and the machine type after it.
        if (read.ReadFile(file, header, sizeof header, &got, nullptr) && got >= 0x40 && header[0] == 'M' &&
            header[1] == 'Z' && (at = header[0x3C] | header[0x3D] << 8) + 6 <= got && header[at] == 'P' &&
            header[at + 1] == 'E' && !header[at + 2] && !header[at + 3]) {
            machine = static_cast<WORD>(header[at + 4] | header[at + 5] << 8);
        }
        cli.host.CloseHandle(file);
    }
    if (kernel32) cli.host.FreeLibrary(kernel32);
    // This quell.exe's own: the file is damaged instead.
    constexpr WORD Own = sizeof(void *) == 4 ? IMAGE_FILE_MACHINE_I386
#if defined(__aarch64__)
                                             : 0xAA64;
#else
                                             : IMAGE_FILE_MACHINE_AMD64;
#endif
    for (const Architecture &architecture : Architectures) {
        if (architecture.machine == machine && machine != Own) return architecture.title;
    }
    return nullptr;
}

}  // namespace

// The full path of Quell.dll beside quell.exe, or beside the file that
// quell.exe's link leads to. Never a bare name: that would let the search
// path pick another file.
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
    if (!path.data || !IsFullPath(path.data)) return false;
    if (!cli.ansi) {
        if (!FitPath(path)) return false;
        FollowLink(cli, path);
    }

    DWORD directory = path.length;
    while (path.data[directory - 1] != L'\\') --directory;
    Cut(path, directory);
    AppendAscii(path, "Quell.dll");
    // Windows 95/98/Me have no longer paths.
    return cli.ansi ? path.length < MAX_PATH : FitPath(path);
}

// Loads Quell.dll on first need and resolves its entries; says why when it cannot.
bool LibraryReady(Cli &cli) {
    if (cli.loaded) return true;
    // Until it is loaded Quell.dll offers nothing (status --json reports so).
    for (unsigned i = 0; i < QuellEntryCount; ++i) EntrySlots(cli.quell)[i] = nullptr;
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
        const char *built = error == ERROR_BAD_EXE_FORMAT ? ArchitectureOf(cli, path.data) : nullptr;
        if (built) {
            Say(cli, STD_ERROR_HANDLE,
                "quell: this Quell.dll is built for %S, this quell.exe for %s. Use the Quell.dll of %s, the bundle "
                "this quell.exe belongs to.\n",
                built, OwnArchitecture, OwnBundle);
        } else if (error == ERROR_BAD_EXE_FORMAT) {
            Say(cli, STD_ERROR_HANDLE,
                "quell: this Quell.dll is not built for %s, the architecture of this quell.exe, or the file is "
                "damaged. Use the Quell.dll of %s, the bundle this quell.exe belongs to.\n",
                OwnArchitecture, OwnBundle);
        }
    }
    Release(path.data);
    if (!module) return false;
    LookUp(cli, module, QuellEntryNames, EntrySlots(cli.quell));
    cli.loaded = true;
    return true;
}

int SayMissing(const Cli &cli, const char *exportName) {
    Say(cli, STD_ERROR_HANDLE, "quell: %S missing from Quell.dll\n", exportName);
    return ExitNoLibrary;
}

HMODULE LoadSystemLibrary(const Cli &cli, const char *fileName, bool *formed) {
    char directory[MAX_PATH], path[MAX_PATH + 16];
    UINT length = cli.host.GetSystemDirectoryA(directory, MAX_PATH);
    bool made = FormSystemLibraryPath(directory, length, fileName, path);
    if (formed) *formed = made;
    return made ? cli.host.LoadLibraryA(path) : nullptr;
}

void LookUp(const Cli &cli, HMODULE module, const char *names, FARPROC *slots) {
    for (; *names; names = NextName(names)) *slots++ = cli.host.GetProcAddress(module, names);
}

void AppendMissing(Text &text, const char *names, const FARPROC *slots, unsigned count) {
    for (unsigned i = 0; i < count; ++i, names = NextName(names)) {
        if (!slots[i]) Format(text, " %S", names);
    }
}

HMODULE LoadSystemFunctions(const Cli &cli, const char *fileName, const char *names, FARPROC *slots) {
    for (const char *name = names; *name; name = NextName(name)) *slots++ = nullptr;
    slots -= CountNames(names);
    HMODULE module = LoadSystemLibrary(cli, fileName);
    if (module) LookUp(cli, module, names, slots);
    return module;
}

Offer SystemOffers(const Cli &cli, const char *fileName, const char *entry) {
    bool formed;
    HMODULE module = LoadSystemLibrary(cli, fileName, &formed);
    if (!module) return formed ? Offer::Missing : Offer::Unknown;
    bool offered = cli.host.GetProcAddress(module, entry) != nullptr;
    cli.host.FreeLibrary(module);
    return offered ? Offer::Offered : Offer::Missing;
}
