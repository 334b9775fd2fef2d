#include "HelpBook.h"

#include <gtest/gtest.h>

#include <QFile>

TEST(HelpBook, PagesAreCopiedOutWhereABrowserCanReadThem)
{
    FileRef folder;
    ASSERT_EQ(RegisterHelpBook(&folder), noErr);
    QUrl page = HelpPageURL(QStringLiteral("pgs/wr8.html"), QStringLiteral("recent"));
    ASSERT_TRUE(page.isLocalFile());
    EXPECT_EQ(page.fragment(), QStringLiteral("recent"));
    EXPECT_TRUE(page.toLocalFile().startsWith(folder.Path()));
    QFile copy(page.toLocalFile());
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_TRUE(copy.readAll().contains("<title>Orvex Help</title>"));
}

TEST(HelpBook, PagesOutsideTheBookOrMissingAreRefused)
{
    EXPECT_TRUE(HelpPageURL(QStringLiteral("pgs/none.html")).isEmpty());
    EXPECT_TRUE(HelpPageURL(QStringLiteral("../../../etc/passwd")).isEmpty());
    EXPECT_EQ(GotoHelpPage(QStringLiteral("pgs/none.html")), fnfErr);
}
