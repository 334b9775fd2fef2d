#include "CFontMedia.h"

#include "ExceptionCode.h"
#include "FontFile.h"
#include "GraphicsExporter.h"
#include "TestSupport.h"
#include "ThemeColors.h"

#include <QFile>
#include <QImage>

#include <gtest/gtest.h>

namespace {

const QString kDejaVu = QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
const QString kCFF = QStringLiteral("/usr/share/fonts/opentype/urw-base35/NimbusSans-Regular.otf");

// DejaVu Sans renamed "OrvexV Sans" in its name table (same lengths, so nothing moves): a
// family no system has, which must be activated to be drawn.
QUrl UninstalledFont()
{
    QByteArray bytes = ReadWholeFile(kDejaVu);
    bytes.replace("DejaVu", "OrvexV");
    bytes.replace(QByteArray("D\0e\0j\0a\0V\0u", 11), QByteArray("O\0r\0v\0e\0x\0V", 11));
    const QString path = TestTempDir() + "/OrvexV.ttf";
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return QUrl::fromLocalFile(path);
}

QImage Drawn(CFontMedia& media, const Rect& bounds)
{
    EXPECT_EQ(media.SetBoundsRect(&bounds), noErr);
    Offscreen world(bounds);
    StOffscreenPort port(world);
    EXPECT_EQ(media.SetGWorld(port.Port()), noErr);
    EXPECT_EQ(media.Draw(), noErr);
    port.End();
    return world.Image();
}

int DarkPixels(const QImage& image, const QRect& area)
{
    int dark = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            dark += qGray(image.pixel(x, y)) < 100;
    return dark;
}

} // namespace

TEST(CFontMedia, ActivatesAnUninstalledFamilyForItsLifetime)
{
    const QUrl url = UninstalledFont();
    EXPECT_FALSE(IsFontFamilyKnown("OrvexV Sans"));
    bool has = true;
    EXPECT_EQ(FontFileHasFamily(url, &has), noErr);
    EXPECT_FALSE(has);
    {
        CFontMedia media(url);
        EXPECT_TRUE(media.ActivatedFile());
        EXPECT_EQ(media.GetFontName(), "OrvexV Sans");
        EXPECT_TRUE(IsFontFamilyKnown("OrvexV Sans"));
        EXPECT_EQ(FontFileHasFamily(url, &has), noErr);
        EXPECT_TRUE(has);
    }
    EXPECT_FALSE(IsFontFamilyKnown("OrvexV Sans"));
}

TEST(CFontMedia, FamiliesAlreadyActiveAreLeftAlone)
{
    for (const QString& path : { kDejaVu, kCFF }) {
        CFontMedia media(QUrl::fromLocalFile(path));
        EXPECT_FALSE(media.ActivatedFile());
        Rect natural;
        ASSERT_EQ(media.GetNaturalBounds(&natural), noErr);
        EXPECT_EQ(natural, MakeRect(0, 0, 2950, 2800));
    }
    EXPECT_TRUE(IsFontFamilyKnown("DejaVu Sans"));
}

TEST(CFontMedia, ThumbnailUpTo199WideSampleSheetBeyond)
{
    CFontMedia media(UninstalledFont());
    const QImage thumbnail = Drawn(media, MakeRect(0, 0, 199, 199));
    EXPECT_GT(DarkPixels(thumbnail, QRect(4, 4, 191, 150)), 300); // sample text in three sizes
    EXPECT_EQ(thumbnail.pixel(2, 190), GetColorRampEntry(3).rgb()); // the name band
    EXPECT_GT(DarkPixels(thumbnail, QRect(0, 177, 199, 22)), 20);   // the name in it

    const QImage sheet = Drawn(media, MakeRect(0, 0, 792, 612));
    EXPECT_GT(DarkPixels(sheet, QRect(44, 10, 560, 200)), 2000); // the alphabet rows
    EXPECT_LT(DarkPixels(sheet, QRect(44, 10, 560, 200)), 560 * 200 / 2);
    EXPECT_EQ(sheet.pixel(2, 780), GetColorRampEntry(3).rgb());
}

TEST(CFontMedia, ExportsAPageOfSamples)
{
    CFontMedia media(QUrl::fromLocalFile(kCFF));
    std::unique_ptr<GraphicsExporter> exporter;
    ASSERT_EQ(GraphicsExporter::Open('PNGf', exporter), noErr);
    const QString output = TestTempDir() + "/sheet.png";
    exporter->SetOutputFile(output);
    ASSERT_EQ(media.Export(exporter.get()), noErr);
    const QImage page(output);
    EXPECT_EQ(page.size(), QSize(612, 792));
    EXPECT_GT(DarkPixels(page, QRect(44, 10, 560, 200)), 2000);
}

TEST(CFontMedia, FilesThatAreNotFontsGiveCodes)
{
    const QString text = TestTempDir() + "/words.ttf";
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("only words");
    file.close();
    EXPECT_EQ(CatchCode([&] { CFontMedia media(QUrl::fromLocalFile(text)); }), codecBadDataErr); // damaged data, the file named
    EXPECT_EQ(CatchCode([&] { CFontMedia media(QUrl::fromLocalFile(TestTempDir() + "/none.otf")); }), fnfErr);
    EXPECT_EQ(ActivateFontFile(QUrl()), paramErr);
    bool has = true;
    EXPECT_EQ(FontFileHasFamily(QUrl::fromLocalFile(text), &has), noErr);
    EXPECT_FALSE(has);
}
