# Lays out Quell as a caller gets it, checks the layout, then configures, builds
# and runs examples/consumer against it (find_package(Quell)). Two ways:
# - the install tree: cmake --install into a fresh prefix; a consumer of each
#   other architecture must be turned away, told which bundle to use, and a
#   package of another architecture ahead on the search path must be passed
#   over without a word;
# - the release bundle (-DBUNDLE): made twice as make dist makes it, the same
#   bytes both times, and unpacked into a fresh folder.
# -DBUILD_DIR -DSOURCE_DIR -DTOOLCHAIN -DARCH=x86|x64|arm64 -DWINE, and either
# -DOTHER_TOOLCHAINS=arch=toolchain|... (install tree) or -DBUNDLE=name
# -DMAKE_BUNDLE=command|arguments (bundle). Without WINE (arm64: no C runtime to
# link the consumer with) the consumer is configured, not built and run.
if(BUNDLE)
    set(root ${BUILD_DIR}/bundle-test)
    set(prefix ${root}/unpacked/${BUNDLE})
else()
    set(root ${BUILD_DIR}/package-test)
    set(prefix ${root}/prefix)
endif()
file(REMOVE_RECURSE ${root})

include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/QuellRun.cmake)

set(layout bin/Quell.dll bin/quell.exe include/Quell.h lib/libQuell.dll.a lib/Quell.lib lib/Quell.def
           lib/cmake/Quell/QuellConfig.cmake lib/cmake/Quell/QuellConfigVersion.cmake
           bindings/pascal/Quell.pas docs/api.md docs/cli.md docs/bindings.md docs/building.md docs/releasing.md
           docs/architecture.md README.md LICENSE CHANGELOG.md)
if(BUNDLE)
    string(REPLACE "|" ";" make_bundle "${MAKE_BUNDLE}")
    foreach(copy first second)
        run(${make_bundle} ${root}/${copy})
    endforeach()
    set(zip ${root}/first/${BUNDLE}.zip)
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${zip} ${root}/second/${BUNDLE}.zip
                    RESULT_VARIABLE different)
    if(different)
        message(FATAL_ERROR "two bundles of the same tree differ: ${root}/first, ${root}/second")
    endif()
    file(MAKE_DIRECTORY ${root}/unpacked)
    run(${CMAKE_COMMAND} -E chdir ${root}/unpacked ${CMAKE_COMMAND} -E tar xf ${zip})
    # Exactly the layout, under one folder named as the bundle.
    file(GLOB_RECURSE unpacked RELATIVE ${root}/unpacked ${root}/unpacked/*)
    list(TRANSFORM layout PREPEND ${BUNDLE}/ OUTPUT_VARIABLE expected)
    list(SORT unpacked)
    list(SORT expected)
    if(NOT unpacked STREQUAL expected)
        string(REPLACE ";" "\n  " unpacked "${unpacked}")
        message(FATAL_ERROR "${BUNDLE}.zip holds\n  ${unpacked}\nnot ${expected}")
    endif()
    file(SHA256 ${zip} hash)
    message("${hash}  ${BUNDLE}.zip")
else()
    run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
    foreach(file IN LISTS layout)
        if(NOT EXISTS ${prefix}/${file})
            message(FATAL_ERROR "cmake --install did not lay out ${file}")
        endif()
    endforeach()
endif()

run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/examples/consumer -B ${root}/consumer -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN}
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release)
if(WINE)
    run(${CMAKE_COMMAND} --build ${root}/consumer)
    run(${WINE} ${root}/consumer/quell_consumer.exe)
    message("${output}")
    if(NOT output MATCHES "CheckWindowsNT = -1")
        message(FATAL_ERROR "the consumer did not reach Quell.dll")
    endif()
else()
    message("The ${ARCH} consumer found the package (configured only: no C runtime to link it with)")
endif()
if(BUNDLE)
    return()
endif()

# The refusal names the package's architecture and the consumer's: CMake lists
# each package it turned away with its version, which says why.
file(STRINGS ${prefix}/lib/cmake/Quell/QuellConfigVersion.cmake version_line REGEX "^# Quell [0-9.]+ ")
string(REGEX MATCH "[0-9]+\\.[0-9]+\\.[0-9]+" version "${version_line}")
set(PROJECT_VERSION ${version})
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/QuellArchitectures.cmake)
string(REPLACE "|" ";" others "${OTHER_TOOLCHAINS}")
foreach(other IN LISTS others)
    string(REGEX MATCH "^([a-z0-9]+)=(.*)$" _ "${other}")
    set(other_arch ${CMAKE_MATCH_1})
    set(other_toolchain ${CMAKE_MATCH_2})
    string(CONCAT refusal "version: ${version} for ${QUELL_TITLE_${ARCH}} programs; the consumer is ${QUELL_TITLE_${other_arch}}. "
                          "Use the ${other_arch} package (${QUELL_BUNDLE_${other_arch}}.zip).")
    execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR}/examples/consumer -B ${root}/${other_arch}-consumer
                            -DCMAKE_TOOLCHAIN_FILE=${other_toolchain} -DCMAKE_PREFIX_PATH=${prefix}
                    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    string(REGEX REPLACE "[ \t\n]+" " " flowed "${output}")  # CMake wraps the error's lines
    string(FIND "${flowed}" "${refusal}" at)
    if(result EQUAL 0 OR at EQUAL -1)
        message(FATAL_ERROR "${output}\nthe ${ARCH} package did not refuse a consumer of ${other_arch} with: ${refusal}")
    endif()
    message("Refused as expected: ${refusal}")
endforeach()

# A package of another architecture found first is passed over in silence
# when this one is found after it: here a copy of this package's files whose
# version file claims another architecture.
set(other ${root}/other-prefix/lib/cmake/Quell)
file(COPY ${prefix}/lib/cmake/Quell/ DESTINATION ${other})
if(ARCH STREQUAL "x86")
    set(other_arch x64)
else()
    set(other_arch x86)
endif()
file(READ ${other}/QuellConfigVersion.cmake version_file)
set(claim "_quell_consumer STREQUAL \"${ARCH}\")")
string(FIND "${version_file}" "${claim}" at)
if(at EQUAL -1)
    message(FATAL_ERROR "QuellConfigVersion.cmake has no ${claim}: the test cannot make a package of another architecture")
endif()
string(REPLACE "${claim}" "_quell_consumer STREQUAL \"${other_arch}\")" version_file "${version_file}")
file(WRITE ${other}/QuellConfigVersion.cmake "${version_file}")
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR}/examples/consumer -B ${root}/consumer-after-other
                        -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN} "-DCMAKE_PREFIX_PATH=${root}/other-prefix;${prefix}"
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
file(STRINGS ${root}/consumer-after-other/CMakeCache.txt found REGEX "^Quell_DIR:")
if(NOT result EQUAL 0 OR output MATCHES "Warning|Quell package" OR NOT found STREQUAL "Quell_DIR:PATH=${prefix}/lib/cmake/Quell")
    message(FATAL_ERROR "${output}\n${found}\nfound after a package of the other architecture, the ${ARCH} package "
                        "was not taken in silence")
endif()
message("Taken in silence after a package of the other architecture: ${found}")
