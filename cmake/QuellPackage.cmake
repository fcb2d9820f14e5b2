# cmake --install: the DLL, the front end, the header, both import libraries,
# the module-definition file and a CMake package with the imported target
# Quell::Quell, for find_package(Quell) in a consumer's project.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QUELL_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quell)

install(FILES $<TARGET_FILE:Quell> DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS quell RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/Quell.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${QUELL_MINGW_IMPLIB} ${QUELL_MSVC_IMPLIB} ${QUELL_IMPORT_DEF} DESTINATION ${CMAKE_INSTALL_LIBDIR})

configure_package_config_file(
    ${CMAKE_CURRENT_LIST_DIR}/QuellConfig.cmake.in ${CMAKE_BINARY_DIR}/package/QuellConfig.cmake
    INSTALL_DESTINATION ${QUELL_INSTALL_CMAKEDIR}
    PATH_VARS CMAKE_INSTALL_BINDIR CMAKE_INSTALL_LIBDIR CMAKE_INSTALL_INCLUDEDIR)
# The version file also turns away 64-bit consumers: Quell.dll is a 32-bit library.
write_basic_package_version_file(
    ${CMAKE_BINARY_DIR}/package/QuellConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/package/QuellConfig.cmake ${CMAKE_BINARY_DIR}/package/QuellConfigVersion.cmake
        DESTINATION ${QUELL_INSTALL_CMAKEDIR})
