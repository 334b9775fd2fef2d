#include "CANPAInfo.h"
#include "CCacheTask.h"
#include "CIndexItem.h"
#include "CIndexView.h"
#include "CUpdateTask.h"
#include "CVisualTask.h"
#include "DisplayUtilities.h"
#include "ErrorCodes.h"
#include "ExceptionCode.h"
#include "FieldKeys.h"
#include "IIMText.h"
#include "LDataBrowser.h"
#include "ItemThumbnails.h"
#include "LThread.h"
#include "IndexTaskServices.h"
#include "Picture.h"
#include "Preferences.h"
#include "URegistrar.h"

#include "TestSupport.h"
#include "IndexViewFixture.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <atomic>
#include <map>

namespace {

// Counts what the view broadcasts.
class Ear : public LListener {
public:
    void ListenToMessage(MessageT message, void*) override { ++heard[message]; }
    std::map<MessageT, int> heard;
};

CIndexItem* RemoteItem(const QString& name)
{
    return new CIndexItem(QUrl(QStringLiteral("http://example.org/") + name));
}

// A task of the view that walks its list under the lock, yielding as it goes.
class WalkTask : public CVisualTask {
public:
    WalkTask(CIndexView* view, int* walked, bool* release)
        : CVisualTask(601, 18, &view->GetModel())
        , mView(view)
        , mWalked(walked)
        , mRelease(release)
    {
        view->AddRunningTask(false);
    }
    ~WalkTask() override { mView->RemoveRunningTask(false); }

protected:
    void RunTask() override
    {
        StItemListLock lock(mView);
        for (CIndexItem* item : mView->GetItemList()) {
            (void)item;
            ++*mWalked;
            LThread::Yield();
        }
        while (!*mRelease)
            LThread::Sleep(2);
    }

private:
    CIndexView* mView;
    int* mWalked;
    bool* mRelease;
};

QString WritePhoto(const QString& dir, int number, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor::fromHsv((number * 37) % 360, 160, 200));
    QPainter painter(&image);
    painter.fillRect(width / 4, height / 4, width / 2, height / 2, QColor(20, 20, 20));
    painter.end();
    const QString path = QStringLiteral("%1/photo%2.jpg").arg(dir).arg(number, 3, 10, QLatin1Char('0'));
    EXPECT_TRUE(image.save(path, "JPEG", 85));
    return path;
}

class IndexViewTest : public IndexViewFixture {
protected:
    void SetUp() override
    {
        MakeView(640, 480);
        view->AddListener(&ear);
    }
    void TearDown() override
    {
        IndexViewFixture::TearDown();
        SetThumbnailServices(nullptr);
    }

    static bool RunUntil(const std::function<bool()>& done, SInt32 milliseconds = 3000)
    {
        return LThread::RunUntil(done, milliseconds);
    }

    // `count` photographs of the size given, shown, their cells' thumbnails queued.
    void ShowPhotosToThumbnail(const QString& folder, int count, int width, int height)
    {
        CItemThumbnails::Install();
        keepInItems.emplace(QStringLiteral("ApplyChangesToMediaFile"), false);
        const QString dir = TestTempDir() + QLatin1Char('/') + folder;
        QDir().mkpath(dir);
        for (int i = 0; i < count; ++i)
            view->InsertItem(new CIndexItem(QUrl::fromLocalFile(WritePhoto(dir, i, width, height))), kInsertAtEnd,
                false, false);
        view->show();
        for (SInt32 index = 1; index <= count; ++index)
            view->QueueCellUpdate(index);
    }
    std::optional<StTempPrefBoolean> keepInItems; // changes stay in the items, never written to the files

    void Fill(int count)
    {
        for (int i = 0; i < count; ++i)
            view->InsertItem(RemoteItem(QStringLiteral("item%1.jpg").arg(i, 4, 10, QLatin1Char('0'))), kInsertAtEnd,
                false, false);
    }

    OSStatus Code(const std::function<void()>& body)
    {
        try {
            body();
        } catch (const ExceptionCode& e) {
            return e.Code();
        }
        return noErr;
    }

    Ear ear;
};


} // namespace

// --- Items, the lock and the broadcasts ------------------------------------------------------------------

TEST_F(IndexViewTest, AThousandItemsStayPutWhileATaskWalksTheLockedList)
{
    Fill(1000);
    ASSERT_EQ(view->CountItems(), 1000);
    if (CCacheTask* cache = view->GetCacheTask())
        cache->Stop(); // its own 3002s would blur the count
    ear.heard.clear();

    int walked = 0;
    bool release = false;
    auto* walker = new WalkTask(view, &walked, &release);
    EXPECT_EQ(view->CountRunningTasks(), 1);
    walker->Start();
    ASSERT_TRUE(RunUntil([&] { return walked > 100; }));
    ASSERT_TRUE(view->IsItemListLocked());

    // Every change is refused while the walk goes on; nothing moves.
    CIndexItem* first = nullptr;
    ASSERT_TRUE(view->GetItemAt(1, first));
    for (SInt32 index : {1, 500, 1000})
        EXPECT_EQ(Code([&] { view->RemoveItem(index, false, true, true); }), kMsgIndexViewOperation);
    auto extra = std::unique_ptr<CIndexItem>(RemoteItem("late.jpg"));
    EXPECT_EQ(Code([&] { view->InsertItem(extra.get(), kInsertAtEnd, false, false); }), kMsgIndexViewOperation);
    view->SetSortKey(4001, true);
    EXPECT_EQ(view->GetSortOrder(), 2) << "sorting is refused too";
    EXPECT_EQ(view->CountItems(), 1000);
    CIndexItem* still = nullptr;
    ASSERT_TRUE(view->GetItemAt(1, still));
    EXPECT_EQ(still, first);

    ASSERT_TRUE(RunUntil([&] { return walked == 1000; }));
    release = true;
    ASSERT_TRUE(RunUntil([&] { return !view->IsItemListLocked() && view->CountRunningTasks() == 0; }));
    // Lock, unlock and the two count changes.
    EXPECT_EQ(ear.heard[msg_ViewStateChanged], 4);

    ear.heard.clear();
    for (SInt32 index = view->CountItems(); index >= 1; --index)
        EXPECT_TRUE(view->RemoveItem(index, false, true, true));
    EXPECT_EQ(view->CountItems(), 0);
    EXPECT_EQ(view->CountAllItems(), 0);
    EXPECT_EQ(ear.heard[msg_ItemsChanged], 1000);
    EXPECT_TRUE(view->IsModified());
}

TEST_F(IndexViewTest, CountsNeverGoBelowZero)
{
    EXPECT_EQ(view->RemoveRunningTask(false), 0);
    EXPECT_EQ(view->CountRunningTasks(), 0);
    view->SetBusy(false);
    EXPECT_FALSE(view->IsBusy());
    view->SetBusy(true);
    view->SetBusy(true);
    view->SetBusy(false);
    EXPECT_TRUE(view->IsBusy());
    EXPECT_EQ(view->AddRunningTask(true), 0) << "a search counts apart";
    EXPECT_EQ(view->CountRunningSearches(), 1);
}

TEST_F(IndexViewTest, QuietInsertsAreNeitherCachedNorCounted)
{
    CIndexItem* loud = RemoteItem("a.jpg");
    loud->SetTotalSize(1000);
    CIndexItem* quiet = RemoteItem("b.jpg");
    quiet->SetTotalSize(500);
    EXPECT_EQ(view->InsertItem(loud, kInsertAtEnd, false, false), 1);
    EXPECT_EQ(view->InsertItem(quiet, 1, false, true), 1);
    EXPECT_EQ(view->GetTotalFileSize(), 1000u);
    ASSERT_NE(view->GetCacheTask(), nullptr);
    EXPECT_EQ(view->GetCacheTask()->CountItems(), 1);
    EXPECT_EQ(Code([&] { view->InsertItem(nullptr, 1, false, false); }), err_NilPointer);
    EXPECT_TRUE(view->RemoveItem(5, false, true, false)) << "no item there: nothing happens";
    EXPECT_EQ(view->CountItems(), 2);
}

TEST_F(IndexViewTest, AnItemInUseIsNeitherRemovedNorLost)
{
    CIndexItem* item = RemoteItem("busy.jpg");
    view->InsertItem(item, kInsertAtEnd, false, false);
    item->SetBusy(true);
    EXPECT_EQ(Code([&] { view->RemoveItem(1, false, true, false); }), kMsgIndexViewItems);
    EXPECT_EQ(view->CountItems(), 1);
    item->SetBusy(false);
    EXPECT_TRUE(view->RemoveItem(1, false, true, false));
}

TEST_F(IndexViewTest, TheFilterShowsASubsetAndRemovalsReachAllItems)
{
    Fill(10);
    CIndexItem* third = nullptr;
    view->GetItemAt(3, third);
    CIndexItem* fifth = nullptr;
    view->GetItemAt(5, fifth);
    view->GetModel().AddFoundItem(third);
    view->GetModel().AddFoundItem(fifth);
    view->ShowFilter(nullptr, false, false);
    EXPECT_TRUE(view->IsFiltered());
    EXPECT_EQ(view->CountItems(), 2);
    EXPECT_EQ(ear.heard[msg_FilterShown], 1);

    view->RemoveItem(1, false, false, false);
    std::unique_ptr<CIndexItem> removed(third);
    EXPECT_EQ(view->CountItems(), 1);
    EXPECT_EQ(view->CountAllItems(), 9) << "the removed item left all items too";

    // An item added while filtered still belongs to the index.
    view->InsertItem(RemoteItem("new.jpg"), kInsertAtEnd, false, false);
    EXPECT_EQ(view->CountAllItems(), 10);

    view->ShowAllItems(false);
    EXPECT_FALSE(view->IsFiltered());
    EXPECT_EQ(view->CountItems(), 10);
    EXPECT_EQ(ear.heard[msg_FilterEnded], 1);
    EXPECT_EQ(view->GetModel().GetIndexOfItem(third), 0);
    EXPECT_NE(view->GetModel().GetIndexOfItem(fifth), 0);
}

TEST_F(IndexViewTest, RemoveAllItemsEmptiesTheIndexEvenWhenFiltered)
{
    Fill(6);
    CIndexItem* one = nullptr;
    view->GetItemAt(2, one);
    view->GetModel().AddFoundItem(one);
    view->ShowFilter(nullptr, false, false);
    view->LockItemList();
    view->RemoveAllItems();
    EXPECT_EQ(view->CountAllItems(), 0);
    EXPECT_EQ(view->CountItems(), 0);
    EXPECT_FALSE(view->IsItemListLocked());
    EXPECT_EQ(view->GetTotalFileSize(), 0u);
}

TEST_F(IndexViewTest, SelectionRemovalTakesTheHighlightedItems)
{
    SetPrefBoolean(QStringLiteral("kPRShowPoofEffect"), false);
    Fill(5);
    for (SInt32 index : {2, 4}) {
        CIndexItem* item = nullptr;
        view->GetItemAt(index, item);
        view->GetModel().SelectItem(item);
    }
    CIndexItem* fifth = nullptr;
    view->GetItemAt(5, fifth);
    view->RemoveSelection(false, false, false);
    EXPECT_EQ(view->CountItems(), 3);
    EXPECT_EQ(view->CountSelectedItems(), 1) << "the item now at the first removed place is selected";
    CIndexItem* second = nullptr;
    view->GetItemAt(2, second);
    EXPECT_EQ(view->GetModel().SelectedItems(), std::vector<CIndexItem*> { second });
    view->SetViewState(kViewStateWriting);
    EXPECT_EQ(Code([&] { view->RemoveSelection(false, false, false); }), kMsgImportFiles);
    view->SetViewState(kViewStateIdle);
    (void)fifth;
}

TEST_F(IndexViewTest, PendingFilesAreDeletedOnlyWhenAsked)
{
    const QString dir = TestTempDir() + QStringLiteral("/pending");
    QDir().mkpath(dir);
    const QString path = dir + QStringLiteral("/thumb-1");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("x");
    file.close();
    EXPECT_TRUE(view->AddFileToDelete(QUrl::fromLocalFile(path)));
    EXPECT_FALSE(view->AddFileToDelete(QUrl()));
    EXPECT_TRUE(QFile::exists(path));
    view->DeletePendingFiles();
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(view->GetPendingDeletions().empty());
}

TEST_F(IndexViewTest, SortingByNameKeepsTheListInOrder)
{
    for (const char* name : {"img10.jpg", "beach.jpg", "Alps.jpg", "img2.jpg"})
        view->InsertItem(RemoteItem(QString::fromLatin1(name)), kInsertAtEnd, false, false);
    EXPECT_EQ(view->GetSortOrder(), 2);
    view->SetSortKey(4001, false);
    EXPECT_EQ(view->GetSortOrder(), 0);
    // The items' own order of names: numbers as numbers.
    QStringList names;
    for (CIndexItem* item : view->GetItemList())
        names << item->GetName();
    EXPECT_EQ(names, (QStringList {"Alps.jpg", "beach.jpg", "img2.jpg", "img10.jpg"}));
    view->InsertItem(RemoteItem("0first.jpg"), kInsertAtEnd, false, false);
    CIndexItem* first = nullptr;
    view->GetItemAt(1, first);
    EXPECT_EQ(first->GetName(), QStringLiteral("0first.jpg")) << "a sorted list puts a new item in its place";
    view->SetSortKey(4001, true);
    EXPECT_EQ(view->GetSortOrder(), 1);
}

TEST_F(IndexViewTest, ImportURLSkipsPackagesAndDuplicates)
{
    const QString dir = TestTempDir() + QStringLiteral("/import");
    QDir().mkpath(dir + QStringLiteral("/Old.idxp"));
    const QString photo = WritePhoto(dir, 1, 64, 48);
    ear.heard.clear();
    EXPECT_EQ(view->ImportURL(QUrl::fromLocalFile(dir + QStringLiteral("/Old.idxp")), kInsertAtEnd, false), 0);
    EXPECT_EQ(ear.heard[msg_ViewStateChanged], 1);
    EXPECT_EQ(view->ImportURL(QUrl::fromLocalFile(photo), kInsertAtEnd, false), 1);
    SetPrefBoolean(QStringLiteral("ImportSkipDuplicates"), true);
    EXPECT_EQ(view->ImportURL(QUrl::fromLocalFile(photo), kInsertAtEnd, false), 0);
    SetPrefBoolean(QStringLiteral("ImportSkipDuplicates"), false);
    EXPECT_EQ(view->ImportURL(QUrl::fromLocalFile(photo), kInsertAtEnd, false), 2);
    EXPECT_TRUE(view->ContainsURL(QUrl::fromLocalFile(photo)));
}

// --- The cache task ------------------------------------------------------------------------------------------

TEST_F(IndexViewTest, TheCacheTaskEntersQueuedItemsIntoTheValueIndex)
{
    view->RebuildValueIndex();
    const auto* ratings = view->GetValueSets(6020);
    ASSERT_NE(ratings, nullptr);
    EXPECT_EQ(ratings->size(), 6) << "every rating is present with no item";

    auto makeCaptioned = [](const char* name, const char* keyword, SInt32 urgency) {
        CIndexItem* item = RemoteItem(QString::fromLatin1(name));
        auto caption = std::make_unique<CANPAInfo>();
        caption->AddKeywordCF(QString::fromLatin1(keyword));
        caption->SetUrgency(urgency);
        item->SetCaptionInfo(std::move(caption));
        return item;
    };
    CIndexItem* a = makeCaptioned("Beach 01.jpg", "sea", 3);
    CIndexItem* b = makeCaptioned("Beach 02.jpg", "sea", 7);
    view->InsertItem(a, kInsertAtEnd, false, false);
    view->InsertItem(b, kInsertAtEnd, false, false);
    ASSERT_TRUE(RunUntil([&] { return !view->GetCacheTask(); }));
    RunUntil([] { return false; }, 20);

    const auto* keywords = view->GetValueSets(6016);
    ASSERT_NE(keywords, nullptr);
    EXPECT_EQ(keywords->value(QStringLiteral("sea")), (QSet<CIndexItem*> {a, b}));
    EXPECT_EQ(view->GetValueSets(6020)->value(QStringLiteral("2")), QSet<CIndexItem*> {a}) << "3 counts as 2";
    EXPECT_EQ(view->GetValueSets(6020)->value(QStringLiteral("7")), QSet<CIndexItem*> {b});
    EXPECT_EQ(view->GetValueSets(4001)->value(QStringLiteral("Beach.jpg")), (QSet<CIndexItem*> {a, b}))
        << "names that differ only by their numbers share a value";

    // A keyword with letters Mac Roman lacks is indexed as the word it is.
    CIndexItem* c = RemoteItem(QStringLiteral("Old town.jpg"));
    auto polish = std::make_unique<CANPAInfo>();
    Str255 word;
    word.AssignBytes(IIMText::CaptionBytesFromText(QString::fromUtf8("Łódź")));
    polish->AddKeyword(word);
    c->SetCaptionInfo(std::move(polish));
    view->InsertItem(c, kInsertAtEnd, false, false);
    ASSERT_TRUE(RunUntil([&] { return !view->GetCacheTask(); }));
    RunUntil([] { return false; }, 20);
    EXPECT_EQ(view->GetValueSets(6016)->value(QString::fromUtf8("Łódź")), QSet<CIndexItem*> {c});

    view->RemoveItem(1, false, true, false);
    EXPECT_EQ(view->GetValueSets(6016)->value(QStringLiteral("sea")), QSet<CIndexItem*> {b});
}

TEST_F(IndexViewTest, TheCacheTaskCountsItsBacklogEndsWithItsQueueAndStops)
{
    view->RebuildValueIndex();
    ear.heard.clear();
    view->InsertItem(RemoteItem("one.jpg"), kInsertAtEnd, false, false);
    TLivePtr<CCacheTask> first(view->GetCacheTask());
    ASSERT_TRUE(first);
    ASSERT_TRUE(RunUntil([&] { return !first; })) << "the task ends with its queue";
    EXPECT_EQ(view->GetCacheTask(), nullptr);
    EXPECT_EQ(ear.heard[msg_TaskShown], 0) << "one item is cached without a pane";

    view->SetBusy(true); // holds the cache task back
    Fill(50);
    CCacheTask* cache = view->GetCacheTask();
    ASSERT_NE(cache, nullptr);
    RunUntil([] { return false; }, 50);
    EXPECT_EQ(cache->CountItems(), 50);
    EXPECT_FALSE(cache->IsProgressShown());
    cache->Pause(); // after its first item, to be looked at
    view->SetBusy(false);
    ASSERT_TRUE(RunUntil([&] { return cache->IsProgressShown(); })) << "the backlog shows the pane";
    EXPECT_TRUE(cache->IsStopShown());
    EXPECT_EQ(cache->GetProgressMax(), 50);
    EXPECT_EQ(cache->GetCaptionText(kPaneCountCaption), QStringLiteral("0 of 50"));

    TLivePtr<CCacheTask> stopped(cache);
    cache->Stop();
    EXPECT_FALSE(stopped) << "Stop ends it";
    EXPECT_EQ(view->GetCacheTask(), nullptr);
    view->InsertItem(RemoteItem("after.jpg"), kInsertAtEnd, false, false);
    ASSERT_NE(view->GetCacheTask(), nullptr) << "a new item starts a new task";
    ASSERT_TRUE(RunUntil([&] { return !view->GetCacheTask(); }));
    EXPECT_FALSE(IsTaskWindowVisible());
}

// A cache task waiting for a slot to show its count in, and then for thumbnails
// being made, ends when its items are removed meanwhile, rather than waiting for good.
TEST_F(IndexViewTest, ACacheTaskWhoseItemsAreRemovedWhileItWaitsEnds)
{
    SetPrefBoolean(QStringLiteral("kPRShowPoofEffect"), false);
    view->RebuildValueIndex();
    for (const bool thumbnailsMeanwhile : { false, true }) {
        SCOPED_TRACE(thumbnailsMeanwhile ? "thumbnails are made once the slot is free" : "waiting for a slot");
        // Other tasks (transfers, say) hold every slot, so the cache task waits to show its count.
        int taken = 0;
        while (GetParallelSlots().TryWait())
            ++taken;
        Fill(50);
        TLivePtr<CCacheTask> cache(view->GetCacheTask());
        ASSERT_TRUE(cache);
        RunUntil([] { return false; }, 50);
        if (thumbnailsMeanwhile) {
            view->GetModel().SetUpdating(true);
            for (; taken > 0; --taken)
                GetParallelSlots().Signal();
            RunUntil([] { return false; }, 50);
        }
        view->SelectAll();
        view->RemoveSelection(false, false, false);
        for (; taken > 0; --taken)
            GetParallelSlots().Signal();
        view->GetModel().SetUpdating(false);
        EXPECT_TRUE(RunUntil([&] { return !cache; })) << "the task ends with nothing left to cache";
        EXPECT_FALSE(IsTaskWindowVisible());
    }
}

TEST_F(IndexViewTest, TheTaskWindowOpensClearOfTheMenuAndToolbarOfTheIndexWindow)
{
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const int roomBeside = screen.width() - 460; // the task window is 440 wide
    for (const int width : { roomBeside, screen.width() }) {
        SCOPED_TRACE(width);
        QWidget window;
        window.setGeometry(screen.left(), screen.top(), width, screen.height() - 40);
        view->setParent(&window);
        view->setGeometry(0, 90, width, window.height() - 90); // a menu bar and toolbar above
        window.show();
        GetTaskWindow()->GetShell()->move(screen.topLeft() + QPoint(40, 20)); // where the layout puts it

        view->SetBusy(true);
        Fill(50);
        CCacheTask* cache = view->GetCacheTask();
        ASSERT_NE(cache, nullptr);
        cache->Pause();
        view->SetBusy(false);
        ASSERT_TRUE(RunUntil([&] { return IsTaskWindowVisible(); }));
        const QRect tasks = GetTaskWindow()->GetShell()->frameGeometry();
        EXPECT_FALSE(tasks.intersects(QRect(window.frameGeometry().topLeft(), QSize(width, 90))));
        EXPECT_TRUE(screen.contains(tasks));
        if (width == roomBeside)
            EXPECT_GE(tasks.left(), window.frameGeometry().right()) << "beside, where there is room";
        cache->Stop();
        view->RemoveAllItems();
        view->setParent(nullptr);
    }
}

// --- The update task ---------------------------------------------------------------------------------------------

TEST_F(IndexViewTest, TheUpdateTaskQueueDrawsTwiceAndDropsOnlyWhatIsQueued)
{
    CUpdateTask* update = view->GetUpdateTask();
    update->Suspend();
    update->QueueIndex(3);
    update->QueueIndex(3);
    update->QueueIndex(4);
    update->DropIndex(9);
    EXPECT_EQ(update->CountQueued(), 3);
    update->DropIndex(3);
    EXPECT_EQ(update->CountQueued(), 2);
    update->ClearItems();
    EXPECT_EQ(update->CountQueued(), 0);
    EXPECT_FALSE(view->IsUpdating());
    update->Resume();
}

TEST_F(IndexViewTest, TheUpdateTaskMakesThumbnailsForTwoHundredPhotographs)
{
    ShowPhotosToThumbnail(QStringLiteral("update200"), 200, 640, 480);

    CUpdateTask* update = view->GetUpdateTask();
    bool sawUpdating = false;
    ASSERT_TRUE(RunUntil(
        [&] {
            sawUpdating = sawUpdating || view->IsUpdating();
            return sawUpdating && update->CountQueued() == 0 && !update->IsWorking() && !view->IsUpdating();
        },
        120000));
    for (CIndexItem* item : view->GetItemList()) {
        ASSERT_NE(item->GetThumbnail(), nullptr) << item->GetName().toStdString();
        EXPECT_EQ(item->GetError(), nullptr);
    }
}

// A search started while the shown cells' thumbnails are made waits for them,
// and goes on in the very rounds after, not a sleep later.
TEST_F(IndexViewTest, AQuickSearchGoesOnAsSoonAsTheThumbnailsAreMade)
{
    ShowPhotosToThumbnail(QStringLiteral("searchwaits"), 24, 640, 480);
    ASSERT_TRUE(RunUntil([&] { return view->IsUpdating(); }));

    view->StartQuickSearch(kFieldName, QStringLiteral("photo01"));
    bool heldBack = false; // its filter shown, empty, while the thumbnails were made
    ASSERT_TRUE(RunUntil(
        [&] {
            heldBack = heldBack || (view->IsUpdating() && view->IsFiltered() && view->CountItems() == 0);
            return !view->IsUpdating();
        },
        120000));
    EXPECT_TRUE(heldBack);
    for (int round = 0; round < 3 && view->CountRunningSearches() > 0; ++round)
        LThread::RunRound();
    EXPECT_EQ(view->CountRunningSearches(), 0);
    EXPECT_TRUE(view->IsFiltered());
    EXPECT_EQ(view->CountItems(), 10); // photo010 .. photo019
}

// What the user sees: the photograph itself in its cell, not the file's icon.
TEST_F(IndexViewTest, ImportedPhotographsShowTheirPicturesInTheGrid)
{
    CItemThumbnails::Install();
    StTempPrefBoolean keepInItems(QStringLiteral("ApplyChangesToMediaFile"), false);
    StTempPrefBoolean drawLater(QStringLiteral("ImmediateDraw"), false);
    const QString dir = TestTempDir() + QStringLiteral("/grid-pictures");
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    // Two larger than their cells and one smaller, whose picture stays narrower
    // than its place however it is drawn.
    const QSize sizes[] = { { 400, 300 }, { 100, 75 }, { 300, 400 } };
    for (int i = 0; i < 3; ++i)
        view->InsertItem(
            new CIndexItem(QUrl::fromLocalFile(WritePhoto(dir, i, sizes[i].width(), sizes[i].height()))),
            kInsertAtEnd, true, false);
    view->show();
    // Painting queues the cells without pictures; the update task makes them.
    // Each photograph's dark middle square must come to be drawn where its
    // picture goes, inside its own coloured frame.
    std::vector<std::string> missing;
    auto picturesShown = [&] {
        const QImage shown = view->grab().toImage();
        missing.clear();
        SInt32 index = 0;
        for (CIndexItem* item : view->GetItemList()) {
            QRect cell;
            if (!view->GetCellRect(++index, cell))
                return false;
            const QRect picture = item->GetPartRect(kItemPartPicture, cell, *view);
            const QColor middle = shown.pixelColor(picture.center());
            const QColor edge = shown.pixelColor(picture.left() + picture.width() / 8, picture.center().y());
            if (middle.value() >= 60 || edge.saturation() <= 100)
                missing.push_back(item->GetName().toStdString());
        }
        return missing.empty();
    };
    EXPECT_TRUE(RunUntil(picturesShown, 60000)) << "no picture drawn for " << (missing.empty() ? "" : missing.front());

    // Once every picture is drawn, painting again queues nothing more: the
    // small photograph must not keep the update task busy for ever.
    CUpdateTask* update = view->GetUpdateTask();
    ASSERT_TRUE(RunUntil([&] { return update->CountQueued() == 0 && !view->IsUpdating(); }, 20000));
    view->grab();
    EXPECT_EQ(update->CountQueued(), 0);
    EXPECT_FALSE(RunUntil([&] { return view->IsUpdating() || update->CountQueued() > 0; }, 300));
}

// A file that cannot be decoded is tried once, not again at every paint of its cell:
// the decoder's own complaints count the attempts.
TEST_F(IndexViewTest, ADamagedFileIsDecodedOnceHoweverOftenItsCellIsPainted)
{
    static std::atomic<int> decodes {0};
    struct StCountDecodes {
        QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext& context, const QString&) {
            if (context.category && qstrcmp(context.category, "qt.gui.imageio.jpeg") == 0)
                ++decodes;
        });
        ~StCountDecodes() { qInstallMessageHandler(previous); }
    } counting;
    CItemThumbnails::Install();
    StTempPrefBoolean keepInItems(QStringLiteral("ApplyChangesToMediaFile"), false);
    StTempPrefBoolean drawLater(QStringLiteral("ImmediateDraw"), false);
    StTempPrefBoolean makeThumbnails(QStringLiteral("AutoCreateThumbnail"), true);
    const QString path = TestTempDir() + QStringLiteral("/damaged.jpg");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("\xFF\xD8\xFF\xE0 cut", 10));
    file.close();
    auto* item = new CIndexItem(QUrl::fromLocalFile(path));
    view->InsertItem(item, kInsertAtEnd, true, false);
    view->show();
    ASSERT_TRUE(RunUntil([&] { return item->HasThumbnailFailed(); }, 20000));
    CUpdateTask* update = view->GetUpdateTask();
    ASSERT_TRUE(RunUntil([&] { return update->CountQueued() == 0 && !view->IsUpdating(); }, 20000));
    auto paint = [&] {
        view->grab();
        RunUntil([] { return false; }, 20);
    };
    paint(); // the parts the cell's texts ask for are read once, after it draws
    const int tried = decodes;
    EXPECT_GT(tried, 0);
    for (int again = 0; again < 10; ++again)
        paint();
    EXPECT_EQ(decodes, tried);
}

// A click waits for the release to learn whether it starts a drag. Input that
// comes in meanwhile (here an arrow key) is handled after the click, not
// inside it, and the release ends the wait at once.
TEST_F(IndexViewTest, InputDuringAClickIsHandledAfterTheClick)
{
    Fill(6);
    view->show();
    QWindow* window = view->windowHandle();
    ASSERT_NE(window, nullptr);
    QRect cell;
    ASSERT_TRUE(view->GetCellRect(1, cell));
    CIndexItem* first = nullptr;
    view->GetItemAt(1, first);
    const QPoint onPicture = first->GetPartRect(kItemPartPicture, cell, *view).center();

    bool keySent = false;
    bool released = false;
    QTimer::singleShot(20, [&] {
        QTest::keyClick(window, Qt::Key_Right);
        keySent = true;
    });
    QTimer::singleShot(60, [&] {
        QTest::mouseRelease(window, Qt::LeftButton, {}, onPicture);
        released = true;
    });
    QCursor::setPos(window->mapToGlobal(onPicture)); // the mouse stays where it was pressed
    QElapsedTimer clock;
    clock.start();
    QTest::mousePress(window, Qt::LeftButton, {}, onPicture);
    EXPECT_TRUE(keySent && released);
    EXPECT_LT(clock.elapsed(), 5000) << "the click waited out its time limit";
    // The click selects the first item, then the arrow moves on to the second;
    // handled inside the click, the arrow's move would be undone by it.
    QTest::qWait(50);
    EXPECT_EQ(view->GetFirstSelectedIndex(), 2) << "the key was lost or handled inside the click";
    EXPECT_EQ(view->CountSelectedItems(), 1);
}

TEST_F(IndexViewTest, AnItemRemovedWhileItsThumbnailIsMadeIsDeletedAfterTheBatch)
{
    ShowPhotosToThumbnail(QStringLiteral("update-remove"), 8, 2000, 1500);
    CUpdateTask* update = view->GetUpdateTask();
    ASSERT_TRUE(RunUntil([&] { return update->IsWorking(); }, 20000));
    CIndexItem* doomed = nullptr;
    view->GetItemAt(1, doomed);
    ASSERT_TRUE(update->IsWorkingOn(doomed));
    EXPECT_TRUE(view->RemoveItem(1, false, true, true));
    EXPECT_EQ(view->CountItems(), 7);
    view->RemoveAllItems(); // the rest as well, while the batch still runs
    ASSERT_TRUE(RunUntil([&] { return !update->IsWorking(); }, 60000));
    EXPECT_EQ(view->CountAllItems(), 0);
}

TEST_F(IndexViewTest, AFolderImportedIntoTheViewComesInThroughAFolderTask)
{
    InstallIndexTaskServices();
    const QString dir = TestTempDir() + QStringLiteral("/view-import");
    QDir(dir).removeRecursively();
    QDir().mkpath(dir + QStringLiteral("/inner"));
    WritePhoto(dir, 1, 32, 24);
    WritePhoto(dir + QStringLiteral("/inner"), 2, 32, 24);
    EXPECT_EQ(view->ImportURL(QUrl::fromLocalFile(dir), kInsertAtEnd, true), 0) << "the folder is no item itself";
    EXPECT_EQ(view->CountRunningTasks(), 1);
    ASSERT_TRUE(RunUntil([&] { return view->CountRunningTasks() == 0; }));
    EXPECT_EQ(view->CountItems(), 2);
    EXPECT_FALSE(view->IsBusy());
    SetTaskServices(nullptr);
}

TEST_F(IndexViewTest, StoredRecordsAreFoundByItemAndForgottenWithIt)
{
    Fill(50);
    std::vector<CIndexItem*> items(view->GetItemList().begin(), view->GetItemList().end());
    std::reverse(items.begin(), items.end()); // out of address order
    for (size_t i = 0; i < items.size(); ++i)
        view->SetStoredRecord(items[i], {qsizetype(i * 100), 100});
    view->SetStoredRecord(items[3], {9999, 7}); // a later record wins
    IndexStoredRecord found;
    ASSERT_TRUE(view->GetStoredRecord(items[10], found));
    EXPECT_EQ(found.offset, 1000);
    ASSERT_TRUE(view->GetStoredRecord(items[3], found));
    EXPECT_EQ(found.offset, 9999);
    EXPECT_EQ(found.length, 7);

    const SInt32 index = view->GetModel().GetIndexOfItem(items[10]);
    CIndexItem* removed = items[10];
    view->RemoveItem(index, false, false, false);
    EXPECT_FALSE(view->GetStoredRecord(removed, found)) << "a removed item's record is forgotten";
    delete removed;
    CIndexItem fresh(QUrl("http://example.org/fresh.jpg"));
    EXPECT_FALSE(view->GetStoredRecord(&fresh, found));
    view->ForgetStoredRecords();
    EXPECT_FALSE(view->GetStoredRecord(items[3], found));
}

TEST_F(IndexViewTest, TheGridAndTheDataBrowserShowOneModelAndOneSelection)
{
    Fill(6);
    SPaneInfo info;
    info.width = 300;
    info.height = 200;
    LDataBrowser browser(info, LDataBrowserImp::Settings {});
    CIndexModel& model = view->GetModel();
    browser.ShowModel(&model.ItemTable(), &model.SelectionModel());
    QTreeView* tree = browser.GetControlRef();
    ASSERT_EQ(tree->model()->rowCount(), 6);
    EXPECT_EQ(tree->model()->index(2, 0).data().toString(), view->GetModel().ItemAt(3)->GetName().section('.', 0, 0));

    // A selection made in either is the other's.
    view->SelectIndex(2);
    EXPECT_TRUE(tree->selectionModel()->isRowSelected(1, {}));
    tree->selectionModel()->select(tree->model()->index(4, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_EQ(view->CountSelectedItems(), 2);
    EXPECT_EQ(view->GetLastSelectedIndex(), 5);
    browser.SelectAll();
    EXPECT_EQ(view->CountSelectedItems(), 6);
    EXPECT_EQ(browser.CountItems(kDataBrowserItemIsSelected), 6);
    view->DeselectAll();
    EXPECT_FALSE(tree->selectionModel()->hasSelection());

    // A sort from the browser's header orders the grid; a removal in the grid
    // leaves the browser's rows.
    view->SelectIndex(1);
    CIndexItem* first = view->GetModel().ItemAt(1);
    tree->model()->sort(0, Qt::DescendingOrder);
    EXPECT_EQ(view->GetModel().GetIndexOfItem(first), 6);
    EXPECT_TRUE(tree->selectionModel()->isRowSelected(5, {}));
    view->RemoveItem(6, false, true, false);
    EXPECT_EQ(tree->model()->rowCount(), 5);
    EXPECT_FALSE(tree->selectionModel()->hasSelection());

    browser.ShowModel(nullptr, nullptr);
    EXPECT_EQ(tree->model()->rowCount(), 0) << "the browser's own rows again";
    view->SelectIndex(1);
    EXPECT_FALSE(tree->selectionModel()->hasSelection());
}
