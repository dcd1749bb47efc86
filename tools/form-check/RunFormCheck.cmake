# Runs form-check on DESCRIPTION and compares with the expectation next to it:
#   KIND good: exit code 0 and standard output equal to LINKS when given, else to DESCRIPTION
#              with ".links" instead of ".form" (an empty output when that file is absent);
#   KIND bad:  exit code 1 and standard error equal to the first line of the ".error" file,
#              with FILE standing for the description's path.
execute_process(COMMAND ${PROGRAM} ${DESCRIPTION} RESULT_VARIABLE code OUTPUT_VARIABLE out
                ERROR_VARIABLE err)
string(REGEX REPLACE "\\.form$" "" base ${DESCRIPTION})
if(KIND STREQUAL "good")
    set(expected "")
    if(NOT LINKS)
        set(LINKS ${base}.links)
    endif()
    if(EXISTS ${LINKS})
        file(READ ${LINKS} expected)
    endif()
    if(NOT code EQUAL 0 OR NOT out STREQUAL expected)
        message(FATAL_ERROR "form-check ${DESCRIPTION}: exit ${code}\n${err}\ngot:\n${out}\nexpected:\n${expected}")
    endif()
else()
    file(STRINGS ${base}.error expected LIMIT_COUNT 1)
    string(REPLACE "FILE" "${DESCRIPTION}" expected "${expected}")
    string(STRIP "${err}" err)
    if(NOT code EQUAL 1 OR NOT err STREQUAL expected)
        message(FATAL_ERROR "form-check ${DESCRIPTION}: exit ${code}\ngot: ${err}\nexpected: ${expected}")
    endif()
endif()
