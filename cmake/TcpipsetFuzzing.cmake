# tcpipset_libfuzzer_usable(<var>): sets <var> to TRUE when TCPIPSET_CLANGXX links a
# libFuzzer target with the sanitizers in TCPIPSET_FUZZ_FLAGS. The probe is compiled once
# per configure, however many directories ask.
find_program(TCPIPSET_CLANGXX NAMES clang++ clang++-14)
set(TCPIPSET_FUZZ_FLAGS -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined
                        -fno-sanitize-recover=all -fno-omit-frame-pointer)
set(TCPIPSET_FUZZ_SECONDS 20 CACHE STRING "Length of each bounded libFuzzer pass in seconds")

function(tcpipset_libfuzzer_usable var)
    get_property(probed GLOBAL PROPERTY TCPIPSET_LIBFUZZER_PROBED)
    if(NOT probed)
        set(works FALSE)
        if(TCPIPSET_CLANGXX)
            set(probe ${PROJECT_BINARY_DIR}/libfuzzer-probe.cpp)
            file(WRITE ${probe}
                 "#include <cstddef>\n#include <cstdint>\n"
                 "extern \"C\" int LLVMFuzzerTestOneInput(const std::uint8_t*, std::size_t) "
                 "{ return 0; }\n")
            execute_process(COMMAND ${TCPIPSET_CLANGXX} ${TCPIPSET_FUZZ_FLAGS} ${probe}
                                    -o ${PROJECT_BINARY_DIR}/libfuzzer-probe
                            RESULT_VARIABLE probe_result OUTPUT_QUIET ERROR_QUIET)
            if(probe_result EQUAL 0)
                set(works TRUE)
            endif()
        endif()
        set_property(GLOBAL PROPERTY TCPIPSET_LIBFUZZER_PROBED TRUE)
        set_property(GLOBAL PROPERTY TCPIPSET_LIBFUZZER_WORKS ${works})
    endif()
    get_property(works GLOBAL PROPERTY TCPIPSET_LIBFUZZER_WORKS)
    set(${var} ${works} PARENT_SCOPE)
endfunction()

# tcpipset_fuzz_sources(<sources_var> <headers_var> <libraries...>): the .cpp files and the
# headers of the libraries, for a fuzzer that compiles them again with clang (the main
# build may use another compiler).
function(tcpipset_fuzz_sources sources_var headers_var)
    set(sources)
    set(headers)
    foreach(library ${ARGN})
        get_target_property(library_sources ${library} SOURCES)
        get_target_property(library_dir ${library} SOURCE_DIR)
        list(FILTER library_sources INCLUDE REGEX "\\.cpp$")
        list(TRANSFORM library_sources PREPEND ${library_dir}/)
        file(GLOB library_headers ${library_dir}/*.h)
        list(APPEND sources ${library_sources})
        list(APPEND headers ${library_headers})
    endforeach()
    set(${sources_var} ${sources} PARENT_SCOPE)
    set(${headers_var} ${headers} PARENT_SCOPE)
endfunction()
