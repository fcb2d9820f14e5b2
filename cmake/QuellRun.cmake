# run(command...): for the test scripts (cmake -P). Runs a command, fails the
# script with its output when it fails, and leaves that output in ${output}.
function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${output}\nfailed (${result}): ${ARGN}")
    endif()
    set(output "${output}" PARENT_SCOPE)
endfunction()
