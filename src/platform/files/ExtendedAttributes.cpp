#include "ExtendedAttributes.h"

#include "FileErrors.h"
#include "FourCharCode.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>

namespace {

OSStatus XattrError(int error)
{
    switch (error) {
    case ENODATA:
        return resNotFound;
    case ENOTSUP:
        return wrgVolTypErr;
    case E2BIG:
    case ERANGE:
        return paramErr;
    default:
        return OSErrorFromErrno(error);
    }
}

} // namespace

OSStatus GetExtendedAttribute(const FileRef& file, const char* name, QByteArray& out)
{
    if (!file.IsValid() || !name)
        return paramErr;
    QByteArray path = file.NativePath();
    // The size may change between the two calls; retry until it fits.
    for (int attempt = 0; attempt < 4; ++attempt) {
        ssize_t size = ::lgetxattr(path.constData(), name, nullptr, 0);
        if (size < 0)
            return XattrError(errno);
        QByteArray buffer(qsizetype(size), '\0');
        ssize_t got = ::lgetxattr(path.constData(), name, buffer.data(), size_t(buffer.size()));
        if (got >= 0) {
            buffer.truncate(got);
            out = buffer;
            return noErr;
        }
        if (errno != ERANGE)
            return XattrError(errno);
    }
    return ioErr;
}

OSStatus SetExtendedAttribute(const FileRef& file, const char* name, const QByteArray& value)
{
    if (!file.IsValid() || !name)
        return paramErr;
    if (::lsetxattr(file.NativePath().constData(), name, value.constData(), size_t(value.size()), 0) != 0)
        return XattrError(errno);
    return noErr;
}

OSStatus RemoveExtendedAttribute(const FileRef& file, const char* name)
{
    if (!file.IsValid() || !name)
        return paramErr;
    if (::lremovexattr(file.NativePath().constData(), name) != 0 && errno != ENODATA)
        return XattrError(errno);
    return noErr;
}

OSStatus ListExtendedAttributes(const FileRef& file, QList<QByteArray>& names)
{
    names.clear();
    if (!file.IsValid())
        return paramErr;
    QByteArray path = file.NativePath();
    for (int attempt = 0; attempt < 4; ++attempt) {
        ssize_t size = ::llistxattr(path.constData(), nullptr, 0);
        if (size < 0)
            return XattrError(errno);
        if (size == 0)
            return noErr;
        std::vector<char> buffer(static_cast<size_t>(size));
        ssize_t got = ::llistxattr(path.constData(), buffer.data(), buffer.size());
        if (got >= 0) {
            for (const char *p = buffer.data(), *end = buffer.data() + got; p < end;) {
                size_t length = ::strnlen(p, size_t(end - p));
                if (length > 0)
                    names.append(QByteArray(p, qsizetype(length)));
                p += length + 1;
            }
            return noErr;
        }
        if (errno != ERANGE)
            return XattrError(errno);
    }
    return ioErr;
}

QByteArray FinderInfo::ToBytes() const
{
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), kSize);
}

bool FinderInfo::FromBytes(const QByteArray& data, FinderInfo& out)
{
    if (data.size() != kSize)
        return false;
    std::copy(data.begin(), data.end(), out.bytes.begin());
    return true;
}

UInt32 FinderInfo::Read32(int at) const
{
    return (UInt32(bytes[at]) << 24) | (UInt32(bytes[at + 1]) << 16) | (UInt32(bytes[at + 2]) << 8) | bytes[at + 3];
}

UInt16 FinderInfo::Read16(int at) const
{
    return UInt16((bytes[at] << 8) | bytes[at + 1]);
}

void FinderInfo::Write32(int at, UInt32 value)
{
    bytes[at] = UInt8(value >> 24);
    bytes[at + 1] = UInt8(value >> 16);
    bytes[at + 2] = UInt8(value >> 8);
    bytes[at + 3] = UInt8(value);
}

void FinderInfo::Write16(int at, UInt16 value)
{
    bytes[at] = UInt8(value >> 8);
    bytes[at + 1] = UInt8(value);
}

OSStatus ReadFinderInfo(const FileRef& file, FinderInfo& out)
{
    QByteArray data;
    OSStatus err = GetExtendedAttribute(file, kFinderInfoAttribute, data);
    if (err != noErr)
        return err;
    // A damaged attribute reads as no Finder information rather than as garbage codes.
    return FinderInfo::FromBytes(data, out) ? noErr : resNotFound;
}

OSStatus WriteFinderInfo(const FileRef& file, const FinderInfo& info)
{
    return SetExtendedAttribute(file, kFinderInfoAttribute, info.ToBytes());
}

OSStatus ReadFinderComment(const FileRef& file, QString& out)
{
    QByteArray data;
    OSStatus err = GetExtendedAttribute(file, kCommentAttribute, data);
    if (err == resNotFound) {
        out.clear();
        return noErr;
    }
    if (err == noErr)
        out = QString::fromUtf8(data);
    return err;
}

OSStatus WriteFinderComment(const FileRef& file, const QString& comment)
{
    if (comment.isEmpty())
        return RemoveExtendedAttribute(file, kCommentAttribute);
    return SetExtendedAttribute(file, kCommentAttribute, comment.toUtf8());
}

QByteArray ResourceAttributeName(ResType type, SInt16 id)
{
    QByteArray name(kResourceAttributePrefix);
    for (int shift = 24; shift >= 0; shift -= 8) {
        auto c = char((type >> shift) & 0xFF);
        // Attribute names end at NUL and are split at "."; escape what would confuse them.
        if (c > 0x20 && c < 0x7F && c != '%' && c != '.')
            name += c;
        else
            name += '%' + QByteArray::number(UInt8(c), 16).rightJustified(2, '0').toUpper();
    }
    name += '.' + QByteArray::number(id);
    return name;
}

OSStatus ReadFileResource(const FileRef& file, ResType type, SInt16 id, QByteArray& out)
{
    return GetExtendedAttribute(file, ResourceAttributeName(type, id).constData(), out);
}

OSStatus WriteFileResource(const FileRef& file, ResType type, SInt16 id, const QByteArray& data)
{
    return SetExtendedAttribute(file, ResourceAttributeName(type, id).constData(), data);
}

OSStatus RemoveFileResource(const FileRef& file, ResType type, SInt16 id)
{
    return RemoveExtendedAttribute(file, ResourceAttributeName(type, id).constData());
}

SInt64 ResourceForkSize(const FileRef& file)
{
    QList<QByteArray> names;
    if (ListExtendedAttributes(file, names) != noErr)
        return 0;
    SInt64 total = 0;
    for (const QByteArray& name : names) {
        if (!name.startsWith(kResourceAttributePrefix))
            continue;
        QByteArray value;
        if (GetExtendedAttribute(file, name.constData(), value) == noErr)
            total += value.size();
    }
    return total;
}

OSStatus ReadCreationDate(const FileRef& file, UInt32& utcSeconds1904)
{
    QByteArray data;
    OSStatus err = GetExtendedAttribute(file, kCreationDateAttribute, data);
    if (err == noErr && data.size() == 4) {
        const auto* p = reinterpret_cast<const uchar*>(data.constData());
        utcSeconds1904 = (UInt32(p[0]) << 24) | (UInt32(p[1]) << 16) | (UInt32(p[2]) << 8) | p[3];
        return noErr;
    }
    struct statx stx {};
    if (::statx(AT_FDCWD, file.NativePath().constData(), AT_SYMLINK_NOFOLLOW, STATX_BTIME | STATX_MTIME, &stx) != 0)
        return OSErrorFromErrno(errno);
    SInt64 seconds = (stx.stx_mask & STATX_BTIME) ? stx.stx_btime.tv_sec : stx.stx_mtime.tv_sec;
    utcSeconds1904 = UInt32(std::clamp<SInt64>(seconds + 2082844800, 0, 0xFFFFFFFFLL));
    return noErr;
}

OSStatus WriteCreationDate(const FileRef& file, UInt32 utcSeconds1904)
{
    QByteArray data(4, '\0');
    for (int i = 0; i < 4; ++i)
        data[i] = char((utcSeconds1904 >> (24 - 8 * i)) & 0xFF);
    return SetExtendedAttribute(file, kCreationDateAttribute, data);
}
