#pragma once

#include "GraphicsErrors.h"
#include "MacTypes.h"
#include "PString.h"

#include <QByteArray>
#include <QList>
#include <QRgb>
#include <utility>

// What an importer knows of one image, in the layout of the old platform's
// image description: an 86-byte record, then extension atoms (size, type, data).
struct ImageDescription {
    static constexpr int kFixedSize = 86;

    OSType cType = 0;          // codec ('jpeg', 'raw ', ...)
    SInt16 version = 1;
    SInt16 revisionLevel = 1;
    OSType vendor = 0;
    CodecQ temporalQuality = 0;
    CodecQ spatialQuality = 0;
    SInt16 width = 0;
    SInt16 height = 0;
    Fixed hRes = 72 << 16;
    Fixed vRes = 72 << 16;
    SInt32 dataSize = 0;
    SInt16 frameCount = 1;
    Str31 name;                // the codec's name
    SInt16 depth = 32;         // 1..32; 40 for 8-bit grey
    SInt16 clutID = -1;

    // Not part of the stored record: what the importer adds beside it.
    QList<QRgb> colorTable;    // the image's palette, empty when it has none
    bool sixteenBitsPerChannel = false;
    QList<std::pair<OSType, QByteArray>> extensions;

    bool HasColorTable() const { return !colorTable.isEmpty(); }
    QByteArray Extension(OSType type) const;
    void SetExtension(OSType type, const QByteArray& data);

    // The stored form (idSize first); ToBytes writes the extensions after the record.
    QByteArray ToBytes() const;
    // Parses a stored record; throws codecBadDataErr when it is short or its sizes lie.
    static ImageDescription FromBytes(const QByteArray& bytes);
};
