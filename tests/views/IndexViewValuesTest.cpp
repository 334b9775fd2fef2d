// The index view's filter titles, quick search and ratings (through the value
// index, which hears the rated field), on a real index window.

#include "CANPAInfo.h"
#include "CIndexDoc.h"
#include "CIndexItem.h"
#include "CIndexView.h"
#include "FieldKeys.h"
#include "IndexWindowTest.h"
#include "LThread.h"
#include "LWindow.h"
#include "Preferences.h"

#include <gtest/gtest.h>

#include <map>

namespace {

class Ear : public LListener {
public:
    void ListenToMessage(MessageT message, void*) override { ++heard[message]; }
    std::map<MessageT, int> heard;
};

// Tasks run, nothing read or written: the items are the test's own.
class QuietTasks : public TaskServices {
public:
    void ShowSearchWindow(CIndexModel&, SInt32) override { }
    void StartImportFilesTask(CIndexModel&) override { }
    void StartImportFolderTask(CIndexModel&, const FileRef&, SInt32, SInt32) override { }
    void StartReadIndexPackageTask(CIndexDoc* document) override { document->ShowWindow(); }
    void StartWriteIndexTask(CIndexDoc*) override { }
    void StopTasksOfOwner(CIndexModel&) override { }
};

class IndexViewValues : public IndexWindowTest {
protected:
    void SetUp() override
    {
        IndexWindowTest::SetUp();
        SetTaskServices(&mTasks);
        SetPrefBoolean("ApplyChangesToMediaFile", false);
        doc = new CIndexDoc(nullptr, {}, false, false);
        view = dynamic_cast<CIndexView*>(doc->GetIndexViewPane());
        ASSERT_TRUE(view);
        view->AddListener(&ear);
        doc->GetWindow()->SetCFDescriptor(QStringLiteral("Summer"));
    }
    void TearDown() override
    {
        SetPrefDefault("ApplyChangesToMediaFile");
        IndexWindowTest::TearDown();
    }

    // An item with a caption of keywords (and a caption text), added to the index.
    CIndexItem* Add(const QString& name, const QStringList& keywords = {}, const char* text = nullptr)
    {
        auto* item = new CIndexItem(QUrl(QStringLiteral("http://example.org/") + name));
        auto caption = std::make_unique<CANPAInfo>();
        for (const QString& keyword : keywords)
            caption->AddKeywordCF(keyword);
        if (text)
            caption->SetCaption(QByteArray(text));
        item->SetCaptionInfo(std::move(caption));
        view->InsertItem(item, kInsertAtEnd, false, false);
        return item;
    }
    bool TasksEnd() const
    {
        return LThread::RunUntil(
            [this] {
                return view->CountRunningTasks() == 0 && view->CountRunningSearches() == 0 && !view->GetCacheTask();
            },
            10000);
    }
    QString Title() const { return doc->GetWindow()->GetCFDescriptor(); }

    QuietTasks mTasks;
    CIndexDoc* doc = nullptr;
    CIndexView* view = nullptr;
    Ear ear;
};

} // namespace

TEST_F(IndexViewValues, AnAllFieldsQuickSearchFindsAWordInAnyOneField)
{
    Add("harbour.jpg");
    Add("boats.jpg", { "Harbour" });
    Add("market.jpg", {}, "Old harbour market");
    Add("fields.jpg", { "grass" });
    view->StartQuickSearch(kAllFieldsKey, QStringLiteral("harbour"));
    ASSERT_TRUE(TasksEnd());
    EXPECT_TRUE(view->IsFiltered());
    EXPECT_EQ(view->CountItems(), 3);

    // An empty text only shows all items again.
    view->StartQuickSearch(kAllFieldsKey, QString());
    EXPECT_FALSE(view->IsFiltered());
    EXPECT_EQ(view->CountItems(), 4);
}

TEST_F(IndexViewValues, FilterTitlesKeepTheWindowsOwnTitleOnce)
{
    CIndexItem* a = Add("a.jpg");
    CIndexItem* b = Add("b.jpg");
    const QString first = QStringLiteral("sea"), second = QStringLiteral("sky");
    std::vector<QString> titles;
    view->ShowFilter(&first, false, true);
    titles.push_back(Title());
    view->ShowFilter(&second, false, false); // a second filter over the first
    titles.push_back(Title());
    ASSERT_TRUE(view->ShowItemsAsFilter(&first, { a }, false));
    titles.push_back(Title());
    EXPECT_EQ(view->CountItems(), 1);
    ASSERT_TRUE(view->ShowItemsAsFilter(&second, { b }, false));
    EXPECT_EQ(view->CountItems(), 2) << "added to the items shown";
    view->ShowAllItems(true);
    titles.push_back(Title());
    EXPECT_EQ(titles, (std::vector<QString> { "Summer [sea]", "Summer [sky]", "Summer [sea]", "Summer" }));
    EXPECT_EQ(ear.heard[msg_FilterShown], 4);
    EXPECT_EQ(ear.heard[msg_FilterEnded], 1);

    view->ShowAllItems(true);
    EXPECT_EQ(ear.heard[msg_FilterEnded], 1) << "nothing to end";
    EXPECT_EQ(Title(), QStringLiteral("Summer"));
}

TEST_F(IndexViewValues, TheRatingMenuRatesTheSelectionAndTheValueIndexFollows)
{
    view->RebuildValueIndex();
    std::vector<CIndexItem*> items;
    for (int i = 0; i < 6; ++i)
        items.push_back(Add(QStringLiteral("photo%1.jpg").arg(i)));
    ASSERT_TRUE(TasksEnd());
    view->SetModified(false);
    // Menu item n rates item n, alone selected.
    const SInt32 expected[] = { 9, 7, 6, 4, 2, 0 };
    for (SInt16 n = 1; n <= 6; ++n) {
        view->DeselectAll();
        view->SelectIndex(n);
        ASSERT_TRUE(view->RateSelectedItems(n, nullptr));
        ASSERT_TRUE(TasksEnd());
    }
    for (size_t i = 0; i < items.size(); ++i) {
        ASSERT_NE(items[i]->GetCaptionInfo(), nullptr);
        EXPECT_EQ(items[i]->GetCaptionInfo()->GetUrgency(), expected[i]) << "menu item " << i + 1;
        EXPECT_TRUE(view->GetValueSets(kFieldUrgencyLabel)->value(QString::number(expected[i])).contains(items[i]))
            << "menu item " << i + 1;
    }
    EXPECT_TRUE(view->IsModified());
    EXPECT_FALSE(view->RateSelectedItems(7, nullptr)) << "no rating beyond the sixth item";
    EXPECT_FALSE(view->RateSelectedItems(0, items[0]));
    EXPECT_EQ(view->CountRunningSearches(), 0);
}
