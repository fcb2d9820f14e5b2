// Fakes of the late-bound world: LoadLibraryA, GetProcAddress, FreeLibrary and
// the system libraries and entries they hand out.
#include "bench/fake_platform.h"

const std::vector<FakeFunction> LateBoundFakes = {};

void ResetLateBoundScenario() {}
