# How a Quell image is compiled and linked: no C runtime start-up files, its own
# entry point, no exceptions or RTTI, stripped, relocatable, ASLR and DEP, time
# stamped from the sources (QuellReproducible.cmake).
# What differs by architecture is settled here and nowhere else:
# - x86: code for the 386, the least processor that Windows 95 runs on (the
#   compiler's default, the Pentium Pro, may use instructions that earlier
#   processors lack); stdcall names carry an @N suffix that --kill-at drops.
# - x64: no decoration; ASLR may use the whole 64-bit address space. Unwind
#   tables stay: Windows x64 unwinds through every frame by its table (an
#   exception that a caller catches across one of our calls, a debugger, a
#   crash report), and takes a frame without one for a leaf. On x86 the tables
#   are only for C++ exceptions, which the images do not use.
# - arm64: unwinds by its tables as x64 does (no -ffreestanding: clang then
#   drops them); no C runtime, so clang may not call memset or memcpy where the
#   code has a loop (-fno-builtin); lld links, and stamps the image with the
#   time it is given rather than reading SOURCE_DATE_EPOCH.
# quell.exe (QUELL_ARCH_PROGRAM_OPTIONS), a program rather than a library whose
# frames sit in a caller's stack, is built for size a step further:
# - x86: EBP is one more register (GCC keeps the frame pointer by default on
#   this target; Quell.dll keeps it), and a function called once stays a
#   function of its own: with all of them inlined, the few registers spill and
#   the frames outgrow what an 8-bit displacement reaches.
# - x86 and x64: tables and texts take the alignment the ABI asks for, not the
#   larger one GCC gives big arrays by default for vector loads
#   (-malign-data=compat).
# - arm64: clang's -Oz, its smallest, which would make Quell.dll larger.
# Quell.dll's preferred base is fixed: ld would derive one from the output
# path, so another build directory would give other bytes. These are the bases
# it derived for bin/Quell.dll, clear of the system's own DLLs.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(QUELL_ARCH x86)
    set(QUELL_ARCH_COMPILE_OPTIONS -march=i386 -fno-asynchronous-unwind-tables -fno-unwind-tables)
    set(QUELL_ARCH_LINK_OPTIONS -Wl,--kill-at -Wl,--enable-stdcall-fixup)
    set(QUELL_ARCH_PROGRAM_OPTIONS -fomit-frame-pointer -fno-inline-functions-called-once -malign-data=abi)
    set(QUELL_DLL_IMAGE_BASE 0x6d380000)
elseif(CMAKE_SYSTEM_PROCESSOR STREQUAL "ARM64")
    set(QUELL_ARCH arm64)
    set(QUELL_ARCH_COMPILE_OPTIONS -fno-builtin)
    set(QUELL_ARCH_PROGRAM_OPTIONS -Oz)
    set(QUELL_ARCH_LINK_OPTIONS -Wl,--high-entropy-va)
    if(QUELL_REPRODUCIBLE)
        list(APPEND QUELL_ARCH_LINK_OPTIONS -Wl,--Xlink=/timestamp:${QUELL_SOURCE_DATE_EPOCH})
    endif()
    set(QUELL_DLL_IMAGE_BASE 0x25bea0000)
else()
    set(QUELL_ARCH x64)
    # MinGW's default medium model reaches every global of another source file
    # through a pointer of its own (.refptr); an image is far below 2 GiB, so
    # the small model reaches them directly, as the forwarders' groups want.
    set(QUELL_ARCH_COMPILE_OPTIONS -mcmodel=small)
    set(QUELL_ARCH_PROGRAM_OPTIONS -malign-data=abi)
    set(QUELL_ARCH_LINK_OPTIONS -Wl,--high-entropy-va)
    set(QUELL_DLL_IMAGE_BASE 0x25bea0000)
endif()

# The architectures' names (QuellArchitectures.cmake); QUELL_ARCH_TITLE and
# QUELL_BUNDLE_NAME are this build's.
include(${CMAKE_CURRENT_LIST_DIR}/QuellArchitectures.cmake)
set(QUELL_ARCH_TITLE "${QUELL_TITLE_${QUELL_ARCH}}")
set(QUELL_BUNDLE_NAME ${QUELL_BUNDLE_${QUELL_ARCH}})

# quell_write_def(path text): a module-definition file from text that names
# stdcall functions as x86 does (NAME@N); x64 and arm64 take the names without the suffix.
# Written only when it changes, so that nothing is rebuilt for nothing.
function(quell_write_def path text)
    if(NOT QUELL_ARCH STREQUAL "x86")
        string(REGEX REPLACE "([A-Za-z_][A-Za-z0-9_]*)@[0-9]+" "\\1" text "${text}")
    endif()
    file(CONFIGURE OUTPUT ${path} @ONLY CONTENT "${text}")
endfunction()

# The linker's name of an entry point: x86 decorates C names with a leading
# underscore, and stdcall ones with @ and their argument bytes as well.
function(quell_entry_symbol out name)
    set(stdcall_bytes ${ARGN})
    if(NOT QUELL_ARCH STREQUAL "x86")
        set(${out} ${name} PARENT_SCOPE)
    elseif(stdcall_bytes)
        set(${out} _${name}@${stdcall_bytes} PARENT_SCOPE)
    else()
        set(${out} _${name} PARENT_SCOPE)
    endif()
endfunction()

# quell_image_flags(target entry [stdcall argument bytes])
function(quell_image_flags target entry)
    quell_entry_symbol(symbol ${entry} ${ARGN})
    target_compile_definitions(${target} PRIVATE WINVER=0x0400 _WIN32_WINNT=0x0400)
    # C++ only: windres compiles the resources and takes none of these.
    string(REPLACE ";" "$<SEMICOLON>" arch_options "${QUELL_ARCH_COMPILE_OPTIONS}")
    target_compile_options(${target} PRIVATE "$<$<COMPILE_LANGUAGE:CXX>:${arch_options};-Os;-Wall;-Wextra;-Werror;-fno-exceptions;-fno-rtti;-fno-stack-protector;-fno-threadsafe-statics;-ffunction-sections;-fdata-sections>")
    target_link_options(${target} PRIVATE
        -nostartfiles -nostdlib -Wl,-e,${symbol} ${QUELL_ARCH_LINK_OPTIONS}
        -Wl,--dynamicbase -Wl,--nxcompat -Wl,--gc-sections -s)
    set_target_properties(${target} PROPERTIES C_LINKER_LAUNCHER "${QUELL_LINKER_LAUNCHER}"
                                               CXX_LINKER_LAUNCHER "${QUELL_LINKER_LAUNCHER}")
    if(TARGET quell_system_libraries)  # made from the import list (QuellSystemLibraries.cmake)
        add_dependencies(${target} quell_system_libraries)
        set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${QUELL_SYSTEM_LIBRARIES})
    endif()
endfunction()
