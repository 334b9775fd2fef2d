#include "Movie.h"

#include "ExceptionCode.h"
#include "GraphicsErrors.h"
#include "MacRoman.h"
#include "TestMovies.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QtEndian>

#include <gtest/gtest.h>

namespace {

constexpr OSType CType(const char* letters)
{
    return (OSType(0xA9) << 24) | (OSType((unsigned char)letters[0]) << 16) | (OSType((unsigned char)letters[1]) << 8)
        | OSType((unsigned char)letters[2]);
}

QString MakeMedia(const QString& name, const QStringList& arguments)
{
    return MakeMediaWithFFmpeg(name, arguments);
}

const QStringList kRedThenBlue = RedThenBlueVideo();
// Left half red, right half blue, one second.
const QStringList kRedLeftBlueRight = { "-filter_complex",
    "color=blue:s=160x120:r=10:d=1[b];color=red:s=80x120:r=10:d=1[r];[b][r]overlay=0:0[v]", "-map", "[v]" };
const QStringList kTone = ToneAudio();

void ExpectColour(const Offscreen& world, int x, int y, QRgb expected)
{
    const QRgb got = world.Image().pixel(x, y);
    EXPECT_NEAR(qRed(got), qRed(expected), 40) << "at " << x << "," << y;
    EXPECT_NEAR(qGreen(got), qGreen(expected), 40) << "at " << x << "," << y;
    EXPECT_NEAR(qBlue(got), qBlue(expected), 40) << "at " << x << "," << y;
}

// Writes a quarter-turn display matrix into the video track header, as a phone held upright
// records it: (a b u / c d v / x y w) = (0 1 0 / -1 0 0 / height 0 1) in 16.16 and 2.30.
QString TurnTrackQuarterClockwise(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    const qsizetype tkhd = bytes.indexOf("tkhd");
    EXPECT_GT(tkhd, 0);
    EXPECT_EQ(bytes[tkhd + 4], '\0'); // version 0
    const qint32 matrix[9] = { 0, 0x10000, 0, -0x10000, 0, 0, 120 << 16, 0, 0x40000000 };
    for (int i = 0; i < 9; ++i)
        qToBigEndian<qint32>(matrix[i], bytes.data() + tkhd + 4 + 40 + 4 * i);
    file.seek(0);
    file.write(bytes);
    return path;
}

double Seconds(const Movie& movie, TimeValue time)
{
    return double(time) / movie.GetTimeScale();
}

OSStatus OpenFailure(const QString& path)
{
    return CatchCode([&] { Movie::Open(path); });
}

} // namespace

TEST(Movie, FramesAtTimesOfEachContainer)
{
    struct Case {
        const char* name;
        QStringList codec;
        double durationTolerance = 0.15;
    };
    const Case cases[] = {
        { "red-blue.mov", { "-c:v", "mpeg4", "-q:v", "2" } },
        { "red-blue.mp4", { "-pix_fmt", "yuv420p" } },
        { "red-blue.avi", { "-c:v", "mpeg4", "-q:v", "2" } },
        // An MPEG program stream stores no duration. With two encoder threads its few packets carry
        // timestamps such that libavformat's own estimate is 1.12 s: the last packet's time says 2.
        { "red-blue.mpg", { "-c:v", "mpeg1video", "-q:v", "2", "-r", "25", "-threads", "2" } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto movie = Movie::Open(MakeMedia(c.name, kRedThenBlue + c.codec));
        EXPECT_EQ(movie->NaturalBox(), MakeRect(0, 0, 120, 160));
        EXPECT_NEAR(Seconds(*movie, movie->Duration()), 2.0, c.durationTolerance);
        EXPECT_FALSE(movie->HasAudio());
        EXPECT_GT(movie->DataSize(), 0);
        ExpectColour(movie->FrameAtTime(movie->GetTimeScale() / 2), 80, 60, qRgb(255, 0, 0));
        ExpectColour(movie->FrameAtTime(movie->GetTimeScale() * 3 / 2), 80, 60, qRgb(0, 0, 255));
        // Backwards again: the decoder seeks, it does not only run forward.
        ExpectColour(movie->FrameAtTime(movie->GetTimeScale() / 4), 10, 10, qRgb(255, 0, 0));
        movie->SetPosterTime(movie->Duration() * 3 / 4);
        EXPECT_EQ(movie->PosterFrame().Bounds(), MakeRect(0, 0, 120, 160));
        ExpectColour(movie->PosterFrame(), 80, 60, qRgb(0, 0, 255));
        const TimeValue next = movie->NextInterestingTime(0);
        EXPECT_GT(next, 0);
        EXPECT_LE(Seconds(*movie, next), 0.2);
        EXPECT_EQ(OSStatus(CatchCode([&] { movie->FrameAtTime(movie->Duration() + movie->GetTimeScale()); })), invalidTime);
    }
}

TEST(Movie, RotationAndPixelAspectShapeTheBox)
{
    const auto rotated = Movie::Open(TurnTrackQuarterClockwise(MakeMedia("rotated.mp4", kRedLeftBlueRight + QStringList { "-pix_fmt", "yuv420p" })));
    EXPECT_EQ(rotated->NaturalBox(), MakeRect(0, 0, 160, 120));
    EXPECT_EQ(rotated->DisplayQuarterTurns(), 1);
    const Offscreen frame = rotated->FrameAtTime(0);
    ASSERT_EQ(frame.Bounds(), MakeRect(0, 0, 160, 120));
    // Turned a quarter clockwise: what was the left (red) is now the top.
    ExpectColour(frame, 60, 20, qRgb(255, 0, 0));
    ExpectColour(frame, 60, 140, qRgb(0, 0, 255));

    const QStringList anamorphic = { "-filter_complex",
        "color=blue:s=160x120:r=10:d=1[b];color=red:s=80x120:r=10:d=1[r];[b][r]overlay=0:0,setsar=2[v]", "-map", "[v]" };
    const auto wide = Movie::Open(MakeMedia("anamorphic.mov", anamorphic + QStringList { "-c:v", "mpeg4" }));
    EXPECT_EQ(wide->NaturalBox(), MakeRect(0, 0, 120, 320));
    const Offscreen wideFrame = wide->FrameAtTime(0);
    EXPECT_EQ(wideFrame.Bounds(), MakeRect(0, 0, 120, 320));
    ExpectColour(wideFrame, 150, 60, qRgb(255, 0, 0));
    ExpectColour(wideFrame, 170, 60, qRgb(0, 0, 255));
}

TEST(Movie, SoundsHaveAudioAndNoBox)
{
    const char* names[] = { "tone.wav", "tone.aiff", "tone.mp3", "tone.m4a" };
    for (const char* name : names) {
        SCOPED_TRACE(name);
        const auto sound = Movie::Open(MakeMedia(name, kTone));
        EXPECT_TRUE(sound->HasAudio());
        EXPECT_FALSE(sound->HasVideo());
        EXPECT_FALSE(sound->HasStreamingTrack());
        EXPECT_TRUE(sound->NaturalBox().IsEmpty());
        EXPECT_NEAR(Seconds(*sound, sound->Duration()), 1.0, 0.1);
        EXPECT_GT(sound->NextInterestingTime(0), 0);
        EXPECT_EQ(OSStatus(CatchCode([&] { sound->PosterFrame(); })), cantFindHandler);
    }
    const auto movie = Movie::Open(MakeMedia("with-sound.mov", kTone + kRedThenBlue + QStringList { "-map", "0:a", "-c:v", "mpeg4", "-shortest" }));
    EXPECT_TRUE(movie->HasAudio());
    EXPECT_TRUE(movie->HasVideo());
}

TEST(Movie, AnimatedAndStillGifs)
{
    const auto animated = Movie::Open(MakeMedia("animated.gif", kRedThenBlue + QStringList { "-pix_fmt", "rgb8" }));
    EXPECT_EQ(animated->NaturalBox(), MakeRect(0, 0, 120, 160));
    EXPECT_GT(animated->NextInterestingTime(0), 0);
    ExpectColour(animated->FrameAtTime(0), 80, 60, qRgb(255, 0, 0));

    const auto still = Movie::Open(MakeMedia("still.gif", { "-f", "lavfi", "-i", "color=green:s=32x32:d=0.1", "-frames:v", "1" }));
    EXPECT_EQ(still->NextInterestingTime(0), -1);
}

TEST(Movie, UserDataFromAtomsAndFromTags)
{
    const auto mov = Movie::Open(MakeMedia("titled.mov", kRedThenBlue + QStringList { "-c:v", "mpeg4", "-metadata", "title=Harbour at dawn", "-metadata", "comment=first light" }));
    const auto avi = Movie::Open(MakeMedia("titled.avi", kRedThenBlue + QStringList { "-c:v", "mpeg4", "-metadata", "title=Harbour at dawn", "-metadata", "comment=first light" }));
    for (const Movie* movie : { mov.get(), avi.get() }) {
        SCOPED_TRACE(movie->ContainerName().toStdString());
        QByteArray title;
        QByteArray comment;
        EXPECT_EQ(movie->GetUserData().GetUserDataText(title, CType("nam"), 1, 0), noErr);
        EXPECT_EQ(movie->GetUserData().GetUserDataText(comment, CType("cmt"), 1, 0), noErr);
        EXPECT_EQ(title, "Harbour at dawn");
        EXPECT_EQ(comment, "first light");
    }
}

TEST(Movie, SampleFilesOpenOrFailWithACode)
{
    for (const char* name : { "QuickTime.mov", "RIFF.avi", "QuickTime.m4a", "RIFF.wav", "AIFF.aif" }) {
        SCOPED_TRACE(name);
        const QString path = TestDataPath(QStringLiteral("exiftool-images/") + name);
        std::unique_ptr<Movie> movie;
        const OSStatus status = CatchCode([&] { movie = Movie::Open(path); });
        if (status != noErr) {
            EXPECT_TRUE(status == invalidMovie || status == cantFindHandler) << status;
            continue;
        }
        CatchCode([&] { movie->PosterFrame(); }); // stripped data: a code or a frame, never a crash
        movie->NextInterestingTime(0);
    }
    const auto avi = Movie::Open(TestDataPath("exiftool-images/RIFF.avi"));
    QByteArray software;
    EXPECT_EQ(avi->GetUserData().GetUserDataText(software, CType("swr"), 1, 0), noErr);
    EXPECT_EQ(software, "CanonMVI01");
    // The QuickTime sample's texts come from its own atoms, in Mac Roman.
    std::unique_ptr<Movie> mov;
    if (CatchCode([&] { mov = Movie::Open(TestDataPath("exiftool-images/QuickTime.mov")); }) == noErr) {
        QByteArray artist;
        EXPECT_EQ(mov->GetUserData().GetUserDataText(artist, CType("ART"), 1, 0), noErr);
        EXPECT_EQ(MacRoman::Decode(artist), QString::fromUtf8("årtist"));
    }
}

TEST(Movie, BrokenAndMissingFilesGiveCodes)
{
    const QString mp4 = MakeMedia("whole.mp4", kRedThenBlue + QStringList { "-pix_fmt", "yuv420p" });
    QByteArray bytes = ReadWholeFile(mp4);
    const QString truncated = TestTempDir() + "/truncated.mp4";
    QFile out(truncated);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(bytes.left(bytes.size() / 2));
    out.close();
    EXPECT_EQ(OpenFailure(truncated), invalidMovie);

    const QString text = TestTempDir() + "/notes.mov";
    QFile notes(text);
    ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
    notes.write(QByteArray("These are not the frames you are looking for.\n").repeated(20));
    notes.close();
    EXPECT_EQ(OpenFailure(text), cantFindHandler);
    EXPECT_EQ(OpenFailure(TestTempDir() + "/missing.mov"), fnfErr);
}

// The scaler stores whole blocks of pixels: frames narrower than a block are drawn
// right and nothing is written past their picture. The child run checks the byte
// after every allocation when it is freed (glibc's malloc checking), so a store past
// the frame's pixels fails it.
TEST(Movie, SmallFramesAreDrawnWithinTheirPicture)
{
    const bool child = qEnvironmentVariableIsSet("ORVEX_MALLOC_CHECKED");
    if (!child) {
        const QString checker = QStringLiteral("/lib/x86_64-linux-gnu/libc_malloc_debug.so.0");
        if (!QFile::exists(checker))
            GTEST_SKIP() << "no malloc checking library";
        QProcess run;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("ORVEX_MALLOC_CHECKED"), QStringLiteral("1"));
        environment.insert(QStringLiteral("LD_PRELOAD"), checker);
        environment.insert(QStringLiteral("GLIBC_TUNABLES"), QStringLiteral("glibc.malloc.check=3"));
        run.setProcessEnvironment(environment);
        run.start(QCoreApplication::applicationFilePath(),
            { QStringLiteral("--gtest_filter=Movie.SmallFramesAreDrawnWithinTheirPicture") });
        ASSERT_TRUE(run.waitForFinished(120000));
        EXPECT_EQ(run.exitStatus(), QProcess::NormalExit) << run.readAllStandardError().constData();
        EXPECT_EQ(run.exitCode(), 0) << run.readAllStandardOutput().constData();
        return;
    }
    struct Case {
        const char* name;
        const char* size;
        QStringList codec;
    };
    const Case cases[] = {
        { "small.mov", "8x8", { "-c:v", "mjpeg" } },
        { "narrow.mp4", "6x4", { "-pix_fmt", "yuv420p" } },
        { "flat.mov", "10x2", { "-c:v", "mjpeg" } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString source = QStringLiteral("color=red:s=%1:r=10:d=1").arg(QLatin1String(c.size));
        const auto movie = Movie::Open(MakeMedia(c.name, QStringList { "-f", "lavfi", "-i", source } + c.codec));
        for (int i = 0; i < 4; ++i) {
            const Offscreen frame = movie->FrameAtTime(movie->GetTimeScale() * i / 5);
            ASSERT_EQ(frame.Width(), QString::fromLatin1(c.size).section(QLatin1Char('x'), 0, 0).toInt());
            ExpectColour(frame, frame.Width() - 1, frame.Height() - 1, qRgb(255, 0, 0));
        }
    }
}

TEST(Movie, FramesOverTheDecodedImageLimitAreRefusedBeforeTheyAreMade)
{
    const auto movie = Movie::Open(MakeMedia("limit.mp4", kRedThenBlue + QStringList { "-pix_fmt", "yuv420p" }));
    const qint64 saved = gMaxDecodedImageBytes.exchange(160 * 120 * 4 - 1);
    EXPECT_EQ(OSStatus(CatchCode([&] { movie->FrameAtTime(0); })), memFullErr);
    gMaxDecodedImageBytes = 160 * 120 * 4;
    EXPECT_EQ(movie->FrameAtTime(0).Bounds(), MakeRect(0, 0, 120, 160));
    gMaxDecodedImageBytes = saved;
}
