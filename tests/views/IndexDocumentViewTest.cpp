// The index document with the real index view in its window.

#include "CIndexDoc.h"
#include "CIndexItem.h"
#include "CIndexPackage.h"
#include "CIndexView.h"
#include "CIndexViewDocument.h"
#include "CVisualTask.h"
#include "IndexWindowTest.h"
#include "InterfaceClasses.h"
#include "LWindow.h"
#include "Preferences.h"
#include "PropertyList.h"
#include "TaskServices.h"
#include "URegistrar.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QImage>

namespace {

// Reading applies settings.xml; writing writes it; both at once.
class SettingsTasks : public TaskServices {
public:
    void ShowSearchWindow(IndexViewServices*, SInt32) override { }
    void StartImportFilesTask(IndexViewServices*) override { }
    void StartImportFolderTask(IndexViewServices*, const FileRef&, SInt32, SInt32) override { }
    void StartReadIndexPackageTask(CIndexDoc* document) override
    {
        if (QFile::exists(document->GetPackage()->GetSettingsURL().toLocalFile()))
            document->ReadSettings(false);
        document->ShowWindow();
    }
    void StartWriteIndexTask(CIndexDoc* document) override { document->WriteSettings(false); }
    void StopTasksOfOwner(IndexViewServices*) override { }
};

class IndexDocumentView : public IndexWindowTest {
protected:
    void SetUp() override
    {
        IndexWindowTest::SetUp();
        SetTaskServices(&mTasks);
        SetPrefBoolean("SaveViewSettingsCloseWindow", false);
        SetPrefBoolean("IndexShowStatusBar", true);
        SetPrefNumber("DefaultIndexWindowWidth", 760);
        SetPrefNumber("DefaultIndexWindowHeigth", 520);
    }

    void AddPhotos(CIndexDoc* doc, const QStringList& names)
    {
        for (const QString& name : names) {
            QImage image(64, 48, QImage::Format_RGB32);
            image.fill(QColor(qHash(name) % 255, 120, 200));
            const QString path = mDir + "/" + name;
            ASSERT_TRUE(image.save(path, "JPEG"));
            doc->GetIndexView()->InsertItem(new CIndexItem(QUrl::fromLocalFile(path)), kInsertAtEnd, false, true);
        }
    }

    SettingsTasks mTasks;
};

} // namespace

TEST_F(IndexDocumentView, TheWindowIsBuiltAroundTheIndexView)
{
    CIndexDoc* doc = new CIndexDoc(nullptr, {}, false, false);
    auto* view = dynamic_cast<CIndexView*>(doc->GetIndexViewPane());
    ASSERT_TRUE(view);
    EXPECT_EQ(view->GetContainingWindow(), doc->GetWindow());
    AddPhotos(doc, { "harbour.jpg", "boats.jpg", "market.jpg" });
    EXPECT_EQ(doc->CountAllItems(), 3);
    // The view's state is what the printing waits for.
    EXPECT_EQ(doc->GetIndexView()->GetPrintState(), kViewStateIdle);

    doc->ShowWindow();
    QApplication::processEvents();
    const QString shot = QDir(QCoreApplication::applicationDirPath()).filePath("index-window.png");
    EXPECT_TRUE(doc->GetWindow()->GetShell()->grab().save(shot));
}

TEST_F(IndexDocumentView, TheToolbarSearchFiltersByNameAndClearingShowsAllAgain)
{
    CIndexDoc* doc = new CIndexDoc(nullptr, {}, false, false);
    AddPhotos(doc, { "harbour-1.jpg", "boats.jpg", "Harbour-2.jpg" });
    doc->StartQuickSearch(4001, "harbour");
    auto* view = dynamic_cast<CIndexView*>(doc->GetIndexViewPane());
    ASSERT_TRUE(view);
    EXPECT_TRUE(view->IsFiltered());
    EXPECT_EQ(doc->CountItems(), 2);
    EXPECT_EQ(doc->CountAllItems(), 3);
    doc->StartQuickSearch(4001, ""); // nothing to look for: nothing changes
    EXPECT_EQ(doc->CountItems(), 2);
    doc->ShowAllItems(true);
    EXPECT_FALSE(view->IsFiltered());
    EXPECT_EQ(doc->CountItems(), 3);
}

TEST_F(IndexDocumentView, TheViewsKeysGoThroughSettingsXmlAndComeBack)
{
    const QString package = mDir + "/Kept.idxp";
    CIndexDoc* doc = new CIndexDoc(nullptr, QUrl::fromLocalFile(package), true, false);
    auto* view = dynamic_cast<CIndexView*>(doc->GetIndexViewPane());
    ASSERT_TRUE(view);
    view->SetComment("Summer");
    view->SetIndexURLText("https://example.org/summer");
    view->SetSortKey(4004, true);
    doc->ChooseMediaOption(3);
    doc->WriteSettings(false);

    QVariant written;
    ASSERT_EQ(PropertyList::ReadFile(package + "/settings.xml", written), noErr);
    const QVariantMap map = written.toMap();
    EXPECT_EQ(map.value("Comment").toString(), "Summer");
    EXPECT_EQ(map.value("URL").toString(), "https://example.org/summer");
    EXPECT_EQ(map.value("IndexSortKey").toLongLong(), 4004);
    EXPECT_EQ(map.value("IndexSortOrder").toLongLong(), 1);
    EXPECT_TRUE(map.value("IndexStoreMediaFile").toBool());
    EXPECT_TRUE(map.value("IndexRemoveMediaFile").toBool());
    delete doc;

    CIndexDoc* again = new CIndexDoc(nullptr, QUrl::fromLocalFile(package), true, false);
    auto* reopened = dynamic_cast<CIndexView*>(again->GetIndexViewPane());
    ASSERT_TRUE(reopened);
    EXPECT_EQ(reopened->GetComment(), "Summer");
    EXPECT_EQ(reopened->GetSortKey(), 4004);
    EXPECT_EQ(reopened->GetSortOrder(), 1);
    EXPECT_TRUE(reopened->TestFlags(kViewStoreMediaFile | kViewRemoveMediaFile));
    EXPECT_EQ(again->GetMediaOptionButton(), 3);
}
