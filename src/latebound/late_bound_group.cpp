#include "latebound/late_bound_group.h"

// The first Load of a group may run on several threads at once. The library
// must also load on systems older than every lock and one-time-initialisation
// function, so the guard is an interlocked state word of its own:
//   Empty:   nothing loaded; the thread that moves it to Filling loads.
//   Filling: one thread loads the library and fills the slots; the others
//            wait, and never read a slot meanwhile.
//   Ready:   handle and slots written; published with release ordering, read
//            with acquire ordering, so a thread that sees Ready sees the slots.
// A failed load returns to Empty, so the next caller (a waiter included) tries
// again, as a call on an Empty group always does.
namespace {
constexpr LONG Empty = LateBoundEmpty, Filling = LateBoundFilling, Ready = LateBoundReady;
}

static void FillSlots(LateBoundGroup &group, HMODULE module) {
    for (unsigned i = 0; i < MaxLateBoundEntries; ++i) {
        const LateBoundEntry &entry = group.entries[i];
        if (!entry.name && !entry.ordinal) continue;
        if (entry.wanted && !entry.wanted()) continue;
        LPCSTR key = entry.name ? entry.name : reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(entry.ordinal));
        group.slots[i] = reinterpret_cast<LateBoundEntryPoint>(GetProcAddress(module, key));
    }
}

// The claim is an exchange, not a compare-exchange, which the 386 lacks: the
// thread that swaps Empty out loads. Swapping Filling over Filling changes
// nothing; swapping it over Ready is put right at once, and a thread that sees
// that Filling meanwhile only waits for it.
bool LoadFirst(LateBoundGroup &group) {
    for (;;) {
        LONG state = __atomic_load_n(&group.fill, __ATOMIC_ACQUIRE);
        if (state == Ready) return true;
        if (state == Empty) {
            LONG previous = __atomic_exchange_n(&group.fill, Filling, __ATOMIC_ACQ_REL);
            if (previous == Ready) {
                __atomic_store_n(&group.fill, Ready, __ATOMIC_RELEASE);
                return true;
            }
            if (previous == Empty) {
                HMODULE module = LoadLibraryA(group.fileName);
                if (!module) {
                    // LoadLibraryA's last-error value stays for the caller.
                    __atomic_store_n(&group.fill, Empty, __ATOMIC_RELEASE);
                    return false;
                }
                FillSlots(group, module);
                group.module = module;
                __atomic_store_n(&group.fill, Ready, __ATOMIC_RELEASE);
                return true;
            }
        }
        // Another thread is filling: the wait lasts one LoadLibraryA and a few
        // look-ups. No yield: that would need an import older systems lack.
        __builtin_ia32_pause();
    }
}

// A failed FreeLibrary leaves the group Ready with null slots: the handle
// stays, and the group's exports answer "not available" without loading again.
bool Unload(LateBoundGroup &group) {
    if (!group.module) return true;
    for (LateBoundEntryPoint &slot : group.slots) slot = nullptr;
    if (FreeLibrary(group.module)) {
        group.module = nullptr;
        group.fill = Empty;
    }
    return group.module == nullptr;
}
