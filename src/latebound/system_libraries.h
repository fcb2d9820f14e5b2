// The system libraries that Quell.dll loads on first use, and the entries it
// looks up in each: shared by design between the library, whose groups load
// these rows, and quell status, which lists them as they are, so that the two
// never disagree (both build against the quell_system_libraries target).
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

// Reached only when a slot names no entry of its library, which stops the
// compilation of that SlotOf.
void NoSuchLateBoundEntry();

constexpr bool SameName(const char *a, const char *b) {
    while (*a && *a == *b) ++a, ++b;
    return *a == *b;
}

// The slot of an entry is its place in its library's row, found by the
// compiler: reordering a row cannot misnumber a slot.
consteval unsigned SlotOf(const LateBoundLibrary &library, const char *name) {
    for (unsigned i = 0; i < MaxLateBoundEntries; ++i)
        if (library.entries[i].name && SameName(library.entries[i].name, name)) return i;
    NoSuchLateBoundEntry();
    return 0;
}
consteval unsigned SlotOf(const LateBoundLibrary &library, WORD ordinal, LateBoundForm form) {
    for (unsigned i = 0; i < MaxLateBoundEntries; ++i)
        if (!library.entries[i].name && library.entries[i].ordinal == ordinal && library.entries[i].form == form)
            return i;
    NoSuchLateBoundEntry();
    return 0;
}

inline constexpr LateBoundLibrary User32Library = {
    "user32.dll",
    LateBoundSearch::KnownDll,
    {ByName("LockWorkStation"), ByName("ShutdownBlockReasonCreate"), ByName("ShutdownBlockReasonDestroy"),
     ByName("ShutdownBlockReasonQuery")},
};
inline constexpr unsigned LockWorkStationSlot = SlotOf(User32Library, "LockWorkStation");
inline constexpr unsigned BlockReasonCreateSlot = SlotOf(User32Library, "ShutdownBlockReasonCreate");
inline constexpr unsigned BlockReasonDestroySlot = SlotOf(User32Library, "ShutdownBlockReasonDestroy");
inline constexpr unsigned BlockReasonQuerySlot = SlotOf(User32Library, "ShutdownBlockReasonQuery");

inline constexpr LateBoundLibrary Advapi32Library = {
    "advapi32.dll",
    LateBoundSearch::KnownDll,
    {ByName("InitiateSystemShutdownExA"), ByName("InitiateSystemShutdownExW"), ByName("InitiateShutdownA"),
     ByName("InitiateShutdownW")},
};
inline constexpr unsigned ShutdownExASlot = SlotOf(Advapi32Library, "InitiateSystemShutdownExA");
inline constexpr unsigned ShutdownExWSlot = SlotOf(Advapi32Library, "InitiateSystemShutdownExW");
inline constexpr unsigned InitiateShutdownASlot = SlotOf(Advapi32Library, "InitiateShutdownA");
inline constexpr unsigned InitiateShutdownWSlot = SlotOf(Advapi32Library, "InitiateShutdownW");

// The shell exports its dialogs under ordinals only. From NT 6.0 on the
// shut-down dialog takes a second argument: one ordinal, two slots, one of
// them filled.
constexpr WORD RestartDialogOrdinal = 59;
constexpr WORD ShutdownDialogOrdinal = 60;
inline constexpr LateBoundLibrary Shell32Library = {
    "shell32.dll",
    LateBoundSearch::KnownDll,
    {ByOrdinal(RestartDialogOrdinal), ByOrdinal(ShutdownDialogOrdinal, LateBoundForm::BeforeNtSix),
     ByOrdinal(ShutdownDialogOrdinal, LateBoundForm::NtSix)},
};
inline constexpr unsigned RestartDialogSlot = SlotOf(Shell32Library, RestartDialogOrdinal, LateBoundForm::Always);
inline constexpr unsigned ShutdownDialogOneArgumentSlot =
    SlotOf(Shell32Library, ShutdownDialogOrdinal, LateBoundForm::BeforeNtSix);
inline constexpr unsigned ShutdownDialogTwoArgumentSlot =
    SlotOf(Shell32Library, ShutdownDialogOrdinal, LateBoundForm::NtSix);

inline constexpr LateBoundLibrary PowrProfLibrary = {
    "powrprof.dll",
    LateBoundSearch::SystemDirectory,
    {ByName("IsPwrSuspendAllowed"), ByName("IsPwrHibernateAllowed"), ByName("SetSuspendState"),
     ByName("GetPwrCapabilities")},
};
inline constexpr unsigned IsPwrSuspendAllowedSlot = SlotOf(PowrProfLibrary, "IsPwrSuspendAllowed");
inline constexpr unsigned IsPwrHibernateAllowedSlot = SlotOf(PowrProfLibrary, "IsPwrHibernateAllowed");
inline constexpr unsigned SetSuspendStateSlot = SlotOf(PowrProfLibrary, "SetSuspendState");
inline constexpr unsigned GetPwrCapabilitiesSlot = SlotOf(PowrProfLibrary, "GetPwrCapabilities");

inline constexpr LateBoundLibrary VersionLibrary = {
    "version.dll",
    LateBoundSearch::SystemDirectory,
    {ByName("GetFileVersionInfoSizeW", LateBoundForm::Unicode), ByName("GetFileVersionInfoW", LateBoundForm::Unicode),
     ByName("GetFileVersionInfoSizeA", LateBoundForm::Ansi), ByName("GetFileVersionInfoA", LateBoundForm::Ansi),
     ByName("VerQueryValueA")},
};
inline constexpr unsigned InfoSizeWSlot = SlotOf(VersionLibrary, "GetFileVersionInfoSizeW");
inline constexpr unsigned InfoWSlot = SlotOf(VersionLibrary, "GetFileVersionInfoW");
inline constexpr unsigned InfoSizeASlot = SlotOf(VersionLibrary, "GetFileVersionInfoSizeA");
inline constexpr unsigned InfoASlot = SlotOf(VersionLibrary, "GetFileVersionInfoA");
inline constexpr unsigned QueryValueSlot = SlotOf(VersionLibrary, "VerQueryValueA");

// The one list of the libraries: the library has a group for each, released
// at process detach in this order, and quell status lists them so.
inline constexpr const LateBoundLibrary *SystemLibraries[] = {&User32Library, &Shell32Library, &Advapi32Library,
                                                              &PowrProfLibrary, &VersionLibrary};
constexpr unsigned SystemLibraryCount = sizeof SystemLibraries / sizeof SystemLibraries[0];

consteval unsigned LibraryIndex(const LateBoundLibrary &library) {
    for (unsigned i = 0; i < SystemLibraryCount; ++i)
        if (SystemLibraries[i] == &library) return i;
    NoSuchLateBoundEntry();
    return 0;
}
