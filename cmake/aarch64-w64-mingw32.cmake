# ARM64 Windows: clang and lld for the MinGW target, with the MinGW-w64 headers
# and no C runtime (Debian has none for this target; the images need none).
# The system libraries' import libraries are made from tools/windows-imports.txt
# (QuellSystemLibraries.cmake), not taken from a MinGW sysroot.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ARM64)
set(QUELL_ARM64_TARGET aarch64-w64-mingw32)
set(CMAKE_C_COMPILER clang-14)
set(CMAKE_CXX_COMPILER clang++-14)
set(CMAKE_ASM_COMPILER clang-14)
set(CMAKE_C_COMPILER_TARGET ${QUELL_ARM64_TARGET})
set(CMAKE_CXX_COMPILER_TARGET ${QUELL_ARM64_TARGET})
set(CMAKE_ASM_COMPILER_TARGET ${QUELL_ARM64_TARGET})
# llvm-windres ignores #pragma code_page: the resource scripts are UTF-8.
set(CMAKE_RC_COMPILER llvm-windres-14)
set(CMAKE_RC_FLAGS_INIT "--target=${QUELL_ARM64_TARGET} --codepage=65001")
set(CMAKE_DLLTOOL llvm-dlltool-14)
set(CMAKE_OBJDUMP llvm-objdump-14)
set(QUELL_DLLTOOL_MACHINE arm64)
# No start-up files or C library exist to link a test program: the compiler
# checks build a static library instead.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(CMAKE_C_STANDARD_INCLUDE_DIRECTORIES /usr/share/mingw-w64/include)
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES /usr/share/mingw-w64/include)
set(CMAKE_RC_STANDARD_INCLUDE_DIRECTORIES /usr/share/mingw-w64/include)
set(CMAKE_EXE_LINKER_FLAGS_INIT -fuse-ld=lld)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -fuse-ld=lld)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -fuse-ld=lld)
# Each target names the system libraries it imports from; none by default.
set(CMAKE_C_STANDARD_LIBRARIES "" CACHE STRING "Libraries linked into every C program")
set(CMAKE_CXX_STANDARD_LIBRARIES "" CACHE STRING "Libraries linked into every C++ program")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
