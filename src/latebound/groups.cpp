#include "latebound/groups.h"

constinit LateBoundGroup LateBoundGroups[SystemLibraryCount] = {};

// Process detach: each group once, in order, whatever the one before answered.
void UnloadLateBoundGroups() {
    for (LateBoundGroup &group : LateBoundGroups) Unload(group);
}
