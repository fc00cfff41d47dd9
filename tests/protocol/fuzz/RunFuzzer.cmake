# One bounded libFuzzer pass: the saved corpus is copied into WORK_DIR first, so that the
# inputs the pass adds stay in the build tree and the committed corpus is left as it is.
foreach(var FUZZER CORPUS WORK_DIR SECONDS)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "RunFuzzer.cmake needs -D${var}=...")
    endif()
endforeach()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR}/corpus ${WORK_DIR}/artifacts)
file(COPY ${CORPUS}/ DESTINATION ${WORK_DIR}/corpus)

execute_process(
    COMMAND ${FUZZER} -max_total_time=${SECONDS} -timeout=10 -rss_limit_mb=1024
            -print_final_stats=1 -artifact_prefix=${WORK_DIR}/artifacts/
            ${WORK_DIR}/corpus
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "fuzzing found a failure (exit ${result}); see ${WORK_DIR}/artifacts")
endif()
