#pragma once

#include "MacTypes.h"

// File-system error numbers of the old platform that the file layer returns,
// beside the few the base types already name.
enum : OSStatus {
    dirFulErr = -33,
    dskFulErr = -34,
    nsvErr = -35,
    bdNamErr = -37,
    tmfoErr = -42,
    wPrErr = -44,
    fLckdErr = -45,
    vLckdErr = -46,
    fBsyErr = -47,
    wrgVolTypErr = -123, // the volume does not support the operation (no extended attributes)
    procNotFound = -600,
    notAFileErr = -1302,
    diffVolErr = -1303,
    errFSNotAFolder = -1407,
    errFSNoMoreItems = -1417,
    errFSBadItemCount = -1406,
};

// The code for a POSIX errno value, chosen so that the error texts say the right thing.
OSStatus OSErrorFromErrno(int error);

// The code for the last failed system call (errno).
OSStatus LastOSError();
