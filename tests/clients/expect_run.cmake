# Runs a program under Wine and checks its exact exit status and its output
# (stdout and stderr together) against a regular expression; ctest by itself
# tells only zero from non-zero.
# -DWINE=wine -DPROGRAM=exe -DARGUMENTS=a|b|c -DEXIT=n -DPATTERN=regex
# [-DLINK=path: the program is started through a symbolic link of that name, made afresh]
string(REPLACE "|" ";" arguments "${ARGUMENTS}")
if(LINK)
    get_filename_component(directory ${LINK} DIRECTORY)
    file(MAKE_DIRECTORY ${directory})
    file(REMOVE ${LINK})
    file(CREATE_LINK ${PROGRAM} ${LINK} SYMBOLIC)
    set(PROGRAM ${LINK})
endif()
execute_process(COMMAND ${WINE} ${PROGRAM} ${arguments} RESULT_VARIABLE exit OUTPUT_VARIABLE output
                ERROR_VARIABLE output)
message("${output}")
if(NOT exit STREQUAL EXIT)
    message(FATAL_ERROR "exit status ${exit}, expected ${EXIT}")
endif()
if(NOT output MATCHES "${PATTERN}")
    message(FATAL_ERROR "output does not match: ${PATTERN}")
endif()
