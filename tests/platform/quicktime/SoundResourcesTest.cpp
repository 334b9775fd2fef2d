#include "SoundResources.h"

#include "ExceptionCode.h"
#include "GraphicsErrors.h"
#include "LStream.h"
#include "Movie.h"

#include <gtest/gtest.h>

using namespace SoundResources;

namespace {

// A format 1 'snd ' resource: one data format (sampled sound), one bufferCmd pointing
// at the header that follows.
QByteArray Format1(const QByteArray& header)
{
    LDataStream s;
    s.WriteUInt16(1); // format
    s.WriteUInt16(1); // data formats
    s.WriteUInt16(5); // sampledSynth
    s.WriteUInt32(0x80); // initMono
    s.WriteUInt16(1); // commands
    s.WriteUInt16(0x8051); // bufferCmd, param2 an offset
    s.WriteUInt16(0);
    s.WriteUInt32(20); // the header follows at byte 20
    s.WriteBytes(header);
    return s.TakeData();
}

// A standard sound header: 8-bit mono, offset-binary samples.
QByteArray StandardHeader(UInt32 rateFixed, const QByteArray& samples, UInt32 length)
{
    LDataStream s;
    s.WriteUInt32(0); // samplePtr: the samples follow
    s.WriteUInt32(length);
    s.WriteUInt32(rateFixed);
    s.WriteUInt32(0); // loop start
    s.WriteUInt32(0); // loop end
    s.WriteUInt8(0x00); // standard encoding
    s.WriteUInt8(60); // base frequency
    s.WriteBytes(samples);
    return s.TakeData();
}

// An extended (0xFF) or compressed (0xFE) sound header.
QByteArray WideHeader(UInt8 encoding, UInt32 channels, UInt32 rateFixed, UInt32 frames, UInt16 sampleSize,
    OSType format, SInt16 compressionID, const QByteArray& samples)
{
    LDataStream s;
    s.WriteUInt32(0);
    s.WriteUInt32(channels);
    s.WriteUInt32(rateFixed);
    s.WriteUInt32(0);
    s.WriteUInt32(0);
    s.WriteUInt8(encoding);
    s.WriteUInt8(60);
    s.WriteUInt32(frames);
    s.WriteBytes(QByteArray(10, '\0')); // AIFF sample rate, not consulted
    s.WriteUInt32(0); // marker chunk
    if (encoding == 0xFF) {
        s.WriteUInt32(0); // instrument chunks
        s.WriteUInt32(0); // AES recording
        s.WriteUInt16(sampleSize);
        s.WriteUInt16(0);
        s.WriteBytes(QByteArray(12, '\0'));
    } else {
        s.WriteUInt32(format);
        s.WriteUInt32(0); // future use
        s.WriteUInt32(0); // state variables
        s.WriteUInt32(0); // left-over samples
        s.WriteUInt16(UInt16(compressionID));
        s.WriteUInt16(0); // packet size
        s.WriteUInt16(0); // synthesizer
        s.WriteUInt16(sampleSize);
    }
    s.WriteBytes(samples);
    return s.TakeData();
}

OSStatus ParseCode(const QByteArray& resource)
{
    return CatchCode([&] { ParseSoundResource(resource); });
}

QByteArray Bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out += char(v);
    return out;
}

} // namespace

TEST(SoundResources, StandardHeaderBecomesSignedEightBitAIFFByteForByte)
{
    const QByteArray samples = Bytes({ 0x80, 0xFF, 0x00, 0x7F });
    const SampledSound sound = ParseSoundResource(Format1(StandardHeader(0x56220000, samples, 4)));
    EXPECT_EQ(sound.channels, 1);
    EXPECT_EQ(sound.sampleSize, 8);
    EXPECT_DOUBLE_EQ(sound.sampleRate, 22050.0);
    EXPECT_EQ(sound.compression, OSType('NONE'));
    EXPECT_EQ(sound.frames, 4u);
    EXPECT_EQ(sound.data, Bytes({ 0x00, 0x7F, 0x80, 0xFF })); // offset binary to signed

    const QByteArray expected = QByteArray("FORM") + Bytes({ 0, 0, 0, 50 }) + "AIFF"
        + "COMM" + Bytes({ 0, 0, 0, 18, 0, 1, 0, 0, 0, 4, 0, 8 })
        + Bytes({ 0x40, 0x0D, 0xAC, 0x44, 0, 0, 0, 0, 0, 0 }) // 22050 as an 80-bit extended
        + "SSND" + Bytes({ 0, 0, 0, 12, 0, 0, 0, 0, 0, 0, 0, 0 }) + Bytes({ 0x00, 0x7F, 0x80, 0xFF });
    EXPECT_EQ(WriteAIFF(sound), expected);
}

TEST(SoundResources, ExtendedAndCompressedHeadersOpenAsSounds)
{
    // Format 2, extended header: 16-bit stereo at 11025 Hz, 2205 frames (0.2 s).
    QByteArray stereo;
    for (int i = 0; i < 2205 * 2; ++i) {
        const SInt16 v = SInt16((i * 37) % 20000 - 10000);
        stereo += char(v >> 8);
        stereo += char(v & 0xFF);
    }
    LDataStream format2;
    format2.WriteUInt16(2);
    format2.WriteUInt16(0); // reference count
    format2.WriteUInt16(1);
    format2.WriteUInt16(0x8050); // soundCmd
    format2.WriteUInt16(0);
    format2.WriteUInt32(14);
    format2.WriteBytes(WideHeader(0xFF, 2, 11025u << 16, 2205, 16, 0, 0, stereo));
    const SampledSound wide = ParseSoundResource(format2.Data());
    EXPECT_EQ(wide.channels, 2);
    EXPECT_EQ(wide.sampleSize, 16);
    EXPECT_EQ(wide.frames, 2205u);
    EXPECT_EQ(wide.data, stereo);
    auto movie = Movie::OpenData(WriteAIFF(wide), QStringLiteral("stereo.snd"));
    EXPECT_TRUE(movie->HasAudio());
    EXPECT_FALSE(movie->HasVideo());
    EXPECT_TRUE(movie->NaturalBox().IsEmpty());
    EXPECT_NEAR(double(movie->Duration()) / movie->GetTimeScale(), 0.2, 0.01);

    // Compressed header, mu-law mono at 8000 Hz: an AIFF-C that names its compression.
    const SampledSound law = ParseSoundResource(Format1(WideHeader(0xFE, 1, 8000u << 16, 800, 16, 'ulaw', -1, QByteArray(800, '\x55'))));
    EXPECT_EQ(law.compression, OSType('ulaw'));
    const QByteArray aifc = WriteAIFF(law);
    EXPECT_EQ(aifc.mid(8, 4), QByteArray("AIFC"));
    EXPECT_TRUE(aifc.contains("ulaw"));
    auto lawMovie = Movie::OpenData(aifc, QStringLiteral("law.snd"));
    EXPECT_NEAR(double(lawMovie->Duration()) / lawMovie->GetTimeScale(), 0.1, 0.01);

    // MACE is named by its compression ID rather than its format field.
    EXPECT_EQ(ParseSoundResource(Format1(WideHeader(0xFE, 1, 22050u << 16, 10, 8, 0, 3, QByteArray(20, '\0')))).compression,
        OSType('MAC3'));
}

TEST(SoundResources, DamagedResourcesNameTheirFault)
{
    const QByteArray good = Format1(StandardHeader(0x56220000, QByteArray(100, '\x80'), 100));
    for (int cut : { 0, 5, 12, 19, 30 })
        EXPECT_EQ(ParseCode(good.left(cut)), badFormat) << cut;
    // Fewer samples than the header counts: what is there is kept.
    EXPECT_EQ(ParseSoundResource(good.left(good.size() - 40)).frames, 60u);

    QByteArray noCommand = good;
    noCommand[12] = 0; // bufferCmd without its offset flag
    EXPECT_EQ(ParseCode(noCommand), badFormat);
    QByteArray farHeader = good;
    farHeader[19] = char(0xF0);
    EXPECT_EQ(ParseCode(farHeader), badFormat);
    QByteArray format3 = good;
    format3[1] = 3;
    EXPECT_EQ(ParseCode(format3), badFormat);
    EXPECT_EQ(ParseCode(Format1(WideHeader(0xFF, 0, 22050u << 16, 10, 16, 0, 0, QByteArray(40, '\0')))), badFormat);
    EXPECT_EQ(ParseCode(Format1(WideHeader(0xFF, 1, 0, 10, 16, 0, 0, QByteArray(40, '\0')))), badFormat);
    EXPECT_EQ(ParseCode(Format1(WideHeader(0xFF, 1, 22050u << 16, 10, 12, 0, 0, QByteArray(40, '\0')))), badFormat);
    EXPECT_EQ(ParseCode(Format1(WideHeader(0xFE, 1, 22050u << 16, 10, 16, 'what', -1, QByteArray(40, '\0')))),
        cantFindHandler);
    QByteArray encoding = good;
    encoding[20 + 20] = 0x42;
    EXPECT_EQ(ParseCode(encoding), badFormat);
}

TEST(SoundResources, SoundDesignerFormatComesFromItsStrings)
{
    auto str = [](SInt16 id, const QByteArray& text) {
        return ResourceEntry { 'STR ', id, QString(), char(text.size()) + text };
    };
    const SampledSound sound = SoundDesignerIIFormat({ str(1000, "3"), str(1001, "48000.00000"), str(1002, "2") });
    EXPECT_EQ(sound.sampleSize, 24);
    EXPECT_DOUBLE_EQ(sound.sampleRate, 48000.0);
    EXPECT_EQ(sound.channels, 2);

    EXPECT_EQ(OSStatus(CatchCode([&] { SoundDesignerIIFormat({ str(1000, "2"), str(1001, "44100") }); })), resNotFound);
    EXPECT_EQ(OSStatus(CatchCode([&] { SoundDesignerIIFormat({ str(1000, "9"), str(1001, "44100"), str(1002, "2") }); })),
        badFormat);
    EXPECT_EQ(OSStatus(CatchCode([&] { SoundDesignerIIFormat({ str(1000, "2"), str(1001, "fast"), str(1002, "2") }); })),
        badFormat);
    ResourceEntry broken { 'STR ', 1002, QString(), QByteArray("\x09" "2", 2) }; // length beyond its data
    EXPECT_EQ(OSStatus(CatchCode([&] { SoundDesignerIIFormat({ str(1000, "2"), str(1001, "44100"), broken }); })),
        badFormat);
}

TEST(SoundResources, EveryCutAndRandomDamageGivesASoundOrACode)
{
    QByteArray stereo(400, '\x11');
    const QByteArray resources[] = {
        Format1(StandardHeader(0x56220000, QByteArray(64, '\x80'), 64)),
        Format1(WideHeader(0xFF, 2, 11025u << 16, 100, 16, 0, 0, stereo)),
        Format1(WideHeader(0xFE, 1, 8000u << 16, 200, 16, 'ima4', -1, stereo)),
    };
    quint32 seed = 7;
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    for (const QByteArray& resource : resources) {
        for (qsizetype cut = 0; cut < resource.size(); ++cut) {
            const OSStatus status = ParseCode(resource.left(cut));
            EXPECT_TRUE(status == noErr || status == badFormat) << cut << " " << status;
        }
        for (int round = 0; round < 300; ++round) {
            QByteArray damaged = resource;
            for (int flips = 0; flips < 4; ++flips)
                damaged[qsizetype(next() % quint32(damaged.size()))] = char(next() >> 24);
            SampledSound sound;
            const OSStatus status = CatchCode([&] { sound = ParseSoundResource(damaged); });
            if (status == noErr) {
                // What parses holds no more samples than the resource had.
                EXPECT_LE(sound.data.size(), damaged.size());
                EXPECT_GT(sound.frames, 0u);
                EXPECT_FALSE(WriteAIFF(sound).isEmpty());
            } else {
                EXPECT_TRUE(status == badFormat || status == cantFindHandler) << status;
            }
        }
    }
}
