#include "CRAWMedia.h"

#include "ExceptionCode.h"
#include "GraphicsExporter.h"
#include "MediaTestSupport.h"
#include "Preferences.h"
#include "TestDNG.h"
#include "TestSupport.h"
#include "UserData.h"

#include <QDir>
#include <QImage>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

QUrl TestDNG(const QString& name, int previewSide = 16, int side = 64)
{
    return QUrl::fromLocalFile(WriteTestDNG(TestTempDir() + "/" + name, side, side, previewSide));
}

QUrl SampleRaw(const char* name)
{
    return QUrl::fromLocalFile(TestDataPath(QStringLiteral("exiftool-images/") + name));
}

QImage PictureImage(CMedia& media)
{
    Picture picture;
    EXPECT_EQ(media.GetAsPicture(&picture), noErr);
    QImage image;
    EXPECT_EQ(picture.Render(image), noErr);
    return image;
}

// The raw preferences a test changes, put back afterwards.
class RawPreferences : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetPrefBoolean("RawUseEmbeddedImage", true);
        SetPrefBoolean("RawEnlargeEmbeddedImage", false);
        SetPrefBoolean("RawRenderHalfSize", true);
    }
};

} // namespace

TEST_F(RawPreferences, IdentifiesAtConstructionAndDescribes)
{
    CRAWMedia media(TestDNG("sensor.dng"));
    EXPECT_EQ(media.GetKind(), 901);
    EXPECT_EQ(media.Identity().make, "Orvex");
    Rect natural;
    ASSERT_EQ(media.GetNaturalBounds(&natural), noErr);
    EXPECT_EQ(natural, MakeRect(0, 0, 32, 32)); // half size by the preference
    MediaImageInfo info;
    ASSERT_EQ(media.GetDescription(&info), noErr);
    EXPECT_EQ(info.recordKind, 51);
    EXPECT_EQ(info.width, 64);
    EXPECT_EQ(info.height, 64);
    EXPECT_EQ(info.depth, 48);
    EXPECT_EQ(info.dataSize, 64 * 64 * 3);
}

TEST_F(RawPreferences, PreviewWhileLargeEnoughThenFullDecode)
{
    CRAWMedia media(TestDNG("sensor.dng"));
    const Rect small = MakeRect(0, 0, 16, 16);
    ASSERT_EQ(media.SetBoundsRect(&small), noErr);
    EXPECT_FALSE(media.IsDecoded());
    QImage preview = PictureImage(media);
    EXPECT_EQ(qGreen(preview.pixel(8, 8)), 200); // the camera's green preview

    const Rect large = MakeRect(0, 0, 64, 64);
    ASSERT_EQ(media.SetBoundsRect(&large), noErr);
    EXPECT_TRUE(media.IsDecoded());
    const QImage decoded = PictureImage(media);
    ASSERT_EQ(decoded.size(), QSize(64, 64));
    EXPECT_GT(qRed(decoded.pixel(32, 16)), 150); // the red scene, not a red square
    EXPECT_LT(qGreen(decoded.pixel(32, 16)), 80);
    EXPECT_NEAR(qRed(decoded.pixel(32, 48)), qGreen(decoded.pixel(32, 48)), 25); // the grey half
    EXPECT_GT(qGreen(decoded.pixel(32, 48)), 60);

    // With enlarging allowed, or with the preview preference off, the choice turns.
    SetPrefBoolean("RawEnlargeEmbeddedImage", true);
    CRAWMedia enlarged(TestDNG("enlarged.dng"));
    ASSERT_EQ(enlarged.SetBoundsRect(&large), noErr);
    EXPECT_FALSE(enlarged.IsDecoded());
    SetPrefBoolean("RawUseEmbeddedImage", false);
    CRAWMedia direct(TestDNG("direct.dng"));
    ASSERT_EQ(direct.SetBoundsRect(&small), noErr);
    EXPECT_TRUE(direct.IsDecoded());
}

TEST_F(RawPreferences, PreviewsTurnByTheFileOrientation)
{
    // A landscape sensor held upright: the camera's preview is stored unturned.
    const QString path = WriteTurnedTestDNG(TestTempDir() + "/upright.dng", 64, 48, 32, 24, 6);
    CRAWMedia media(QUrl::fromLocalFile(path));
    Rect natural;
    ASSERT_EQ(media.GetNaturalBounds(&natural), noErr);
    EXPECT_EQ(natural, MakeRect(0, 0, 32, 24)); // the decoder's output shape, turned and halved
    ASSERT_EQ(media.SetBoundsRect(&natural), noErr);
    EXPECT_FALSE(media.IsDecoded());
    const QImage upright = DrawnMatchedAtBounds(media);
    ASSERT_EQ(upright.size(), QSize(24, 32));
    // A quarter turn clockwise: the green left half is now the top.
    EXPECT_GT(qGreen(upright.pixel(12, 6)), 150);
    EXPECT_GT(qBlue(upright.pixel(12, 26)), 150);

    // A half turn is not applied to the preview.
    CRAWMedia halfTurn(QUrl::fromLocalFile(WriteTurnedTestDNG(TestTempDir() + "/half.dng", 64, 48, 32, 24, 3)));
    const Rect landscape = MakeRect(0, 0, 24, 32);
    ASSERT_EQ(halfTurn.SetBoundsRect(&landscape), noErr);
    const QImage flat = DrawnMatchedAtBounds(halfTurn);
    EXPECT_GT(qGreen(flat.pixel(4, 12)), 150);
    EXPECT_GT(qBlue(flat.pixel(28, 12)), 150);
}

TEST_F(RawPreferences, ExportsDecodedPixelsAtTheirDepth)
{
    // As the export task calls it: full size, natural bounds, then the export.
    for (bool linear : { false, true }) {
        SCOPED_TRACE(linear ? "linear" : "gamma");
        SetPrefBoolean("RawLinearOutput", linear);
        SetPrefBoolean("RawUseEmbeddedImage", false);
        CRAWMedia media(TestDNG(linear ? "deep.dng" : "plain.dng"));
        media.SetFullSizeDecode(true);
        const Rect full = MakeRect(0, 0, 64, 64);
        ASSERT_EQ(media.SetBoundsRect(&full), noErr);
        std::unique_ptr<GraphicsExporter> exporter;
        ASSERT_EQ(GraphicsExporter::Open('TIFF', exporter), noErr);
        const QString output = TestTempDir() + (linear ? "/deep.tif" : "/plain.tif");
        exporter->SetOutputFile(output);
        ASSERT_EQ(media.Export(exporter.get()), noErr);
        const QImage exported(output);
        ASSERT_EQ(exported.size(), QSize(64, 64));
        EXPECT_GT(qRed(exported.pixel(32, 16)), 4 * std::max(1, qGreen(exported.pixel(32, 16))));
        EXPECT_EQ(exported.depth() == 64, linear); // sixteen bits a sample stay sixteen
    }
    SetPrefBoolean("RawLinearOutput", false);
}

TEST_F(RawPreferences, SkipDecodingLeavesNoImporter)
{
    CRAWMedia media(TestDNG("sensor.dng"));
    media.SetSkipDecoding(true);
    EXPECT_EQ(media.DecodeRAW(CRAWMedia::kDecodePreview), noErr);
    EXPECT_EQ(media.DecodeRAW(CRAWMedia::kDecodeFull), noErr);
    EXPECT_EQ(media.GetImporter(), nullptr);
    EXPECT_EQ(media.DecodeRAW(CRAWMedia::kDecodeIdentify), noErr);
}

TEST_F(RawPreferences, CaptureTimeWithoutTouchingTheTimeZone)
{
    // The camera's clock comes back as it was recorded, whatever zone the process runs in.
    setenv("TZ", "America/New_York", 1);
    tzset();
    CRAWMedia media(TestDNG("timed.dng"));
    UserData* data = media.GetMetaData();
    ASSERT_NE(data, nullptr);
    QByteArray digitized;
    ASSERT_EQ(data->GetUserData(digitized, EXIFUserDataType(0x9004), 1), noErr);
    EXPECT_EQ(digitized, QByteArray("2024:05:17 08:30:15", 20));
    EXPECT_STREQ(getenv("TZ"), "America/New_York");
}

TEST_F(RawPreferences, SameNamesInTwoFoldersDoNotMeet)
{
    // Decodes are in memory: two files of one name never share an output.
    QDir(TestTempDir()).mkdir("a");
    QDir(TestTempDir()).mkdir("b");
    CRAWMedia first(QUrl::fromLocalFile(WriteTestDNG(TestTempDir() + "/a/IMG_1.dng", 64, 64, 16)));
    CRAWMedia second(QUrl::fromLocalFile(WriteTestDNG(TestTempDir() + "/b/IMG_1.dng", 32, 32, 0)));
    const Rect large = MakeRect(0, 0, 64, 64);
    ASSERT_EQ(first.SetBoundsRect(&large), noErr);
    ASSERT_EQ(second.SetBoundsRect(&large), noErr);
    Rect a, b;
    ASSERT_EQ(first.GetImporter()->GetNaturalBounds(&a), noErr);
    ASSERT_EQ(second.GetImporter()->GetNaturalBounds(&b), noErr);
    EXPECT_EQ(a, MakeRect(0, 0, 32, 32));
    EXPECT_EQ(b, MakeRect(0, 0, 16, 16));
}

TEST_F(RawPreferences, StrippedCameraFilesFailWithACode)
{
    // The decoder knows this one's maker but not how to decode it: its metadata is read,
    // and every picture operation is refused rather than giving an empty 0x0 picture.
    {
        CRAWMedia media(SampleRaw("CanonRaw.cr2"));
        EXPECT_TRUE(media.IsMetadataOnly());
        Rect bounds;
        EXPECT_EQ(media.GetNaturalBounds(&bounds), cantFindHandler);
        EXPECT_EQ(media.GetBoundsRect(&bounds), cantFindHandler);
        const Rect small = MakeRect(0, 0, 40, 60);
        EXPECT_EQ(media.SetBoundsRect(&small), cantFindHandler);
        Picture picture;
        EXPECT_EQ(media.GetAsPicture(&picture), cantFindHandler);
        EXPECT_EQ(media.GetThumbnailPicture(&picture), cantFindHandler);
        EXPECT_EQ(media.DrawMatched(), cantFindHandler);
        MediaImageInfo info;
        EXPECT_EQ(media.GetDescription(&info), cantFindHandler);
        EXPECT_FALSE(media.Validate());
        const UserData* data = media.GetMetaData();
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(data->CountUserDataType(EXIFUserDataType(0x8827)), 1) << "ISO";
        EXPECT_EQ(data->CountUserDataType(EXIFUserDataType(0x829A)), 1) << "exposure time";
    }
    // These it decodes, and finds their raw data stripped.
    for (const char* name : { "CanonRaw.crw", "Nikon.nef", "FujiFilm.raf", "Panasonic.rw2", "DNG.dng" }) {
        SCOPED_TRACE(name);
        std::unique_ptr<CRAWMedia> media;
        ASSERT_EQ(CatchCode([&] { media = std::make_unique<CRAWMedia>(SampleRaw(name)); }), noErr);
        Rect natural;
        ASSERT_EQ(media->GetNaturalBounds(&natural), noErr);
        EXPECT_FALSE(natural.IsEmpty());
        SetPrefBoolean("RawUseEmbeddedImage", false);
        const Rect large = MakeRect(0, 0, 400, 600);
        EXPECT_NE(media->SetBoundsRect(&large), noErr);
        SetPrefBoolean("RawUseEmbeddedImage", true);
    }
    EXPECT_EQ(CatchCode([] { CRAWMedia media(QUrl::fromLocalFile(TestDataPath("exiftool-images/PNG.png"))); }), cantFindHandler);
    EXPECT_EQ(CatchCode([] { CRAWMedia media(QUrl::fromLocalFile(TestTempDir() + "/none.nef")); }), fnfErr);
}

TEST_F(RawPreferences, DescriptionTextOfRawFiles)
{
    const QString text = CopyRAWFileDescription(TestDNG("described.dng"));
    EXPECT_TRUE(text.startsWith("Orvex Test Sensor ")) << text.toStdString();
    EXPECT_TRUE(CopyRAWFileDescription(SampleRaw("CanonRaw.cr2")).isNull()); // identified, not decodable
    EXPECT_TRUE(CopyRAWFileDescription(QUrl::fromLocalFile(TestDataPath("exiftool-images/PNG.png"))).isNull());
    EXPECT_EQ(CatchCode([] { CopyRAWFileDescription(QUrl::fromLocalFile(TestTempDir() + "/none.dng")); }), err_AssertFailed);
}
