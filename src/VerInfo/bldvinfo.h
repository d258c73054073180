// bldvinfo.h - build part of the package version.
#pragma once

// Build text: the plug-in build, then the driver release it was made for.
static const char* const VER_BUILD_TEXT = "72_3.5.22.3";
