#include "CContextualMenu.h"
#include "CIndexItem.h"
#include "CIndexView.h"
#include "CItemError.h"
#include "CUpdateTask.h"
#include "CVisualTask.h"
#include "FieldKeys.h"
#include "IndexGridGeometry.h"
#include "IndexGridMarquee.h"
#include "IndexGridNavigation.h"
#include "LDialogBox.h"
#include "LPrintout.h"
#include "LScrollerView.h"
#include "Offscreen.h"
#include "Preferences.h"
#include "UCursors.h"
#include "UEvents.h"
#include "URegistrar.h"

#include "AlertAnswer.h"
#include "DrawnText.h"
#include "IndexViewFixture.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTimer>
#include <QApplication>
#include <QImage>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QWindow>

#include <cstdlib>
#include <functional>
#include <limits>
#include <memory>
#include <set>

namespace {

IndexGridGeometry Grid(QSize cell, SInt32 frameWidth, SInt32 count)
{
    IndexGridGeometry grid;
    grid.SetCellSize(cell);
    grid.Layout(frameWidth, count);
    return grid;
}

} // namespace

TEST(IndexGridGeometry, CellSizesForEachModeAndScale)
{
    IndexGridGeometry::Metrics metrics; // spacing 4, line 14, one line
    EXPECT_EQ(IndexGridGeometry::CellSizeFor(128, metrics), QSize(136, 150));
    metrics.textLines = 3;
    EXPECT_EQ(IndexGridGeometry::CellSizeFor(128, metrics), QSize(136, 178));
    // The extended view has no text under the picture and 260 more across.
    metrics.extended = true;
    EXPECT_EQ(metrics.TextHeight(), 0);
    EXPECT_EQ(IndexGridGeometry::CellSizeFor(64, metrics), QSize(72 + 260, 72));
    // Lengths times the scale, each the integer part of its product.
    metrics.scale = 1.5;
    EXPECT_EQ(metrics.Spacing(), 6);
    EXPECT_EQ(metrics.LineHeight(), 21);
    EXPECT_EQ(metrics.LabelWidth(), 117);
    EXPECT_EQ(IndexGridGeometry::CellSizeFor(64, metrics), QSize(76 + 390, 76));
    // Settings of nothing or far too much still give a usable cell.
    metrics = {};
    metrics.spacing = 0;
    metrics.textLines = 0;
    EXPECT_EQ(IndexGridGeometry::CellSizeFor(0, metrics), QSize(1, 1));
    EXPECT_EQ(IndexGridGeometry::CellSizeFor(std::numeric_limits<SInt32>::max(), metrics),
        QSize(IndexGridGeometry::kMaxCellSide, IndexGridGeometry::kMaxCellSide));
}

TEST(IndexGridGeometry, ThumbnailSizeClampsToTheFrameAndToThirtyTwo)
{
    IndexGridGeometry::Metrics metrics; // one line of 14 under the picture
    const QSize frame(400, 300);
    EXPECT_EQ(IndexGridGeometry::MaxThumbnailSize(frame, metrics), 300 - 8 - 14);
    EXPECT_EQ(IndexGridGeometry::ClampThumbnailSize(10, frame, metrics), 32);
    EXPECT_EQ(IndexGridGeometry::ClampThumbnailSize(5000, frame, metrics), 278);
    EXPECT_EQ(IndexGridGeometry::ClampThumbnailSize(100, frame, metrics), 100);
    // A frame too small for the minimum: the minimum wins.
    EXPECT_EQ(IndexGridGeometry::ClampThumbnailSize(100, QSize(20, 20), metrics), 32);
}

TEST(IndexGridGeometry, ColumnsRowsAndImage)
{
    // Ten items in three columns make four rows; nine make three.
    IndexGridGeometry grid = Grid(QSize(100, 120), 350, 10);
    EXPECT_EQ(grid.Columns(), 3);
    EXPECT_EQ(grid.Rows(), 4);
    EXPECT_EQ(grid.ImageSize(350), (SDimension32 { 350, 480 }));
    grid.Layout(350, 9);
    EXPECT_EQ(grid.Rows(), 3);
    // A frame narrower than a cell still has one column; an image at least a cell wide.
    grid.Layout(40, 9);
    EXPECT_EQ(grid.Columns(), 1);
    EXPECT_EQ(grid.ImageSize(40).width, 100);
    // A zero cell from the settings divides nothing by zero.
    grid.SetCellSize(QSize(0, 0));
    grid.Layout(350, 9);
    EXPECT_EQ(grid.CellSize(), QSize(1, 1));
    EXPECT_EQ(grid.Columns(), 350);
    grid.Layout(0, 9);
    EXPECT_EQ(grid.Columns(), 1);
    // A hundred thousand items in one column: rows are not cut at 16 bits and the
    // image height stays within 32 bits.
    grid.SetCellSize(QSize(400, 200));
    grid.Layout(300, 100'000);
    EXPECT_EQ(grid.Rows(), 100'000);
    EXPECT_EQ(grid.ImageSize(300).height, 20'000'000);
    EXPECT_EQ(grid.CellRect(100'000), QRect(0, 19'999'800, 400, 200));
    grid.SetCellSize(QSize(400, 32767));
    EXPECT_EQ(grid.ImageSize(300).height, std::numeric_limits<SInt32>::max());
}

TEST(IndexGridGeometry, FillingTheFrameWidensAndHeightensTheCells)
{
    IndexGridGeometry grid = Grid(QSize(100, 120), 350, 10);
    grid.FillFrame(QSize(350, 400), true, false);
    EXPECT_EQ(grid.CellSize(), QSize(116, 120)); // 100 + 50 / 3
    EXPECT_LE(grid.Columns() * grid.CellSize().width(), 350);
    EXPECT_GT(grid.Columns() * grid.CellSize().width(), 350 - grid.Columns());
    grid.FillFrame(QSize(350, 400), false, true);
    EXPECT_EQ(grid.CellSize(), QSize(116, 133)); // three rows of 120 in 400: 40 / 3 more each
    // A frame lower than one row leaves the height alone.
    grid.FillFrame(QSize(350, 50), false, true);
    EXPECT_EQ(grid.CellSize().height(), 133);
}

TEST(IndexGridGeometry, HitTestingClampsTheColumnAndRespectsTheEdges)
{
    IndexGridGeometry grid = Grid(QSize(100, 100), 350, 10); // 3 columns, 50 pixels of margin at the right
    EXPECT_EQ(grid.IndexAt({ 0, 0 }, false), 1);
    EXPECT_EQ(grid.IndexAt({ 99, 99 }, false), 1);
    EXPECT_EQ(grid.IndexAt({ 100, 0 }, false), 2);
    EXPECT_EQ(grid.IndexAt({ 250, 150 }, false), 6);
    // In the right margin: no cell, and clamped the row's last cell, never the next row's first.
    EXPECT_EQ(grid.IndexAt({ 320, 150 }, false), 0);
    EXPECT_EQ(grid.IndexAt({ 320, 150 }, true), 6);
    // Below the last item: none; clamped, the last.
    EXPECT_EQ(grid.IndexAt({ 150, 350 }, false), 0);
    EXPECT_EQ(grid.IndexAt({ 150, 350 }, true), 10);
    EXPECT_EQ(grid.IndexAt({ 10, 5'000'000 }, true), 10);
    // Above and left of the image.
    EXPECT_EQ(grid.IndexAt({ -5, 10 }, false), 0);
    EXPECT_EQ(grid.IndexAt({ 10, -5 }, false), 0);
    EXPECT_EQ(grid.IndexAt({ -5, -5 }, true), 1);
    // Far down a long list, exact.
    grid.Layout(350, 1'000'000);
    EXPECT_EQ(grid.IndexAt({ 150, 30'000'050 }, false), 300'000 * 3 + 2);
    EXPECT_EQ(grid.CellRect(900'002), QRect(100, 30'000'000, 100, 100));
    EXPECT_TRUE(grid.CellRect(0).isEmpty());
    EXPECT_TRUE(grid.CellRect(1'000'001).isEmpty());
    EXPECT_EQ(Grid(QSize(100, 100), 350, 0).IndexAt({ 0, 0 }, true), 0) << "an empty list has no index";
}

TEST(IndexGridGeometry, VisibleRangeIsTheRowsShowing)
{
    IndexGridGeometry grid = Grid(QSize(100, 100), 350, 100'000); // 3 columns
    SInt32 first = 0, last = 0;
    grid.VisibleRange(0, 250, first, last);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(last, 9); // rows 1 to 3
    grid.VisibleRange(150, 100, first, last);
    EXPECT_EQ(first, 4);
    EXPECT_EQ(last, 9);
    grid.VisibleRange(3'333'200, 500, first, last); // the last row holds one item
    EXPECT_EQ(first, 99'997);
    EXPECT_EQ(last, 100'000);
    grid.VisibleRange(4'000'000, 500, first, last);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(last, 0);
    EXPECT_EQ(grid.ScrollTopFor(4), 104);
}

TEST(IndexGridGeometry, MarqueeSelectsTheCellsThatEnterAndDeselectsThoseThatLeave)
{
    IndexGridGeometry grid = Grid(QSize(100, 100), 350, 10); // 3 columns, 4 rows, the last holds 10
    using Span = IndexGridGeometry::CellSpan;
    EXPECT_TRUE(grid.CellsUnder(QRect(10, 10, 0, 0)).IsEmpty());
    const Span one = grid.CellsUnder(QRect(10, 10, 50, 50));
    EXPECT_EQ(one, (Span { 1, 1, 1, 1 }));
    // The right column is limited to the column count.
    const Span wide = grid.CellsUnder(QRect(10, 10, 330, 150));
    EXPECT_EQ(wide, (Span { 1, 2, 1, 3 }));

    std::vector<SInt32> entered, left;
    grid.MarqueeChanges(Span {}, one, entered, left);
    EXPECT_EQ(entered, (std::vector<SInt32> { 1 }));
    EXPECT_TRUE(left.empty());
    grid.MarqueeChanges(one, wide, entered, left);
    EXPECT_EQ(entered, (std::vector<SInt32> { 2, 3, 4, 5, 6 }));
    EXPECT_TRUE(left.empty());
    // Back up and to the right: the first column and the second row leave.
    const Span moved = grid.CellsUnder(QRect(150, 10, 200, 50));
    grid.MarqueeChanges(wide, moved, entered, left);
    EXPECT_TRUE(entered.empty());
    EXPECT_EQ(left, (std::vector<SInt32> { 1, 4, 5, 6 }));
    // Over the end of the list: only indexes that exist.
    const Span bottom = grid.CellsUnder(QRect(0, 250, 350, 200));
    grid.MarqueeChanges(Span {}, bottom, entered, left);
    EXPECT_EQ(entered, (std::vector<SInt32> { 7, 8, 9, 10 }));
    grid.MarqueeChanges(wide, wide, entered, left);
    EXPECT_TRUE(entered.empty() && left.empty());
}

TEST(IndexGridNavigation, ArrowsAtTheEndsOfRowsAndOfTheList)
{
    // 10 items in 3 columns; first visible 4.
    auto move = [](UInt8 key, UInt16 modifiers, SInt32 first, SInt32 last) {
        return ArrowKeyTarget(key, modifiers, first, last, 10, 3, 4);
    };
    EXPECT_EQ(move(char_RightArrow, 0, 0, 0).target, 4); // no selection: the first visible
    EXPECT_EQ(move(char_RightArrow, 0, 3, 3).target, 4); // end of a row: on to the next
    EXPECT_EQ(move(char_LeftArrow, 0, 4, 4).target, 3);
    EXPECT_EQ(move(char_LeftArrow, 0, 1, 1).target, 1); // before the list: falls back
    EXPECT_EQ(move(char_RightArrow, 0, 10, 10).target, 10);
    EXPECT_EQ(move(char_RightArrow, 0, 2, 5).target, 6); // after the last selected
    EXPECT_TRUE(move(char_RightArrow, shiftKey, 2, 5).keepSelection);
    EXPECT_FALSE(move(char_RightArrow, 0, 2, 5).keepSelection);
    EXPECT_EQ(move(char_UpArrow, 0, 2, 2).target, 2); // first row, no Command: stays
    EXPECT_EQ(move(char_UpArrow, 0, 5, 5).target, 2);
    EXPECT_EQ(move(char_UpArrow, cmdKey, 5, 5).target, 1);
    EXPECT_EQ(move(char_DownArrow, 0, 5, 5).target, 8);
    EXPECT_EQ(move(char_DownArrow, 0, 8, 8).target, 10); // past the count: the last
    EXPECT_EQ(move(char_DownArrow, cmdKey, 1, 1).target, 10);
    EXPECT_EQ(move(char_Home, 0, 5, 5).target, 1);
    EXPECT_EQ(move(char_End, 0, 5, 5).target, 10);
    const ArrowKeyMove page = move(char_PageDown, 0, 5, 7);
    EXPECT_TRUE(page.beep);
    EXPECT_EQ(page.target, 5);
    EXPECT_EQ(ArrowKeyTarget(char_DownArrow, 0, 1, 1, 0, 3, 1).target, 0); // an empty list
    EXPECT_EQ(ArrowKeyTarget(char_DownArrow, 0, 1, 1, 10, 0, 1).target, 2); // no columns counts as one
}

TEST(IndexGridNavigation, PlusAndMinusStepByForties)
{
    EXPECT_EQ(NextThumbnailSize(100, true), 120);
    EXPECT_EQ(NextThumbnailSize(120, true), 160);
    EXPECT_EQ(NextThumbnailSize(100, false), 40);
    EXPECT_EQ(NextThumbnailSize(40, false), 32);
    EXPECT_EQ(NextThumbnailSize(32, false), 32);
}

TEST(IndexGridNavigation, TabWalksTheEditableFieldsAndWraps)
{
    // Three items of three lines; lines 0 and 2 are editable, item 2's line 2 is not.
    auto editable = [](SInt32 index, SInt32 column) { return column == 0 || (column == 2 && index != 2); };
    SInt32 index = 1, column = 0;
    ASSERT_TRUE(NextRenameField(index, column, false, false, 3, 3, editable));
    EXPECT_EQ(std::pair(index, column), std::pair(1, 2));
    ASSERT_TRUE(NextRenameField(index, column, false, false, 3, 3, editable));
    EXPECT_EQ(std::pair(index, column), std::pair(2, 0));
    ASSERT_TRUE(NextRenameField(index, column, false, false, 3, 3, editable));
    EXPECT_EQ(std::pair(index, column), std::pair(3, 0)); // item 2's last line is skipped
    index = 3, column = 2; // the last editable line of the last item continues at the first item
    ASSERT_TRUE(NextRenameField(index, column, false, false, 3, 3, editable));
    EXPECT_EQ(std::pair(index, column), std::pair(1, 0));
    ASSERT_TRUE(NextRenameField(index, column, true, false, 3, 3, editable)); // Shift-Tab back over the wrap
    EXPECT_EQ(std::pair(index, column), std::pair(3, 2));
    ASSERT_TRUE(NextRenameField(index, column, false, true, 3, 3, editable)); // Option: same line, next item
    EXPECT_EQ(std::pair(index, column), std::pair(1, 2));
    ASSERT_TRUE(NextRenameField(index, column, false, true, 3, 3, editable));
    EXPECT_EQ(std::pair(index, column), std::pair(3, 2)); // item 2 cannot take it
    // Nothing editable: the walk ends and nothing moves.
    index = 2, column = 1;
    EXPECT_FALSE(NextRenameField(index, column, false, false, 3, 3, [](SInt32, SInt32) { return false; }));
    EXPECT_EQ(std::pair(index, column), std::pair(2, 1));
}

// --- The grid painted ----------------------------------------------------------------------------------------------

namespace {

QColor ColourOf(int index)
{
    return QColor::fromHsv((index * 47) % 360, 200, 220);
}

class GridPaintTest : public IndexViewFixture {
protected:
    void SetUp() override
    {
        MakeView(640, 480);
        view->SetCellSize(160, 180);
    }
    // Items whose pictures are plain squares of their own colour.
    void Fill(int count) { AddPictureItems(count, QStringLiteral("photo"), 1, QSize(120, 120), ColourOf); }
    QImage Grab()
    {
        view->Show();
        QImage picture = view->grab().toImage();
        if (qEnvironmentVariableIsSet("ORVEX_SAVE_PICTURES"))
            picture.save(QStringLiteral("grid-%1.png").arg(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        return picture;
    }
    // The colour at the centre of an index's cell picture, as drawn.
    QColor CentreOf(const QImage& picture, SInt32 index)
    {
        QRect cell;
        if (!view->GetCellRect(index, cell))
            return {};
        CIndexItem* item = nullptr;
        view->GetItemAt(index, item);
        return picture.pixelColor(item->GetPartRect(kItemPartPicture, cell, *view).center());
    }
};

bool Near(const QColor& a, const QColor& b)
{
    return std::abs(a.red() - b.red()) < 12 && std::abs(a.green() - b.green()) < 12 && std::abs(a.blue() - b.blue()) < 12;
}

} // namespace

TEST_F(GridPaintTest, EachItemDrawsItsPictureInItsCellAndTheRestIsBackground)
{
    Fill(7); // four columns of 160 in 640: a full row and three more
    const QImage picture = Grab();
    EXPECT_EQ(view->GetGridColumns(), 4);
    for (SInt32 index = 1; index <= 7; ++index)
        EXPECT_TRUE(Near(CentreOf(picture, index), ColourOf(int(index)))) << "cell " << index;
    // The place of an eighth cell and everything below the second row are empty.
    EXPECT_EQ(picture.pixelColor(3 * 160 + 80, 180 + 60), view->GetBackgroundColor());
    EXPECT_EQ(picture.pixelColor(320, 420), view->GetBackgroundColor());
}

TEST_F(GridPaintTest, CellsShowTheirFieldsWholeAndNothingForAFieldWithoutAValue)
{
    Fill(2);
    view->Show();
    // Under each thumbnail its name and its urgency: an item without one shows
    // nothing there, not a word for "none".
    view->ClearColumns();
    view->AddColumn(kFieldName);
    view->AddColumn(kFieldUrgencyLabel);
    view->AddColumn(kFieldHeadline);
    QStringList drawn = TextsDrawnBy(view->size(), [&](QPainter& painter) { view->DrawSelf(painter); });
    drawn.removeAll(QString());
    EXPECT_EQ(drawn, (QStringList { QStringLiteral("photo1"), QStringLiteral("photo2") }));

    // The extended cells name every field in full beside its value.
    view->SetViewMode(kExtendedViewMode);
    view->ClearColumns();
    for (SInt32 field : { kFieldName, kFieldUrgencyLabel, kFieldDateCreated, kFieldSupplementalCategories,
             kFieldSpecialInstructions, kFieldTransmissionReference, kFieldCaptionWriter })
        view->AddColumn(field);
    view->SetCellSize(view->GetCellSize().width(), 7 * view->GetLineHeight() + 8);
    drawn = TextsDrawnBy(view->size(), [&](QPainter& painter) { view->DrawSelf(painter); });
    int labels = 0;
    for (const QString& text : drawn) {
        EXPECT_FALSE(text.contains(QChar(0x2026))) << "cut: " << text.toStdString();
        labels += text.endsWith(QLatin1Char(':'));
    }
    EXPECT_GE(labels, 7) << drawn.join(" | ").toStdString();
}

TEST_F(GridPaintTest, AScrolledViewOfManyItemsDrawsTheRowsAtItsOffset)
{
    Fill(2000);
    view->SetCellSize(150, 180); // four columns and a margin of 40 at the right
    view->Show();
    view->ScrollImageTo(0, 300 * 180, false); // row 301 at the top
    const QImage picture = Grab();
    SInt32 first = 0, last = 0;
    view->Grid().VisibleRange(view->GetScrollPosition().v, view->height(), first, last);
    EXPECT_EQ(first, 1201);
    EXPECT_EQ(last, 1212); // three rows show
    for (SInt32 index : {first, first + 5, last})
        EXPECT_TRUE(Near(CentreOf(picture, index), ColourOf(int(index)))) << "cell " << index;
    EXPECT_EQ(view->IndexAtPoint(QPoint(620, 10), false), 0); // the right margin is no cell
    EXPECT_EQ(view->IndexAtPoint(QPoint(620, 10), true), 1204); // clamped in its own row
}

TEST_F(GridPaintTest, CellsThatFailToDrawLeaveThePainterAsTheyFoundIt)
{
    // Remote items without a picture or an icon yet: each cell's drawing gives up.
    for (int i = 1; i <= 3; ++i)
        view->InsertItem(new CIndexItem(QUrl(QStringLiteral("http://example.org/far%1.jpg").arg(i))), kInsertAtEnd, false, true);
    StLogCapture log("default");
    Grab();
    EXPECT_FALSE(log.All().contains(QStringLiteral("saved states"))) << log.All().toStdString();
}

TEST_F(GridPaintTest, AnEmptyViewShowsWhatToDo)
{
    const QImage picture = Grab();
    // Something is drawn in the middle (the icons) and below it (the text).
    int inked = 0;
    for (int y = 100; y < 480; y += 2) {
        for (int x = 0; x < 640; x += 2)
            inked += picture.pixelColor(x, y) != view->GetBackgroundColor() ? 1 : 0;
    }
    EXPECT_GT(inked, 500);
}

// --- Selection ------------------------------------------------------------------------------------------------------

namespace {

std::vector<SInt32> Selected(CIndexView* view)
{
    std::vector<SInt32> indexes;
    for (SInt32 index = 1; index <= view->CountItems(); ++index) {
        if (view->GetModel().IsSelected(index))
            indexes.push_back(index);
    }
    return indexes;
}

} // namespace

TEST_F(GridPaintTest, ClicksWithModifiersSelectAsTheFinderDoes)
{
    Fill(10); // four columns of 160, rows of 180; the third row holds two
    view->Show();
    auto pictureOf = [&](SInt32 index) {
        QRect cell;
        view->GetCellRect(index, cell);
        CIndexItem* item = nullptr;
        view->GetItemAt(index, item);
        return item->GetPartRect(kItemPartPicture, cell, *view).center();
    };
    view->SimulateClick(pictureOf(2));
    EXPECT_EQ(Selected(view), (std::vector<SInt32> { 2 }));
    view->SimulateClick(pictureOf(5), cmdKey);
    EXPECT_EQ(Selected(view), (std::vector<SInt32> { 2, 5 }));
    view->SimulateClick(pictureOf(2), cmdKey); // toggles off
    EXPECT_EQ(Selected(view), (std::vector<SInt32> { 5 }));
    // Shift before the selection fills the gap up to it; after it, from it.
    view->SimulateClick(pictureOf(3), shiftKey);
    EXPECT_EQ(Selected(view), (std::vector<SInt32> { 3, 4, 5 }));
    view->SimulateClick(pictureOf(8), shiftKey);
    EXPECT_EQ(Selected(view), (std::vector<SInt32> { 3, 4, 5, 6, 7, 8 }));
    // A plain click on a selected picture keeps the selection (it may be dragged).
    view->SimulateClick(pictureOf(4));
    EXPECT_EQ(Selected(view).size(), 6u);
    // On an unselected one it selects only that one.
    view->SimulateClick(pictureOf(9));
    EXPECT_EQ(Selected(view), (std::vector<SInt32> { 9 }));
    // The right margin of a row, and the place after the last item, select nothing.
    view->SetCellSize(150, 180);
    view->SimulateClick(pictureOf(7));
    view->SimulateClick(QPoint(625, 20));
    EXPECT_TRUE(Selected(view).empty());
    view->SimulateClick(pictureOf(10));
    view->SimulateClick(QPoint(500, 400));
    EXPECT_TRUE(Selected(view).empty());
}

TEST_F(GridPaintTest, MarqueeAndArrowKeysMoveTheSelection)
{
    Fill(12); // four columns, three rows
    view->Show();
    SMouseDownEvent down;
    down.whereLocal = QPoint(10, 10);
    IndexGridMarquee receiver(*view);
    LMarqueeTask marquee(receiver, view, down);
    marquee.Step(QPoint(330, 200)); // three columns, two rows
    EXPECT_EQ(Selected(view), (std::vector<SInt32> { 1, 2, 3, 5, 6, 7 }));
    marquee.Step(QPoint(170, 100)); // back to two cells of the first row
    EXPECT_EQ(Selected(view), (std::vector<SInt32> { 1, 2 }));
    marquee.Finish();

    EXPECT_TRUE(view->HandleArrowKey(char_DownArrow, 0));
    EXPECT_EQ(Selected(view), (std::vector<SInt32> { 5 }));
    EXPECT_TRUE(view->HandleArrowKey(char_RightArrow, shiftKey));
    EXPECT_EQ(Selected(view), (std::vector<SInt32> { 5, 6 }));
    EXPECT_TRUE(view->HandleArrowKey(char_DownArrow, cmdKey));
    EXPECT_EQ(Selected(view), (std::vector<SInt32> { 12 }));
    EXPECT_TRUE(view->HandleArrowKey(char_RightArrow, 0)); // past the end: stays
    EXPECT_EQ(Selected(view), (std::vector<SInt32> { 12 }));
    EXPECT_FALSE(view->HandleArrowKey('a', 0));
    view->SelectAll();
    EXPECT_EQ(Selected(view).size(), 12u);
    view->DeselectAll();
    EXPECT_TRUE(Selected(view).empty());
}

// --- Sizes, modes and keys -----------------------------------------------------------------------------------------

namespace {

// Spacing 4 and lines of 14, and the fill preferences as asked, for one test.
struct StGridPreferences {
    explicit StGridPreferences(bool fill)
    {
        SetPrefNumber(QStringLiteral("IndexItemSpace"), 4);
        SetPrefNumber(QStringLiteral("IndexItemNameHeigth"), 14);
        SetPrefBoolean(QStringLiteral("AdjustThumbnailViewHorizontal"), fill);
        SetPrefBoolean(QStringLiteral("AdjustThumbnailViewVertical"), fill);
        SetPrefBoolean(QStringLiteral("ConfirmDelete"), false);
    }
    ~StGridPreferences()
    {
        SetPrefNumber(QStringLiteral("IndexItemSpace"), space);
        SetPrefNumber(QStringLiteral("IndexItemNameHeigth"), line);
        SetPrefBoolean(QStringLiteral("AdjustThumbnailViewHorizontal"), horizontal);
        SetPrefBoolean(QStringLiteral("AdjustThumbnailViewVertical"), vertical);
        SetPrefBoolean(QStringLiteral("ConfirmDelete"), confirm);
    }
    SInt32 space = GetPrefNumber(QStringLiteral("IndexItemSpace"));
    SInt32 line = GetPrefNumber(QStringLiteral("IndexItemNameHeigth"));
    bool horizontal = GetPrefBoolean(QStringLiteral("AdjustThumbnailViewHorizontal"));
    bool vertical = GetPrefBoolean(QStringLiteral("AdjustThumbnailViewVertical"));
    bool confirm = GetPrefBoolean(QStringLiteral("ConfirmDelete"));
};

EventRecord Key(char character)
{
    EventRecord event;
    event.what = keyDown;
    event.message = UInt8(character);
    return event;
}

} // namespace

TEST_F(GridPaintTest, ThumbnailSizesClampAndCellsFollowThem)
{
    StGridPreferences preferences(false);
    Fill(100);
    view->Show();
    const SInt32 text = view->CountColumns() * 14;
    view->SetThumbnailSize(10, false);
    EXPECT_EQ(view->GetThumbnailSize(), 32);
    EXPECT_EQ(view->GetCellSize(), QSize(40, 40 + text));
    view->SetThumbnailSize(5000, false);
    EXPECT_EQ(view->GetThumbnailSize(), std::min(640 - 8, 480 - 8 - text));
    view->SetThumbnailSize(100, false);
    EXPECT_EQ(view->GetCellSize(), QSize(108, 108 + text));
    EXPECT_EQ(view->GetGridColumns(), 5);
    EXPECT_EQ(view->GetScrollUnit(), (SPoint32 { 0, 108 + text }));

    // "+" and "-" step by forties.
    EXPECT_TRUE(view->HandleGridKey(Key('+')));
    EXPECT_EQ(view->GetThumbnailSize(), 120);
    EXPECT_TRUE(view->HandleGridKey(Key('-')));
    EXPECT_TRUE(view->HandleGridKey(Key('-')));
    EXPECT_EQ(view->GetThumbnailSize(), 40);
    EXPECT_TRUE(view->HandleGridKey(Key('-')));
    EXPECT_EQ(view->GetThumbnailSize(), 32);
}

TEST_F(GridPaintTest, FillingTheFrameAndSwitchingModesKeepTheSelectionInView)
{
    StGridPreferences preferences(true);
    Fill(1000);
    view->Show();
    view->SetThumbnailSize(100, false);
    const QSize cell = view->GetCellSize();
    const SInt32 columns = view->GetGridColumns();
    EXPECT_LE(columns * cell.width(), 640);
    EXPECT_GT(columns * cell.width(), 640 - columns);
    // Whole rows fill the height, less than a pixel a row left over.
    EXPECT_LT(480 - (480 / cell.height()) * cell.height(), 480 / cell.height());

    view->SelectIndex(700);
    view->SetViewMode(kExtendedViewMode);
    EXPECT_TRUE(view->IsExtendedView());
    EXPECT_GE(view->GetCellSize().width(), view->GetThumbnailSize() + 8 + 260);
    EXPECT_TRUE(view->IsItemVisible(700));
    view->SetViewMode(kThumbnailViewMode);
    EXPECT_TRUE(view->IsItemVisible(700));
}

TEST_F(GridPaintTest, AResizedWindowFitsItsCellsAgainAndKeepsTheChosenSize)
{
    StGridPreferences preferences(true);
    Fill(200);
    view->Show();
    view->SetThumbnailSize(100, false);
    const SInt32 columns = view->GetGridColumns();
    view->SelectIndex(150);
    view->ScrollToIndex(150, true);

    view->resize(1280, 480);
    QCoreApplication::processEvents();
    const SInt32 wide = view->GetGridColumns();
    EXPECT_GT(wide, columns);
    EXPECT_LE(wide * view->GetCellSize().width(), 1280);
    EXPECT_GT(wide * view->GetCellSize().width(), 1280 - wide);
    EXPECT_TRUE(view->IsItemVisible(150));

    // Too narrow for the chosen size: the cells shrink to fit, the size chosen stays.
    view->resize(90, 480);
    QCoreApplication::processEvents();
    EXPECT_EQ(view->GetGridColumns(), 1);
    EXPECT_LE(view->GetCellSize().width(), 90);
    EXPECT_EQ(view->GetThumbnailSize(), 100);
}

TEST_F(GridPaintTest, EscapeDeselectsAndBackspaceRemovesTheSelection)
{
    StGridPreferences preferences(false);
    Fill(10);
    view->Show();
    view->SelectIndex(3);
    view->SelectIndex(4);
    EXPECT_FALSE(view->HandleGridKey(Key(char_Escape))); // handled, and passed on
    EXPECT_TRUE(Selected(view).empty());
    EXPECT_FALSE(view->HandleGridKey(Key(char_Backspace))); // nothing selected
    view->SelectIndex(3);
    view->SelectIndex(4);
    EXPECT_TRUE(view->HandleGridKey(Key(char_Backspace)));
    EXPECT_EQ(view->CountItems(), 8);
    EventRecord command = Key('x');
    command.modifiers = cmdKey;
    EXPECT_FALSE(view->HandleGridKey(command)); // the menus' key
}

TEST_F(GridPaintTest, TheEditCommandsAreOnAsTheSelectionAllowsAndSelectCopyOrRemove)
{
    StGridPreferences preferences(false);
    Fill(5);
    view->Show();
    auto enabled = [&](CommandT command) {
        Boolean on = false, usesMark = false;
        UInt16 mark = noMark;
        Str255 name;
        view->ProcessCommandStatus(command, on, usesMark, mark, name);
        return bool(on);
    };
    struct Case {
        CommandT command;
        bool withNone, withOne, withTwo;
    };
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QGuiApplication::clipboard()->setImage(picture);
    const Case cases[] = {
        { cmd_Copy, false, true, true }, // several go as their files
        { cmd_Paste, false, true, false }, // with a picture on the clipboard
        { cmd_Clear, false, true, true },
        { cmd_SelectAll, true, true, true },
        { 1063, true, true, true }, // Deselect All
        { 1016, false, true, true }, // Reveal
        { 1056, true, true, true }, // Index Properties
        { 1068, true, true, true }, // Full Screen
    };
    for (const Case& c : cases) {
        view->DeselectAll();
        EXPECT_EQ(enabled(c.command), c.withNone) << c.command;
        view->SelectIndex(2);
        EXPECT_EQ(enabled(c.command), c.withOne) << c.command;
        view->SelectIndex(4);
        EXPECT_EQ(enabled(c.command), c.withTwo) << c.command;
    }
    view->LockItemList(); // a task walks the list: nothing may change it
    EXPECT_FALSE(enabled(cmd_Clear));
    EXPECT_FALSE(enabled(cmd_Paste));
    view->UnlockItemList();
    QGuiApplication::clipboard()->clear();
    view->DeselectAll();
    view->SelectIndex(2);
    EXPECT_FALSE(enabled(cmd_Paste)); // nothing to paste

    EXPECT_TRUE(view->ProcessCommand(cmd_SelectAll));
    EXPECT_EQ(Selected(view), (std::vector<SInt32> { 1, 2, 3, 4, 5 }));
    EXPECT_TRUE(view->ProcessCommand(1063));
    EXPECT_TRUE(Selected(view).empty());
    view->SelectIndex(2);
    view->SelectIndex(4);
    EXPECT_TRUE(view->ProcessCommand(cmd_Clear));
    EXPECT_EQ(view->CountItems(), 3);
    EXPECT_TRUE(view->ProcessCommand(1068));
    EXPECT_TRUE(view->IsFullScreen());
    EXPECT_TRUE(view->ProcessCommand(1068));
    EXPECT_FALSE(view->IsFullScreen());
}

TEST_F(GridPaintTest, AClickMakesTheViewTheTargetAndItsKeysMoveTheSelection)
{
    Fill(12);
    view->Show();
    QRect cell;
    view->GetCellRect(6, cell);
    CIndexItem* item = nullptr;
    view->GetItemAt(6, item);
    view->SimulateClick(item->GetPartRect(kItemPartPicture, cell, *view).center());
    EXPECT_TRUE(view->IsTarget());
    EventRecord down;
    down.what = keyDown;
    down.message = char_DownArrow;
    EXPECT_TRUE(LCommander::GetTarget()->ProcessKeyPress(down));
    EXPECT_EQ(Selected(view), (std::vector<SInt32> { 10 }));
    EventRecord other;
    other.what = keyDown;
    other.message = 'q';
    other.modifiers = cmdKey;
    EXPECT_FALSE(view->ProcessKeyPress(other)); // left to the chain, which has nobody to take it
}

namespace {

// The viewer as the application connects it to the index view: the items the
// view's itemActivated asked to open, each of the view's model at its index.
class OpenedWindows {
public:
    explicit OpenedWindows(CIndexView* view)
        : mConnection(QObject::connect(view, &CIndexView::itemActivated,
            [view, this](CIndexModel* model, SInt32 index, CIndexItem* item, bool windowed) {
                EXPECT_EQ(model, &view->GetModel());
                EXPECT_EQ(model->ItemAt(index), item);
                opened.emplace_back(index, windowed);
            }))
    {
    }
    ~OpenedWindows() { QObject::disconnect(mConnection); }
    std::vector<std::pair<SInt32, bool>> opened;

private:
    QMetaObject::Connection mConnection;
};

// Items of JPEG files of their own colour in a folder of the test's, that the viewer can open.
void AddPhotoFiles(CIndexView* view, int count)
{
    const QString dir = TestTempDir() + QStringLiteral("/grid-open-") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    QDir().mkpath(dir);
    for (int i = 1; i <= count; ++i) {
        QImage photo(200, 150, QImage::Format_RGB32);
        photo.fill(ColourOf(i));
        const QString path = QStringLiteral("%1/photo%2.jpg").arg(dir).arg(i);
        ASSERT_TRUE(photo.save(path, "JPEG"));
        view->InsertItem(new CIndexItem(QUrl::fromLocalFile(path)), kInsertAtEnd, false, true);
    }
}

} // namespace

TEST_F(GridPaintTest, SpaceOpensTheSelectedItemAndEscapeEndsFullScreen)
{
    OpenedWindows viewer(view);
    AddPhotoFiles(view, 3);
    view->Show();
    view->SelectIndex(2);
    EXPECT_TRUE(view->HandleGridKey(Key(' ')));
    EXPECT_EQ(Selected(view), (std::vector<SInt32> { 2 })); // the selection stays
    view->DeselectAll();
    EXPECT_TRUE(view->HandleGridKey(Key(' '))); // none selected: the first item
    ASSERT_EQ(viewer.opened.size(), 2u);
    EXPECT_EQ(viewer.opened[0].first, 2);
    EXPECT_EQ(viewer.opened[1].first, 1);
    // A blank within a typed name goes on selecting by name.
    EXPECT_TRUE(view->HandleGridKey(Key('p')));
    EXPECT_TRUE(view->HandleGridKey(Key(' ')));
    EXPECT_EQ(view->GetTypeSelectText(), QStringLiteral("p "));
    EXPECT_EQ(viewer.opened.size(), 2u);
    view->FinishTypeSelect();

    // Escape ends full screen and touches nothing else.
    view->SelectIndex(3);
    view->SetFullScreen(true);
    ASSERT_TRUE(view->IsFullScreen());
    EXPECT_TRUE(view->HandleGridKey(Key(char_Escape)));
    EXPECT_FALSE(view->IsFullScreen());
    EXPECT_EQ(view->GetTheme(), view->GetSavedTheme());
    EXPECT_FALSE(Selected(view).empty());
}

TEST_F(GridPaintTest, ReturnAndADoubleClickOpenTheItemInTheViewer)
{
    OpenedWindows viewer(view);
    AddPhotoFiles(view, 3);
    view->Show();
    view->SelectIndex(2);
    EventRecord action;
    action.what = keyDown;
    action.message = char_Return;
    EXPECT_TRUE(view->HandleGridKey(action));
    EXPECT_TRUE(Selected(view).empty()); // opened alone
    ASSERT_EQ(viewer.opened.size(), 1u);
    EXPECT_EQ(viewer.opened[0].first, 2);

    QRect cell;
    view->GetCellRect(3, cell);
    CIndexItem* item = nullptr;
    view->GetItemAt(3, item);
    const QPoint picture = item->GetPartRect(kItemPartPicture, cell, *view).center();
    view->SimulateClick(picture);
    view->SimulateClick(picture, 0, 2);
    ASSERT_EQ(viewer.opened.size(), 2u);
    EXPECT_EQ(viewer.opened[1].first, 3);
    view->SimulateClick(picture, shiftKey, 2); // Shift: no opening
    EXPECT_EQ(viewer.opened.size(), 2u);

    // Full screen: one click on a picture opens it; the text opens no rename there.
    view->SetFullScreen(true);
    view->GetCellRect(1, cell);
    view->GetItemAt(1, item);
    view->SimulateClick(item->GetPartRect(kItemPartPicture, cell, *view).center());
    ASSERT_EQ(viewer.opened.size(), 3u);
    EXPECT_EQ(viewer.opened[2].first, 1);
    EXPECT_EQ(Selected(view), (std::vector<SInt32> { 1 }));
    view->SimulateClick(item->GetTextLineRect(0, cell, *view).center());
    EXPECT_EQ(view->GetRenameField(), nullptr);
    view->SetFullScreen(false);
}

TEST_F(GridPaintTest, TypingTheStartOfANameSelectsItHalfASecondLater)
{
    for (const char* name : {"harbour.jpg", "boats.jpg", "bay.jpg"})
        view->InsertItem(new CIndexItem(QUrl(QStringLiteral("http://example.org/") + QLatin1String(name))), kInsertAtEnd,
            false, true);
    view->Show();
    auto type = [&](char character, UInt16 modifiers = 0) {
        EventRecord key;
        key.what = keyDown;
        key.message = UInt8(character);
        key.modifiers = modifiers;
        return view->HandleGridKey(key);
    };
    auto waitPastThePause = [] {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 700)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    };
    EXPECT_TRUE(type('b'));
    EXPECT_TRUE(type('O'));
    EXPECT_EQ(view->GetTypeSelectText(), QStringLiteral("bO"));
    EXPECT_TRUE(Selected(view).empty()); // not before the pause
    waitPastThePause();
    EXPECT_EQ(Selected(view), (std::vector<SInt32> { 2 }));
    EXPECT_TRUE(view->GetTypeSelectText().isEmpty());

    // No name begins with it: the selection stays.
    EXPECT_TRUE(type('x'));
    waitPastThePause();
    EXPECT_EQ(Selected(view), (std::vector<SInt32> { 2 }));

    // A key it does not take (with Command) clears the typing.
    EXPECT_TRUE(type('h'));
    EXPECT_FALSE(type('a', cmdKey));
    EXPECT_TRUE(view->GetTypeSelectText().isEmpty());
    waitPastThePause();
    EXPECT_EQ(Selected(view), (std::vector<SInt32> { 2 }));
}

TEST_F(GridPaintTest, TheRemovingClickAsksFirstWhenThePreferenceSaysSo)
{
    StGridPreferences preferences(false);
    SetPrefBoolean(QStringLiteral("ConfirmDelete"), true);
    Fill(3);
    view->Show();
    QRect cell;
    view->GetCellRect(2, cell);
    CIndexItem* item = nullptr;
    view->GetItemAt(2, item);
    StAlertAnswers answerNo(2);
    view->SimulateClick(item->GetPartRect(kItemPartPicture, cell, *view).center(), cmdKey | optionKey | controlKey);
    EXPECT_EQ(answerNo.Texts().size(), 1);
    EXPECT_EQ(view->CountItems(), 3);
}

TEST_F(GridPaintTest, TheErrorBadgeTellsTheErrorAndThenClearsIt)
{
    Fill(3);
    view->Show();
    CIndexItem* item = nullptr;
    view->GetItemAt(3, item);
    auto badge = [&] {
        QRect cell;
        view->GetCellRect(3, cell);
        return item->GetPartRect(kItemPartErrorBadge, cell, *view).center();
    };
    auto giveError = [&] {
        item->SetError(std::make_unique<CItemError>(ExceptionCode(-43, "photo3.jpg is gone from its folder"), QString(),
            QStringLiteral("600:50")));
    };
    {
        giveError();
        StAlertAnswers answerOK(1);
        view->SimulateClick(badge());
        ASSERT_EQ(answerOK.Texts().size(), 1);
        const QString& said = answerOK.Texts().front();
        EXPECT_TRUE(said.contains(QStringLiteral("photo3"))) << said.toStdString();
        EXPECT_TRUE(said.contains(QStringLiteral("-43"))) << said.toStdString();
        EXPECT_TRUE(said.contains(QStringLiteral("is gone from its folder"))) << said.toStdString();
        EXPECT_EQ(item->GetError(), nullptr);
        EXPECT_TRUE(Selected(view).empty()); // the badge is not the picture
    }
    {
        // With Option the badge only goes; without an error the place is the picture's.
        giveError();
        StAlertAnswers answerOK(1);
        view->SimulateClick(badge(), optionKey);
        EXPECT_TRUE(answerOK.Texts().isEmpty());
        EXPECT_EQ(item->GetError(), nullptr);
        view->SimulateClick(badge());
        EXPECT_TRUE(answerOK.Texts().isEmpty());
    }
}

// --- Printing ----------------------------------------------------------------------------------------------------------

namespace {

QString RunTool(const QString& tool, const QStringList& arguments)
{
    QProcess process;
    process.start(tool, arguments);
    EXPECT_TRUE(process.waitForFinished(30000)) << tool.toStdString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace

TEST_F(GridPaintTest, APrintoutPrintsEveryCellOnceOverItsPages)
{
    StGridPreferences preferences(false);
    Fill(11); // four columns of 160, three rows of 180: an image of 540
    // The last item has no picture yet: the screen would have it made, paper does not.
    view->InsertItem(new CIndexItem(QUrl(QStringLiteral("http://example.org/photo12.jpg"))), kInsertAtEnd, false, true);
    view->Show();
    view->GetUpdateTask()->Suspend();
    view->GetUpdateTask()->ClearItems();
    SPaneInfo pageInfo;
    pageInfo.width = 640;
    pageInfo.height = 360; // two rows a page
    LPrintout printout(pageInfo);
    SPaneInfo holderInfo = pageInfo;
    holderInfo.superView = &printout;
    auto* holder = new LPlaceHolder(holderInfo);
    holder->InstallOccupant(view);
    SInt32 across = 0, down = 0;
    printout.CountPanels(across, down);
    EXPECT_EQ(across, 1);
    EXPECT_EQ(down, 2);

    QPrinter printer(QPrinter::ScreenResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QString path = TestTempDir() + QStringLiteral("/grid.pdf");
    printer.setOutputFileName(path);
    EXPECT_EQ(printout.DoPrintJob(printer), 2);
    holder->RemoveOccupant();
    EXPECT_EQ(view->GetUpdateTask()->CountQueued(), 0);
    view->GetUpdateTask()->Resume();

    const QString info = RunTool(QStringLiteral("pdfinfo"), { path });
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+2\\b")))) << info.toStdString();
    // Each name once: the first page holds the first two rows, the second the last.
    const QStringList pages = RunTool(QStringLiteral("pdftotext"), { path, QStringLiteral("-") }).split(QChar('\f'));
    ASSERT_GE(pages.size(), 2);
    for (int i = 1; i <= 12; ++i) {
        const QRegularExpression name(QStringLiteral("\\bphoto%1\\b").arg(i));
        EXPECT_EQ(pages[i <= 8 ? 0 : 1].count(name), 1) << "item " << i;
        EXPECT_EQ(pages[i <= 8 ? 1 : 0].count(name), 0) << "item " << i;
    }
}

// --- The cursor --------------------------------------------------------------------------------------------------------

namespace {

// Which of the grid's cursors a widget shows; -999 for none of them.
ResIDT CursorShown(const QWidget& widget)
{
    if (!widget.testAttribute(Qt::WA_SetCursor) || widget.cursor().shape() == Qt::ArrowCursor)
        return kCursorArrow;
    const qint64 key = widget.cursor().pixmap().cacheKey();
    if (key == GetContextualMenuCursor().pixmap().cacheKey())
        return kCursorContextualMenu;
    for (ResIDT id : { kCursorRemove, kCursorCopy, kCursorMarquee, kCursorInfo, kCursorErrorBadge, kCursorText })
        if (key == GetResourceCursor(id).pixmap().cacheKey())
            return id;
    return -999;
}

} // namespace

TEST_F(GridPaintTest, TheCursorSaysWhatAClickWouldDo)
{
    InitContextualMenuSupport();
    // Each of the grid's cursors is an image of its own; an ID without one is the arrow.
    std::set<qint64> images;
    for (ResIDT id : { kCursorRemove, kCursorCopy, kCursorMarquee, kCursorInfo, kCursorErrorBadge, kCursorText }) {
        EXPECT_EQ(GetResourceCursor(id).shape(), Qt::BitmapCursor) << id;
        EXPECT_TRUE(QRect(0, 0, 32, 32).contains(GetResourceCursor(id).hotSpot())) << id;
        images.insert(GetResourceCursor(id).pixmap().toImage().cacheKey());
    }
    EXPECT_EQ(images.size(), 6u);
    EXPECT_EQ(GetResourceCursor(999).shape(), Qt::ArrowCursor);

    view->ClearColumns();
    view->AddColumn(kFieldName);
    view->AddColumn(4002); // a line the user cannot edit
    StGridPreferences preferences(false);
    view->Show();
    view->SetThumbnailSize(100, false);
    auto cursorAt = [&](QPoint local, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QMouseEvent move(QEvent::MouseMove, QPointF(local), QPointF(view->mapToGlobal(local)), Qt::NoButton, Qt::NoButton,
            modifiers);
        QApplication::sendEvent(view, &move);
        return CursorShown(*view);
    };
    EXPECT_EQ(cursorAt(QPoint(300, 200)), kCursorArrow); // an empty grid
    Fill(5);
    CIndexItem* item = nullptr;
    view->GetItemAt(2, item);
    item->SetError(std::make_unique<CItemError>(-43, QString(), QStringLiteral("600:50")));
    QRect cell;
    view->GetCellRect(2, cell);
    const QPoint picture = item->GetPartRect(kItemPartPicture, cell, *view).center();
    const QPoint name = item->GetTextLineRect(0, cell, *view).center();
    const QPoint otherLine = item->GetTextLineRect(1, cell, *view).center();

    // On the picture: the arrow; Option copies, all three of Command, Option and Control remove.
    EXPECT_EQ(cursorAt(picture), kCursorArrow);
    EXPECT_EQ(cursorAt(picture, Qt::AltModifier), kCursorCopy);
    EXPECT_EQ(cursorAt(picture, Qt::AltModifier | Qt::ControlModifier | Qt::MetaModifier), kCursorRemove);
    // Command and Option draw a marquee anywhere; Control alone is the contextual click.
    EXPECT_EQ(cursorAt(picture, Qt::AltModifier | Qt::ControlModifier), kCursorMarquee);
    EXPECT_EQ(cursorAt(picture, Qt::MetaModifier), kCursorContextualMenu);
    EXPECT_EQ(cursorAt(picture, Qt::MetaModifier | Qt::ShiftModifier), kCursorArrow);
    // The text: the name is edited in place, the other line not; Option shows the information.
    EXPECT_EQ(cursorAt(name), kCursorText);
    EXPECT_EQ(cursorAt(otherLine), kCursorMarquee);
    EXPECT_EQ(cursorAt(name, Qt::AltModifier), kCursorInfo);
    EXPECT_EQ(cursorAt(item->GetPartRect(kItemPartErrorBadge, cell, *view).center()), kCursorErrorBadge);
    // Places without an item, and inside a cell beside its parts.
    QRect lastCell;
    view->GetCellRect(5, lastCell);
    EXPECT_EQ(cursorAt(lastCell.center() + QPoint(0, lastCell.height())), kCursorMarquee);
    EXPECT_EQ(cursorAt(QPoint(cell.left() + 1, cell.top() + 1)), kCursorMarquee);

    // A modifier pressed with the mouse still changes the cursor at once.
    cursorAt(picture);
    QCursor::setPos(view->mapToGlobal(picture));
    // (As the platform sends them: the modifiers before the key, which the event turns into those after it.)
    QKeyEvent option(QEvent::KeyPress, Qt::Key_Alt, Qt::NoModifier);
    QApplication::sendEvent(view, &option);
    EXPECT_EQ(CursorShown(*view), kCursorCopy);
    QKeyEvent released(QEvent::KeyRelease, Qt::Key_Alt, Qt::AltModifier);
    QApplication::sendEvent(view, &released);
    EXPECT_EQ(CursorShown(*view), kCursorArrow);

    // While a task holds the list, nothing can be done with the mouse.
    view->LockItemList();
    EXPECT_EQ(cursorAt(name), kCursorArrow);
    EXPECT_EQ(cursorAt(picture, Qt::AltModifier | Qt::ControlModifier), kCursorArrow);
    view->UnlockItemList();
}

// --- The marquee past the frame's edge -------------------------------------------------------------------------------

namespace {

// The grid's view in a scroller of that size; the view goes back to the fixture at the end.
class StScrolledGrid {
public:
    StScrolledGrid(CIndexView* view, int width, int height)
        : mView(view)
    {
        SPaneInfo info;
        info.width = width;
        info.height = height;
        mScroller = std::make_unique<LScrollerView>(info, 0);
        mScroller->InstallView(view);
        mScroller->Show();
    }
    ~StScrolledGrid() { mView->PutInside(nullptr); }
    LScrollerView& Scroller() { return *mScroller; }

private:
    CIndexView* mView;
    std::unique_ptr<LScrollerView> mScroller;
};

// Presses the mouse at `at` in `window` (with the modifier `keys`) and, while the
// press is handled (the view tracks the mouse in a loop of its own), runs the
// steps one by one from a timer: each when the one before has been handled and
// its condition, if any, holds. A condition that never holds ends the press after
// a few seconds, failing the test rather than hanging it.
struct MouseStep {
    std::function<bool()> ready;
    std::function<void()> act;
};
void PressAndRun(QWindow* window, QPoint at, const std::vector<MouseStep>& steps, Qt::KeyboardModifiers keys = {})
{
    size_t next = 0;
    int waits = 0;
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (next == steps.size())
            return;
        if (steps[next].ready && !steps[next].ready() && ++waits < 300)
            return;
        if (waits >= 300) {
            ADD_FAILURE() << "mouse step " << next << " never became ready";
            next = steps.size() - 1;
        }
        waits = 0;
        steps[next++].act();
    });
    timer.start();
    QCursor::setPos(window->mapToGlobal(at));
    QTest::mousePress(window, Qt::LeftButton, keys, at);
    EXPECT_EQ(next, steps.size());
}

// The indexes of the first columns of the first rows: what a marquee from the top left covers.
std::vector<SInt32> Block(SInt32 columns, SInt32 rows, SInt32 gridColumns, SInt32 count)
{
    std::vector<SInt32> indexes;
    for (SInt32 row = 0; row < rows; ++row)
        for (SInt32 column = 1; column <= columns; ++column)
            if (row * gridColumns + column <= count)
                indexes.push_back(row * gridColumns + column);
    return indexes;
}

} // namespace

TEST_F(GridPaintTest, AMarqueeHeldPastTheEdgeScrollsAndGoesOnSelecting)
{
    Fill(40); // four columns of 160, ten rows of 180
    StScrolledGrid scrolled(view, 680, 400);
    const SInt32 columns = view->GetGridColumns();
    ASSERT_EQ(columns, 4);
    const int height = view->height();
    auto rowsTo = [&](int localY) { return (view->GetScrollPosition().v + localY) / 180 + 1; };

    SMouseDownEvent down;
    down.whereLocal = QPoint(10, 10);
    IndexGridMarquee receiver(*view);
    LMarqueeTask marquee(receiver, view, down);
    marquee.Step(QPoint(170, 100));
    EXPECT_EQ(Selected(view), (std::vector<SInt32> { 1, 2 }));
    EXPECT_FALSE(marquee.AutoScroll()); // the mouse is inside: nothing scrolls
    EXPECT_EQ(view->GetScrollPosition().v, 0);

    // Held 30 pixels below the frame: each step scrolls by that much and the marquee
    // takes in the rows that come into sight.
    const QPoint below(170, height + 29);
    marquee.Step(below);
    EXPECT_EQ(Selected(view), Block(2, rowsTo(below.y()), columns, 40));
    for (int step = 1; step <= 8; ++step) {
        ASSERT_TRUE(marquee.AutoScroll());
        EXPECT_EQ(view->GetScrollPosition().v, 30 * step);
        EXPECT_EQ(Selected(view), Block(2, rowsTo(below.y()), columns, 40)) << "step " << step;
    }
    if (qEnvironmentVariableIsSet("ORVEX_SAVE_PICTURES"))
        scrolled.Scroller().grab().save(QStringLiteral("grid-marquee-scrolled.png"));
    // The anchor stays on the first cell, however far the image scrolled.
    EXPECT_EQ(marquee.GetMarqueeRect().topLeft(), QPoint(10, 10 - 240));
    // Far below, a step is a row at the most; at the image's end scrolling stops.
    marquee.Step(QPoint(170, height + 500));
    ASSERT_TRUE(marquee.AutoScroll());
    EXPECT_EQ(view->GetScrollPosition().v, 240 + 180);
    while (marquee.AutoScroll()) {
    }
    EXPECT_EQ(view->GetScrollPosition().v, view->GetImageSize().height - height);
    EXPECT_EQ(Selected(view), Block(2, 10, columns, 40));

    // Back inside the frame, the marquee shrinks to the rows above the mouse; held
    // above the frame, the image scrolls back up and the rows below are let go.
    marquee.Step(QPoint(170, 100));
    EXPECT_EQ(Selected(view), Block(2, rowsTo(100), columns, 40));
    marquee.Step(QPoint(170, -60));
    const SInt32 before = view->GetScrollPosition().v;
    ASSERT_TRUE(marquee.AutoScroll());
    EXPECT_EQ(view->GetScrollPosition().v, before - 60);
    EXPECT_EQ(Selected(view), Block(2, rowsTo(-60), columns, 40));
    marquee.Finish();
}

TEST_F(GridPaintTest, DraggingAMarqueeBelowTheWindowScrollsWhileTheButtonIsHeld)
{
    Fill(40);
    StScrolledGrid scrolled(view, 680, 400);
    QWindow* window = view->window()->windowHandle();
    ASSERT_NE(window, nullptr);
    auto inWindow = [&](QPoint local) { return view->mapTo(view->window(), local); };
    const QPoint start = inWindow(QPoint(10, 10));
    const QPoint below = inWindow(QPoint(170, view->height() + 40));

    // The mouse goes down on a picture with Command and Option (a marquee wherever
    // it starts), leaves the frame at the bottom and is held there until the image
    // has scrolled.
    const Qt::KeyboardModifiers keys = Qt::ControlModifier | Qt::AltModifier;
    bool sawMarqueeCursor = false;
    auto moveTo = [&](QPoint where) {
        QCursor::setPos(window->mapToGlobal(where));
        QTest::mouseMove(window, where);
    };
    PressAndRun(window, start, {
        { nullptr, [&] { moveTo(below); } },
        { nullptr, [&] { moveTo(below + QPoint(1, 0)); } },
        { [&] { return view->GetScrollPosition().v > 0; },
            [&] {
                if (const QCursor* cursor = QGuiApplication::overrideCursor())
                    sawMarqueeCursor = cursor->pixmap().cacheKey() == GetResourceCursor(kCursorMarquee).pixmap().cacheKey();
            } },
        { nullptr, [&] { QTest::mouseRelease(window, Qt::LeftButton, keys, below); } },
    }, keys);

    EXPECT_TRUE(sawMarqueeCursor);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_GT(view->GetScrollPosition().v, 0);
    const SInt32 rows = (view->GetScrollPosition().v + view->height() + 40) / 180 + 1;
    EXPECT_EQ(Selected(view), Block(2, rows, view->GetGridColumns(), 40));
}

TEST_F(GridPaintTest, InFullScreenADragMovesTheImageWithTheMouse)
{
    Fill(60); // fifteen rows
    view->SetFullScreen(true);
    view->Show();
    view->ScrollPinnedImageTo(0, 1000, false);
    QWindow* window = view->window()->windowHandle();
    ASSERT_NE(window, nullptr);
    const QPoint start = view->mapTo(view->window(), QPoint(300, 300));
    auto moveTo = [&](QPoint where) {
        QCursor::setPos(window->mapToGlobal(where));
        QTest::mouseMove(window, where);
    };
    auto release = [&](QPoint where) { QTest::mouseRelease(window, Qt::LeftButton, {}, where); };
    // Up by 12 (the drag starts) and by 25 in all: the image goes 100 further on;
    // then down by 40 from there: 160 back.
    SInt32 afterUp = 0;
    PressAndRun(window, start, {
        { nullptr, [&] { moveTo(start + QPoint(0, -12)); } },
        { nullptr, [&] { moveTo(start + QPoint(0, -25)); } },
        { [&] { return view->GetScrollPosition().v != 1000; },
            [&] {
                afterUp = view->GetScrollPosition().v;
                moveTo(start + QPoint(0, 15));
            } },
        { nullptr, [&] { release(start + QPoint(0, 15)); } },
    });
    EXPECT_EQ(afterUp, 1100);
    EXPECT_EQ(view->GetScrollPosition().v, 1100 - 160);
    EXPECT_TRUE(Selected(view).size() <= 1u); // no marquee
    // Pinned to the image: a long drag down stops at its top. The mouse goes all
    // the way before the drag is seen: the image still follows all of it.
    PressAndRun(window, start, {
        { nullptr,
            [&] {
                moveTo(start + QPoint(0, 12));
                moveTo(start + QPoint(0, 400));
            } },
        { nullptr, [&] { release(start + QPoint(0, 400)); } },
    });
    EXPECT_EQ(view->GetScrollPosition().v, 0);
    view->SetFullScreen(false);
}
