#include "CQTImageMedia.h"
#include "MediaTestSupport.h"
#include "Preferences.h"

#include <gtest/gtest.h>

namespace {

// Draws the medium at its natural bounds (after its transform) and returns the pixels.
QImage DrawWhole(CMedia& media)
{
    Rect natural;
    EXPECT_EQ(media.GetNaturalBounds(&natural), noErr);
    EXPECT_EQ(media.SetBoundsRect(&natural), noErr);
    Offscreen world(natural);
    {
        StOffscreenPort port(world);
        EXPECT_EQ(media.SetGWorld(port.Port()), noErr);
        EXPECT_EQ(media.DrawMatched(), noErr);
    }
    return world.Image();
}

} // namespace

TEST(MediaBase, QuarterTurnsExchangeNaturalWidthAndHeight)
{
    CQTImageMedia media(FileUrl(WriteQuadrantImage()));
    Rect r;
    for (SInt32 rotation : { 0, 1, 2, 3 }) {
        media.SetTransform(rotation, 0);
        ASSERT_EQ(media.GetNaturalBounds(&r), noErr);
        if (rotation == 1 || rotation == 2)
            EXPECT_EQ(r, MakeRect(0, 0, 300, 200)) << rotation;
        else
            EXPECT_EQ(r, MakeRect(0, 0, 200, 300)) << rotation;
    }
}

TEST(MediaBase, RotationsAndFlipsPutTheCornersWhereTheyBelong)
{
    struct Case {
        SInt32 rotation, flip;
        QColor topLeft;
    } cases[] = {
        { 0, 0, Qt::red },
        { 2, 0, Qt::blue },   // clockwise: the bottom-left corner comes up
        { 1, 0, Qt::green },  // counter-clockwise: the top-right corner comes to the left
        { 3, 0, Qt::yellow },
        { 0, 1, Qt::green },
        { 0, 2, Qt::blue },
        { 0, 3, Qt::yellow },
        { 2, 1, Qt::red },    // transposed: the top-left stays
    };
    for (const Case& c : cases) {
        CQTImageMedia media(FileUrl(WriteQuadrantImage()));
        media.SetTransform(c.rotation, c.flip);
        QImage drawn = DrawWhole(media);
        ASSERT_FALSE(drawn.isNull());
        EXPECT_TRUE(Near(drawn.pixel(5, 5), c.topLeft)) << c.rotation << "/" << c.flip << " got "
                                                         << std::hex << drawn.pixel(5, 5);
        if (c.rotation == 1 || c.rotation == 2)
            EXPECT_EQ(drawn.size(), QSize(200, 300));
    }
}

TEST(MediaBase, ApplyTransformOnceAndResetToIdentity)
{
    CQTImageMedia media(FileUrl(WriteQuadrantImage()));
    media.SetTransform(2, 0);
    Rect natural { 0, 0, 200, 300 };
    ASSERT_EQ(media.SetBoundsRect(&natural), noErr);
    ASSERT_EQ(media.ApplyTransform(), noErr);
    MatrixRecord once;
    media.GetMatrix(&once);
    ASSERT_EQ(media.ApplyTransform(), noErr);
    MatrixRecord twice;
    media.GetMatrix(&twice);
    EXPECT_EQ(once, twice);
    EXPECT_TRUE(media.IsTransformed());
    ASSERT_EQ(media.ResetTransform(), noErr);
    MatrixRecord reset;
    media.GetMatrix(&reset);
    EXPECT_TRUE(IsIdentityMatrix(reset));
    EXPECT_FALSE(media.IsTransformed());
    EXPECT_EQ(media.Rotate(7), paramErr);
    EXPECT_EQ(media.Flip(9), paramErr);
}

TEST(MediaBase, PictureOfTheMediumAndNoOwnThumbnail)
{
    CQTImageMedia media(FileUrl(WriteQuadrantImage()));
    Picture picture;
    ASSERT_EQ(media.GetAsPicture(&picture), noErr);
    EXPECT_EQ(picture.Frame(), MakeRect(0, 0, 200, 300));
    QImage back;
    ASSERT_EQ(picture.Render(back), noErr);
    EXPECT_TRUE(Near(back.pixel(290, 190), Qt::yellow));
    // A PNG has a single image: no embedded thumbnail.
    Picture thumb;
    EXPECT_EQ(media.GetThumbnailPicture(&thumb), err_AssertFailed);
    SInt32 index = 0;
    media.GetImporter()->GetImageIndex(&index);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(media.GetKind(), 901);
    EXPECT_EQ(media.GetKindResourceID(), 142);
    EXPECT_EQ(media.GetMaxZoom(), SInt16(GetPrefNumber(QStringLiteral("MediaImageMaxZoom"))));
}

TEST(MediaBase, DescriptionRecordOfAStillImage)
{
    CQTImageMedia media(FileUrl(WriteQuadrantImage()));
    MediaImageInfo info;
    ASSERT_EQ(media.GetDescription(&info), noErr);
    EXPECT_EQ(info.recordKind, 1);
    EXPECT_EQ(info.width, 300);
    EXPECT_EQ(info.height, 200);
    EXPECT_EQ(info.constant12, 12);
    EXPECT_EQ(info.depth, 24);
    EXPECT_EQ(PStringToQString(info.name), QStringLiteral("PNG"));
    EXPECT_GT(info.dataSize, 0);
    EXPECT_EQ(info.hasColorProfile, 0);
}
