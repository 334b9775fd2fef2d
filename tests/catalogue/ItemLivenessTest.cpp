// Items deleted by another task while an operation on them waits. Built with
// AddressSanitizer, so that any touch of a deleted item stops the run.
#include "CIndexItem.h"
#include "ExceptionCode.h"
#include "ItemThumbnails.h"
#include "CIndexPackage.h"
#include "IndexDbRecord.h"
#include "ItemWindowServices.h"
#include "LThread.h"
#include "Liveness.h"
#include "Picture.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QPainter>

#include <functional>

namespace {

QString WriteJpeg(const QString& dir, const QString& name, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(40, 120, 200));
    QPainter(&image).fillRect(0, 0, width / 2, height, QColor(220, 60, 40));
    const QString path = dir + "/" + name;
    EXPECT_TRUE(image.save(path, "JPEG"));
    return path;
}

QString Folder(const QString& name)
{
    const QString dir = TestTempDir() + "/liveness-" + name;
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    return dir;
}

class AskingWindows : public ItemWindowServices {
public:
    AskingWindows() { SetItemWindowServices(this); }
    ~AskingWindows() override { SetItemWindowServices(nullptr); }
    std::unique_ptr<ItemInfoWindow> MakeItemInfoWindow(LCommander*) override { return nullptr; }
    QUrl AskForMissingFile(const QString&, const QUrl&) override
    {
        whileAsking();
        return answer;
    }
    std::function<void()> whileAsking;
    QUrl answer;
};

struct Watched {
    const LivenessToken& GetLivenessToken() const { return token; }
    LivenessToken token;
};

} // namespace

TEST(Liveness, APointerKnowsWhenItsObjectIsGone)
{
    auto* object = new Watched;
    const TLivePtr<Watched> first(object);
    const TLivePtr<Watched> second(object);
    EXPECT_EQ(first.Get(), object);
    Watched copy(*object); // a copy lives on its own
    const TLivePtr<Watched> ofCopy(&copy);
    delete object;
    EXPECT_EQ(first.Get(), nullptr);
    EXPECT_FALSE(second);
    EXPECT_EQ(ofCopy.Get(), &copy);
    EXPECT_EQ(CatchCode([&] { first.Checked("gone"); }), err_NilPointer);
    EXPECT_FALSE(TLivePtr<Watched>(nullptr));
}

TEST(Liveness, ItemDeletedByAnotherTaskWhileItsThumbnailJobRuns)
{
    CItemThumbnails::Install();
    const QString dir = Folder("thumbnails");
    auto* first = new CIndexItem(QUrl::fromLocalFile(WriteJpeg(dir, "first.jpg", 2400, 1600)));
    auto* doomed = new CIndexItem(QUrl::fromLocalFile(WriteJpeg(dir, "doomed.jpg", 2400, 1600)));
    auto* last = new CIndexItem(QUrl::fromLocalFile(WriteJpeg(dir, "last.jpg", 1600, 2400)));

    std::vector<ExceptionCode> errors;
    auto* maker = new LFunctionThread(
        [&] { errors = CreateThumbnailsWithReasons({ first, doomed, last }, false); });
    const ThreadID makerID = maker->GetID();
    bool deletedWhileWaiting = false;
    auto* deleter = new LFunctionThread([&] {
        // Waits for the maker to wait on the pool, then takes an item away.
        for (LThread* t = LThread::FromID(makerID); t && t->GetState() != threadState_Blocked;
             t = LThread::FromID(makerID))
            LThread::Yield();
        deletedWhileWaiting = LThread::FromID(makerID) != nullptr;
        delete doomed;
    });
    maker->Resume();
    deleter->Resume();
    ASSERT_TRUE(LThread::RunUntil([] { return LThread::CountThreads() == 0; }, 30000));
    SetThumbnailServices(nullptr);

    EXPECT_TRUE(deletedWhileWaiting);
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(errors[0].Code(), noErr);
    EXPECT_EQ(errors[1].Code(), err_NilPointer);
    EXPECT_NE(errors[1].Context().find("deleted"), std::string::npos);
    EXPECT_EQ(errors[2].Code(), noErr);
    ASSERT_NE(first->GetThumbnail(), nullptr);
    EXPECT_EQ(first->GetThumbnail()->Frame(), MakeRect(0, 0, 106, 160));
    ASSERT_NE(last->GetThumbnail(), nullptr);
    EXPECT_EQ(last->GetThumbnail()->Frame(), MakeRect(0, 0, 160, 106));
    delete first;
    delete last;
}

TEST(Liveness, ItemDeletedWhileTheUserLocatesItsFileIsLeftAlone)
{
    const QString dir = Folder("locate");
    const QString path = WriteJpeg(dir, "gone.jpg", 64, 48);
    CIndexItem::ForgetLocateFolder();
    auto* item = new CIndexItem(QUrl::fromLocalFile(path));
    QFile::remove(path);
    AskingWindows windows;
    windows.answer = QUrl::fromLocalFile(dir);
    windows.whileAsking = [&] { delete item; };
    // Every lazy getter that may ask for the file gives up without touching the item.
    const ExceptionCode error = CatchException([&] { item->GetImageInfo(); });
    EXPECT_EQ(error.Code(), err_NilPointer);
    EXPECT_NE(error.Context().find("deleted"), std::string::npos);

    const QString again = WriteJpeg(dir, "again.jpg", 64, 48);
    item = new CIndexItem(QUrl::fromLocalFile(again));
    QFile::remove(again);
    EXPECT_EQ(CatchCode([&] { item->GetUserData(); }), err_NilPointer);

    // The picture drawn for a cell never asks: the item is drawn as missing.
    const QString third = WriteJpeg(dir, "third.jpg", 64, 48);
    item = new CIndexItem(QUrl::fromLocalFile(third));
    QFile::remove(third);
    bool asked = false;
    windows.whileAsking = [&] { asked = true; };
    CatchCode([&] { item->GetDisplayPicture(); });
    EXPECT_FALSE(asked);
    delete item;
    CIndexItem::ForgetLocateFolder();
}

TEST(Liveness, ItemDeletedWhileItsStoredThumbnailIsRead)
{
    CItemThumbnails::Install();
    const QString dir = Folder("stored");
    CIndexPackage package(QUrl::fromLocalFile(dir + "/Stored.idxp"), nullptr);
    for (int i = 0; i < 2; ++i) {
        CIndexItem made(QUrl::fromLocalFile(WriteJpeg(dir, QStringLiteral("%1.jpg").arg(i), 1200, 800)));
        made.CreateThumbnail(false);
        made.WriteThumbnailFile(package);
    }
    SetThumbnailServices(nullptr);
    std::vector<CIndexItem*> items;
    for (int i = 0; i < 2; ++i) {
        IndexDbRecord record;
        record.name = QStringLiteral("%1.jpg").arg(i).toUtf8();
        record.fields = CatalogueFields { 'JPEG', 1, 2, 3, 4, i + 1, 0 };
        items.push_back(new CIndexItem(record, &package));
    }
    CIndexItem* doomed = items[0];
    auto* reader = new LFunctionThread([&] { ReadThumbnailFiles(items); });
    const ThreadID readerID = reader->GetID();
    auto* deleter = new LFunctionThread([&] {
        for (LThread* t = LThread::FromID(readerID); t && t->GetState() != threadState_Blocked;
             t = LThread::FromID(readerID))
            LThread::Yield();
        delete doomed;
    });
    reader->Resume();
    deleter->Resume();
    ASSERT_TRUE(LThread::RunUntil([] { return LThread::CountThreads() == 0; }, 30000));
    EXPECT_FALSE(items[1]->IsThumbnailOnlyOnDisk());
    delete items[1];
}
