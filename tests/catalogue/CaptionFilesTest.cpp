// Captions of real files in the character sets they were written in: read into
// the record's Mac Roman, kept whole where Mac Roman lacks a character, and
// written back as UTF-8.

#include "CANPAInfo.h"
#include "CIndexItem.h"
#include "CItemError.h"
#include "ExceptionCode.h"
#include "ExivTestFiles.h"
#include "ExtendedAttributes.h"
#include "FieldKeys.h"
#include "FileRef.h"
#include "IIMText.h"
#include "IPTCFileWriter.h"
#include "ReadOnlyFile.h"
#include "UserData.h"

namespace {

const QByteArray kZurichMacRoman("Z\x9Frich");

QByteArray Bytes(const LStr255& text)
{
    return text.Bytes();
}

Str255 CaptionStr(const QString& text)
{
    Str255 out;
    out.AssignBytes(IIMText::CaptionBytesFromText(text));
    return out;
}

CANPAInfo CaptionOf(const QString& path)
{
    return CANPAInfo(QUrl::fromLocalFile(path));
}

} // namespace

TEST(CaptionCharsets, ReadsByTheDeclaredSetOrByTheBytes)
{
    if (!HasExivTool())
        GTEST_SKIP() << "exiv2 is not installed";
    // Declared UTF-8, undeclared UTF-8 and undeclared Latin-1 all read as the same text.
    const QString declared = SampleWithExivCommands("declared.jpg",
        "set Iptc.Envelope.CharacterSet String \x1B%G\n"
        "set Iptc.Application2.City String Z\xC3\xBCrich\n");
    const QString utf8 = SampleWithExivCommands("utf8.jpg", "set Iptc.Application2.City String Z\xC3\xBCrich\n");
    const QString latin1 = SampleWithExivCommands("latin1.jpg",
        "set Iptc.Application2.City String Z\xFCrich\n"
        "add Iptc.Application2.Keywords String K\xF6ln\n"
        "set Iptc.Application2.Caption String \x93Quoted\x94 \x80 5\n");
    for (const QString& path : {declared, utf8, latin1})
        EXPECT_EQ(Bytes(CaptionOf(path).GetCity()), kZurichMacRoman) << path.toStdString();

    // Keywords search and sort as the words they are.
    const CANPAInfo fromLatin1 = CaptionOf(latin1);
    EXPECT_TRUE(fromLatin1.HasKeyword(Str255("K\x9Aln")));
    // Windows-1252 quotes and euro sign, which Latin-1 leaves as control codes.
    ASSERT_NE(fromLatin1.GetCaption(), nullptr);
    EXPECT_EQ(IIMText::TextFromCaptionBytes(*fromLatin1.GetCaption()), QString::fromUtf8("“Quoted” € 5"));

    // A Latin-1 declaration wins over bytes that happen to be valid UTF-8.
    const QString declaredLatin1 = SampleWithExivCommands("declared-latin1.jpg",
        "set Iptc.Envelope.CharacterSet String \x1B-A\n"
        "set Iptc.Application2.City String \xC3\xBC\n");
    EXPECT_EQ(IIMText::TextFromCaptionBytes(Bytes(CaptionOf(declaredLatin1).GetCity())), QString::fromUtf8("Ã¼"));
}

TEST(CaptionCharsets, CharactersMacRomanLacksAreKept)
{
    if (!HasExivTool())
        GTEST_SKIP() << "exiv2 is not installed";
    const QString text = QString::fromUtf8("Łódź 東京 🙂");
    const QString path = SampleWithExivCommands("cjk.jpg",
        "set Iptc.Envelope.CharacterSet String \x1B%G\n"
        "set Iptc.Application2.Headline String " + text.toUtf8() + "\n");
    const CANPAInfo caption = CaptionOf(path);
    const QByteArray stored = Bytes(caption.GetHeadline());
    // Mac Roman where it has the letter, a reference where it has none.
    EXPECT_EQ(stored, QByteArray("&#x141;\x97" "d&#x17A; &#x6771;&#x4EAC; &#x1F642;"));
    EXPECT_EQ(IIMText::TextFromCaptionBytes(stored), text);

    // The item shows the text itself.
    CIndexItem item{FileRef(path)};
    EXPECT_EQ(item.CopyFieldString(kFieldHeadline, 0), text);

    // A reference to a character Mac Roman has is text as typed.
    EXPECT_EQ(IIMText::TextFromCaptionBytes("&#x41; &#xFC; &#x4EAC &#x;"), QStringLiteral("&#x41; &#xFC; &#x4EAC &#x;"));
}

TEST(CaptionCharsets, TextThatLooksLikeAReferenceStaysText)
{
    // Each text comes back as it was; an "&" is written as a reference only where
    // a reference would otherwise be read.
    const struct {
        const char* text;
        QByteArray bytes;
    } cases[] = {
        {"&#x4E2D;", "&#x26;#x4E2D;"},
        {"&#x26;", "&#x26;#x26;"},
        {"&&#x141; &#x1F642;", "&&#x26;#x141; &#x26;#x1F642;"},
        {"Tom & Jerry &#x41; &#x4e2d; &#x; &", "Tom & Jerry &#x41; &#x4e2d; &#x; &"},
        {"\xE4\xB8\xAD & \xC3\xA9", "&#x4E2D; & \x8E"},
    };
    for (const auto& c : cases) {
        const QString text = QString::fromUtf8(c.text);
        SCOPED_TRACE(c.text);
        EXPECT_EQ(IIMText::CaptionBytesFromText(text), c.bytes);
        EXPECT_EQ(IIMText::TextFromCaptionBytes(c.bytes), text);
    }
    // Bytes an index holds already read as they always did.
    EXPECT_EQ(IIMText::TextFromCaptionBytes("Tom & Jerry &#x4E2D;"), QString::fromUtf8("Tom & Jerry \xE4\xB8\xAD"));
    // The reference to "&" is one character: kept whole or left out.
    EXPECT_EQ(IIMText::CutCaptionBytes("ab&#x26;#x4E2D;", 7), QByteArray("ab"));
    EXPECT_EQ(IIMText::CutCaptionBytes("ab&#x26;#x4E2D;", 8), QByteArray("ab&#x26;"));

    // A file's text that looks like a reference is read as the text it is.
    if (!HasExivTool())
        GTEST_SKIP() << "exiv2 is not installed";
    const QString path = SampleWithExivCommands("literal.jpg", "set Iptc.Application2.Headline String &#x4E2D; & more\n");
    CIndexItem item{FileRef(path)};
    EXPECT_EQ(item.CopyFieldString(kFieldHeadline, 0), QStringLiteral("&#x4E2D; & more"));
}

TEST(CaptionCharsets, CuttingNeverSplitsACharacter)
{
    if (!HasExivTool())
        GTEST_SKIP() << "exiv2 is not installed";
    // 252 letters and a Chinese character: its reference does not fit the 255 bytes and goes whole.
    const QByteArray head(252, 'a');
    const QByteArray umlauts = QString(300, QChar(0xFC)).toUtf8(); // 600 bytes of UTF-8
    const QString path = SampleWithExivCommands("long.jpg",
        "set Iptc.Application2.Headline String " + head + "\xE4\xBA\xAC\n"
        "set Iptc.Application2.ObjectName String " + umlauts + "\n"
        "add Iptc.Application2.Keywords String " + QByteArray(250, 'k') + "\xC5\x81\n");
    const CANPAInfo caption = CaptionOf(path);
    EXPECT_EQ(Bytes(caption.GetHeadline()), head);
    // Cut after decoding: 255 whole letters, not 255 bytes of UTF-8.
    EXPECT_EQ(Bytes(caption.GetObjectName()), QByteArray(255, '\x9F'));
    // List entries keep 254 bytes: the reference "&#x141;" would end at 257.
    EXPECT_EQ(Bytes(caption.GetKeywordAt(1)), QByteArray(250, 'k'));

    EXPECT_EQ(IIMText::CutCaptionBytes("ab&#x4EAC;", 9), QByteArray("ab"));
    EXPECT_EQ(IIMText::CutCaptionBytes("ab&#x4EAC;", 10), QByteArray("ab&#x4EAC;"));
    EXPECT_EQ(IIMText::CutCaptionBytes("ab&#x41;cd", 5), QByteArray("ab&#x")); // no reference: plain text
}

TEST(CaptionCharsets, WritesBackUTF8AndDeclaresItWhenEveryKeptTextIsKnown)
{
    if (!HasExivTool())
        GTEST_SKIP() << "exiv2 is not installed";
    // Texts in UTF-8 without a declaration: the changed city is written, and the file now says UTF-8.
    const QString path = SampleWithExivCommands("write.jpg",
        "set Iptc.Application2.City String K\xC3\xB6ln\n"
        "set Iptc.Application2.Byline String J\xC3\xBCrgen\n");
    CANPAInfo caption = CaptionOf(path);
    caption.SetCity(CaptionStr(QString::fromUtf8("Zürich 東京")));
    ASSERT_EQ(WriteCaptionIntoImageFile(path, caption.GetDataHandle(EUrgencyForm::AsciiDigit)), noErr);

    EXPECT_EQ(FileIPTCValues(path, "Iptc.Envelope.CharacterSet"), std::vector<QByteArray>{"\x1B%G"});
    EXPECT_EQ(FileIPTCValues(path, "Iptc.Application2.City"), std::vector<QByteArray>{"Z\xC3\xBCrich \xE6\x9D\xB1\xE4\xBA\xAC"});
    EXPECT_EQ(FileIPTCValues(path, "Iptc.Application2.Byline"), std::vector<QByteArray>{"J\xC3\xBCrgen"});

    // Read back, the record is what it was.
    const CANPAInfo again = CaptionOf(path);
    EXPECT_EQ(again.GetCity(), caption.GetCity());
    EXPECT_EQ(Bytes(again.GetByline()), QByteArray("J\x9Frgen"));
}

TEST(CaptionCharsets, TextsNotKnownExactlyKeepTheirBytesUnlessTypedTextNeedsAnotherSet)
{
    if (!HasExivTool())
        GTEST_SKIP() << "exiv2 is not installed";
    // 8-bit text without a declaration and typed text it cannot hold: the whole
    // record becomes UTF-8 from the reader's guess, never two encodings in one.
    const QString undeclared = SampleWithExivCommands("latin1-write.jpg",
        "set Iptc.Application2.City String K\xF6ln\n"
        "set Iptc.Application2.Byline String J\xFCrgen\n");
    CANPAInfo caption = CaptionOf(undeclared);
    caption.SetCity(CaptionStr(QString::fromUtf8("Zürich 東京")));
    ASSERT_EQ(WriteCaptionIntoImageFile(undeclared, caption.GetDataHandle(EUrgencyForm::AsciiDigit)), noErr);
    EXPECT_EQ(FileIPTCValues(undeclared, "Iptc.Envelope.CharacterSet"), std::vector<QByteArray>{"\x1B%G"});
    EXPECT_EQ(FileIPTCValues(undeclared, "Iptc.Application2.City"), std::vector<QByteArray>{"Z\xC3\xBCrich \xE6\x9D\xB1\xE4\xBA\xAC"});
    EXPECT_EQ(FileIPTCValues(undeclared, "Iptc.Application2.Byline"), std::vector<QByteArray>{"J\xC3\xBCrgen"});
    const CANPAInfo again = CaptionOf(undeclared);
    EXPECT_EQ(again.GetCity(), caption.GetCity());
    EXPECT_EQ(Bytes(again.GetByline()), QByteArray("J\x9Frgen"));

    // Declared Greek with a byte Greek lacks: the kept texts stay Greek bytes, so a
    // changed text Greek holds is written in Greek too.
    const QString greek = SampleWithExivCommands("greek-write.jpg",
        "set Iptc.Envelope.CharacterSet String \x1B-F\n"
        "set Iptc.Application2.City String \xC1\xE8\xDE\xED\xE1\xFF\n"
        "set Iptc.Application2.Headline String Old\n");
    CANPAInfo greekCaption = CaptionOf(greek);
    greekCaption.SetHeadline(CaptionStr(QString::fromUtf8("Νέα")));
    ASSERT_EQ(WriteCaptionIntoImageFile(greek, greekCaption.GetDataHandle(EUrgencyForm::AsciiDigit)), noErr);
    EXPECT_EQ(FileIPTCValues(greek, "Iptc.Envelope.CharacterSet"), std::vector<QByteArray>{"\x1B-F"});
    EXPECT_EQ(FileIPTCValues(greek, "Iptc.Application2.City"), std::vector<QByteArray>{"\xC1\xE8\xDE\xED\xE1\xFF"});
    EXPECT_EQ(FileIPTCValues(greek, "Iptc.Application2.Headline"), std::vector<QByteArray>{"\xCD\xDD\xE1"});
    // Text Greek cannot hold turns the record into UTF-8, the lacking byte as the
    // replacement character the reader shows.
    greekCaption.SetHeadline(CaptionStr(QString::fromUtf8("東京")));
    ASSERT_EQ(WriteCaptionIntoImageFile(greek, greekCaption.GetDataHandle(EUrgencyForm::AsciiDigit)), noErr);
    EXPECT_EQ(FileIPTCValues(greek, "Iptc.Envelope.CharacterSet"), std::vector<QByteArray>{"\x1B%G"});
    EXPECT_EQ(FileIPTCValues(greek, "Iptc.Application2.City"),
        std::vector<QByteArray>{QString::fromUtf8("Αθήνα\uFFFD").toUtf8()});
    EXPECT_EQ(FileIPTCValues(greek, "Iptc.Application2.Headline"), std::vector<QByteArray>{"\xE6\x9D\xB1\xE4\xBA\xAC"});
}

TEST(CaptionCharsets, TypedTextTheFileSetLacksTurnsTheWholeRecordIntoUTF8)
{
    if (!HasExivTool())
        GTEST_SKIP() << "exiv2 is not installed";
    const QByteArray typed = "\xD0\x9D\xD0\xBE\xD0\xB2\xD1\x8B\xD0\xB9 \xCE\x9D\xCE\xAD\xCE\xB1 \xE6\x9D\xB1\xE4\xBA\xAC"; // Новый Νέα 東京
    using Fields = std::vector<std::pair<const char*, QByteArray>>;
    const struct Case {
        const char* name;
        QByteArray commands;
        QByteArray headline; // typed into the item, as UTF-8
        bool written; // else the file cannot be written
        std::vector<QByteArray> declaration; // 1:90 afterwards
        Fields fields; // each dataset's bytes afterwards, as UTF-8 when the file declares it
    } cases[] = {
        {"greek", "set Iptc.Envelope.CharacterSet String \x1B-F\n"
                  "set Iptc.Application2.City String \xC1\xE8\xDE\xED\xE1\n"
                  "set Iptc.Application2.Byline String \xC3\xE9\xDC\xED\xED\xE7\xF2\n",
            typed, true, {"\x1B%G"},
            {{"Iptc.Application2.Headline", typed}, {"Iptc.Application2.City", "\xCE\x91\xCE\xB8\xCE\xAE\xCE\xBD\xCE\xB1"},
                {"Iptc.Application2.Byline", "\xCE\x93\xCE\xB9\xCE\xAC\xCE\xBD\xCE\xBD\xCE\xB7\xCF\x82"}}},
        // Undeclared 8-bit text is taken as the reader takes it: Latin-1, Windows-1252 quotes.
        {"undeclared", "set Iptc.Application2.City String K\xF6ln\n"
                       "set Iptc.Application2.Caption String \x93Quoted\x94 \x80 5\n",
            typed, true, {"\x1B%G"},
            {{"Iptc.Application2.Headline", typed}, {"Iptc.Application2.City", "K\xC3\xB6ln"},
                {"Iptc.Application2.Caption", "\xE2\x80\x9CQuoted\xE2\x80\x9D \xE2\x82\xAC 5"}}},
        {"utf8", "set Iptc.Envelope.CharacterSet String \x1B%G\n"
                 "set Iptc.Application2.City String Z\xC3\xBCrich\n",
            typed, true, {"\x1B%G"}, {{"Iptc.Application2.Headline", typed}, {"Iptc.Application2.City", "Z\xC3\xBCrich"}}},
        // Text the file's set holds needs no new set: only the changed field is written.
        {"undeclared-ascii", "set Iptc.Application2.City String K\xF6ln\n", "Harbour", true, {},
            {{"Iptc.Application2.Headline", "Harbour"}, {"Iptc.Application2.City", "K\xF6ln"}}},
        // A byte Greek lacks goes as the reader shows it, a replacement character.
        {"greek-lacking", "set Iptc.Envelope.CharacterSet String \x1B-F\n"
                          "set Iptc.Application2.City String \xC1\xE8\xDE\xED\xE1\xFF\n",
            typed, true, {"\x1B%G"},
            {{"Iptc.Application2.Headline", typed},
                {"Iptc.Application2.City", "\xCE\x91\xCE\xB8\xCE\xAE\xCE\xBD\xCE\xB1\xEF\xBF\xBD"}}},
        // A file that cannot be written says so and stays as it was, with no copy beside it.
        {"locked", "set Iptc.Envelope.CharacterSet String \x1B-F\n"
                   "set Iptc.Application2.City String \xC1\xE8\xDE\xED\xE1\n",
            typed, false, {"\x1B-F"}, {{"Iptc.Application2.City", "\xC1\xE8\xDE\xED\xE1"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = SampleWithExivCommands(QLatin1String(c.name) + QStringLiteral(".jpg"), c.commands);
        const QByteArray before = ReadWholeFile(path);
        CIndexItem item{FileRef(path)};
        StReadOnlyFile readOnly(c.written ? QString() : path);
        if (!c.written && !readOnly.IsReadOnly())
            continue; // no way to lock a file for this user
        const OSStatus result
            = item.SetFieldValue(kFieldHeadline, QString::fromUtf8(c.headline), CIndexItem::FileWrite::AlsoFile);
        EXPECT_EQ(result == noErr, c.written) << result;
        EXPECT_EQ(item.CopyFieldString(kFieldHeadline, 0), QString::fromUtf8(c.headline));
        EXPECT_EQ(FileIPTCValues(path, "Iptc.Envelope.CharacterSet"), c.declaration);
        for (const auto& [key, bytes] : c.fields) {
            EXPECT_EQ(FileIPTCValues(path, key), std::vector<QByteArray>{bytes}) << key;
            if (c.declaration == std::vector<QByteArray>{IIMText::kUTF8Declaration})
                EXPECT_EQ(ExivPrinted(path, key), std::vector<QByteArray>{bytes}) << key;
        }
        QByteArray resource;
        EXPECT_NE(ReadFileResource(FileRef(path), 'ANPA', 10000, resource), noErr);
        if (!c.written) {
            EXPECT_EQ(ReadWholeFile(path), before);
            ASSERT_NE(item.GetError(), nullptr);
            EXPECT_EQ(item.GetError()->GetCode(), result);
        }
    }
}

TEST(CaptionCharsets, EachDeclaredSetIsReadAsItsOwn)
{
    auto dataSet = [](UInt8 record, UInt8 number, const QByteArray& data) {
        QByteArray bytes;
        IIMText::AppendDataSet(bytes, record, number, data);
        return bytes;
    };
    struct Case {
        QByteArray declaration;
        QByteArray city;
        QString text;
    } const cases[] = {
        {"\x1B-F", "\xC1\xE8\xDE\xED\xE1", QString::fromUtf8("Αθήνα")},
        {"\x1B-L", "\xBC\xDE\xE1\xDA\xD2\xD0", QString::fromUtf8("Москва")},
        {"\x1B-B", "\xA3\xF3" "d\xBC", QString::fromUtf8("Łódź")},
        {"\x1B(B\x1B$B", "\x1B$BEl5~\x1B(B Tokyo", QString::fromUtf8("東京 Tokyo")},
        {"\x1B$B", "Tokyo", QStringLiteral("Tokyo")}, // a text starts in ASCII
        {"\x1B$)C", "\x0E<-?o\x0F", QString::fromUtf8("서울")},
        {"\x1B%G", "Z\xC3\xBCrich", QString::fromUtf8("Zürich")},
        {"\x1B-A", "Z\xFCrich", QString::fromUtf8("Zürich")},
        // A set the program does not know, or two that clash: read as Latin-1, as
        // undeclared 8-bit text is.
        {"\x1B-Z", "Z\xFCrich", QString::fromUtf8("Zürich")},
        {"\x1B-A\x1B-F", "Z\xFCrich", QString::fromUtf8("Zürich")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.declaration.toHex().toStdString());
        const auto caption = CANPAInfo::FromImageFileBlock(dataSet(1, 90, c.declaration) + dataSet(2, 90, c.city));
        EXPECT_EQ(IIMText::TextFromCaptionBytes(Bytes(caption->GetCity())), c.text);
    }
    EXPECT_TRUE(IIMText::FileCharset("\x1B-F").IsKnown());
    EXPECT_FALSE(IIMText::FileCharset("\x1B-Z").IsKnown());
    EXPECT_FALSE(IIMText::FileCharset("\x1B-A\x1B-F").IsKnown());
    EXPECT_FALSE(IIMText::FileCharset("UTF-8").IsKnown());
    // Bytes a set lacks are no exact text of it.
    EXPECT_FALSE(IIMText::FileCharset("\x1B-F").DecodeExactly("\xFF").has_value());
    EXPECT_FALSE(IIMText::FileCharset("\x1B$B").DecodeExactly("\x1B$BEl5").has_value()); // half a character
}

TEST(CaptionUrgencyFromFiles, EightIsTheLeastUrgentAndZeroIsNone)
{
    if (!HasExivTool())
        GTEST_SKIP() << "exiv2 is not installed";
    const QString least = SampleWithExivCommands("urgency8.jpg", "set Iptc.Application2.Urgency String 8\n");
    const CANPAInfo caption = CaptionOf(least);
    EXPECT_EQ(caption.GetUrgency(), 8);
    CIndexItem item{FileRef(least)};
    EXPECT_EQ(item.CopyFieldString(kFieldUrgency, 0), QStringLiteral("9"));
    EXPECT_EQ(item.CopyFieldString(kFieldUrgencyLabel, 0), CANPAInfo::CopyUrgencyLabel(7));
    // Written back, the file keeps its 8.
    ASSERT_EQ(WriteCaptionIntoImageFile(least, caption.GetDataHandle(EUrgencyForm::AsciiDigit)), noErr);
    EXPECT_EQ(FileIPTCValues(least, "Iptc.Application2.Urgency"), std::vector<QByteArray>{"8"});

    const QString reserved = SampleWithExivCommands("urgency0.jpg",
        "set Iptc.Application2.Urgency String 0\nset Iptc.Application2.City String Oslo\n");
    EXPECT_EQ(CaptionOf(reserved).GetUrgency(), 9);
    const QString most = SampleWithExivCommands("urgency1.jpg", "set Iptc.Application2.Urgency String 1\n");
    EXPECT_EQ(CaptionOf(most).GetUrgency(), 1);
}

TEST(CaptionWriteBack, OnlyChangedFieldsAreWritten)
{
    if (!HasExivTool())
        GTEST_SKIP() << "exiv2 is not installed";
    const QString path = SampleWithExivCommands("bylines.jpg",
        "add Iptc.Application2.Byline String Ann\n"
        "add Iptc.Application2.Byline String Bob\n"
        "add Iptc.Application2.Keywords String sea\n"
        "set Iptc.Application2.Headline String Old\n"
        "set Iptc.Application2.LocationName String Harbour\n");
    CANPAInfo caption = CaptionOf(path);
    // The record holds one by-line; the file's two stay while the field is not changed.
    caption.SetHeadline(Str255("New"));
    ASSERT_EQ(WriteCaptionIntoImageFile(path, caption.GetDataHandle(EUrgencyForm::AsciiDigit)), noErr);
    EXPECT_EQ(FileIPTCValues(path, "Iptc.Application2.Byline"), (std::vector<QByteArray>{"Ann", "Bob"}));
    EXPECT_EQ(FileIPTCValues(path, "Iptc.Application2.Headline"), std::vector<QByteArray>{"New"});
    EXPECT_EQ(FileIPTCValues(path, "Iptc.Application2.Keywords"), std::vector<QByteArray>{"sea"});
    EXPECT_EQ(FileIPTCValues(path, "Iptc.Application2.LocationName"), std::vector<QByteArray>{"Harbour"});

    // A changed field replaces all of its datasets; a changed list is written whole.
    caption.SetByline(Str255("Cy"));
    caption.AddKeyword(Str255("sky"));
    ASSERT_EQ(WriteCaptionIntoImageFile(path, caption.GetDataHandle(EUrgencyForm::AsciiDigit)), noErr);
    EXPECT_EQ(FileIPTCValues(path, "Iptc.Application2.Byline"), std::vector<QByteArray>{"Cy"});
    EXPECT_EQ(FileIPTCValues(path, "Iptc.Application2.Keywords"), (std::vector<QByteArray>{"sea", "sky"}));

    // Removing the caption takes the caption's datasets and keeps the others.
    ASSERT_EQ(WriteCaptionIntoImageFile(path, CANPAInfo().GetDataHandle(EUrgencyForm::AsciiDigit)), noErr);
    EXPECT_TRUE(FileIPTCValues(path, "Iptc.Application2.Byline").empty());
    EXPECT_TRUE(FileIPTCValues(path, "Iptc.Application2.Headline").empty());
    EXPECT_EQ(FileIPTCValues(path, "Iptc.Application2.LocationName"), std::vector<QByteArray>{"Harbour"});
}

TEST(CaptionLookup, FileThatCannotBeOpenedHasNoCaptionAndOneError)
{
    const QString path = TestTempDir() + "/exiv/broken.jpg";
    QDir().mkpath(TestTempDir() + "/exiv");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("\xFF\xD8\xFF\xE0 not really a picture", 28));
    file.close();

    CIndexItem item{FileRef(path)};
    CANPAInfo* caption = reinterpret_cast<CANPAInfo*>(1);
    EXPECT_EQ(CatchCode([&] { caption = item.GetCaptionInfo(); }), noErr);
    EXPECT_EQ(caption, nullptr);
    ASSERT_NE(item.GetError(), nullptr);
    EXPECT_NE(item.GetError()->GetCode(), noErr);
    const CItemError* recorded = item.GetError();
    // Asked again, the item answers the same without opening the file again.
    EXPECT_EQ(CatchCode([&] { caption = item.GetCaptionInfo(); }), noErr);
    EXPECT_EQ(caption, nullptr);
    EXPECT_EQ(item.GetError(), recorded);
    EXPECT_EQ(item.CopyFieldString(kFieldHeadline, 0), QString());
}

TEST(CaptionCharsets, UserDataBlocksAreMacRomanUnlessTheyDeclareASet)
{
    auto dataSet = [](UInt8 record, UInt8 number, const QByteArray& data) {
        QByteArray bytes;
        IIMText::AppendDataSet(bytes, record, number, data);
        return bytes;
    };
    // The program's own blocks in movies hold Mac Roman and declare nothing.
    UserData own;
    own.AddUserData(QByteArray(12, '\0') + dataSet(2, 90, kZurichMacRoman), 'iptc');
    EXPECT_EQ(Bytes(CANPAInfo(&own).GetCity()), kZurichMacRoman);
    // A block that declares UTF-8 is read as UTF-8.
    UserData declared;
    declared.AddUserData(
        QByteArray(12, '\0') + dataSet(1, 90, IIMText::kUTF8Declaration) + dataSet(2, 90, "Z\xC3\xBCrich"), 'iptc');
    EXPECT_EQ(Bytes(CANPAInfo(&declared).GetCity()), kZurichMacRoman);
}

TEST(CaptionLookup, DamagedMoviesAndSoundsGiveNoCaptionAndNeverHang)
{
    // RIFF files with lengths that point far past their end and chunks that
    // claim to hold themselves, as a damaged or hostile file would.
    QByteArray avi("RIFF\xFF\xFF\xFF\x7F" "AVI LIST\xF0\xFF\xFF\xFF" "hdrlavih\x38\x00\x00\x00", 32);
    avi.append(QByteArray(56, '\xFF'));
    avi.append(QByteArray("LIST\x04\x00\x00\x00INFOIART\xFF\xFF\xFF\xFF", 20));
    QByteArray wav("RIFF\x00\x00\x00\x00" "WAVEfmt \x10\x00\x00\x00", 20);
    wav.append(QByteArray(16, '\x00'));
    wav.append(QByteArray("LIST\xFF\xFF\xFF\xFFINFO", 12));
    QByteArray mov("\x00\x00\x00\x01" "moov" "\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF" "udta\x00\x00\x00\x00", 24);
    const QString folder = TestTempDir();
    for (const auto& [name, bytes] : { std::pair { "damaged.avi", avi }, { "damaged.wav", wav }, { "damaged.mov", mov } }) {
        const QString path = folder + QLatin1Char('/') + QLatin1String(name);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        const auto result = RunInChildWithin(20, [&] {
            if (CatchCode([&] { CANPAInfo caption(QUrl::fromLocalFile(path)); }) == noErr)
                return qint32(1); // a caption out of nothing
            CIndexItem item { FileRef(path) };
            CANPAInfo* caption = nullptr;
            const OSStatus err = CatchCode([&] { caption = item.GetCaptionInfo(); });
            return err != noErr ? qint32(err) : qint32(caption != nullptr ? 2 : 0);
        });
        ASSERT_TRUE(result) << name << ": crashed or hung";
        EXPECT_EQ(*result, 0) << name;
        EXPECT_EQ(ReadWholeFile(path), bytes) << name;
    }
}
