// Fakes of the file system, the module's own file, its version data, the shell
// and the C runtime's heap.
#include "bench/fake_platform.h"

const std::vector<FakeFunction> FileFakes = {};

void ResetFileScenario() {}
