#include "FrameworkTestSupport.h"

#include "LScrollerView.h"
#include "LView.h"

#include <gtest/gtest.h>

#include <QScrollBar>

namespace {

SPaneInfo PaneAt(SInt32 left, SInt32 top, SInt32 width, SInt32 height, LView* super, PaneIDT id = 0)
{
    SPaneInfo info;
    info.paneID = id;
    info.left = left;
    info.top = top;
    info.width = width;
    info.height = height;
    info.superView = super;
    return info;
}

} // namespace

// Image coordinates far past 16 bits: panes, conversions and hit tests stay exact.
TEST(Geometry, SubpaneFarDownTheImageKeepsItsPlaceBeforeAndAfterScrolling)
{
    SetUpFrameworkFixture();
    LView view(PaneAt(0, 0, 300, 400, nullptr), SDimension32 { 300, 40'000 });
    auto* pane = new LPane(PaneAt(10, 35'000, 50, 20, &view, 5));
    EXPECT_EQ(pane->GetFrame(), QRect(10, 35'000, 50, 20));

    view.ScrollImageTo(0, 34'900, false);
    EXPECT_EQ(view.GetScrollPosition(), (SPoint32 { 0, 34'900 }));
    EXPECT_EQ(pane->GetFrame(), QRect(10, 100, 50, 20));
    QPoint local;
    view.ImageToLocalPoint(SPoint32 { 10, 35'000 }, local);
    EXPECT_EQ(local, QPoint(10, 100));
    SPoint32 image;
    view.LocalToImagePoint(QPoint(10, 100), image);
    EXPECT_EQ(image, (SPoint32 { 10, 35'000 }));

    // Scrolled back, the pane goes back to its image place.
    view.ScrollImageTo(0, 0, false);
    EXPECT_EQ(pane->GetFrame().top(), 35'000);
}

TEST(Geometry, HitTestingInAViewTenMillionPixelsTall)
{
    SetUpFrameworkFixture();
    constexpr SInt32 kTall = 10'000'000;
    LView view(PaneAt(0, 0, 200, 300, nullptr), SDimension32 { 200, kTall });
    auto* near = new LPane(PaneAt(0, 100, 200, 50, &view, 1));
    auto* far = new LPane(PaneAt(0, kTall - 100, 200, 50, &view, 2));
    view.Show(); // hit tests see only visible panes

    EXPECT_EQ(view.FindSubPaneHitBy(20, 120), near);
    EXPECT_EQ(view.FindSubPaneHitBy(20, 250), nullptr);
    EXPECT_TRUE(view.ScrollPinnedImageTo(0, kTall, false));
    EXPECT_EQ(view.GetScrollPosition().v, kTall - 300); // pinned at the far edge
    // The far pane is now 200 pixels down the frame, the near one far above it.
    EXPECT_EQ(far->GetFrame().top(), 200);
    EXPECT_EQ(view.FindSubPaneHitBy(20, 210), far);
    EXPECT_EQ(view.FindDeepSubPaneContaining(20, 249), far);
    EXPECT_EQ(view.FindSubPaneHitBy(20, 120), nullptr);
    EXPECT_TRUE(view.ImagePointIsInFrame(5, kTall - 1));
    EXPECT_FALSE(view.ImagePointIsInFrame(5, kTall - 301));
    EXPECT_TRUE(view.ImageRectIntersectsFrame(0, kTall - 100, 200, kTall - 50));
    EXPECT_FALSE(view.ImageRectIntersectsFrame(0, 100, 200, 150));
}

TEST(Geometry, ConversionsNeverWrapAtTheEdgesOf32Bits)
{
    SetUpFrameworkFixture();
    LView view(PaneAt(0, 0, 100, 100, nullptr), SDimension32 { 100, INT32_MAX });
    view.ScrollImageTo(0, INT32_MAX - 100, false);
    QPoint local;
    view.ImageToLocalPoint(SPoint32 { 0, INT32_MAX }, local);
    EXPECT_EQ(local.y(), 100);
    // Points outside what 32 bits hold are clamped, not wrapped to the other side.
    view.ImageToLocalPoint(SPoint32 { INT32_MIN, 0 }, local);
    EXPECT_EQ(local.x(), INT32_MIN);
    EXPECT_LT(local.y(), 0);
    SPoint32 image;
    view.LocalToImagePoint(QPoint(0, INT32_MAX), image);
    EXPECT_EQ(image.v, INT32_MAX);
}
