// A system library that only some Windows versions offer, loaded on first use
// with a fixed row of entry points, kept until process detach.
#pragma once

#include "frame/library.h"

// The generic type of a slot; each user casts it to its entry's own type.
using LateBoundEntryPoint = void (*)();

constexpr unsigned MaxLateBoundEntries = 5;

// The systems on which an entry is looked up, where its form differs by system.
enum class LateBoundForm : BYTE {
    Always,
    BeforeNtSix,  // not the NT family from 6.0 on
    NtSix,        // the NT family from 6.0 on
    Unicode,      // not Windows 95/98/Me, which implement the ANSI forms only
    Ansi,         // Windows 95/98/Me
};

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

// What a group loads: the library, where it lives, and its entries. The slot
// of entries[i] is slots[i]; unused entries are left empty.
struct LateBoundLibrary {
    const char *fileName;
    LateBoundSearch search;
    LateBoundEntry entries[MaxLateBoundEntries];
};

// A group's state, all null until its library is loaded.
struct LateBoundGroup {
    const LateBoundLibrary *library;
    // Non-null: published, the slots are filled (see LoadFirst).
    HMODULE module = nullptr;
    LateBoundEntryPoint slots[MaxLateBoundEntries] = {};
};

// The first load of a group; Load's slow path.
bool LoadFirst(LateBoundGroup &group);

// True when the group's library is loaded (its slots then hold what the
// library gave, null where it lacks an entry). Any thread, any time. Inline,
// so that a forwarder of a loaded group costs one read before its jump.
__attribute__((always_inline)) inline bool Load(LateBoundGroup &group) {
    return __atomic_load_n(&group.module, __ATOMIC_ACQUIRE) != nullptr || LoadFirst(group);
}

// Clears the slots and releases the library; true when it is released (or was
// never loaded). Process detach only.
bool Unload(LateBoundGroup &group);

// A slot as its entry's own function type; read it only after Load returned true.
template <typename Function> Function EntryPoint(const LateBoundGroup &group, unsigned slot) {
    return reinterpret_cast<Function>(__atomic_load_n(&group.slots[slot], __ATOMIC_RELAXED));
}

// The entry of a slot after loading the group; null when it is not available.
template <typename Function> Function LoadedEntryPoint(LateBoundGroup &group, unsigned slot) {
    return Load(group) ? EntryPoint<Function>(group, slot) : nullptr;
}
