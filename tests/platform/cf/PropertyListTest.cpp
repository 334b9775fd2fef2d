#include "PropertyList.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QPoint>
#include <QXmlStreamReader>

#include <cmath>

namespace {

const QByteArray kHeader = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                           "<plist version=\"1.0\">\n";

QByteArray Bytes(int count)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes.append(char(i));
    return bytes;
}

OSStatus ReadText(const char* xml, QVariant& out)
{
    return PropertyList::Read(QByteArray(xml), out);
}

} // namespace

TEST(PropertyListWriter, MatchesThePlatformLayoutByteForByte)
{
    QVariantMap root;
    root.insert(QStringLiteral("zeta"), QVariant::fromValue<qint16>(-7));
    root.insert(QStringLiteral("Alpha"), true);
    root.insert(QStringLiteral("alpha"), false);
    root.insert(QStringLiteral("Big"), QVariant::fromValue<qint64>(Q_INT64_C(-9000000000)));
    root.insert(QStringLiteral("Count"), QVariant::fromValue<qint32>(160));
    root.insert(QStringLiteral("Float"), QVariant::fromValue<float>(0.1f));
    root.insert(QStringLiteral("Half"), 1.5);
    root.insert(QStringLiteral("Zero"), 0.0);
    root.insert(QStringLiteral("Text & <tags>"), QStringLiteral("a < b & c > d \"q\" 'é'"));
    root.insert(QStringLiteral("Empty"), QString());
    root.insert(QStringLiteral("NoList"), QVariantList());
    root.insert(QStringLiteral("NoDict"), QVariantMap());
    root.insert(QStringLiteral("Data"), Bytes(60));
    root.insert(QStringLiteral("Short"), QByteArray("\xde\xad\xbe\xef\x01", 5));
    root.insert(QStringLiteral("When"), QDateTime(QDate(2004, 2, 29), QTime(23, 5, 9, 999), Qt::UTC));
    root.insert(QStringLiteral("List"), QVariantList { 4001, QStringLiteral("x"), QVariantList { 1 } });

    const QByteArray expected = kHeader
        + "<dict>\n"
          "\t<key>Alpha</key>\n"
          "\t<true/>\n"
          "\t<key>Big</key>\n"
          "\t<integer>-9000000000</integer>\n"
          "\t<key>Count</key>\n"
          "\t<integer>160</integer>\n"
          "\t<key>Data</key>\n"
          "\t<data>\n"
          "\tAAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEy\n"
          "\tMzQ1Njc4OTo7\n"
          "\t</data>\n"
          "\t<key>Empty</key>\n"
          "\t<string></string>\n"
          "\t<key>Float</key>\n"
          "\t<real>0.10000000149011612</real>\n"
          "\t<key>Half</key>\n"
          "\t<real>1.5</real>\n"
          "\t<key>List</key>\n"
          "\t<array>\n"
          "\t\t<integer>4001</integer>\n"
          "\t\t<string>x</string>\n"
          "\t\t<array>\n"
          "\t\t\t<integer>1</integer>\n"
          "\t\t</array>\n"
          "\t</array>\n"
          "\t<key>NoDict</key>\n"
          "\t<dict/>\n"
          "\t<key>NoList</key>\n"
          "\t<array/>\n"
          "\t<key>Short</key>\n"
          "\t<data>\n"
          "\t3q2+7wE=\n"
          "\t</data>\n"
          "\t<key>Text &amp; &lt;tags&gt;</key>\n"
          "\t<string>a &lt; b &amp; c &gt; d \"q\" '\xc3\xa9'</string>\n"
          "\t<key>When</key>\n"
          "\t<date>2004-02-29T23:05:09Z</date>\n"
          "\t<key>Zero</key>\n"
          "\t<real>0.0</real>\n"
          "\t<key>alpha</key>\n"
          "\t<false/>\n"
          "\t<key>zeta</key>\n"
          "\t<integer>-7</integer>\n"
          "</dict>\n"
          "</plist>\n";

    QByteArray written;
    ASSERT_EQ(PropertyList::Write(root, written), noErr);
    EXPECT_EQ(written.toStdString(), expected.toStdString());
}

TEST(PropertyListWriter, DataLinesShortenWithDepthUpToEightLevels)
{
    // Ten arrays deep: the <data> tag sits at nine tabs, its lines stop at eight
    // tabs and 12 characters (76 less 8 per tab).
    QVariant value = Bytes(10);
    for (int i = 0; i < 9; ++i)
        value = QVariantList { value };
    const QByteArray xml = PropertyList::ToXML(value);
    const QByteArray nine(9, '\t');
    const QByteArray eight(8, '\t');
    const QByteArray block = nine + "<data>\n" + eight + "AAECAwQFBgcI\n" + eight + "CQ==\n" + nine + "</data>\n";
    EXPECT_TRUE(xml.contains(block)) << xml.toStdString();

    // Top level: 76 characters a line, no indentation, and an empty block.
    const QByteArray top = PropertyList::ToXML(Bytes(57));
    const QByteArray expectedTop = kHeader + "<data>\n" + Bytes(57).toBase64() + "\n</data>\n</plist>\n";
    EXPECT_EQ(Bytes(57).toBase64().size(), 76);
    EXPECT_EQ(top, expectedTop);
    EXPECT_EQ(PropertyList::ToXML(QByteArray()), kHeader + "<data>\n</data>\n</plist>\n");
}

TEST(PropertyListWriter, SpecialRealsAndUnsupportedValues)
{
    EXPECT_TRUE(PropertyList::ToXML(std::nan("")).contains("<real>nan</real>"));
    EXPECT_TRUE(PropertyList::ToXML(-HUGE_VAL).contains("<real>-infinity</real>"));
    EXPECT_TRUE(PropertyList::ToXML(1e300).contains("<real>1.0000000000000001e+300</real>"));

    QByteArray out = "untouched";
    EXPECT_EQ(PropertyList::Write(QVariantMap { { QStringLiteral("p"), QPoint(1, 2) } }, out),
              PropertyList::kErrUnsupportedValue);
    EXPECT_TRUE(out.isEmpty());
    EXPECT_EQ(PropertyList::Write(QVariant(), out), PropertyList::kErrUnsupportedValue);
    EXPECT_EQ(PropertyList::Write(QDateTime(), out), PropertyList::kErrUnsupportedValue);
}

TEST(PropertyListReader, ReadsBackEveryTypeWithIntegersAs64BitAndRealsAsDouble)
{
    QVariantMap root;
    root.insert(QStringLiteral("b"), true);
    root.insert(QStringLiteral("i16"), QVariant::fromValue<qint16>(-3));
    root.insert(QStringLiteral("i32"), QVariant::fromValue<qint32>(0x54494646));
    root.insert(QStringLiteral("i64"), QVariant::fromValue<qint64>(std::numeric_limits<qint64>::min()));
    root.insert(QStringLiteral("f"), QVariant::fromValue<float>(0.1f));
    root.insert(QStringLiteral("d"), 2.5);
    root.insert(QStringLiteral("s"), QStringLiteral("<&> \u00e9\u4e2d \U0001F600"));
    root.insert(QStringLiteral("data"), Bytes(200));
    root.insert(QStringLiteral("date"), QDateTime(QDate(1904, 1, 1), QTime(0, 0), Qt::UTC));
    root.insert(QStringLiteral("list"), QVariantList { QVariantMap(), QVariantList(), QString() });

    QVariant back;
    ASSERT_EQ(PropertyList::Read(PropertyList::ToXML(root), back), noErr);
    const QVariantMap map = back.toMap();
    EXPECT_EQ(map.value("b").metaType().id(), QMetaType::Bool);
    EXPECT_EQ(map.value("i16").metaType().id(), QMetaType::LongLong);
    EXPECT_EQ(map.value("i16").toLongLong(), -3);
    EXPECT_EQ(map.value("i32").toLongLong(), 0x54494646);
    EXPECT_EQ(map.value("i64").toLongLong(), std::numeric_limits<qint64>::min());
    EXPECT_EQ(map.value("f").metaType().id(), QMetaType::Double);
    EXPECT_EQ(float(map.value("f").toDouble()), 0.1f);
    EXPECT_EQ(map.value("d").toDouble(), 2.5);
    EXPECT_EQ(map.value("s").toString(), root.value("s").toString());
    EXPECT_EQ(map.value("data").toByteArray(), Bytes(200));
    EXPECT_EQ(map.value("date").toDateTime(), root.value("date").toDateTime());
    EXPECT_EQ(map.value("list").toList().size(), 3);
    // Writing what was read gives the same bytes again.
    EXPECT_EQ(PropertyList::ToXML(back), PropertyList::ToXML(root));
}

TEST(PropertyListReader, AcceptsWhatOtherWritersProduce)
{
    QVariant value;
    // No DOCTYPE, CRLF line ends, comments, data without line breaks, hex and
    // signed integers, a bare value without <plist>.
    ASSERT_EQ(ReadText("<?xml version=\"1.0\"?>\r\n<plist version=\"1.0\"><!-- c --><dict>"
                       "<key>a</key><integer> 0x10 </integer><key>b</key><integer>+5</integer>"
                       "<key>c</key><data>3q2+\r\n 7wE=</data><key>d</key><real>-1e3</real>"
                       "<key>e</key><real>+infinity</real></dict></plist>",
                       value),
              noErr);
    const QVariantMap map = value.toMap();
    EXPECT_EQ(map.value("a").toLongLong(), 16);
    EXPECT_EQ(map.value("b").toLongLong(), 5);
    EXPECT_EQ(map.value("c").toByteArray(), QByteArray("\xde\xad\xbe\xef\x01", 5));
    EXPECT_EQ(map.value("d").toDouble(), -1000.0);
    EXPECT_TRUE(std::isinf(map.value("e").toDouble()));

    ASSERT_EQ(ReadText("<string>bare &amp; fine</string>", value), noErr);
    EXPECT_EQ(value.toString(), QStringLiteral("bare & fine"));
}

TEST(PropertyListReader, ControlCharactersInStringsSurviveTheRoundTrip)
{
    // Written raw, as the platform writes them; read back although XML 1.0 has no
    // place for them.
    const QString text = QStringLiteral("tab\there \x01\x1c end");
    const QVariantMap root { { QStringLiteral("key\x02"), text } };
    const QByteArray xml = PropertyList::ToXML(root);
    EXPECT_TRUE(xml.contains("<string>tab\there \x01\x1c end</string>"));
    QVariant back;
    ASSERT_EQ(PropertyList::Read(xml, back), noErr);
    EXPECT_EQ(back.toMap(), root);

    // Control characters do not rescue a list that is broken otherwise.
    EXPECT_EQ(PropertyList::Read("<plist><string>\x01</plist>", back), PropertyList::kErrMalformed);
}

TEST(PropertyListWriter, AFileForOtherProgramsHoldsNoCharacterXMLForbids)
{
    using PropertyList::EForbiddenCharacters;
    // Ordinary text, tabs and line breaks included, comes out byte for byte the same.
    const QVariantMap ordinary { { QStringLiteral("Caption"), QStringLiteral("Boats\tat <dawn> & \"tide\"\r\n\u4E2D") },
        { QStringLiteral("List"), QVariantList { QStringLiteral("a"), 7, true } } };
    EXPECT_EQ(PropertyList::ToXML(ordinary, EForbiddenCharacters::LeftOut), PropertyList::ToXML(ordinary));

    const QVariantMap odd { { QStringLiteral("key\x02"),
        QVariantList { QStringLiteral("one\x0Btwo\x0Cthree\x01\x1F end"), QString(QChar(0xFFFE)) + QChar(0xFFFF) + "x" } } };
    const QByteArray xml = PropertyList::ToXML(odd, EForbiddenCharacters::LeftOut);
    QXmlStreamReader strict(xml);
    while (!strict.atEnd())
        strict.readNext();
    EXPECT_FALSE(strict.hasError()) << strict.errorString().toStdString();
    QVariant back;
    ASSERT_EQ(PropertyList::Read(xml, back), noErr);
    EXPECT_EQ(back.toMap(), (QVariantMap { { QStringLiteral("key"),
                                QVariantList { QStringLiteral("one\ntwo\nthree end"), QStringLiteral("x") } } }));
}

TEST(PropertyListReader, RejectsMalformedAndHostileInput)
{
    const char* bad[] = {
        "",
        "not xml at all",
        "<plist version=\"1.0\"><dict><key>a</key></dict></plist>",              // key without value
        "<plist version=\"1.0\"><dict><string>a</string></dict></plist>",        // value without key
        "<plist version=\"1.0\"><dict><key>a</key><string>x</dict></plist>",     // mismatched tags
        "<plist version=\"1.0\"><array><integer>1</integer>",                     // truncated
        "<plist version=\"1.0\"><integer>99999999999999999999</integer></plist>", // beyond 64 bits
        "<plist version=\"1.0\"><integer>-9223372036854775809</integer></plist>",
        "<plist version=\"1.0\"><integer>12abc</integer></plist>",
        "<plist version=\"1.0\"><integer></integer></plist>",
        "<plist version=\"1.0\"><real>1e999</real></plist>",                      // overflows a double
        "<plist version=\"1.0\"><real>one</real></plist>",
        "<plist version=\"1.0\"><data>!!!!</data></plist>",                       // bad base64
        "<plist version=\"1.0\"><data>\xc3\xa9QUJD</data></plist>",
        "<plist version=\"1.0\"><date>2004-02-30T00:00:00Z</date></plist>",       // no such day
        "<plist version=\"1.0\"><date>yesterday</date></plist>",
        "<plist version=\"1.0\"><true>x</true></plist>",
        "<plist version=\"1.0\"><string>a<b/>c</string></plist>",
        "<plist version=\"1.0\"><blob/></plist>",
        "<plist version=\"1.0\"><string>a</string><string>b</string></plist>",
        "<plist version=\"1.0\"><string>a</string></plist><plist/>",
        "<plist version=\"1.0\">loose text<string>a</string></plist>",
        "<plist version=\"1.0\"><string>&undefined;</string></plist>",
    };
    for (const char* xml : bad) {
        QVariant value = QStringLiteral("stale");
        QString why;
        EXPECT_EQ(PropertyList::Read(QByteArray(xml), value, &why), PropertyList::kErrMalformed) << xml;
        EXPECT_FALSE(value.isValid()) << xml;
        EXPECT_FALSE(why.isEmpty()) << xml;
    }

    // Nesting far beyond any real list is refused, not recursed into.
    QByteArray deep = "<plist version=\"1.0\">";
    for (int i = 0; i < 100000; ++i)
        deep += "<array>";
    QVariant value;
    EXPECT_EQ(PropertyList::Read(deep, value), PropertyList::kErrMalformed);

    // Entity expansion bombs stop at the reader's limit.
    QByteArray bomb = "<?xml version=\"1.0\"?><!DOCTYPE plist [<!ENTITY a \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\">";
    QByteArray previous = "a";
    for (char name = 'b'; name <= 'k'; ++name) {
        bomb += "<!ENTITY " + QByteArray(1, name) + " \"";
        for (int i = 0; i < 10; ++i)
            bomb += "&" + previous + ";";
        bomb += "\">";
        previous = QByteArray(1, name);
    }
    bomb += "]><plist version=\"1.0\"><string>&k;</string></plist>";
    EXPECT_EQ(PropertyList::Read(bomb, value), PropertyList::kErrMalformed);

    // Nesting at the limit still reads.
    QByteArray fine = "<plist version=\"1.0\">";
    for (int i = 0; i <= PropertyList::kMaxNestingDepth; ++i)
        fine += "<array>";
    for (int i = 0; i <= PropertyList::kMaxNestingDepth; ++i)
        fine += "</array>";
    fine += "</plist>";
    EXPECT_EQ(PropertyList::Read(fine, value), noErr);
}

TEST(PropertyListFiles, WriteReplacesWholeAndReadReportsMissingFiles)
{
    const QString path = TestTempDir() + QStringLiteral("/list.plist");
    QVariant value;
    EXPECT_EQ(PropertyList::ReadFile(path, value), fnfErr);

    ASSERT_EQ(PropertyList::WriteFile(path, QVariantList { 1, 2 }), noErr);
    ASSERT_EQ(PropertyList::ReadFile(path, value), noErr);
    EXPECT_EQ(value.toList().size(), 2);

    // A value that cannot be written leaves the old file as it was.
    const QByteArray before = ReadWholeFile(path);
    EXPECT_EQ(PropertyList::WriteFile(path, QVariantList { QPoint() }), PropertyList::kErrUnsupportedValue);
    EXPECT_EQ(ReadWholeFile(path), before);

    // A folder that does not exist is an error, not a crash.
    EXPECT_NE(PropertyList::WriteFile(TestTempDir() + QStringLiteral("/no/such/dir/x.plist"), 1), noErr);
}

TEST(PropertyListNumbers, ConversionsSucceedOnlyWhenExact)
{
    SInt32 i32 = 0;
    SInt16 i16 = 0;
    float f = 0;
    qint64 i64 = 0;
    EXPECT_TRUE(PropertyList::ToInt32(QVariant::fromValue<qint64>(4001), i32));
    EXPECT_EQ(i32, 4001);
    EXPECT_TRUE(PropertyList::ToInt32(2.0, i32));
    EXPECT_EQ(i32, 2);
    EXPECT_FALSE(PropertyList::ToInt32(1.5, i32));
    EXPECT_FALSE(PropertyList::ToInt32(QVariant::fromValue<qint64>(Q_INT64_C(1) << 40), i32));
    EXPECT_FALSE(PropertyList::ToInt32(QStringLiteral("7"), i32));
    EXPECT_FALSE(PropertyList::ToInt32(true, i32));
    EXPECT_FALSE(PropertyList::ToInt16(QVariant::fromValue<qint32>(40000), i16));
    EXPECT_TRUE(PropertyList::ToInt16(QVariant::fromValue<qint32>(-32768), i16));
    EXPECT_FALSE(PropertyList::ToInt64(QVariant::fromValue<quint64>(~quint64(0)), i64));
    EXPECT_FALSE(PropertyList::ToInt64(1e19, i64));
    EXPECT_FALSE(PropertyList::ToInt64(std::nan(""), i64));

    EXPECT_TRUE(PropertyList::ToFloat(0.75, f));
    EXPECT_EQ(f, 0.75f);
    EXPECT_TRUE(PropertyList::ToFloat(double(0.1f), f)); // a float read back as double
    EXPECT_FALSE(PropertyList::ToFloat(0.1, f));
    EXPECT_TRUE(PropertyList::ToFloat(QVariant::fromValue<qint64>(16777216), f));
    EXPECT_FALSE(PropertyList::ToFloat(QVariant::fromValue<qint64>(16777217), f));
    EXPECT_FALSE(PropertyList::ToFloat(QVariant::fromValue<qint64>(std::numeric_limits<qint64>::max()), f));
}
