#include "ErrorCodes.h"
#include "FileErrors.h"
#include "FileRoutines.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <QStandardPaths>
#include <QStorageInfo>

TEST(FileRoutines, UrlTests)
{
    EXPECT_TRUE(IsFileURL(QUrl()));
    EXPECT_TRUE(IsFileURL(QUrl::fromLocalFile(QStringLiteral("/tmp/x"))));
    EXPECT_FALSE(IsFileURL(QUrl(QStringLiteral("ftp://example.com/x.jpg"))));
    EXPECT_FALSE(HasURLScheme(QUrl()));
    EXPECT_TRUE(HasURLScheme(QUrl(QStringLiteral("http://example.com"))));
    EXPECT_TRUE(IsIndexPackageURL(QUrl::fromLocalFile(QStringLiteral("/a/Photos.IDXP"))));
    EXPECT_TRUE(IsIndexPackageURL(QUrl::fromLocalFile(QStringLiteral("/a/Photos.idxp/"))));
    EXPECT_FALSE(IsIndexPackageURL(QUrl::fromLocalFile(QStringLiteral("/a/idxp"))));
    // A remote URL exists without any network access; a missing file does not.
    EXPECT_TRUE(URLExists(QUrl(QStringLiteral("http://no-such-host.invalid/x.jpg"))));
    EXPECT_FALSE(URLExists(QUrl()));
    EXPECT_FALSE(URLExists(QUrl::fromLocalFile(TestTempDir() + QLatin1String("/none"))));

    FileRef ref;
    EXPECT_EQ(GetFSSpecFromURL(QUrl(), ref), paramErr);
    EXPECT_EQ(GetFSSpecFromURL(QUrl(QStringLiteral("http://example.com/a.jpg")), ref), kMsgNoFileReference);
    EXPECT_EQ(GetFSSpecFromURL(QUrl::fromLocalFile(TestTempDir() + QLatin1String("/none")), ref), kMsgNoFileReference);

    bool exists = true;
    QUrl inFolder = CopyURLInFolder(QUrl::fromLocalFile(TestTempDir()), QUrl(QStringLiteral("http://h/p/none.jpg")), &exists);
    EXPECT_EQ(inFolder, QUrl::fromLocalFile(TestTempDir() + QLatin1String("/none.jpg")));
    EXPECT_FALSE(exists);
}

TEST(FileRoutines, RenameRules)
{
    EXPECT_EQ(SanitizeFileName(QStringLiteral("a/b:c")), QStringLiteral("a_b.c"));
    EXPECT_EQ(SanitizeFileName(QStringLiteral("a\\b")), QStringLiteral("a_b"));
    EXPECT_EQ(SanitizeFileName(QStringLiteral(".hidden")), QStringLiteral("_hidden"));
    EXPECT_EQ(SanitizeFileName(QStringLiteral("..")), QStringLiteral("_."));
    EXPECT_EQ(SanitizeFileName(QStringLiteral("/etc")), QStringLiteral("_etc"));

    FileRef dir = FreshFolder(QStringLiteral("rename"));
    FileRef file = WriteFile(dir, QStringLiteral("old.jpg"), "x");
    WriteFile(dir, QStringLiteral("taken.jpg"), "y");
    QUrl renamed;
    ASSERT_EQ(RenameURL(file.ToUrl(), QStringLiteral("../a/b:c.jpg"), &renamed), noErr);
    EXPECT_EQ(renamed, QUrl::fromLocalFile(dir.Path() + QLatin1String("/_._a_b.c.jpg")));
    EXPECT_EQ(TreeListing(dir), QStringList({"_._a_b.c.jpg", "taken.jpg"}));

    EXPECT_EQ(RenameURL(renamed, QString(), nullptr), err_AssertFailed);
    EXPECT_EQ(RenameURL(renamed, QStringLiteral("taken.jpg"), nullptr), dupFNErr);
    EXPECT_EQ(RenameURL(renamed, QString(256, QLatin1Char('n')), nullptr), bdNamErr);
    // A name is held in 255 bytes of UTF-8, whatever its length in characters: 125 "é"
    // and ".jpg" fit, one more does not.
    EXPECT_EQ(RenameURL(renamed, QString(126, QChar(0x00E9)) + QStringLiteral(".jpg"), nullptr), bdNamErr);
    EXPECT_EQ(RenameURL(renamed, QString(150, QChar(0x00E9)), nullptr), bdNamErr);
    ASSERT_EQ(RenameURL(renamed, QString(125, QChar(0x00E9)) + QStringLiteral(".jpg"), &renamed), noErr);
    EXPECT_EQ(renamed.fileName(), QString(125, QChar(0x00E9)) + QStringLiteral(".jpg"));
    EXPECT_EQ(RenameURL(QUrl(QStringLiteral("ftp://h/x")), QStringLiteral("y"), nullptr), kMsgNoFileReference);
    EXPECT_EQ(TreeListing(dir).size(), 2);
}

TEST(FileRoutines, IndexDbAliasFileIsARelativeLinkMadeOnce)
{
    FileRef package = FreshFolder(QStringLiteral("Test.idxp"));
    FileRef db = WriteFile(package, QStringLiteral("index.db"), "records");
    ASSERT_EQ(CreateIndexDbAliasFile(db.ToUrl()), noErr);
    FileRef alias = package.Child(QString::fromLatin1(kIndexDbAliasName));
    EXPECT_TRUE(alias.IsSymLink());
    EXPECT_EQ(QFile::symLinkTarget(alias.Path()), db.Path());
    EXPECT_EQ(ReadWholeFile(alias.Path()), QByteArray("records"));

    // An existing alias file is left alone, even one that is not ours.
    QFile::remove(alias.Path());
    WriteFile(package, QString::fromLatin1(kIndexDbAliasName), "user's own");
    EXPECT_EQ(CreateIndexDbAliasFile(db.ToUrl()), noErr);
    EXPECT_EQ(ReadWholeFile(alias.Path()), QByteArray("user's own"));
    EXPECT_EQ(CreateIndexDbAliasFile(package.Child(QStringLiteral("none.db")).ToUrl()), kMsgNoFileReference);
}

TEST(FileRoutines, CopyURLToFolderModesAndRemoteSource)
{
    FileRef root = FreshFolder(QStringLiteral("copyurl"));
    FileRef dest = root.Child(QStringLiteral("dest"));
    QDir().mkpath(dest.Path());
    FileRef a = WriteFile(root, QStringLiteral("a.jpg"), "new");
    WriteFile(dest, QStringLiteral("a.jpg"), "old");

    EXPECT_EQ(CopyURLToFolder(QUrl(QStringLiteral("http://example.com/a.jpg")), dest.ToUrl(), 0, nullptr),
        kMsgNoFileReference);
    EXPECT_EQ(CopyURLToFolder(a.ToUrl(), dest.ToUrl(), 2, nullptr), dupFNErr);
    QUrl out;
    ASSERT_EQ(CopyURLToFolder(a.ToUrl(), dest.ToUrl(), 0, &out), noErr);
    EXPECT_EQ(out.fileName(), QStringLiteral("a copy 1.jpg"));
    ASSERT_EQ(CopyURLToFolder(a.ToUrl(), dest.ToUrl(), 1, &out), noErr);
    EXPECT_EQ(out.fileName(), QStringLiteral("a.jpg"));
    EXPECT_EQ(TreeListing(dest), QStringList({"a copy 1.jpg", "a.jpg"}));
    EXPECT_EQ(ReadWholeFile(out.toLocalFile()), QByteArray("new"));
}

TEST(FileRoutines, TrashGoesToTheFreedesktopTrash)
{
    // The test main points XDG_DATA_HOME at this process's own temporary folder.
    const QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    ASSERT_TRUE(dataHome.startsWith(QDir::tempPath()));
    FileRef home = FreshFolder(QStringLiteral("trash"));
    FileRef file = WriteFile(home, QStringLiteral("doomed.jpg"), "bye");
    EXPECT_EQ(MoveURLToTrash(QUrl()), paramErr);
    EXPECT_EQ(MoveURLToTrash(home.Child(QStringLiteral("none")).ToUrl()), kMsgNoFileReference);

    OSStatus err = MoveURLToTrash(file.ToUrl());
    if (err != noErr && QStorageInfo(home.Path()) != QStorageInfo(dataHome))
        GTEST_SKIP() << "the temporary folder has no trash of its own";
    ASSERT_EQ(err, noErr);
    EXPECT_FALSE(file.Exists());
    // A second file of the same name gets a name of its own in the trash.
    FileRef again = WriteFile(home, QStringLiteral("doomed.jpg"), "again");
    ASSERT_EQ(MoveURLToTrash(again.ToUrl()), noErr);
    QStringList trashed = QDir(dataHome + QLatin1String("/Trash/files")).entryList(QDir::Files);
    EXPECT_EQ(trashed.size(), 2);
    EXPECT_TRUE(trashed.contains(QStringLiteral("doomed.jpg")));
    EXPECT_TRUE(QFile::exists(dataHome + QLatin1String("/Trash/info/doomed.jpg.trashinfo")));
}
