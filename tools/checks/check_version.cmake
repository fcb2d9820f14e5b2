# The project's version (project() in CMakeLists.txt) against every place that
# states it: Quell.h's version macros, the built Quell.dll's version resource
# (fixed file and product versions, the ProductVersion text), the CMake
# package's version file, the bundle name and CHANGELOG.md's first entry; and
# quell.exe's version resource where given.
# -DVERSION=x.y.z -DHEADER=Quell.h -DDLL=Quell.dll [-DEXE=quell.exe] -DPACKAGE_VERSION_FILE=QuellConfigVersion.cmake
# -DBUNDLE=quell-x.y.z-<suffix> (cmake/QuellArchitectures.cmake) -DCHANGELOG=CHANGELOG.md
cmake_policy(VERSION 3.25)
set(failures "")
macro(expect what found wanted)
    if(NOT "${found}" STREQUAL "${wanted}")
        string(APPEND failures "${what}: '${found}', the project's is '${wanted}'\n")
    endif()
endmacro()

string(REPLACE "." ";" parts "${VERSION}")
list(APPEND parts 0 0 0)
list(GET parts 0 major)
list(GET parts 1 minor)
list(GET parts 2 patch)
list(GET parts 3 tweak)

# Quell.h
file(READ ${HEADER} header)
foreach(part IN ITEMS major minor patch)
    string(TOUPPER ${part} macro)
    if(header MATCHES "#define QUELL_VERSION_${macro} ([0-9]+)")
        expect("Quell.h QUELL_VERSION_${macro}" ${CMAKE_MATCH_1} ${${part}})
    else()
        string(APPEND failures "Quell.h: no #define QUELL_VERSION_${macro}\n")
    endif()
endforeach()

# The version resources of Quell.dll and quell.exe: VS_FIXEDFILEINFO follows
# its signature 0xFEEF04BD; all fields are little-endian 32-bit words, the
# versions packed as major<<16|minor and patch<<16|tweak.
function(word_at hex index out)  # the 32-bit word at byte offset index*4 past the signature's start
    math(EXPR at "${index} * 8")
    string(SUBSTRING "${hex}" ${at} 8 bytes)
    string(REGEX REPLACE "(..)(..)(..)(..)" "\\4\\3\\2\\1" bytes "${bytes}")
    math(EXPR value "0x${bytes}" OUTPUT_FORMAT HEXADECIMAL)
    set(${out} ${value} PARENT_SCOPE)
endfunction()
# "ProductVersion" and its value, UTF-16LE, the value after padding to 4 bytes.
set(text_hex "")
foreach(text IN ITEMS ProductVersion "${major}.${minor}.${patch}.${tweak}")
    string(HEX "${text}" ascii)
    string(REGEX REPLACE "(..)" "\\100" utf16 "${ascii}")
    list(APPEND text_hex ${utf16})
endforeach()
list(GET text_hex 0 key)
list(GET text_hex 1 value)
math(EXPR wanted_ms "(${major} << 16) | ${minor}" OUTPUT_FORMAT HEXADECIMAL)
math(EXPR wanted_ls "(${patch} << 16) | ${tweak}" OUTPUT_FORMAT HEXADECIMAL)
foreach(file IN ITEMS ${DLL} ${EXE})
    get_filename_component(name ${file} NAME)
    file(READ ${file} image HEX)
    string(FIND "${image}" "bd04effe" signature)
    if(signature EQUAL -1)
        string(APPEND failures "${file}: no VS_FIXEDFILEINFO\n")
    else()
        string(SUBSTRING "${image}" ${signature} 104 fixed)
        foreach(field IN ITEMS "dwFileVersionMS;2;${wanted_ms}" "dwFileVersionLS;3;${wanted_ls}"
                               "dwProductVersionMS;4;${wanted_ms}" "dwProductVersionLS;5;${wanted_ls}")
            list(GET field 0 field_name)
            list(GET field 1 index)
            list(GET field 2 wanted)
            word_at("${fixed}" ${index} found)
            expect("${name} ${field_name}" ${found} ${wanted})
        endforeach()
    endif()
    if(NOT image MATCHES "${key}0000(0000)?${value}0000")
        string(APPEND failures "${name}: no ProductVersion \"${major}.${minor}.${patch}.${tweak}\" in the version resource\n")
    endif()
endforeach()

# The CMake package, asked as find_package(Quell <version> EXACT) would.
set(PACKAGE_FIND_VERSION ${VERSION})
set(PACKAGE_FIND_VERSION_MAJOR ${major})
set(PACKAGE_FIND_VERSION_MINOR ${minor})
set(PACKAGE_FIND_VERSION_PATCH ${patch})
set(PACKAGE_FIND_NAME Quell)
include(${PACKAGE_VERSION_FILE})
expect("QuellConfigVersion.cmake PACKAGE_VERSION" "${PACKAGE_VERSION}" ${VERSION})

# The bundle's name: one architecture's, of this version.
set(PROJECT_VERSION ${VERSION})
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/QuellArchitectures.cmake)
set(bundles "")
foreach(architecture IN LISTS QUELL_ARCHITECTURES)
    list(APPEND bundles ${QUELL_BUNDLE_${architecture}})
endforeach()
if(NOT BUNDLE IN_LIST bundles)
    list(JOIN bundles ", " named)
    string(APPEND failures "bundle name '${BUNDLE}' is none of this version's: ${named}\n")
endif()

# The changelog's first entry is this release.
file(STRINGS ${CHANGELOG} headings REGEX "^## ")
list(GET headings 0 first)
if(NOT first MATCHES "^## ([0-9.]+)")
    string(APPEND failures "CHANGELOG.md: the first entry '${first}' names no version\n")
else()
    expect("CHANGELOG.md first entry" ${CMAKE_MATCH_1} ${VERSION})
endif()

if(failures)
    message(FATAL_ERROR "The version differs from project(Quell VERSION ${VERSION}):\n${failures}")
endif()
message("Version ${VERSION} agrees in Quell.h, Quell.dll, quell.exe, the CMake package, ${BUNDLE} and CHANGELOG.md")
