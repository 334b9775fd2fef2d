#include "CQTMovieMedia.h"

#include "ExceptionCode.h"
#include "MediaTestSupport.h"
#include "GraphicsExporter.h"
#include "Preferences.h"
#include "TestMovies.h"
#include "TestSupport.h"
#include "UserData.h"

#include <QFile>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

namespace {

QUrl MovieUrl(const QString& name, const QStringList& arguments)
{
    return QUrl::fromLocalFile(MakeMediaWithFFmpeg(name, arguments));
}

QUrl RedThenBlueMovie(const QString& name = QStringLiteral("red-blue.mov"))
{
    return MovieUrl(name, RedThenBlueVideo() + QStringList { "-c:v", "mpeg4", "-q:v", "2", "-metadata", "title=Harbour at dawn" });
}

OSStatus Construct(const QUrl& url)
{
    return CatchCode([&] { CQTMovieMedia media(url); });
}

} // namespace

TEST(CQTMovieMedia, MeasuresDrawsPosterAndDescribesAMovie)
{
    CQTMovieMedia media(RedThenBlueMovie());
    EXPECT_EQ(media.GetKind(), 987);
    EXPECT_EQ(media.GetKindResourceID(), 139);
    Rect natural;
    ASSERT_EQ(media.GetNaturalBounds(&natural), noErr);
    EXPECT_EQ(natural, MakeRect(0, 0, 120, 160));
    EXPECT_FALSE(media.HasSound());
    EXPECT_TRUE(media.HasArea());
    EXPECT_TRUE(media.HasNextInterestingTime());
    EXPECT_EQ(media.GetMaxZoom(), SInt16(GetPrefNumber("MediaMovieMaxZoom")));

    // Draw shows the poster frame; the picture takes the current frame.
    Movie* movie = media.GetMovie();
    ASSERT_NE(movie, nullptr);
    movie->SetPosterTime(movie->GetTimeScale() * 3 / 2);
    const QImage drawn = DrawnMatchedAtBounds(media);
    EXPECT_TRUE(Near(drawn.pixel(80, 60), qRgb(0, 0, 255)));
    Picture picture;
    ASSERT_EQ(media.GetAsPicture(&picture), noErr);
    QImage rendered;
    ASSERT_EQ(picture.Render(rendered), noErr);
    EXPECT_EQ(rendered.size(), QSize(160, 120));
    EXPECT_TRUE(Near(rendered.pixel(80, 60), qRgb(255, 0, 0)));

    // A larger box scales the frame into it.
    const Rect twice = MakeRect(0, 0, 240, 320);
    ASSERT_EQ(media.SetBoundsRect(&twice), noErr);
    const QImage large = DrawnMatchedAtBounds(media);
    EXPECT_EQ(large.size(), QSize(320, 240));
    EXPECT_TRUE(Near(large.pixel(300, 220), qRgb(0, 0, 255)));

    MediaImageInfo info;
    ASSERT_EQ(media.GetDescription(&info), noErr);
    EXPECT_EQ(info.recordKind, 1);
    EXPECT_EQ(info.width, 160);
    EXPECT_EQ(info.height, 120);
    EXPECT_GT(info.dataSize, 0);
    EXPECT_EQ(info.constant12, 12);
}

TEST(CQTMovieMedia, TurnsThePictureWithItsTransform)
{
    // As the views do it: the bounds take the turned shape, drawing turns the frame into it.
    CQTMovieMedia media(MovieUrl("halves.mov", { "-filter_complex",
        "color=blue:s=160x120:r=10:d=1[b];color=red:s=80x120:r=10:d=1[r];[b][r]overlay=0:0[v]", "-map", "[v]", "-c:v", "mpeg4" }));
    media.SetTransform(kMediaRotateQuarter2, kMediaFlipNone);
    Rect natural;
    ASSERT_EQ(media.GetNaturalBounds(&natural), noErr);
    EXPECT_EQ(natural, MakeRect(0, 0, 160, 120));
    ASSERT_EQ(media.SetBoundsRect(&natural), noErr);
    const QImage drawn = DrawnMatchedAtBounds(media);
    ASSERT_EQ(drawn.size(), QSize(120, 160));
    // A quarter turn clockwise: the left (red) half is now the top.
    EXPECT_TRUE(Near(drawn.pixel(60, 20), qRgb(255, 0, 0)));
    EXPECT_TRUE(Near(drawn.pixel(60, 140), qRgb(0, 0, 255)));

    media.ResetTransform();
    media.SetTransform(kMediaRotateQuarter2, kMediaFlipNone);
    ASSERT_EQ(media.SetBoundsRect(&natural), noErr);
    Picture picture;
    ASSERT_EQ(media.GetAsPicture(&picture), noErr);
    QImage rendered;
    ASSERT_EQ(picture.Render(rendered), noErr);
    EXPECT_EQ(rendered.size(), QSize(120, 160));
}

TEST(CQTMovieMedia, ExportsThePoster)
{
    CQTMovieMedia media(RedThenBlueMovie());
    media.GetMovie()->SetPosterTime(media.GetMovie()->GetTimeScale() * 3 / 2);
    std::unique_ptr<GraphicsExporter> exporter;
    ASSERT_EQ(GraphicsExporter::Open('PNGf', exporter), noErr);
    const QString output = TestTempDir() + "/poster.png";
    exporter->SetOutputFile(output);
    ASSERT_EQ(media.Export(exporter.get()), noErr);
    const QImage poster(output);
    ASSERT_EQ(poster.size(), QSize(160, 120));
    EXPECT_TRUE(Near(poster.pixel(80, 60), qRgb(0, 0, 255)));
}

TEST(CQTMovieMedia, UserDataOfTheMovie)
{
    CQTMovieMedia media(RedThenBlueMovie());
    Str255 title;
    ASSERT_EQ(media.CopyUserDataText(UserDataTextType("nam"), title, 1), noErr);
    EXPECT_EQ(PStringToQString(title), "Harbour at dawn");
    UserData* own = media.GetMetaData();
    ASSERT_NE(own, nullptr);
    const std::unique_ptr<UserData> copy = media.CopyMetaData();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(*copy, *own);
    copy->AddUserData("x", 'abcd');
    EXPECT_EQ(own->CountUserDataType('abcd'), 0);
}

TEST(CQTMovieMedia, SoundsHaveNoPicture)
{
    CQTMovieMedia sound(MovieUrl("tone.wav", ToneAudio()));
    EXPECT_TRUE(sound.HasSound());
    EXPECT_FALSE(sound.HasArea());
    Rect natural;
    ASSERT_EQ(sound.GetNaturalBounds(&natural), noErr);
    EXPECT_TRUE(natural.IsEmpty());
    sound.SetTransform(kMediaRotateQuarter1, kMediaFlipNone);
    EXPECT_EQ(sound.ApplyTransform(), noErr); // never turned: no area
    Picture picture;
    EXPECT_EQ(sound.GetAsPicture(&picture), err_NilPointer);
    std::unique_ptr<GraphicsExporter> exporter;
    ASSERT_EQ(GraphicsExporter::Open('PNGf', exporter), noErr);
    exporter->SetOutputFile(TestTempDir() + "/sound.png");
    EXPECT_EQ(sound.Export(exporter.get()), err_NilPointer);
    EXPECT_FALSE(QFile::exists(TestTempDir() + "/sound.png"));
}

TEST(CQTMovieMedia, GifsAndFilesThatCannotBeMovies)
{
    EXPECT_EQ(Construct(MovieUrl("animated.gif", RedThenBlueVideo() + QStringList { "-pix_fmt", "rgb8" })), noErr);
    EXPECT_EQ(Construct(MovieUrl("still.gif", { "-f", "lavfi", "-i", "color=green:s=32x32:d=0.1", "-frames:v", "1" })),
        err_AssertFailed);

    // A System 7 sound file: nothing here imports it.
    const QString snd = TestTempDir() + "/beep.snd";
    QFile file(snd);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(64, '\x01'));
    file.close();
    EXPECT_EQ(Construct(QUrl::fromLocalFile(snd)), cantFindHandler);

    const QByteArray whole = ReadWholeFile(MakeMediaWithFFmpeg("whole.mp4", RedThenBlueVideo() + QStringList { "-pix_fmt", "yuv420p" }));
    const QString cut = TestTempDir() + "/cut.mp4";
    QFile cutFile(cut);
    ASSERT_TRUE(cutFile.open(QIODevice::WriteOnly));
    cutFile.write(whole.left(whole.size() / 3));
    cutFile.close();
    EXPECT_EQ(Construct(QUrl::fromLocalFile(cut)), invalidMovie);
    EXPECT_EQ(Construct(QUrl::fromLocalFile(TestTempDir() + "/none.mov")), fnfErr);
}
