# Warning and sanitizer flags, given to every target of the project through one
# interface library rather than directory-wide flags.
add_library(tcpipset_build_flags INTERFACE)
target_compile_options(tcpipset_build_flags INTERFACE -Wall -Wextra -Wpedantic -Wshadow
                       -Wconversion -Wsign-conversion -Wnon-virtual-dtor -Wold-style-cast)
if(TCPIPSET_WERROR)
    target_compile_options(tcpipset_build_flags INTERFACE -Werror)
endif()
if(TCPIPSET_SANITIZE)
    set(TCPIPSET_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all
                                 -fno-omit-frame-pointer)
    target_compile_options(tcpipset_build_flags INTERFACE ${TCPIPSET_SANITIZER_FLAGS})
    target_link_options(tcpipset_build_flags INTERFACE ${TCPIPSET_SANITIZER_FLAGS})
endif()
# Outside the sanitizer build, the hardening that Debian builds its packages with: string
# and memory functions checked where the optimiser knows the sizes (so only in optimised
# builds), a canary on the stack, and relocations made read-only before main runs.
if(NOT TCPIPSET_SANITIZE)
    target_compile_definitions(tcpipset_build_flags INTERFACE
        $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
    target_compile_options(tcpipset_build_flags INTERFACE -fstack-protector-strong)
    target_link_options(tcpipset_build_flags INTERFACE LINKER:-z,relro LINKER:-z,now)
endif()
