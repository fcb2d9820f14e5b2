// A system library that only some Windows versions offer, loaded on first use
// with a fixed row of entry points, kept until process detach.
#pragma once

#include "frame/library.h"

// The generic type of a slot; each user casts it to its entry's own type.
using LateBoundEntryPoint = void (*)();

constexpr unsigned MaxLateBoundEntries = 4;

// One entry of a group: looked up by name, or by ordinal when the name is null.
struct LateBoundEntry {
    const char *name = nullptr;
    WORD ordinal = 0;
    // Looked up only when this answers true at load; null: always.
    bool (*wanted)() = nullptr;
};

constexpr LateBoundEntry ByName(const char *name) { return {name, 0, nullptr}; }
constexpr LateBoundEntry ByOrdinal(WORD ordinal, bool (*wanted)() = nullptr) { return {nullptr, ordinal, wanted}; }

// A group: its description (library file name, entries) and its state. The
// slot of entries[i] is slots[i]; unused entries stay null.
struct LateBoundGroup {
    const char *fileName;
    LateBoundEntry entries[MaxLateBoundEntries];
    HMODULE module = nullptr;
    LateBoundEntryPoint slots[MaxLateBoundEntries] = {};
    // Publishes the slots to other threads; see Load.
    LONG fill = 0;
};

// The states of LateBoundGroup::fill.
enum : LONG { LateBoundEmpty, LateBoundFilling, LateBoundReady };

// The first load of a group; Load's slow path.
bool LoadFirst(LateBoundGroup &group);

// True when the group's library is loaded (its slots then hold what the
// library gave, null where it lacks an entry). Any thread, any time. Inline,
// so that a forwarder of a loaded group costs one read before its jump.
__attribute__((always_inline)) inline bool Load(LateBoundGroup &group) {
    return __atomic_load_n(&group.fill, __ATOMIC_ACQUIRE) == LateBoundReady || LoadFirst(group);
}

// Clears the slots and releases the library; true when it is released (or was
// never loaded). Process detach only.
bool Unload(LateBoundGroup &group);

// A slot as its entry's own function type; read it only after Load returned true.
template <typename Function> Function EntryPoint(const LateBoundGroup &group, unsigned slot) {
    return reinterpret_cast<Function>(group.slots[slot]);
}

// The entry of a slot after loading the group; null when it is not available.
template <typename Function> Function LoadedEntryPoint(LateBoundGroup &group, unsigned slot) {
    return Load(group) ? EntryPoint<Function>(group, slot) : nullptr;
}
