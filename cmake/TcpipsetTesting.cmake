find_package(GTest REQUIRED)
include(GoogleTest)

# tcpipset_add_gtest(<name> SOURCES <files...> LIBS <targets...> [ENVIRONMENT <k=v...>]
#                    [LABELS <labels...>] [TIMEOUT <seconds>])
# ENVIRONMENT takes one variable: discovered tests cannot carry a list-valued property.
# One test executable; every TEST in it becomes a ctest case of its own.
function(tcpipset_add_gtest name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;ENVIRONMENT;LABELS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main
                                          tcpipset_build_flags)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    set(props TIMEOUT ${ARG_TIMEOUT})
    list(LENGTH ARG_ENVIRONMENT environmentCount)
    if(environmentCount GREATER 1)
        message(FATAL_ERROR "tcpipset_add_gtest(${name}): ENVIRONMENT takes one variable")
    endif()
    if(ARG_ENVIRONMENT)
        list(APPEND props ENVIRONMENT "${ARG_ENVIRONMENT}")
    endif()
    if(ARG_LABELS)
        list(APPEND props LABELS "${ARG_LABELS}")
    endif()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()
