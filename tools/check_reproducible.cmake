# Builds the shipped binaries twice, in two fresh directories of different
# names and lengths, with the tests off, and checks that both builds and the
# build tree under test hold the same bytes, that the images carry the time
# stamp taken from the sources and that no binary names a build or source path.
# -DSOURCE_DIR -DBUILD_DIR (the tree under test) -DTOOLCHAIN -DGENERATOR -DEPOCH
set(shipped bin/Quell.dll bin/quell.exe implib/libQuell.dll.a implib/Quell.lib)
set(root ${BUILD_DIR}/reproducible)
set(trees ${root}/a ${root}/second-build-in-a-longer-directory)
file(REMOVE_RECURSE ${root})

include(${CMAKE_CURRENT_LIST_DIR}/../cmake/QuellRun.cmake)

# The tree's own time stamp, whatever SOURCE_DATE_EPOCH says in the test's environment.
foreach(tree IN LISTS trees)
    run(${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${EPOCH}
        ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${tree} -G ${GENERATOR} -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN}
        -DCMAKE_BUILD_TYPE=Release -DQUELL_BUILD_TESTS=OFF)
    run(${CMAKE_COMMAND} --build ${tree} --parallel 2 --target Quell quell quell_import_libraries)
endforeach()

# A little-endian 32-bit word of a file.
function(word_at file offset out)
    file(READ ${file} bytes OFFSET ${offset} LIMIT 4 HEX)
    string(REGEX REPLACE "(..)(..)(..)(..)" "\\4\\3\\2\\1" bytes "${bytes}")
    math(EXPR value "0x${bytes}" OUTPUT_FORMAT DECIMAL)
    set(${out} ${value} PARENT_SCOPE)
endfunction()

set(failures "")
list(GET trees 0 first)
foreach(file IN LISTS shipped)
    file(SHA256 ${first}/${file} hash)
    message("${hash}  ${file}")
    foreach(other IN LISTS trees ITEMS ${BUILD_DIR})
        execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${first}/${file} ${other}/${file}
                        RESULT_VARIABLE different)
        if(different)
            string(APPEND failures "${file} differs between ${first} and ${other}\n")
        endif()
    endforeach()
    file(STRINGS ${first}/${file} texts)
    foreach(path IN LISTS trees ITEMS ${BUILD_DIR} ${SOURCE_DIR})
        string(FIND "${texts}" "${path}" at)
        if(NOT at EQUAL -1)
            string(APPEND failures "${file} names ${path}\n")
        endif()
    endforeach()
    if(file MATCHES "\\.(dll|exe)$")
        word_at(${first}/${file} 60 header)       # e_lfanew
        math(EXPR stamp_at "${header} + 8")       # TimeDateStamp of the file header
        word_at(${first}/${file} ${stamp_at} stamp)
        if(NOT stamp EQUAL EPOCH)
            string(APPEND failures "${file} is stamped ${stamp}, not ${EPOCH}\n")
        endif()
    endif()
endforeach()
if(failures)
    message(FATAL_ERROR "Not reproducible:\n${failures}")
endif()
message("Two fresh builds and ${BUILD_DIR} hold the same bytes, stamped ${EPOCH}")
file(REMOVE_RECURSE ${root})
