#include "CQTMovieMedia.h"

#include "ExceptionCode.h"
#include "ExtendedAttributes.h"
#include "FileErrors.h"
#include "MediaFactory.h"
#include "MediaTestSupport.h"
#include "ResourceForkBytes.h"
#include "TestMovies.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>

// System 7 sound files and Sound Designer II files open as sounds: their resources come
// from the file's resource store or from an AppleDouble file beside it.

namespace {

QString WriteBytes(const QString& name, const QByteArray& bytes)
{
    const QString path = TestTempDir() + QLatin1Char('/') + name;
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
}

// A format 2 'snd ' resource: a soundCmd and a standard header of `frames` 8-bit
// samples at 11025 Hz (one second is 11025 frames).
QByteArray SoundResource(UInt32 frames)
{
    QByteArray samples;
    for (UInt32 i = 0; i < frames; ++i)
        samples += char(0x80 + ((i % 40) < 20 ? 50 : -50));
    return BE16(2) + BE16(0) + BE16(1) + BE16(0x8050) + BE16(0) + BE32(14) // format 2, one soundCmd
        + BE32(0) + BE32(frames) + BE32(11025u << 16) + BE32(0) + BE32(0) + QByteArray(1, '\0') + QByteArray(1, 60)
        + samples;
}

QByteArray PascalString(const QByteArray& text)
{
    return char(text.size()) + text;
}

double Seconds(CQTMovieMedia& media)
{
    Movie* movie = media.GetMovie();
    return double(movie->Duration()) / movie->GetTimeScale();
}

bool AttributesWork()
{
    const FileRef probe(WriteBytes(QStringLiteral("probe"), QByteArray("x")));
    return SetExtendedAttribute(probe, "user.orvex.probe", "1") != wrgVolTypErr;
}

} // namespace

TEST(OldPlatformSounds, System7SoundFromAnAppleDoubleFileOrTheResourceStore)
{
    // As an archive unpacks it: an empty file and its AppleDouble companion.
    const QString voice = WriteBytes(QStringLiteral("Voice.snd"), QByteArray());
    WriteBytes(QStringLiteral("._Voice.snd"),
        MakeAppleDouble(MakeResourceFork({ { "snd ", 9000, "Voice", SoundResource(5512) },
            { "snd ", 128, "", SoundResource(11025) } })));
    std::unique_ptr<CMedia> media = CreateMediaForFile(FileUrl(voice));
    auto* sound = dynamic_cast<CQTMovieMedia*>(media.get());
    ASSERT_NE(sound, nullptr);
    EXPECT_TRUE(sound->HasSound());
    Rect box;
    ASSERT_EQ(sound->GetNaturalBounds(&box), noErr);
    EXPECT_TRUE(box.IsEmpty());
    EXPECT_FALSE(sound->HasArea());
    EXPECT_NEAR(Seconds(*sound), 1.0, 0.02); // the lowest ID plays

    if (!AttributesWork())
        GTEST_SKIP() << "the test folder's file system keeps no extended attributes";
    const QString stored = WriteBytes(QStringLiteral("Stored.snd"), QByteArray());
    ASSERT_EQ(WriteFileResource(FileRef(stored), 'snd ', 128, SoundResource(2756)), noErr);
    media = CreateMediaForFile(FileUrl(stored));
    sound = dynamic_cast<CQTMovieMedia*>(media.get());
    ASSERT_NE(sound, nullptr);
    EXPECT_NEAR(Seconds(*sound), 0.25, 0.02);
}

TEST(OldPlatformSounds, SunSoundsWithTheSameExtensionOpenFromTheirData)
{
    const QString au = MakeMediaWithFFmpeg(QStringLiteral("tone.au"),
        { QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), QStringLiteral("sine=frequency=440:duration=0.5") });
    const QString snd = TestTempDir() + QStringLiteral("/tone.snd");
    ASSERT_TRUE(QFile::rename(au, snd));
    std::unique_ptr<CMedia> media = CreateMediaForFile(FileUrl(snd));
    auto* sound = dynamic_cast<CQTMovieMedia*>(media.get());
    ASSERT_NE(sound, nullptr);
    EXPECT_NEAR(Seconds(*sound), 0.5, 0.05);
}

TEST(OldPlatformSounds, SoundDesignerSamplesTakeTheirFormatFromTheStrings)
{
    // 0.5 s of 16-bit stereo at 22050 Hz, big-endian.
    QByteArray samples;
    for (int i = 0; i < 22050 / 2 * 2; ++i)
        samples += BE16(uint16_t(SInt16((i % 100) * 300 - 15000)));
    const QString take = WriteBytes(QStringLiteral("Take 1.sd2"), samples);
    WriteBytes(QStringLiteral("._Take 1.sd2"),
        MakeAppleDouble(MakeResourceFork({ { "STR ", 1000, "sample-size", PascalString("2") },
            { "STR ", 1001, "sample-rate", PascalString("22050.00000") },
            { "STR ", 1002, "channels", PascalString("2") } })));
    std::unique_ptr<CMedia> media = CreateMediaForFile(FileUrl(take));
    auto* sound = dynamic_cast<CQTMovieMedia*>(media.get());
    ASSERT_NE(sound, nullptr);
    EXPECT_TRUE(sound->HasSound());
    EXPECT_NEAR(Seconds(*sound), 0.5, 0.02);

    // The same samples read as mono would last twice as long: the strings are what counts.
    const QString mono = WriteBytes(QStringLiteral("Mono.sd2"), samples);
    WriteBytes(QStringLiteral("._Mono.sd2"),
        MakeAppleDouble(MakeResourceFork({ { "STR ", 1000, "", PascalString("2") },
            { "STR ", 1001, "", PascalString("22050") }, { "STR ", 1002, "", PascalString("1") } })));
    media = CreateMediaForFile(FileUrl(mono));
    ASSERT_NE(dynamic_cast<CQTMovieMedia*>(media.get()), nullptr);
    EXPECT_NEAR(Seconds(*static_cast<CQTMovieMedia*>(media.get())), 1.0, 0.02);
}

TEST(OldPlatformSounds, WithoutTheirResourcesOrWithDamagedOnesTheyGiveCodes)
{
    // Samples whose format went missing when the file was copied.
    const QString bare = WriteBytes(QStringLiteral("Bare.sd2"), QByteArray(4000, '\x10'));
    EXPECT_EQ(CatchCode([&] { CreateMediaForFile(FileUrl(bare)); }), kMediaKindUnavailableErr);
    // A format out of range.
    const QString odd = WriteBytes(QStringLiteral("Odd.sd2"), QByteArray(4000, '\x10'));
    WriteBytes(QStringLiteral("._Odd.sd2"),
        MakeAppleDouble(MakeResourceFork({ { "STR ", 1000, "", PascalString("7") },
            { "STR ", 1001, "", PascalString("22050") }, { "STR ", 1002, "", PascalString("1") } })));
    EXPECT_EQ(CatchCode([&] { CreateMediaForFile(FileUrl(odd)); }), badFormat);
    // A damaged sound resource and a damaged AppleDouble map.
    const QString cut = WriteBytes(QStringLiteral("Cut.snd"), QByteArray());
    WriteBytes(QStringLiteral("._Cut.snd"), MakeAppleDouble(MakeResourceFork({ { "snd ", 128, "", SoundResource(100).left(20) } })));
    EXPECT_EQ(CatchCode([&] { CreateMediaForFile(FileUrl(cut)); }), badFormat);
    const QString broken = WriteBytes(QStringLiteral("Broken.snd"), QByteArray());
    WriteBytes(QStringLiteral("._Broken.snd"), MakeAppleDouble(MakeResourceFork({ { "snd ", 128, "", SoundResource(100) } })).left(60));
    EXPECT_EQ(CatchCode([&] { CreateMediaForFile(FileUrl(broken)); }), kMediaKindUnavailableErr);
}
