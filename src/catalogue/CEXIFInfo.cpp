#include "CEXIFInfo.h"

#include "ExceptionCode.h"
#include "IIMText.h"
#include "LStream.h"
#include "MacDates.h"
#include "UserData.h"

#include <QDate>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

namespace {

// TIFF field types.
enum ETIFFType : UInt16 {
    kTIFFByte = 1,
    kTIFFASCII = 2,
    kTIFFShort = 3,
    kTIFFLong = 4,
    kTIFFRational = 5,
    kTIFFSByte = 6,
    kTIFFUndefined = 7,
    kTIFFSShort = 8,
    kTIFFSLong = 9,
    kTIFFSRational = 10,
    kTIFFFloat = 11,
    kTIFFDouble = 12,
};

// EXIF tags the record takes.
enum : UInt16 {
    kTagExposureTime = 0x829A,
    kTagFNumber = 0x829D,
    kTagExposureProgram = 0x8822,
    kTagISOSpeedRatings = 0x8827,
    kTagExifVersion = 0x9000,
    kTagDateTimeOriginal = 0x9003,
    kTagDateTimeDigitized = 0x9004,
    kTagCompressedBitsPerPixel = 0x9102,
    kTagShutterSpeedValue = 0x9201,
    kTagApertureValue = 0x9202,
    kTagBrightnessValue = 0x9203,
    kTagExposureBiasValue = 0x9204,
    kTagMaxApertureValue = 0x9205,
    kTagSubjectDistance = 0x9206,
    kTagMeteringMode = 0x9207,
    kTagLightSource = 0x9208,
    kTagFlash = 0x9209,
    kTagFocalLength = 0x920A,
    kTagMakerNote = 0x927C,
    kTagUserComment = 0x9286,
    kTagFlashpixVersion = 0xA000,
    kTagPixelXDimension = 0xA002,
    kTagPixelYDimension = 0xA003,
    kTagRelatedSoundFile = 0xA004,
    kTagExposureIndex = 0xA215,
    kTagSensingMethod = 0xA217,
};
constexpr UInt16 kTIFFTagOrientation = 0x0112;

constexpr OSType kMakeType = UserDataTextType("mak");
constexpr OSType kModelType = UserDataTextType("mod");
constexpr OSType kSoftwareType = UserDataTextType("swr");
constexpr OSType kFormatType = UserDataTextType("fmt");

constexpr int kLongestCommentBytes = 249;

constexpr UInt32 kRationalInfinity = 0xFFFFFFFF;

// Reads the item's bytes as one value of `type`, big-endian. An item too short
// for the type gives 0; nothing past the item is read.
double DecodeValue(const QByteArray& item, UInt16 type)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(item.constData());
    const qsizetype size = item.size();
    auto u16 = [bytes](int at) { return UInt16((bytes[at] << 8) | bytes[at + 1]); };
    auto u32 = [bytes](int at) {
        return (UInt32(bytes[at]) << 24) | (UInt32(bytes[at + 1]) << 16) | (UInt32(bytes[at + 2]) << 8)
            | UInt32(bytes[at + 3]);
    };
    switch (type) {
    case kTIFFByte: return size >= 1 ? double(bytes[0]) : 0;
    case kTIFFSByte: return size >= 1 ? double(SInt8(bytes[0])) : 0;
    case kTIFFShort: return size >= 2 ? double(u16(0)) : 0;
    case kTIFFSShort: return size >= 2 ? double(SInt16(u16(0))) : 0;
    case kTIFFLong: return size >= 4 ? double(u32(0)) : 0;
    case kTIFFSLong: return size >= 4 ? double(SInt32(u32(0))) : 0;
    case kTIFFRational: {
        // Unsigned: 0xFFFFFFFF/1 is the standard's infinity, not -1.
        if (size < 8 || u32(4) == 0)
            return 0;
        if (u32(0) == kRationalInfinity)
            return std::numeric_limits<double>::infinity();
        return double(u32(0)) / double(u32(4));
    }
    case kTIFFSRational: {
        if (size < 8)
            return 0;
        const SInt32 denominator = SInt32(u32(4));
        return denominator == 0 ? 0 : double(SInt32(u32(0))) / double(denominator);
    }
    default: return 0;
    }
}

// Whole-number fields wrap like the platform's integer conversions instead of
// meeting an out-of-range float conversion.
SInt16 ToSInt16(double value)
{
    return SInt16(SInt64(value));
}

UInt32 ToUInt32(double value)
{
    return UInt32(SInt64(value));
}

// UCS-2 text of a UNICODE comment, in the byte order its zero bytes show (the
// importer gives big-endian; a byte-order mark wins).
QString CommentUCS2(const QByteArray& data)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.constData());
    const qsizetype units = data.size() / 2;
    qsizetype highZeros = 0, lowZeros = 0;
    for (qsizetype i = 0; i < units; ++i) {
        highZeros += bytes[2 * i] == 0;
        lowZeros += bytes[2 * i + 1] == 0;
    }
    bool little = lowZeros > highZeros;
    qsizetype start = 0;
    if (units > 0 && ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF))) {
        little = bytes[0] == 0xFF;
        start = 1;
    }
    QString text;
    for (qsizetype i = start; i < units; ++i) {
        const char16_t unit = little ? char16_t(bytes[2 * i] | (bytes[2 * i + 1] << 8))
                                     : char16_t((bytes[2 * i] << 8) | bytes[2 * i + 1]);
        if (unit == 0)
            break;
        text.append(QChar(unit));
    }
    return text;
}

// The bytes up to the first zero or the item's end, at most `limit`. An EXIF
// comment's 8-byte character code ("ASCII" or undefined) is not part of its text;
// a UNICODE comment is UCS-2, kept in the caption form (Mac Roman, references for
// what it lacks) and cut on a whole character.
QByteArray CommentText(const QByteArray& item, int limit)
{
    QByteArray text = item;
    if (text.startsWith(QByteArray("UNICODE\0", 8)))
        return IIMText::CutCaptionBytes(IIMText::CaptionBytesFromText(CommentUCS2(text.mid(8))), limit);
    if (text.startsWith(QByteArray("ASCII\0\0\0", 8)) || text.startsWith(QByteArray(8, '\0')))
        text.remove(0, 8);
    const qsizetype zero = text.indexOf('\0');
    if (zero >= 0)
        text.truncate(zero);
    return text.left(limit);
}

// A maker note read in one byte order; every read outside the note throws.
class NoteReader {
public:
    explicit NoteReader(const QByteArray& note)
        : mStream(note)
    {
    }

    void SetLittleEndian(bool little) { mLittle = little; }
    SInt64 Position() const { return mStream.GetMarker(); }
    void Seek(SInt64 position)
    {
        if (position < 0 || position > mStream.GetLength())
            ThrowOSErr_(eofErr, "maker note offset past its end");
        mStream.SetMarker(position);
    }
    QByteArray Read(SInt64 count) { return mStream.ReadBytes(count); }
    UInt16 ReadU16() { return mLittle ? mStream.ReadUInt16LE() : mStream.ReadUInt16(); }
    UInt32 ReadU32() { return mLittle ? mStream.ReadUInt32LE() : mStream.ReadUInt32(); }

private:
    LDataStream mStream;
    bool mLittle = false;
};

constexpr SInt64 kMakerNoteHeaderSize = 10;
constexpr SInt64 kEntrySize = 12;
constexpr SInt64 kLongestByteValue = 768;
constexpr UInt16 kNikonISOTag = 2;

// Bytes per value of TIFF types 1-12; other types count one byte.
SInt64 UnitSize(UInt16 type)
{
    static const SInt64 kSizes[] = {1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
    return type >= 1 && type <= 12 ? kSizes[type - 1] : 1;
}

} // namespace

CEXIFInfo::CEXIFInfo(UserData* userData)
{
    ThrowIfNil_(userData);
    for (OSType type = userData->GetNextUserDataType(0); type != 0; type = userData->GetNextUserDataType(type)) {
        QByteArray item;
        userData->GetUserData(item, type, 1);
        AddUserDataType(type);
        TakeItem(*userData, type, item);
    }
}

bool CEXIFInfo::HasUserDataType(OSType type) const
{
    return std::find(mTypesSeen.begin(), mTypesSeen.end(), type) != mTypesSeen.end();
}

void CEXIFInfo::AddUserDataType(OSType type)
{
    mTypesSeen.push_back(type);
}

void CEXIFInfo::TakeItem(UserData& userData, OSType type, const QByteArray& item)
{
    auto take = [this](auto& field, auto value) {
        field = value;
        mModified = true;
    };
    auto takeWhileZero = [this](float& field, double value) {
        if (field == 0) {
            field = float(value);
            mModified = true;
        }
    };

    if (type == TIFFUserDataType(kTIFFTagOrientation)) {
        // The tag has one value: four bytes are a LONG that user data kept before
        // values came in their standard type.
        take(mOrientation, ToSInt16(DecodeValue(item, item.size() == 4 ? kTIFFLong : kTIFFShort)));
        return;
    }
    if (IsTextUserDataType(type)) {
        QByteArray text;
        if (userData.GetUserDataText(text, type, 1, 0) != noErr)
            return;
        text.truncate(255);
        switch (type) {
        case kMakeType: mMake.AssignBytes(text); break;
        case kModelType: mModel.AssignBytes(text); break;
        case kSoftwareType: mSoftware.AssignBytes(text); break;
        case kFormatType: mFormat.AssignBytes(text); break;
        default: return;
        }
        mModified = true;
        return;
    }
    if ((type >> 16) != ((OSType('e') << 8) | 'x'))
        return;

    switch (UInt16(type & 0xFFFF)) {
    case kTagExposureTime: takeWhileZero(mExposureTime, DecodeValue(item, kTIFFRational)); break;
    case kTagShutterSpeedValue: {
        const double v = DecodeValue(item, kTIFFSRational);
        takeWhileZero(mExposureTime, 1.0 / std::exp(v * std::log(2.0)));
        break;
    }
    case kTagFNumber: takeWhileZero(mFNumber, DecodeValue(item, kTIFFRational)); break;
    case kTagApertureValue:
        takeWhileZero(mFNumber, std::pow(2.0, DecodeValue(item, kTIFFRational) / 2));
        break;
    case kTagMaxApertureValue:
        take(mMaxAperture, float(std::pow(2.0, DecodeValue(item, kTIFFRational) / 2)));
        break;
    case kTagExposureProgram: take(mExposureProgram, ToSInt16(DecodeValue(item, kTIFFShort))); break;
    case kTagISOSpeedRatings: take(mISOSpeed, ToSInt16(DecodeValue(item, kTIFFShort))); break;
    case kTagExifVersion: SetEXIFVersion(&item); break;
    case kTagFlashpixVersion: SetFlashpixVersion(&item); break;
    case kTagDateTimeOriginal: SetDateTimeOriginal(&item); break;
    case kTagDateTimeDigitized: SetDateTimeDigitized(&item); break;
    case kTagCompressedBitsPerPixel:
        take(mCompressedBitsPerPixel, float(DecodeValue(item, kTIFFRational)));
        break;
    case kTagBrightnessValue: take(mBrightness, float(DecodeValue(item, kTIFFSRational))); break;
    case kTagExposureBiasValue: take(mExposureBias, float(DecodeValue(item, kTIFFSRational))); break;
    case kTagSubjectDistance: take(mSubjectDistance, float(DecodeValue(item, kTIFFRational))); break;
    case kTagMeteringMode: take(mMeteringMode, ToSInt16(DecodeValue(item, kTIFFShort))); break;
    case kTagLightSource: take(mLightSource, ToSInt16(DecodeValue(item, kTIFFShort))); break;
    case kTagFlash: take(mFlashFired, SInt32(SInt64(DecodeValue(item, kTIFFShort))) & 1); break;
    case kTagFocalLength: take(mFocalLength, float(DecodeValue(item, kTIFFRational))); break;
    case kTagMakerNote: WalkMakerNote(userData, item); break;
    case kTagUserComment:
        mUserComment.AssignBytes(CommentText(item, kLongestCommentBytes));
        mModified = true;
        break;
    case kTagRelatedSoundFile:
        mRelatedSoundFile.AssignBytes(CommentText(item, kLongestCommentBytes));
        mModified = true;
        break;
    case kTagPixelXDimension:
    case kTagPixelYDimension: {
        // Files hold these as SHORT or LONG; the importer gives LONGs, a count of
        // them, and an item of 2 bytes is a SHORT.
        const UInt32 value = ToUInt32(DecodeValue(item, item.size() >= 4 ? kTIFFLong : kTIFFShort));
        take(UInt16(type & 0xFFFF) == kTagPixelXDimension ? mPixelXDimension : mPixelYDimension, value);
        break;
    }
    case kTagExposureIndex: take(mExposureIndex, float(DecodeValue(item, kTIFFRational))); break;
    case kTagSensingMethod: take(mSensingMethod, ToSInt16(DecodeValue(item, kTIFFShort))); break;
    default: break;
    }
}

void CEXIFInfo::WalkMakerNote(UserData& userData, const QByteArray& note)
{
    try {
        NoteReader reader(note);
        const QByteArray header = reader.Read(kMakerNoteHeaderSize);
        SInt64 base = 0;
        const bool nikon = header.startsWith(QByteArray("Nikon\0", 6));
        if (nikon) {
            // A TIFF header follows: its byte-order mark governs every number after it.
            base = kMakerNoteHeaderSize;
            const QByteArray order = reader.Read(2);
            if (order == "II")
                reader.SetLittleEndian(true);
            else if (order != "MM")
                return;
            reader.ReadU16();
            const UInt32 offset = reader.ReadU32();
            reader.Seek(base + offset);
        } else if (header.startsWith(QByteArray("OLYMP\0", 6))) {
            reader.Seek(8);
        } else {
            reader.Seek(0);
        }

        const UInt16 entryCount = reader.ReadU16();
        for (UInt16 entry = 0; entry < entryCount; ++entry) {
            const SInt64 start = reader.Position();
            const UInt16 tag = reader.ReadU16();
            const UInt16 type = reader.ReadU16();
            const UInt32 count = reader.ReadU32();
            const SInt64 size = SInt64(count) * UnitSize(type);
            if (size > 4)
                reader.Seek(base + reader.ReadU32());
            switch (type) {
            case kTIFFShort:
            case kTIFFSShort:
                reader.ReadU16();
                if (nikon && tag == kNikonISOTag)
                    TakeMakerNoteISO(userData, reader.ReadU16());
                break;
            case kTIFFByte:
            case kTIFFSByte:
            case kTIFFUndefined: reader.Read(std::min(size, kLongestByteValue)); break;
            case kTIFFLong:
            case kTIFFSLong: reader.ReadU32(); break;
            case kTIFFRational:
            case kTIFFSRational:
                reader.ReadU32();
                reader.ReadU32();
                break;
            default: break;
            }
            reader.Seek(start + kEntrySize);
        }
    } catch (const ExceptionCode&) {
        // A note that runs out ends the walk; the record keeps what it has.
    }
}

void CEXIFInfo::TakeMakerNoteISO(UserData& userData, UInt16 iso)
{
    // The note fills the ISO only where the EXIF data has none: many compacts
    // write 0 there, which must never replace the camera's real speed.
    if (iso == 0)
        return;
    const OSType type = EXIFUserDataType(kTagISOSpeedRatings);
    QByteArray held;
    if (userData.GetUserData(held, type, 1) == noErr && DecodeValue(held, kTIFFShort) != 0)
        return;
    LDataStream isoItem;
    isoItem.WriteUInt16(iso);
    userData.SetUserDataItem(isoItem.Data(), type, 1);
    // An item met before the note was taken as 0; a new one is met later in the walk.
    if (HasUserDataType(type) && mISOSpeed == 0) {
        mISOSpeed = SInt16(iso);
        mModified = true;
    }
}

void CEXIFInfo::SetVersion(Str255& field, const QByteArray* item)
{
    if (!item)
        return;
    QByteArray text = item->left(4);
    // The standard's four ASCII digits; cameras that write other bytes give no version.
    if (text.isEmpty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return;
    if (text.size() >= 2)
        text.insert(2, '.');
    if (text.startsWith('0'))
        text.remove(0, 1);
    if (text.endsWith('0'))
        text.chop(1);
    field.AssignBytes(text);
    mModified = true;
}

void CEXIFInfo::SetDate(UInt32& field, const QByteArray* item)
{
    UInt32 value = 0;
    if (item) {
        const std::string text(item->constData(), size_t(item->size()));
        int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
        const int read = std::sscanf(text.c_str(), "%d:%d:%d %d:%d:%d", &year, &month, &day, &hour, &minute, &second);
        if (read == 6) {
            if (year == 0 && month == 0 && day == 0 && hour == 0 && minute == 0 && second == 0)
                return;
            // Out-of-range fields carry over, as the calendar arithmetic of the
            // platform did (month 13 is January of the next year).
            const QDate date = QDate(year, 1, 1).addMonths(month - 1).addDays(day - 1);
            if (date.isValid()) {
                const SInt64 days = QDate(1904, 1, 1).daysTo(date);
                const SInt64 seconds = days * 86400 + SInt64(hour) * 3600 + SInt64(minute) * 60 + second;
                value = UInt32(std::clamp<SInt64>(seconds, 0, 0xFFFFFFFFLL));
            }
        }
    }
    if (value != field) {
        field = value;
        mModified = true;
    }
}
