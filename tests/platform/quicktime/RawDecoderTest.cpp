#include "RawDecoder.h"

#include "ExceptionCode.h"
#include "MovieAtomReader.h"
#include "TestDNG.h"
#include "TestSupport.h"

#include <QElapsedTimer>
#include <QFile>

#include <gtest/gtest.h>

#include <thread>

namespace {

constexpr int kSide = 64;

QString MakeTestDNG(const QString& name, bool withPreview = false)
{
    return WriteTestDNG(TestTempDir() + "/" + name, kSide, kSide, withPreview ? 16 : 0);
}

void ExpectRed(QRgb pixel)
{
    EXPECT_GT(qRed(pixel), 150);
    EXPECT_LT(qGreen(pixel), 80);
    EXPECT_LT(qBlue(pixel), 80);
}

void ExpectGrey(QRgb pixel)
{
    EXPECT_GT(qGreen(pixel), 60);
    EXPECT_NEAR(qRed(pixel), qGreen(pixel), 20);
    EXPECT_NEAR(qBlue(pixel), qGreen(pixel), 20);
}

} // namespace

TEST(RawDecoder, IdentifiesAndDecodesAHandMadeDNG)
{
    const QString path = MakeTestDNG("sensor.dng");
    const RawDecoder::Identity identity = RawDecoder::Identify(path);
    EXPECT_EQ(identity.make, "Orvex");
    EXPECT_EQ(identity.model, "Test Sensor");
    EXPECT_TRUE(identity.decodable);
    EXPECT_TRUE(identity.isDNG);
    EXPECT_EQ(identity.outputBounds, MakeRect(0, 0, kSide, kSide));
    EXPECT_EQ(identity.captureTime.toString("yyyy:MM:dd HH:mm:ss"), "2024:05:17 08:30:15");

    RawDecoder::Options options;
    options.halfSize = false;
    options.quickInterpolation = false;
    const QImage full = RawDecoder::Decode(path, options, true);
    ASSERT_EQ(full.size(), QSize(kSide, kSide));
    ExpectRed(full.pixel(32, 12));
    ExpectGrey(full.pixel(32, 52));

    options.halfSize = true;
    const QImage half = RawDecoder::Decode(path, options, false);
    ASSERT_EQ(half.size(), QSize(kSide / 2, kSide / 2));
    ExpectRed(half.pixel(16, 6));
    ExpectGrey(half.pixel(16, 26));
    // The full-size flag wins over the half-size preference.
    EXPECT_EQ(RawDecoder::Decode(path, options, true).size(), QSize(kSide, kSide));

    options.linearOutput = true;
    const QImage deep = RawDecoder::Decode(path, options, false);
    EXPECT_EQ(deep.format(), QImage::Format_RGBX64);
    const QRgba64 grey = deep.pixelColor(16, 26).rgba64();
    const QRgba64 red = deep.pixelColor(16, 6).rgba64();
    EXPECT_GT(red.red(), 4 * red.green());
    EXPECT_GT(grey.green(), 1000);
}

TEST(RawDecoder, DecodeCanBeCancelled)
{
    const QString path = MakeTestDNG("cancel.dng");
    RawDecoder::Options options;
    EXPECT_EQ(OSStatus(CatchCode([&] { RawDecoder::Decode(path, options, false, [] { return true; }); })), userCanceledErr);

    // A request from elsewhere (the user's cancel keys, a stopped task) while the decode
    // runs ends it at its next step, from another thread as well.
    int asked = 0;
    EXPECT_EQ(OSStatus(CatchCode([&] {
        RawDecoder::Decode(path, options, false, [&] {
            if (++asked == 1)
                std::thread([] { RawDecoder::RequestCancel(); }).join();
            return false;
        });
    })),
        userCanceledErr);
    EXPECT_EQ(asked, 1);

    // A request made while nothing was decoding does not cancel the next decode.
    RawDecoder::RequestCancel();
    EXPECT_TRUE(RawDecoder::IsCancelRequested());
    EXPECT_EQ(RawDecoder::Decode(path, options, false).size(), QSize(kSide / 2, kSide / 2));
    EXPECT_FALSE(RawDecoder::IsCancelRequested());
}

TEST(RawDecoder, ExtractsAnEmbeddedPreview)
{
    const QString path = MakeTestDNG("with-preview.dng", true);
    const RawDecoder::Identity identity = RawDecoder::Identify(path);
    EXPECT_TRUE(identity.hasPreview);
    const RawDecoder::Preview preview = RawDecoder::ExtractPreview(path);
    ASSERT_TRUE(preview.jpeg.isEmpty());
    ASSERT_EQ(preview.image.size(), QSize(16, 16));
    EXPECT_EQ(qGreen(preview.image.pixel(8, 8)), 200);
    EXPECT_EQ(qRed(preview.image.pixel(8, 8)), 0);

    EXPECT_EQ(OSStatus(CatchCode([&] { RawDecoder::ExtractPreview(MakeTestDNG("no-preview.dng")); })),
        RawDecoder::kRawNoPreviewErr);
}

TEST(RawDecoder, StrippedCameraFilesIdentifyButFailTheirDecode)
{
    struct Case {
        const char* file;
        const char* make;
        const char* model;
    };
    const Case cases[] = {
        { "CanonRaw.cr2", "Canon", "Canon EOS 350D DIGITAL" },
        { "CanonRaw.crw", "Canon", "Canon EOS DIGITAL REBEL" },
        { "Nikon.nef", "NIKON CORPORATION", "NIKON D70" },
        { "FujiFilm.raf", "FUJIFILM", "FinePix S5Pro" },
        { "Panasonic.rw2", "Panasonic", "DMC-LX3" },
        { "DNG.dng", "Canon", "Canon EOS 350D DIGITAL" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const QString path = TestDataPath(QStringLiteral("exiftool-images/") + c.file);
        const RawDecoder::Identity identity = RawDecoder::Identify(path);
        EXPECT_EQ(identity.make, c.make);
        EXPECT_EQ(identity.model, c.model);
        RawDecoder::Options options;
        const OSStatus status = CatchCode([&] { RawDecoder::Decode(path, options, false); });
        EXPECT_NE(status, noErr);
        CatchCode([&] { RawDecoder::ExtractPreview(path); }); // a code or a preview, never a crash
    }
}

TEST(RawDecoder, MissingAndForeignFilesGiveCodes)
{
    EXPECT_EQ(OSStatus(CatchCode([] { RawDecoder::Identify(TestTempDir() + "/none.nef"); })), fnfErr);
    EXPECT_EQ(OSStatus(CatchCode([] { RawDecoder::Identify(TestDataPath("exiftool-images/PNG.png")); })), cantFindHandler);
    // A DNG cut in the middle of its raw data.
    const QByteArray whole = ReadWholeFile(MakeTestDNG("whole.dng"));
    const QString cut = TestTempDir() + "/cut.dng";
    QFile out(cut);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(whole.left(whole.size() / 2));
    out.close();
    RawDecoder::Options options;
    const OSStatus status = CatchCode([&] { RawDecoder::Decode(cut, options, false); });
    EXPECT_NE(status, noErr);
    // Cut short anywhere, the damage reads as damaged data (or as no raw image
    // at all), with the file named, never as a disk error.
    for (const double part : { 0.25, 0.5, 0.75, 0.9 }) {
        const QString shorter = TestTempDir() + "/short.dng";
        QFile file(shorter);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(whole.left(qsizetype(whole.size() * part)));
        file.close();
        const ExceptionCode error = CatchException([&] { RawDecoder::Decode(shorter, options, false); });
        EXPECT_TRUE(error.Code() == codecBadDataErr || error.Code() == cantFindHandler) << part << " " << error.what();
        EXPECT_NE(error.Code(), ioErr);
        EXPECT_NE(error.Code(), eofErr);
        EXPECT_NE(std::string(error.what()).find("short.dng"), std::string::npos) << error.what();
    }
}

TEST(RawDecoder, ARunawayParseIsAbandonedInTimeAndTheFileTakenAsDamaged)
{
    RawDecoder::SetTimeLimits(1000, 1000);
    // Its second directory claims four thousand million entries: the parser walks them for minutes.
    const QString path = TestTempDir() + "/runaway.tif";
    ASSERT_TRUE(QFile::copy(TestDataPath("made-here/PhaseOneRunaway.tif"), path));
    const int abandonedBefore = RawDecoder::AbandonedCount();
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(OSStatus(CatchCode([&] { RawDecoder::Identify(path); })), codecBadDataErr);
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(RawDecoder::AbandonedCount(), abandonedBefore + 1);
    // Asked again, the same file fails at once, and other files are read as ever.
    clock.restart();
    EXPECT_EQ(OSStatus(CatchCode([&] { RawDecoder::ExtractPreview(path); })), codecBadDataErr);
    EXPECT_LT(clock.elapsed(), 500);
    EXPECT_TRUE(RawDecoder::Identify(MakeTestDNG("after.dng")).decodable);
    RawDecoder::SetTimeLimits(10000, 120000);
}
