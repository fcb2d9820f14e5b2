# Builds the shipped binaries again, with the tests off, from the sources in
# each form they reach a builder, in fresh directories of different names and
# lengths, and checks that every build and the build tree under test hold the
# same bytes, that the images carry the time stamp taken from the sources and
# that no binary names a build or source path. The forms:
# - this source tree with SOURCE_DATE_EPOCH set;
# - an unpacked git archive of the sources (no .git: the time is the one git
#   archive wrote into cmake/source-date-epoch);
# - a repository owned by another user, which git refuses to read unless told
#   to (the "dubious ownership" of a clone in a CI container), without
#   SOURCE_DATE_EPOCH.
# The archive and that repository hold the sources as they are now, committed
# with the tree's time in a repository of the test's own: whatever repository
# the sources are in is left alone.
# Last, with nothing that gives a time, configure must say that the images will
# not be reproducible and the release bundle must refuse.
# -DSOURCE_DIR -DBUILD_DIR (the tree under test) -DTOOLCHAIN -DGENERATOR -DEPOCH
set(shipped bin/Quell.dll bin/quell.exe implib/libQuell.dll.a implib/Quell.lib)
set(root ${BUILD_DIR}/reproducible)
file(REMOVE_RECURSE ${root})
file(MAKE_DIRECTORY ${root})

include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/QuellRun.cmake)

if(NOT EPOCH MATCHES "^[0-9]+$")
    message(FATAL_ERROR "Not reproducible: configure found no time for the sources of ${BUILD_DIR}")
endif()

set(configure ${CMAKE_COMMAND} -G ${GENERATOR} -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN} -DCMAKE_BUILD_TYPE=Release
              -DQUELL_BUILD_TESTS=OFF)
set(no_epoch ${CMAKE_COMMAND} -E env --unset=SOURCE_DATE_EPOCH)
# build(tree source environment...): configures and builds the shipped binaries.
function(build tree source)
    run(${ARGN} ${configure} -S ${source} -B ${tree})
    run(${CMAKE_COMMAND} --build ${tree} --parallel 2 --target Quell quell quell_import_libraries)
    set(output "${output}" PARENT_SCOPE)
endfunction()

set(trees ${root}/a)
set(sources ${SOURCE_DIR})
build(${root}/a ${SOURCE_DIR} ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${EPOCH})

find_package(Git QUIET)
if(NOT Git_FOUND)
    message("No git: no archive or repository is made of ${SOURCE_DIR}")
else()
    # A repository of its own, and in it a commit of the sources as they are
    # (committed or not, untracked ones too, less what .gitignore leaves out),
    # dated with the tree's time, cmake/source-date-epoch as git holds it.
    set(repository ${root}/foreign-repository)
    run(${GIT_EXECUTABLE} init --quiet ${repository})
    set(dated ${CMAKE_COMMAND} -E env GIT_INDEX_FILE=${root}/index
              GIT_AUTHOR_NAME=Quell GIT_AUTHOR_EMAIL=build@quell.invalid "GIT_AUTHOR_DATE=@${EPOCH} +0000"
              GIT_COMMITTER_NAME=Quell GIT_COMMITTER_EMAIL=build@quell.invalid "GIT_COMMITTER_DATE=@${EPOCH} +0000"
              ${GIT_EXECUTABLE} --git-dir=${repository}/.git)
    # A build tree in the sources stays out, whatever .gitignore says (git
    # refuses a pathspec that names an ignored path, even to leave it out).
    set(in_sources ${dated} --work-tree=${SOURCE_DIR} -C ${SOURCE_DIR})
    set(leave_out "")
    file(RELATIVE_PATH inside ${SOURCE_DIR} ${BUILD_DIR})
    if(inside AND NOT inside MATCHES "^\\.\\.")
        execute_process(COMMAND ${in_sources} check-ignore --quiet ${inside} RESULT_VARIABLE not_ignored)
        if(not_ignored)
            set(leave_out ":(exclude)${inside}")
        endif()
    endif()
    run(${in_sources} add --all -- . ${leave_out})
    file(WRITE ${root}/source-date-epoch "$Format:%ct$\n")
    run(${dated} hash-object -w ${root}/source-date-epoch)
    string(STRIP "${output}" placeholder)
    run(${dated} update-index --cacheinfo 100644,${placeholder},cmake/source-date-epoch)
    run(${dated} write-tree)
    string(STRIP "${output}" tree)
    run(${dated} commit-tree ${tree} -m "The sources under test")
    string(STRIP "${output}" commit)
    run(${GIT_EXECUTABLE} -C ${repository} checkout --quiet --detach ${commit})

    # The unpacked archive of that commit.
    run(${GIT_EXECUTABLE} -C ${repository} archive --format=tar --output=${root}/sources.tar ${commit})
    file(MAKE_DIRECTORY ${root}/archive)
    run(${CMAKE_COMMAND} -E chdir ${root}/archive ${CMAKE_COMMAND} -E tar xf ${root}/sources.tar)
    list(APPEND trees ${root}/second-build-in-a-longer-directory)
    list(APPEND sources ${root}/archive)
    build(${root}/second-build-in-a-longer-directory ${root}/archive ${no_epoch})

    # The repository as another user's: as root, given to nobody; else git's
    # own switch for that case. No configuration of the caller's may trust it.
    set(foreign ${no_epoch} GIT_CONFIG_NOSYSTEM=1 GIT_CONFIG_GLOBAL=/dev/null)
    execute_process(COMMAND id -u OUTPUT_VARIABLE uid OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(uid STREQUAL "0")
        run(chown -R 65534:65534 ${repository})
    else()
        list(APPEND foreign GIT_TEST_ASSUME_DIFFERENT_OWNER=1)
    endif()
    execute_process(COMMAND ${foreign} ${GIT_EXECUTABLE} -C ${repository} log -1 --format=%ct
                    RESULT_VARIABLE refused OUTPUT_QUIET ERROR_VARIABLE refusal)
    if(NOT refused OR NOT refusal MATCHES "dubious ownership")
        message(FATAL_ERROR "git reads ${repository} as the user's own: ${refusal}")
    endif()
    list(APPEND trees ${root}/foreign-repository-build)
    list(APPEND sources ${repository})
    build(${root}/foreign-repository-build ${repository} ${foreign})

    # Nothing gives a time: the archive without its commit time, out of every repository.
    file(WRITE ${root}/archive/cmake/source-date-epoch "$Format:%ct$\n")
    execute_process(COMMAND ${no_epoch} ${configure} -S ${root}/archive -B ${root}/no-time
                    RESULT_VARIABLE failed OUTPUT_VARIABLE said ERROR_VARIABLE said)
    string(REGEX REPLACE "[ \n]+" " " said "${said}")
    if(failed OR NOT said MATCHES "The images will not be reproducible")
        message(FATAL_ERROR "Configured without a time for the sources, configure did not say that the images "
                            "will not be reproducible:\n${said}")
    endif()
    execute_process(COMMAND ${CMAKE_COMMAND} --build ${root}/no-time --target quell_release_images
                    RESULT_VARIABLE failed OUTPUT_VARIABLE said ERROR_VARIABLE said)
    if(NOT failed OR NOT said MATCHES "No release: nothing gives the sources. time")
        message(FATAL_ERROR "Without a time for the sources, the release bundle was not refused:\n${said}")
    endif()
    message("Without a time for the sources, configure warns and the release bundle refuses")
endif()

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
    foreach(path IN LISTS trees sources ITEMS ${BUILD_DIR})
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
list(JOIN sources ", " from)
message("The same bytes, stamped ${EPOCH}, in ${BUILD_DIR} and fresh builds from ${from}")
file(REMOVE_RECURSE ${root})
