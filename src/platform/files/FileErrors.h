#pragma once

#include "FileErrorCodes.h"

// File-system error numbers of the old platform that the file layer returns,
// beside the few the base types already name.
inline constexpr OSStatus dirFulErr = -33;
inline constexpr OSStatus dskFulErr = -34;
inline constexpr OSStatus nsvErr = -35;
inline constexpr OSStatus bdNamErr = -37;
inline constexpr OSStatus tmfoErr = -42;
inline constexpr OSStatus fLckdErr = -45;
inline constexpr OSStatus vLckdErr = -46;
inline constexpr OSStatus fBsyErr = -47;
inline constexpr OSStatus wrgVolTypErr = -123; // the volume does not support the operation (no extended attributes)
inline constexpr OSStatus procNotFound = -600;
inline constexpr OSStatus diffVolErr = -1303;
inline constexpr OSStatus errFSNotAFolder = -1407;
inline constexpr OSStatus errFSNoMoreItems = -1417;
inline constexpr OSStatus errFSBadItemCount = -1406;

// The code for a POSIX errno value, chosen so that the error texts say the right thing.
OSStatus OSErrorFromErrno(int error);

// The code for the last failed system call (errno).
OSStatus LastOSError();
