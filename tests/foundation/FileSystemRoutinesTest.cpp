#include "ErrorCodes.h"
#include "ExtendedAttributes.h"
#include "FileErrors.h"
#include "FileSystemRoutines.h"
#include "AliasRecord.h"
#include "Preferences.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

namespace {

struct CopyTree {
    FileRef root, source, dest;
    explicit CopyTree(const char* name)
    {
        root = FreshFolder(QStringLiteral("copy-") + QLatin1String(name));
        source = FileRef(root.Path() + QLatin1String("/src"));
        dest = FileRef(root.Path() + QLatin1String("/dest"));
        QDir().mkpath(source.Path());
        QDir().mkpath(dest.Path());
    }
};

bool HasXattrs(const FileRef& where)
{
    return SetExtendedAttribute(where, "user.orvex.probe", "1") == noErr;
}

} // namespace

TEST(CopyEngine, FileCopyKeepsDataModesDatesAndAttributesAndClearsBusyMarks)
{
    CopyTree t("file");
    QByteArray data(700000, '\0');
    for (int i = 0; i < data.size(); ++i)
        data[i] = char(i * 7);
    FileRef photo = WriteFile(t.source, QStringLiteral("photo.jpg"), data);
    ::chmod(photo.NativePath().constData(), 0640);
    bool xattrs = HasXattrs(t.root);
    if (xattrs) {
        FinderInfo info;
        info.SetType('JPEG');
        info.SetCreator('JWZ7');
        info.SetFlags(kFinderFlagHasBeenInited | kFinderFlagHasCustomIcon);
        ASSERT_EQ(WriteFinderInfo(photo, info), noErr);
        ASSERT_EQ(WriteFileResource(photo, 'ANPA', 10000, "caption"), noErr);
    }
    FileStat before;
    ASSERT_EQ(photo.Stat(before), noErr);

    FileRef copy;
    ASSERT_EQ(CopyFileSystemObject(photo, t.dest, 0, kConflictNone, {}, &copy), noErr);
    EXPECT_EQ(copy, t.dest.Child(QStringLiteral("photo.jpg")));
    EXPECT_EQ(ReadWholeFile(copy.Path()), data);
    FileStat after;
    ASSERT_EQ(copy.Stat(after), noErr);
    EXPECT_EQ(after.mode & 07777, 0640u);
    EXPECT_EQ(after.modificationSeconds, before.modificationSeconds);
    if (xattrs) {
        FinderInfo info;
        ASSERT_EQ(ReadFinderInfo(copy, info), noErr);
        EXPECT_EQ(info.Type(), OSType('JPEG')); // not the busy type any more
        EXPECT_EQ(info.Creator(), OSType('JWZ7'));
        EXPECT_EQ(info.Flags(), kFinderFlagHasCustomIcon); // "placed" cleared so it is placed anew
        QByteArray caption;
        ASSERT_EQ(ReadFileResource(copy, 'ANPA', 10000, caption), noErr);
        EXPECT_EQ(caption, QByteArray("caption"));
    }
    EXPECT_EQ(ReadWholeFile(photo.Path()), data);
}

TEST(CopyEngine, ConflictModesForFiles)
{
    CopyTree t("conflict-files");
    FileRef photo = WriteFile(t.source, QStringLiteral("photo.jpg"), "new");
    FileRef readMe = WriteFile(t.source, QStringLiteral("Read Me"), "new");
    WriteFile(t.dest, QStringLiteral("photo.jpg"), "old");
    WriteFile(t.dest, QStringLiteral("Read Me"), "old");

    EXPECT_EQ(CopyFileSystemObject(photo, t.dest, 0, kConflictNone), dupFNErr);
    EXPECT_EQ(CopyFileSystemObject(photo, t.dest, 0, 7), dupFNErr);
    EXPECT_EQ(ReadWholeFile(t.dest.Path() + QLatin1String("/photo.jpg")), QByteArray("old"));

    FileRef copy;
    ASSERT_EQ(CopyFileSystemObject(photo, t.dest, 0, kConflictKeepBoth, {}, &copy), noErr);
    EXPECT_EQ(copy.Name(), QStringLiteral("photo copy 1.jpg"));
    ASSERT_EQ(CopyFileSystemObject(photo, t.dest, 0, kConflictKeepBoth, {}, &copy), noErr);
    EXPECT_EQ(copy.Name(), QStringLiteral("photo copy 2.jpg"));
    ASSERT_EQ(CopyFileSystemObject(readMe, t.dest, 0, kConflictKeepBoth, {}, &copy), noErr);
    EXPECT_EQ(copy.Name(), QStringLiteral("Read Me copy 1"));

    ASSERT_EQ(CopyFileSystemObject(photo, t.dest, 0, kConflictReplace, {}, &copy), noErr);
    EXPECT_EQ(ReadWholeFile(copy.Path()), QByteArray("new"));
    EXPECT_EQ(TreeListing(t.dest),
        QStringList({"Read Me", "Read Me copy 1", "photo copy 1.jpg", "photo copy 2.jpg", "photo.jpg"}));
}

TEST(CopyEngine, ConflictModesForFoldersAndTheDeleteMeDance)
{
    CopyTree t("conflict-folders");
    WriteFile(t.source, QStringLiteral("Album/a.jpg"), "a");
    WriteFile(t.source, QStringLiteral("Album/sub/b.jpg"), "b");
    WriteFile(t.dest, QStringLiteral("Album/old.jpg"), "old");
    FileRef album = t.source.Child(QStringLiteral("Album"));

    EXPECT_EQ(CopyFileSystemObject(album, t.dest, 0, kConflictNone), dupFNErr);
    FileRef copy;
    ASSERT_EQ(CopyFileSystemObject(album, t.dest, 0, kConflictKeepBoth, {}, &copy), noErr);
    EXPECT_EQ(copy.Name(), QStringLiteral("Album copy 1"));

    // While the copy is made the old folder waits as ".DeleteMe"; afterwards it is gone.
    QStringList seenDuringCopy;
    auto filter = [&](const CopyFilterInfo&) {
        seenDuringCopy = TreeListing(t.dest);
        return false;
    };
    ASSERT_EQ(CopyFileSystemObject(album, t.dest, 0, kConflictReplace, filter, &copy), noErr);
    EXPECT_TRUE(seenDuringCopy.contains(QStringLiteral(".DeleteMe/old.jpg")));
    EXPECT_EQ(TreeListing(t.dest),
        QStringList({"Album/", "Album/a.jpg", "Album/sub/", "Album/sub/b.jpg", "Album copy 1/", "Album copy 1/a.jpg",
            "Album copy 1/sub/", "Album copy 1/sub/b.jpg"}));
}

TEST(CopyEngine, FailedCopyLeavesNoHalfMadeItemAndGivesTheReplacedItemItsNameBack)
{
    CopyTree t("failed");
    WriteFile(t.source, QStringLiteral("Album/1.jpg"), "1");
    WriteFile(t.source, QStringLiteral("Album/2.jpg"), "2");
    WriteFile(t.source, QStringLiteral("Album/3.jpg"), "3");
    WriteFile(t.dest, QStringLiteral("Album/keep.jpg"), "keep");
    FileRef album = t.source.Child(QStringLiteral("Album"));
    const QStringList sourceBefore = TreeListing(t.source);

    int calls = 0;
    auto stopAtSecondFile = [&](const CopyFilterInfo& info) { return info.depth == 2 && ++calls == 2; };
    for (SInt16 mode : {kConflictReplace, kConflictKeepBoth}) {
        calls = 0;
        EXPECT_EQ(CopyFileSystemObject(album, t.dest, 0, mode, stopAtSecondFile), kErrCopyCancelledByFilter);
        EXPECT_EQ(TreeListing(t.dest), QStringList({"Album/", "Album/keep.jpg"})) << "mode " << mode;
    }
    // A pipe cannot be copied: the copy stops there and nothing of it stays.
    ASSERT_EQ(::mkfifo((album.Path() + QLatin1String("/4.pipe")).toLocal8Bit().constData(), 0600), 0);
    EXPECT_EQ(CopyFileSystemObject(album, t.dest, 0, kConflictKeepBoth), notAFileErr);
    EXPECT_EQ(TreeListing(t.dest), QStringList({"Album/", "Album/keep.jpg"}));
    ::unlink((album.Path() + QLatin1String("/4.pipe")).toLocal8Bit().constData());
    EXPECT_EQ(TreeListing(t.source), sourceBefore);
}

TEST(CopyEngine, AFullDiskFailsTheCopyAndLeavesTheOldItemWhole)
{
    CopyTree t("fulldisk");
    WriteFile(t.source, QStringLiteral("big.jpg"), QByteArray(256 * 1024, 'b'));
    WriteFile(t.dest, QStringLiteral("big.jpg"), "the old copy");
    const QStringList destBefore = TreeListing(t.dest);
    const FileRef big = t.source.Child(QStringLiteral("big.jpg"));
    for (FullDisk kind : kFullDisks) {
        SCOPED_TRACE(FullDiskName(kind));
        const auto result = RunOnFullDisk(kind, t.dest.Path(), 64 * 1024,
            [&] { return qint32(CopyFileSystemObject(big, t.dest, 0, kConflictReplace)); });
        ASSERT_TRUE(result);
        EXPECT_NE(*result, noErr);
        EXPECT_EQ(TreeListing(t.dest), destBefore);
        EXPECT_EQ(ReadWholeFile(t.dest.Child(QStringLiteral("big.jpg")).Path()), QByteArray("the old copy"));
    }
}

TEST(CopyEngine, SymbolicLinksAreCopiedAsLinksAndNeverFollowed)
{
    CopyTree t("links");
    FileRef outside = WriteFile(t.root, QStringLiteral("outside/secret.txt"), "secret");
    WriteFile(t.source, QStringLiteral("Tree/a.txt"), "a");
    FileRef tree = t.source.Child(QStringLiteral("Tree"));
    ASSERT_EQ(::symlink("a.txt", (tree.Path() + QLatin1String("/to-a")).toLocal8Bit().constData()), 0);
    ASSERT_EQ(::symlink(outside.Parent().NativePath().constData(),
                  (tree.Path() + QLatin1String("/to-outside")).toLocal8Bit().constData()),
        0);

    FileRef copy;
    ASSERT_EQ(CopyFileSystemObject(tree, t.dest, 0, kConflictNone, {}, &copy), noErr);
    EXPECT_TRUE(copy.Child(QStringLiteral("to-a")).IsSymLink());
    EXPECT_TRUE(copy.Child(QStringLiteral("to-outside")).IsSymLink());
    EXPECT_FALSE(QFileInfo::exists(copy.Path() + QLatin1String("/to-outside/secret.txt"))
        && !QFileInfo(copy.Path() + QLatin1String("/to-outside")).isSymLink());
    EXPECT_EQ(QFile::symLinkTarget(copy.Path() + QLatin1String("/to-a")), copy.Path() + QLatin1String("/a.txt"));
}

TEST(CopyEngine, FolderIntoItselfFailsAndCreatesNothing)
{
    CopyTree t("inside");
    WriteFile(t.source, QStringLiteral("Album/sub/x.jpg"), "x");
    FileRef album = t.source.Child(QStringLiteral("Album"));
    const QStringList before = TreeListing(t.source);
    EXPECT_EQ(CopyFileSystemObject(album, album, 0, kConflictKeepBoth), kErrDestinationInsideSource);
    EXPECT_EQ(CopyFileSystemObject(album, album.Child(QStringLiteral("sub")), 0, kConflictKeepBoth),
        kErrDestinationInsideSource);
    EXPECT_EQ(TreeListing(t.source), before);
    EXPECT_EQ(CheckDestinationOutsideSource(album, t.dest), noErr);
    // A destination that is not a folder, a missing source.
    EXPECT_EQ(CopyFileSystemObject(album, t.source.Child(QStringLiteral("Album/sub/x.jpg"))), errFSNotAFolder);
    EXPECT_EQ(CopyFileSystemObject(t.source.Child(QStringLiteral("none")), t.dest), fnfErr);
}

TEST(CopyEngine, MaxLevelsLimitsTheDepth)
{
    CopyTree t("levels");
    WriteFile(t.source, QStringLiteral("Top/a.txt"), "a");
    WriteFile(t.source, QStringLiteral("Top/Sub/b.txt"), "b");
    FileRef copy;
    ASSERT_EQ(CopyFileSystemObject(t.source.Child(QStringLiteral("Top")), t.dest, 1, kConflictNone, {}, &copy), noErr);
    EXPECT_EQ(TreeListing(copy), QStringList({"a.txt"}));
}

TEST(CopyEngine, BufferSizeFollowsTheGradeWithinItsClamps)
{
    EXPECT_EQ(CopyBufferSizeForGrade(std::nullopt), 262144u);
    EXPECT_EQ(CopyBufferSizeForGrade(0), 262144u);
    EXPECT_EQ(CopyBufferSizeForGrade(100), 262144u);
    EXPECT_EQ(CopyBufferSizeForGrade(-2048 * 1000), 512000u);
    EXPECT_EQ(CopyBufferSizeForGrade(-100), 1024u); // (100 / 2048) x 512 = 0, clamped up
    EXPECT_EQ(CopyBufferSizeForGrade(-2147483647 - 1), 2097152u);
    UInt32 size = 0;
    CopyTree t("buffer");
    EXPECT_EQ(GetCopyBufferSize(t.source, t.dest, size), noErr);
    EXPECT_EQ(size, 262144u);
    EXPECT_EQ(GetCopyBufferSize(FileRef(), t.dest, size), paramErr);
}

TEST(MoveObject, ConflictModesReplaceKeepBothOrRefuseAsTheCopyDoes)
{
    FileRef root = FreshFolder(QStringLiteral("move"));
    FileRef media = root.Child(QStringLiteral("media"));
    QDir().mkpath(media.Path());
    FileRef existing = WriteFile(media, QStringLiteral("a.txt"), "existing");
    FileRef a = WriteFile(root, QStringLiteral("in/a.txt"), "moving");

    // Refused: both files stay as they were.
    for (SInt16 mode : {SInt16(kConflictNone), SInt16(7)}) {
        EXPECT_EQ(MoveObjectWithConflictMode(a, media, mode), dupFNErr) << "mode " << mode;
        EXPECT_EQ(ReadWholeFile(existing.Path()), QByteArray("existing"));
        EXPECT_EQ(ReadWholeFile(a.Path()), QByteArray("moving"));
    }

    FileRef moved;
    ASSERT_EQ(MoveObjectWithConflictMode(a, media, kConflictKeepBoth, &moved), noErr);
    EXPECT_EQ(moved.Name(), QStringLiteral("a copy 1.txt"));
    EXPECT_EQ(ReadWholeFile(moved.Path()), QByteArray("moving"));
    EXPECT_EQ(ReadWholeFile(existing.Path()), QByteArray("existing"));

    FileRef b = WriteFile(root, QStringLiteral("in/a.txt"), "second");
    ASSERT_EQ(MoveObjectWithConflictMode(b, media, kConflictReplace, &moved), noErr);
    EXPECT_EQ(moved, existing);
    EXPECT_EQ(ReadWholeFile(moved.Path()), QByteArray("second"));
    EXPECT_FALSE(b.Exists());
    EXPECT_EQ(TreeListing(media), QStringList({"a copy 1.txt", "a.txt"})) << "nothing set aside stays behind";

    // A folder in the way is replaced whole.
    WriteFile(media, QStringLiteral("Album/old.jpg"), "old");
    FileRef album = root.Child(QStringLiteral("in/Album"));
    WriteFile(album, QStringLiteral("new.jpg"), "new");
    ASSERT_EQ(MoveObjectWithConflictMode(album, media, kConflictReplace), noErr);
    EXPECT_EQ(TreeListing(media), QStringList({"Album/", "Album/new.jpg", "a copy 1.txt", "a.txt"}));
}

TEST(MoveObject, AFileMovedIntoItsOwnFolderStaysWhateverTheMode)
{
    FileRef root = FreshFolder(QStringLiteral("move-same"));
    FileRef a = WriteFile(root, QStringLiteral("media/a.txt"), "mine");
    for (SInt16 mode : {SInt16(kConflictReplace), SInt16(kConflictKeepBoth), SInt16(kConflictNone)}) {
        FileRef moved;
        EXPECT_EQ(MoveObjectWithConflictMode(a, root.Child(QStringLiteral("media")), mode, &moved), noErr);
        EXPECT_EQ(moved, a);
        EXPECT_EQ(TreeListing(root), QStringList({"media/", "media/a.txt"})) << "mode " << mode;
        EXPECT_EQ(ReadWholeFile(a.Path()), QByteArray("mine"));
    }
}

TEST(MoveObject, AFailedReplaceGivesTheReplacedItemItsNameBack)
{
    // A folder moved into its own subfolder, which holds an item of its name: the
    // item in the way is set aside, the move fails, and it must come back whole.
    FileRef root = FreshFolder(QStringLiteral("move-replace-back"));
    FileRef x = root.Child(QStringLiteral("X"));
    WriteFile(x, QStringLiteral("sub/X"), "the user's own");
    EXPECT_NE(MoveObjectWithConflictMode(x, x.Child(QStringLiteral("sub")), kConflictReplace), noErr);
    EXPECT_EQ(TreeListing(root), QStringList({"X/", "X/sub/", "X/sub/X"}));
    EXPECT_EQ(ReadWholeFile(x.Path() + QLatin1String("/sub/X")), QByteArray("the user's own"));
}

TEST(MoveObject, FailedMoveWithRenameGivesTheFileItsNameBack)
{
    FileRef root = FreshFolder(QStringLiteral("move-back"));
    FileRef a = WriteFile(root, QStringLiteral("in/a.txt"), "moving");
    // The destination "folder" is a file: the move fails after the clash is seen.
    FileRef notAFolder = WriteFile(root, QStringLiteral("dest"), "file");
    EXPECT_EQ(MoveObjectWithConflictMode(a, notAFolder, kConflictKeepBoth), errFSNotAFolder);
    EXPECT_EQ(TreeListing(root.Child(QStringLiteral("in"))), QStringList({"a.txt"}));

    // A folder moved into its own subfolder, which holds an item of its name: the clash
    // renames it "X copy 1", the move then fails (the subfolder moved with it), and the
    // folder must get its own name back.
    FileRef x = root.Child(QStringLiteral("in/X"));
    WriteFile(x, QStringLiteral("sub/X"), "clash");
    EXPECT_EQ(MoveObjectWithConflictMode(x, x.Child(QStringLiteral("sub")), kConflictKeepBoth), fnfErr);
    EXPECT_EQ(TreeListing(root.Child(QStringLiteral("in"))), QStringList({"X/", "X/sub/", "X/sub/X", "a.txt"}));
}

TEST(Aliases, ResolveAliasHandleAndAliasFiles)
{
    FileRef root = FreshFolder(QStringLiteral("alias-handle"));
    FileRef target = WriteFile(root, QStringLiteral("pics/a.jpg"), "a");
    EXPECT_EQ(ResolveAliasHandle(nullptr, nullptr, true), kMsgAliasUnresolved);

    FileRef aliasFile = root.Child(QStringLiteral("a.jpg alias"));
    ASSERT_EQ(CreateFinderAliasFile(target, aliasFile), noErr);
    EXPECT_EQ(QFile::symLinkTarget(aliasFile.Path()), target.Path());
    EXPECT_EQ(QFileInfo(aliasFile.Path()).symLinkTarget(), target.Path());
    EXPECT_EQ(CreateFinderAliasFile(target, aliasFile), dupFNErr);
}

TEST(CustomIcon, StoredAsResourceWithFlagAndRemovedAgain)
{
    FileRef root = FreshFolder(QStringLiteral("icon"));
    if (!HasXattrs(root))
        GTEST_SKIP() << "no extended attributes on the test folder's file system";
    FileRef file = WriteFile(root, QStringLiteral("a.jpg"), "a");
    QImage icon(16, 16, QImage::Format_ARGB32);
    icon.fill(Qt::blue);
    ASSERT_EQ(SetFileCustomIcon(file, &icon), noErr);
    FinderInfo info;
    ASSERT_EQ(ReadFinderInfo(file, info), noErr);
    EXPECT_TRUE(info.Flags() & kFinderFlagHasCustomIcon);
    QByteArray png;
    ASSERT_EQ(ReadFileResource(file, 'icns', kCustomIconResourceID, png), noErr);
    EXPECT_EQ(QImage::fromData(png).size(), QSize(16, 16));

    ASSERT_EQ(SetFileCustomIcon(file, nullptr), noErr);
    ASSERT_EQ(ReadFinderInfo(file, info), noErr);
    EXPECT_FALSE(info.Flags() & kFinderFlagHasCustomIcon);
    EXPECT_EQ(ReadFileResource(file, 'icns', kCustomIconResourceID, png), resNotFound);

    QImage broken;
    EXPECT_EQ(SetFileCustomIcon(file, &broken), paramErr);
    EXPECT_EQ(SetFileCustomIcon(root.Child(QStringLiteral("missing")), &icon), fnfErr);
}

TEST(DownloadFolder, FallsBackToPicturesAndRemembersItsAlias)
{
    SetPrefHandle(QStringLiteral("DownloadFolderAlias"), nullptr);
    FileRef folder = GetDownloadFolderRef();
    EXPECT_TRUE(folder.IsFolder());
    EXPECT_EQ(folder.Path(), QStandardPaths::writableLocation(QStandardPaths::PicturesLocation));
    QByteArray stored;
    ASSERT_TRUE(GetPrefHandle(QStringLiteral("DownloadFolderAlias"), stored));

    // A chosen folder that moves is found again and its alias rewritten.
    FileRef root = FreshFolder(QStringLiteral("downloads"));
    FileRef chosen = root.Child(QStringLiteral("Incoming"));
    QDir().mkpath(chosen.Path());
    QByteArray alias;
    ASSERT_EQ(NewAliasBytes(nullptr, chosen, alias), noErr);
    SetPrefHandle(QStringLiteral("DownloadFolderAlias"), alias);
    ASSERT_TRUE(QDir().rename(chosen.Path(), root.Path() + QLatin1String("/Renamed")));
    EXPECT_EQ(GetDownloadFolderRef().Path(), root.Path() + QLatin1String("/Renamed"));
    ASSERT_TRUE(GetPrefHandle(QStringLiteral("DownloadFolderAlias"), stored));
    EXPECT_NE(stored, alias);

    SetPrefHandle(QStringLiteral("DownloadFolderAlias"), QByteArray("garbage"));
    EXPECT_EQ(GetDownloadFolderRef().Path(), QStandardPaths::writableLocation(QStandardPaths::PicturesLocation));
}
