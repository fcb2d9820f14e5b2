# The architectures Quell is built for and every name each goes by, stated here
# and nowhere else. Read by CMake (QuellImageFlags.cmake, the test scripts), by
# the Python tools and tests (tools/architectures.py) and by Quell.Net's project,
# the last two from the text: keep each set() on one line, as it stands.
# - QUELL_ARCHITECTURES: the build's own names (QUELL_ARCH), which winget uses too;
# - TITLE: as messages name it (the CMake package's and quell.exe's);
# - BUNDLE: its release bundle, quell-<version>-<suffix>.zip;
# - RUNTIME: its runtime identifier (NuGet's runtimes/ folders, dotnet -r);
# - MACHINE: the machine type in its images' PE header;
# - SCOOP: its name in a Scoop manifest.
set(QUELL_ARCHITECTURES x86 x64 arm64)
set(QUELL_TITLE_x86 "x86 (32-bit)")
set(QUELL_TITLE_x64 "x64 (64-bit)")
set(QUELL_TITLE_arm64 "ARM64")
set(QUELL_BUNDLE_x86 quell-${PROJECT_VERSION}-win32)
set(QUELL_BUNDLE_x64 quell-${PROJECT_VERSION}-win64)
set(QUELL_BUNDLE_arm64 quell-${PROJECT_VERSION}-arm64)
set(QUELL_RUNTIME_x86 win-x86)
set(QUELL_RUNTIME_x64 win-x64)
set(QUELL_RUNTIME_arm64 win-arm64)
set(QUELL_MACHINE_x86 0x14c)
set(QUELL_MACHINE_x64 0x8664)
set(QUELL_MACHINE_arm64 0xaa64)
set(QUELL_SCOOP_x86 32bit)
set(QUELL_SCOOP_x64 64bit)
set(QUELL_SCOOP_arm64 arm64)
