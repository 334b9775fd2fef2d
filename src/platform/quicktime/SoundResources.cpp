#include "SoundResources.h"

#include "ExceptionCode.h"
#include "FourCharCode.h"
#include "GraphicsErrors.h"
#include "LStream.h"
#include "MacRoman.h"

#include <QtEndian>

#include <cmath>
#include <cstring>

namespace SoundResources {
namespace {

// 'snd ' resource layout.
constexpr int kFormat1 = 1;
constexpr int kFormat2 = 2;
constexpr int kCommandSize = 8; // cmd, param1, param2
constexpr UInt16 kDataOffsetFlag = 0x8000; // param2 is an offset into the resource
constexpr UInt16 kSoundCmd = 80;
constexpr UInt16 kBufferCmd = 81;

// Sound header encodings and layouts.
constexpr UInt8 kStandardHeader = 0x00;
constexpr UInt8 kExtendedHeader = 0xFF;
constexpr UInt8 kCompressedHeader = 0xFE;
constexpr int kStandardHeaderSize = 22;
constexpr int kExtendedHeaderSize = 64;
constexpr int kCompressedHeaderSize = 64;
constexpr SInt16 kThreeToOne = 3; // MACE 3:1
constexpr SInt16 kSixToOne = 4; // MACE 6:1

// Sound Designer II format strings.
constexpr SInt16 kSampleSizeString = 1000;
constexpr SInt16 kSampleRateString = 1001;
constexpr SInt16 kChannelsString = 1002;

constexpr int kMaxChannels = 64;

UInt32 Read32(const QByteArray& bytes, qint64 offset)
{
    return qFromBigEndian<quint32>(bytes.constData() + offset);
}

UInt16 Read16(const QByteArray& bytes, qint64 offset)
{
    return qFromBigEndian<quint16>(bytes.constData() + offset);
}

[[noreturn]] void ThrowBadSound(const std::string& what)
{
    ThrowOSErr_(badFormat, "'snd ' resource: " + what);
}

// Bytes of one frame (or packet, for compressed data) of each channel; 0 when unknown.
int BytesPerFrame(OSType compression, int sampleSize)
{
    switch (compression) {
    case 'NONE':
    case 'twos':
    case 'sowt':
    case 'raw ':
        return (sampleSize + 7) / 8;
    case 'ulaw':
    case 'alaw':
        return 1;
    case 'ima4':
        return 34; // 64 samples in a packet
    case 'MAC3':
        return 2; // 6 samples
    case 'MAC6':
        return 1;
    case 'fl32':
        return 4;
    case 'fl64':
        return 8;
    default:
        return 0;
    }
}

// Keeps the whole frames the data holds, at most `frames`; none is a damaged sound.
void TakeSamples(SampledSound& sound, const QByteArray& resource, qint64 offset, UInt32 frames)
{
    const int frameBytes = BytesPerFrame(sound.compression, sound.sampleSize) * sound.channels;
    if (frameBytes <= 0)
        ThrowOSErr_(cantFindHandler, "'snd ' resource: compression " + FourCharCodeToString(sound.compression));
    const qint64 available = (resource.size() - offset) / frameBytes;
    sound.frames = UInt32(std::min<qint64>(frames, available));
    if (sound.frames == 0)
        ThrowBadSound("no samples after its header");
    sound.data = resource.mid(offset, qint64(sound.frames) * frameBytes);
    // 8-bit samples here are offset binary; AIFF's are signed.
    if (sound.compression == 'raw ' || (sound.compression == 'NONE' && sound.sampleSize == 8)) {
        for (char& c : sound.data)
            c = char(UInt8(c) ^ 0x80);
        sound.compression = 'NONE';
    }
}

double RateFromFixed(UInt32 fixed)
{
    return double(fixed) / 65536.0;
}

// The 80-bit extended float AIFF keeps its sample rate in.
QByteArray Extended80(double value)
{
    QByteArray out(10, '\0');
    if (value <= 0)
        return out;
    int exponent = 0;
    const double mantissa = std::frexp(value, &exponent); // value = mantissa * 2^exponent, 0.5 <= m < 1
    const UInt16 biased = UInt16(exponent - 1 + 16383);
    const quint64 bits = quint64(std::ldexp(mantissa, 64));
    qToBigEndian<quint16>(biased, out.data());
    qToBigEndian<quint64>(bits, out.data() + 2);
    return out;
}

QString PascalStringResource(const ResourceEntry& resource)
{
    if (resource.data.isEmpty() || UInt8(resource.data[0]) > resource.data.size() - 1)
        ThrowOSErr_(badFormat, "'STR ' resource " + std::to_string(resource.id) + " is not a string");
    return MacRoman::Decode(resource.data.mid(1, UInt8(resource.data[0]))).trimmed();
}

} // namespace

SampledSound ParseSoundResource(const QByteArray& resource)
{
    const qint64 size = resource.size();
    if (size < 6)
        ThrowBadSound("shorter than its header");
    const int format = Read16(resource, 0);
    qint64 at = 2;
    if (format == kFormat1) {
        const int dataFormats = Read16(resource, at);
        at += 2 + qint64(dataFormats) * 6; // data format ID and init option each
    } else if (format == kFormat2) {
        at += 2; // reference count
    } else {
        ThrowBadSound("format " + std::to_string(format));
    }
    if (at + 2 > size)
        ThrowBadSound("data formats beyond the resource");
    const int commands = Read16(resource, at);
    at += 2;
    if (at + qint64(commands) * kCommandSize > size)
        ThrowBadSound(std::to_string(commands) + " commands beyond the resource");
    qint64 header = -1;
    for (int i = 0; i < commands && header < 0; ++i) {
        const qint64 command = at + qint64(i) * kCommandSize;
        const UInt16 cmd = Read16(resource, command);
        const UInt16 code = cmd & UInt16(~kDataOffsetFlag);
        if ((cmd & kDataOffsetFlag) && (code == kSoundCmd || code == kBufferCmd))
            header = Read32(resource, command + 4);
    }
    if (header < 0)
        ThrowBadSound("no sound or buffer command");
    if (header + kStandardHeaderSize > size)
        ThrowBadSound("sound header beyond the resource");

    SampledSound sound;
    sound.sampleRate = RateFromFixed(Read32(resource, header + 8));
    const UInt8 encoding = UInt8(resource[header + 20]);
    if (sound.sampleRate <= 0)
        ThrowBadSound("sample rate 0");
    switch (encoding) {
    case kStandardHeader:
        sound.channels = 1;
        sound.sampleSize = 8;
        sound.compression = 'raw ';
        TakeSamples(sound, resource, header + kStandardHeaderSize, Read32(resource, header + 4));
        break;
    case kExtendedHeader:
    case kCompressedHeader: {
        if (header + kExtendedHeaderSize > size)
            ThrowBadSound("extended sound header beyond the resource");
        sound.channels = int(Read32(resource, header + 4));
        if (sound.channels < 1 || sound.channels > kMaxChannels)
            ThrowBadSound(std::to_string(sound.channels) + " channels");
        const UInt32 frames = Read32(resource, header + 22);
        if (encoding == kExtendedHeader) {
            sound.sampleSize = Read16(resource, header + 48);
            sound.compression = sound.sampleSize == 8 ? 'raw ' : 'NONE';
        } else {
            const SInt16 compressionID = SInt16(Read16(resource, header + 56));
            sound.sampleSize = Read16(resource, header + 62);
            sound.compression = compressionID == kThreeToOne ? 'MAC3'
                : compressionID == kSixToOne                 ? 'MAC6'
                : compressionID == 0                         ? (sound.sampleSize == 8 ? 'raw ' : 'NONE')
                                                             : Read32(resource, header + 40);
        }
        if (sound.sampleSize != 8 && sound.sampleSize != 16 && sound.sampleSize != 24 && sound.sampleSize != 32)
            ThrowBadSound(std::to_string(sound.sampleSize) + "-bit samples");
        TakeSamples(sound, resource, header + kCompressedHeaderSize, frames);
        break;
    }
    default:
        ThrowBadSound("sound header encoding " + std::to_string(encoding));
    }
    return sound;
}

SampledSound SoundDesignerIIFormat(const std::vector<ResourceEntry>& strings)
{
    auto value = [&](SInt16 id) {
        for (const ResourceEntry& resource : strings)
            if (resource.type == kStringResourceType && resource.id == id)
                return PascalStringResource(resource);
        ThrowOSErr_(resNotFound, "Sound Designer II file without 'STR ' " + std::to_string(id));
    };
    bool sizeOk = false, rateOk = false, channelsOk = false;
    const int bytes = value(kSampleSizeString).toInt(&sizeOk);
    const double rate = value(kSampleRateString).toDouble(&rateOk);
    const int channels = value(kChannelsString).toInt(&channelsOk);
    if (!sizeOk || bytes < 1 || bytes > 4 || !rateOk || rate <= 0 || rate > 1e6 || !channelsOk || channels < 1
        || channels > kMaxChannels)
        ThrowOSErr_(badFormat, "Sound Designer II format out of range");
    SampledSound sound;
    sound.channels = channels;
    sound.sampleSize = bytes * 8;
    sound.sampleRate = rate;
    sound.compression = 'NONE'; // big-endian signed, as AIFF
    return sound;
}

QByteArray WriteAIFF(const SampledSound& sound)
{
    const bool compressed = sound.compression != 'NONE';
    LDataStream comm;
    comm.WriteUInt16(UInt16(sound.channels));
    comm.WriteUInt32(sound.frames);
    comm.WriteUInt16(UInt16(sound.sampleSize));
    comm.WriteBytes(Extended80(sound.sampleRate));
    if (compressed) {
        comm.WriteUInt32(sound.compression);
        comm.WriteUInt16(0); // empty name, padded to an even length
    }
    LDataStream form;
    form.WriteBytes(compressed ? "AIFC" : "AIFF");
    if (compressed) {
        form.WriteBytes("FVER");
        form.WriteUInt32(4);
        form.WriteUInt32(0xA2805140); // AIFF-C version 1
    }
    form.WriteBytes("COMM");
    form.WriteUInt32(UInt32(comm.GetLength()));
    form.WriteBytes(comm.Data());
    form.WriteBytes("SSND");
    form.WriteUInt32(UInt32(8 + sound.data.size()));
    form.WriteUInt32(0); // offset
    form.WriteUInt32(0); // block size
    form.WriteBytes(sound.data);
    if (sound.data.size() % 2)
        form.WriteBytes(QByteArray(1, '\0'));
    LDataStream file;
    file.WriteBytes("FORM");
    file.WriteUInt32(UInt32(form.GetLength()));
    file.WriteBytes(form.Data());
    return file.TakeData();
}

} // namespace SoundResources
