#include "StoredResolution.h"

#include <cmath>
#include <cstdint>

namespace {

constexpr double kCentimetresPerInch = 2.54;
constexpr double kInchesPerMetre = 0.0254;

// TIFF tags and units.
constexpr uint16_t kTagXResolution = 0x011A;
constexpr uint16_t kTagYResolution = 0x011B;
constexpr uint16_t kTagResolutionUnit = 0x0128;
constexpr uint16_t kTypeShort = 3;
constexpr uint16_t kTypeRational = 5;
constexpr uint16_t kUnitNone = 1;
constexpr uint16_t kUnitInch = 2;
constexpr uint16_t kUnitCentimetre = 3;

// JFIF density units.
constexpr uint8_t kJfifDotsPerInch = 1;
constexpr uint8_t kJfifDotsPerCentimetre = 2;
constexpr uint8_t kPngUnitMetre = 1;

// Bounded reads of a byte range; every read outside it gives false.
class Bytes {
public:
    Bytes(const QByteArray& data, qsizetype begin, qsizetype end, bool little = false)
        : mData(data)
        , mBegin(begin)
        , mEnd(end)
        , mLittle(little)
    {
    }
    bool Has(qsizetype at, qsizetype count) const { return at >= 0 && count >= 0 && at <= mEnd - mBegin - count; }
    uint8_t U8(qsizetype at) const { return uint8_t(mData[mBegin + at]); }
    uint16_t U16(qsizetype at) const
    {
        return mLittle ? uint16_t(U8(at) | (U8(at + 1) << 8)) : uint16_t((U8(at) << 8) | U8(at + 1));
    }
    uint32_t U32(qsizetype at) const
    {
        return mLittle ? uint32_t(U16(at)) | (uint32_t(U16(at + 2)) << 16)
                       : (uint32_t(U16(at)) << 16) | uint32_t(U16(at + 2));
    }

private:
    const QByteArray& mData;
    qsizetype mBegin;
    qsizetype mEnd;
    bool mLittle;
};

// Dots per inch from a metric density: integer pixels per metre cannot say 72
// exactly (2835 is 72.009), so the result keeps the tenths the unit can tell.
double FromMetric(double perUnit, double inchesPerUnit)
{
    return std::round(perUnit * inchesPerUnit * 10) / 10;
}

StoredResolution Stored(double h, double v)
{
    if (!(h > 0) || !(v > 0) || !std::isfinite(h) || !std::isfinite(v))
        return {StoredResolution::kNone, 0, 0};
    return {StoredResolution::kStored, h, v};
}

// A TIFF structure (a TIFF file, or the EXIF block of a JPEG) from `begin` to `end`.
StoredResolution TiffResolution(const QByteArray& data, qsizetype begin, qsizetype end)
{
    if (end - begin < 8)
        return {StoredResolution::kNone};
    const bool little = data[begin] == 'I' && data[begin + 1] == 'I';
    if (!little && !(data[begin] == 'M' && data[begin + 1] == 'M'))
        return {StoredResolution::kNone};
    const Bytes b(data, begin, end, little);
    const qsizetype ifd = b.U32(4);
    if (!b.Has(ifd, 2))
        return {StoredResolution::kNone};
    const int count = b.U16(ifd);
    double x = 0, y = 0;
    uint16_t unit = kUnitInch; // the standard's default
    for (int i = 0; i < count; ++i) {
        const qsizetype entry = ifd + 2 + qsizetype(i) * 12;
        if (!b.Has(entry, 12))
            break;
        const uint16_t tag = b.U16(entry);
        const uint16_t type = b.U16(entry + 2);
        if (tag == kTagResolutionUnit && type == kTypeShort) {
            unit = b.U16(entry + 8);
        } else if ((tag == kTagXResolution || tag == kTagYResolution) && type == kTypeRational) {
            const qsizetype at = b.U32(entry + 8);
            if (!b.Has(at, 8) || b.U32(at + 4) == 0)
                continue;
            (tag == kTagXResolution ? x : y) = double(b.U32(at)) / double(b.U32(at + 4));
        }
    }
    if (unit == kUnitNone || x <= 0 || y <= 0)
        return {StoredResolution::kNone};
    if (unit == kUnitCentimetre)
        return Stored(std::round(x * kCentimetresPerInch * 100) / 100, std::round(y * kCentimetresPerInch * 100) / 100);
    return unit == kUnitInch ? Stored(x, y) : StoredResolution {StoredResolution::kNone};
}

StoredResolution JpegResolution(const QByteArray& d)
{
    StoredResolution exif {StoredResolution::kNone};
    const Bytes b(d, 0, d.size());
    qsizetype pos = 2;
    while (b.Has(pos, 4) && b.U8(pos) == 0xFF) {
        const uint8_t marker = b.U8(pos + 1);
        if (marker == 0xFF) {
            ++pos;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9)
            break; // the metadata segments come before the scan
        const qsizetype length = b.U16(pos + 2);
        const qsizetype body = pos + 4;
        const qsizetype bodyEnd = pos + 2 + length;
        if (length < 2 || !b.Has(pos + 2, length))
            break;
        if (marker == 0xE0 && bodyEnd - body >= 12 && d.mid(body, 5) == QByteArray("JFIF\0", 5)) {
            const uint8_t units = b.U8(body + 7);
            const double x = b.U16(body + 8);
            const double y = b.U16(body + 10);
            if (units == kJfifDotsPerInch)
                return Stored(x, y);
            if (units == kJfifDotsPerCentimetre)
                return Stored(FromMetric(x, kCentimetresPerInch), FromMetric(y, kCentimetresPerInch));
        } else if (marker == 0xE1 && exif.state == StoredResolution::kNone && bodyEnd - body > 6
            && d.mid(body, 6) == QByteArray("Exif\0\0", 6)) {
            exif = TiffResolution(d, body + 6, bodyEnd);
        }
        pos = bodyEnd;
    }
    return exif;
}

StoredResolution PngResolution(const QByteArray& d)
{
    const Bytes b(d, 0, d.size());
    qsizetype pos = 8;
    while (b.Has(pos, 8)) {
        const qsizetype length = b.U32(pos);
        const QByteArray type = d.mid(pos + 4, 4);
        if (type == "IDAT" || type == "IEND" || !b.Has(pos + 8, length))
            break; // pHYs comes before the image data
        if (type == "pHYs" && length >= 9) {
            if (b.U8(pos + 16) != kPngUnitMetre)
                return {StoredResolution::kNone};
            return Stored(FromMetric(b.U32(pos + 8), kInchesPerMetre), FromMetric(b.U32(pos + 12), kInchesPerMetre));
        }
        pos += 12 + length;
    }
    return {StoredResolution::kNone};
}

StoredResolution BmpResolution(const QByteArray& d)
{
    constexpr qsizetype kInfoHeader = 14;
    constexpr qsizetype kSmallestInfoWithDensity = 40;
    const Bytes b(d, 0, d.size(), true);
    if (!b.Has(kInfoHeader, kSmallestInfoWithDensity) || b.U32(kInfoHeader) < kSmallestInfoWithDensity)
        return {StoredResolution::kNone};
    const auto x = int32_t(b.U32(kInfoHeader + 24));
    const auto y = int32_t(b.U32(kInfoHeader + 28));
    return Stored(FromMetric(x, kInchesPerMetre), FromMetric(y, kInchesPerMetre));
}

} // namespace

StoredResolution ReadStoredResolution(const QByteArray& data)
{
    if (data.startsWith("\xFF\xD8"))
        return JpegResolution(data);
    if (data.startsWith("\x89PNG\r\n\x1A\n"))
        return PngResolution(data);
    if (data.startsWith(QByteArray("II*\0", 4)) || data.startsWith(QByteArray("MM\0*", 4)))
        return TiffResolution(data, 0, data.size());
    if (data.startsWith("BM"))
        return BmpResolution(data);
    return {};
}
