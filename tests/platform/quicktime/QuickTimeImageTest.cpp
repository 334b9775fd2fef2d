#include "GraphicsImporter.h"
#include "ImageTestSupport.h"
#include "LStream.h"
#include "PString.h"

#include <gtest/gtest.h>

#include <QBuffer>

// QuickTime Image files: an 'idsc' atom (the image description) and an 'idat' atom
// (the image in that description's codec), laid out by hand.

namespace {

QByteArray Atom(const char* type, const QByteArray& body)
{
    LDataStream s;
    s.WriteUInt32(UInt32(8 + body.size()));
    s.WriteBytes(QByteArray(type, 4));
    s.WriteBytes(body);
    return s.TakeData();
}

// The 86-byte image description record.
QByteArray Description(const char* codec, int width, int height, int depth, const QByteArray& name)
{
    LDataStream s;
    s.WriteUInt32(86);
    s.WriteBytes(QByteArray(codec, 4));
    s.WriteUInt32(0); // reserved
    s.WriteUInt16(0);
    s.WriteUInt16(0); // data reference index
    s.WriteUInt16(1); // version
    s.WriteUInt16(1); // revision
    s.WriteBytes("appl"); // vendor
    s.WriteUInt32(0); // temporal quality
    s.WriteUInt32(0x200); // spatial quality: normal
    s.WriteUInt16(UInt16(width));
    s.WriteUInt16(UInt16(height));
    s.WriteUInt32(144u << 16); // 144 dpi
    s.WriteUInt32(144u << 16);
    s.WriteUInt32(0); // data size
    s.WriteUInt16(1); // frame count
    QByteArray pascal(32, '\0');
    pascal[0] = char(name.size());
    pascal.replace(1, name.size(), name);
    s.WriteBytes(pascal);
    s.WriteUInt16(UInt16(depth));
    s.WriteUInt16(0xFFFF); // no colour table
    return s.TakeData();
}

QByteArray Encoded(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, 95);
    return bytes;
}

OSStatus OpenStatus(const QByteArray& file)
{
    std::unique_ptr<GraphicsImporter> importer;
    return GraphicsImporter::OpenData(file, 'qtif', importer);
}

} // namespace

TEST(QuickTimeImage, JpegAndPngDataAreReadByTheirReadersUnderTheFilesOwnDescription)
{
    const QImage picture = Quadrants(120, 80);
    for (const auto& [codec, format, name] : { std::tuple { "jpeg", "JPG", QByteArray("Photo - JPEG") },
             std::tuple { "png ", "PNG", QByteArray("PNG") } }) {
        SCOPED_TRACE(codec);
        const QByteArray file = Atom("idsc", Description(codec, 120, 80, 24, name)) + Atom("idat", Encoded(picture, format));
        const QString path = TempFile(QStringLiteral("picture.qti"));
        ASSERT_TRUE(WriteBytes(path, file));
        std::unique_ptr<GraphicsImporter> importer;
        ASSERT_EQ(GraphicsImporter::OpenFile(path, 0, importer), noErr);
        Rect natural;
        ASSERT_EQ(importer->GetNaturalBounds(&natural), noErr);
        EXPECT_EQ(natural, MakeRect(0, 0, 80, 120));
        QImage back;
        ASSERT_EQ(importer->DecodeImage(QSize(), back), noErr);
        EXPECT_TRUE(Near(back.pixel(3, 3), Qt::red));
        EXPECT_TRUE(Near(back.pixel(116, 76), Qt::yellow));
        ImageDescription described;
        ASSERT_EQ(importer->GetImageDescription(described), noErr);
        EXPECT_EQ(described.cType, OSType(QByteArray(codec, 4).toHex().toUInt(nullptr, 16)));
        EXPECT_EQ(PStringToQString(described.name.Data()), QString::fromLatin1(name));
        EXPECT_NEAR(FixedToDouble(described.hRes), 144.0, 0.05); // the description's, not the JPEG's 96 dpi
    }
}

TEST(QuickTimeImage, UncompressedPixelsAreReadRowByRow)
{
    // 3 x 2 pixels of 24-bit RGB, each row padded to 10 bytes.
    const QByteArray rows = QByteArray::fromHex("ff0000 00ff00 0000ff 0000"
                                                "ffffff 000000 808080 0000");
    const QByteArray file = Atom("idsc", Description("raw ", 3, 2, 24, "None")) + Atom("idat", rows);
    std::unique_ptr<GraphicsImporter> importer;
    ASSERT_EQ(GraphicsImporter::OpenData(file, 'qtif', importer), noErr);
    QImage back;
    ASSERT_EQ(importer->DecodeImage(QSize(), back), noErr);
    ASSERT_EQ(back.size(), QSize(3, 2));
    EXPECT_EQ(back.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(back.pixel(2, 0), qRgb(0, 0, 255));
    EXPECT_EQ(back.pixel(2, 1), qRgb(128, 128, 128));
}

TEST(QuickTimeImage, DamagedOrForeignFilesGiveCodes)
{
    const QByteArray jpeg = Encoded(Quadrants(16, 16), "JPG");
    const QByteArray description = Atom("idsc", Description("jpeg", 16, 16, 24, "Photo - JPEG"));
    EXPECT_EQ(OpenStatus(description + Atom("idat", jpeg)), noErr);
    EXPECT_EQ(OpenStatus(Atom("idat", jpeg) + description), noErr); // atoms in either order

    EXPECT_EQ(OpenStatus(description), codecBadDataErr); // no data
    EXPECT_EQ(OpenStatus(Atom("idat", jpeg)), codecBadDataErr); // no description
    QByteArray oversized = description + Atom("idat", jpeg);
    oversized[description.size() + 1] = char(0x7F); // the data atom claims far more than is there
    EXPECT_EQ(OpenStatus(oversized), codecBadDataErr);
    EXPECT_EQ(OpenStatus(Atom("idsc", Description("jpeg", 16, 16, 24, "x").left(40)) + Atom("idat", jpeg)),
        codecBadDataErr);
    EXPECT_EQ(OpenStatus(Atom("idsc", Description("rpza", 16, 16, 16, "Video")) + Atom("idat", jpeg)), cantFindHandler);
    EXPECT_EQ(OpenStatus(Atom("idsc", Description("raw ", 16, 16, 24, "None")) + Atom("idat", QByteArray(20, '\0'))),
        codecBadDataErr);
    // A QuickTime Image nested in its own data is refused, however deep.
    QByteArray nested = description + Atom("idat", jpeg);
    for (int i = 0; i < 2000; ++i)
        nested = description + Atom("idat", nested);
    EXPECT_EQ(OpenStatus(nested), codecBadDataErr);
}

TEST(QuickTimeImage, EveryCutGivesAPictureOrACode)
{
    const QByteArray file = Atom("idsc", Description("png ", 16, 16, 24, "PNG")) + Atom("idat", Encoded(Quadrants(16, 16), "PNG"));
    for (qsizetype cut = 0; cut < file.size(); ++cut) {
        std::unique_ptr<GraphicsImporter> importer;
        const OSStatus status = GraphicsImporter::OpenData(file.left(cut), 'qtif', importer);
        if (status != noErr) {
            EXPECT_TRUE(status == codecBadDataErr || status == cantFindHandler) << cut << " " << status;
            continue;
        }
        QImage back;
        importer->DecodeImage(QSize(), back); // a cut picture may draw in part or fail: never crash
    }
}
