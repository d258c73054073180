# Compiler settings shared by every target of the project.

# Warnings as errors for our own code (third-party code such as GoogleTest
# is built with the same sanitizer and ABI flags, but not with these).
add_library(modemdiag_warnings INTERFACE)
target_compile_options(modemdiag_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Werror
    -Wshadow -Wformat=2 -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
    -Wnull-dereference -Wdouble-promotion -Wimplicit-fallthrough)

# Sanitizers apply to everything that is linked together, GoogleTest included,
# so the instrumented and plain code never meet in one process.
if(MODEMDIAG_SANITIZE)
    add_compile_options(-fsanitize=${MODEMDIAG_SANITIZE} -fno-omit-frame-pointer -g)
    add_link_options(-fsanitize=${MODEMDIAG_SANITIZE})
    if(MODEMDIAG_SANITIZE MATCHES "undefined")
        add_compile_options(-fno-sanitize-recover=undefined)
    endif()
endif()

# 64-bit file offsets everywhere: on i386, stat() and readdir() of files on
# large file systems would otherwise fail with EOVERFLOW.
add_compile_definitions(_FILE_OFFSET_BITS=64)

# True when this build makes 32-bit x86 code.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(MODEMDIAG_I386 ON)
else()
    set(MODEMDIAG_I386 OFF)
endif()
