# Runs soapcpp2 at build time, quietly: on success only its warnings are
# shown, on failure everything it said but its banner.
# Called as: cmake -DSOAPCPP2=<tool> -DARGS=<arg>|<arg>|... -P soapcpp2.cmake
string(REPLACE "|" ";" args "${ARGS}")
execute_process(COMMAND ${SOAPCPP2} ${args}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
string(REPLACE "\n" ";" lines "${out}\n${err}")
set(shown "")
foreach(line IN LISTS lines)
    if(line MATCHES "^\\*\\*" OR line STREQUAL "")
        continue()
    endif()
    if(NOT rc EQUAL 0 OR line MATCHES "[Ww]arning")
        string(APPEND shown "${line}\n")
    endif()
endforeach()
if(shown)
    message("${shown}")
endif()
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "soapcpp2 failed (${rc})")
endif()
