#include "AppRunSupport.h"
#include "AppTestSupport.h"
#include "CIndexPackage.h"
#include "FileRef.h"
#include "NativePaths.h"
#include "PreferenceDomain.h"
#include "Preferences.h"
#include "SafeSave.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QScopeGuard>

#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Files and folders made by their bytes alone, below Qt's names, as an older disk
// or another program leaves them.
bool WriteByBytes(const QByteArray& path, const QByteArray& bytes)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const bool written = fd >= 0 && ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    return ::close(fd) == 0 && written;
}

qint64 SizeByBytes(const QByteArray& path)
{
    struct stat info {};
    return ::lstat(path.constData(), &info) == 0 && S_ISREG(info.st_mode) ? qint64(info.st_size) : -1;
}

// Qt cannot remove what it cannot name: the tree goes by its bytes.
void RemoveByBytes(const QByteArray& path)
{
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(path.toStdString()), ignored);
}

// Logging out and in again: the runtime folder and the links in it are gone.
class NewSession {
public:
    NewSession()
        : mOld(qgetenv("XDG_RUNTIME_DIR"))
    {
        RemoveByBytes(mOld + "/orvex-names");
        const QString fresh = TestTempDir() + QStringLiteral("/run-after-login");
        QDir().mkpath(fresh);
        QFile::setPermissions(fresh, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(fresh));
    }
    ~NewSession() { qputenv("XDG_RUNTIME_DIR", mOld); }

private:
    QByteArray mOld;
};

// Each item's file as the system names it, with the item itself.
std::map<QByteArray, CIndexItem*> ItemsByFile(CIndexDoc* document)
{
    std::map<QByteArray, CIndexItem*> items;
    CIndexView* view = IndexViewOfDocument(document);
    for (SInt32 i = 1; view && i <= view->CountAllItems(); ++i) {
        CIndexItem* item = nullptr;
        if (view->GetItemAt(i, item) && item)
            items[FileRef::FromUrl(item->LocateFile(false)).NativePath()] = item;
    }
    return items;
}

// The test's photographs under names that are not UTF-8, and a package made with one.
struct ForeignFiles {
    QByteArray folder; // "Vacances été" in Latin-1
    QByteArray plain; // a UTF-8 name inside it
    QByteArray foreign; // "soirée ÿ.jpg" in Latin-1
    ForeignFiles()
    {
        const QStringList photos = CameraPhotos();
        folder = QFile::encodeName(TestTempDir()) + "/Vacances \xE9t\xE9";
        plain = folder + "/plage.jpg";
        foreign = folder + "/soir\xE9" "e \xFF.jpg";
        EXPECT_EQ(::mkdir(folder.constData(), 0700), 0);
        EXPECT_TRUE(WriteByBytes(plain, ReadWholeFile(photos.at(0))));
        EXPECT_TRUE(WriteByBytes(foreign, ReadWholeFile(photos.at(1))));
    }
    ~ForeignFiles() { RemoveByBytes(folder); }
};

} // namespace

// A folder whose names are not UTF-8, handed over as the command line gives it,
// becomes an index of the real files with their real sizes; saved, and opened
// again after a new login (the runtime folder gone), every item finds its file.
TEST(NonUtf8Names, AFolderOfOlderNamesIsIndexedSavedAndFoundAgainAfterALogin)
{
    const ForeignFiles files;
    const QString package = TestTempDir() + QStringLiteral("/Vacances.idxp");
    SetPrefNumber(QStringLiteral("StartupAction"), 2);
    {
        IdleApp app;
        CIndexDoc* document = StartFirstRun(app);
        ASSERT_NE(document, nullptr);
        ASSERT_TRUE(RunUntil([&] { return document->GetWindow()->IsVisible(); }));
        // As the program's entry hands over its arguments.
        app.OpenOrPrintDocList({PathFromNativeBytes(files.folder)}, false);
        EXPECT_TRUE(RunUntil([&] { return IsIdle(document) && document->CountAllItems() == 2; }))
            << document->CountAllItems() << " items";
        EXPECT_EQ(ItemNames(document), (QStringList {QStringLiteral("plage.jpg"), QStringLiteral("soirée ÿ.jpg")}));
        const auto items = ItemsByFile(document);
        for (const QByteArray& file : {files.plain, files.foreign}) {
            ASSERT_EQ(items.count(file), 1u) << file.toStdString();
            CIndexItem* item = items.at(file);
            EXPECT_EQ(qint64(item->GetTotalSize()), SizeByBytes(file));
            // Where the item is, as the list shows it: the folder the user knows.
            EXPECT_EQ(item->GetAliasPath(), TestTempDir() + QStringLiteral("/Vacances été/") + item->GetName());
        }
        document->HandleSheetAnswer(CIndexDoc::sheet_SaveAs, QUrl::fromLocalFile(package));
        ASSERT_TRUE(RunUntil([&] { return IsIdle(document) && !document->IsModified(); }));
        EXPECT_TRUE(app.AttemptQuit());
        EXPECT_TRUE(RunUntil(AllTasksEnded)) << TaskTitles().toStdString();
    }
    // index.db holds the names' own bytes, never a link of the session.
    const QByteArray records = ReadWholeFile(package + QStringLiteral("/index.db"));
    EXPECT_TRUE(records.contains(files.foreign));
    EXPECT_TRUE(records.contains(files.plain));
    EXPECT_FALSE(records.contains("orvex-names"));

    const NewSession login;
    COrvexApp app;
    app.MakeMenuBar();
    app.Initialize();
    CIndexDoc* reopened = OpenIndexWhenSettled(app, package);
    ASSERT_NE(reopened, nullptr);
    const auto items = ItemsByFile(reopened);
    for (const QByteArray& file : {files.plain, files.foreign}) {
        ASSERT_EQ(items.count(file), 1u) << file.toStdString();
        // Reachable through Qt as well as by its bytes.
        const QString path = items.at(file)->LocateFile(false).toLocalFile();
        EXPECT_EQ(QFileInfo(path).size(), SizeByBytes(file));
        EXPECT_EQ(ReadWholeFile(path).size(), SizeByBytes(file));
    }
    EXPECT_FALSE(reopened->IsModified());
    EXPECT_TRUE(app.AttemptQuit());
    EXPECT_TRUE(RunUntil(AllTasksEnded)) << TaskTitles().toStdString();
}

// An index package whose name is not UTF-8 opens from the command line with its
// items, never as an empty "Untitled" instead; after a new login it opens again
// from the recent items.
TEST(NonUtf8Names, APackageNamedInOtherBytesOpensFromTheCommandLineAndTheRecentItems)
{
    const QStringList photos = CameraPhotos();
    const QString made = TestTempDir() + QStringLiteral("/Made.idxp");
    const QByteArray package = QFile::encodeName(TestTempDir()) + "/bad\xFF\xFEutf.idxp";
    const auto removePackage = qScopeGuard([&] { RemoveByBytes(package); });
    SetPrefNumber(QStringLiteral("StartupAction"), 2);
    {
        COrvexApp app;
        CIndexDoc* document = StartFirstRun(app);
        ASSERT_NE(document, nullptr);
        document->AddItem(QUrl::fromLocalFile(photos.at(0)));
        ASSERT_TRUE(RunUntil([&] { return IsIdle(document) && document->CountAllItems() == 1; }));
        document->HandleSheetAnswer(CIndexDoc::sheet_SaveAs, QUrl::fromLocalFile(made));
        ASSERT_TRUE(RunUntil([&] { return IsIdle(document) && !document->IsModified(); }));
        EXPECT_TRUE(app.AttemptQuit());
        EXPECT_TRUE(RunUntil(AllTasksEnded)) << TaskTitles().toStdString();
    }
    ASSERT_EQ(::rename(QFile::encodeName(made).constData(), package.constData()), 0);

    auto expectOpened = [&](const char* how) {
        CIndexDoc* opened = OnlyIndexDocument();
        ASSERT_NE(opened, nullptr) << how;
        ASSERT_TRUE(RunUntil([&] { return IsIdle(opened) && opened->GetWindow()->IsVisible(); })) << how;
        EXPECT_EQ(opened->CountAllItems(), 1) << how;
        ASSERT_NE(opened->GetPackage(), nullptr) << how;
        EXPECT_EQ(FileRef::FromUrl(opened->GetPackage()->GetPackageURL()).NativePath(), package) << how;
        EXPECT_FALSE(opened->IsModified()) << how;
    };
    {
        COrvexApp app;
        app.ClearRecentItems();
        app.MakeMenuBar();
        app.Initialize();
        // As the program's entry hands over its arguments.
        app.OpenOrPrintDocList({PathFromNativeBytes(package)}, false);
        expectOpened("from the command line");
        EXPECT_TRUE(app.AttemptQuit());
        EXPECT_TRUE(RunUntil(AllTasksEnded)) << TaskTitles().toStdString();
    }
    ASSERT_TRUE(SynchronizePrefs());
    PreferenceDomain::Application().Reload();

    const NewSession login;
    COrvexApp app;
    app.MakeMenuBar();
    app.Initialize();
    ASSERT_GE(app.GetRecentItemCount(), 1);
    EXPECT_EQ(app.GetRecentItems().At(0).NativePath(), package);
    app.OpenRecentItem(0);
    expectOpened("from the recent items");
    EXPECT_TRUE(app.AttemptQuit());
    EXPECT_TRUE(RunUntil(AllTasksEnded)) << TaskTitles().toStdString();
}
