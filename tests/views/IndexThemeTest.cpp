// The index view's themes: colour tables, patterns, the pattern menu and the grid painted in each theme.

#include "CIndexItem.h"
#include "CIndexView.h"
#include "CVisualTask.h"
#include "IndexTheme.h"
#include "LMenuBar.h"
#include "Offscreen.h"
#include "ResourceUtilities.h"
#include "URegistrar.h"

#include "TestSupport.h"
#include "IndexViewFixture.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPalette>

namespace {

// The number of themes the program ships, and the ones the tests lean on.
constexpr SInt32 kThemeCount = 14;
constexpr SInt32 kPaperTheme = 2; // 'ppat' 129, no second pattern

QByteArray ColourTableBytes(ResIDT id)
{
    QFile file(QStringLiteral(":/data/clut-%1.bin").arg(id));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QImage Tile(ResIDT id, bool dense)
{
    return QImage(QStringLiteral(":/patterns/ppat-%1%2.png").arg(id).arg(dense ? QStringLiteral("@2x") : QString()))
        .convertToFormat(QImage::Format_RGB32);
}

bool Near(const QColor& a, const QColor& b, int tolerance = 10)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
        && std::abs(a.blue() - b.blue()) <= tolerance;
}

} // namespace

TEST(IndexTheme, ColourTablesReadAsSixBigEndianTriples)
{
    // Six colours, each component with distinct high and low bytes, then bytes past the 36 read.
    const QByteArray bytes = QByteArray::fromHex("123456789abc"
                                                 "ffff00000000"
                                                 "0000ffff8000"
                                                 "010203040506"
                                                 "fedcba987654"
                                                 "00ff00ff00ff"
                                                 "deadbeef");
    ThemeColours colours = IndexThemeLook::DefaultColours();
    ASSERT_TRUE(ReadThemeColours(bytes, colours));
    const QRgba64 first = colours[0].rgba64();
    EXPECT_EQ(first.red(), 0x1234);
    EXPECT_EQ(first.green(), 0x5678);
    EXPECT_EQ(first.blue(), 0x9abc);
    EXPECT_EQ(colours[1], QColor(255, 0, 0));
    EXPECT_EQ(colours[2].rgba64().blue(), 0x8000);
    EXPECT_EQ(colours[3].rgba64().red(), 0x0102);
    EXPECT_EQ(colours[3].rgba64().blue(), 0x0506);
    EXPECT_EQ(colours[4].rgba64().green(), 0xba98);
    EXPECT_EQ(colours[5].rgba64().red(), 0x00ff);

    // A table cut short changes nothing.
    ThemeColours untouched = IndexThemeLook::DefaultColours();
    EXPECT_FALSE(ReadThemeColours(bytes.left(35), untouched));
    EXPECT_EQ(untouched, IndexThemeLook::DefaultColours());
    EXPECT_FALSE(ReadThemeColours(QByteArray(), untouched));
}

TEST(IndexTheme, PatternResourcesAndTheirNames)
{
    // The named patterns in the order of their IDs; second patterns carry no name.
    const std::vector<ResIDT> ids = GetNamedResourceIDs('ppat');
    ASSERT_EQ(ids.size(), size_t(kThemeCount));
    EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));
    EXPECT_EQ(std::find(ids.begin(), ids.end(), ResIDT(1130)), ids.end());
    for (ResIDT id : ids) {
        const PixPattern pattern = GetPixPat(id);
        ASSERT_FALSE(pattern.IsNull()) << id;
        // The dense tile is the same tile at twice the pixels.
        EXPECT_EQ(pattern.Tile(2.0).size(), pattern.Size() * 2) << id;
        EXPECT_EQ(pattern.Tile(2.0).devicePixelRatio(), 2.0) << id;
        EXPECT_EQ(pattern.Tile(2.0).convertToFormat(QImage::Format_RGB32), Tile(id, true)) << id;
        EXPECT_EQ(pattern.Tile(1.0).convertToFormat(QImage::Format_RGB32), Tile(id, false)) << id;
        // Between the two, a tile of its own size, made from the fine one.
        EXPECT_EQ(pattern.Tile(1.5).size(), pattern.Size() * 1.5) << id;
        EXPECT_EQ(pattern.Tile(1.5).devicePixelRatio(), 1.5) << id;
        EXPECT_EQ(GetResourceData('clut', id).size(), 36) << id;
    }
    // Missing resources are resNotFound, as the named-resource lookups are.
    EXPECT_EQ(CatchCode([] { GetPixPat(999); }), resNotFound);
    EXPECT_EQ(CatchCode([] { GetResourceData('clut', 999); }), resNotFound);
    ResIDT id = 0;
    EXPECT_EQ(CatchCode([&] { GetNamedResourceID(MakePString(QStringLiteral("No such theme")), 'ppat', &id); }),
        resNotFound);
}

TEST(IndexTheme, EachThemeLoadsTheNamedPatternItsSecondAndItsColours)
{
    const LMenu& menu = GetPatternMenu();
    ASSERT_EQ(menu.CountItems(), kThemeCount);
    const std::vector<ResIDT> ids = GetNamedResourceIDs('ppat');
    for (SInt32 theme = 1; theme <= kThemeCount; ++theme) {
        const IndexThemeLook look = IndexThemeLook::Load(theme);
        EXPECT_EQ(look.patternID, ids[size_t(theme - 1)]) << theme;
        EXPECT_EQ(look.pattern.Tile(1.0).convertToFormat(QImage::Format_RGB32), Tile(look.patternID, false)) << theme;
        ThemeColours expected {};
        ASSERT_TRUE(ReadThemeColours(ColourTableBytes(look.patternID), expected));
        EXPECT_EQ(look.colours, expected) << theme;
    }
    // The second pattern is there only where its resource is.
    EXPECT_FALSE(IndexThemeLook::Load(kFullScreenTheme).secondPattern.IsNull());
    EXPECT_EQ(IndexThemeLook::Load(kFullScreenTheme).secondPattern.Tile(1.0).convertToFormat(QImage::Format_RGB32),
        Tile(1130, false));
    EXPECT_TRUE(IndexThemeLook::Load(kPaperTheme).secondPattern.IsNull());

    // A theme the menu has no item for draws pattern 131, in its colours.
    for (SInt32 missing : { -1, 0, kThemeCount + 1, 1000 }) {
        const IndexThemeLook look = IndexThemeLook::Load(missing);
        EXPECT_EQ(look.patternID, kDefaultPatternID) << missing;
        EXPECT_TRUE(look.secondPattern.IsNull()) << missing;
        ThemeColours expected {};
        ASSERT_TRUE(ReadThemeColours(ColourTableBytes(kDefaultPatternID), expected));
        EXPECT_EQ(look.colours, expected) << missing;
    }
}

TEST(IndexTheme, TheMenuBarCarriesThePatternMenuUnderItsBackgroundItem)
{
    URegistrar::RegisterFrameworkClasses();
    LMenuBar bar(128);
    LMenu* index = nullptr;
    SInt16 item = 0;
    ASSERT_TRUE(bar.FindMenuItem(cmd_PatternMenu, index, item));
    EXPECT_EQ(index->GetMenuID(), 132); // the View menu
    EXPECT_EQ(index->Item(item)->submenuID, kPatternMenuID);
    LMenu& patterns = GetPatternMenu();
    EXPECT_EQ(&patterns, bar.FetchMenu(kPatternMenuID));
    ASSERT_EQ(patterns.CountItems(), kThemeCount);
    Str255 name;
    GetResourceNameByID(131, 'ppat', name);
    EXPECT_EQ(patterns.Item(4)->text, PStringToQString(name));
    EXPECT_EQ(bar.FindCommand(kPatternMenuID, 4), SyntheticCommandForMenuItem(kPatternMenuID, 4));
}

// --- The grid painted in each theme -----------------------------------------------------------------------------------

namespace {

class ThemedGridTest : public IndexViewFixture {
protected:
    void SetUp() override
    {
        MakeView(640, 400);
        view->SetCellSize(160, 180);
    }
    void Fill(int count)
    {
        AddPictureItems(count, QStringLiteral("IMG_"), 1001, QSize(120, 90),
            [](int i) { return QColor::fromHsv((i * 47) % 360, 140, 210); });
    }
    // The view painted at a device pixel ratio, as the screen would show it.
    QImage Paint(qreal ratio = 1.0)
    {
        view->Show();
        QImage picture(view->size() * ratio, QImage::Format_RGB32);
        picture.setDevicePixelRatio(ratio);
        view->render(&picture);
        if (qEnvironmentVariableIsSet("ORVEX_SAVE_PICTURES"))
            picture.save(QStringLiteral("theme-%1-%2x.png").arg(view->GetTheme()).arg(ratio));
        return picture;
    }
    // Whether every sampled pixel of the area is the theme's pattern, lined up with the image.
    bool ShowsPattern(const QImage& picture, const QRect& area, ResIDT patternID, qreal ratio = 1.0)
    {
        const QImage tile = Tile(patternID, ratio > 1.0);
        const SPoint32 scrolled = view->GetScrollPosition();
        for (int y = int(area.top() * ratio); y <= int(area.bottom() * ratio); y += 3) {
            for (int x = int(area.left() * ratio); x <= int(area.right() * ratio); x += 3) {
                const int tx = int((qint64(scrolled.h) * qint64(ratio) + x) % tile.width());
                const int ty = int((qint64(scrolled.v) * qint64(ratio) + y) % tile.height());
                if (picture.pixel(x, y) != tile.pixel(tx, ty))
                    return false;
            }
        }
        return true;
    }
    // The number of pixels in the area within a few levels of the colour.
    static int CountNear(const QImage& picture, const QRect& area, const QColor& colour)
    {
        int count = 0;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x)
                count += Near(picture.pixelColor(x, y), colour, 6) ? 1 : 0;
        }
        return count;
    }
    // The text line under the picture of an index's cell.
    QRect NameLine(SInt32 index)
    {
        QRect cell;
        view->GetCellRect(index, cell);
        CIndexItem* item = nullptr;
        view->GetItemAt(index, item);
        return item->GetPartRect(kItemPartTextBlock, cell, *view);
    }
};

} // namespace

TEST_F(ThemedGridTest, TheGapsShowThePatternAndTheNamesTheFourthColour)
{
    Fill(6); // a row of four, a row of two; the rest is gap
    for (SInt32 theme = 2; theme <= kThemeCount; ++theme) {
        view->SetTheme(theme, false);
        const IndexThemeLook& look = view->GetThemeLook();
        const QImage picture = Paint();
        // Where the third row's cells would be, and the right of the second row.
        EXPECT_TRUE(ShowsPattern(picture, QRect(0, 360, 640, 40), look.patternID)) << "theme " << theme;
        EXPECT_TRUE(ShowsPattern(picture, QRect(330, 200, 300, 150), look.patternID)) << "theme " << theme;
        // Between the pictures, inside the cells, the pattern shows too: no plain boxes.
        QRect cell;
        view->GetCellRect(1, cell);
        EXPECT_TRUE(ShowsPattern(picture, QRect(cell.left(), cell.top(), cell.width(), 3), look.patternID))
            << "theme " << theme;
        // The names are written in the theme's fourth colour.
        const QColor text = look.colours[kThemeCellTextColour];
        EXPECT_GT(CountNear(picture, NameLine(1), text), 10) << "theme " << theme;
        EXPECT_EQ(view->GetTextColor(), text);
    }
}

TEST_F(ThemedGridTest, ThemeOneIsTheDesktopsWindowAndText)
{
    Fill(2);
    view->SetTheme(kSystemTheme, false);
    QPalette palette = view->palette();
    palette.setColor(QPalette::Window, QColor(0x30, 0x31, 0x36)); // a dark desktop
    palette.setColor(QPalette::WindowText, QColor(0xF0, 0xE0, 0x20));
    view->setPalette(palette);
    const QImage picture = Paint();
    EXPECT_EQ(picture.pixelColor(500, 300), QColor(0x30, 0x31, 0x36));
    EXPECT_FALSE(view->HasOwnBackground());
    EXPECT_GT(CountNear(picture, NameLine(2), QColor(0xF0, 0xE0, 0x20)), 10);
    // The pen the theme sets for other drawing is the same colour.
    QImage scratch(4, 4, QImage::Format_RGB32);
    QPainter painter(&scratch);
    view->SetForeColorForTheme(painter);
    EXPECT_EQ(painter.pen().color(), QColor(0xF0, 0xE0, 0x20));
}

TEST_F(ThemedGridTest, SetThemeDropsThePatternsAndTheNextDrawLoadsTheNewOnes)
{
    view->SetTheme(kPaperTheme, false);
    EXPECT_EQ(view->GetThemeLook().patternID, 129);
    const IndexThemeLook* loaded = &view->GetThemeLook();
    view->SetTheme(kPaperTheme, true); // unchanged: the loaded look stays
    EXPECT_EQ(&view->GetThemeLook(), loaded);
    EXPECT_TRUE(view->GetThemeLook().secondPattern.IsNull());
    view->SetTheme(kFullScreenTheme, false);
    EXPECT_EQ(view->GetThemeLook().patternID, 130);
    EXPECT_FALSE(view->GetThemeLook().secondPattern.IsNull());
    const QImage picture = Paint();
    EXPECT_TRUE(ShowsPattern(picture, QRect(0, 0, 640, 60), 130)); // above the empty view's icons
    // A theme with no menu item falls back on pattern 131.
    view->SetTheme(kThemeCount + 5, false);
    EXPECT_TRUE(ShowsPattern(Paint(), QRect(0, 0, 640, 60), kDefaultPatternID));
}

TEST_F(ThemedGridTest, ThePatternScrollsWithTheCellsAndIsSharpOnDenseScreens)
{
    Fill(40);
    view->SetTheme(11, false); // a grid of lines shows any misalignment
    view->Show();
    view->ScrollImageTo(0, 37 * 3 + 5, false);
    const QImage picture = Paint();
    QRect cell;
    view->GetCellRect(view->IndexAtPoint(QPoint(80, 200), false), cell);
    EXPECT_TRUE(ShowsPattern(picture, QRect(cell.left(), cell.top(), cell.width(), 3), 138));
    // At twice the pixels the fine tile is drawn pixel for pixel, not the coarse one enlarged.
    const QImage dense = Paint(2.0);
    EXPECT_EQ(dense.size(), QSize(1280, 800));
    view->GetCellRect(view->IndexAtPoint(QPoint(80, 200), false), cell);
    EXPECT_TRUE(ShowsPattern(dense, QRect(cell.left(), cell.top(), cell.width(), 3), 138, 2.0));
}

TEST_F(ThemedGridTest, TheEmptyViewWritesInTheThirdColour)
{
    view->SetTheme(kFullScreenTheme, false);
    const QImage picture = Paint();
    const QColor text = view->GetThemeLook().colours[kThemeEmptyTextColour];
    EXPECT_EQ(view->GetEmptyTextColor(), text);
    EXPECT_GT(CountNear(picture, QRect(0, 250, 640, 150), text), 20);
}

TEST_F(ThemedGridTest, FullScreenShowsThemeThreeAndGivesTheOldThemeBack)
{
    Fill(3);
    view->SetTheme(kPaperTheme, false);
    view->SetFullScreen(true);
    EXPECT_EQ(view->GetTheme(), kFullScreenTheme);
    EXPECT_EQ(view->GetSavedTheme(), kPaperTheme);
    EXPECT_TRUE(ShowsPattern(Paint(), QRect(0, 300, 640, 100), 130));
    view->SetFullScreen(false);
    EXPECT_EQ(view->GetTheme(), kPaperTheme);
    EXPECT_TRUE(ShowsPattern(Paint(), QRect(0, 300, 640, 100), 129));
}

TEST_F(ThemedGridTest, ThePatternMenuSetsAndChecksTheTheme)
{
    view->SetTheme(kPaperTheme, false);
    auto status = [&](SInt16 item) {
        Boolean enabled = false, usesMark = false;
        UInt16 mark = noMark;
        Str255 name;
        view->FindCommandStatus(SyntheticCommandForMenuItem(kPatternMenuID, item), enabled, usesMark, mark, name);
        EXPECT_TRUE(enabled && usesMark);
        return mark;
    };
    EXPECT_EQ(status(kPaperTheme), checkMark);
    EXPECT_EQ(status(5), noMark);
    EXPECT_TRUE(view->ObeyCommand(SyntheticCommandForMenuItem(kPatternMenuID, 5), nullptr));
    EXPECT_EQ(view->GetTheme(), 5);
    EXPECT_EQ(status(5), checkMark);
    EXPECT_EQ(status(kPaperTheme), noMark);
    // Another menu's items are not the view's.
    EXPECT_FALSE(view->ObeyCommand(SyntheticCommandForMenuItem(204, 5), nullptr));
    EXPECT_EQ(view->GetTheme(), 5);

    // The program makes its menu bar first; the first view fills the bar's pattern
    // menu. Chosen from the menu bar with that view as the target, an item sets its
    // theme and the menu shows it checked.
    LMenuBar bar(128);
    StandaloneIndexView target(300, 200);
    ASSERT_TRUE(LCommander::SwitchTarget(target.get()));
    ASSERT_TRUE(bar.ChooseItem(kPatternMenuID, kFullScreenTheme));
    EXPECT_EQ(target->GetTheme(), kFullScreenTheme);
    LMenu* patterns = bar.FetchMenu(kPatternMenuID);
    bar.UpdateMenu(patterns);
    for (SInt16 item = 1; item <= patterns->CountItems(); ++item)
        EXPECT_EQ(patterns->Item(item)->mark, item == kFullScreenTheme ? checkMark : noMark) << item;
    LCommander::SwitchTarget(nullptr);
    target.reset();
}
