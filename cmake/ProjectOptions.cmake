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

# Hardened binaries: stack protector, FORTIFY, x86 control-flow protection,
# full RELRO with immediate binding, and position-independent executables.
# FORTIFY only works on optimised code, and the sanitizers and libFuzzer
# bring checks of their own, so Debug, sanitizer and fuzz builds stay plain
# unless asked.
if(CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$"
   AND NOT MODEMDIAG_SANITIZE AND NOT MODEMDIAG_BUILD_FUZZ)
    set(modemdiag_harden_default ON)
else()
    set(modemdiag_harden_default OFF)
endif()
option(MODEMDIAG_HARDEN "Build with the hardening flags (needs an optimised build type)"
       ${modemdiag_harden_default})

if(MODEMDIAG_HARDEN)
    if(NOT CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$")
        message(FATAL_ERROR "MODEMDIAG_HARDEN needs an optimised build type: "
                            "_FORTIFY_SOURCE does nothing without optimisation")
    endif()
    include(CheckPIESupported)
    check_pie_supported(LANGUAGES C CXX)
    # Some toolchains predefine another FORTIFY level; this one wins.
    add_compile_options(-fstack-protector-strong -U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2)
    if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64|i[3-6]86|x86)$")
        add_compile_options(-fcf-protection)
    endif()
    add_link_options(-Wl,-z,relro,-z,now)
endif()
