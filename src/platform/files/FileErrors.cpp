#include "FileErrors.h"

#include <cerrno>

OSStatus OSErrorFromErrno(int error)
{
    switch (error) {
    case 0:
        return noErr;
    case ENOENT:
        return fnfErr;
    case ENOTDIR:
        return dirNFErr;
    case EEXIST:
        return dupFNErr;
    case EACCES:
    case EPERM:
        return permErr;
    case EROFS:
        return wPrErr;
    case ENOSPC:
    case EDQUOT:
        return dskFulErr;
    case ENAMETOOLONG:
        return bdNamErr;
    case EBUSY:
    case ENOTEMPTY:
    case ETXTBSY:
        return fBsyErr;
    case EXDEV:
        return diffVolErr;
    case ENOMEM:
        return memFullErr;
    case ENOTSUP:
        return wrgVolTypErr;
    case EISDIR:
        return notAFileErr;
    case EMFILE:
    case ENFILE:
        return tmfoErr;
    case EINVAL:
    case ELOOP:
        return paramErr;
    default:
        return ioErr;
    }
}

OSStatus LastOSError()
{
    return OSErrorFromErrno(errno);
}
