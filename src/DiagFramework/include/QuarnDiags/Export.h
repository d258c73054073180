// Export.h - visibility macro of the host framework's public interface.
#pragma once

#define QUARNDIAGS_API __attribute__((visibility("default")))
