// Movies and sounds in the media window, played through Qt Multimedia with the
// sound muted (no audio device is needed).
#include "MediaPlayback.h"
#include "CMediaMovieView.h"
#include "CMediaNavigator.h"
#include "LThread.h"
#include "TickCount.h"
#include "TestMovies.h"
#include "TextFormats.h"

#include "ViewerTest.h"

#include <QElapsedTimer>
#include <QApplication>
#include <QTest>
#include "MediaViewerServices.h"

namespace {
class MoviePlayerTest : public ViewerTest {
protected:
    void SetUp() override
    {
        ViewerTest::SetUp();
        // Muted: the stored volume is negative.
        SetPrefNumber(QStringLiteral("MediaVolume"), -kFullVolume);
    }

    // Two seconds: red, then blue, with a tone.
    QString MakeMovie()
    {
        return MakeMediaWithFFmpeg(QStringLiteral("clip.mov"),
            QStringList { "-f", "lavfi", "-i", "sine=frequency=440:duration=2" } + RedThenBlueVideo()
                + QStringList { "-map", "0:a", "-c:v", "mpeg4", "-c:a", "aac", "-shortest" });
    }

    CMediaMovieView* MovieViewOf(CMediaWindow* window)
    {
        return window ? dynamic_cast<CMediaMovieView*>(window->GetMediaView()) : nullptr;
    }

    static bool WaitFor(const std::function<bool()>& done, int milliseconds)
    {
        QElapsedTimer clock;
        clock.start();
        while (!done() && clock.elapsed() < milliseconds)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return done();
    }
};

// Movies played on a clock the test moves on: no waiting for them in real time.
class MovieTest : public MoviePlayerTest {
protected:
    // Moves the clock on a frame's time at a time until `done` or `milliseconds` have passed.
    bool RunUntil(const std::function<bool()>& done, int milliseconds)
    {
        for (int passed = 0; !done() && passed < milliseconds; passed += kStep)
            clock.Advance(kStep);
        return done();
    }
    void Run(int milliseconds)
    {
        RunUntil([] { return false; }, milliseconds);
    }

    static constexpr int kStep = 40;
    ManualClock clock;
};
} // namespace

TEST_F(MoviePlayerTest, AMoviePlaysToItsEndReportsItsTimeAndDrawsItsFrames)
{
    view->InsertItem(new CIndexItem(QUrl::fromLocalFile(MakeMovie())), kInsertAtEnd, false, false);
    CMediaWindow* window = OpenAt(1);
    CMediaMovieView* movie = MovieViewOf(window);
    ASSERT_TRUE(movie);
    EXPECT_EQ(movie->GetPaneID(), PaneIDT(kMediaKindMovie));
    EXPECT_TRUE(window->IsVisible());
    EXPECT_TRUE(movie->IsOutputMuted());
    EXPECT_FALSE(movie->IsReadyForNextSlide());

    movie->Play(true);
    ASSERT_TRUE(WaitFor([&] { return movie->IsPlaying(); }, 5000));
    ASSERT_TRUE(WaitFor([&] { return !movie->GetVideoFrame().isNull(); }, 5000));
    EXPECT_EQ(movie->GetVideoFrame().size(), QSize(160, 120));
    ASSERT_TRUE(WaitFor([&] { return movie->IsMovieDone(); }, 10000));
    EXPECT_TRUE(movie->IsReadyForNextSlide());
    EXPECT_NEAR(movie->GetDuration(), 1200, 30);
    EXPECT_NEAR(movie->GetCurrentTime(), 1200, 60);
    // The last frame is blue.
    const QRgb last = movie->GetVideoFrame().pixel(80, 60);
    EXPECT_GT(qBlue(last), 150);
    EXPECT_LT(qRed(last), 80);

    // The navigator heard the status: remaining time, then elapsed after a click.
    window->ListenToMessage(msg_MediaMovieStatus, nullptr);
    MediaMovieStatus status { 600, 1200, -kFullVolume, false, true };
    window->ListenToMessage(msg_MediaMovieStatus, &status);
    EXPECT_EQ(window->GetNavigator()->GetTimeText(), FormatMovieTimeText(600));
    window->GetNavigator()->ListenToMessage(msg_MediaTimeClicked, nullptr);
    status.current = 1200;
    window->GetNavigator()->ListenToMessage(msg_MediaMovieStatus, &status);
    EXPECT_EQ(window->GetNavigator()->GetTimeText(), FormatMovieTimeText(1200));
}

TEST_F(MoviePlayerTest, AMovieWithItsSoundOnPlaysItsPictureWhereNoSoundServerRuns)
{
    // The sound on, and no sound server to take it (none runs for the tests; each
    // of Qt Multimedia's backends is tried, see CMakeLists.txt).
    SetPrefNumber(QStringLiteral("MediaVolume"), kFullVolume);
    qputenv("PULSE_SERVER", "unix:/nonexistent/orvex-no-sound-server");
    view->InsertItem(new CIndexItem(QUrl::fromLocalFile(MakeMovie())), kInsertAtEnd, false, false);
    CMediaWindow* window = OpenAt(1);
    CMediaMovieView* movie = MovieViewOf(window);
    ASSERT_TRUE(movie);
    EXPECT_FALSE(movie->IsOutputMuted());
    movie->Play(true);
    // The picture plays through to its last, blue frame.
    EXPECT_TRUE(WaitFor([&] { return movie->IsMovieDone(); }, 10000));
    EXPECT_GT(qBlue(movie->GetVideoFrame().pixel(80, 60)), 150);
    EXPECT_NEAR(movie->GetCurrentTime(), 1200, 60);
    qunsetenv("PULSE_SERVER");
}

TEST_F(MovieTest, ALoopingMovieGoesOnPastItsEnd)
{
    SetPrefBoolean(QStringLiteral("MediaLoopPlayback"), true);
    view->InsertItem(new CIndexItem(QUrl::fromLocalFile(MakeMovie())), kInsertAtEnd, false, false);
    CMediaMovieView* movie = MovieViewOf(OpenAt(1));
    ASSERT_TRUE(movie);
    EXPECT_EQ(movie->GetPlayer()->Loops(), MediaPlayback::kInfinite);
    movie->Play(true);
    ASSERT_TRUE(movie->IsPlaying());
    Run(2600);
    EXPECT_TRUE(movie->IsPlaying());
    EXPECT_FALSE(movie->IsReadyForNextSlide());
    movie->ObeyCommand(cmd_MediaStop, nullptr);
    EXPECT_FALSE(movie->IsPlaying());
    EXPECT_EQ(movie->GetCurrentTime(), 0);
}

TEST_F(MovieTest, MuteAndFastForwardKeepTheVolumeAsSet)
{
    SetPrefNumber(QStringLiteral("MediaVolume"), 100);
    view->InsertItem(new CIndexItem(QUrl::fromLocalFile(MakeMovie())), kInsertAtEnd, false, false);
    CMediaMovieView* movie = MovieViewOf(OpenAt(1));
    ASSERT_TRUE(movie);
    EXPECT_EQ(movie->GetVolume(), 100);
    movie->ObeyCommand(cmd_MediaMute, nullptr);
    EXPECT_EQ(movie->GetVolume(), -100);
    EXPECT_TRUE(movie->IsOutputMuted());
    // Scanning while muted neither unmutes nor changes what unmuting restores.
    movie->ObeyCommand(cmd_MediaFastForward, nullptr);
    EXPECT_TRUE(movie->IsScanning());
    movie->ObeyCommand(cmd_MediaFastForward, nullptr);
    EXPECT_FALSE(movie->IsScanning());
    movie->ObeyCommand(cmd_MediaMute, nullptr);
    EXPECT_EQ(movie->GetVolume(), 100);
    EXPECT_FALSE(movie->IsOutputMuted());
    EXPECT_NEAR(movie->GetOutputVolume(), 100.0f / 256.0f, 0.01f);
    // While scanning the output plays at a third; the volume set stays.
    movie->ObeyCommand(cmd_MediaFastBackward, nullptr);
    EXPECT_EQ(movie->GetVolume(), 100);
    EXPECT_NEAR(movie->GetOutputVolume(), 100.0f / 256.0f / 3.0f, 0.01f);
    movie->ObeyCommand(cmd_MediaFastBackward, nullptr);
    EXPECT_NEAR(movie->GetOutputVolume(), 100.0f / 256.0f, 0.01f);
    movie->Play(false);
}

TEST_F(MovieTest, ASoundPlaysWithTheWindowOutOfSightAndTheNavigatorShown)
{
    const QString sound = MakeMediaWithFFmpeg(QStringLiteral("tone.wav"), ToneAudio());
    view->InsertItem(new CIndexItem(QUrl::fromLocalFile(sound)), kInsertAtEnd, false, false);
    CMediaWindow* window = OpenAt(1);
    CMediaMovieView* movie = MovieViewOf(window);
    ASSERT_TRUE(movie);
    EXPECT_FALSE(window->IsVisible());
    EXPECT_TRUE(window->GetNavigator()->IsVisible());
    EXPECT_FALSE(window->GetNavigator()->HasAttribute(windAttr_HideOnSuspend));
    // No zoom for a sound.
    Boolean enabled = true, usesMark = false;
    UInt16 mark = 0;
    Str255 name {};
    movie->FindCommandStatus(cmd_MediaZoomIn, enabled, usesMark, mark, name);
    EXPECT_FALSE(enabled);
    movie->Play(true);
    ASSERT_TRUE(RunUntil([&] { return movie->IsMovieDone(); }, 8000));
    EXPECT_NEAR(movie->GetCurrentTime(), 600, 60);

    // Closing the navigator closes the hidden window with it.
    QPointer<CMediaWindow> guard(window);
    window->GetNavigator()->ProcessCommand(cmd_Close);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(guard.isNull());
}

TEST_F(MovieTest, TheSlideShowWaitsForAMovieToEnd)
{
    view->InsertItem(new CIndexItem(QUrl::fromLocalFile(MakeMovie())), kInsertAtEnd, false, false);
    view->InsertItem(new CIndexItem(QUrl::fromLocalFile(WritePhoto(1, 200, 150))), kInsertAtEnd, false, false);
    CMediaWindow* window = OpenAt(1);
    CMediaMovieView* movie = MovieViewOf(window);
    ASSERT_TRUE(movie);
    window->StartSlideShow(0.125);
    movie->Play(true);
    ASSERT_TRUE(movie->IsPlaying());
    window->SetLastStepTick(0);
    window->SlideShowStep();
    EXPECT_EQ(window->GetItemIndex(), 1);
    // Past the slide's time, the movie halfway: still waiting.
    Run(1000);
    window->SlideShowStep();
    EXPECT_EQ(window->GetItemIndex(), 1);
    ASSERT_TRUE(RunUntil([&] { return movie->IsMovieDone(); }, 3000));
    window->SlideShowStep();
    EXPECT_EQ(window->GetItemIndex(), 2);
    EXPECT_EQ(window->GetMediaView()->GetPaneID(), PaneIDT(kMediaKindStill));
}

TEST_F(MovieTest, TheWindowDrawsTheMoviesFramesAndItsController)
{
    SetPrefBoolean(QStringLiteral("MediaControllerVisible"), true);
    view->InsertItem(new CIndexItem(QUrl::fromLocalFile(MakeMovie())), kInsertAtEnd, false, false);
    CMediaWindow* window = OpenAt(1);
    CMediaMovieView* movie = MovieViewOf(window);
    ASSERT_TRUE(movie);
    EXPECT_EQ(movie->GetControllerHeight(), CMediaMovieView::kControllerHeight);
    EXPECT_EQ(movie->GetImageSize().height, movie->GetMediaBounds().height() + CMediaMovieView::kControllerHeight);
    movie->Play(true);
    ASSERT_TRUE(RunUntil([&] { return movie->GetCurrentTime() > 700; }, 5000));
    movie->Play(false);
    Run(100);
    const QImage shot = window->GetShell()->grab().toImage();
    if (!qEnvironmentVariableIsEmpty("ORVEX_SHOT_DIR"))
        shot.save(qEnvironmentVariable("ORVEX_SHOT_DIR") + QStringLiteral("/media-window-movie.png"));
    const QPoint content = window->mapTo(window->GetShell(), QPoint(0, 0));
    const QRect frame = movie->GetFrame();
    // Past the first second the frame is blue; the controller bar is dark grey.
    const QRgb middle = shot.pixel(content + frame.topLeft() + QPoint(frame.width() / 2, movie->GetMediaBounds().height() / 2));
    EXPECT_GT(qBlue(middle), 150);
    EXPECT_LT(qRed(middle), 80);
    const QRgb bar = shot.pixel(content + frame.topLeft() + QPoint(frame.width() / 2, frame.height() - 2));
    EXPECT_LT(qGray(bar), 80);

    // The navigator shows the movie's name, place and time.
    window->ProcessCommand(cmd_MediaNavigatorFloater);
    movie->ObeyCommand(cmd_MediaPlayPause, nullptr);
    ASSERT_TRUE(RunUntil([&] { return !window->GetNavigator()->GetTimeText().isEmpty(); }, 3000));
    movie->Play(false);
    EXPECT_EQ(window->GetNavigator()->GetNameText(), QStringLiteral("clip"));
    EXPECT_EQ(window->GetNavigator()->GetPositionText(), QStringLiteral("1/1"));
    if (!qEnvironmentVariableIsEmpty("ORVEX_SHOT_DIR"))
        window->GetNavigator()->GetShell()->grab().save(
            qEnvironmentVariable("ORVEX_SHOT_DIR") + QStringLiteral("/media-navigator.png"));
}

TEST_F(MovieTest, BackAndForthLoopingTurnsAtTheEndAndKeepsPlaying)
{
    SetPrefBoolean(QStringLiteral("MediaLoopPlayback"), true);
    SetPrefBoolean(QStringLiteral("MediaLoopBackForth"), true);
    view->InsertItem(new CIndexItem(QUrl::fromLocalFile(MakeMovie())), kInsertAtEnd, false, false);
    CMediaMovieView* movie = MovieViewOf(OpenAt(1));
    ASSERT_TRUE(movie);
    movie->Play(true);
    ASSERT_TRUE(movie->IsPlaying());
    ASSERT_TRUE(RunUntil([&] { return movie->GetPlayer()->PlaybackRate() < 0; }, 5000));
    // Backwards from the end: the time goes down.
    const SInt32 turned = movie->GetCurrentTime();
    Run(500);
    EXPECT_LT(movie->GetCurrentTime(), turned);
    EXPECT_FALSE(movie->IsReadyForNextSlide());
    // At the start it turns forwards again.
    EXPECT_TRUE(RunUntil([&] { return movie->GetPlayer()->PlaybackRate() > 0; }, 5000));
    EXPECT_TRUE(movie->IsPlaying());
    movie->Play(false);
}

TEST_F(MovieTest, AMoviesOwnTitleNamesItInTheNavigator)
{
    const QString path = MakeMediaWithFFmpeg(QStringLiteral("titled.mov"),
        RedThenBlueVideo() + QStringList { "-c:v", "mpeg4", "-metadata", "title=Harbour Film" });
    view->InsertItem(new CIndexItem(QUrl::fromLocalFile(path)), kInsertAtEnd, false, false);
    CMediaWindow* window = OpenAt(1);
    ASSERT_TRUE(window);
    EXPECT_EQ(window->GetNavigator()->GetNameText(), QStringLiteral("Harbour Film"));
    EXPECT_EQ(CMediaWindow::FloaterName(QStringLiteral("titled.mov"), window->GetMediaView()->GetMedia()),
        QStringLiteral("Harbour Film"));
}

// As a user has it: the preferences' defaults (play at once, sound on), an H.264
// movie or a sound opened from the index, the space bar pausing and playing it.
TEST_F(MoviePlayerTest, AMovieOrSoundOpenedFromTheIndexPlaysAtOnceAndTheSpaceBarPausesIt)
{
    SetPrefNumber(QStringLiteral("MediaVolume"), kFullVolume);
    SetPrefBoolean(QStringLiteral("MediaAutoPlay"), true);
    const QStringList tone { "-f", "lavfi", "-i", "sine=frequency=440:duration=2" };
    const struct {
        const char* name;
        QStringList arguments;
    } rows[] = {
        { "clip.mp4", tone + RedThenBlueVideo() + QStringList { "-map", "0:a", "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac", "-shortest" } },
        { "tone.wav", tone },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        view->InsertItem(new CIndexItem(QUrl::fromLocalFile(MakeMediaWithFFmpeg(row.name, row.arguments))), kInsertAtEnd, false, false);
        const SInt32 index = view->GetModel().CountItems();
        CIndexItem* item = nullptr;
        ASSERT_TRUE(view->GetItemAt(index, item));
        view->GetModel().SelectOnly(index);
        view->OpenSelectedItem();
        CMediaWindow* window = WindowOf(item);
        CMediaMovieView* movie = MovieViewOf(window);
        ASSERT_TRUE(movie);
        EXPECT_TRUE(WaitFor([&] { return movie->IsPlaying() && movie->GetCurrentTime() > 0; }, 5000));
        window->GetShell()->activateWindow();
        QWidget* keys = QApplication::focusWidget() ? QApplication::focusWidget() : window->GetShell();
        QTest::keyClick(keys, Qt::Key_Space);
        EXPECT_TRUE(WaitFor([&] { return !movie->IsPlaying(); }, 2000));
        QTest::keyClick(keys, Qt::Key_Space);
        EXPECT_TRUE(WaitFor([&] { return movie->IsPlaying(); }, 2000));
        window->DoClose();
    }
}
