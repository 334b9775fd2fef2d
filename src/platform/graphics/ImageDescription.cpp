#include "ImageDescription.h"

#include "ExceptionCode.h"
#include "LStream.h"

QByteArray ImageDescription::Extension(OSType type) const
{
    for (const auto& [t, data] : extensions) {
        if (t == type)
            return data;
    }
    return {};
}

void ImageDescription::SetExtension(OSType type, const QByteArray& data)
{
    for (auto& entry : extensions) {
        if (entry.first == type) {
            entry.second = data;
            return;
        }
    }
    extensions.append({ type, data });
}

QByteArray ImageDescription::ToBytes() const
{
    LDataStream s;
    qsizetype extensionBytes = 0;
    for (const auto& e : extensions)
        extensionBytes += 8 + e.second.size();
    s.WriteUInt32(UInt32(kFixedSize + extensionBytes));
    s.WriteUInt32(cType);
    s.WriteUInt32(0); // reserved
    s.WriteUInt16(0); // reserved
    s.WriteUInt16(0); // data reference index
    s.WriteUInt16(UInt16(version));
    s.WriteUInt16(UInt16(revisionLevel));
    s.WriteUInt32(vendor);
    s.WriteUInt32(temporalQuality);
    s.WriteUInt32(spatialQuality);
    s.WriteUInt16(UInt16(width));
    s.WriteUInt16(UInt16(height));
    s.WriteUInt32(UInt32(hRes));
    s.WriteUInt32(UInt32(vRes));
    s.WriteUInt32(UInt32(dataSize));
    s.WriteUInt16(UInt16(frameCount));
    unsigned char nameField[32] = {};
    std::memcpy(nameField, name.Data(), size_t(name.Length()) + 1);
    s.WriteBlock(nameField, 32);
    s.WriteUInt16(UInt16(depth));
    s.WriteUInt16(UInt16(clutID));
    for (const auto& [type, data] : extensions) {
        s.WriteUInt32(UInt32(8 + data.size()));
        s.WriteUInt32(type);
        s.WriteBytes(data);
    }
    return s.TakeData();
}

ImageDescription ImageDescription::FromBytes(const QByteArray& bytes)
{
    ImageDescription d;
    try {
        LDataStream s(bytes);
        UInt32 idSize = s.ReadUInt32();
        if (idSize < kFixedSize || idSize > UInt32(bytes.size()))
            ThrowOSErr_(codecBadDataErr, "image description size " + std::to_string(idSize));
        d.cType = s.ReadUInt32();
        s.Skip(8);
        d.version = s.ReadSInt16();
        d.revisionLevel = s.ReadSInt16();
        d.vendor = s.ReadUInt32();
        d.temporalQuality = s.ReadUInt32();
        d.spatialQuality = s.ReadUInt32();
        d.width = s.ReadSInt16();
        d.height = s.ReadSInt16();
        d.hRes = s.ReadSInt32();
        d.vRes = s.ReadSInt32();
        d.dataSize = s.ReadSInt32();
        d.frameCount = s.ReadSInt16();
        QByteArray nameField = s.ReadBytes(32);
        d.name.AssignBytes(nameField.constData() + 1, std::min<int>(UInt8(nameField[0]), 31));
        d.depth = s.ReadSInt16();
        d.clutID = s.ReadSInt16();
        // Extension atoms fill the rest of idSize; one that overruns it ends the list.
        while (s.GetMarker() + 8 <= SInt64(idSize)) {
            UInt32 size = s.ReadUInt32();
            OSType type = s.ReadUInt32();
            if (size < 8 || s.GetMarker() - 8 + size > idSize)
                break;
            d.extensions.append({ type, s.ReadBytes(size - 8) });
        }
    } catch (const ExceptionCode& e) {
        if (e.Code() == eofErr)
            ThrowOSErr_(codecBadDataErr, "image description truncated");
        throw;
    }
    return d;
}
