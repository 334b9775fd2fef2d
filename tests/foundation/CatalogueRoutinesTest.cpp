#include "CatalogueRoutines.h"
#include "FileErrors.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

TEST(CatalogueRoutines, CreatorAndTypeChangeOnFilesOnly)
{
    FileRef dir = FreshFolder(QStringLiteral("codes"));
    FileRef file = WriteFile(dir, QStringLiteral("a.jpg"), "x");
    if (SetExtendedAttribute(file, "user.orvex.probe", "1") != noErr)
        GTEST_SKIP() << "no extended attributes on the test folder's file system";
    EXPECT_EQ(ChangeCreatorAndType(dir, 'JWZ7', 'JPEG'), notAFileErr);
    FinderInfo none;
    EXPECT_EQ(ReadFinderInfo(dir, none), resNotFound);

    ASSERT_EQ(ChangeCreatorAndType(file, 0, 'PICT'), noErr);
    FinderInfo info;
    bool isFolder = true;
    ASSERT_EQ(GetFinderInfoOfFSRef(file, &info, &isFolder), noErr);
    EXPECT_FALSE(isFolder);
    EXPECT_EQ(info.Type(), OSType('PICT'));
    EXPECT_EQ(info.Creator(), 0u);
    ASSERT_EQ(ChangeCreatorAndType(file, 'JWZ7', 0), noErr);
    ASSERT_EQ(GetFinderInfoOfFSRef(file, &info), noErr);
    EXPECT_EQ(info.Type(), OSType('PICT'));
    EXPECT_EQ(info.Creator(), OSType('JWZ7'));

    ASSERT_EQ(ChangeFinderFlagsOfFSRef(dir, true, kFinderFlagHasBundle), noErr);
    ASSERT_EQ(GetFinderInfoOfFSRef(dir, &info, &isFolder), noErr);
    EXPECT_TRUE(isFolder);
    EXPECT_EQ(info.Flags(), kFinderFlagHasBundle);

    // A file without stored information still reports its type by name.
    FileRef plain = WriteFile(dir, QStringLiteral("b.tif"), "x");
    ASSERT_EQ(GetFinderInfoOfFSRef(plain, &info), noErr);
    EXPECT_EQ(info.Type(), OSType('TIFF'));
}

TEST(CatalogueRoutines, TouchTwiceWithinASecondMovesOneSecondOn)
{
    FileRef dir = FreshFolder(QStringLiteral("touch"));
    ASSERT_EQ(TouchContentModDate(dir), noErr);
    FileStat first;
    ASSERT_EQ(dir.Stat(first), noErr);
    ASSERT_EQ(TouchContentModDate(dir), noErr);
    FileStat second;
    ASSERT_EQ(dir.Stat(second), noErr);
    EXPECT_EQ(second.modificationSeconds, first.modificationSeconds + 1);
    EXPECT_EQ(TouchContentModDate(dir.Child(QStringLiteral("none"))), fnfErr);
}

TEST(CatalogueRoutines, FolderWalks)
{
    FileRef dir = FreshFolder(QStringLiteral("walk"));
    WriteFile(dir, QStringLiteral("a.jpg"), "a");
    WriteFile(dir, QStringLiteral("Sub/b.jpg"), "b");
    WriteFile(dir, QStringLiteral("Sub/Deeper/c.jpg"), "c");
    WriteFile(dir, QStringLiteral("Skip/d.jpg"), "d");

    QStringList seen;
    auto record = [&](const FolderWalkItem& item) {
        seen << QString::number(item.depth) + QLatin1Char(':') + item.ref.Name();
        return item.ref.Name() == QLatin1String("Skip");
    };
    ASSERT_EQ(IterateFolderTree(dir, 1, record), noErr);
    EXPECT_EQ(seen, QStringList({"1:Skip", "1:Sub", "1:a.jpg"}));
    seen.clear();
    ASSERT_EQ(IterateFolderTree(dir, 0, record), noErr);
    EXPECT_EQ(seen, QStringList({"1:Skip", "1:Sub", "2:Deeper", "3:c.jpg", "2:b.jpg", "1:a.jpg"}));
    EXPECT_EQ(IterateFolderTree(dir, 0, {}), paramErr);

    seen.clear();
    ASSERT_EQ(IterateFolderOfFSSpec(dir, 0,
                  [&](const FolderWalkItem& item, bool& stop) {
                      seen << item.ref.Name();
                      stop = item.ref.Name() == QLatin1String("Deeper");
                  }),
        noErr);
    EXPECT_EQ(seen, QStringList({"Skip", "d.jpg", "Sub", "Deeper"}));
    EXPECT_EQ(IterateFolderOfFSSpec(dir.Child(QStringLiteral("a.jpg")), 0, [](const FolderWalkItem&, bool&) {}),
        dirNFErr);
}

TEST(CatalogueRoutines, PathsParentsSizesAndComments)
{
    FileRef dir = FreshFolder(QStringLiteral("paths"));
    FileRef file = WriteFile(dir, QStringLiteral("a.jpg"), "12345");
    QString path;
    EXPECT_EQ(GetFullPathOfFSSpec(dir, path), noErr);
    EXPECT_EQ(path, dir.Path() + QLatin1Char('/'));
    EXPECT_EQ(GetFullPathOfFSSpec(dir.Child(QStringLiteral("none")), path), fnfErr);
    EXPECT_EQ(path, dir.Path() + QLatin1String("/none"));

    FileRef parent;
    ASSERT_EQ(GetParentFSRefBelowRoot(FileRef(QStringLiteral("/")), &parent), noErr);
    EXPECT_FALSE(parent.IsValid());
    ASSERT_EQ(GetParentFSRefBelowRoot(file, &parent), noErr);
    EXPECT_EQ(parent, dir);
    EXPECT_EQ(GetParentFSRef(file, nullptr), paramErr);

    SInt64 data = 0, rsrc = -1;
    ASSERT_EQ(GetFileSizesOfFSSpec(file, &data, &rsrc), noErr);
    EXPECT_EQ(data, 5);
    EXPECT_EQ(rsrc, 0);

    if (SetExtendedAttribute(file, "user.orvex.probe", "1") == noErr) {
        ASSERT_EQ(SetDTComment(file, QString(250, QLatin1Char('c'))), noErr);
        QString comment;
        ASSERT_EQ(ReadFinderComment(file, comment), noErr);
        EXPECT_EQ(comment, QString(200, QLatin1Char('c')));
    }
}
