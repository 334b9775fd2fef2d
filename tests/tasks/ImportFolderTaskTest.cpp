#include "TaskTestSupport.h"

#include "CCriteria.h"
#include "CImportFolderTask.h"
#include "CSearchTask.h"
#include "FieldKeys.h"
#include "ErrorReport.h"
#include "FileRef.h"
#include "FourCharCode.h"
#include "RawDecoder.h"

#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPdfWriter>
#include <QPainter>

#include <fcntl.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void WriteImage(const QString& path, const char* format)
{
    QDir().mkpath(QFileInfo(path).path());
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(QColor(200, 80, 40));
    ASSERT_TRUE(image.save(path, format)) << path.toStdString();
}

void WriteText(const QString& path, const QByteArray& text)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

// A short PCM sound, its header written out field by field.
void WriteWave(const QString& path)
{
    QByteArray samples(800, '\0');
    QByteArray wave("RIFF");
    auto u32 = [&](quint32 v) { for (int i = 0; i < 4; ++i) wave.append(char((v >> (8 * i)) & 0xFF)); };
    auto u16 = [&](quint16 v) { wave.append(char(v & 0xFF)); wave.append(char(v >> 8)); };
    u32(36 + quint32(samples.size()));
    wave += "WAVEfmt ";
    u32(16);
    u16(1); // PCM
    u16(1); // mono
    u32(8000);
    u32(16000);
    u16(2);
    u16(16);
    wave += "data";
    u32(quint32(samples.size()));
    wave += samples;
    WriteText(path, wave);
}

class ImportFolderTaskTest : public TaskTest {
protected:
    void SetUp() override
    {
        TaskTest::SetUp();
        SetErrorNotificationPoster([this](const SErrorReport& report) { reports.push_back(report); });
        root = TestTempDir() + QStringLiteral("/import-%1").arg(++sCount);
        QDir(root).removeRecursively();
        QDir().mkpath(root);
    }
    void TearDown() override
    {
        SetErrorNotificationPoster(nullptr);
        owner_.DeleteItems();
        for (const char* key : {"ImportResolveAliases", "ImportSkipDuplicates", "ImportSkipPackages"})
            SetPrefDefault(QString::fromLatin1(key));
        TaskTest::TearDown();
    }

    // Imports the folder at a position and depth and waits for the task to end.
    void Import(const QString& folder, SInt32 position = kInsertAtEnd, UInt32 depth = 0)
    {
        RunToEnd(new CImportFolderTask(601, 17, owner_.model, FileRef(folder), position, depth));
    }
    static void RunToEnd(CVisualTask* task)
    {
        ThreadID id = task->GetID();
        task->Start();
        ASSERT_TRUE(RunUntil([id] { return LThread::FromID(id) == nullptr; }, 20000));
    }

    static QStringList Names(const CIndexModel& model)
    {
        QStringList names;
        for (CIndexItem* item : model.GetItemList())
            names << item->GetName();
        return names;
    }
    QStringList Names() const { return Names(owner_.model); }

    // A tree with media, things to skip and links.
    void MakeTree()
    {
        WriteImage(root + "/a.jpg", "JPEG");
        WriteImage(root + "/b.png", "PNG");
        WriteText(root + "/notes.txt", "not a medium");
        WriteImage(root + "/.hidden.jpg", "JPEG");
        WriteImage(root + "/.dotdir/x.jpg", "JPEG");
        WriteImage(root + "/sub/c.jpg", "JPEG");
        WriteImage(root + "/sub/deeper/d.jpg", "JPEG");
        WriteImage(root + "/Old.idxp/inner.jpg", "JPEG");
        WriteImage(root + "/Viewer.app/icon.png", "PNG");
        WriteImage(TestTempDir() + "/outside/e.jpg", "JPEG");
        ASSERT_EQ(::symlink((TestTempDir() + "/outside/e.jpg").toUtf8().constData(), (root + "/link.jpg").toUtf8().constData()), 0);
        ASSERT_EQ(::symlink("sub", (root + "/link-dir").toUtf8().constData()), 0);
        ASSERT_EQ(::symlink(".", (root + "/loop").toUtf8().constData()), 0);
    }

    int CountReports(SInt32 code) const
    {
        return int(std::count_if(reports.begin(), reports.end(),
            [code](const SErrorReport& r) { return r.listID == 500 && r.messageIndex == code - 100000; }));
    }

    QString root;
    std::vector<SErrorReport> reports;
    static inline int sCount = 0;
};

} // namespace

TEST_F(ImportFolderTaskTest, TheWalkKeepsItsOrderAndSkipsDotNamesPackagesAndLinkedFolders)
{
    MakeTree();
    Import(root);
    EXPECT_EQ(Names(), (QStringList {"a.jpg", "b.png", "link.jpg", "c.jpg", "d.jpg"}));
    EXPECT_FALSE(owner_.model.IsBusy()) << "busy raised and lowered in pairs";
    EXPECT_EQ(owner_.model.CountRunningTasks(), 0);
    EXPECT_TRUE(owner_.model.IsModified()) << "a folder imported into an empty index is a change to save";
    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(owner_.heard[msg_TaskShown], 1);
}

// Tasks work on the index model itself: an index that no window shows is
// imported into, searched and changed the same way.
TEST_F(ImportFolderTaskTest, AnIndexWithoutAWindowIsImportedIntoSearchedAndChanged)
{
    MakeTree();
    CIndexModel model;
    ASSERT_EQ(FindTaskOwnerView(&model), nullptr);
    RunToEnd(new CImportFolderTask(601, 17, model, FileRef(root), kInsertAtEnd, 0));
    EXPECT_EQ(Names(model), (QStringList {"a.jpg", "b.png", "link.jpg", "c.jpg", "d.jpg"}));
    EXPECT_TRUE(model.IsModified());
    EXPECT_FALSE(model.IsBusy());
    EXPECT_EQ(model.CountRunningTasks(), 0);
    EXPECT_TRUE(owner_.Items().empty()) << "nothing reached another index";
    EXPECT_EQ(owner_.heard[msg_TaskShown], 0) << "nor the view of another index";

    auto* search = new CSearchTask(QStringLiteral("601:39"), model, kSearchKindSearch);
    search->SetResultAction(kResultShowFilter);
    search->AddCriterion(std::make_unique<CCriteria>(kFieldName, kSelectorContains, QStringLiteral(".jpg")));
    for (CIndexItem* item : model.GetItemList())
        search->InsertItem(item, kInsertAtEnd);
    RunToEnd(search);
    EXPECT_TRUE(model.IsFiltered());
    EXPECT_EQ(Names(model), (QStringList {"a.jpg", "link.jpg", "c.jpg", "d.jpg"}));
    EXPECT_EQ(model.CountRunningSearches(), 0);

    // A folder handed over by its address is imported by a task of its own; a file
    // of the index already there comes in again only without "ImportSkipDuplicates".
    model.ShowAllItems();
    EXPECT_EQ(ImportURL(model, QUrl::fromLocalFile(root + "/sub"), kInsertAtEnd), 0);
    ASSERT_TRUE(RunUntil([&] { return model.CountRunningTasks() == 0 && model.CountAllItems() == 7; }, 20000));
    EXPECT_EQ(Names(model).mid(5), (QStringList {"c.jpg", "d.jpg"}));
    SetPrefBoolean(QStringLiteral("ImportSkipDuplicates"), true);
    EXPECT_EQ(ImportURL(model, QUrl::fromLocalFile(root + "/a.jpg"), 1), 0);
    SetPrefBoolean(QStringLiteral("ImportSkipDuplicates"), false);
    EXPECT_EQ(ImportURL(model, QUrl::fromLocalFile(root + "/a.jpg"), 1), 1);
    EXPECT_EQ(model.CountAllItems(), 8);

    // An item leaves the index with its pending task entries.
    auto* waiting = new CSearchTask(QStringLiteral("601:39"), model, kSearchKindSearch);
    CIndexItem* first = model.ItemAt(1);
    waiting->InsertItem(first, kInsertAtEnd);
    RemoveIndexItem(model, 1, false, true);
    EXPECT_EQ(waiting->CountItems(), 0);
    EXPECT_EQ(model.CountAllItems(), 7);
    delete waiting;
    for (CIndexItem* item : model.TakeAllItems())
        delete item;
}

TEST_F(ImportFolderTaskTest, DepthOneStaysInTheFolder)
{
    MakeTree();
    Import(root, kInsertAtEnd, 1);
    EXPECT_EQ(Names(), (QStringList {"a.jpg", "b.png", "link.jpg"}));
}

TEST_F(ImportFolderTaskTest, LinksAreResolvedOnlyWhenThePreferenceAsks)
{
    MakeTree();
    Import(root, kInsertAtEnd, 1);
    ASSERT_EQ(owner_.Items().size(), 3u);
    EXPECT_EQ(owner_.Items()[2]->GetURL(), QUrl::fromLocalFile(root + "/link.jpg"));
    owner_.DeleteItems();

    SetPrefBoolean(QStringLiteral("ImportResolveAliases"), true);
    Import(root);
    EXPECT_EQ(Names(), (QStringList {"a.jpg", "b.png", "link.jpg", "c.jpg", "d.jpg"}))
        << "the linked folder and the loop are still not walked";
    EXPECT_EQ(owner_.Items()[2]->GetURL(), QUrl::fromLocalFile(TestTempDir() + "/outside/e.jpg"));
    EXPECT_EQ(owner_.Items()[2]->GetName(), QStringLiteral("link.jpg")) << "the link's own name";
}

TEST_F(ImportFolderTaskTest, PackagesAreWalkedOnlyWhenThePreferenceAllowsAndIndexPackagesNever)
{
    MakeTree();
    SetPrefBoolean(QStringLiteral("ImportSkipPackages"), false);
    Import(root, kInsertAtEnd, 0);
    EXPECT_TRUE(Names().contains("icon.png"));
    EXPECT_FALSE(Names().contains("inner.jpg"));
}

TEST_F(ImportFolderTaskTest, ItemsLandAtThePositionInTheWalksOrder)
{
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"})
        WriteImage(root + "/" + name, "JPEG");
    for (int i = 0; i < 4; ++i)
        owner_.model.InsertItem(new CIndexItem(QUrl(QStringLiteral("http://example.org/%1.jpg").arg(i))), kInsertAtEnd);
    owner_.model.SetModified(false);
    Import(root, 3);
    EXPECT_EQ(Names(), (QStringList {"0.jpg", "1.jpg", "a.jpg", "b.jpg", "c.jpg", "2.jpg", "3.jpg"}));
    EXPECT_TRUE(owner_.model.IsModified()) << "an index that held items is marked modified";
}

TEST_F(ImportFolderTaskTest, DuplicatesAreSkippedWhenThePreferenceAsks)
{
    WriteImage(root + "/a.jpg", "JPEG");
    WriteImage(root + "/b.jpg", "JPEG");
    Import(root);
    Import(root);
    EXPECT_EQ(owner_.Items().size(), 4u);
    SetPrefBoolean(QStringLiteral("ImportSkipDuplicates"), true);
    WriteImage(root + "/c.jpg", "JPEG");
    Import(root);
    EXPECT_EQ(Names().mid(4), QStringList {"c.jpg"});
}

TEST_F(ImportFolderTaskTest, EveryMediaKindComesInAsItsKindAndOthersAreLeftOut)
{
    WriteImage(root + "/photo.jpg", "JPEG");
    WriteImage(root + "/drawing.png", "PNG");
    WriteImage(root + "/scan.tif", "TIFF");
    WriteWave(root + "/sound.wav");
    {
        QPdfWriter pdf(root + "/document.pdf");
        QPainter painter(&pdf);
        painter.drawText(100, 100, QStringLiteral("page"));
    }
    WriteText(root + "/readme.txt", "text");
    WriteText(root + "/archive.zip", QByteArray("PK\x03\x04", 4) + QByteArray(60, 0));
    WriteImage(root + "/no-extension", "PNG"); // known by its content
    Import(root);
    std::map<QString, OSType> kinds;
    for (CIndexItem* item : owner_.Items())
        kinds[item->GetName()] = item->GetFileTypeCode();
    EXPECT_EQ(kinds.size(), 6u);
    EXPECT_EQ(kinds["photo.jpg"], OSType('JPEG'));
    EXPECT_EQ(kinds["drawing.png"], OSType('PNGf'));
    EXPECT_EQ(kinds["scan.tif"], OSType('TIFF'));
    EXPECT_EQ(kinds["document.pdf"], OSType('PDF '));
    EXPECT_TRUE(kinds.count("sound.wav"));
    EXPECT_EQ(kinds["no-extension"], OSType('PNGf'));
    EXPECT_FALSE(kinds.count("readme.txt"));
    EXPECT_FALSE(kinds.count("archive.zip"));
}

TEST_F(ImportFolderTaskTest, PipesDevicesAndRunawayFilesNeverHoldTheImport)
{
    RawDecoder::SetTimeLimits(1000, 1000);
    WriteImage(root + "/photo.jpg", "JPEG");
    ASSERT_EQ(::mkfifo(QFile::encodeName(root + "/x.jpg").constData(), 0600), 0);
    ASSERT_TRUE(QFile::link("/dev/zero", root + "/zero.tif"));
    ASSERT_TRUE(QFile::copy(TestDataPath("made-here/PhaseOneRunaway.tif"), root + "/runaway.tif"));
    QElapsedTimer clock;
    clock.start();
    Import(root);
    EXPECT_LT(clock.elapsed(), 15000);
    const QStringList names = Names();
    EXPECT_TRUE(names.contains("photo.jpg"));
    EXPECT_FALSE(names.contains("x.jpg"));
    EXPECT_FALSE(names.contains("zero.tif"));
    RawDecoder::SetTimeLimits(10000, 120000);
}

TEST_F(ImportFolderTaskTest, ATreeTooDeepEndsWithOneReportAndKeepsWhatItFound)
{
    QString path = root;
    for (UInt32 level = 0; level < CImportFolderTask::kMaxWalkDepth + 20; ++level)
        path += QStringLiteral("/d");
    WriteImage(path + "/bottom.jpg", "JPEG");
    WriteImage(root + "/top.jpg", "JPEG");
    Import(root);
    EXPECT_EQ(Names(), QStringList {"top.jpg"});
    EXPECT_EQ(CountReports(kMsgFoldersSkipped), 1);
    EXPECT_FALSE(owner_.model.IsBusy());
}

TEST_F(ImportFolderTaskTest, AnUnreadableFolderIsReportedAndTheWalkGoesOn)
{
    WriteImage(root + "/a/first.jpg", "JPEG");
    WriteImage(root + "/b-locked/hidden.jpg", "JPEG");
    WriteImage(root + "/c/last.jpg", "JPEG");
    ASSERT_EQ(::chmod((root + "/b-locked").toUtf8().constData(), 0), 0);
    // Checked as another user when the tests run as the superuser, who may read anything.
    const QString temp = QDir::tempPath();
    for (QString dir = root; dir.startsWith(temp + "/"); dir = QFileInfo(dir).path())
        ::chmod(dir.toUtf8().constData(), 0755);
    for (const char* open : {"/a", "/c"})
        ::chmod((root + open).toUtf8().constData(), 0755);
    const bool asRoot = ::geteuid() == 0;
    const int previous = asRoot ? ::setfsuid(65534) : -1;
    Import(root);
    if (asRoot)
        ::setfsuid(uid_t(previous));
    ::chmod((root + "/b-locked").toUtf8().constData(), 0755);
    EXPECT_EQ(Names(), (QStringList {"first.jpg", "last.jpg"}));
    EXPECT_EQ(CountReports(kMsgFoldersSkipped), 1);
}

TEST_F(ImportFolderTaskTest, AStoppedImportLowersOnlyWhatItRaised)
{
    WriteImage(root + "/a.jpg", "JPEG");
    auto* waiting = new CImportFolderTask(601, 17, owner_.model, FileRef(root), kInsertAtEnd, 0);
    EXPECT_EQ(owner_.model.CountRunningTasks(), 1);
    waiting->Stop(); // never ran
    EXPECT_FALSE(owner_.model.IsBusy());
    EXPECT_EQ(owner_.model.CountRunningTasks(), 0);
}
