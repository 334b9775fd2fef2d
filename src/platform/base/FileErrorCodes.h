#pragma once

#include "MacTypes.h"

// File error numbers that the base layer's readers and writers return.
inline constexpr OSStatus fsDataTooBigErr = -26; // a file larger than its reader accepts
inline constexpr OSStatus wPrErr = -44;          // the disk is read-only
inline constexpr OSStatus notAFileErr = -1302;   // a folder, pipe, device or socket where a file was meant
