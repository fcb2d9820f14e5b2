# Import libraries of Quell.dll for callers: libQuell.dll.a (MinGW, GNU dlltool)
# and Quell.lib (Microsoft format, llvm-dlltool), both from one module-definition
# file derived from res/Quell.def. Callers link the library's own exports by
# their plain names. The exports named after system functions are linked only as
# Quell_<name>, bound to their fixed ordinal: a plain LockWorkStation in an
# import library would capture the program's calls of user32's LockWorkStation
# whenever that library comes first on the link line.

# Exports whose names the system (or every DLL) uses as well.
set(QUELL_SHARED_NAMES
    DllGetVersion GetPwrCapabilities SetSuspendState IsPwrHibernateAllowed IsPwrSuspendAllowed
    RestartDialog InitiateShutdownW InitiateShutdownA InitiateSystemShutdownExW InitiateSystemShutdownExA
    ShutdownBlockReasonQuery ShutdownBlockReasonDestroy ShutdownBlockReasonCreate LockWorkStation)

# x86 links stdcall functions by decorated symbols (_NAME@N, N the bytes of the
# arguments) while the DLLs export plain names, so the tools take decorated
# names and drop the suffix from the name looked up at run time (kill-at).
# x64 has one calling convention and no decoration.
if(QUELL_ARCH STREQUAL "x86")
    set(QUELL_GNU_DLLTOOL_OPTIONS --kill-at)
    set(QUELL_LLVM_DLLTOOL_OPTIONS -m i386 -k)
    string(CONCAT naming "Decorated stdcall names (@N: bytes of\n"
                         "; arguments) so that the import libraries resolve calls by plain name.")
elseif(QUELL_ARCH STREQUAL "arm64")
    # CMAKE_DLLTOOL is llvm-dlltool here (the toolchain file): both libraries come from it.
    set(QUELL_GNU_DLLTOOL_OPTIONS -m arm64)
    set(QUELL_LLVM_DLLTOOL_OPTIONS -m arm64)
    set(naming "Plain names: arm64 has no stdcall\n; decoration.")
else()
    set(QUELL_GNU_DLLTOOL_OPTIONS)
    set(QUELL_LLVM_DLLTOOL_OPTIONS -m i386:x86-64)
    set(naming "Plain names: x64 has no stdcall\n; decoration.")
endif()

set(QUELL_EXPORT_TABLE ${PROJECT_SOURCE_DIR}/res/Quell.def)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${QUELL_EXPORT_TABLE})
file(STRINGS ${QUELL_EXPORT_TABLE} export_lines REGEX "^[ \t]*[A-Za-z_][A-Za-z0-9_]*@[0-9]+[ \t]+@[0-9]+")

set(plain "")
set(aliases "")
foreach(line IN LISTS export_lines)
    string(REGEX MATCH "([A-Za-z_][A-Za-z0-9_]*)@([0-9]+)[ \t]+@([0-9]+)" _ "${line}")
    set(name ${CMAKE_MATCH_1})
    set(bytes ${CMAKE_MATCH_2})
    set(ordinal ${CMAKE_MATCH_3})
    if(name IN_LIST QUELL_SHARED_NAMES)
        string(APPEND aliases "    Quell_${name}@${bytes} @${ordinal} NONAME\n")
    else()
        string(APPEND plain "    ${name}@${bytes} @${ordinal}\n")
    endif()
endforeach()
list(LENGTH export_lines export_count)
if(NOT export_count EQUAL 36)
    message(FATAL_ERROR "res/Quell.def: expected 36 exports, read ${export_count}")
endif()

set(QUELL_IMPLIB_DIR ${CMAKE_BINARY_DIR}/implib)
set(QUELL_IMPORT_DEF ${QUELL_IMPLIB_DIR}/Quell.def)
set(QUELL_MINGW_IMPLIB ${QUELL_IMPLIB_DIR}/libQuell.dll.a)
set(QUELL_MSVC_IMPLIB ${QUELL_IMPLIB_DIR}/Quell.lib)
quell_write_def(${QUELL_IMPORT_DEF}
"; Quell.dll as its callers link it. ${naming}
; Quell_<name> binds an export named after a system function by its ordinal,
; and that export has no plain name here, so the system's stays the system's.
LIBRARY Quell.dll
EXPORTS
${plain}${aliases}")

# GNU dlltool of the toolchain's own prefix, which CMake finds beside the compiler.
# It names the archive's members and symbols after the output path, so it runs
# in the output directory with a bare file name: the same bytes in every tree.
if(NOT CMAKE_DLLTOOL)
    message(FATAL_ERROR "no dlltool beside ${CMAKE_C_COMPILER} (mingw-w64 binutils)")
endif()
add_custom_command(
    OUTPUT ${QUELL_MINGW_IMPLIB}
    COMMAND ${CMAKE_DLLTOOL} ${QUELL_GNU_DLLTOOL_OPTIONS} --input-def Quell.def
            --dllname Quell.dll --output-lib libQuell.dll.a
    WORKING_DIRECTORY ${QUELL_IMPLIB_DIR}
    DEPENDS ${QUELL_IMPORT_DEF}
    COMMENT "Import library libQuell.dll.a (MinGW, ${QUELL_ARCH})")
set(QUELL_IMPORT_LIBRARIES ${QUELL_MINGW_IMPLIB})

# llvm-dlltool comes with LLVM, not with the MinGW-w64 compilers. The tests and
# the release bundles need Quell.lib; a build of the library alone goes without.
if(QUELL_BUILD_TESTS)
    find_program(QUELL_LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14 REQUIRED)
else()
    find_program(QUELL_LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14)
endif()
if(QUELL_LLVM_DLLTOOL)
    add_custom_command(
        OUTPUT ${QUELL_MSVC_IMPLIB}
        COMMAND ${QUELL_LLVM_DLLTOOL} ${QUELL_LLVM_DLLTOOL_OPTIONS} -d Quell.def -l Quell.lib
        WORKING_DIRECTORY ${QUELL_IMPLIB_DIR}
        DEPENDS ${QUELL_IMPORT_DEF}
        COMMENT "Import library Quell.lib (Microsoft format, ${QUELL_ARCH})")
    list(APPEND QUELL_IMPORT_LIBRARIES ${QUELL_MSVC_IMPLIB})
else()
    message(WARNING "llvm-dlltool not found (Debian: llvm-14): Quell.lib, the import library in the "
                    "Microsoft format, is not built. libQuell.dll.a, Quell.dll and quell.exe are; "
                    "make dist and the tests need Quell.lib.")
endif()
add_custom_target(quell_import_libraries ALL DEPENDS ${QUELL_IMPORT_LIBRARIES})
