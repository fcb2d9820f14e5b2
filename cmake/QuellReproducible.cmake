# The same sources give the same bytes, whatever the build directory, the time
# or the machine. The linker stamps each image (its header, its export
# directory, and so the checksum) with SOURCE_DATE_EPOCH when that is set, else
# with the time of the link: the stamp is taken from the sources instead, that
# is SOURCE_DATE_EPOCH when the caller sets it, else the time of the last
# commit, else 0. The import libraries and the resources carry no time stamps;
# the bundles take the same time for their entries.
set(QUELL_SOURCE_DATE_EPOCH 0)
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(QUELL_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
    set(origin "SOURCE_DATE_EPOCH")
else()
    set(origin "no commit found")
    find_package(Git QUIET)
    if(Git_FOUND)
        execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
                        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                        OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE
                        RESULT_VARIABLE git_result ERROR_QUIET)
        execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --absolute-git-dir
                        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                        OUTPUT_VARIABLE git_dir OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        if(git_result EQUAL 0 AND commit_time MATCHES "^[0-9]+$")
            set(QUELL_SOURCE_DATE_EPOCH ${commit_time})
            set(origin "last commit")
            # A new commit or checkout configures again, so that the stamp follows.
            foreach(moved IN ITEMS HEAD logs/HEAD)
                if(EXISTS ${git_dir}/${moved})
                    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${git_dir}/${moved})
                endif()
            endforeach()
        endif()
    endif()
endif()
if(NOT QUELL_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
    message(FATAL_ERROR "SOURCE_DATE_EPOCH must be whole seconds since 1970, not '${QUELL_SOURCE_DATE_EPOCH}'")
endif()
message(STATUS "Time stamp of the images: ${QUELL_SOURCE_DATE_EPOCH} (${origin})")

# The images of quell_image_flags link with that time (0: no time stamp at all).
set(QUELL_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${QUELL_SOURCE_DATE_EPOCH})

# Paths that a source could name (__FILE__) are written relative to the trees.
foreach(tree IN ITEMS ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR})
    add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${tree}/=>")
endforeach()
