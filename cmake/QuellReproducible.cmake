# The same sources give the same bytes, whatever the build directory, the time,
# the machine or the form the sources came in. The linker stamps each image
# (its header, its export directory, and so the checksum) with
# SOURCE_DATE_EPOCH when that is set, else with the time of the link: the stamp
# is taken from the sources instead, the first of
# - SOURCE_DATE_EPOCH, when the caller sets it;
# - cmake/source-date-epoch, which git archive fills with the commit's time
#   (export-subst in .gitattributes): an unpacked source archive has no .git;
# - the time of the last commit of the repository whose work tree this is,
#   read even when git would refuse the repository as another user's.
# With none of them the images carry the time of the link: configure says that
# they will not be reproducible, and the release bundles refuse to be made.
# The import libraries and the resources carry no time stamps; the bundles take
# the same time for their entries.
set(QUELL_SOURCE_DATE_EPOCH "")
set(QUELL_SOURCE_DATE_FILE ${PROJECT_SOURCE_DIR}/cmake/source-date-epoch)
set(QUELL_SOURCE_COMMIT_FILE ${PROJECT_SOURCE_DIR}/cmake/source-commit)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${QUELL_SOURCE_DATE_FILE} ${QUELL_SOURCE_COMMIT_FILE})
file(STRINGS ${QUELL_SOURCE_DATE_FILE} archived LIMIT_COUNT 1)
file(STRINGS ${QUELL_SOURCE_COMMIT_FILE} archived_commit LIMIT_COUNT 1)

# Only the repository whose work tree is the source tree (never one that holds
# it, as for an archive unpacked inside another repository), and read even when
# another user owns it: configure runs this tree's own CMake code already, so
# trusting it to name its last commit adds nothing.
set(git "")
find_package(Git QUIET)
if(Git_FOUND)
    get_filename_component(above ${PROJECT_SOURCE_DIR} DIRECTORY)
    set(git ${CMAKE_COMMAND} -E env GIT_CEILING_DIRECTORIES=${above}
            ${GIT_EXECUTABLE} -c safe.directory=* -C ${PROJECT_SOURCE_DIR})
    execute_process(COMMAND ${git} rev-parse --absolute-git-dir
                    OUTPUT_VARIABLE git_dir OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE no_repository
                    ERROR_QUIET)
    if(no_repository)
        set(git "")
    else()
        # A new commit or checkout configures again, so that the time and the commit follow.
        foreach(moved IN ITEMS HEAD logs/HEAD)
            if(EXISTS ${git_dir}/${moved})
                set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${git_dir}/${moved})
            endif()
        endforeach()
    endif()
endif()

if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(QUELL_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
    set(origin "SOURCE_DATE_EPOCH")
    if(NOT QUELL_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
        message(FATAL_ERROR "SOURCE_DATE_EPOCH must be whole seconds since 1970, not '${QUELL_SOURCE_DATE_EPOCH}'")
    endif()
elseif(archived MATCHES "^[0-9]+$")
    set(QUELL_SOURCE_DATE_EPOCH ${archived})
    set(origin "commit time that git archive wrote into cmake/source-date-epoch")
elseif(git)
    execute_process(COMMAND ${git} log -1 --format=%ct
                    OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE git_result ERROR_QUIET)
    if(git_result EQUAL 0 AND commit_time MATCHES "^[0-9]+$")
        set(QUELL_SOURCE_DATE_EPOCH ${commit_time})
        set(origin "last commit")
    endif()
endif()

# The commit the sources are, for the release's packages: the one git archive
# wrote into cmake/source-commit, else the checked-out commit of a work tree
# without changes to its tracked files. None otherwise (changed sources are no
# commit's), and then the packages name none.
set(QUELL_SOURCE_COMMIT "")
if(archived_commit MATCHES "^[0-9a-f]+$")
    set(QUELL_SOURCE_COMMIT ${archived_commit})
elseif(git)
    execute_process(COMMAND ${git} rev-parse --verify HEAD
                    OUTPUT_VARIABLE head OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE git_result ERROR_QUIET)
    execute_process(COMMAND ${git} --no-optional-locks status --porcelain --untracked-files=no
                    OUTPUT_VARIABLE changed RESULT_VARIABLE status_result ERROR_QUIET)
    if(git_result EQUAL 0 AND status_result EQUAL 0 AND changed STREQUAL "" AND head MATCHES "^[0-9a-f]+$")
        set(QUELL_SOURCE_COMMIT ${head})
    endif()
endif()

if(QUELL_SOURCE_DATE_EPOCH STREQUAL "")
    set(QUELL_REPRODUCIBLE OFF)
    message(WARNING "The images will not be reproducible: nothing gives the sources' time (no SOURCE_DATE_EPOCH, "
                    "no commit time in cmake/source-date-epoch, no git commit at ${PROJECT_SOURCE_DIR}), so they "
                    "carry the time of the link. Set SOURCE_DATE_EPOCH to the commit's time; make dist refuses "
                    "until then.")
    # The images of quell_image_flags link with the linker's own time.
    set(QUELL_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env --unset=SOURCE_DATE_EPOCH)
else()
    set(QUELL_REPRODUCIBLE ON)
    message(STATUS "Time stamp of the images: ${QUELL_SOURCE_DATE_EPOCH} (${origin})")
    # The images of quell_image_flags link with that time.
    set(QUELL_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${QUELL_SOURCE_DATE_EPOCH})
endif()

# Paths that a source could name (__FILE__) are written relative to the trees.
foreach(tree IN ITEMS ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR})
    add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${tree}/=>")
endforeach()
