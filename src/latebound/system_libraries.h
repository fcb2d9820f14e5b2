// The system libraries that Quell.dll loads on first use, and the entries it
// looks up in each. The library's groups load these tables; quell status lists
// them as they are, so that the two never disagree.
#pragma once

#include <windef.h>

constexpr unsigned MaxLateBoundEntries = 5;

// The systems on which an entry is looked up, where its form differs by system.
enum class LateBoundForm : BYTE {
    Always,
    BeforeNtSix,  // not the NT family from 6.0 on
    NtSix,        // the NT family from 6.0 on
    Unicode,      // not Windows 95/98/Me, which implement the ANSI forms only
    Ansi,         // Windows 95/98/Me
};

// Whether an entry of this form is looked up on a system of this platform
// identifier and major version.
constexpr bool LateBoundFormApplies(LateBoundForm form, DWORD platformId, DWORD majorVersion) {
    bool ntSix = platformId == VER_PLATFORM_WIN32_NT && majorVersion >= 6;
    bool ansi = platformId == VER_PLATFORM_WIN32_WINDOWS;
    switch (form) {
    case LateBoundForm::BeforeNtSix: return !ntSix;
    case LateBoundForm::NtSix: return ntSix;
    case LateBoundForm::Unicode: return !ansi;
    case LateBoundForm::Ansi: return ansi;
    default: return true;
    }
}

// One entry of a group: looked up by name, or by ordinal when the name is null.
struct LateBoundEntry {
    const char *name;
    WORD ordinal;
    LateBoundForm form;
};

constexpr LateBoundEntry ByName(const char *name, LateBoundForm form = LateBoundForm::Always) {
    return {name, 0, form};
}
constexpr LateBoundEntry ByOrdinal(WORD ordinal, LateBoundForm form = LateBoundForm::Always) {
    return {nullptr, ordinal, form};
}

// Where a group's library is looked for. Libraries that are not KnownDLLs are
// loaded by their full path in the system directory: by bare name the search
// would try the host program's directory first, where anyone may plant a copy.
enum class LateBoundSearch : BYTE { KnownDll, SystemDirectory };

// The full path of a library in the system directory, as GetSystemDirectoryA
// answered (length, or 0 when it failed). False, with nothing formed, when
// there is no directory or no room for the name: never a bare name.
inline bool FormSystemLibraryPath(const char *directory, UINT length, const char *fileName,
                                  char (&path)[MAX_PATH + 16]) {
    if (length == 0 || length >= MAX_PATH) return false;
    char *end = path;
    for (UINT i = 0; i < length; ++i) *end++ = directory[i];
    if (end[-1] != '\\') *end++ = '\\';
    for (const char *c = fileName; (*end++ = *c) != '\0'; ++c) {
    }
    return true;
}

// What a group loads: the library, where it lives, and its entries. The slot
// of entries[i] is slots[i]; unused entries are left empty.
struct LateBoundLibrary {
    const char *fileName;
    LateBoundSearch search;
    LateBoundEntry entries[MaxLateBoundEntries];
};

// Each library's slots, in the order of its entries.

enum User32Slot : unsigned { LockWorkStationSlot, BlockReasonCreateSlot, BlockReasonDestroySlot, BlockReasonQuerySlot };
inline constexpr LateBoundLibrary User32Library = {
    "user32.dll",
    LateBoundSearch::KnownDll,
    {ByName("LockWorkStation"), ByName("ShutdownBlockReasonCreate"), ByName("ShutdownBlockReasonDestroy"),
     ByName("ShutdownBlockReasonQuery")},
};

enum Advapi32Slot : unsigned { ShutdownExASlot, ShutdownExWSlot, InitiateShutdownASlot, InitiateShutdownWSlot };
inline constexpr LateBoundLibrary Advapi32Library = {
    "advapi32.dll",
    LateBoundSearch::KnownDll,
    {ByName("InitiateSystemShutdownExA"), ByName("InitiateSystemShutdownExW"), ByName("InitiateShutdownA"),
     ByName("InitiateShutdownW")},
};

// The shell exports its dialogs under ordinals only. From NT 6.0 on the
// shut-down dialog takes a second argument: one ordinal, two slots, one of
// them filled.
constexpr WORD RestartDialogOrdinal = 59;
constexpr WORD ShutdownDialogOrdinal = 60;
enum Shell32Slot : unsigned { RestartDialogSlot, ShutdownDialogOneArgumentSlot, ShutdownDialogTwoArgumentSlot };
inline constexpr LateBoundLibrary Shell32Library = {
    "shell32.dll",
    LateBoundSearch::KnownDll,
    {ByOrdinal(RestartDialogOrdinal), ByOrdinal(ShutdownDialogOrdinal, LateBoundForm::BeforeNtSix),
     ByOrdinal(ShutdownDialogOrdinal, LateBoundForm::NtSix)},
};

enum PowrProfSlot : unsigned { IsPwrSuspendAllowedSlot, IsPwrHibernateAllowedSlot, SetSuspendStateSlot, GetPwrCapabilitiesSlot };
inline constexpr LateBoundLibrary PowrProfLibrary = {
    "powrprof.dll",
    LateBoundSearch::SystemDirectory,
    {ByName("IsPwrSuspendAllowed"), ByName("IsPwrHibernateAllowed"), ByName("SetSuspendState"),
     ByName("GetPwrCapabilities")},
};

enum VersionSlot : unsigned { InfoSizeWSlot, InfoWSlot, InfoSizeASlot, InfoASlot, QueryValueSlot };
inline constexpr LateBoundLibrary VersionLibrary = {
    "version.dll",
    LateBoundSearch::SystemDirectory,
    {ByName("GetFileVersionInfoSizeW", LateBoundForm::Unicode), ByName("GetFileVersionInfoW", LateBoundForm::Unicode),
     ByName("GetFileVersionInfoSizeA", LateBoundForm::Ansi), ByName("GetFileVersionInfoA", LateBoundForm::Ansi),
     ByName("VerQueryValueA")},
};

// The libraries above, in the order quell status lists them.
inline constexpr const LateBoundLibrary *SystemLibraries[] = {&User32Library, &Advapi32Library, &Shell32Library,
                                                              &PowrProfLibrary, &VersionLibrary};
