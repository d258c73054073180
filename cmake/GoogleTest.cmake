# GoogleTest built from Debian's source package with this build's own flags,
# so that the i386 and sanitizer builds link a matching copy.
set(MODEMDIAG_GTEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest source tree")
if(NOT EXISTS "${MODEMDIAG_GTEST_SOURCE}/CMakeLists.txt")
    message(FATAL_ERROR "GoogleTest sources not found in ${MODEMDIAG_GTEST_SOURCE}; "
                        "install Debian's googletest package (scripts/test does it when run as root)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory("${MODEMDIAG_GTEST_SOURCE}" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)
include(GoogleTest)
