// The status placard of the index window and the window's small panes.

#include "CIndexDoc.h"
#include "CIndexItem.h"
#include "CIndexView.h"
#include "CInfoView.h"
#include "CVisualTask.h"
#include "IndexWindowPanes.h"
#include "IndexWindowTest.h"
#include "LStdControls.h"
#include "LThread.h"
#include "LWindow.h"
#include "Preferences.h"
#include "TextFormats.h"
#include "UReanimator.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QProgressBar>

namespace {

// A task of the index that shows its progress and then waits to be let go or stopped.
class ProgressTask : public CVisualTask {
public:
    ProgressTask(CIndexView* view, bool withStop, const bool* release)
        : CVisualTask(601, 18, &view->GetModel())
        , mView(view)
        , mWithStop(withStop)
        , mRelease(release)
    {
        view->AddRunningTask(false);
    }
    ~ProgressTask() override { mView->RemoveRunningTask(false); }

protected:
    void RunTask() override
    {
        ShowStopButton(mWithStop);
        ShowProgress(0);
        SetProgressMax(10);
        SetProgress(3);
        while (!*mRelease)
            LThread::Sleep(2);
    }

private:
    CIndexView* mView;
    bool mWithStop;
    const bool* mRelease;
};

class StatusPlacard : public IndexWindowTest {
protected:
    void SetUp() override
    {
        IndexWindowTest::SetUp();
        SetPrefBoolean("IndexShowStatusBar", true);
        SetPrefBoolean("SnapZoomToFixedValues", false);
        doc = new CIndexDoc(nullptr, {}, false, false);
        view = dynamic_cast<CIndexView*>(doc->GetIndexViewPane());
        placard = dynamic_cast<CInfoView*>(doc->GetWindow()->FindPaneByID(930));
        ASSERT_TRUE(view);
        ASSERT_TRUE(placard);
    }

    // Photographs written for the test, added to the index.
    void AddItems(int count)
    {
        for (int i = 0; i < count; ++i) {
            QImage image(96, 64, QImage::Format_RGB32);
            image.fill(QColor::fromHsv((i * 29) % 360, 150, 210));
            QPainter painter(&image);
            painter.fillRect(20, 16, 40, 30, QColor::fromHsv((i * 29 + 180) % 360, 200, 120));
            painter.end();
            const QString path = QStringLiteral("%1/p%2.jpg").arg(mDir).arg(i, 3, 10, QChar('0'));
            ASSERT_TRUE(image.save(path, "JPEG"));
            view->InsertItem(new CIndexItem(QUrl::fromLocalFile(path)), kInsertAtEnd, false, false);
        }
    }

    void TellStateChanged() { view->BroadcastMessage(msg_IndexViewStateChanged, nullptr); }

    template <typename T> T* Pane(PaneIDT id) { return dynamic_cast<T*>(placard->FindPaneByID(id)); }

    CIndexDoc* doc = nullptr;
    CIndexView* view = nullptr;
    CInfoView* placard = nullptr;
};

QImage Render(LPane* pane)
{
    QImage image(pane->size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    pane->render(&image);
    return image;
}

} // namespace

// --- Counts --------------------------------------------------------------------------------------------

TEST_F(StatusPlacard, CountsNameAllShownAndSelectedItemsAndTheSizeOnlyWhenNothingNarrowsThem)
{
    EXPECT_EQ(CInfoView::CountsText(0, 0, 0, 1000), "");
    EXPECT_EQ(CInfoView::CountsText(120, 12, 3, 5000), "120 items  12 shown  3 selected");
    EXPECT_EQ(CInfoView::CountsText(120, 120, 3, 5000), "120 items  3 selected");
    EXPECT_EQ(CInfoView::CountsText(120, 12, 0, 5000), "120 items  12 shown");
    EXPECT_EQ(CInfoView::CountsText(7, 7, 0, 1572864), "7 items [" + FormatByteSize(1572864) + "]");
    EXPECT_EQ(CInfoView::CountsText(1, 1, 1, 5000), "1 item  1 selected");
}

TEST_F(StatusPlacard, FollowsTheViewThroughFilterAndSelection)
{
    EXPECT_EQ(placard->GetInfoText(), ""); // an empty index
    AddItems(12);
    TellStateChanged();
    EXPECT_TRUE(placard->GetInfoText().startsWith("12 items ["));

    doc->StartQuickSearch(4001, "p00"); // p000 .. p009
    ASSERT_TRUE(LThread::RunUntil([&] { return view->CountRunningSearches() == 0; }, 5000));
    CIndexItem* item = nullptr;
    ASSERT_TRUE(view->GetItemAt(2, item));
    view->GetModel().SelectItem(item);
    TellStateChanged();
    EXPECT_EQ(placard->GetInfoText(), "12 items  10 shown  1 selected");
}

TEST_F(StatusPlacard, IconsShowStorageThePasswordAndTheListLock)
{
    auto* storage = Pane<LControl>(CInfoView::kPaneStorageButton);
    auto* password = Pane<LControl>(CInfoView::kPanePasswordButton);
    LPane* listLock = placard->FindPaneByID(CInfoView::kPaneListLock);
    ASSERT_TRUE(storage && password && listLock);
    TellStateChanged();
    EXPECT_EQ(storage->GetUserCon(), 454);
    EXPECT_TRUE(password->isHidden());
    EXPECT_TRUE(listLock->isHidden());

    view->SetFlags(kViewStoreMediaFile);
    view->SetPassword("harbour");
    view->LockItemList(); // broadcasts 3002 itself
    EXPECT_EQ(storage->GetUserCon(), 455);
    EXPECT_FALSE(password->isHidden());
    EXPECT_EQ(password->GetUserCon(), 432);
    EXPECT_FALSE(listLock->isHidden());

    view->SetFlags(kViewRemoveMediaFile);
    view->SetKeepPasswordInKeychain(true);
    view->UnlockItemList();
    EXPECT_EQ(storage->GetUserCon(), 456);
    EXPECT_EQ(password->GetUserCon(), 451);
    EXPECT_TRUE(listLock->isHidden());
}

TEST_F(StatusPlacard, TheStorageIconOpensThePropertyDialog)
{
    ASSERT_EQ(view->GetPropertyDialog(), nullptr);
    view->SetFlags(kViewStoreMediaFile);
    Pane<LControl>(CInfoView::kPaneStorageButton)->SimulateHotSpotClick();
    LDialogBox* dialog = view->GetPropertyDialog();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->FindPaneByID(1008)->GetValue(), 1);
    view->ClosePropertyDialog();
}

TEST_F(StatusPlacard, TextsOfTheViewTypeSelectAndVisibleRangeAreShown)
{
    QString text = "Renaming";
    view->BroadcastMessage(msg_PlacardInfoText, &text);
    EXPECT_EQ(placard->GetInfoText(), "Renaming");
    unsigned char typed[] = { 3, 'h', 'a', 'r' };
    view->BroadcastMessage(msg_PlacardTypeSelect, typed);
    EXPECT_EQ(placard->FindPaneByID(CInfoView::kPaneTypeSelect)->GetCFDescriptor(), "har");
    AddItems(3);
    placard->ListenToMessage(msg_PlacardVisibleRange, nullptr);
    EXPECT_EQ(placard->GetInfoText(), "First: 1 Last: 3");
}

// --- Zoom ------------------------------------------------------------------------------------------------

TEST_F(StatusPlacard, TheSliderSetsTheThumbnailSizeSnappedWhenAsked)
{
    auto* slider = Pane<LControl>(CInfoView::kPaneZoomSlider);
    ASSERT_TRUE(slider);
    // The view's settings put the slider where the view is.
    EXPECT_EQ(slider->GetValue(), view->GetThumbnailSize());
    EXPECT_EQ(slider->GetMinValue(), 32);
    EXPECT_EQ(slider->GetMaxValue(), view->GetMaxThumbnailSize());

    slider->SetValue(87);
    EXPECT_EQ(view->GetThumbnailSize(), 87);
    EXPECT_EQ(placard->GetInfoText(), "Thumbnail size: 87 × 87");

    SetPrefBoolean("SnapZoomToFixedValues", true);
    slider->SetValue(93);
    EXPECT_EQ(view->GetThumbnailSize(), 90);
    EXPECT_EQ(placard->GetInfoText(), "Thumbnail size: 90 × 90");
}

TEST_F(StatusPlacard, WhileTheListShowsTheSliderChangesOnlyTheText)
{
    LPane* list = doc->GetWindow()->FindPaneByID('brow');
    ASSERT_TRUE(list);
    list->Show();
    doc->ShowWindow();
    const SInt16 before = view->GetThumbnailSize();
    auto* slider = Pane<LControl>(CInfoView::kPaneZoomSlider);
    slider->SetValue(before + 21);
    EXPECT_EQ(view->GetThumbnailSize(), before);
    EXPECT_EQ(placard->GetInfoText(), QStringLiteral("Thumbnail size: %1 × %1").arg(before + 21));
}

// --- The running task ------------------------------------------------------------------------------------

TEST_F(StatusPlacard, MirrorsTheRunningTaskAndStopsIt)
{
    bool release = false;
    auto* task = new ProgressTask(view, true, &release);
    task->Start();
    LPane* group = placard->FindPaneByID(CInfoView::kPaneTaskGroup);
    auto* bar = Pane<LProgressBar>(CInfoView::kPaneProgress);
    ASSERT_TRUE(group && bar);
    ASSERT_TRUE(LThread::RunUntil([&] { return bar->GetValue() == 3; }, 3000));
    EXPECT_FALSE(group->isHidden());
    EXPECT_EQ(placard->GetCurrentTask(), task);
    EXPECT_EQ(bar->GetMaxValue(), 10);
    EXPECT_EQ(bar->width(), CInfoView::kBarWidthWithStop);
    EXPECT_FALSE(placard->FindPaneByID(CInfoView::kPaneStopButton)->isHidden());
    EXPECT_FALSE(placard->FindPaneByID(CInfoView::kPaneTaskTitle)->GetCFDescriptor().isEmpty());

    Pane<LControl>(CInfoView::kPaneStopButton)->SimulateHotSpotClick();
    EXPECT_EQ(placard->GetCurrentTask(), nullptr);
    ASSERT_TRUE(LThread::RunUntil([&] { return view->CountRunningTasks() == 0; }, 3000));
    EXPECT_TRUE(group->isHidden()); // the last 3002 hid it
    // A second stop with no task is nothing.
    placard->ListenToMessage(msg_PlacardStopTask, nullptr);
}

TEST_F(StatusPlacard, ATaskWithoutAStopButtonGetsTheWiderBar)
{
    bool release = false;
    auto* task = new ProgressTask(view, false, &release);
    task->Start();
    auto* bar = Pane<LProgressBar>(CInfoView::kPaneProgress);
    ASSERT_TRUE(LThread::RunUntil([&] { return placard->GetCurrentTask() == task; }, 3000));
    EXPECT_EQ(bar->width(), CInfoView::kBarWidthAlone);
    EXPECT_EQ(bar->height(), 16);
    EXPECT_TRUE(placard->FindPaneByID(CInfoView::kPaneStopButton)->isHidden());
    release = true;
    ASSERT_TRUE(LThread::RunUntil([&] { return view->CountRunningTasks() == 0; }, 3000));
    // The ended task is not touched by a late stop.
    placard->ListenToMessage(msg_PlacardStopTask, nullptr);
    EXPECT_EQ(placard->GetCurrentTask(), nullptr);
}

TEST_F(StatusPlacard, ABarWhoseBoundsAreEqualShowsFull)
{
    auto* bar = Pane<LProgressBar>(CInfoView::kPaneProgress);
    SInt32 five = 5;
    view->BroadcastMessage(msg_TaskProgressMin, &five);
    view->BroadcastMessage(msg_TaskProgressMax, &five);
    view->BroadcastMessage(msg_TaskProgress, &five);
    auto* face = bar->findChild<QProgressBar*>();
    ASSERT_TRUE(face);
    EXPECT_EQ(face->value(), face->maximum());
    EXPECT_LT(face->minimum(), face->maximum()); // not Qt's busy bar
    SInt32 ten = 10;
    view->BroadcastMessage(msg_TaskProgressMax, &ten);
    EXPECT_EQ(face->maximum(), 10);
    EXPECT_EQ(face->value(), 5);
}

// --- The small panes ----------------------------------------------------------------------------------------

TEST(IndexWindowPanes, TheFlatBarFillsItsFractionAndAFixedRangeShowsFull)
{
    EXPECT_EQ(CMediaProgressBar::DoneWidth(0, 0, 100, 200), 0);
    EXPECT_EQ(CMediaProgressBar::DoneWidth(100, 0, 100, 200), 200);
    EXPECT_EQ(CMediaProgressBar::DoneWidth(1, 0, 3, 100), 33); // truncated
    EXPECT_EQ(CMediaProgressBar::DoneWidth(7, 7, 7, 90), 90);
    EXPECT_EQ(CMediaProgressBar::DoneWidth(-5, 0, 10, 90), 0);

    SPaneInfo info;
    info.width = 100;
    info.height = 8;
    CMediaProgressBar bar(info);
    bar.SetMaxValue(10);
    bar.SetValue(0);
    QImage empty = Render(&bar);
    EXPECT_EQ(empty.pixelColor(99, 4), QColor(0xDD, 0xDD, 0xDD));
    EXPECT_EQ(empty.pixelColor(0, 4), QColor(0xDD, 0xDD, 0xDD));
    bar.SetValue(5);
    QImage half = Render(&bar);
    EXPECT_EQ(half.pixelColor(49, 4), QColor(0xAA, 0xAA, 0xAA));
    EXPECT_EQ(half.pixelColor(50, 4), QColor(0xDD, 0xDD, 0xDD));
    bar.SetMaxValue(0);
    EXPECT_EQ(Render(&bar).pixelColor(99, 4), QColor(0xAA, 0xAA, 0xAA));
}

TEST(IndexWindowPanes, TheGripIsDrawnInTheTopRightSquareAndTheAppIconLoadsOrStaysEmpty)
{
    SPaneInfo info;
    info.width = 60;
    info.height = 40;
    CDividerView divider(info);
    const QImage grip = Render(&divider);
    const QRgb background = grip.pixel(0, grip.height() - 1);
    int inSquare = 0, outside = 0;
    for (int y = 0; y < grip.height(); ++y)
        for (int x = 0; x < grip.width(); ++x)
            if (grip.pixel(x, y) != background)
                (x >= 44 && y < 16 ? inSquare : outside)++;
    EXPECT_GT(inSquare, 10);
    EXPECT_EQ(outside, 0);

    EXPECT_FALSE(CAppIconPane::LoadAppIcon("orvex.icns").isNull());
    EXPECT_TRUE(CAppIconPane::LoadAppIcon("no-such-icon.icns").isNull());
}

TEST_F(StatusPlacard, TheIndexWindowShowsItsPlacard)
{
    AddItems(24);
    doc->ShowWindow();
    TellStateChanged();
    QApplication::processEvents();
    EXPECT_TRUE(placard->isVisible());
    EXPECT_GT(placard->height(), 20);
    const QString shot = QDir(QCoreApplication::applicationDirPath()).filePath("index-window-placard.png");
    EXPECT_TRUE(doc->GetWindow()->GetShell()->grab().save(shot));
    EXPECT_TRUE(placard->grab().save(QDir(QCoreApplication::applicationDirPath()).filePath("status-placard.png")));
}
