// verinfo.cpp - prints the package version as a line of C source for the build.
#include <cstdio>

#include "bldvinfo.h"
#include "verinfo.h"

// Also linked into the plug-in, where it is exported under its plain name.
__attribute__((visibility("default"))) int main()
{
    std::printf("static const char * const VL_D_Version_%d_%d_%d_%s = \"%s\";\n", VER_MAJOR, VER_MINOR,
                VER_SUBMINOR, VER_BUILD_TEXT, VER_FULL_TEXT);
    return 0;
}
