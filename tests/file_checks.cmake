# Checks of the shipped files that every build tree runs, whatever runs its
# programs: included by tests/CMakeLists.txt and tests/arm64/CMakeLists.txt.
# The version resource as an independent reader sees it in the built file, and
# imports that the loaders of Windows 95 and NT 4.0 all resolve (the x64 images
# import the same functions).
add_test(NAME version_resource
         COMMAND python3 ${PROJECT_SOURCE_DIR}/tools/checks/check_version_resource.py ${PROJECT_VERSION} $<TARGET_FILE:Quell>)
add_test(NAME import_table
         COMMAND python3 ${PROJECT_SOURCE_DIR}/tools/checks/check_imports.py ${PROJECT_SOURCE_DIR}/tools/windows-imports.txt
                 $<TARGET_FILE:Quell> $<TARGET_FILE:quell>)
add_test(NAME import_list_rules COMMAND python3 ${PROJECT_SOURCE_DIR}/tests/checks/import_list_test.py)

# One version everywhere; the same bytes from every build directory.
add_test(NAME version_agreement
         COMMAND ${CMAKE_COMMAND} -DVERSION=${PROJECT_VERSION} -DHEADER=${PROJECT_SOURCE_DIR}/include/Quell.h
                 -DDLL=$<TARGET_FILE:Quell> -DEXE=$<TARGET_FILE:quell> -DPACKAGE_VERSION_FILE=${CMAKE_BINARY_DIR}/package/QuellConfigVersion.cmake
                 -DBUNDLE=${QUELL_BUNDLE_NAME} -DCHANGELOG=${PROJECT_SOURCE_DIR}/CHANGELOG.md
                 -P ${PROJECT_SOURCE_DIR}/tools/checks/check_version.cmake)
add_test(NAME reproducible_build
         COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DBUILD_DIR=${CMAKE_BINARY_DIR}
                 -DTOOLCHAIN=${CMAKE_TOOLCHAIN_FILE} -DGENERATOR=${CMAKE_GENERATOR} -DEPOCH=${QUELL_SOURCE_DATE_EPOCH}
                 -P ${PROJECT_SOURCE_DIR}/tools/checks/check_reproducible.cmake)
set_tests_properties(reproducible_build PROPERTIES TIMEOUT 900)

# The headers and the export table as read from the files, and the time stamp
# taken from the sources where there is one.
set(stamp "")
if(QUELL_REPRODUCIBLE)
    set(stamp --stamp ${QUELL_SOURCE_DATE_EPOCH})
endif()
add_test(NAME image_headers
         COMMAND python3 ${PROJECT_SOURCE_DIR}/tools/checks/check_image.py --machine ${QUELL_ARCH} ${stamp}
                 --def ${PROJECT_SOURCE_DIR}/res/Quell.def $<TARGET_FILE:Quell> $<TARGET_FILE:quell>)
