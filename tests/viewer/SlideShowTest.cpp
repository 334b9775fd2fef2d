// The slide show: its orders, rounds, looping and failures.
#include "CMediaNavigator.h"
#include "CMediaView.h"
#include "TickCount.h"

#include "ViewerTest.h"

#include <QPointer>

#include <set>

namespace {
class SlideShowTest : public ViewerTest {
protected:
    // One step with the delay over.
    void Step(CMediaWindow* window)
    {
        window->SetLastStepTick(TickCount() - 1000);
        window->SlideShowStep();
    }
    // The indexes shown by `steps` steps, the starting one first.
    std::vector<SInt32> Run(CMediaWindow* window, int steps)
    {
        std::vector<SInt32> shown { window->GetItemIndex() };
        for (int i = 0; i < steps; ++i) {
            Step(window);
            shown.push_back(window->GetItemIndex());
        }
        return shown;
    }
};
} // namespace

TEST_F(SlideShowTest, ForwardAndBackwardWrapAndTheTitleCarriesArrows)
{
    FillView(3);
    CMediaWindow* window = OpenAt(2);
    ASSERT_TRUE(window);
    window->ProcessCommand(cmd_MediaSlideShow);
    ASSERT_TRUE(window->IsSlideShowRunning());
    EXPECT_TRUE(window->GetCFDescriptor().startsWith(QStringLiteral("<< ")));
    EXPECT_TRUE(window->GetCFDescriptor().endsWith(QStringLiteral(" >>")));
    EXPECT_TRUE(window->GetNavigator()->IsPlayButtonRunning());
    EXPECT_EQ(Run(window, 2), (std::vector<SInt32> { 2, 3, 1 }));

    window->ProcessCommand(cmd_MediaSlideShow);
    EXPECT_FALSE(window->IsSlideShowRunning());
    EXPECT_FALSE(window->GetCFDescriptor().startsWith(QStringLiteral("<< ")));
    EXPECT_FALSE(window->GetNavigator()->IsPlayButtonRunning());

    SetPrefNumber(QStringLiteral("SlideShowOrder"), 2);
    window->StartSlideShow(0.125);
    EXPECT_EQ(Run(window, 2), (std::vector<SInt32> { 1, 3, 2 }));
}

TEST_F(SlideShowTest, TheDelayIsWaitedForBeforeTheNextSlide)
{
    SetPrefNumber(QStringLiteral("SlideShowDelay"), 4);
    FillView(3);
    CMediaWindow* window = OpenAt(1);
    ASSERT_TRUE(window);
    window->StartSlideShow(0.125);
    window->SetLastStepTick(TickCount());
    window->SlideShowStep();
    EXPECT_EQ(window->GetItemIndex(), 1);
    window->SetLastStepTick(TickCount() - 4 * 60 - 1);
    window->SlideShowStep();
    EXPECT_EQ(window->GetItemIndex(), 2);
}

TEST_F(SlideShowTest, RandomWithoutRepeatsShowsEachItemOncePerRoundOverThreeRounds)
{
    SetPrefNumber(QStringLiteral("SlideShowOrder"), 3);
    const int count = 6;
    FillView(count);
    CMediaWindow* window = OpenAt(4);
    ASSERT_TRUE(window);
    window->StartSlideShow(0.125);
    const std::vector<SInt32> shown = Run(window, 3 * count - 1);
    // Rounds of `count` slides, the starting one counted in the first.
    for (int round = 0; round < 3; ++round) {
        std::set<SInt32> seen(shown.begin() + round * count, shown.begin() + (round + 1) * count);
        EXPECT_EQ(int(seen.size()), count) << "round " << round;
    }
    for (size_t i = 1; i < shown.size(); ++i)
        EXPECT_NE(shown[i], shown[i - 1]) << "slide " << i;
}

TEST_F(SlideShowTest, RandomWithoutRepeatsAlternatesTwoItemsAndNeverHangs)
{
    SetPrefNumber(QStringLiteral("SlideShowOrder"), 3);
    FillView(2);
    CMediaWindow* window = OpenAt(1);
    ASSERT_TRUE(window);
    window->StartSlideShow(0.125);
    EXPECT_EQ(Run(window, 5), (std::vector<SInt32> { 1, 2, 1, 2, 1, 2 }));

    // The list shrinks under a running show: the step still ends.
    SetPrefNumber(QStringLiteral("SlideShowOrder"), 4);
    Step(window);
    EXPECT_GE(window->GetItemIndex(), 1);
    EXPECT_LE(window->GetItemIndex(), 2);
}

TEST_F(SlideShowTest, OneItemHasNoShow)
{
    FillView(1);
    CMediaWindow* window = OpenAt(1);
    ASSERT_TRUE(window);
    window->StartSlideShow(0.125);
    EXPECT_FALSE(window->IsSlideShowRunning());
    EXPECT_EQ(window->GetCFDescriptor(), QStringLiteral("photo01.jpg @ 200% (1/1)"));
}

TEST_F(SlideShowTest, WithoutLoopingTheWindowClosesAfterOneRound)
{
    SetPrefBoolean(QStringLiteral("LoopSlideShow"), false);
    SetPrefNumber(QStringLiteral("SlideShowOrder"), 4);
    FillView(3);
    QPointer<CMediaWindow> window = OpenAt(1);
    ASSERT_TRUE(window);
    window->StartSlideShow(0.125);
    Step(window);
    Step(window);
    ASSERT_FALSE(window.isNull());
    EXPECT_EQ(window->GetHistory().size(), 3u);
    Step(window);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
}

TEST_F(SlideShowTest, AMediumThatFailsDuringTheShowIsKeptUntilItStops)
{
    FillView(3);
    CMediaWindow* window = OpenAt(1);
    ASSERT_TRUE(window);
    window->StartSlideShow(0.125);
    // A medium that cannot be opened is kept as the pending error while the show runs.
    QFile::remove(ItemAt(2)->GetURL().toLocalFile());
    Step(window);
    EXPECT_TRUE(window->IsSlideShowRunning());
    EXPECT_NE(window->GetPendingError(), 0);

    // The show goes on past it, and stopping reports it once.
    Step(window);
    EXPECT_EQ(window->GetItemIndex(), 3);
    window->StopSlideShow();
    EXPECT_EQ(window->GetPendingError(), 0);
}

TEST_F(SlideShowTest, OpeningTheIndexViewsSelectedItemStartsTheShow)
{
    SetPrefNumber(QStringLiteral("DoubleClickAction"), 1);
    FillView(3);
    view->GetModel().SelectItem(ItemAt(2));
    CIndexViewDocument document(*view);
    document.OpenSelectedItem();
    CMediaWindow* window = WindowOf(ItemAt(2));
    ASSERT_TRUE(window);
    EXPECT_FALSE(window->IsFullScreenKind());
    EXPECT_TRUE(window->IsSlideShowRunning());
    EXPECT_FALSE(OpeningSelectedItemFlag());
    // Opened any other way, a window waits for its show to be asked for.
    window->StopSlideShow();
    window->ProcessCommand(cmd_MediaNext);
    EXPECT_FALSE(window->IsSlideShowRunning());

    // An empty index has nothing to open.
    StandaloneIndexView empty(0, 0);
    CIndexViewDocument emptyDocument(*empty);
    EXPECT_EQ(Code([&] { emptyDocument.OpenSelectedItem(); }), err_AssertFailed);
}

namespace {
// A window whose step fails, as one whose view lost the index it wanted would.
class FailingStepWindow : public CMediaWindow {
public:
    using CMediaWindow::CMediaWindow;
    void SlideShowStep() override { ThrowOSErr_(err_AssertFailed, "no item at index 9"); }
};
} // namespace

TEST_F(SlideShowTest, AStepThatThrowsStopsTheShowInsteadOfFailingAtEveryFiring)
{
    URegistrar::RegisterClass<FailingStepWindow>(CMediaWindow::class_ID);
    FillView(3);
    CMediaWindow* window = OpenAt(1);
    URegistrar::RegisterClass<CMediaWindow>(CMediaWindow::class_ID);
    ASSERT_TRUE(dynamic_cast<FailingStepWindow*>(window));
    window->StartSlideShow(0.125);
    ASSERT_TRUE(window->IsSlideShowRunning());
    EventRecord idle;
    EXPECT_NO_THROW(window->SpendTime(idle));
    EXPECT_FALSE(window->IsSlideShowRunning());
    EXPECT_FALSE(window->GetCFDescriptor().startsWith(QStringLiteral("<< ")));
}

TEST_F(SlideShowTest, ThePreviousButtonRestartsAMoviePlayedPastFiveSeconds)
{
    FillView(2);
    CMediaWindow* window = OpenAt(1);
    ASSERT_TRUE(window);
    CMediaNavigator* navigator = window->GetNavigator();
    struct Ear : LListener {
        std::vector<MessageT> heard;
        void ListenToMessage(MessageT message, void*) override { heard.push_back(message); }
    } ear;
    navigator->AddListener(&ear);
    // 65 seconds in: a restart, though the seconds part of the time is 5.
    MediaMovieStatus status { 65 * 600, 120 * 600, 256, true, true };
    navigator->ListenToMessage(msg_MediaMovieStatus, &status);
    navigator->ListenToMessage(cmd_MediaPrevious, nullptr);
    EXPECT_EQ(ear.heard, (std::vector<MessageT> { cmd_MediaStop, cmd_MediaPlayPause }));
    ear.heard.clear();
    status.current = 4 * 600;
    navigator->ListenToMessage(msg_MediaMovieStatus, &status);
    navigator->ListenToMessage(cmd_MediaPrevious, nullptr);
    EXPECT_EQ(ear.heard, (std::vector<MessageT> { cmd_MediaPrevious }));
    // A still has no time: the previous item.
    ear.heard.clear();
    navigator->ListenToMessage(msg_MediaStillShown, nullptr);
    navigator->ListenToMessage(cmd_MediaPrevious, nullptr);
    EXPECT_EQ(ear.heard, (std::vector<MessageT> { cmd_MediaPrevious }));
    navigator->RemoveListener(&ear);
}
