// The late-bound groups of the library: one for each of SystemLibraries, in
// its order, released at process detach in that order.
#pragma once

#include "latebound/late_bound_group.h"

extern LateBoundGroup LateBoundGroups[SystemLibraryCount];

inline LateBoundGroup &User32Group = LateBoundGroups[LibraryIndex(User32Library)];
inline LateBoundGroup &Advapi32Group = LateBoundGroups[LibraryIndex(Advapi32Library)];
inline LateBoundGroup &Shell32Group = LateBoundGroups[LibraryIndex(Shell32Library)];
inline LateBoundGroup &PowrProfGroup = LateBoundGroups[LibraryIndex(PowrProfLibrary)];
inline LateBoundGroup &VersionGroup = LateBoundGroups[LibraryIndex(VersionLibrary)];
