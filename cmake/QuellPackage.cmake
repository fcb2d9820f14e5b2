# cmake --install: the DLL, the front end, the header, both import libraries,
# the module-definition file and a CMake package with the imported target
# Quell::Quell, for find_package(Quell) in a consumer's project. The tree is the
# same for x86 and x64; the package serves consumers of its own architecture.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QUELL_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quell)

install(FILES $<TARGET_FILE:Quell> DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS quell RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/Quell.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${QUELL_MINGW_IMPLIB} ${QUELL_MSVC_IMPLIB} ${QUELL_IMPORT_DEF} DESTINATION ${CMAKE_INSTALL_LIBDIR})

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
# than an error: find_package goes on to a package of the consumer's
# architecture further along the search path, if there is one.
write_basic_package_version_file(
    ${CMAKE_BINARY_DIR}/package/QuellVersionComparison.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion ARCH_INDEPENDENT)
file(READ ${CMAKE_BINARY_DIR}/package/QuellVersionComparison.cmake QUELL_VERSION_COMPARISON)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/package/QuellConfigVersion.cmake @ONLY CONTENT [=[
# Quell @PROJECT_VERSION@ for @QUELL_ARCH_TITLE@ programs.
if(WIN32 AND CMAKE_SIZEOF_VOID_P AND NOT CMAKE_SIZEOF_VOID_P EQUAL @CMAKE_SIZEOF_VOID_P@)
    set(PACKAGE_VERSION "@PROJECT_VERSION@ for @QUELL_ARCH_TITLE@")
    set(PACKAGE_VERSION_UNSUITABLE TRUE)
    if(NOT ${PACKAGE_FIND_NAME}_FIND_QUIETLY)
        message(WARNING "This Quell package is for @QUELL_ARCH_TITLE@ programs; the consumer is "
                        "@QUELL_OTHER_ARCH_TITLE@. Use the @QUELL_OTHER_ARCH@ package.")
    endif()
    return()
endif()

@QUELL_VERSION_COMPARISON@]=])
install(FILES ${CMAKE_BINARY_DIR}/package/QuellConfig.cmake ${CMAKE_BINARY_DIR}/package/QuellConfigVersion.cmake
        DESTINATION ${QUELL_INSTALL_CMAKEDIR})
