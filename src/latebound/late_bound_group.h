// A system library that only some Windows versions offer, loaded on first use
// with a fixed row of entry points, kept until process detach.
#pragma once

#include "frame/library.h"
#include "latebound/system_libraries.h"

// The generic type of a slot; each user casts it to its entry's own type.
using LateBoundEntryPoint = void (*)();

// A group's state, all null until its library is loaded. Which library it
// loads is its place among LateBoundGroups (groups.h).
struct LateBoundGroup {
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

// Clears the slots and releases the library. Process detach only.
void Unload(LateBoundGroup &group);

// A slot as its entry's own function type; read it only after Load returned true.
template <typename Function> Function EntryPoint(const LateBoundGroup &group, unsigned slot) {
    return reinterpret_cast<Function>(__atomic_load_n(&group.slots[slot], __ATOMIC_RELAXED));
}

// The entry of a slot after loading the group; null when it is not available.
template <typename Function> Function LoadedEntryPoint(LateBoundGroup &group, unsigned slot) {
    return Load(group) ? EntryPoint<Function>(group, slot) : nullptr;
}
