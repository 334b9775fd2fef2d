#include "CANPAInfo.h"

#include "BundleStrings.h"
#include "ExceptionCode.h"
#include "MacDates.h"

#include <gtest/gtest.h>

namespace {

QByteArray Hex(const char* hex)
{
    return QByteArray::fromHex(hex);
}

// One record-2 dataset in the block's standard form.
QByteArray DataSet(UInt8 number, const QByteArray& data, UInt8 record = 2)
{
    QByteArray bytes;
    bytes.append(char(0x1C)).append(char(record)).append(char(number));
    bytes.append(char(data.size() >> 8)).append(char(data.size() & 0xFF));
    return bytes + data;
}

UInt32 LocalNoonOf(int year, int month, int day)
{
    return DateTimeToMacSeconds(QDateTime(QDate(year, month, day), QTime(12, 0), Qt::LocalTime));
}

UInt32 LocalMidnightOf(int year, int month, int day)
{
    return DateTimeToMacSeconds(QDateTime(QDate(year, month, day), QTime(0, 0), Qt::LocalTime));
}

LStr255 P(const char* text)
{
    return LStr255(text);
}

OSStatus CodeOf(const std::function<void()>& body)
{
    try {
        body();
    } catch (const ExceptionCode& e) {
        return e.Code();
    }
    return noErr;
}

// A record with every field set; the 2:99 dataset can only come from a block.
std::unique_ptr<CANPAInfo> FullRecord()
{
    auto info = std::make_unique<CANPAInfo>(DataSet(99, "x"));
    info->SetCaption("Cap");
    info->SetWriterEditor(P("W"));
    info->SetHeadline(P("H"));
    info->SetSpecialInstructions(P("S"));
    info->SetByline(P("B"));
    info->SetBylineTitle(P("T"));
    info->SetCredit(P("C"));
    info->SetSource(P("Src"));
    info->SetObjectName(P("O"));
    info->SetDateCreated(LocalMidnightOf(2004, 5, 6)); // a date alone: no Time Created
    info->SetCity(P("Ci"));
    info->SetProvinceState(P("P"));
    info->SetCountryName(P("Co"));
    info->SetOriginalTransmissionReference(P("R"));
    info->SetCategory(P("Ca"));
    info->AddSupplementalCategory(P("b"));
    info->AddSupplementalCategory(P("a"));
    info->SetUrgency(3);
    info->AddKeyword(P("k2"));
    info->AddKeyword(P("k1"));
    info->SetCopyrightNotice(Str255("\xA9"));
    return info;
}

// FullRecord's block, dataset by dataset in the writer's order.
const char* const kFullBlock =
    "1c020000020004"          // 2:00 record version 4
    "1c0278000343" "6170"     // 2:120 caption "Cap"
    "1c027a000157"            // 2:122 writer/editor "W"
    "1c0269000148"            // 2:105 headline "H"
    "1c0228000153"            // 2:40 special instructions "S"
    "1c0250000142"            // 2:80 by-line "B"
    "1c0255000154"            // 2:85 by-line title "T"
    "1c026e000143"            // 2:110 credit "C"
    "1c027300035372" "63"     // 2:115 source "Src"
    "1c020500014f"            // 2:05 object name "O"
    "1c0237000832303034303530" "36" // 2:55 "20040506"
    "1c025a00024369"          // 2:90 city "Ci"
    "1c025f000150"            // 2:95 province/state "P"
    "1c02650002436f"          // 2:101 country "Co"
    "1c0267000152"            // 2:103 transmission reference "R"
    "1c020f00024361"          // 2:15 category "Ca"
    "1c0214000161"            // 2:20 "a"
    "1c0214000162"            // 2:20 "b"
    "1c020a000103"            // 2:10 urgency 3, binary
    "1c021900026b31"          // 2:25 "k1"
    "1c021900026b32"          // 2:25 "k2"
    "1c0263000178"            // 2:99 kept dataset "x"
    "1c02740001a9";           // 2:116 copyright "©" (Mac Roman)

} // namespace

TEST(CANPAInfoWriter, WritesEveryFieldInDatasetOrder)
{
    EXPECT_EQ(FullRecord()->GetDataHandle().toHex(), Hex(kFullBlock).toHex());
}

TEST(CANPAInfoWriter, WritesUrgencyAsAsciiDigitWhenAsked)
{
    QByteArray expected = Hex(kFullBlock);
    expected.replace(Hex("1c020a000103"), Hex("1c020a000133"));
    EXPECT_EQ(FullRecord()->GetDataHandle(EUrgencyForm::AsciiDigit).toHex(), expected.toHex());
}

TEST(CANPAInfoWriter, DefaultRecordWritesOnlyTheVersion)
{
    CANPAInfo info;
    EXPECT_EQ(info.GetDataHandle(), Hex("1c020000020004"));
    EXPECT_FALSE(info.IsModified());
}

TEST(CANPAInfoWriter, EmptyCopyrightIsWrittenLastButEmptyTextsAreNot)
{
    CANPAInfo info;
    info.SetCopyrightNotice(P(""));
    info.SetHeadline(P(""));
    EXPECT_FALSE(info.IsModified());
    EXPECT_EQ(info.GetDataHandle(), Hex("1c020000020004" "1c027400" "00"));
}

TEST(CANPAInfoReader, ReadsBackEveryField)
{
    CANPAInfo info(Hex(kFullBlock));
    EXPECT_TRUE(info.IsModified());
    EXPECT_EQ(info.GetRecordVersion(), 4);
    ASSERT_NE(info.GetCaption(), nullptr);
    EXPECT_EQ(*info.GetCaption(), "Cap");
    EXPECT_EQ(info.GetWriterEditor(), P("W"));
    EXPECT_EQ(info.GetHeadline(), P("H"));
    EXPECT_EQ(info.GetSpecialInstructions(), P("S"));
    EXPECT_EQ(info.GetByline(), P("B"));
    EXPECT_EQ(info.GetBylineTitle(), P("T"));
    EXPECT_EQ(info.GetCredit(), P("C"));
    EXPECT_EQ(info.GetSource(), P("Src"));
    EXPECT_EQ(info.GetObjectName(), P("O"));
    EXPECT_EQ(MacSecondsToDateTime(info.GetDateCreated()).date(), QDate(2004, 5, 6));
    EXPECT_EQ(info.GetCity(), P("Ci"));
    EXPECT_EQ(info.GetProvinceState(), P("P"));
    EXPECT_EQ(info.GetCountryName(), P("Co"));
    EXPECT_EQ(info.GetOriginalTransmissionReference(), P("R"));
    EXPECT_EQ(info.GetCategory(), P("Ca"));
    EXPECT_EQ(info.GetSupplementalCategoryAt(1), P("a"));
    EXPECT_EQ(info.GetSupplementalCategoryAt(2), P("b"));
    EXPECT_EQ(info.GetSupplementalCategoryAt(3), P(""));
    EXPECT_EQ(info.GetUrgency(), 3);
    EXPECT_EQ(info.GetKeywordAt(1), P("k1"));
    EXPECT_EQ(info.GetKeywordAt(0), P(""));
    EXPECT_EQ(info.GetCopyrightNotice(), LStr255(Str255("\xA9")));
    ASSERT_EQ(info.GetOtherDataSets().size(), 1u);
    EXPECT_EQ(info.GetOtherDataSets()[0]->GetDataSet(), 99);

    // Written again, the block is the same bytes.
    EXPECT_EQ(info.GetDataHandle(), Hex(kFullBlock));
    CANPAInfo copy(info);
    EXPECT_FALSE(copy.IsModified());
    EXPECT_EQ(copy.GetDataHandle(), Hex(kFullBlock));
}

TEST(CANPAInfoReader, VersionComesOnlyFromA200Dataset)
{
    CANPAInfo withVersion(Hex("1c02000002000200" "00"));
    EXPECT_EQ(withVersion.GetRecordVersion(), 2);
    EXPECT_TRUE(withVersion.IsModified());
    EXPECT_EQ(withVersion.SetFromHandle(Hex("1c020000020002" "0000")), 0);
    EXPECT_EQ(withVersion.GetDataHandle(), Hex("1c020000020002"));

    CANPAInfo without(DataSet(105, "Head"));
    EXPECT_EQ(without.GetRecordVersion(), 4);
    EXPECT_TRUE(without.GetDataHandle().startsWith(Hex("1c020000020004")));
}

TEST(CANPAInfoReader, ListsAreSortedWithoutDuplicatesOrEmptyEntries)
{
    CANPAInfo info(DataSet(25, "b") + DataSet(25, "a") + DataSet(25, "b") + DataSet(25, "") + DataSet(20, "Zoo")
        + DataSet(20, "apple"));
    EXPECT_EQ(info.GetKeywords().GetCount(), 2);
    EXPECT_EQ(info.GetDataHandle(),
        Hex("1c020000020004") + DataSet(20, "apple") + DataSet(20, "Zoo") + DataSet(25, "a") + DataSet(25, "b"));

    // List entries read from a block keep 254 bytes.
    CANPAInfo longEntry(DataSet(25, QByteArray(300, 'k')));
    EXPECT_EQ(longEntry.GetKeywordAt(1).Length(), 254);
}

TEST(CANPAInfoReader, UrgencyIsTakenAsBinaryByteOrAsciiDigit)
{
    EXPECT_EQ(CANPAInfo(DataSet(10, Hex("05"))).GetUrgency(), 5);
    EXPECT_EQ(CANPAInfo(DataSet(10, "5")).GetUrgency(), 5);
    EXPECT_EQ(CANPAInfo(DataSet(10, Hex("00"))).GetUrgency(), 0); // stored records keep index 0
    EXPECT_EQ(CANPAInfo(DataSet(10, "0")).GetUrgency(), 9);       // a file's reserved digit is none
    EXPECT_EQ(CANPAInfo(DataSet(10, Hex("08"))).GetUrgency(), 8);
    EXPECT_EQ(CANPAInfo(DataSet(10, "8")).GetUrgency(), 8);       // the least urgent, not none
    EXPECT_EQ(CANPAInfo(DataSet(10, Hex("0a"))).GetUrgency(), 9);
    EXPECT_EQ(CANPAInfo(DataSet(10, "")).GetUrgency(), 9);
    EXPECT_EQ(CANPAInfo(DataSet(10, Hex("02")) + DataSet(10, "7")).GetUrgency(), 7);

    CANPAInfo info;
    info.SetUrgency(10);
    info.SetUrgency(-1);
    EXPECT_FALSE(info.IsModified());
    EXPECT_EQ(info.GetUrgency(), 9);
    info.SetUrgency(9);
    EXPECT_FALSE(info.IsModified());
    info.SetUrgency(0);
    EXPECT_TRUE(info.IsModified());
    info.SetUrgency(8);
    EXPECT_EQ(info.GetUrgency(), 8);
    // Written and read back in both forms, 8 stays 8.
    EXPECT_EQ(CANPAInfo(info.GetDataHandle()).GetUrgency(), 8);
    EXPECT_EQ(CANPAInfo(info.GetDataHandle(EUrgencyForm::AsciiDigit)).GetUrgency(), 8);
}

TEST(CANPAInfoReader, ReadsTextsDatesAndSkipsOtherRecords)
{
    CANPAInfo info(DataSet(90, QByteArray(300, 'e'), 1) + DataSet(105, QByteArray(256, 'h'))
        + DataSet(55, "2004:05:06") + DataSet(3, "ignored", 3) + DataSet(110, "Credit"));
    EXPECT_EQ(info.GetCity(), P(""));
    EXPECT_EQ(info.GetHeadline().Length(), 255);
    EXPECT_EQ(MacSecondsToDateTime(info.GetDateCreated()).date(), QDate(2004, 5, 6));
    EXPECT_EQ(info.GetCredit(), P("Credit"));
    EXPECT_TRUE(info.GetOtherDataSets().empty());

    CANPAInfo digits(DataSet(55, "20040506"));
    EXPECT_EQ(MacSecondsToDateTime(digits.GetDateCreated()).date(), QDate(2004, 5, 6));
    // A 4-byte date is passed over; the next dataset is still read.
    digits.SetFromHandle(DataSet(55, "2005") + DataSet(5, "Name"));
    EXPECT_EQ(MacSecondsToDateTime(digits.GetDateCreated()).date(), QDate(2004, 5, 6));
    EXPECT_EQ(digits.GetObjectName(), P("Name"));

    // Record-1 datasets alone leave the record unmodified.
    CANPAInfo envelope(DataSet(90, "%G", 1));
    EXPECT_FALSE(envelope.IsModified());
}

TEST(CANPAInfoReader, EveryByLineIsKeptInOrder)
{
    CANPAInfo two(DataSet(80, "Ann Lee") + DataSet(85, "Staff") + DataSet(80, "Bo &#x141;ada"));
    EXPECT_EQ(two.GetByline(), P("Ann Lee; Bo &#x141;ada"));
    EXPECT_EQ(two.GetBylineTitle(), P("Staff"));
    // Written back as the datasets they were, so the field is the same read again.
    const QByteArray version = Hex("1c020000020004");
    EXPECT_EQ(two.GetDataHandle(),
        version + DataSet(80, "Ann Lee") + DataSet(80, "Bo &#x141;ada") + DataSet(85, "Staff"));
    CANPAInfo again(two.GetDataHandle());
    EXPECT_EQ(again.GetByline(), P("Ann Lee; Bo &#x141;ada"));
    EXPECT_EQ(again.GetDataHandle(), two.GetDataHandle());
    // Edited, the field is one By-line; a block with one starts afresh.
    again.SetByline(P("Ann Lee"));
    EXPECT_EQ(again.GetDataHandle(), version + DataSet(80, "Ann Lee") + DataSet(85, "Staff"));
    two.SetFromHandle(DataSet(80, "Cy Dunn"));
    EXPECT_EQ(two.GetDataHandle(), version + DataSet(80, "Cy Dunn") + DataSet(85, "Staff"));
    // Many long lines end on a whole character within the field's 255 bytes.
    CANPAInfo many(DataSet(80, QByteArray(200, 'a')) + DataSet(80, QByteArray(40, 'b') + "&#x141;&#x141;"));
    EXPECT_EQ(many.GetByline().Length(), 200 + 2 + 40 + 7);
    EXPECT_EQ(many.GetDataHandle(),
        version + DataSet(80, QByteArray(200, 'a')) + DataSet(80, QByteArray(40, 'b') + "&#x141;&#x141;"));
}

TEST(CANPAInfoReader, KeepsLongUnknownDatasetsWhole)
{
    const QByteArray data(300, 'u');
    CANPAInfo info(DataSet(99, data));
    ASSERT_EQ(info.GetOtherDataSets().size(), 1u);
    EXPECT_EQ(info.GetOtherDataSets()[0]->GetLength(), 300u);
    EXPECT_EQ(info.GetDataHandle(), Hex("1c020000020004") + DataSet(99, data));
}

TEST(CANPAInfoReader, LongCaptionsUseTheExtendedLengthBothWays)
{
    const QByteArray caption(40000, 'c');
    CANPAInfo info;
    info.SetCaption(caption);
    const QByteArray block = info.GetDataHandle();
    EXPECT_EQ(block.mid(7, 9), Hex("1c0278" "8004" "00009c40"));
    CANPAInfo back(block);
    ASSERT_NE(back.GetCaption(), nullptr);
    EXPECT_EQ(*back.GetCaption(), caption);
}

TEST(CANPAInfoReader, HostileBlocksGiveAClearResult)
{
    // A dataset header cut by the block's end; what came before stays.
    CANPAInfo cutHeader;
    EXPECT_EQ(CodeOf([&] { cutHeader.SetFromHandle(DataSet(80, "By") + Hex("1c")); }), -19);
    EXPECT_EQ(cutHeader.GetByline(), P("By"));
    EXPECT_EQ(CodeOf([&] { cutHeader.SetFromHandle(Hex("1c0250")); }), -19);

    // A length of 0xFFFF with 3 bytes left.
    CANPAInfo longLength;
    EXPECT_EQ(CodeOf([&] { longLength.SetFromHandle(Hex("1c0278ffff414243")); }), -19);
    EXPECT_EQ(longLength.GetCaption(), nullptr);
    // The same in a record that is skipped.
    EXPECT_EQ(CodeOf([&] { longLength.SetFromHandle(Hex("1c0150ffff414243")); }), -19);

    // Extended lengths: a count of 0, more than 4 or more bytes than remain.
    for (const char* hex : {"1c02788000", "1c0278800541424344454647", "1c027880044142"}) {
        CANPAInfo extended;
        EXPECT_EQ(CodeOf([&] { extended.SetFromHandle(Hex(hex)); }), -19) << hex;
    }
    // A well-formed extended length in record 3 is skipped.
    CANPAInfo skipped(Hex("1c030a8002000141") + DataSet(80, "By"));
    EXPECT_EQ(skipped.GetByline(), P("By"));

    // A byte that is no marker ends the block: -1, or 0 for a zero pad pair.
    CANPAInfo marker;
    EXPECT_EQ(marker.SetFromHandle(DataSet(80, "By") + Hex("1d02")), -1);
    EXPECT_EQ(marker.GetByline(), P("By"));
    EXPECT_EQ(marker.SetFromHandle(DataSet(80, "By") + Hex("0000ffff")), 0);
}

TEST(CANPAInfoFields, SettersMarkOnlyRealChanges)
{
    CANPAInfo info;
    info.SetHeadline(P(""));
    EXPECT_FALSE(info.IsModified());
    info.SetHeadline(P("Sun"));
    EXPECT_TRUE(info.IsModified());
    info.SetModified(false);
    info.SetHeadline(P("Sun"));
    info.SetDateCreated(0);
    info.SetCaption(QByteArray());
    info.RemoveAllKeywords();
    info.RemoveKeyword(P("none"));
    info.AddKeyword(P(""));
    EXPECT_FALSE(info.IsModified());

    // A text that is no date clears a set date.
    info.SetDateCreated(LocalNoonOf(2001, 1, 2));
    info.SetDateCreatedText(P("no date"));
    EXPECT_EQ(info.GetDateCreated(), 0u);
}

TEST(CANPAInfoFields, TheTimeOfDayIsTimeCreated)
{
    // Read: the date at the clock time written, its zone left aside as the date's is.
    const QByteArray version = Hex("1c020000020004");
    const QByteArray block = version + DataSet(55, "20040226") + DataSet(60, "143015+0200") + DataSet(99, "x");
    CANPAInfo info(block);
    EXPECT_EQ(MacSecondsToDateTime(info.GetDateCreated()), QDateTime(QDate(2004, 2, 26), QTime(14, 30, 15)));
    EXPECT_EQ(info.GetDataHandle(), block); // written back as it was
    // Time Created before the date, or without digits enough, reads the same way or not at all.
    EXPECT_EQ(CANPAInfo(DataSet(60, "143015") + DataSet(55, "20040226")).GetDateCreated(), info.GetDateCreated());
    EXPECT_EQ(CANPAInfo(DataSet(55, "20040226") + DataSet(60, "1+")).GetDateCreated(), LocalMidnightOf(2004, 2, 26));
    EXPECT_EQ(CANPAInfo(DataSet(55, "20040226") + DataSet(60, "256100")).GetDateCreated(), LocalMidnightOf(2004, 2, 26));

    // Another day at the same clock time keeps Time Created as written.
    const UInt32 nextDay = DateTimeToMacSeconds(QDateTime(QDate(2004, 2, 27), QTime(14, 30, 15)));
    info.SetDateCreated(nextDay);
    EXPECT_EQ(info.GetDataHandle(), version + DataSet(55, "20040227") + DataSet(60, "143015+0200") + DataSet(99, "x"));
    // Another time is written in the zone the machine is in, in Time Created's place.
    const QDateTime evening(QDate(2004, 2, 27), QTime(21, 5, 9));
    info.SetDateCreated(DateTimeToMacSeconds(evening));
    const int offset = evening.offsetFromUtc() / 60;
    const QByteArray zone = QStringLiteral("%1%2%3")
                                .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                                .arg(std::abs(offset) / 60, 2, 10, QLatin1Char('0'))
                                .arg(std::abs(offset) % 60, 2, 10, QLatin1Char('0'))
                                .toLatin1();
    EXPECT_EQ(info.GetDataHandle(), version + DataSet(55, "20040227") + DataSet(60, "210509" + zone) + DataSet(99, "x"));
    EXPECT_EQ(CANPAInfo(info.GetDataHandle()).GetDateCreated(), DateTimeToMacSeconds(evening));
    // A date alone has no time, and no date none either.
    info.SetDateCreated(LocalMidnightOf(2005, 1, 2));
    EXPECT_EQ(info.GetDataHandle(), version + DataSet(55, "20050102") + DataSet(99, "x"));
    info.SetDateCreated(DateTimeToMacSeconds(evening));
    info.SetDateCreated(0);
    EXPECT_EQ(info.GetDataHandle(), version + DataSet(99, "x"));
}

TEST(CANPAInfoFields, CaptionEditing)
{
    CANPAInfo info;
    info.AppendCaption("world");
    info.PrependCaptionText(P("hello "));
    info.AppendCaptionText(P("!"));
    EXPECT_EQ(*info.GetCaption(), "hello world!");
    info.SetModified(false);
    info.AppendCaption(QByteArray());
    EXPECT_TRUE(info.IsModified()); // appending always counts as a change
    info.SetModified(false);
    info.SetCaptionText(P("hello world!"));
    EXPECT_FALSE(info.IsModified());
    info.SetCaption(QByteArray());
    EXPECT_EQ(info.GetCaption(), nullptr);
    EXPECT_TRUE(info.IsModified());
    // An empty caption dataset removes the caption.
    info.SetCaption("x");
    info.SetFromHandle(DataSet(120, QByteArray()));
    EXPECT_EQ(info.GetCaption(), nullptr);
}

TEST(CANPAInfoFields, KeywordsFromCommaSeparatedText)
{
    CANPAInfo info;
    info.AddKeyword(P("old"));
    info.SetKeywordsCF(QStringLiteral("sun, sea,  sky \t"));
    EXPECT_EQ(info.GetKeywords().GetCount(), 3);
    EXPECT_TRUE(info.HasKeyword(P("sun")));
    EXPECT_TRUE(info.HasKeyword(P("sea")));
    EXPECT_TRUE(info.HasKeyword(P("sky")));
    EXPECT_FALSE(info.HasKeyword(P("old")));

    // A part that does not convert ends the list there.
    info.SetSupplementalCategoriesCF(QStringLiteral("one,two \u4e00,three"));
    EXPECT_EQ(info.GetSupplementalCategories().GetCount(), 1);
    EXPECT_THROW(info.AddKeywordCF(QStringLiteral("\u4e00")), ExceptionCode);
    EXPECT_THROW(info.AddKeywordCF(QString(256, QLatin1Char('k'))), ExceptionCode);
    info.AddKeywordCF(QStringLiteral("caf\u00e9"));
    EXPECT_TRUE(info.HasKeyword(Str255("caf\x8E")));
    info.RemoveKeywordCF(QStringLiteral("caf\u00e9"));
    EXPECT_FALSE(info.HasKeyword(Str255("caf\x8E")));
}

TEST(CANPAStringComparator, SortsByLettersThenAccentsThenCase)
{
    CANPAStringComparator comparator;
    EXPECT_LT(comparator.CompareStrings(P("apple"), P("Banana")), 0);
    EXPECT_GT(comparator.CompareStrings(P("banana"), P("Apple")), 0);
    EXPECT_NE(comparator.CompareStrings(P("Rome"), P("rome")), 0);
    EXPECT_EQ(comparator.CompareStrings(P("Rome"), P("Rome")), 0);
    EXPECT_LT(comparator.CompareStrings(Str255("\x8E" "clair"), P("f")), 0); // "éclair" before "f"
    EXPECT_LT(comparator.CompareStrings(P("a"), P("ab")), 0);
    // A keyword with letters Mac Roman lacks sorts by those letters, not as the '&' of its references.
    EXPECT_GT(comparator.CompareStrings(P("&#x141;&#xF3;d&#x17A;"), LStr255(Str255("Krak\x97w"))), 0); // "Łódź" after "Kraków"
    EXPECT_LT(comparator.CompareStrings(P("&#x141;&#xF3;d&#x17A;"), P("Madrid")), 0);
    // Past the thousands of entries whose collation is kept, each still compares by its own.
    int misordered = 0;
    for (int i = 0; i < 10000; ++i) {
        const QByteArray word = "k" + QByteArray::number(i);
        misordered += comparator.CompareStrings(P(word.constData()), P("apple")) <= 0
            || comparator.CompareStrings(P("zebra"), P(word.constData())) <= 0;
    }
    EXPECT_EQ(misordered, 0);

    // Case-only variants are both kept, next to each other.
    CANPAInfo info;
    for (const char* keyword : {"rome", "Paris", "Rome", "oslo"})
        info.AddKeyword(P(keyword));
    ASSERT_EQ(info.GetKeywords().GetCount(), 4);
    EXPECT_EQ(info.GetKeywordAt(1), P("oslo"));
    EXPECT_EQ(info.GetKeywordAt(2), P("Paris"));
    EXPECT_EQ(info.GetKeywordAt(3).TextPtr()[1], 'o');
    EXPECT_EQ(info.GetKeywordAt(4).TextPtr()[1], 'o');
}

TEST(CANPAInfo, UrgencyLabels)
{
    EXPECT_EQ(CANPAInfo::CopyUrgencyLabel(8), BundleLocalizedString("602:24"));
    EXPECT_EQ(CANPAInfo::CopyUrgencyLabel(9), BundleLocalizedString("602:29"));
    EXPECT_EQ(CANPAInfo::CopyUrgencyLabel(-3), BundleLocalizedString("602:29"));
    EXPECT_EQ(CANPAInfo::CopyUrgencyLabel(1), BundleLocalizedString("602:28"));
    EXPECT_EQ(CANPAInfo::CopyUrgencyLabel(5), BundleLocalizedString("602:26"));
    EXPECT_EQ(CANPAInfo::CopyUrgencyLabel(7), BundleLocalizedString("602:24"));
}
