#include "CExportFilesTask.h"
#include "CExportXMLTask.h"
#include "CIndexItem.h"
#include "CIndexView.h"
#include "FieldKeys.h"
#include "IndexTaskServices.h"
#include "IndexViewFixture.h"
#include "LThread.h"
#include "LWindow.h"
#include "PropertyList.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>

namespace {

class IndexViewExportTest : public IndexViewFixture {
protected:
    void SetUp() override
    {
        MakeView(640, 480);
        InstallIndexTaskServices();
        for (int i = 0; i < 3; ++i)
            view->InsertItem(new CIndexItem(QUrl(QStringLiteral("http://example.org/item%1.jpg").arg(i))), kInsertAtEnd,
                false, true);
    }
    void TearDown() override
    {
        SetTaskServices(nullptr);
        IndexViewFixture::TearDown();
    }
    bool Enabled(CommandT command)
    {
        Boolean enabled = false;
        Boolean usesMark = false;
        UInt16 mark = 0;
        Str255 name;
        view->FindCommandStatus(command, enabled, usesMark, mark, name);
        return enabled;
    }
};

} // namespace

TEST_F(IndexViewExportTest, ExportCommandsTakeTheSelectionOrElseTheWholeList)
{
    EXPECT_TRUE(Enabled(1058)) << "with nothing selected the whole list is exported";
    EXPECT_TRUE(Enabled(1059));
    ASSERT_TRUE(view->ObeyCommand(1058, nullptr));
    auto* files = dynamic_cast<CExportFilesTask*>(CVisualTask::GetAllTasks().back());
    ASSERT_NE(files, nullptr);
    EXPECT_EQ(files->CountItems(), 3);
    ASSERT_NE(files->GetDialog(), nullptr);
    EXPECT_EQ(files->GetDialog()->fileMode(), QFileDialog::Directory);
    files->GetDialog()->reject();
    ASSERT_TRUE(LThread::RunUntil([&] { return view->CountRunningTasks() == 0; }, 5000));
    EXPECT_FALSE(view->IsBusy());

    SPaneInfo frame;
    frame.width = 640;
    frame.height = 480;
    LWindow window(frame, windAttr_Regular, QStringLiteral("Holiday.idxp"), nullptr);
    view->PutInside(&window);
    view->SelectIndex(2);
    ASSERT_TRUE(view->ObeyCommand(1059, nullptr));
    auto* xml = dynamic_cast<CExportXMLTask*>(CVisualTask::GetAllTasks().back());
    ASSERT_NE(xml, nullptr);
    const QString path = TestTempDir() + QStringLiteral("/view-export.xml");
    QFile::remove(path);
    EXPECT_EQ(xml->GetDialog()->selectedFiles().value(0).section(QLatin1Char('/'), -1), QStringLiteral("Holiday.xml"));
    xml->GetDialog()->selectFile(path);
    static_cast<QDialog*>(xml->GetDialog())->accept();
    ASSERT_TRUE(LThread::RunUntil([&] { return QFileInfo::exists(path) && view->CountRunningTasks() == 0; }, 5000));
    QVariant read;
    ASSERT_EQ(PropertyList::ReadFile(path, read), noErr);
    const QVariantList list = read.toMap().value(QStringLiteral("IndexMediaList")).toList();
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list[0].toMap().value(CopyFieldName(kFieldName)).toString(), QStringLiteral("item1")); // as the view shows names
    view->PutInside(nullptr); // the fixture deletes the view
}
