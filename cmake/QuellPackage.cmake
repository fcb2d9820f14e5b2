# cmake --install: the DLL, the front end, the header, both import libraries,
# the module-definition file and a CMake package with the imported target
# Quell::Quell, for find_package(Quell) in a consumer's project, and beside
# them the Pascal unit, the README, the licence, the changelog and the other
# languages' declarations. The tree is the same for x86, x64 and arm64; the package
# serves consumers of its own architecture. A release bundle is this tree, zipped.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QUELL_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quell)

install(FILES $<TARGET_FILE:Quell> DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS quell RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/Quell.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${QUELL_IMPORT_LIBRARIES} ${QUELL_IMPORT_DEF} DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/bindings/pascal/Quell.pas DESTINATION bindings/pascal)
# The guides README links to, so that its links hold in a bundle too.
install(FILES ${PROJECT_SOURCE_DIR}/docs/api.md ${PROJECT_SOURCE_DIR}/docs/cli.md ${PROJECT_SOURCE_DIR}/docs/bindings.md
              ${PROJECT_SOURCE_DIR}/docs/building.md ${PROJECT_SOURCE_DIR}/docs/releasing.md
              ${PROJECT_SOURCE_DIR}/docs/architecture.md
        DESTINATION docs)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/CHANGELOG.md
        DESTINATION .)

# The architectures' titles and bundle names (QuellArchitectures.cmake), as the
# version file below sets them.
set(QUELL_ARCHITECTURE_NAMES "")
foreach(kind IN ITEMS title bundle)
    foreach(architecture IN LISTS QUELL_ARCHITECTURES)
        string(TOUPPER ${kind} variable)
        set(value "${QUELL_${variable}_${architecture}}")
        if(kind STREQUAL "title")
            set(value "\"${value}\"")
        endif()
        string(APPEND QUELL_ARCHITECTURE_NAMES "        set(_quell_${kind}_${architecture} ${value})\n")
    endforeach()
endforeach()
configure_package_config_file(
    ${CMAKE_CURRENT_LIST_DIR}/QuellConfig.cmake.in ${CMAKE_BINARY_DIR}/package/QuellConfig.cmake
    INSTALL_DESTINATION ${QUELL_INSTALL_CMAKEDIR}
    PATH_VARS CMAKE_INSTALL_BINDIR CMAKE_INSTALL_LIBDIR CMAKE_INSTALL_INCLUDEDIR)

# The version file: SameMajorVersion, for a Windows consumer of this package's
# architecture only. CMake's own pointer-size check names no architecture and
# cannot tell x64 from ARM64, so the file makes its own ahead of the version
# comparison: the compiler's architecture where CMake knows it (MSVC, clang-cl),
# else the target processor of the consumer's toolchain. Unsuitable rather
# than an error, and silent: find_package goes on to a package of the
# consumer's architecture further along the search path, if there is one, and
# only when none is found does it list the packages it turned away, each with
# its PACKAGE_VERSION, which therefore says why.
write_basic_package_version_file(
    ${CMAKE_BINARY_DIR}/package/QuellVersionComparison.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion ARCH_INDEPENDENT)
file(READ ${CMAKE_BINARY_DIR}/package/QuellVersionComparison.cmake QUELL_VERSION_COMPARISON)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/package/QuellConfigVersion.cmake @ONLY CONTENT [=[
# Quell @PROJECT_VERSION@ for @QUELL_ARCH_TITLE@ programs.
if(WIN32 AND CMAKE_SIZEOF_VOID_P)
    set(_quell_consumer "")
    foreach(_quell_language IN ITEMS C CXX)
        if(NOT _quell_consumer AND CMAKE_${_quell_language}_COMPILER_ARCHITECTURE_ID)
            set(_quell_consumer "${CMAKE_${_quell_language}_COMPILER_ARCHITECTURE_ID}")
        endif()
    endforeach()
    if(NOT _quell_consumer)
        set(_quell_consumer "${CMAKE_SYSTEM_PROCESSOR}")
    endif()
    string(TOLOWER "${_quell_consumer}" _quell_consumer)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        set(_quell_consumer x86)
    elseif(_quell_consumer MATCHES "^(arm64|aarch64)$")
        set(_quell_consumer arm64)
    elseif(NOT _quell_consumer STREQUAL "arm64ec")
        set(_quell_consumer x64)
    endif()
    if(NOT _quell_consumer STREQUAL "@QUELL_ARCH@")
@QUELL_ARCHITECTURE_NAMES@        set(_quell_title_arm64ec "ARM64EC")
        if(_quell_consumer STREQUAL "arm64ec")
            set(_quell_use "Quell has no ARM64EC build: build the program for ARM64 and use the arm64 package (@QUELL_BUNDLE_arm64@.zip).")
        else()
            set(_quell_use "Use the ${_quell_consumer} package (${_quell_bundle_${_quell_consumer}}.zip).")
        endif()
        set(PACKAGE_VERSION "@PROJECT_VERSION@ for @QUELL_ARCH_TITLE@ programs; the consumer is ${_quell_title_${_quell_consumer}}. ${_quell_use}")
        set(PACKAGE_VERSION_UNSUITABLE TRUE)
        return()
    endif()
endif()

@QUELL_VERSION_COMPARISON@]=])
install(FILES ${CMAKE_BINARY_DIR}/package/QuellConfig.cmake ${CMAKE_BINARY_DIR}/package/QuellConfigVersion.cmake
        DESTINATION ${QUELL_INSTALL_CMAKEDIR})

# The release bundle, quell-<version>-win32.zip (x86), -win64.zip (x64) or -arm64.zip (arm64), in
# QUELL_DIST_DIR: the installed tree under a folder of the bundle's name, its
# entries in name order and dated with the images' time stamp. Made on request
# only (make dist); needs python3 then, and Quell.lib. Never from images that
# carry the time of their link: such a bundle could not be checked against
# its sources.
set(QUELL_DIST_DIR ${PROJECT_SOURCE_DIR}/dist CACHE PATH "Where make dist writes the release bundles")
set(QUELL_MAKE_BUNDLE ${PROJECT_SOURCE_DIR}/tools/release/make_bundle.py --cmake ${CMAKE_COMMAND}
    --build-dir ${CMAKE_BINARY_DIR} --name ${QUELL_BUNDLE_NAME} --mtime ${QUELL_SOURCE_DATE_EPOCH})
# quell_release_images: what make dist builds of each tree before
# tools/release/release.py signs and packages it.
if(QUELL_REPRODUCIBLE)
    add_custom_target(quell_bundle
        COMMAND python3 ${QUELL_MAKE_BUNDLE} ${QUELL_DIST_DIR}
        COMMENT "Release bundle ${QUELL_DIST_DIR}/${QUELL_BUNDLE_NAME}.zip"
        VERBATIM)
    add_custom_target(quell_release_images)
    foreach(target IN ITEMS quell_bundle quell_release_images)
        add_dependencies(${target} Quell quell quell_import_libraries)
    endforeach()
else()
    foreach(target IN ITEMS quell_bundle quell_release_images)
        add_custom_target(${target}
            COMMAND ${CMAKE_COMMAND} -E echo "No release: nothing gives the sources' time, so the images are not"
                    "reproducible. Configure with SOURCE_DATE_EPOCH set to the commit's time."
            COMMAND ${CMAKE_COMMAND} -E false
            VERBATIM)
    endforeach()
endif()

# What tools/release/release.py needs to know of this tree to sign its images and
# package them with the other architectures' (make dist).
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/release.json @ONLY CONTENT [=[
{
  "architecture": "@QUELL_ARCH@",
  "bundle": "@QUELL_BUNDLE_NAME@",
  "version": "@PROJECT_VERSION@",
  "description": "@PROJECT_DESCRIPTION@",
  "homepage": "@PROJECT_HOMEPAGE_URL@",
  "repository": "@QUELL_REPOSITORY_URL@",
  "sourceDateEpoch": "@QUELL_SOURCE_DATE_EPOCH@",
  "sourceCommit": "@QUELL_SOURCE_COMMIT@",
  "images": ["bin/Quell.dll", "bin/quell.exe"]
}
]=])
