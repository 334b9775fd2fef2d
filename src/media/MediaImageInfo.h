#pragma once

#include "GraphicsErrors.h"
#include "MacTypes.h"
#include "PString.h"

#include <QByteArray>

// The 102-byte description record of a medium, as the index item keeps it and
// index.db stores it (big-endian, in this field order).
struct MediaImageInfo {
    static constexpr int kSize = 102;
    static constexpr SInt16 kStillRecordKind = 1;
    static constexpr SInt16 kRawRecordKind = 51;

    SInt16 recordKind = kStillRecordKind; // offset 0
    Str63 name { "-" };                   // 2: Pascal string in 64 bytes
    SInt32 dataSize = 0;                  // 66
    SInt16 width = 0;                     // 70
    SInt16 height = 0;                    // 72
    Fixed hRes = 0;                       // 74
    Fixed vRes = 0;                       // 78
    SInt16 depth = 0;                     // 82
    SInt16 constant12 = 12;               // 84: 12 in every kind
    SInt16 frameCount = 0;                // 86
    SInt32 temporalQuality = 0;           // 88
    SInt32 spatialQuality = 0;            // 92
    UInt8 hasColorProfile = 0;            // 96
    UInt8 zero1 = 0;                      // 97
    SInt32 zero2 = 0;                     // 98

    QByteArray ToBytes() const;
    // Exactly 102 bytes, else badFormat.
    static OSStatus FromBytes(const QByteArray& bytes, MediaImageInfo& out);

    friend bool operator==(const MediaImageInfo&, const MediaImageInfo&) = default;
};
