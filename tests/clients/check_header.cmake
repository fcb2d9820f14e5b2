# Compiles header_check.c with one compiler and language standard, three ways:
# Quell.h alone, after the system headers, before them. Warnings are errors.
# -DCOMPILER=command|arguments -DSTANDARD=c99|c++11|... -DINCLUDE=dir -DSOURCE=file
string(REPLACE "|" ";" compiler "${COMPILER}")
set(language)
if(STANDARD MATCHES "\\+\\+")
    set(language -x c++)
endif()
foreach(order 0 1 2)
    execute_process(
        COMMAND ${compiler} ${language} -std=${STANDARD} -Wall -Wextra -pedantic -Werror -fsyntax-only
                -I${INCLUDE} -DQUELL_CHECK_ORDER=${order} ${SOURCE}
        RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "Quell.h does not compile as ${STANDARD} (order ${order}: 0 alone, "
                            "1 after the system headers, 2 before them)")
    endif()
endforeach()
