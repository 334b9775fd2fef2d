#include "CFloater.h"
#include "CParentWindow.h"
#include "ExceptionCode.h"
#include "InterfaceTestSupport.h"
#include "LStdControls.h"
#include "Preferences.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>

namespace {

QRect Available()
{
    return QGuiApplication::primaryScreen()->availableGeometry();
}

struct SheetFixture : ::testing::Test {
    CParentWindow* parent = nullptr;
    CSheetDialogBox* sheet = nullptr;
    void SetUp() override
    {
        parent = new CParentWindow(WindowInfo(40, 40, 400, 300), kRegularWindowAttributes, QStringLiteral("Parent"), nullptr);
        parent->Show();
        parent->Select();
        sheet = new CSheetDialogBox(WindowInfo(0, 0, 200, 100), windAttr_Modal | windAttr_Enabled, QString(), parent);
    }
    void TearDown() override
    {
        delete parent; // the sheet is its subcommander and goes with it
        FlushDeletes();
    }
};

TEST_F(SheetFixture, AnOpenSheetTakesTheCloseBoxSelectionAndCloseCommand)
{
    EXPECT_TRUE(parent->HasAttribute(windAttr_CloseBox));
    sheet->Show();
    EXPECT_TRUE(sheet->IsVisible());
    EXPECT_EQ(parent->FindOpenSheet(), sheet);
    EXPECT_TRUE(parent->IsSheetOpen());
    EXPECT_FALSE(parent->HasAttribute(windAttr_CloseBox));
    EXPECT_EQ(sheet->GetShell()->windowModality(), Qt::WindowModal);

    // Selecting the parent selects its sheet; closing it is refused and disabled.
    parent->Select();
    EXPECT_TRUE(sheet->IsActiveWindow());
    Boolean enabled = true, usesMark = false;
    UInt16 mark = 0;
    Str255 name;
    parent->FindCommandStatus(cmd_Close, enabled, usesMark, mark, name);
    EXPECT_FALSE(enabled);
    EXPECT_TRUE(parent->ProcessCommand(cmd_Close));
    FlushDeletes();
    EXPECT_TRUE(parent->IsVisible());

    // Once the sheet hides the window has its close box back and can close.
    sheet->Hide();
    EXPECT_EQ(parent->FindOpenSheet(), nullptr);
    EXPECT_FALSE(parent->IsSheetOpen());
    EXPECT_TRUE(parent->HasAttribute(windAttr_CloseBox));
    parent->FindCommandStatus(cmd_Close, enabled, usesMark, mark, name);
    EXPECT_TRUE(enabled);
}

TEST_F(SheetFixture, SheetHangsFromTheTopOfItsParentCentred)
{
    sheet->Show();
    QRect parentBounds, sheetBounds;
    parent->GetGlobalBounds(parentBounds);
    sheet->GetGlobalBounds(sheetBounds);
    EXPECT_EQ(sheetBounds.top(), parentBounds.top());
    EXPECT_EQ(sheetBounds.left(), parentBounds.left() + (400 - 200) / 2);
}

TEST(SheetDialogBox, NeedsAParentWindowAsSupercommander)
{
    LWindow plain(WindowInfo(0, 0, 100, 100), kRegularWindowAttributes, QString(), nullptr);
    try {
        CSheetDialogBox sheet(WindowInfo(0, 0, 50, 50), windAttr_Modal, QString(), nullptr);
        FAIL() << "a sheet without a parent window was made";
    } catch (const ExceptionCode& e) {
        EXPECT_EQ(e.Code(), OSStatus('nilP'));
    }
    FlushDeletes();
}

TEST(ParentWindow, SelectionGoesToTheWindowToSelectInstead)
{
    CParentWindow front(WindowInfo(10, 10, 200, 200), kRegularWindowAttributes, QStringLiteral("A"), nullptr);
    CParentWindow other(WindowInfo(300, 10, 200, 200), kRegularWindowAttributes, QStringLiteral("B"), nullptr);
    front.Show();
    other.Show();
    other.Select();
    front.SetSelectInstead(&other);
    front.Select();
    EXPECT_TRUE(other.IsActiveWindow());
    front.SetSelectInstead(nullptr);
    front.Select();
    EXPECT_TRUE(front.IsActiveWindow());
}

struct FloaterFixture : ::testing::Test {
    CFloater* floater = nullptr;
    void SetUp() override
    {
        floater = new CFloater(WindowInfo(100, 100, 200, 150), windAttr_TitleBar | windAttr_CloseBox | windAttr_Enabled,
            QStringLiteral("Palette"), nullptr);
    }
    void TearDown() override
    {
        delete floater;
        FlushDeletes();
    }
    QRect Frame() const { return floater->GetShell()->frameGeometry(); }
};

TEST_F(FloaterFixture, FloatsAndHidesWithTheProgram)
{
    EXPECT_TRUE(floater->HasAttribute(windAttr_Floating));
    EXPECT_TRUE(floater->HasAttribute(windAttr_HideOnSuspend));
    floater->Show();
    ASSERT_TRUE(floater->IsVisible());
    Q_EMIT qGuiApp->applicationStateChanged(Qt::ApplicationInactive);
    EXPECT_FALSE(floater->IsVisible());
    Q_EMIT qGuiApp->applicationStateChanged(Qt::ApplicationActive);
    EXPECT_TRUE(floater->IsVisible());

    // One the user hid stays hidden when the program comes back.
    floater->Hide();
    Q_EMIT qGuiApp->applicationStateChanged(Qt::ApplicationInactive);
    Q_EMIT qGuiApp->applicationStateChanged(Qt::ApplicationActive);
    EXPECT_FALSE(floater->IsVisible());
}

TEST_F(FloaterFixture, HidesAtOnceWhileAPictureOfItFadesOut)
{
    floater->Show();
    floater->Hide();
    EXPECT_FALSE(floater->IsVisible());
    auto fading = [] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top->objectName() == QStringLiteral("orvexFloaterFade") && top->isVisible())
                return top;
        }
        return static_cast<QWidget*>(nullptr);
    };
    QWidget* copy = fading();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->geometry(), floater->GetShell()->geometry());
    ProcessEventsFor(kFloaterFadeMilliseconds + 150);
    FlushDeletes();
    EXPECT_EQ(fading(), nullptr);
    floater->Hide(); // hidden already: nothing to fade
    EXPECT_EQ(fading(), nullptr);
}

TEST_F(FloaterFixture, ComesBackOnScreenWhenShown)
{
    QRect available = Available();
    // Half off the right edge: the right edge meets the available area's.
    floater->GetShell()->move(available.right() - 100, 100);
    floater->Show();
    EXPECT_EQ(Frame().right(), available.right());
    EXPECT_EQ(Frame().top(), 100);

    // Off the bottom: moved up by the overlap.
    floater->GetShell()->move(50, available.bottom() - 20);
    floater->ConstrainToScreen();
    EXPECT_EQ(Frame().bottom(), available.bottom());
    EXPECT_EQ(Frame().left(), 50);

    // Off the left and top: moved to the edges.
    floater->GetShell()->move(available.left() - 80, available.top() - 30);
    floater->ConstrainToScreen();
    EXPECT_EQ(Frame().topLeft(), available.topLeft());

    // Inside already: stays.
    floater->GetShell()->move(available.left() + 10, available.top() + 20);
    floater->ConstrainToScreen();
    EXPECT_EQ(Frame().topLeft(), available.topLeft() + QPoint(10, 20));
}

TEST_F(FloaterFixture, LargerThanTheScreenKeepsItsLeftAndTopEdgesOnIt)
{
    QRect available = Available();
    floater->ResizeFrameBy(available.width(), available.height(), false);
    floater->GetShell()->move(available.left() + 30, available.top() + 40);
    floater->ConstrainToScreen();
    EXPECT_EQ(Frame().topLeft(), available.topLeft());
}

TEST_F(FloaterFixture, WritesItsPositionThroughTheStoreOnHiding)
{
    Point store { -1, -1 };
    floater->SetPositionStore(&store, 7);
    EXPECT_EQ(floater->GetPositionStoreRefCon(), 7);
    floater->Show();
    floater->MoveWindowTo(120, 90);
    floater->Hide();
    EXPECT_EQ(store, (Point { 90, 120 }));
}

TEST_F(FloaterFixture, PlacesItselfAgainstAnotherWindow)
{
    LWindow other(WindowInfo(200, 150, 300, 200), kRegularWindowAttributes, QStringLiteral("Doc"), nullptr);
    QRect them = other.GetShell()->frameGeometry();
    floater->PositionRelativeTo(&other, floaterPos_RightOf);
    EXPECT_EQ(Frame().topLeft(), QPoint(them.right() + 1, them.top()));
    floater->PositionRelativeTo(&other, floaterPos_Below);
    EXPECT_EQ(Frame().topLeft(), QPoint(them.left(), them.bottom() + 1));
    floater->PositionRelativeTo(&other, floaterPos_Centered);
    EXPECT_LE((Frame().center() - them.center()).manhattanLength(), 2); // halves of odd sizes
    floater->PositionRelativeTo(&other, floaterPos_InsideRight);
    EXPECT_EQ(Frame().right(), them.right());
    // An unknown kind keeps the place.
    QPoint before = Frame().topLeft();
    floater->PositionRelativeTo(&other, 3);
    EXPECT_EQ(Frame().topLeft(), before);
    // Above a window at the top of the screen: below it instead, never over
    // its menus; inside its lower part when there is no room below either.
    other.GetShell()->move(200, Available().top());
    them = other.GetShell()->frameGeometry();
    floater->PositionRelativeTo(&other, floaterPos_Above);
    EXPECT_EQ(Frame().topLeft(), QPoint(them.left(), them.bottom() + 1));
    other.ResizeFrameBy(0, Available().height() - them.height(), false);
    them = other.GetShell()->frameGeometry();
    floater->PositionRelativeTo(&other, floaterPos_Above);
    EXPECT_EQ(Frame().bottom(), std::min(them.bottom(), Available().bottom()));
    EXPECT_GT(Frame().top(), them.top());
}

TEST(TaskWindow, CommandPeriodStopsTheLatestTaskAndIsConsumed)
{
    CTaskWindow window(WindowInfo(10, 10, 300, 120), windAttr_TitleBar | windAttr_Enabled, QStringLiteral("Tasks"), nullptr);
    EventRecord commandPeriod;
    commandPeriod.what = keyDown;
    commandPeriod.message = '.';
    commandPeriod.modifiers = cmdKey;

    CTaskWindow::SetStopLatestTask(nullptr);
    EXPECT_TRUE(window.HandleKeyPress(commandPeriod)); // no task: still consumed

    int stops = 0;
    CTaskWindow::SetStopLatestTask([&] { ++stops; });
    EXPECT_TRUE(window.HandleKeyPress(commandPeriod));
    EXPECT_EQ(stops, 1);
    EventRecord plainPeriod = commandPeriod;
    plainPeriod.modifiers = 0;
    window.HandleKeyPress(plainPeriod);
    EXPECT_EQ(stops, 1);
    CTaskWindow::SetStopLatestTask(nullptr);
}

TEST(TaskWindow, KeepsItsPositionInThePreferences)
{
    const QString key = CTaskWindow::kPositionKey;
    SetPrefValue(key, QVariant());
    // The default lies on no screen, so the window finds its own place.
    EXPECT_EQ(GetPrefPoint(key), (Point { 10000, 0 }));
    {
        CTaskWindow window(WindowInfo(10, 10, 300, 120), windAttr_TitleBar | windAttr_Enabled, QStringLiteral("Tasks"), nullptr);
        EXPECT_FALSE(RestoreWindowPosition(&window, key));
        window.Show();
        window.MoveWindowTo(60, 70);
        window.Hide();
        EXPECT_EQ(GetPrefPoint(key), (Point { 70, 60 }));
        window.Show();
        window.MoveWindowTo(80, 90);
    }
    FlushDeletes();
    EXPECT_EQ(GetPrefPoint(key), (Point { 90, 80 })); // written when it went
    CTaskWindow again(WindowInfo(10, 10, 300, 120), windAttr_TitleBar | windAttr_Enabled, QStringLiteral("Tasks"), nullptr);
    EXPECT_TRUE(RestoreWindowPosition(&again, key));
    QRect bounds;
    again.GetGlobalBounds(bounds);
    EXPECT_EQ(bounds.topLeft(), QPoint(80, 90));
}

} // namespace

namespace {
TEST(TaskWindow, RendersOffscreenWithItsProgressPanes)
{
    CTaskWindow window(WindowInfo(30, 30, 320, 90), windAttr_TitleBar | windAttr_CloseBox | windAttr_Enabled, QStringLiteral("Tasks"), nullptr);
    new LStaticText(SPaneInfo { 1, 296, 18, true, true, {}, 12, 10, 0, &window }, QStringLiteral("Making thumbnails (120 of 400)"));
    new LProgressBar(SPaneInfo { 2, 296, 16, true, true, {}, 12, 34, 0, &window }, 120, 0, 400);
    new LStaticText(SPaneInfo { 3, 296, 18, true, true, {}, 12, 58, 0, &window }, QStringLiteral("Reading index.db"));
    window.Show();
    ProcessEventsFor(10);
    QImage image = window.GetShell()->grab().toImage();
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(320, 90));
    if (qEnvironmentVariableIsSet("ORVEX_SAVE_RENDERS"))
        image.save(qEnvironmentVariable("ORVEX_SAVE_RENDERS") + QStringLiteral("/task-window.png"));
    QSet<QRgb> colours;
    for (int x = 12; x < 308; x += 4)
        colours.insert(image.pixel(x, 42));
    EXPECT_GT(colours.size(), 1); // the bar is drawn part filled
}
} // namespace
