#include "FinderPreview.h"

#include "ExceptionCode.h"
#include "ExtendedAttributes.h"
#include "LStream.h"
#include "MacDates.h"

#include <algorithm>

QList<SInt16> FileResourceIDs(const FileRef& file, ResType type)
{
    QList<SInt16> ids;
    QList<QByteArray> names;
    if (ListExtendedAttributes(file, names) != noErr)
        return ids;
    QByteArray prefix = ResourceAttributeName(type, 0);
    prefix.chop(1); // "user.orvex.rsrc.TYPE."
    for (const QByteArray& name : names) {
        if (!name.startsWith(prefix))
            continue;
        bool ok = false;
        const int id = name.mid(prefix.size()).toInt(&ok);
        if (ok && id >= -32768 && id <= 32767)
            ids.append(SInt16(id));
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

OSStatus ReadFilePreview(const FileRef& file, Picture& out)
{
    out = Picture();
    const QList<SInt16> lists = FileResourceIDs(file, kPreviewListType);
    const QList<SInt16> pictures = FileResourceIDs(file, 'PICT');
    if (lists.isEmpty() || pictures.isEmpty())
        return resNotFound;
    QByteArray list;
    if (OSStatus status = ReadFileResource(file, kPreviewListType, lists.first(), list); status != noErr)
        return status;
    QByteArray data;
    OSStatus status = resNotFound;
    if (list.size() >= kPreviewEntrySize) {
        LDataStream entry(list);
        entry.SetMarker(kPreviewEntryTypeOffset);
        const OSType type = entry.ReadUInt32();
        const SInt16 id = SInt16(entry.ReadUInt16());
        if (type == 'PICT')
            status = ReadFileResource(file, 'PICT', id, data);
    }
    if (status == resNotFound)
        status = ReadFileResource(file, 'PICT', pictures.first(), data);
    if (status != noErr)
        return status;
    if (data.isEmpty())
        return resNotFound;
    out = Picture(data);
    return noErr;
}

OSStatus AddFilePreview(const FileRef& file, const Picture& picture)
{
    if (picture.IsNull())
        return err_NilPointer;
    return CatchCode([&] {
        ThrowIfOSErr_(WriteFileResource(file, 'PICT', kPreviewPictureID, picture.Data()));
        LDataStream list;
        list.WriteUInt32(GetDateTimeNow());
        list.WriteUInt16(0); // version
        list.WriteUInt32('PICT');
        list.WriteUInt16(UInt16(kPreviewPictureID));
        ThrowIfOSErr_(WriteFileResource(file, kPreviewListType, kPreviewListID, list.Data()));
    });
}
