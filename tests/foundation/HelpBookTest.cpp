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

TEST(HelpBook, EveryPageTheProgramOpensIsThereWithItsAnchor)
{
    const std::pair<const char*, const char*> pages[] = { { "pgs/wr8.html", "" }, { "pgs/wr3.html", "MediaView" },
        { "pgs/wr3.html", "ListView" }, { "pgs/wr5.html", "" }, { "pgs/wr6.html", "" },
        { "pgs/wr10.html", "ThumbnailView" }, { "pgs/wr10.html", "ThumbnailViewExtended" } };
    for (const auto& [page, anchor] : pages) {
        QUrl url = HelpPageURL(QString::fromLatin1(page));
        ASSERT_FALSE(url.isEmpty()) << page;
        QFile file(url.toLocalFile());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        if (*anchor)
            EXPECT_TRUE(file.readAll().contains(QByteArray("id=\"") + anchor + '"')) << page << "#" << anchor;
    }
}

TEST(HelpBook, PagesOutsideTheBookOrMissingAreRefused)
{
    EXPECT_TRUE(HelpPageURL(QStringLiteral("pgs/none.html")).isEmpty());
    EXPECT_TRUE(HelpPageURL(QStringLiteral("../../../etc/passwd")).isEmpty());
    EXPECT_EQ(GotoHelpPage(QStringLiteral("pgs/none.html")), fnfErr);
}
