#include "latebound/groups.h"

// Process detach: each group once, in this order, whatever the one before
// answered. A group added later is released after these.
void UnloadLateBoundGroups() {
    Unload(User32Group);
    Unload(Shell32Group);
    Unload(Advapi32Group);
}
