#include "FontFile.h"
#include "GraphicsErrors.h"

#include "ExceptionCode.h"
#include "FourCharCode.h"
#include "ResourceForkBytes.h"
#include "TestSupport.h"

#include <QFile>
#include <QFontDatabase>
#include <QImage>
#include <QPainter>
#include <QtEndian>

#include <gtest/gtest.h>

namespace {

const QString kDejaVu = QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
const QString kDejaVuBold = QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf");
const QString kCFF = QStringLiteral("/usr/share/fonts/opentype/urw-base35/NimbusSans-Regular.otf");

QString WriteFile(const QString& name, const QByteArray& bytes)
{
    const QString path = TestTempDir() + "/" + name;
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
}

// A TrueType collection of the given fonts: a 'ttcf' header, then each font's table
// directory and tables with their offsets counted from the start of the file.
QByteArray MakeCollection(const std::vector<QByteArray>& fonts)
{
    QByteArray out = BE32('ttcf') + BE32(0x00010000) + BE32(UInt32(fonts.size()));
    const int headerSize = 12 + 4 * int(fonts.size());
    QByteArray body;
    std::vector<UInt32> offsets;
    for (const QByteArray& font : fonts) {
        const int tables = qFromBigEndian<quint16>(font.constData() + 4);
        const int directorySize = 12 + 16 * tables;
        const UInt32 directoryAt = UInt32(headerSize + body.size());
        offsets.push_back(directoryAt);
        QByteArray directory = font.left(directorySize);
        QByteArray tableData;
        for (int t = 0; t < tables; ++t) {
            const char* entry = font.constData() + 12 + 16 * t;
            const UInt32 offset = qFromBigEndian<quint32>(entry + 8);
            const UInt32 length = qFromBigEndian<quint32>(entry + 12);
            const UInt32 newOffset = directoryAt + UInt32(directorySize + tableData.size());
            qToBigEndian(newOffset, directory.data() + 12 + 16 * t + 8);
            tableData += font.mid(offset, length);
            tableData += QByteArray((4 - tableData.size() % 4) % 4, '\0');
        }
        body += directory + tableData;
    }
    for (UInt32 offset : offsets)
        out += BE32(offset);
    return out + body;
}

// Draws `text` in the family and counts the pixels the glyphs darkened.
int InkedPixels(const QString& family)
{
    QImage image(300, 60, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    QFont font(family);
    font.setPixelSize(32);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(image.rect(), Qt::AlignCenter, QStringLiteral("Hamburgefonts"));
    painter.end();
    int inked = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            inked += qGray(image.pixel(x, y)) < 128;
    return inked;
}

OSStatus OpenStatus(const QString& path)
{
    return CatchCode([&] { FontFile::Open(path); });
}

} // namespace

TEST(FontFile, OpensOutlineFontsOfEachFlavour)
{
    struct Case {
        QString path;
        const char* family;
    };
    const QString collection = WriteFile("pair.ttc", MakeCollection({ ReadWholeFile(kDejaVu), ReadWholeFile(kDejaVuBold) }));
    const Case cases[] = { { kDejaVu, "DejaVu Sans" }, { kCFF, "Nimbus Sans" }, { collection, "DejaVu Sans" } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        const auto font = FontFile::Open(c.path);
        EXPECT_EQ(font->FamilyName(), c.family);
        EXPECT_FALSE(font->IsSuitcase());
        ASSERT_EQ(font->Outlines().size(), 1u);
        EXPECT_TRUE(IsFontFamilyKnown(font->FamilyName())); // installed system fonts
    }
}

TEST(FontFile, ActivatesForThisProgramAndDeactivatesCleanly)
{
    const QString path = WriteFile("Orvex Sample.otf", ReadWholeFile(kCFF));
    const auto font = FontFile::Open(path);
    const QString family = font->OutlineFamily();
    EXPECT_FALSE(IsFontFileActivated(path));

    ASSERT_EQ(ActivateFontFile(path), noErr);
    EXPECT_TRUE(IsFontFileActivated(path));
    EXPECT_TRUE(IsFontFamilyKnown(family));
    EXPECT_GT(InkedPixels(family), 200);

    ASSERT_EQ(ActivateFontFile(path), noErr); // counted twice
    EXPECT_EQ(DeactivateFontFile(path), noErr);
    EXPECT_TRUE(IsFontFileActivated(path));
    EXPECT_EQ(DeactivateFontFile(path), noErr);
    EXPECT_FALSE(IsFontFileActivated(path));
    EXPECT_EQ(DeactivateFontFile(path), fnfErr);
    EXPECT_EQ(ActivateFontFile(QString()), paramErr);
}

TEST(FontFile, SuitcasesFromTheirResourceMap)
{
    const QByteArray outlines = ReadWholeFile(kDejaVu);
    const QByteArray fork = MakeResourceFork({ { "FOND", 128, "Suitcase Sans", QByteArray(52, '\0') },
        { "sfnt", 128, "", outlines }, { "NFNT", 129, "", QByteArray(26, '\0') } });

    const auto resources = ParseResourceFork(fork);
    ASSERT_EQ(resources.size(), 3u);
    EXPECT_EQ(resources[0].type, OSType('FOND'));
    EXPECT_EQ(resources[0].id, 128);
    EXPECT_EQ(resources[0].name, "Suitcase Sans");
    EXPECT_EQ(resources[1].data, outlines);
    EXPECT_TRUE(resources[1].name.isEmpty());

    // In the data fork (.dfont) and in an AppleDouble file beside a suitcase.
    const auto dfont = FontFile::Open(WriteFile("Suitcase.dfont", fork));
    EXPECT_TRUE(dfont->IsSuitcase());
    EXPECT_EQ(dfont->FamilyName(), "Suitcase Sans");
    EXPECT_EQ(dfont->OutlineFamily(), "DejaVu Sans");

    const QByteArray appleDouble = MakeAppleDouble(fork);
    const QString suitcase = WriteFile("Suitcase", QByteArray());
    WriteFile("._Suitcase", appleDouble);
    EXPECT_EQ(FontFile::Open(suitcase)->FamilyName(), "Suitcase Sans");
}

TEST(FontFile, BadFontsGiveCodes)
{
    const QByteArray outlines = ReadWholeFile(kDejaVu);
    EXPECT_EQ(OpenStatus(TestTempDir() + "/missing.ttf"), fnfErr);
    EXPECT_EQ(OpenStatus(WriteFile("text.ttf", "not a font at all, only words")), codecBadDataErr);
    const ExceptionCode damaged = CatchException([] { FontFile::Open(TestTempDir() + "/text.ttf"); });
    EXPECT_NE(std::string(damaged.what()).find("text.ttf"), std::string::npos) << damaged.what();
    EXPECT_EQ(OpenStatus(WriteFile("cut.ttf", outlines.left(200))), badFormat);
    EXPECT_EQ(OpenStatus(WriteFile("nofond.dfont", MakeResourceFork({ { "sfnt", 128, "", outlines } }))), resNotFound);
    EXPECT_EQ(OpenStatus(WriteFile("bitmaps.dfont", MakeResourceFork({ { "FOND", 128, "Bitmaps", QByteArray(52, '\0') },
                                                       { "NFNT", 128, "", QByteArray(26, '\0') } }))),
        resNotFound);

    // Hostile maps: each length or offset beyond the bytes is refused.
    QByteArray fork = MakeResourceFork({ { "FOND", 128, "Name", QByteArray(8, '\0') } });
    const std::vector<std::pair<int, QByteArray>> damages = {
        { 4, BE32(0x7FFFFFF0) },          // map offset beyond the fork
        { 256, BE32(0x00FFFFFF) },        // resource length beyond the data area
    };
    for (const auto& [at, bytes] : damages) {
        QByteArray broken = fork;
        broken.replace(at, bytes.size(), bytes);
        EXPECT_EQ(OSStatus(CatchCode([&] { ParseResourceFork(broken); })), badFormat);
    }
    EXPECT_EQ(OSStatus(CatchCode([&] { ParseResourceFork(fork.left(fork.size() - 10)); })), badFormat);
}

TEST(FontFile, StrippedSampleFontsFailWithTheirCodes)
{
    // Metadata fixtures: the TrueType file lost its glyph tables, the suitcase has outlines
    // but no 'FOND' resource. Each must give its code, never a crash.
    EXPECT_EQ(OpenStatus(TestDataPath("exiftool-images/Font.ttf")), badFormat);
    EXPECT_EQ(OpenStatus(TestDataPath("exiftool-images/Font.dfont")), resNotFound);
    const auto resources = ParseResourceFork(ReadWholeFile(TestDataPath("exiftool-images/Font.dfont")));
    ASSERT_FALSE(resources.empty());
    EXPECT_EQ(resources[0].type, OSType('sfnt'));
}
