// The full-screen media window: covering its screen, switching back and forth.
#include "CMediaView.h"
#include "CMediaWindowFS.h"
#include "DisplayUtilities.h"
#include "TestMovies.h"

#include "ViewerTest.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <QWidget>

using FullScreenTest = ViewerTest;

TEST_F(FullScreenTest, TheFullScreenWindowCoversItsScreenAndRestoresTheWindowedOne)
{
    FillView(3);
    CMediaWindow* windowed = OpenAt(2);
    ASSERT_TRUE(windowed);
    const SInt32 nesting = gFullScreenNesting;
    windowed->ProcessCommand(cmd_MediaFullScreen);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(CMediaWindow::GetWindowList().size(), 1u);
    auto* full = dynamic_cast<CMediaWindowFS*>(CMediaWindow::GetWindowList().front());
    ASSERT_TRUE(full);
    EXPECT_EQ(full->GetItemIndex(), 2);
    EXPECT_TRUE(full->IsVisible());
    QRect bounds;
    full->GetGlobalBounds(bounds);
    EXPECT_EQ(bounds, QGuiApplication::primaryScreen()->geometry());
    EXPECT_TRUE(full->IsOnMainScreen());
    EXPECT_NE(gFullScreenNesting, nesting);
    EXPECT_TRUE(full->IsCursorHidden());
    EXPECT_FALSE(full->GetToolBar());
    const QImage shot = full->GetShell()->grab().toImage();
    if (!qEnvironmentVariableIsEmpty("ORVEX_SHOT_DIR"))
        shot.save(qEnvironmentVariable("ORVEX_SHOT_DIR") + QStringLiteral("/media-window-full-screen.png"));
    // Black around the photograph, which sits in the middle.
    EXPECT_EQ(shot.pixel(2, 2), qRgb(0, 0, 0));
    EXPECT_GT(qGray(shot.pixel(shot.width() / 2, shot.height() / 2)), 200);
    // The same medium went across: the still's zoom fits the whole screen.
    EXPECT_EQ(full->GetMediaView()->GetMediaBounds().height(), std::min(bounds.height(), 240 * 2));

    // Return goes back to a window of the windowed kind, same item.
    EventRecord key;
    key.what = keyDown;
    key.message = char_Return;
    full->HandleKeyPress(key);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(CMediaWindow::GetWindowList().size(), 1u);
    CMediaWindow* back = CMediaWindow::GetWindowList().front();
    EXPECT_FALSE(back->IsFullScreenKind());
    EXPECT_EQ(back->GetItemIndex(), 2);
    EXPECT_EQ(gFullScreenNesting, nesting);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(FullScreenTest, OpeningAShownItemInTheOtherModeSwitchesItsWindow)
{
    FillView(2);
    CMediaWindow* windowed = OpenAt(1);
    ASSERT_TRUE(windowed);
    EXPECT_EQ(CMediaWindow::FindOrCreate(ItemAt(1), false, &view->GetModel()), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(CMediaWindow::GetWindowList().size(), 1u);
    EXPECT_TRUE(CMediaWindow::GetWindowList().front()->IsFullScreenKind());
    // One full-screen window per screen: another item goes to the same window.
    OpenAt(2, false);
    ASSERT_EQ(CMediaWindow::GetWindowList().size(), 1u);
    EXPECT_EQ(CMediaWindow::GetWindowList().front()->GetItemIndex(), 2);
}

namespace {
// Counts the black curtains the fade puts over the screens while it lives.
class StCurtainCounter : public QObject {
public:
    StCurtainCounter() { qApp->installEventFilter(this); }
    ~StCurtainCounter() override { qApp->removeEventFilter(this); }
    int shown = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (event->type() == QEvent::Show && widget && widget->isWindow()
            && widget->windowFlags().testFlag(Qt::WindowTransparentForInput))
            ++shown;
        return false;
    }
};
} // namespace

TEST_F(FullScreenTest, AMovieIsShownWithoutTheFade)
{
    SetPrefBoolean(QStringLiteral("MediaUseFadeEffect"), true);
    const QString movie = MakeMediaWithFFmpeg(QStringLiteral("clip.mov"), RedThenBlueVideo());
    view->InsertItem(new CIndexItem(QUrl::fromLocalFile(movie)), kInsertAtEnd, false, false);
    view->InsertItem(new CIndexItem(QUrl::fromLocalFile(WritePhoto(1, 200, 150))), kInsertAtEnd, false, false);
    StCurtainCounter curtains;
    CMediaWindow* full = OpenAt(1, false);
    ASSERT_TRUE(full);
    EXPECT_EQ(curtains.shown, 0);
    // A still fades through black for the whole fade time.
    QElapsedTimer clock;
    clock.start();
    full->ProcessCommand(cmd_MediaNext);
    EXPECT_GE(clock.elapsed(), 650);
    EXPECT_GT(curtains.shown, 0);
    EXPECT_EQ(full->GetItemIndex(), 2);
}

TEST_F(FullScreenTest, EscapeReturnsToTheWindowFullScreenCameFromAndClosesOneOpenedFullScreen)
{
    FillView(2);
    CMediaWindow* windowed = OpenAt(2);
    ASSERT_TRUE(windowed);
    windowed->ProcessCommand(cmd_MediaFullScreen);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(CMediaWindow::GetWindowList().size(), 1u);
    CMediaWindow* full = CMediaWindow::GetWindowList().front();
    ASSERT_TRUE(full->IsFullScreenKind());
    QTest::keyClick(full->GetShell(), Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(CMediaWindow::GetWindowList().size(), 1u);
    CMediaWindow* back = CMediaWindow::GetWindowList().front();
    EXPECT_FALSE(back->IsFullScreenKind());
    EXPECT_TRUE(back->IsVisible());
    EXPECT_EQ(back->GetItemIndex(), 2);

    // Opened full screen from the index, Escape closes it.
    CloseAllMediaWindows();
    CMediaWindow* direct = OpenAt(1, false);
    ASSERT_TRUE(direct && direct->IsFullScreenKind());
    QTest::keyClick(direct->GetShell(), Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(CMediaWindow::GetWindowList().empty());
}
