// An index document with the real index view and the real package tasks:
// opened, saved, saved as, closed and opened again.

#include "CIndexDoc.h"
#include "CIndexPackage.h"
#include "CIndexView.h"
#include "CIndexViewDocument.h"
#include "CUpdateTask.h"
#include "CVisualTask.h"
#include "IndexTaskServices.h"
#include "IndexWindowTest.h"
#include "ItemThumbnails.h"
#include "InterfaceClasses.h"
#include "LThread.h"
#include "LWindow.h"
#include "Preferences.h"
#include "PropertyList.h"
#include "TaskOwnerView.h"
#include "RecordBytes.h"
#include "URegistrar.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMessageBox>

namespace {

class IndexDocumentTasks : public IndexWindowTest {
protected:
    void SetUp() override
    {
        IndexWindowTest::SetUp();
        InstallIndexTaskServices();
        SetPrefBoolean("SaveViewSettingsCloseWindow", true);
        SetPrefBoolean("IndexAutoSave", false);
    }

    // A package on disk holding the two records and a settings.xml with a key of
    // another program's.
    QString MakePackage(const QString& name)
    {
        const QString package = mDir + "/" + name + ".idxp";
        CIndexPackage make(QUrl::fromLocalFile(package + "/"), nullptr);
        Write(package + "/index.db", mRecords);
        Write(package + "/settings.xml",
            PropertyList::ToXML(QVariantMap { { "ForeignKey", "kept" }, { "IndexItemCount", qint32(2) } }));
        return package;
    }

    static bool Idle(CIndexDoc* doc)
    {
        return LThread::RunUntil([doc] { return doc->GetModel().CountRunningTasks() == 0; }, 20000);
    }

    CIndexDoc* Open(const QString& package)
    {
        auto* doc = new CIndexDoc(nullptr, QUrl::fromLocalFile(package), true, false);
        EXPECT_TRUE(Idle(doc));
        return doc;
    }

    const QByteArray mRecords = RemoteRecord("Beach.jpg", 1000) + RemoteRecord("Harbour.jpg", 3000);
};

} // namespace

TEST_F(IndexDocumentTasks, OpenSaveCloseAndReopenKeepTheRecordsAndTheSettings)
{
    const QString package = MakePackage("Trip");
    CIndexDoc* doc = Open(package);
    ASSERT_EQ(doc->CountAllItems(), 2);
    EXPECT_TRUE(doc->GetWindow()->IsVisible());
    auto* view = dynamic_cast<CIndexView*>(doc->GetIndexViewPane());
    ASSERT_TRUE(view);
    view->SetComment("Two pictures");
    doc->SetModified(true);

    doc->ObeyCommand(cmd_Save, nullptr);
    ASSERT_TRUE(Idle(doc));
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(ReadWholeFile(package + "/index.db"), mRecords);
    EXPECT_TRUE(QFileInfo(package + "/index.db alias").isSymLink());
    QVariant settings;
    ASSERT_EQ(PropertyList::ReadFile(package + "/settings.xml", settings), noErr);
    EXPECT_EQ(settings.toMap().value("ForeignKey").toString(), "kept");
    EXPECT_EQ(settings.toMap().value("Comment").toString(), "Two pictures");
    EXPECT_EQ(settings.toMap().value("IndexItemCount").toLongLong(), 2);

    EXPECT_TRUE(doc->AttemptClose(true));
    CIndexDoc* again = Open(package);
    ASSERT_EQ(again->CountAllItems(), 2);
    auto* reopened = dynamic_cast<CIndexView*>(again->GetIndexViewPane());
    EXPECT_EQ(reopened->GetComment(), "Two pictures");
}

TEST_F(IndexDocumentTasks, SaveAsWritesTheNewPackageAndLeavesTheOldOneAsItWas)
{
    const QString package = MakePackage("Old");
    const QByteArray oldSettings = ReadWholeFile(package + "/settings.xml");
    CIndexDoc* doc = Open(package);
    ASSERT_EQ(doc->CountAllItems(), 2);
    doc->SetModified(true);
    doc->HandleSheetAnswer(CIndexDoc::sheet_SaveAs, QUrl::fromLocalFile(mDir + "/New.idxp/"));
    ASSERT_TRUE(Idle(doc));
    EXPECT_EQ(doc->GetDescriptor(), "New");
    EXPECT_EQ(ReadWholeFile(mDir + "/New.idxp/index.db"), mRecords);
    EXPECT_EQ(ReadWholeFile(package + "/index.db"), mRecords);
    EXPECT_EQ(ReadWholeFile(package + "/settings.xml"), oldSettings);

    // Working on in the new package: a second save goes there.
    auto* view = dynamic_cast<CIndexView*>(doc->GetIndexViewPane());
    view->SetComment("moved");
    doc->DoSave();
    ASSERT_TRUE(Idle(doc));
    QVariant settings;
    ASSERT_EQ(PropertyList::ReadFile(mDir + "/New.idxp/settings.xml", settings), noErr);
    EXPECT_EQ(settings.toMap().value("Comment").toString(), "moved");
    EXPECT_EQ(ReadWholeFile(package + "/settings.xml"), oldSettings);
}

TEST_F(IndexDocumentTasks, ADocumentClosedWhileItIsReadLeavesItsTaskNothingToTouch)
{
    const QString package = MakePackage("Gone");
    QByteArray many;
    for (int i = 0; i < 3000; ++i)
        many += RemoteRecord(QByteArray("Photo") + QByteArray::number(i) + ".jpg", 1000 + i);
    Write(package + "/index.db", many);
    auto* doc = new CIndexDoc(nullptr, QUrl::fromLocalFile(package), true, false);
    auto* view = dynamic_cast<CIndexView*>(doc->GetIndexViewPane());
    ASSERT_TRUE(view);
    ASSERT_EQ(view->CountRunningTasks(), 1);
    delete doc; // its tasks are stopped and gone before it is
    LThread::RunUntil([] { return false; }, 300);
    EXPECT_TRUE(LDocument::GetDocumentList().empty());
}

TEST_F(IndexDocumentTasks, FilesHandedToASavedIndexAreChangesToSaveAndCloseAsks)
{
    // As `orvex a.jpg b.jpg` hands its files to the index in front.
    const QString package = MakePackage("Handed");
    CIndexDoc* doc = Open(package);
    ASSERT_EQ(doc->CountAllItems(), 2);
    ASSERT_FALSE(doc->IsModified());
    for (const char* name : { "a.jpg", "b.jpg" }) {
        const QString path = mDir + "/" + name;
        Write(path, "not a picture, but a file all the same");
        doc->AddItem(QUrl::fromLocalFile(path));
    }
    EXPECT_EQ(doc->GetModel().CountAllItems(), 4);
    EXPECT_TRUE(doc->IsModified());
    EXPECT_TRUE(doc->GetWindow()->IsModified()) << "the window's mark follows the model";
    Boolean enabled = false, usesMark = false;
    UInt16 mark = 0;
    Str255 name {};
    doc->FindCommandStatus(cmd_Save, enabled, usesMark, mark, name);
    EXPECT_TRUE(enabled);

    EXPECT_FALSE(doc->AttemptClose(true));
    auto* question = qobject_cast<QMessageBox*>(doc->GetSheet());
    ASSERT_TRUE(question) << "closing asks about the added files";
    question->done(QMessageBox::Cancel);
    EXPECT_EQ(ReadWholeFile(package + "/index.db"), mRecords) << "nothing written behind the user's back";
    doc->SetModified(false);
    EXPECT_TRUE(doc->AttemptClose(true));
}

// Photographs without a preview of their own, with "RecreateThumbnailWhenDifferent"
// on: their thumbnails are made once, saved in the package's thumbs/, and drawn
// from there when the index is opened again. Those smaller than the thumbnail size
// would give the same thumbnail again: none is made again. Once the size is raised,
// the larger ones are made again, each after its stored thumbnail was drawn.
TEST_F(IndexDocumentTasks, AReopenedIndexDrawsItsStoredThumbnailsFirstAndMakesThemAgainOnlyWhenAsked)
{
    CItemThumbnails::Install();
    SetPrefBoolean("RecreateThumbnailWhenDifferent", true);
    const QString package = MakePackage("Shots");
    CIndexDoc* doc = Open(package);
    for (int i = 0; i < 12; ++i) {
        const bool large = i % 2 == 1;
        QImage image(large ? 640 : 100, large ? 480 : 75, QImage::Format_RGB32);
        image.fill(QColor::fromHsv(i * 30, 200, 200));
        const QString path = mDir + QStringLiteral("/photo%1.png").arg(i);
        ASSERT_TRUE(image.save(path, "PNG"));
        doc->AddItem(QUrl::fromLocalFile(path));
    }
    auto isLarge = [](CIndexItem* item) { return item->GetName().mid(5).chopped(4).toInt() % 2 == 1; };
    // The photographs whose cells the grid shows.
    auto shownPhotos = [](CIndexView* view) {
        std::vector<CIndexItem*> shown;
        SInt32 index = 0;
        for (CIndexItem* item : view->GetItemList()) {
            QRect cell;
            if (view->GetCellRect(++index, cell) && view->rect().contains(cell) && item->GetName().endsWith(".png"))
                shown.push_back(item);
        }
        return shown;
    };
    auto drawnAndIdle = [&](CIndexView* view) {
        return LThread::RunUntil(
            [&] {
                view->grab();
                for (CIndexItem* item : shownPhotos(view))
                    if (!item->HasThumbnail() || !item->GetDisplayPicture())
                        return false;
                return view->GetUpdateTask()->CountQueued() == 0 && !view->IsUpdating();
            },
            30000);
    };
    ASSERT_TRUE(drawnAndIdle(IndexViewOf(doc)));
    const size_t shown = shownPhotos(IndexViewOf(doc)).size();
    ASSERT_GT(shown, 1u);
    doc->ObeyCommand(cmd_Save, nullptr);
    ASSERT_TRUE(Idle(doc));
    EXPECT_EQ(QDir(package + "/thumbs").entryList(QDir::Files).size(), qsizetype(shown));
    EXPECT_TRUE(doc->AttemptClose(true));

    CIndexDoc* again = Open(package);
    CIndexView* reopened = IndexViewOf(again);
    ASSERT_TRUE(drawnAndIdle(reopened));
    ASSERT_EQ(shownPhotos(reopened).size(), shown);
    for (CIndexItem* item : shownPhotos(reopened))
        EXPECT_GT(item->GetThumbnailNumber(), 0) << item->GetName().toStdString() << ": its thumbnail was made again";
    EXPECT_FALSE(again->IsModified());
    EXPECT_TRUE(again->AttemptClose(true));

    // Counts the cells drawn before any thumbnail was made again.
    struct StoredDrawn : LListener {
        std::function<void()> heard;
        void ListenToMessage(MessageT message, void*) override
        {
            if (message == msg_CellDrawn)
                heard();
        }
    } ear;
    int drawnStored = 0;
    SetPrefNumber("DefaultThumbnailSize", 320);
    CIndexDoc* larger = Open(package);
    CIndexView* raised = IndexViewOf(larger);
    ear.heard = [&] {
        for (CIndexItem* item : shownPhotos(raised))
            if (isLarge(item) && item->GetThumbnailNumber() < 0)
                return;
        ++drawnStored;
    };
    raised->AddListener(&ear);
    ASSERT_TRUE(drawnAndIdle(raised));
    raised->RemoveListener(&ear);
    SetPrefDefault("DefaultThumbnailSize");
    EXPECT_GE(drawnStored, int(shown)) << "not every stored thumbnail was drawn before those were made again";
    for (CIndexItem* item : shownPhotos(raised))
        EXPECT_EQ(item->GetThumbnailNumber() < 0, isLarge(item)) << item->GetName().toStdString();
}
