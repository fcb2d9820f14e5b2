# cmake --install: the DLL, the front end, the header, both import libraries,
# the module-definition file and a CMake package with the imported target
# Quell::Quell, for find_package(Quell) in a consumer's project, and beside
# them the Pascal unit, the README, the licence, the changelog and the other
# languages' declarations. The tree is the same for x86 and x64; the package
# serves consumers of its own architecture. A release bundle is this tree, zipped.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QUELL_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quell)

install(FILES $<TARGET_FILE:Quell> DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS quell RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/Quell.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${QUELL_IMPORT_LIBRARIES} ${QUELL_IMPORT_DEF} DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/bindings/pascal/Quell.pas DESTINATION bindings/pascal)
install(FILES ${PROJECT_SOURCE_DIR}/docs/bindings.md DESTINATION docs)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/CHANGELOG.md
        DESTINATION .)

# The architectures as the package's messages name them.
if(QUELL_ARCH STREQUAL "x86")
    set(QUELL_ARCH_TITLE "x86 (32-bit)")
    set(QUELL_OTHER_ARCH x64)
    set(QUELL_OTHER_ARCH_TITLE "x64 (64-bit)")
else()
    set(QUELL_ARCH_TITLE "x64 (64-bit)")
    set(QUELL_OTHER_ARCH x86)
    set(QUELL_OTHER_ARCH_TITLE "x86 (32-bit)")
endif()

configure_package_config_file(
    ${CMAKE_CURRENT_LIST_DIR}/QuellConfig.cmake.in ${CMAKE_BINARY_DIR}/package/QuellConfig.cmake
    INSTALL_DESTINATION ${QUELL_INSTALL_CMAKEDIR}
    PATH_VARS CMAKE_INSTALL_BINDIR CMAKE_INSTALL_LIBDIR CMAKE_INSTALL_INCLUDEDIR)

# The version file: SameMajorVersion, for a Windows consumer of this package's
# architecture only. CMake's own pointer-size check names neither architecture,
# so the file makes its own ahead of the version comparison. Unsuitable rather
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
if(WIN32 AND CMAKE_SIZEOF_VOID_P AND NOT CMAKE_SIZEOF_VOID_P EQUAL @CMAKE_SIZEOF_VOID_P@)
    set(PACKAGE_VERSION "@PROJECT_VERSION@ for @QUELL_ARCH_TITLE@ programs; the consumer is @QUELL_OTHER_ARCH_TITLE@. Use the @QUELL_OTHER_ARCH@ package.")
    set(PACKAGE_VERSION_UNSUITABLE TRUE)
    return()
endif()

@QUELL_VERSION_COMPARISON@]=])
install(FILES ${CMAKE_BINARY_DIR}/package/QuellConfig.cmake ${CMAKE_BINARY_DIR}/package/QuellConfigVersion.cmake
        DESTINATION ${QUELL_INSTALL_CMAKEDIR})

# The release bundle, quell-<version>-win32.zip (x86) or -win64.zip (x64), in
# QUELL_DIST_DIR: the installed tree under a folder of the bundle's name, its
# entries in name order and dated with the images' time stamp. Made on request
# only (make dist); needs python3 then, and Quell.lib. Never from images that
# carry the time of their link: such a bundle could not be checked against
# its sources.
if(QUELL_ARCH STREQUAL "x86")
    set(QUELL_BUNDLE_NAME quell-${PROJECT_VERSION}-win32)
else()
    set(QUELL_BUNDLE_NAME quell-${PROJECT_VERSION}-win64)
endif()
set(QUELL_DIST_DIR ${PROJECT_SOURCE_DIR}/dist CACHE PATH "Where make dist writes the release bundles")
set(QUELL_MAKE_BUNDLE ${PROJECT_SOURCE_DIR}/tools/make_bundle.py --cmake ${CMAKE_COMMAND}
    --build-dir ${CMAKE_BINARY_DIR} --name ${QUELL_BUNDLE_NAME} --mtime ${QUELL_SOURCE_DATE_EPOCH})
if(QUELL_REPRODUCIBLE)
    add_custom_target(quell_bundle
        COMMAND python3 ${QUELL_MAKE_BUNDLE} ${QUELL_DIST_DIR}
        COMMENT "Release bundle ${QUELL_DIST_DIR}/${QUELL_BUNDLE_NAME}.zip"
        VERBATIM)
    add_dependencies(quell_bundle Quell quell quell_import_libraries)
else()
    add_custom_target(quell_bundle
        COMMAND ${CMAKE_COMMAND} -E echo "No release bundle: nothing gives the sources' time, so the images are not"
                "reproducible. Configure with SOURCE_DATE_EPOCH set to the commit's time."
        COMMAND ${CMAKE_COMMAND} -E false
        VERBATIM)
endif()
