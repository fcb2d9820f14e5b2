#include "latebound/groups.h"

// The first Load of a group may run on several threads at once, one of them
// perhaps inside another library's entry routine, holding the loader lock that
// a LoadLibraryA on any other thread waits for. So nobody waits for anybody:
// every thread that finds the group unpublished loads the library and looks
// the entries up itself. They all get the same module, hence the same
// addresses, so their slot writes agree. The handle is then published with one
// exchange (the 386 has no compare-exchange, and none is needed): the thread
// that swaps out null keeps its reference, every later one releases its own.
// A failed load publishes nothing, so the next call tries again.

static HMODULE LoadGroupLibrary(const LateBoundLibrary &library) {
    if (library.search == LateBoundSearch::KnownDll) return LoadLibraryA(library.fileName);
    char directory[MAX_PATH], path[MAX_PATH + 16];
    UINT length = GetSystemDirectoryA(directory, MAX_PATH);
    return FormSystemLibraryPath(directory, length, library.fileName, path) ? LoadLibraryA(path) : nullptr;
}

bool LoadFirst(LateBoundGroup &group) {
    const LateBoundLibrary &library = *SystemLibraries[&group - LateBoundGroups];
    HMODULE module = LoadGroupLibrary(library);
    // LoadLibraryA's last-error value stays for the caller.
    if (!module) return false;
    for (unsigned i = 0; i < MaxLateBoundEntries; ++i) {
        const LateBoundEntry &entry = library.entries[i];
        if (!entry.name && !entry.ordinal) continue;
        if (!LateBoundFormApplies(entry.form, OsVersion.dwPlatformId, OsVersion.dwMajorVersion)) continue;
        LPCSTR key = entry.name ? entry.name : reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(entry.ordinal));
        auto address = reinterpret_cast<LateBoundEntryPoint>(GetProcAddress(module, key));
        __atomic_store_n(&group.slots[i], address, __ATOMIC_RELAXED);
    }
    if (__atomic_exchange_n(&group.module, module, __ATOMIC_ACQ_REL)) FreeLibrary(module);
    return true;
}

// A failed FreeLibrary leaves the handle with null slots: the group's exports
// then answer "not available" without loading again.
void Unload(LateBoundGroup &group) {
    if (!group.module) return;
    for (LateBoundEntryPoint &slot : group.slots) slot = nullptr;
    if (FreeLibrary(group.module)) group.module = nullptr;
}
