#include "FrameworkTestSupport.h"

#include "ExceptionCode.h"
#include "LScrollerView.h"
#include "LView.h"

#include <gtest/gtest.h>

#include <QAbstractScrollArea>
#include <QApplication>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <stdexcept>

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

// A list-like view for the scroller tests: one 20-pixel row per index, painted only
// where exposed, so the cost of a page does not depend on the number of rows.
class RowsView : public LView {
public:
    static constexpr int kRowHeight = 20;
    RowsView(const SPaneInfo& info, SInt32 rows)
        : LView(info, SDimension32 { info.width, SInt32(std::min<qint64>(INT32_MAX, qint64(rows) * kRowHeight)) }, SPoint32 { 1, kRowHeight })
    {
    }
    void DrawSelf(QPainter& painter) override
    {
        const SPoint32 position = GetScrollPosition();
        const QRect exposed = painter.clipBoundingRect().toAlignedRect().intersected(rect());
        const qint64 first = (qint64(position.v) + exposed.top()) / kRowHeight;
        const qint64 last = (qint64(position.v) + exposed.bottom()) / kRowHeight;
        for (qint64 row = first; row <= last; ++row) {
            const int top = int(row * kRowHeight - position.v);
            painter.fillRect(QRect(0, top, width(), kRowHeight), row % 2 ? QColor(230, 230, 240) : QColor(Qt::white));
            painter.drawText(QRect(4, top, width() - 8, kRowHeight), Qt::AlignVCenter, QStringLiteral("Row %1").arg(row));
        }
        painted += int(last - first + 1);
    }
    int painted = 0;
};

TEST(Scrolling, ScrollerBarsHoldThePositionOfAnImageOf2To31Pixels)
{
    SetUpFrameworkFixture();
    SPaneInfo scrollerInfo = PaneAt(0, 0, 300, 200, nullptr);
    LScrollerView scroller(scrollerInfo, 9);
    auto* rows = new RowsView(PaneAt(0, 0, 100, 100, &scroller, 9), 200'000'000); // clamped to 2^31 - 1
    auto* marker = new LPane(PaneAt(10, INT32_MAX - 30, 40, 20, rows, 3));
    scroller.InstallView(rows);
    scroller.Show();

    // The view fills the viewport beside the platform's bars.
    const QSize viewport = scroller.GetScrollArea()->viewport()->size();
    EXPECT_EQ(rows->GetFrameSize(), (SDimension32 { viewport.width(), viewport.height() }));
    EXPECT_EQ(rows->GetImageSize().height, INT32_MAX);
    EXPECT_EQ(scroller.VerticalBar()->maximum(), INT32_MAX - viewport.height());

    EXPECT_TRUE(rows->ScrollPinnedImageTo(0, INT32_MAX, true));
    EXPECT_EQ(scroller.VerticalBar()->value(), INT32_MAX - viewport.height());
    EXPECT_EQ(rows->GetScrollPosition().v, INT32_MAX - viewport.height());
    EXPECT_EQ(marker->GetFrame().top(), viewport.height() - 30);

    // The bar is the position: moving it scrolls the view and its subpanes.
    scroller.VerticalBar()->setValue(INT32_MAX - viewport.height() - 1000);
    EXPECT_EQ(rows->GetScrollPosition().v, INT32_MAX - viewport.height() - 1000);
    EXPECT_EQ(marker->GetFrame().top(), viewport.height() + 970);
    scroller.VerticalBar()->setValue(0);
    EXPECT_EQ(marker->GetFrame().top(), INT32_MAX - 30);

    // Unpinned scrolling may pass the image's start; the bar's range makes room.
    rows->ScrollImageTo(0, -50, false);
    EXPECT_EQ(rows->GetScrollPosition().v, -50);
    EXPECT_EQ(scroller.VerticalBar()->minimum(), -50);
}

TEST(Scrolling, TouchpadPixelsAndWheelNotchesScrollTheView)
{
    SetUpFrameworkFixture();
    LScrollerView scroller(PaneAt(0, 0, 300, 200, nullptr), 9);
    auto* rows = new RowsView(PaneAt(0, 0, 100, 100, &scroller, 9), 1000);
    scroller.InstallView(rows);
    scroller.Show();
    // A notch on the view itself (panes keep mouse events) goes to the bars: three rows.
    QWheelEvent notch(QPointF(20, 20), QPointF(20, 20), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(rows, &notch);
    EXPECT_EQ(rows->GetScrollPosition().v, 3 * RowsView::kRowHeight);
    // A touchpad's fraction of a notch scrolls that fraction of three rows.
    QWheelEvent partial(QPointF(20, 20), QPointF(20, 20), QPoint(0, -7), QPoint(0, -56), Qt::NoButton, Qt::NoModifier, Qt::ScrollUpdate, false);
    QApplication::sendEvent(rows, &partial);
    EXPECT_EQ(rows->GetScrollPosition().v, 3 * RowsView::kRowHeight + 56 * 3 * RowsView::kRowHeight / 120);
}

TEST(Scrolling, ScrolledViewPaintsOnlyTheExposedRowsAtItsOffset)
{
    SetUpFrameworkFixture();
    LScrollerView scroller(PaneAt(0, 0, 300, 200, nullptr), 9);
    auto* rows = new RowsView(PaneAt(0, 0, 100, 100, &scroller, 9), 100'000);
    scroller.InstallView(rows);
    scroller.Show();
    rows->ScrollImageTo(0, 50'000 * RowsView::kRowHeight + 10, true);
    rows->painted = 0;
    QImage picture = scroller.grab().toImage();
    if (qEnvironmentVariableIsSet("ORVEX_SAVE_PICTURES"))
        picture.save(QStringLiteral("scrolled-rows.png"));
    // Half a row shows at the top: row 50,000 (white) then 50,001 (tinted).
    EXPECT_EQ(picture.pixelColor(150, 2), QColor(Qt::white));
    EXPECT_EQ(picture.pixelColor(150, 15), QColor(230, 230, 240));
    EXPECT_LE(rows->painted, rows->height() / RowsView::kRowHeight + 2);
    EXPECT_GT(rows->painted, 0);
}

TEST(Bindings, FollowEveryResizeOnceWhetherTheWindowIsShownOrNot)
{
    SetUpFrameworkFixture();
    LWindow* window = LWindow::CreateWindow(1000, nullptr); // made hidden
    LPane* header = window->FindPaneByID(10); // left, top, right
    LPane* button = window->FindPaneByID(12); // right only, inside the header
    LPane* footer = window->FindPaneByID(30); // left, right, bottom
    window->ResizeFrameBy(100, 50, false);
    EXPECT_EQ(header->GetFrame(), QRect(0, 0, 500, 40));
    EXPECT_EQ(button->GetFrame(), QRect(400, 6, 90, 26));
    EXPECT_EQ(footer->GetFrame(), QRect(0, 320, 500, 30));
    // Qt's own resize events arrive when the window shows: nothing moves twice.
    window->Show();
    QCoreApplication::processEvents();
    EXPECT_EQ(header->GetFrame(), QRect(0, 0, 500, 40));
    EXPECT_EQ(footer->GetFrame(), QRect(0, 320, 500, 30));
    // The user drags the window's frame: the shell resizes the content.
    window->GetShell()->resize(window->GetShell()->width() - 100, window->GetShell()->height() + 20);
    QCoreApplication::processEvents();
    EXPECT_EQ(window->width(), 400);
    EXPECT_EQ(header->GetFrame(), QRect(0, 0, 400, 40));
    EXPECT_EQ(button->GetFrame(), QRect(300, 6, 90, 26));
    EXPECT_EQ(footer->GetFrame(), QRect(0, 340, 400, 30));
    delete window;
    FlushDeletes();
}

TEST(Bindings, DeclaredLayoutsNameOnlyTheViewsOwnPanesOnce)
{
    SetUpFrameworkFixture();
    for (ResIDT id : {ResIDT(1006), ResIDT(1007)}) {
        try {
            LWindow::CreateWindow(id, nullptr);
            ADD_FAILURE() << "layout " << id << " was accepted";
        } catch (const ExceptionCode& e) {
            EXPECT_EQ(e.Code(), err_BadLayout);
            EXPECT_NE(std::string(e.what()).find("layout item"), std::string::npos) << e.what();
        }
    }
    FlushDeletes();
}

TEST(Drawing, ACodeThrownWhileDrawingStaysInThePane)
{
    SetUpFrameworkFixture();
    // A library's own exception is held back as well as one of ours.
    struct Failing : LPane {
        using LPane::LPane;
        bool foreign = false;
        void DrawSelf(QPainter& painter) override
        {
            painter.fillRect(0, 0, 10, 10, Qt::red);
            if (foreign)
                throw std::overflow_error("cannot draw the rest");
            ThrowOSErr_(err_AssertFailed, "cannot draw the rest");
        }
    };
    for (bool foreign : {false, true}) {
        Failing pane(PaneAt(0, 0, 40, 40, nullptr));
        pane.foreign = foreign;
        pane.Show();
        QImage picture;
        EXPECT_NO_THROW(picture = pane.grab().toImage());
        EXPECT_EQ(picture.pixelColor(5, 5), QColor(Qt::red)); // what was drawn before stays
    }
}
