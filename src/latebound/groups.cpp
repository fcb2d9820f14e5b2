#include "latebound/groups.h"

// Process detach: each group once, in this order, whatever the one before
// answered.
void UnloadLateBoundGroups() {
    Unload(User32Group);
    Unload(Shell32Group);
    Unload(Advapi32Group);
    Unload(PowrProfGroup);
    Unload(VersionGroup);
}
