# A Wine prefix left half-made by a first start that failed (no
# drive_c/windows/system32/kernel32.dll, and every later start fails) is made
# again, once, with one line that says so, by each maker of prefixes: the Wine
# session script and the end-to-end driver's template. A second failure names
# the prefix and stops. Each maker, in a directory of its own:
# - a new prefix: made, nothing said (or, where its first start failed on a
#   loaded machine, made again with one line);
# - its kernel32.dll deleted: made again, one line says so;
# - its kernel32.dll deleted and a Wine that never makes a prefix: one line says
#   so, a second names the prefix, and nothing goes on.
# -DSOURCE_DIR -DWORK (a directory of its own) -DPYTHON
cmake_policy(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../cmake/QuellRun.cmake)
file(REMOVE_RECURSE ${WORK})
set(kernel32 drive_c/windows/system32/kernel32.dll)

set(broken_wine ${WORK}/broken-wine)
foreach(program wine wineserver)
    file(WRITE ${broken_wine}/${program} "#!/bin/sh\nexit 0\n")
    file(CHMOD ${broken_wine}/${program} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
endforeach()

# The session script takes the prefix of the build tree it runs in, and runs a command that leaves a mark.
set(tree ${WORK}/session)
file(MAKE_DIRECTORY ${tree})
file(TOUCH ${tree}/CMakeCache.txt)
set(session_prefix ${tree}/wineprefix)
set(session_maker ${CMAKE_COMMAND} -E chdir ${tree} ${SOURCE_DIR}/tools/wine-session.sh
                  ${CMAKE_COMMAND} -E touch ${WORK}/ran)
set(template_prefix ${WORK}/e2e/template/prefix)
set(template_maker ${PYTHON} ${SOURCE_DIR}/tests/e2e/e2e_session.py template ${WORK}/e2e)

set(failures "")
foreach(maker IN ITEMS session template)
    set(prefix ${${maker}_prefix})
    # step: what is done to the prefix first; then the lines and the outcome expected.
    foreach(step IN ITEMS new deleted deleted-broken)
        file(REMOVE ${WORK}/ran)
        set(environment ${CMAKE_COMMAND} -E env)
        if(step MATCHES "deleted")
            file(REMOVE ${prefix}/${kernel32})
        endif()
        if(step MATCHES "broken")
            list(APPEND environment "PATH=${broken_wine}:$ENV{PATH}")
        endif()
        execute_process(COMMAND ${environment} ${${maker}_maker}
                        RESULT_VARIABLE result OUTPUT_VARIABLE said ERROR_VARIABLE said)
        string(REGEX MATCHALL "[^\n]*half-made[^\n]*making it again" remade "${said}")
        string(REGEX MATCHALL "[^\n]*cannot make[^\n]*" stopped "${said}")
        list(LENGTH remade remade)
        list(LENGTH stopped stopped)
        set(expected_remade 1)
        set(expected_stopped 0)
        if(step STREQUAL "new")
            set(expected_remade 0)
        endif()
        if(step MATCHES "broken")
            set(expected_stopped 1)
        endif()
        set(seen "")
        # A new prefix's own first start may fail on a loaded machine: then it
        # is made again, as it should be, and says so once.
        if(step STREQUAL "new" AND remade EQUAL 1)
            set(expected_remade 1)
        endif()
        if(NOT remade EQUAL expected_remade)
            string(APPEND seen "${remade} lines say it is made again, not ${expected_remade}; ")
        endif()
        if(NOT stopped EQUAL expected_stopped)
            string(APPEND seen "${stopped} lines say it cannot be made, not ${expected_stopped}; ")
        endif()
        if(step MATCHES "broken")
            if(result EQUAL 0 OR EXISTS ${WORK}/ran)
                string(APPEND seen "went on after the second failure; ")
            endif()
            if(NOT said MATCHES "cannot make[^\n]*${prefix}")
                string(APPEND seen "the prefix is not named; ")
            endif()
        else()
            if(NOT result EQUAL 0 OR NOT EXISTS ${prefix}/${kernel32})
                string(APPEND seen "no prefix made (exit status ${result}); ")
            endif()
            if(maker STREQUAL "session" AND NOT EXISTS ${WORK}/ran)
                string(APPEND seen "the command did not run; ")
            endif()
        endif()
        if(seen)
            string(APPEND failures "${maker}, ${step}: ${seen}output:\n${said}\n")
        else()
            message("${maker}, ${step}: as expected")
        endif()
    endforeach()
endforeach()
if(failures)
    message(FATAL_ERROR "Half-made prefixes:\n${failures}")
endif()
file(REMOVE_RECURSE ${WORK})
