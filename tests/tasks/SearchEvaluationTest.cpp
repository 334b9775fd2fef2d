#include "CANPAInfo.h"
#include "CCriteria.h"
#include "CEXIFInfo.h"
#include "ExceptionCode.h"
#include "CIndexItem.h"
#include "FieldKeys.h"
#include "IIMText.h"
#include "IndexDbRecord.h"
#include "MacDates.h"
#include "PropertyList.h"
#include "SearchDuplicates.h"
#include "SearchEvaluation.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTimeZone>

#include <cstdlib>
#include <ctime>
#include <malloc.h>
#include <memory>

namespace {

std::unique_ptr<CIndexItem> ItemFor(const QString& dataFile)
{
    return std::make_unique<CIndexItem>(FileRef(TestDataPath(dataFile)));
}

bool Matches(CIndexItem& item, SInt32 category, SInt32 selector, const QString& value, bool* unchecked = nullptr)
{
    EvaluationNotes notes;
    const bool result = CriterionTest(CCriteria(category, selector, value)).Matches(item, notes);
    if (unchecked)
        *unchecked = notes.unchecked;
    return result;
}

} // namespace

TEST(SearchEvaluationTest, TextTestsFoldCaseAndAnEmptyOperandNeverMatches)
{
    struct Case {
        SInt32 selector;
        const char* item;
        const char* operand;
        bool expected;
    };
    const Case cases[] = {
        { kSelectorIs, "Harbour.JPG", "harbour.jpg", true },
        { kSelectorIsNot, "Harbour.JPG", "harbour.jpg", false },
        { kSelectorContains, "Harbour.JPG", "BOUR", true },
        { kSelectorContains, "Harbour.JPG", "", false },
        { kSelectorNotContains, "Box", "X", false }, // both sides folded
        { kSelectorNotContains, "Box", "", false },
        { kSelectorBeginsWith, "Harbour", "har", true },
        { kSelectorNotBeginsWith, "Harbour", "har", false },
        { kSelectorEndsWith, "Harbour", "OUR", true },
        { kSelectorNotEndsWith, "Harbour", "x", true },
        { kSelectorLessThan, "12 apples", "13", true },
        { kSelectorGreaterThan, "12 apples", "13", false },
        { kSelectorIsSet, "Harbour", "H", false }, // no text test for it
        { kSelectorContains, "Straße in Ελλάδα", "ΕΛΛΆΔΑ", true }, // beyond Mac Roman
    };
    for (const Case& c : cases)
        EXPECT_EQ(CriterionTest::TextTest(QString::fromUtf8(c.item), c.selector, QString::fromUtf8(c.operand)),
            c.expected)
            << c.selector << " " << c.item << " / " << c.operand;
}

TEST(SearchEvaluationTest, NumbersAreSixtyFourBitAndYesNoFollowsTheTable)
{
    const SInt64 threeGB = 3LL * 1024 * 1024 * 1024;
    EXPECT_TRUE(CriterionTest::NumberTest(threeGB, kSelectorGreaterThan, QStringLiteral("2147483648")));
    EXPECT_FALSE(CriterionTest::NumberTest(threeGB, kSelectorLessThan, QStringLiteral("1000")));
    EXPECT_TRUE(CriterionTest::NumberTest(-5, kSelectorIs, QStringLiteral("-5")));
    EXPECT_FALSE(CriterionTest::NumberTest(0, kSelectorIs, QString()));
    EXPECT_FALSE(CriterionTest::NumberTest(0, kSelectorContains, QStringLiteral("0")));
    // The size as the sort reads it: a 3 GB file is not negative.
    CIndexItem big(QUrl(QStringLiteral("http://example.org/big.mov")));
    big.SetTotalSize(3221225472u);
    SInt64 size = 0;
    ASSERT_TRUE(SearchFieldNumber(big, kFieldTotalSize, size));
    EXPECT_EQ(size, threeGB);
    EXPECT_TRUE(Matches(big, kFieldTotalSize, kSelectorGreaterThan, QStringLiteral("$$@@4025")));

    const SInt32 yes[] = { 7000, 7002, 7003, 7005, 7010 };
    const SInt32 no[] = { 7001, 7004, 7006, 7007, 7011 };
    for (SInt32 selector : yes) {
        EXPECT_TRUE(CriterionTest::YesNoTest(true, selector)) << selector;
        EXPECT_FALSE(CriterionTest::YesNoTest(false, selector)) << selector;
    }
    for (SInt32 selector : no)
        EXPECT_TRUE(CriterionTest::YesNoTest(false, selector)) << selector;
    for (SInt32 selector : { 7008, 7009, 7012, 7015 })
        EXPECT_FALSE(CriterionTest::YesNoTest(true, selector)) << selector;
}

TEST(SearchEvaluationTest, DatesCompareByTheCalendarAcrossAShortDay)
{
    // The clocks went forward on 29 March 2026 in Berlin: that day had 23 hours.
    const QByteArray oldZone = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    tzset();
    const QDate today(2026, 3, 30);
    const UInt32 lateOnSunday = DateTimeToMacSeconds(QDateTime(QDate(2026, 3, 29), QTime(0, 30)));
    const UInt32 onSaturday = DateTimeToMacSeconds(QDateTime(QDate(2026, 3, 28), QTime(23, 50)));
    const QString operand = CCriteria::EncodeDate(lateOnSunday);
    // "Now minus a day" at 00:10 on Monday lands on Saturday; the calendar says Sunday.
    EXPECT_TRUE(CriterionTest::DateTest(lateOnSunday, kSelectorYesterday, operand, today));
    EXPECT_FALSE(CriterionTest::DateTest(onSaturday, kSelectorYesterday, operand, today));
    EXPECT_TRUE(CriterionTest::DateTest(lateOnSunday + 3600 * 20, kSelectorIs, operand, today));
    EXPECT_TRUE(CriterionTest::DateTest(onSaturday, kSelectorIsNot, operand, today));
    EXPECT_TRUE(CriterionTest::DateTest(onSaturday, kSelectorBefore, operand, today));
    EXPECT_FALSE(CriterionTest::DateTest(lateOnSunday, kSelectorAfter, operand, today));
    EXPECT_FALSE(CriterionTest::DateTest(lateOnSunday, kSelectorIs, QString(), today));
    if (oldZone.isEmpty())
        qunsetenv("TZ");
    else
        qputenv("TZ", oldZone);
    tzset();
}

TEST(SearchEvaluationTest, ValueEncodingsReadTheOldPackedDateOnlyWhereItCannotBeDecimal)
{
    UInt32 date = 0;
    EXPECT_EQ(CCriteria::EncodeDate(3'900'000'000u), QStringLiteral("3900000000"));
    ASSERT_TRUE(CCriteria::DecodeDate(QStringLiteral("3900000000"), date));
    EXPECT_EQ(date, 3'900'000'000u);
    ASSERT_TRUE(CCriteria::DecodeDate(QStringLiteral("1999"), date)); // four digits: decimal
    EXPECT_EQ(date, 1999u);
    // The packed form: the number's bytes lowest first (0x0D0C0B41 -> 'A', 0x0B, 0x0C, 0x0D).
    ASSERT_TRUE(CCriteria::DecodeDate(QString::fromLatin1("A\x0B\x0C\x0D", 4), date));
    EXPECT_EQ(date, 0x0D0C0B41u);
    EXPECT_FALSE(CCriteria::DecodeDate(QStringLiteral("not a date"), date));

    OSType code = 0;
    EXPECT_EQ(CCriteria::EncodeCode('JPEG'), QStringLiteral("JPEG"));
    ASSERT_TRUE(CCriteria::DecodeCode(QStringLiteral("JPEG"), code));
    EXPECT_EQ(code, OSType('JPEG'));
    ASSERT_TRUE(CCriteria::DecodeCode(QStringLiteral("PDF"), code));
    EXPECT_EQ(code, OSType('PDF '));
    EXPECT_FALSE(CCriteria::DecodeCode(QStringLiteral("JPEGS"), code));
}

TEST(SearchEvaluationTest, CriteriaKeepTheirTypesAndStoredSettingsRoundTripByteForByte)
{
    CCriteria plain;
    EXPECT_EQ(plain.GetCategory(), 0);
    EXPECT_EQ(plain.GetSelector(), 0);
    EXPECT_EQ(plain.GetValue(), QString());
    EXPECT_EQ(plain.GetString(QStringLiteral("Missing")), QString());
    EXPECT_THROW(plain.GetNumber(QStringLiteral("Missing")), ExceptionCode);
    plain.SetValueRef(QStringLiteral("Big"), QVariant::fromValue<qint64>(1LL << 40));
    EXPECT_THROW(plain.GetNumber(QStringLiteral("Big")), ExceptionCode);
    plain.SetString(kCriteriaSelectorKey, QStringLiteral("7000"));
    EXPECT_THROW(plain.GetSelector(), ExceptionCode);

    CCriteria folder(4021, kSelectorMoveToFolder, QString());
    folder.SetData(kCriteriaAliasKey, QByteArray("\x00\x01\xFF alias", 9));
    folder.SetNumber(kCriteriaMoveCopyOptionsKey, 1);
    folder.SetNumber(kCriteriaMoveRemoveKey, 1);
    const QVariantMap setting { { QStringLiteral("SourceKind"), 9000 }, { QStringLiteral("ResultKind"), 8012 },
        { QStringLiteral("CriteriaList"),
            QVariantList { CCriteria(4001, kSelectorContains, QStringLiteral("Ελλάδα")).GetDictionary(),
                folder.GetDictionary() } } };
    const QByteArray written = PropertyList::ToXML(setting);
    QVariant read;
    ASSERT_EQ(PropertyList::Read(written, read), noErr);
    const QVariantList list = read.toMap().value(QStringLiteral("CriteriaList")).toList();
    ASSERT_EQ(list.size(), 2);
    const CCriteria back(list.at(1).toMap());
    EXPECT_EQ(back.GetCategory(), 4021); // read back as 64-bit, taken as 32
    EXPECT_EQ(back.GetData(kCriteriaAliasKey), folder.GetData(kCriteriaAliasKey));
    EXPECT_EQ(CCriteria(list.at(0).toMap()).GetValue(), QStringLiteral("Ελλάδα"));
    EXPECT_EQ(PropertyList::ToXML(read), written);
}

TEST(SearchEvaluationTest, PromptsEndInAColon)
{
    EXPECT_EQ(CCriteria::MakePromptText(QStringLiteral("  Find items...  ")), QStringLiteral("Find items:"));
    EXPECT_EQ(CCriteria::MakePromptText(QStringLiteral("Find items")), QStringLiteral("Find items:"));
}

TEST(SearchEvaluationTest, CaptionFieldsAndListsFromTheIPTCSample)
{
    auto item = ItemFor(QStringLiteral("exiftool-images/IPTC.jpg"));
    const CANPAInfo* caption = item->GetCaptionInfo();
    ASSERT_NE(caption, nullptr);
    ASSERT_GT(caption->GetKeywords().GetCount(), 0);
    const QString keyword = item->CopyFieldString(kFieldKeywords, kFieldTextEmpty).section(QLatin1Char(','), 0, 0).trimmed();
    ASSERT_FALSE(keyword.isEmpty());
    const QString part = keyword.left(3).toUpper();
    EXPECT_TRUE(Matches(*item, kFieldKeywords, kSelectorIs, part));
    EXPECT_FALSE(Matches(*item, kFieldKeywords, kSelectorIsNot, part));
    EXPECT_TRUE(Matches(*item, kFieldKeywords, kSelectorIsNot, QStringLiteral("no such keyword")));
    EXPECT_FALSE(Matches(*item, kFieldKeywords, kSelectorContains, QString()));
    EXPECT_TRUE(Matches(*item, kAnyTextFieldCategory, kSelectorContains, part)); // found in one field of four
    EXPECT_TRUE(Matches(*item, kFieldHasCaption, kSelectorIsSet, QStringLiteral("-")));

    // A caption beyond 255 bytes is searched whole.
    auto changed = std::make_unique<CANPAInfo>(*caption);
    changed->SetCaption(QByteArray(400, 'a') + " needle");
    item->SetCaptionInfo(std::move(changed));
    EXPECT_TRUE(Matches(*item, kFieldCaption, kSelectorContains, QStringLiteral("NEEDLE")));
    EXPECT_TRUE(Matches(*item, kFieldCaption, kSelectorEndsWith, QStringLiteral("needle")));

    // An item without a caption record: negating selectors match, the others do not.
    auto bare = ItemFor(QStringLiteral("exif-samples/jpg/xmp/no_exif.jpg"));
    bare->SetCaptionInfo(nullptr);
    EXPECT_TRUE(Matches(*bare, kFieldHeadline, kSelectorIsNot, QStringLiteral("x")));
    EXPECT_FALSE(Matches(*bare, kFieldHeadline, kSelectorIs, QStringLiteral("x")));
}

TEST(SearchEvaluationTest, ItemFieldsDatesReferencesAndTheTurnState)
{
    auto item = ItemFor(QStringLiteral("exif-samples/jpg/Canon_40D.jpg"));
    const CEXIFInfo* exif = item->GetEXIFInfo();
    ASSERT_NE(exif, nullptr);
    const UInt32 taken = exif->GetDateTimeOriginal();
    ASSERT_NE(taken, 0u);
    EXPECT_TRUE(Matches(*item, kFieldDateTimeOriginal, kSelectorIs, CCriteria::EncodeDate(taken + 60)));
    EXPECT_TRUE(Matches(*item, kFieldDateTimeOriginal, kSelectorAfter, CCriteria::EncodeDate(taken - 1)));
    EXPECT_TRUE(Matches(*item, kFieldMake, kSelectorIs, QStringLiteral("canon")));
    EXPECT_TRUE(Matches(*item, kFieldKind, kSelectorIs, QStringLiteral("jpeg")));
    EXPECT_TRUE(Matches(*item, kFieldName, kSelectorIs, QStringLiteral("$$@@4001")));
    // A date field named by reference is its number, not its text.
    EXPECT_TRUE(Matches(*item, kFieldDateTimeDigitized, kSelectorIs, QStringLiteral("$$@@4203")));
    EXPECT_TRUE(Matches(*item, kFieldTotalSize, kSelectorIs, QString::number(QFileInfo(TestDataPath(
        QStringLiteral("exif-samples/jpg/Canon_40D.jpg"))).size())));

    // The window stores "-" for the turn state: set and not set test the transform bits.
    EXPECT_TRUE(Matches(*item, kFieldTurnState, kSelectorIsNotSet, QStringLiteral("-")));
    item->AddFlags(kItemFlagRotate90CW);
    EXPECT_TRUE(Matches(*item, kFieldTurnState, kSelectorIsSet, QStringLiteral("-")));
    EXPECT_TRUE(Matches(*item, kFieldTurnState, kSelectorIs, QString::number(kItemFlagRotate90CW)));

    // "Has a thumbnail" is told without reading one.
    EXPECT_FALSE(Matches(*item, kFieldHasThumbnail, kSelectorIsSet, QStringLiteral("-")));
    EXPECT_FALSE(item->HasThumbnail());
}

TEST(SearchEvaluationTest, ANameMatchesAsTheIndexShowsItWithoutItsExtension)
{
    auto item = ItemFor(QStringLiteral("exif-samples/jpg/Kodak_CX7530.jpg"));
    EXPECT_TRUE(Matches(*item, kFieldName, kSelectorIs, QStringLiteral("Kodak_CX7530")));
    EXPECT_TRUE(Matches(*item, kFieldName, kSelectorIs, QStringLiteral("kodak_cx7530.JPG")));
    EXPECT_FALSE(Matches(*item, kFieldName, kSelectorIsNot, QStringLiteral("Kodak_CX7530")));
    EXPECT_FALSE(Matches(*item, kFieldName, kSelectorIsNot, QStringLiteral("Kodak_CX7530.jpg")));
    EXPECT_TRUE(Matches(*item, kFieldName, kSelectorIsNot, QStringLiteral("Kodak")));
    EXPECT_TRUE(Matches(*item, kFieldName, kSelectorEndsWith, QStringLiteral("7530")));
    EXPECT_FALSE(Matches(*item, kFieldName, kSelectorNotEndsWith, QStringLiteral("7530")));
    EXPECT_TRUE(Matches(*item, kFieldName, kSelectorNotEndsWith, QStringLiteral("7531")));
}

TEST(SearchEvaluationTest, AnUnreadableFileLeavesTheItemsErrorAsItWas)
{
    const QString path = TestTempDir() + QStringLiteral("/broken.jpg");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("\xFF\xD8\xFF\xE0 not really a picture");
    file.close();
    auto item = std::make_unique<CIndexItem>(FileRef(path));
    bool unchecked = false;
    EXPECT_FALSE(Matches(*item, kFieldWidth, kSelectorGreaterThan, QStringLiteral("0"), &unchecked));
    EXPECT_TRUE(unchecked);
    EXPECT_EQ(item->GetError(), nullptr);
    EXPECT_TRUE(Matches(*item, kFieldError, kSelectorIsNotSet, QStringLiteral("-")));
}

TEST(SearchEvaluationTest, DuplicateKeysGroupInPendingOrderAndRawFilesNeverMatchByMedia)
{
    const QString folder = TestTempDir();
    QByteArray same(5000, 'x');
    for (const char* name : { "a.jpg", "b.jpg", "c.jpg" }) {
        QFile file(folder + QLatin1Char('/') + QLatin1String(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(same);
    }
    std::vector<std::unique_ptr<CIndexItem>> items;
    items.push_back(ItemFor(QStringLiteral("exiftool-images/PNG.png")));
    for (const char* name : { "a.jpg", "b.jpg", "c.jpg" })
        items.push_back(std::make_unique<CIndexItem>(FileRef(folder + QLatin1Char('/') + QLatin1String(name))));
    std::vector<std::optional<DuplicateKey>> keys;
    bool unchecked = false;
    for (auto& item : items)
        keys.push_back(MakeDuplicateKey(*item, kSelectorSameSize, unchecked));
    const auto groups = GroupEqualKeys(keys);
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups.front(), (std::vector<size_t> { 1, 2, 3 }));

    auto raw1 = ItemFor(QStringLiteral("exiftool-images/Nikon.nef"));
    auto raw2 = ItemFor(QStringLiteral("exiftool-images/Nikon.nef"));
    EXPECT_FALSE(MakeDuplicateKey(*raw1, kSelectorSameMediaInfo, unchecked));
    EXPECT_FALSE(MakeDuplicateKey(*raw2, kSelectorSameMediaInfo, unchecked));
}

TEST(SearchEvaluationTest, PixelReductionsFindTheSamePictureAtAnotherSize)
{
    QImage picture(QSize(300, 200), QImage::Format_RGB32);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 300; ++x)
            picture.setPixel(x, y, qRgb(x * 255 / 300, y * 255 / 200, 128));
    QImage other = picture.mirrored(true, false);
    const PixelSignature one = MakePixelSignature(picture);
    EXPECT_TRUE(ArePixelsAlike(one, MakePixelSignature(picture.scaled(150, 100))));
    EXPECT_FALSE(ArePixelsAlike(one, MakePixelSignature(other)));
    EXPECT_FALSE(ArePixelsAlike(one, MakePixelSignature(picture.copy(0, 0, 200, 200))));
}

// A search looks at the captions items hold as their records' blocks and keeps none
// of them parsed, so what the items hold does not grow; a caption changed since is
// the one searched.
TEST(SearchEvaluationTest, CaptionsLookedAtBySearchingAreNotKept)
{
    constexpr int kItems = 2000;
    const QByteArray version("\x1C\x02\x00\x00\x02\x00\x04", 7);
    std::vector<std::unique_ptr<CIndexItem>> items;
    for (int i = 0; i < kItems; ++i) {
        IndexDbRecord record;
        record.name = "IMG_" + QByteArray::number(i) + ".JPG";
        record.fileURL = "file:///nowhere/" + *record.name;
        record.fields = CatalogueFields {'JPEG', 1, 3000000000u, 3000000000u, 3000000000u, i + 1, 0};
        const QByteArray text = i % 2 ? "harbour" : "beach";
        record.caption = version + QByteArray("\x1C\x02\x78\x00", 4) + char(text.size()) + text;
        items.push_back(std::make_unique<CIndexItem>(record, nullptr));
    }
    const auto held = [] { return SInt64(mallinfo2().uordblks); };
    const SInt64 before = held();
    int found = 0;
    for (auto& item : items)
        found += Matches(*item, kFieldCaption, kSelectorContains, QStringLiteral("BEACH")) ? 1 : 0;
    EXPECT_EQ(found, kItems / 2);
    EXPECT_LT(held() - before, 16 * kItems) << "bytes the items kept after the search";

    auto changed = std::make_unique<CANPAInfo>();
    changed->SetCaption("dunes");
    items[0]->SetCaptionInfo(std::move(changed));
    EXPECT_TRUE(Matches(*items[0], kFieldCaption, kSelectorIs, QStringLiteral("dunes")));
    EXPECT_FALSE(Matches(*items[0], kFieldCaption, kSelectorContains, QStringLiteral("beach")));
    EXPECT_TRUE(Matches(*items[2], kFieldCaption, kSelectorContains, QStringLiteral("beach")));
}

// The caption, keywords and categories a search reads in place from a record's
// block answer as the same block parsed into a caption does.
TEST(SearchEvaluationTest, CaptionTextsReadFromTheRecordsBlockAnswerAsTheParsedCaption)
{
    const auto dataSet = [](UInt8 number, const QByteArray& data) {
        QByteArray bytes;
        IIMText::AppendDataSet(bytes, IIMText::kApplicationRecord, number, data);
        return bytes;
    };
    const QByteArray longKeyword = QByteArray(250, 'a') + "needle"; // kept to its first 254 bytes
    struct Case {
        QByteArray block;
        SInt32 field;
        SInt32 selector;
        const char* operand;
        bool expected;
    };
    const Case cases[] = {
        { dataSet(25, longKeyword), kFieldKeywords, kSelectorContains, "aNEED", true },
        { dataSet(25, longKeyword), kFieldKeywords, kSelectorContains, "needle", false },
        { dataSet(25, "boats") + dataSet(25, "") + dataSet(25, "harbour"), kFieldKeywords, kSelectorIs, "HARB", true },
        { dataSet(20, "Travel") + dataSet(25, "harbour"), kFieldSupplementalCategories, kSelectorContains, "harb", false },
        { dataSet(20, "Caf&#x26;&#x4E2D;"), kFieldSupplementalCategories, kSelectorNotContains, "&\u4E2D", false },
        { dataSet(120, "old text") + dataSet(120, "new text"), kFieldCaption, kSelectorBeginsWith, "NEW", true },
        { dataSet(120, "old text") + dataSet(120, ""), kFieldCaption, kSelectorNotContains, "text", true },
        { dataSet(120, "boats"), kAnyTextFieldCategory, kSelectorContains, "OAT", true },
    };
    for (const Case& c : cases) {
        IndexDbRecord record;
        record.name = "IMG_1.JPG";
        record.fileURL = "file:///nowhere/IMG_1.JPG";
        record.fields = CatalogueFields {'JPEG', 1, 3000000000u, 3000000000u, 3000000000u, 1, 0};
        record.caption = c.block;
        CIndexItem stored(record, nullptr);
        CIndexItem parsed(QUrl(QStringLiteral("http://example.org/IMG_1.JPG")));
        parsed.SetCaptionInfo(std::make_unique<CANPAInfo>(c.block));
        const QString operand = QString::fromUtf8(c.operand);
        EXPECT_EQ(Matches(stored, c.field, c.selector, operand), c.expected) << c.block.toStdString() << " / " << c.operand;
        EXPECT_EQ(Matches(parsed, c.field, c.selector, operand), c.expected) << c.block.toStdString() << " / " << c.operand;
    }
}
