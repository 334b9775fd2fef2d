#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

// Every test writes into a folder of its own: what one test leaves behind is gone
// before the next one starts, also when a whole test program runs in one process.

namespace {
QString gEarlierFolder;
}

TEST(TestFolders, EachTestHasAnEmptyFolderOfItsOwn)
{
    const QString folder = TestTempDir();
    ASSERT_TRUE(QDir(folder).exists());
    EXPECT_TRUE(QDir(folder).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
    QFile leftover(folder + QStringLiteral("/none.jpg"));
    ASSERT_TRUE(leftover.open(QIODevice::WriteOnly));
    leftover.write("left behind");
    gEarlierFolder = folder;
}

TEST(TestFolders, ALaterTestSeesNothingAnEarlierOneLeft)
{
    const QString folder = TestTempDir();
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/none.jpg")));
    EXPECT_TRUE(QDir(folder).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
    if (!gEarlierFolder.isEmpty()) {
        EXPECT_NE(folder, gEarlierFolder);
        EXPECT_FALSE(QDir(gEarlierFolder).exists());
    }
}
