// The zoom model: how a medium's natural bounds are laid out in a frame.
#include "MediaViewOptions.h"

#include <gtest/gtest.h>

namespace {
MediaViewOptions Mode(SInt16 flag, SInt16 zoom = 100)
{
    MediaViewOptions options;
    options.zoomFlag = flag;
    options.zoom = zoom;
    return options;
}

const QRect kFrame(0, 0, 800, 600);
} // namespace

TEST(MediaLayout, FitWithoutEnlargingShrinksLandscapeAndPortraitToTheFrame)
{
    MediaViewOptions options = Mode(kZoomFitShrink);
    EXPECT_EQ(CalcMediaBounds(QRect(0, 0, 4000, 3000), kFrame, options, 200, false), QRect(0, 0, 800, 600));
    EXPECT_EQ(options.zoom, 20);
    EXPECT_EQ(CalcMediaBounds(QRect(0, 0, 3000, 4000), kFrame, options, 200, false), QRect(0, 0, 450, 600));
    EXPECT_EQ(options.zoom, 15);
    // A small medium keeps its size and is shown at 100 %.
    EXPECT_EQ(CalcMediaBounds(QRect(0, 0, 200, 100), kFrame, options, 200, false), QRect(0, 0, 200, 100));
    EXPECT_EQ(options.zoom, 100);
    EXPECT_EQ(options.zoomFlag, kZoomFitShrink);
}

TEST(MediaLayout, FitWithEnlargingStopsAtTheMaximumZoomUnlessPrinting)
{
    MediaViewOptions options = Mode(kZoomFitEnlarge);
    EXPECT_EQ(CalcMediaBounds(QRect(0, 0, 200, 100), kFrame, options, 200, false), QRect(0, 0, 400, 200));
    EXPECT_EQ(options.zoom, 200);
    EXPECT_EQ(CalcMediaBounds(QRect(0, 0, 200, 100), kFrame, options, 200, true), QRect(0, 0, 800, 400));
    EXPECT_EQ(options.zoom, 400);
    // No limit (-1): the frame decides.
    EXPECT_EQ(CalcMediaBounds(QRect(0, 0, 200, 150), kFrame, options, -1, false), QRect(0, 0, 800, 600));
    EXPECT_EQ(options.zoom, 400);
    // Large media shrink as with the other fit.
    EXPECT_EQ(CalcMediaBounds(QRect(0, 0, 1600, 1600), kFrame, options, 200, false), QRect(0, 0, 600, 600));
    EXPECT_EQ(options.zoom, 38);
}

TEST(MediaLayout, FillingTheShorterSideFillsWidthForPortraitAndHeightOtherwise)
{
    MediaViewOptions options = Mode(kZoomFillShorterSide);
    EXPECT_EQ(CalcMediaBounds(QRect(0, 0, 3000, 4000), kFrame, options, 200, false), QRect(0, 0, 800, 1067));
    EXPECT_EQ(options.zoom, 27);
    EXPECT_EQ(CalcMediaBounds(QRect(0, 0, 4000, 2000), kFrame, options, 200, false), QRect(0, 0, 1200, 600));
    EXPECT_EQ(options.zoom, 30);
    // A square counts as landscape: the height fills.
    EXPECT_EQ(CalcMediaBounds(QRect(0, 0, 100, 100), kFrame, options, 200, false), QRect(0, 0, 600, 600));
}

TEST(MediaLayout, FixedZoomScalesByThePercentageAtItsLimits)
{
    MediaViewOptions options = Mode(kZoomFixed, 50);
    EXPECT_EQ(CalcMediaBounds(QRect(0, 0, 4000, 3000), kFrame, options, 200, false), QRect(0, 0, 2000, 1500));
    options.zoom = 2000;
    EXPECT_EQ(CalcMediaBounds(QRect(0, 0, 4000, 3000), kFrame, options, 200, false), QRect(0, 0, 80000, 60000));
    options.zoom = 1;
    EXPECT_EQ(CalcMediaBounds(QRect(0, 0, 50, 30), kFrame, options, 200, false), QRect(0, 0, 1, 1));
    EXPECT_EQ(options.zoom, 1);
    // An empty medium (a sound) lays out empty.
    EXPECT_TRUE(CalcMediaBounds(QRect(), kFrame, options, 200, false).isEmpty());
}
