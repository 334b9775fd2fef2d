// The media window over an index view: opening, stepping with wrapping, deleting,
// the floaters and the title.
#include "CANPAInfo.h"
#include "FieldKeys.h"
#include "CMediaCaptionFloater.h"
#include "IIMText.h"
#include "CMediaNavigator.h"
#include "CMediaView.h"
#include "ErrorReport.h"
#include "CContextualMenu.h"
#include "FontFile.h"
#include "LMenuBar.h"

#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QPixmap>
#include <QPointer>
#include <QRegularExpression>
#include <QScreen>
#include <QToolBar>

#include "ViewerTest.h"

using MediaWindowTest = ViewerTest;

TEST_F(MediaWindowTest, AnItemOpensLargeInAWindowSizedToIt)
{
    FillView(3, 320, 240);
    CMediaWindow* window = OpenAt(2);
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->IsVisible());
    EXPECT_EQ(window->GetItemIndex(), 2);
    EXPECT_EQ(window->GetItem(), ItemAt(2));
    ASSERT_TRUE(window->GetMediaView());
    EXPECT_EQ(window->GetMediaView()->GetPaneID(), PaneIDT(kMediaKindStill));
    // Fit with enlarging up to 200 %: 640 x 480 on the offscreen screen.
    EXPECT_EQ(window->GetMediaView()->GetMediaBounds().size(), QSize(640, 480));
    EXPECT_EQ(window->size(), QSize(640, 480));
    EXPECT_EQ(window->GetCFDescriptor(), QStringLiteral("photo02.jpg @ 200% (2/3)"));
    // The item is the view's selection and marked open in the viewer.
    EXPECT_EQ(view->GetModel().SelectedItems(), std::vector<CIndexItem*> { ItemAt(2) });
    EXPECT_TRUE(ItemAt(2)->IsOpenInViewer());
}

TEST_F(MediaWindowTest, NextAndPreviousWrapAtBothEndsOverTheFilteredList)
{
    FillView(4);
    CMediaWindow* window = OpenAt(4);
    ASSERT_TRUE(window);
    window->ProcessCommand(cmd_MediaNext);
    EXPECT_EQ(window->GetItemIndex(), 1);
    EXPECT_FALSE(ItemAt(4)->IsOpenInViewer());
    EXPECT_TRUE(ItemAt(1)->IsOpenInViewer());
    window->ProcessCommand(cmd_MediaPrevious);
    EXPECT_EQ(window->GetItemIndex(), 4);

    // Only items 2 and 4 shown: the count is the filter's.
    view->GetModel().AddFoundItem(ItemAt(2));
    view->GetModel().AddFoundItem(ItemAt(4));
    view->ShowFilter(nullptr, false, false);
    window->SetItemAtIndex(2, &view->GetModel(), nullptr);
    window->ProcessCommand(cmd_MediaNext);
    EXPECT_EQ(window->GetItemIndex(), 1);
    EXPECT_EQ(window->GetItem()->GetName(), QStringLiteral("photo02.jpg"));
    window->ProcessCommand(cmd_MediaPrevious);
    EXPECT_EQ(window->GetItem()->GetName(), QStringLiteral("photo04.jpg"));
    EXPECT_TRUE(window->GetCFDescriptor().endsWith(QStringLiteral("(2/2)")));
}

TEST_F(MediaWindowTest, TheTitleCountsOnlyAmongTheItemsShown)
{
    FillView(3);
    CMediaWindow* window = OpenAt(3);
    ASSERT_TRUE(window);
    EXPECT_EQ(window->GetCFDescriptor(), QStringLiteral("photo03.jpg @ 200% (3/3)"));
    // A search that leaves the shown item out: the title names no place for it.
    view->GetModel().AddFoundItem(ItemAt(1));
    view->GetModel().AddFoundItem(ItemAt(2));
    view->ShowFilter(nullptr, false, false);
    ASSERT_EQ(view->CountItems(), 2);
    window->GetMediaView()->SetZoom(150); // any change of zoom writes the title again
    EXPECT_EQ(window->GetCFDescriptor(), QStringLiteral("photo03.jpg @ 150%"));
    CloseAllMediaWindows();

    // An item opened from the view by itself shows its place in the list; one of
    // no index has no place to show.
    CMediaWindow* alone = OpenMediaWindowForItem(ItemAt(2), &view->GetModel(), true, nullptr);
    ASSERT_TRUE(alone);
    EXPECT_TRUE(alone->GetCFDescriptor().endsWith(QStringLiteral("% (2/2)"))) << alone->GetCFDescriptor().toStdString();
    view->ShowAllItems(true);
    CMediaWindow* outside
        = OpenMediaWindowForItem(new CIndexItem(QUrl::fromLocalFile(WritePhoto(9, 320, 240))), nullptr, true, nullptr);
    ASSERT_TRUE(outside);
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^photo09\\.jpg @ \\d+%$")).match(outside->GetCFDescriptor()).hasMatch())
        << outside->GetCFDescriptor().toStdString();
}

TEST_F(MediaWindowTest, HomeEndAndArrowKeysStepAndRestartTheDelay)
{
    FillView(3);
    CMediaWindow* window = OpenAt(2);
    ASSERT_TRUE(window);
    EventRecord key;
    key.what = keyDown;
    key.message = char_End;
    EXPECT_TRUE(window->HandleKeyPress(key));
    EXPECT_EQ(window->GetItemIndex(), 3);
    key.message = char_Home;
    window->HandleKeyPress(key);
    EXPECT_EQ(window->GetItemIndex(), 1);
    window->SetLastStepTick(0);
    key.message = char_LeftArrow;
    window->HandleKeyPress(key);
    EXPECT_EQ(window->GetItemIndex(), 3);
    EXPECT_NE(window->GetLastStepTick(), 0u);
    // With Option the arrows scroll (in the view) and never step.
    key.modifiers = optionKey;
    window->HandleKeyPress(key);
    EXPECT_EQ(window->GetItemIndex(), 3);
}

TEST_F(MediaWindowTest, AStandAloneItemGoesToTheFirstItemOnNext)
{
    FillView(3);
    CMediaWindow* window = OpenMediaWindowForItem(ItemAt(2), &view->GetModel(), true, nullptr);
    ASSERT_TRUE(window);
    EXPECT_EQ(window->GetItemIndex(), -1);
    EXPECT_FALSE(ItemAt(2)->IsOpenInViewer());
    window->ProcessCommand(cmd_MediaNext);
    EXPECT_EQ(window->GetItemIndex(), 1);
}

TEST_F(MediaWindowTest, OpeningAShownItemAgainBringsItsWindowForwardInstead)
{
    FillView(2);
    CMediaWindow* first = OpenAt(1);
    ASSERT_TRUE(first);
    EXPECT_EQ(CMediaWindow::FindOrCreate(ItemAt(1), true, &view->GetModel()), nullptr);
    OpenAt(1);
    EXPECT_EQ(CMediaWindow::GetWindowList().size(), 1u);
    EXPECT_EQ(Code([&] { OpenMediaWindowAtIndex(7, &view->GetModel(), true, nullptr); }), err_AssertFailed);
    EXPECT_EQ(Code([&] { OpenMediaWindowAtIndex(1, nullptr, true, nullptr); }), err_NilPointer);
}

TEST_F(MediaWindowTest, DeletingTheShownItemShowsTheNextAndTheLastClosesTheWindow)
{
    FillView(3);
    const QString second = ItemAt(2)->GetURL().toLocalFile();
    CMediaWindow* window = OpenAt(2);
    ASSERT_TRUE(window);
    window->ProcessCommand(cmd_MediaDelete);
    EXPECT_EQ(view->CountItems(), 2);
    EXPECT_EQ(window->GetItemIndex(), 2);
    EXPECT_EQ(window->GetItem()->GetName(), QStringLiteral("photo03.jpg"));
    EXPECT_TRUE(window->GetCFDescriptor().endsWith(QStringLiteral("(2/2)")));
    // The file went to the Trash with its item.
    EXPECT_FALSE(QFileInfo::exists(second));

    QPointer<CMediaWindow> guard(window);
    window->ProcessCommand(cmd_MediaDelete);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(view->CountItems(), 1);
    EXPECT_TRUE(guard.isNull());
    EXPECT_TRUE(CMediaWindow::GetWindowList().empty());
}

TEST_F(MediaWindowTest, AnItemRemovedByTheViewIsReplacedByWhatStandsAtItsIndex)
{
    FillView(3);
    CMediaWindow* window = OpenAt(3);
    ASSERT_TRUE(window);
    view->RemoveItem(3, false, true, true);
    EXPECT_EQ(window->GetItem(), nullptr);
    ProcessEventsFor(50);
    ASSERT_TRUE(window->GetItem());
    EXPECT_EQ(window->GetItemIndex(), 2);
    EXPECT_EQ(window->GetItem()->GetName(), QStringLiteral("photo02.jpg"));
}

TEST_F(MediaWindowTest, TheFloatersShowNamePositionAndCaption)
{
    FillView(3);
    auto caption = std::make_unique<CANPAInfo>();
    // A letter Mac Roman lacks is kept in the caption and shown as itself.
    caption->SetCaption(IIMText::CaptionBytesFromText(QString::fromUtf8("Harbour at dawn, seen from the old pier in Gdańsk.")));
    ItemAt(1)->SetCaptionInfo(std::move(caption));
    CMediaWindow* window = OpenAt(1);
    ASSERT_TRUE(window);
    CMediaNavigator* navigator = window->GetNavigator();
    ASSERT_TRUE(navigator);
    EXPECT_EQ(navigator->GetNameText(), QStringLiteral("photo01"));
    EXPECT_EQ(navigator->GetPositionText(), QStringLiteral("1/3"));
    CMediaCaptionFloater* floater = window->GetCaptionFloater();
    ASSERT_TRUE(floater);
    EXPECT_EQ(floater->GetCaptionText(), QString::fromUtf8("Harbour at dawn, seen from the old pier in Gdańsk."));
    EXPECT_EQ(floater->GetCFDescriptor(), ItemAt(1)->CopyFieldString(kFieldName, 1));
    EXPECT_EQ(floater->width(), CMediaCaptionFloater::kWidth);
    window->ProcessCommand(cmd_MediaNext);
    EXPECT_EQ(floater->GetCaptionText(), QString());
    EXPECT_EQ(navigator->GetPositionText(), QStringLiteral("2/3"));
    EXPECT_EQ(Code([&] { floater->ListenToMessage(msg_MediaItemChanged, nullptr); }), err_NilPointer);

    // Shown and hidden by their commands; the window's command status follows.
    EXPECT_FALSE(floater->IsVisible());
    window->ProcessCommand(cmd_MediaCaptionFloater);
    EXPECT_TRUE(floater->IsVisible());
    Boolean enabled = false, usesMark = false;
    UInt16 mark = 0;
    Str255 name {};
    window->FindCommandStatus(cmd_MediaCaptionFloater, enabled, usesMark, mark, name);
    EXPECT_TRUE(enabled && usesMark && mark == checkMark);
}

TEST_F(MediaWindowTest, FloaterNamesLoseOnlyAThreeLetterExtension)
{
    EXPECT_EQ(CMediaWindow::FloaterName(QStringLiteral("photo.jpg"), nullptr), QStringLiteral("photo"));
    EXPECT_EQ(CMediaWindow::FloaterName(QStringLiteral("archive.tiff"), nullptr), QStringLiteral("archive.tiff"));
    EXPECT_EQ(CMediaWindow::FloaterName(QStringLiteral("a.b"), nullptr), QStringLiteral("a.b"));
}

// Under a window manager the frames come after the windows show: each whole frame,
// title bar included, ends up on the screen, the navigator's at the screen's foot too.
TEST_F(MediaWindowTest, TheNavigatorKeepsItsPlaceAndAFirstOneGoesOnScreen)
{
    struct Case {
        const char* name;
        bool shownWithTheWindow;
    } cases[] = { { "first navigator", true }, { "navigator shown from the menu", false } };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        SetPrefRect(CMediaNavigator::kRectKey, Rect {});
        SetPrefBoolean(CMediaNavigator::kVisibleKey, test.shownWithTheWindow);
        FillView(1);
        CMediaWindow* window = OpenAt(1);
        ASSERT_TRUE(window);
        CMediaNavigator* navigator = window->GetNavigator();
        if (!navigator->IsVisible())
            window->ProcessCommand(cmd_MediaNavigatorFloater);
        ASSERT_TRUE(navigator->IsVisible());
        const QRect screen = navigator->GetShell()->screen()->availableGeometry();
        for (QWidget* shell : { window->GetShell(), navigator->GetShell() }) {
            WaitForFrame(shell);
            const QRect frame = shell->frameGeometry();
            EXPECT_TRUE(screen.contains(frame)) << "a frame at " << frame.top() << "-" << frame.bottom() << " on a screen "
                                                << screen.top() << "-" << screen.bottom();
        }
        CloseAllMediaWindows();
        EXPECT_FALSE(GetPrefRect(CMediaNavigator::kRectKey).IsEmpty());
    }
}

TEST_F(MediaWindowTest, TheOptionsGoBackToThePreferencesWhenTheWindowCloses)
{
    FillView(1);
    CMediaWindow* window = OpenAt(1);
    ASSERT_TRUE(window);
    window->GetMediaView()->ObeyCommand(cmd_MediaZoom50, nullptr);
    EXPECT_TRUE(window->GetCFDescriptor().contains(QStringLiteral("@ 50%")));
    CloseAllMediaWindows();
    EXPECT_EQ(GetPrefNumber(QStringLiteral("MediaZoom")), 50);
    EXPECT_EQ(GetPrefNumber(QStringLiteral("MediaZoomFlag")), -99);
}

TEST_F(MediaWindowTest, TheWindowDrawsTheWholePhotographFittedInIt)
{
    const QString photo = mDir + QStringLiteral("/Canon_40D.jpg");
    ASSERT_TRUE(QFile::copy(TestDataPath(QStringLiteral("exif-samples/jpg/Canon_40D.jpg")), photo));
    view->InsertItem(new CIndexItem(QUrl::fromLocalFile(photo)), kInsertAtEnd, false, false);
    FillView(1);
    CMediaWindow* window = OpenAt(1);
    ASSERT_TRUE(window);
    const QImage shot = window->GetShell()->grab().toImage();
    if (!qEnvironmentVariableIsEmpty("ORVEX_SHOT_DIR"))
        shot.save(qEnvironmentVariable("ORVEX_SHOT_DIR") + QStringLiteral("/media-window-photo.png"));
    // The photograph fills the content (no background band shows): its own pixels
    // at the centre and near each corner match the file's.
    const QImage original(photo);
    // A photograph smaller than the window sits in its middle.
    const QRect bounds = window->GetMediaView()->GetFrame();
    EXPECT_EQ(bounds.center(), window->rect().center());
    const QPoint content = window->GetMediaView()->mapTo(window->GetShell(), QPoint(0, 0));
    for (const QPointF& at : { QPointF(0.5, 0.5), QPointF(0.1, 0.1), QPointF(0.9, 0.9) }) {
        const QRgb drawn = shot.pixel(content + QPoint(int(at.x() * bounds.width()), int(at.y() * bounds.height())));
        const QRgb source = original.pixel(int(at.x() * original.width()), int(at.y() * original.height()));
        EXPECT_NEAR(qGray(drawn), qGray(source), 40) << at.x() << "," << at.y();
    }
}

TEST_F(MediaWindowTest, CommandClickZoomsInAndADoubleClickClosesTheWindow)
{
    FillView(2, 400, 300);
    CMediaWindow* window = OpenAt(1);
    ASSERT_TRUE(window);
    CMediaView* media = window->GetMediaView();
    const SInt16 zoom = media->GetZoom();
    media->SimulateClick(media->rect().center(), cmdKey, 1);
    EXPECT_EQ(media->GetZoom(), zoom + 10);
    EXPECT_EQ(window->GetOptions().zoomFlag, kZoomFixed);
    media->SimulateClick(media->rect().center(), optionKey, 1);
    EXPECT_EQ(media->GetZoom(), zoom);
    EXPECT_TRUE(window->GetCFDescriptor().contains(QStringLiteral("@ %1%").arg(zoom)));

    QPointer<CMediaWindow> guard(window);
    media->SimulateClick(media->rect().center(), 0, 2);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(guard.isNull());
    EXPECT_FALSE(ItemAt(1)->IsOpenInViewer());
}

TEST_F(MediaWindowTest, ClosingTheIndexClosesItsMediaWindows)
{
    FillView(3);
    QPointer<CMediaWindow> window = OpenAt(2);
    ASSERT_TRUE(window);
    view->RemoveAllItems();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
    EXPECT_TRUE(CMediaWindow::GetWindowList().empty());
}

TEST_F(MediaWindowTest, TheRatingMenuRatesTheShownItemOnly)
{
    SetPrefBoolean(QStringLiteral("ApplyChangesToMediaFile"), false);
    FillView(3);
    CMediaWindow* window = OpenAt(2);
    ASSERT_TRUE(window);
    view->SelectAll(); // the window rates its own item, not the view's selection
    Boolean enabled = false, usesMark = false;
    UInt16 mark = 0;
    Str255 name;
    window->FindCommandStatus(cmd_MediaRating, enabled, usesMark, mark, name);
    EXPECT_TRUE(enabled);
    window->FindCommandStatus(SyntheticCommandForMenuItem(228, 7), enabled, usesMark, mark, name);
    EXPECT_FALSE(enabled) << "the menu has six ratings";

    window->ProcessCommand(SyntheticCommandForMenuItem(228, 2)); // 7
    ASSERT_TRUE(LThread::RunUntil([&] { return view->CountRunningSearches() == 0; }, 10000));
    ASSERT_NE(ItemAt(2)->GetCaptionInfo(), nullptr);
    EXPECT_EQ(ItemAt(2)->GetCaptionInfo()->GetUrgency(), 7);
    for (SInt32 other : { 1, 3 }) {
        const CANPAInfo* caption = ItemAt(other)->GetCaptionInfo();
        EXPECT_TRUE(!caption || caption->GetUrgency() != 7) << other;
    }
    SetPrefDefault(QStringLiteral("ApplyChangesToMediaFile"));
}

TEST_F(MediaWindowTest, ALargePhotoOpensWholeOnTheScreenAndItsNavigatorLeavesTheBarsFree)
{
    SetPrefRect(CMediaNavigator::kRectKey, Rect {});
    FillView(2, 3000, 2000);
    CMediaWindow* window = OpenAt(1);
    ASSERT_TRUE(window);
    QWidget* shell = window->GetShell();
    const QRect available = shell->screen()->availableGeometry();
    auto wholeOnScreen = [&](const char* when) {
        // The frame, title bar included, and the tool bar lie on the screen.
        WaitForFrame(shell);
        EXPECT_TRUE(available.contains(shell->frameGeometry())) << when;
        EXPECT_LT(shell->frameGeometry().top(), shell->geometry().top()) << when;
        ASSERT_TRUE(window->GetToolBar()) << when;
        const QRect bar(window->GetToolBar()->mapToGlobal(QPoint(0, 0)), window->GetToolBar()->size());
        EXPECT_TRUE(available.contains(bar)) << when;
    };
    wholeOnScreen("opened");
    // The window's zoom gives the same whole screen.
    window->DoSetZoom(false);
    window->ResizeFrameTo(300, 200, true);
    window->DoSetZoom(true);
    wholeOnScreen("zoomed");

    window->ProcessCommand(cmd_MediaNavigatorFloater);
    ASSERT_TRUE(window->GetNavigator()->IsVisible());
    WaitForFrame(window->GetNavigator()->GetShell());
    const QRect navigator = window->GetNavigator()->GetShell()->frameGeometry();
    const QRect bars(shell->geometry().topLeft(), QSize(shell->width(), window->y()));
    EXPECT_TRUE(available.contains(navigator));
    EXPECT_FALSE(navigator.intersects(bars)) << navigator.y() << " over the bars down to " << bars.bottom();
    const QPixmap picture = shell->grab();
    picture.save(QStringLiteral(ORVEX_ARTEFACT_DIR "/media-window-large@%1x.png").arg(picture.devicePixelRatio()));

    // Closing the window takes its navigator off the screen with it.
    QPointer<QWidget> navigatorShell = window->GetNavigator()->GetShell();
    window->ProcessCommand(cmd_Close);
    EXPECT_TRUE(!navigatorShell || !navigatorShell->isVisible()) << "the navigator stays after its window closed";
}

TEST_F(MediaWindowTest, AFontsWindowActivatesItForOrvexAndDeactivatesIt)
{
    LMenuBar bar(128);
    const QString path = mDir + QStringLiteral("/Symbols.otf");
    QFile::remove(path);
    ASSERT_TRUE(QFile::copy(TestDataPath(QStringLiteral("fonts/StandardSymbolsPS.otf")), path));
    FillView(1);
    view->InsertItem(new CIndexItem(QUrl::fromLocalFile(path)), kInsertAtEnd, false, false);
    CMediaWindow* window = OpenAt(2);
    ASSERT_TRUE(window);
    auto enabled = [](CMediaWindow* of, CommandT command) {
        Boolean on = false, usesMark = false;
        UInt16 mark = 0;
        Str255 name;
        of->FindCommandStatus(command, on, usesMark, mark, name);
        return bool(on);
    };
    EXPECT_TRUE(enabled(window, cmd_MediaActivateFonts));
    EXPECT_TRUE(enabled(window, cmd_MediaDeactivateFonts));
    // The window's contextual menu offers both.
    LCommander::SwitchTarget(window);
    QMenu menu;
    window->AddItems(&menu);
    QStringList texts;
    for (QAction* item : menu.actions())
        texts << item->text();
    EXPECT_TRUE(texts.contains(QStringLiteral("Activate Fonts"))) << texts.join(", ").toStdString();
    EXPECT_TRUE(texts.contains(QStringLiteral("Deactivate Fonts")));

    window->ProcessCommand(cmd_MediaActivateFonts);
    EXPECT_TRUE(IsFontFileActivated(path));
    window->ProcessCommand(cmd_MediaDeactivateFonts);
    EXPECT_FALSE(IsFontFileActivated(path));

    // A photograph's window offers neither.
    CMediaWindow* photo = OpenAt(1);
    ASSERT_TRUE(photo);
    EXPECT_FALSE(enabled(photo, cmd_MediaActivateFonts));
    EXPECT_FALSE(enabled(photo, cmd_MediaDeactivateFonts));
}

TEST_F(MediaWindowTest, ADamagedPictureIsCheckedBeforeItShowsWhenThePreferencesAsk)
{
    std::vector<SErrorReport> reports;
    SetErrorNotificationPoster([&](const SErrorReport& report) { reports.push_back(report); });
    QFile whole(WritePhoto(1, 640, 480));
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray bytes = whole.readAll();
    const QString path = mDir + QStringLiteral("/damaged.jpg");
    QFile damaged(path);
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write(bytes.left(bytes.size() / 3)); // the header and the first rows
    damaged.close();
    view->InsertItem(new CIndexItem(QUrl::fromLocalFile(path)), kInsertAtEnd, false, false);

    SetPrefBoolean(QStringLiteral("ValidateMedia"), true);
    CMediaWindow* checked = OpenAt(1);
    ASSERT_TRUE(checked);
    EXPECT_FALSE(reports.empty()) << "the damage was not told";
    EXPECT_TRUE(!checked->GetMediaView() || !checked->GetMediaView()->GetMedia()) << "a damaged picture was shown";
    CloseAllMediaWindows();

    reports.clear();
    SetPrefBoolean(QStringLiteral("ValidateMedia"), false);
    CMediaWindow* unchecked = OpenAt(1);
    ASSERT_TRUE(unchecked);
    ASSERT_TRUE(unchecked->GetMediaView());
    EXPECT_TRUE(unchecked->GetMediaView()->GetMedia()) << "without the check what can be read shows";
    SetPrefDefault(QStringLiteral("ValidateMedia"));
    SetErrorNotificationPoster({});
}
