// verinfo.h - package version numbers.
#pragma once

static const int VER_MAJOR = 3;
static const int VER_MINOR = 0;
static const int VER_SUBMINOR = 0;

// The three numbers joined by ".", then "." and the build text.
static const char* const VER_FULL_TEXT = "3.0.0.72_3.5.22.3";
