# Installs the build tree into a fresh prefix, checks the layout, then
# configures, builds and runs examples/consumer against it (find_package(Quell)).
# -DBUILD_DIR -DSOURCE_DIR -DTOOLCHAIN -DWINE
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
