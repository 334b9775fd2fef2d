// Rating many items from the menu as a user does: all selected with the keyboard,
// the rating chosen in the menu bar, the batch's progress and its Stop watched
// and clicked in the task window, while the organizer shows a group of many keywords.
#include "AppRunSupport.h"
#include "CANPAInfo.h"
#include "CIndexModel.h"
#include "CMetaDataListView.h"
#include "FieldKeys.h"
#include "LCommander.h"
#include "QueuedInput.h"
#include "Preferences.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QTest>

#include <algorithm>

namespace {

constexpr int kItems = 100000;
constexpr SInt16 kRatingMenu = 228;
constexpr SInt16 kThirdRating = 3; // rates 6
constexpr SInt32 kFirstRating = 1;

SInt32 Rating(CIndexItem* item)
{
    const CANPAInfo* caption = item->GetCaptionInfo();
    return caption ? caption->GetUrgency() : -1;
}

} // namespace

TEST(RatingBatch, RatingEveryItemShowsItsProgressAndStopLeavesTheRestAsTheyWere)
{
    SetPrefBoolean(QStringLiteral("ApplyChangesToMediaFile"), false);
    std::unique_ptr<IdleApp> app;
    CIndexDoc* document = StartWithNewIndex(app);
    ASSERT_NE(document, nullptr);
    LWindow* window = document->GetWindow();
    CIndexModel& model = document->GetModel();
    std::vector<CIndexItem*> items;
    for (int i = 0; i < kItems; ++i) {
        auto* item = new CIndexItem(QUrl(QStringLiteral("http://example.org/photo%1.jpg").arg(i)));
        auto caption = std::make_unique<CANPAInfo>();
        caption->SetUrgency(kFirstRating);
        caption->AddKeywordCF(QStringLiteral("subject %1").arg(i));
        item->SetCaptionInfo(std::move(caption));
        items.push_back(item);
    }
    model.AppendItems(items);
    CIndexView* view = SelectFirstItemWhenIdle(document);
    ASSERT_NE(view, nullptr);
    auto* organizer = dynamic_cast<CMetaDataListView*>(window->FindPaneByID(kPaneOrganizerList));
    ASSERT_NE(organizer, nullptr);
    ASSERT_TRUE(RunUntil([&] { return !view->GetCacheTask() && organizer->FindGroup(kFieldKeywords) != nullptr; }));
    organizer->OpenContainer(organizer->FindGroup(kFieldKeywords));
    ASSERT_EQ(organizer->FindGroup(kFieldKeywords)->GetValueRows().size(), size_t(kItems));

    QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
    ASSERT_EQ(model.CountSelectedItems(), kItems);
    QAction* rate = OpenMenuItem(window, SyntheticCommandForMenuItem(kRatingMenu, kThirdRating));
    ASSERT_NE(rate, nullptr);
    ChooseMenuItemLater(rate);

    CVisualTask* rating = nullptr;
    ASSERT_TRUE(RunUntil([&] {
        for (CVisualTask* task : GetShownTasks()) {
            if (task->GetModel() == &model && task->IsStopShown() && task->GetProgressPane()->isVisible())
                rating = task;
        }
        return rating != nullptr || std::all_of(items.begin(), items.end(), [](CIndexItem* item) {
            return Rating(item) == CIndexView::RatingOfMenuItem(kThirdRating);
        });
    }));
    ASSERT_NE(rating, nullptr) << "the rating ran to its end with no progress and no Stop shown";
    EXPECT_EQ(rating->GetProgressMax(), kItems);
    auto* stop = dynamic_cast<LControlPane*>(rating->GetProgressPane()->FindPaneByID(kPaneStopButton));
    ASSERT_NE(stop, nullptr);
    QWidget* button = stop->GetControlWidget();
    QueueClick(button, button->rect().center());
    ASSERT_TRUE(RunUntil([&] { return IsIdle(document); }));

    const auto rated = std::count_if(items.begin(), items.end(),
        [](CIndexItem* item) { return Rating(item) == CIndexView::RatingOfMenuItem(kThirdRating); });
    const auto untouched
        = std::count_if(items.begin(), items.end(), [](CIndexItem* item) { return Rating(item) == kFirstRating; });
    EXPECT_GT(rated, 0);
    EXPECT_LT(rated, kItems) << "Stop did not end the rating";
    EXPECT_EQ(rated + untouched, kItems) << "an item not rated lost its rating";
    document->SetModified(false);
    app->AttemptQuit();
}
