#include "MovieAtomReader.h"

#include "ExceptionCode.h"

#include <gtest/gtest.h>

namespace {

QByteArray BE32(UInt32 v)
{
    QByteArray b;
    for (int shift = 24; shift >= 0; shift -= 8)
        b.append(char((v >> shift) & 0xFF));
    return b;
}

QByteArray BE16(UInt16 v)
{
    return QByteArray().append(char(v >> 8)).append(char(v & 0xFF));
}

QByteArray Atom(const QByteArray& type, const QByteArray& payload)
{
    return BE32(UInt32(8 + payload.size())) + type + payload;
}

QByteArray Copyright(const char* letters)
{
    return QByteArray("\xA9") + letters;
}

constexpr OSType CType(const char* letters)
{
    return (OSType(0xA9) << 24) | (OSType((unsigned char)letters[0]) << 16) | (OSType((unsigned char)letters[1]) << 8)
        | OSType((unsigned char)letters[2]);
}

// A version 0 movie header: times, scale 600, duration, rate, volume, matrix, poster time.
QByteArray MovieHeaderV0(UInt32 scale, UInt32 duration, UInt32 poster)
{
    QByteArray p = BE32(0) + BE32(0xBF210B4A) + BE32(0xBF210B4A) + BE32(scale) + BE32(duration);
    p += BE32(0x00010000) + BE16(0x0100) + QByteArray(10, '\0') + QByteArray(36, '\0');
    p += BE32(0) + BE32(0) + BE32(poster) + BE32(0) + BE32(0) + BE32(0) + BE32(2);
    return Atom("mvhd", p);
}

QByteArray Text(const QByteArray& bytes, UInt16 language = 0)
{
    return BE16(UInt16(bytes.size())) + BE16(language) + bytes;
}

} // namespace

TEST(MovieAtomReader, ReadsHeaderAndQuickTimeTextItems)
{
    const QByteArray udta = Atom("udta", Atom(Copyright("nam"), Text("Holiday")) + Atom("WLOC", BE16(10) + BE16(20)) + BE32(0));
    const QByteArray file = Atom("ftyp", "qt  " + BE32(0)) + Atom("moov", MovieHeaderV0(600, 1200, 300) + udta)
        + Atom("mdat", QByteArray(16, 'x'));

    const MovieHeaderAtoms atoms = ParseMovieHeaderAtoms(file);
    EXPECT_TRUE(atoms.foundMovieHeader);
    EXPECT_EQ(atoms.timeScale, 600u);
    EXPECT_EQ(atoms.duration, 1200u);
    EXPECT_EQ(atoms.posterTime, 300u);
    ASSERT_EQ(atoms.userData.size(), 2u);
    EXPECT_EQ(atoms.userData[0].type, CType("nam"));
    EXPECT_EQ(atoms.userData[0].data, Text("Holiday"));
    EXPECT_EQ(UserDataTextFromPayload(atoms.userData[0].data), "Holiday");
    EXPECT_EQ(atoms.userData[1].type, OSType('WLOC'));
    EXPECT_EQ(atoms.userData[1].data, BE16(10) + BE16(20));
}

TEST(MovieAtomReader, ReadsVersion1HeaderAndLargeSizes)
{
    QByteArray p = BE32(0x01000000) + QByteArray(16, '\0') + BE32(90000) + BE32(0) + BE32(180000);
    p += BE32(0x00010000) + BE16(0x0100) + QByteArray(10, '\0') + QByteArray(36, '\0');
    p += BE32(0) + BE32(0) + BE32(45000) + QByteArray(16, '\0');
    const QByteArray mvhd = Atom("mvhd", p);
    // The 'moov' atom with a 64-bit size, then a last atom whose size 0 runs to the end.
    const QByteArray moov = BE32(1) + "moov" + BE32(0) + BE32(UInt32(16 + mvhd.size())) + mvhd;
    const QByteArray file = moov + BE32(0) + "mdat" + QByteArray(20, 'y');

    const MovieHeaderAtoms atoms = ParseMovieHeaderAtoms(file);
    EXPECT_EQ(atoms.timeScale, 90000u);
    EXPECT_EQ(atoms.duration, 180000u);
    EXPECT_EQ(atoms.posterTime, 45000u);
}

TEST(MovieAtomReader, MapsMetadataItemsToCopyrightTypes)
{
    // iTunes-style: a full 'meta' atom in 'udta' with an item list of UTF-8 'data' atoms.
    const QByteArray data = Atom("data", BE32(1) + BE32(0) + QByteArray("Zoë"));
    const QByteArray ilst = Atom("ilst", Atom(Copyright("day"), data) + Atom("cpil", Atom("data", BE32(21) + BE32(0) + "\x01")));
    const QByteArray meta = Atom("meta", BE32(0) + Atom("hdlr", QByteArray(25, '\0')) + ilst);
    // QuickTime-style: a plain 'meta' atom in 'moov' whose items are keyed by 'keys'.
    const QByteArray keys = Atom("keys", BE32(0) + BE32(2) + Atom("mdta", "com.apple.quicktime.make")
            + Atom("mdta", "com.apple.quicktime.location.ISO6709"));
    const QByteArray list = Atom("ilst", Atom(BE32(1), Atom("data", BE32(1) + BE32(0) + "Apple"))
            + Atom(BE32(2), Atom("data", BE32(1) + BE32(0) + "+48.85+002.29/")));
    const QByteArray qtMeta = Atom("meta", Atom("hdlr", QByteArray(25, '\0')) + keys + list);
    const QByteArray file = Atom("moov", MovieHeaderV0(1000, 5000, 0) + Atom("udta", meta) + qtMeta);

    const auto items = ParseMovieHeaderAtoms(file).userData;
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].type, CType("day"));
    EXPECT_EQ(UserDataTextFromPayload(items[0].data), QString::fromUtf8("Zoë"));
    EXPECT_EQ(items[0].data, Text("Zo\x91")); // Mac Roman, language 0
    EXPECT_EQ(items[1].type, CType("mak"));
    EXPECT_EQ(UserDataTextFromPayload(items[1].data), "Apple");
    EXPECT_EQ(items[2].type, CType("xyz"));
}

TEST(MovieAtomReader, RejectsHostileSizes)
{
    const QByteArray header = MovieHeaderV0(600, 600, 0);
    const QByteArray oversizedChild = BE32(0xFFFFFFF0) + Copyright("nam") + Text("x");
    const QByteArray cases[] = {
        Atom("moov", header + Atom("udta", oversizedChild)),                 // child larger than its parent
        Atom("moov", header + BE32(4) + "udta"),                              // size smaller than a header
        BE32(1) + "moov" + BE32(0x7FFFFFFF) + BE32(0xFFFFFF00) + header,      // 64-bit size beyond the file
        Atom("moov", header).left(40),                                        // cut short
        Atom("moov", Atom("mvhd", BE32(0) + BE32(0))),                        // header too short
        Atom("free", QByteArray(8, '\0')),                                    // no movie at all
        Atom("moov", header + Atom("meta", Atom("keys", BE32(0) + BE32(1) + BE32(0x7FFFFFFF) + "mdta"))),
    };
    for (const QByteArray& bytes : cases) {
        try {
            ParseMovieHeaderAtoms(bytes);
            ADD_FAILURE() << "accepted " << bytes.toHex().constData();
        } catch (const ExceptionCode& e) {
            EXPECT_TRUE(e.Code() == invalidMovie || e.Code() == eofErr) << e.what();
        }
    }
}

TEST(MovieAtomReader, TextPayloadsInBothEncodings)
{
    EXPECT_EQ(MakeUserDataTextPayload("caf\u00e9"), Text("caf\x8E"));
    const QByteArray japanese = MakeUserDataTextPayload(QString::fromUtf8("日本"));
    EXPECT_EQ(japanese, Text("") + Text(QByteArray("日本"), 0x55C4));
    EXPECT_EQ(UserDataTextFromPayload(Text("Zo\x91") + Text("x", 0x15C7)), "x");
    EXPECT_EQ(UserDataTextFromPayload(japanese), QString::fromUtf8("日本"));
    EXPECT_TRUE(UserDataTextFromPayload(BE16(40) + BE16(0) + "short").isNull());
    // Unicode-only items (as current writers make them) gain the Mac entry readers ask for.
    EXPECT_EQ(WithMacTextEntry(Text("Zo\xC3\xAB", 0x55C4)), Text("Zo\x91") + Text("Zo\xC3\xAB", 0x55C4));
    EXPECT_EQ(WithMacTextEntry(Text("Holiday")), Text("Holiday"));
    EXPECT_EQ(WithMacTextEntry(BE16(90) + "x"), BE16(90) + "x");
    EXPECT_TRUE(UserDataTextFromPayload("ab").isNull());
    EXPECT_EQ(UserDataTypeForTagKey("TITLE"), CType("nam"));
    EXPECT_EQ(UserDataTypeForTagKey("comment"), CType("cmt"));
    EXPECT_EQ(UserDataTypeForTagKey("major_brand"), 0u);
}

TEST(MovieAtomReader, ReadsTheSampleQuickTimeFile)
{
    const MovieHeaderAtoms atoms = ReadMovieHeaderAtoms(QStringLiteral(ORVEX_TESTDATA_DIR "/exiftool-images/QuickTime.mov"));
    EXPECT_EQ(atoms.timeScale, 600u);
    EXPECT_EQ(atoms.duration, 2980u);
    bool artist = false;
    bool comment = false;
    for (const auto& item : atoms.userData) {
        const QString text = UserDataTextFromPayload(item.data);
        artist |= item.type == CType("ART") && text == QString::fromUtf8("årtist");
        comment |= item.type == CType("cmt") && text == QString::fromUtf8("çømménts");
    }
    EXPECT_TRUE(artist);
    EXPECT_TRUE(comment);
}
