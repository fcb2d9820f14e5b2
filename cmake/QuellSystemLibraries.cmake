# Import libraries of the system DLLs for a toolchain without a MinGW sysroot
# (arm64): made by llvm-dlltool from the functions that tools/windows-imports.txt
# allows, and from nothing else, so that an image linked against them can import
# no function that the list does not allow. A target links them by their plain
# names (kernel32, advapi32, user32, shell32) as on the other architectures.
set(QUELL_IMPORT_LIST ${PROJECT_SOURCE_DIR}/tools/windows-imports.txt)
set(QUELL_SYSTEM_LIBRARY_DIR ${CMAKE_BINARY_DIR}/syslib)
set(QUELL_SYSTEM_DLLS kernel32 advapi32 user32 shell32)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${QUELL_IMPORT_LIST})

file(STRINGS ${QUELL_IMPORT_LIST} list_lines)
set(section "")
foreach(dll IN LISTS QUELL_SYSTEM_DLLS)
    set(exports_${dll} "")
endforeach()
foreach(line IN LISTS list_lines)
    if(line MATCHES "^[ \t]*\\[")
        string(STRIP "${line}" section)
    elseif(section STREQUAL "[allowed]" AND line MATCHES "^[ \t]*([A-Za-z0-9_]+)[ \t]+([A-Za-z0-9_]+)[ \t]")
        string(TOLOWER ${CMAKE_MATCH_1} dll)
        if(NOT dll IN_LIST QUELL_SYSTEM_DLLS)
            message(FATAL_ERROR "${QUELL_IMPORT_LIST}: ${dll} is none of ${QUELL_SYSTEM_DLLS}")
        endif()
        string(APPEND exports_${dll} "    ${CMAKE_MATCH_2}\n")
    endif()
endforeach()

set(QUELL_SYSTEM_LIBRARIES "")
foreach(dll IN LISTS QUELL_SYSTEM_DLLS)
    set(def ${QUELL_SYSTEM_LIBRARY_DIR}/${dll}.def)
    set(library ${QUELL_SYSTEM_LIBRARY_DIR}/lib${dll}.a)
    file(CONFIGURE OUTPUT ${def} @ONLY CONTENT
         "; Made from tools/windows-imports.txt ([allowed]).\nLIBRARY ${dll}.dll\nEXPORTS\n${exports_${dll}}")
    add_custom_command(
        OUTPUT ${library}
        COMMAND ${CMAKE_DLLTOOL} -m ${QUELL_DLLTOOL_MACHINE} -d ${dll}.def -l lib${dll}.a
        WORKING_DIRECTORY ${QUELL_SYSTEM_LIBRARY_DIR}
        DEPENDS ${def}
        COMMENT "Import library lib${dll}.a (${QUELL_ARCH}, from the import list)")
    list(APPEND QUELL_SYSTEM_LIBRARIES ${library})
endforeach()
add_custom_target(quell_system_libraries DEPENDS ${QUELL_SYSTEM_LIBRARIES})
link_directories(${QUELL_SYSTEM_LIBRARY_DIR})
