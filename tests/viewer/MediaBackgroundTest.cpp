#include "MediaBackground.h"

#include "Preferences.h"
#include "ResourceUtilities.h"
#include "UResources.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>

namespace {

class MediaBackgroundTest : public ::testing::Test {
protected:
    void SetUp() override { ForgetMediaBackgroundPattern(); }
    void TearDown() override
    {
        SetPrefNumber(QStringLiteral("MediaPatternID"), kFallbackMediaPattern);
        ForgetMediaBackgroundPattern();
    }
    static ThemeColours ColoursOf(ResIDT id)
    {
        ThemeColours colours;
        EXPECT_TRUE(ReadThemeColours(GetResourceData('clut', id), colours));
        return colours;
    }
};

TEST_F(MediaBackgroundTest, TheChosenPatternComesWithItsColours)
{
    SetPrefNumber(QStringLiteral("MediaPatternID"), 138);
    const PixPattern& pattern = GetMediaBackgroundPattern();
    ASSERT_FALSE(pattern.IsNull());
    EXPECT_EQ(pattern.Tile(1).pixel(0, 0), GetPixPat(138).Tile(1).pixel(0, 0));
    EXPECT_EQ(GetMediaBackgroundColours(), ColoursOf(138));

    SetPrefNumber(QStringLiteral("MediaPatternID"), kPlainMediaBackground); // the plain colour has no pattern
    EXPECT_TRUE(GetMediaBackgroundPattern().IsNull());
}

TEST_F(MediaBackgroundTest, AMissingPatternStandsInForThisRunAndTheChoiceIsKept)
{
    for (SInt32 missing : { 9999, 70000, -5 }) {
        SetPrefNumber(QStringLiteral("MediaPatternID"), missing);
        const PixPattern& pattern = GetMediaBackgroundPattern();
        ASSERT_FALSE(pattern.IsNull()) << missing;
        EXPECT_EQ(pattern.Tile(1).pixel(0, 0), GetPixPat(kFallbackMediaPattern).Tile(1).pixel(0, 0));
        EXPECT_EQ(GetMediaBackgroundColours(), ColoursOf(kFallbackMediaPattern));
        EXPECT_EQ(GetPrefNumber(QStringLiteral("MediaPatternID")), missing);
    }
}

TEST_F(MediaBackgroundTest, AColourTableShortOfSixColoursLeavesTheColoursAsTheyWere)
{
    // A pattern of the user's own beside a table of two colours.
    const QString folder = TestTempDir() + QStringLiteral("/patterns");
    QDir().mkpath(folder);
    QImage tile(8, 8, QImage::Format_RGB32);
    tile.fill(Qt::darkMagenta);
    ASSERT_TRUE(tile.save(folder + QStringLiteral("/ppat-3000.png")));
    QFile table(folder + QStringLiteral("/clut-3000.bin"));
    ASSERT_TRUE(table.open(QIODevice::WriteOnly));
    table.write(QByteArray(12, '\x7f'));
    table.close();
    UResources::AddFolder(QStringLiteral("patterns"), folder);
    UResources::AddFolder(QStringLiteral("data"), folder);

    SetPrefNumber(QStringLiteral("MediaPatternID"), 135);
    GetMediaBackgroundPattern();
    SetPrefNumber(QStringLiteral("MediaPatternID"), 3000);
    const PixPattern& pattern = GetMediaBackgroundPattern();
    ASSERT_FALSE(pattern.IsNull());
    EXPECT_EQ(QColor(pattern.Tile(1).pixel(0, 0)), QColor(Qt::darkMagenta));
    EXPECT_EQ(GetMediaBackgroundColours(), ColoursOf(135));
}

} // namespace
