#include "MediaImageInfo.h"

#include "LStream.h"

QByteArray MediaImageInfo::ToBytes() const
{
    LDataStream s;
    s << recordKind;
    unsigned char nameField[64] = {};
    std::memcpy(nameField, name.Data(), size_t(name.Length()) + 1);
    s.WriteBlock(nameField, 64);
    s << dataSize << width << height << hRes << vRes << depth << constant12 << frameCount << temporalQuality
      << spatialQuality << hasColorProfile << zero1 << zero2;
    return s.TakeData();
}

OSStatus MediaImageInfo::FromBytes(const QByteArray& bytes, MediaImageInfo& out)
{
    if (bytes.size() != kSize)
        return badFormat;
    return CatchCode([&] {
        LDataStream s(bytes);
        MediaImageInfo info;
        s >> info.recordKind;
        QByteArray nameField = s.ReadBytes(64);
        info.name.AssignBytes(nameField.constData() + 1, std::min<int>(UInt8(nameField[0]), 63));
        s >> info.dataSize >> info.width >> info.height >> info.hRes >> info.vRes >> info.depth >> info.constant12
            >> info.frameCount >> info.temporalQuality >> info.spatialQuality >> info.hasColorProfile >> info.zero1
            >> info.zero2;
        out = info;
    });
}
