# Lays out Quell as a caller gets it, checks the layout, then configures, builds
# and runs examples/consumer against it (find_package(Quell)). Two ways:
# - the install tree: cmake --install into a fresh prefix; a consumer of the
#   other architecture must be turned away, and a package of the other
#   architecture ahead on the search path must be passed over without a word;
# - the release bundle (-DBUNDLE): made twice as make dist makes it, the same
#   bytes both times, and unpacked into a fresh folder.
# -DBUILD_DIR -DSOURCE_DIR -DTOOLCHAIN -DARCH=x86|x64 -DWINE, and either
# -DOTHER_TOOLCHAIN (install tree) or -DBUNDLE=name -DMAKE_BUNDLE=command|arguments (bundle)
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
           bindings/pascal/Quell.pas docs/bindings.md README.md LICENSE CHANGELOG.md)
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
run(${CMAKE_COMMAND} --build ${root}/consumer)
run(${WINE} ${root}/consumer/quell_consumer.exe)
message("${output}")
if(NOT output MATCHES "CheckWindowsNT = -1")
    message(FATAL_ERROR "the consumer did not reach Quell.dll")
endif()
if(BUNDLE)
    return()
endif()

# The refusal names the package's architecture and the consumer's: CMake lists
# each package it turned away with its version, which says why.
file(STRINGS ${prefix}/lib/cmake/Quell/QuellConfigVersion.cmake version_line REGEX "^# Quell [0-9.]+ ")
string(REGEX MATCH "[0-9]+\\.[0-9]+\\.[0-9]+" version "${version_line}")
set(refusal_x86 "version: ${version} for x86 (32-bit) programs; the consumer is x64 (64-bit). Use the x64 package.")
set(refusal_x64 "version: ${version} for x64 (64-bit) programs; the consumer is x86 (32-bit). Use the x86 package.")
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR}/examples/consumer -B ${root}/other-consumer
                        -DCMAKE_TOOLCHAIN_FILE=${OTHER_TOOLCHAIN} -DCMAKE_PREFIX_PATH=${prefix}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
string(REGEX REPLACE "[ \t\n]+" " " flowed "${output}")  # CMake wraps the error's lines
string(FIND "${flowed}" "${refusal_${ARCH}}" at)
if(result EQUAL 0 OR at EQUAL -1)
    message(FATAL_ERROR "${output}\nthe ${ARCH} package did not refuse a consumer of the other architecture "
                        "with: ${refusal_${ARCH}}")
endif()
message("Refused as expected: ${refusal_${ARCH}}")

# A package of the other architecture found first is passed over in silence
# when this one is found after it: here a copy of this package's files whose
# version file claims the other pointer size.
set(other ${root}/other-prefix/lib/cmake/Quell)
file(COPY ${prefix}/lib/cmake/Quell/ DESTINATION ${other})
set(pointer_size_x86 4)
set(pointer_size_x64 8)
if(ARCH STREQUAL "x86")
    set(other_arch x64)
else()
    set(other_arch x86)
endif()
file(READ ${other}/QuellConfigVersion.cmake version_file)
string(REPLACE "CMAKE_SIZEOF_VOID_P EQUAL ${pointer_size_${ARCH}})" "CMAKE_SIZEOF_VOID_P EQUAL ${pointer_size_${other_arch}})"
       version_file "${version_file}")
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
