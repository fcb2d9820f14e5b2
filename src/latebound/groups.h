// The late-bound groups of the library, released at process detach.
#pragma once

#include "latebound/late_bound_group.h"

extern LateBoundGroup User32Group;
extern LateBoundGroup Advapi32Group;
extern LateBoundGroup Shell32Group;
extern LateBoundGroup PowrProfGroup;
extern LateBoundGroup VersionGroup;
