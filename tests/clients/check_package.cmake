# Installs the build tree into a fresh prefix, checks the layout, then
# configures, builds and runs examples/consumer against it (find_package(Quell)),
# and checks that a consumer of the other architecture is turned away.
# -DBUILD_DIR -DSOURCE_DIR -DTOOLCHAIN -DARCH=x86|x64 -DOTHER_TOOLCHAIN -DWINE
set(root ${BUILD_DIR}/package-test)
set(prefix ${root}/prefix)
file(REMOVE_RECURSE ${root})

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${output}\nfailed (${result}): ${ARGN}")
    endif()
    set(output "${output}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(file bin/Quell.dll bin/quell.exe include/Quell.h lib/libQuell.dll.a lib/Quell.lib lib/Quell.def
             lib/cmake/Quell/QuellConfig.cmake lib/cmake/Quell/QuellConfigVersion.cmake)
    if(NOT EXISTS ${prefix}/${file})
        message(FATAL_ERROR "cmake --install did not lay out ${file}")
    endif()
endforeach()

run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/examples/consumer -B ${root}/consumer -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN}
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${root}/consumer)
run(${WINE} ${root}/consumer/quell_consumer.exe)
message("${output}")
if(NOT output MATCHES "CheckWindowsNT = -1")
    message(FATAL_ERROR "the consumer did not reach Quell.dll")
endif()

# The refusal names the package's architecture and the consumer's.
set(refusal_x86 "This Quell package is for x86 (32-bit) programs; the consumer is x64 (64-bit). Use the x64 package.")
set(refusal_x64 "This Quell package is for x64 (64-bit) programs; the consumer is x86 (32-bit). Use the x86 package.")
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR}/examples/consumer -B ${root}/other-consumer
                        -DCMAKE_TOOLCHAIN_FILE=${OTHER_TOOLCHAIN} -DCMAKE_PREFIX_PATH=${prefix}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
string(REGEX REPLACE "[ \t\n]+" " " flowed "${output}")  # CMake wraps the warning's lines
string(FIND "${flowed}" "${refusal_${ARCH}}" at)
if(result EQUAL 0 OR at EQUAL -1)
    message(FATAL_ERROR "${output}\nthe ${ARCH} package did not refuse a consumer of the other architecture "
                        "with: ${refusal_${ARCH}}")
endif()
message("Refused as expected: ${refusal_${ARCH}}")
