#include "CResizerView.h"
#include "ExceptionCode.h"
#include "LWindow.h"
#include "TestSupport.h"
#include "UReanimator.h"
#include "URegistrar.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <QTest>

namespace {

// A pane painted in one colour, so a grabbed picture shows where it is.
class ColourPane : public LView {
public:
    ColourPane(LView* super, PaneIDT id, QRect frame, QColor colour, SBooleanRect bindings)
        : LView(SPaneInfo { id, frame.width(), frame.height(), true, true, bindings, frame.left(), frame.top(), 0, super })
        , mColour(colour)
    {
    }
    void DrawSelf(QPainter& painter) override { painter.fillRect(rect(), mColour); }

private:
    QColor mColour;
};

// A window whose content is a tracker view holding a split view of two panes
// and a 6-pixel divider, side by side or one above the other.
struct SplitFixture {
    LWindow* window = nullptr;
    CResizerTrackerView* tracker = nullptr;
    CResizerView* resizer = nullptr;

    SplitFixture(bool vertical, bool live, SInt16 firstMinimum = 100, SInt16 secondMinimum = 50)
    {
        const SBooleanRect all { true, true, true, true };
        window = new LWindow(SPaneInfo { 0, 500, 300, true, true, {}, 40, 40, 0, nullptr },
            windAttr_Regular | windAttr_TitleBar | windAttr_Resizable | windAttr_Enabled, QStringLiteral("Split"), nullptr);
        tracker = new CResizerTrackerView(SPaneInfo { 1, 500, 300, true, true, all, 0, 0, 0, window });
        CResizerView::Settings settings;
        settings.firstPaneID = 10;
        settings.dividerPaneID = 11;
        settings.secondPaneID = 12;
        settings.firstMinimum = firstMinimum;
        settings.secondMinimum = secondMinimum;
        settings.vertical = vertical;
        settings.live = live;
        settings.mainCursorID = 300;
        settings.dragCursorID = 301;
        resizer = new CResizerView(SPaneInfo { 2, 500, 300, true, true, all, 0, 0, 0, tracker }, settings);
        const SBooleanRect fixedSide = vertical ? SBooleanRect { true, true, true, false } : SBooleanRect { true, true, false, true };
        if (vertical) {
            new ColourPane(resizer, 10, QRect(0, 0, 500, 120), QColor(70, 110, 170), fixedSide);
            new ColourPane(resizer, 11, QRect(0, 120, 500, 6), QColor(190, 190, 195), fixedSide);
            new ColourPane(resizer, 12, QRect(0, 126, 500, 174), QColor(235, 235, 225), all);
        } else {
            new ColourPane(resizer, 10, QRect(0, 0, 200, 300), QColor(70, 110, 170), fixedSide);
            new ColourPane(resizer, 11, QRect(200, 0, 6, 300), QColor(190, 190, 195), fixedSide);
            new ColourPane(resizer, 12, QRect(206, 0, 294, 300), QColor(235, 235, 225), all);
        }
        window->FinishCreate();
        window->Show();
    }
    ~SplitFixture()
    {
        delete window;
        FlushDeletes();
    }
    QWidget* Divider() const { return resizer->GetDividerPane(); }
    int FirstWidth() const { return resizer->GetFirstPane()->width(); }
    int SecondWidth() const { return resizer->GetSecondPane()->width(); }
    void Press(QPoint where) { QTest::mousePress(Divider(), Qt::LeftButton, {}, where); }
    void MoveTo(QPoint where)
    {
        QMouseEvent move(QEvent::MouseMove, where, Divider()->mapToGlobal(where), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(Divider(), &move);
    }
    void Release(QPoint where) { QTest::mouseRelease(Divider(), Qt::LeftButton, {}, where); }
};

TEST(ResizerArithmetic, SharesTheRoomInTheRatioOfTheMinimums)
{
    EXPECT_EQ(CResizerView::SharedFirstSize(90, 100, 50), 60);
    EXPECT_EQ(CResizerView::SharedFirstSize(149, 100, 50), 99);
    EXPECT_EQ(CResizerView::SharedFirstSize(150, 100, 50), 100);
    EXPECT_EQ(CResizerView::SharedFirstSize(400, 100, 50), 350);
    EXPECT_EQ(CResizerView::SharedFirstSize(0, 100, 50), 0);
    EXPECT_EQ(CResizerView::SharedFirstSize(-30, 100, 50), 0);
    EXPECT_EQ(CResizerView::SharedFirstSize(10, 0, 0), 10);
}

TEST(Resizer, MovingTheDividerResizesBothPanes)
{
    SplitFixture split(false, true);
    split.resizer->MoveDividerBy(40);
    EXPECT_EQ(split.resizer->GetFirstPane()->GetFrame(), QRect(0, 0, 240, 300));
    EXPECT_EQ(split.resizer->GetDividerPane()->GetFrame(), QRect(240, 0, 6, 300));
    EXPECT_EQ(split.resizer->GetSecondPane()->GetFrame(), QRect(246, 0, 254, 300));
    EXPECT_EQ(split.resizer->GetDividerPosition(), 240);
    split.resizer->SetDividerPosition(10); // below the minimum: kept at it
    EXPECT_EQ(split.FirstWidth(), 100);
    split.resizer->SetDividerPosition(1000);
    EXPECT_EQ(split.SecondWidth(), 50);
    EXPECT_EQ(split.resizer->CalcAllowedRect(), QRect(QPoint(100, 0), QPoint(449, 299)));
}

TEST(Resizer, LiveDragFollowsTheMouseAndStopsAtTheMinimums)
{
    SplitFixture split(false, true);
    EXPECT_EQ(split.Divider()->cursor().shape(), Qt::SplitHCursor);
    split.Press({ 3, 100 });
    split.MoveTo({ 53, 100 });
    EXPECT_EQ(split.FirstWidth(), 250); // live: at once
    EXPECT_FALSE(split.tracker->IsXORDrawing());
    split.MoveTo({ -500, 100 }); // far past the first pane's minimum
    EXPECT_EQ(split.FirstWidth(), 100);
    split.MoveTo({ 900, 100 }); // past the second's
    EXPECT_EQ(split.SecondWidth(), 50);
    split.Release({ 900, 100 });
    EXPECT_FALSE(split.tracker->IsTracking());
    EXPECT_EQ(split.FirstWidth() + split.SecondWidth(), 494);
}

TEST(Resizer, DragThatIsNotLiveShowsABandAndResizesAtTheEnd)
{
    SplitFixture split(true, false);
    EXPECT_EQ(split.Divider()->cursor().shape(), Qt::SplitVCursor);
    split.Press({ 200, 2 });
    ASSERT_TRUE(split.tracker->IsTracking());
    EXPECT_TRUE(split.tracker->IsXORDrawing());
    split.MoveTo({ 200, 32 });
    EXPECT_EQ(split.resizer->GetFirstPane()->height(), 120); // not yet
    EXPECT_EQ(split.tracker->GetXORRegion(), QRect(0, 150, 500, 6));
    QImage during = split.window->GetShell()->grab().toImage();
    if (qEnvironmentVariableIsSet("ORVEX_SAVE_RENDERS"))
        during.save(qEnvironmentVariable("ORVEX_SAVE_RENDERS") + QStringLiteral("/split-band.png"));
    split.Release({ 200, 32 });
    EXPECT_FALSE(split.tracker->IsXORDrawing());
    EXPECT_EQ(split.resizer->GetFirstPane()->height(), 150);
    EXPECT_EQ(split.resizer->GetSecondPane()->GetFrame(), QRect(0, 156, 500, 144));
}

TEST(Resizer, ShrinkingBelowBothMinimumsSharesTheRoom)
{
    SplitFixture split(false, true);
    // Room for the panes 90 pixels: the first gets 60, the second 30.
    split.window->ResizeFrameBy(90 + 6 - 500, 0, false);
    EXPECT_EQ(split.FirstWidth(), 60);
    EXPECT_EQ(split.SecondWidth(), 30);
    EXPECT_EQ(split.resizer->GetDividerPane()->x(), 60);
    // Growing again while the first is under its minimum: all but the second's
    // minimum goes to the first.
    split.window->ResizeFrameBy(300, 0, false);
    EXPECT_EQ(split.FirstWidth(), 340);
    EXPECT_EQ(split.SecondWidth(), 50);
    // Both at their minimums or above: the bindings alone decide.
    split.window->ResizeFrameBy(100, 0, false);
    EXPECT_EQ(split.FirstWidth(), 340);
    EXPECT_EQ(split.SecondWidth(), 150);
}

TEST(Resizer, ADisabledDividerOrNoTrackerMeansAnOrdinaryClick)
{
    SplitFixture split(false, true);
    split.resizer->EnableDivider(false);
    split.Press({ 3, 100 });
    EXPECT_FALSE(split.tracker->IsTracking());
    split.Release({ 3, 100 });
    EXPECT_NE(split.Divider()->cursor().shape(), Qt::SplitHCursor);
}

TEST(Resizer, TrackerRefusesWhatCannotMove)
{
    SplitFixture split(false, true);
    QRect divider(200, 0, 6, 300);
    EXPECT_FALSE(split.tracker->BeginTracking({ 202, 10 }, 3, split.resizer, divider, QRect(100, 0, 300, 300), true));
    EXPECT_FALSE(split.tracker->BeginTracking({ 202, 10 }, resizerTrack_Horizontal, split.resizer, divider, QRect(), true));
    EXPECT_FALSE(split.tracker->BeginTracking({ 202, 10 }, resizerTrack_Horizontal, split.resizer, divider, QRect(198, 0, 6, 300), true));
    EXPECT_TRUE(split.tracker->BeginTracking({ 202, 10 }, resizerTrack_Horizontal, split.resizer, divider, QRect(100, 0, 300, 300), true));
    split.tracker->EndTracking();
}

TEST(Resizer, MadeFromALayout)
{
    static bool registered = false;
    if (!registered) {
        registered = true;
        URegistrar::RegisterFrameworkClasses();
        RegisterResizerClasses();
        UReanimator::AddLayoutFolder(QStringLiteral(ORVEX_SOURCE_DIR "/tests/external/resizer/fixture/layouts"));
    }
    LWindow* window = LWindow::CreateWindow(7000, nullptr);
    auto* resizer = dynamic_cast<CResizerView*>(window->FindPaneByID(2));
    ASSERT_NE(resizer, nullptr);
    EXPECT_NE(dynamic_cast<CResizerTrackerView*>(window->FindPaneByID(1)), nullptr);
    EXPECT_EQ(resizer->GetFirstPane(), window->FindPaneByID(10));
    EXPECT_EQ(resizer->GetDividerPane(), window->FindPaneByID(11));
    EXPECT_EQ(resizer->GetFirstMinimum(), 100);
    EXPECT_EQ(resizer->GetSecondMinimum(), 0); // a negative minimum counts as none
    EXPECT_FALSE(resizer->HasDragCursor());     // the same ID as the main cursor
    EXPECT_FALSE(resizer->IsVertical());
    delete window;

    try {
        delete LWindow::CreateWindow(7001, nullptr);
        FAIL() << "a split view without its divider was made";
    } catch (const ExceptionCode& e) {
        EXPECT_EQ(e.Code(), OSStatus('nilP'));
    }
    FlushDeletes();
}

TEST(Resizer, SplitViewRendersOffscreen)
{
    SplitFixture split(false, true);
    split.resizer->MoveDividerBy(-50);
    QImage image = split.window->GetShell()->grab().toImage();
    if (qEnvironmentVariableIsSet("ORVEX_SAVE_RENDERS"))
        image.save(qEnvironmentVariable("ORVEX_SAVE_RENDERS") + QStringLiteral("/split.png"));
    EXPECT_EQ(image.pixelColor(75, 150), QColor(70, 110, 170));
    EXPECT_EQ(image.pixelColor(152, 150), QColor(190, 190, 195));
    EXPECT_EQ(image.pixelColor(300, 150), QColor(235, 235, 225));
}

} // namespace
