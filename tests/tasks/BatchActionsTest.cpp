#include "BatchActions.h"
#include "CANPAInfo.h"
#include "CCriteria.h"
#include "CIndexItem.h"
#include "ErrorCodes.h"
#include "ExceptionCode.h"
#include "ExivTestFiles.h"
#include "FieldKeys.h"
#include "TaskTestSupport.h"

#include <gtest/gtest.h>

#include <QFileInfo>

#include <memory>

namespace {

struct BatchFixture {
    TestOwnerView owner;
    std::vector<SInt32> reports;
    BatchRun run;

    BatchFixture()
    {
        run.model = &owner.model;
        run.report = [this](SInt32 code) { reports.push_back(code); };
    }
    ~BatchFixture() { owner.DeleteItems(); }
    CIndexItem& Add(const QString& path)
    {
        auto* item = new CIndexItem(FileRef(path));
        owner.GetModel().InsertItem(item, kInsertAtEnd, ItemInsert::Filling);
        return *item;
    }
    BatchOutcome Run(const std::vector<CCriteria>& criteria)
    {
        std::vector<const CCriteria*> list;
        for (const CCriteria& criterion : criteria)
            list.push_back(&criterion);
        return BatchItems(owner.Items(), list, run);
    }
};

QString Copy(const QString& name)
{
    return SampleWithExivCommands(name, QByteArray());
}

} // namespace

TEST(BatchActionsTest, NameOperationsKeepTheRealSuffix)
{
    struct Case {
        const char* name;
        SInt32 selector;
        const char* operand;
        const char* expected;
    };
    const Case cases[] = {
        { "photo.jpg", kBatchAppend, " copy", "photo copy.jpg" },
        { "photo.jpeg", kBatchAppend, " copy", "photo copy.jpeg" },
        { "photo.jpg", kBatchRemove, "JPG", "photo.jpg" },
        { "Photo.JPG", kBatchRemove, "pho", "to.JPG" },
        { "photo.jpg", kBatchRemove, "photo", "photo.jpg" }, // never only the suffix
        { ".profile", kBatchAppend, " old", ".profile old" },
        { "Mr. Smith", kBatchPrepend, "A ", "A Mr. Smith" },
        { "archive.backup", kBatchSet, "new", "new" },
        { "the old harbour.jpg", kBatchChangeCase, "7302", "The Old Harbour.jpg" },
        { "the old harbour.jpg", kBatchChangeCase, "7304", "The old harbour.jpg" },
        { "Zürich café.jpg", kBatchChangeCase, "7303", "Zurich cafe.jpg" },
        { "Quay.tif", kBatchChangeCase, "7300", "QUAY.tif" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(BatchNameOperation(QString::fromUtf8(c.name), c.selector, QString::fromUtf8(c.operand)),
            QString::fromUtf8(c.expected))
            << c.name << " " << c.operand;
}

TEST(BatchActionsTest, NumberingPadsToTheTotalOrToTheGivenDigits)
{
    EXPECT_EQ(NumberedOperand("##", 120, 0), "001");
    EXPECT_EQ(NumberedOperand("##", 120, 119), "120");
    EXPECT_EQ(NumberedOperand("##", 9, 8), "9");
    EXPECT_EQ(NumberedOperand("##7", 3, 2), "9");
    EXPECT_EQ(NumberedOperand("##007", 3, 0), "007");
    EXPECT_EQ(NumberedOperand("##007", 3, 2), "009");
}

TEST(BatchActionsTest, TurnsAndFlipsFollowThePicture)
{
    UInt32 flags = 0x1;
    for (int i = 0; i < 4; ++i)
        flags = TurnFlags(flags, kItemFlagRotate90CCW);
    EXPECT_EQ(flags, 0x1u); // four quarter turns: none, other bits kept
    EXPECT_EQ(TurnFlags(0, kItemFlagRotate90CCW), UInt32(kItemFlagRotate90CCW));
    EXPECT_EQ(TurnFlags(kItemFlagRotate90CCW, kItemFlagRotate90CCW), UInt32(kItemFlagRotate180));
    EXPECT_EQ(TurnFlags(kItemFlagRotate180, kItemFlagRotate90CCW), UInt32(kItemFlagRotate90CW));
    EXPECT_EQ(TurnFlags(kItemFlagRotate90CW, kItemFlagRotate90CCW), 0u);
    EXPECT_EQ(TurnFlags(kItemFlagRotate90CCW, kItemFlagRotate90CW), 0u);
    EXPECT_EQ(TurnFlags(kItemFlagFlipVertical, kItemFlagRotate90CCW),
        UInt32(kItemFlagRotate90CCW | kItemFlagFlipHorizontal));
    EXPECT_EQ(TurnFlags(kItemFlagFlipVertical | kItemFlagFlipHorizontal, kItemFlagRotate90CW),
        UInt32(kItemFlagRotate90CW | kItemFlagFlipVertical | kItemFlagFlipHorizontal));
    EXPECT_EQ(TurnFlags(kItemFlagFlipVertical, kItemFlagFlipVertical), 0u);
    EXPECT_EQ(TurnFlags(kItemFlagTransformMask | 0x2, 0xF), 0x2u);
}

TEST(BatchActionsTest, UrgencyPositionAndEntriesHoldTheirBounds)
{
    // Urgency labels: 0 and 1 most urgent, 9 none.
    const SInt32 more[] = { 0, 1, 1, 1, 3, 3, 5, 6, 9, 7 };
    const SInt32 less[] = { 2, 2, 4, 4, 6, 6, 7, 9, 9, 9 };
    for (SInt32 u = 0; u <= 9; ++u) {
        EXPECT_EQ(StepUrgencyLabel(u, kBatchDecrease), more[u]) << u;
        EXPECT_EQ(StepUrgencyLabel(u, kBatchIncrease), less[u]) << u;
    }
    EXPECT_EQ(StepUrgencyLabel(12, kBatchDecrease), 9);

    struct Case {
        SInt32 n, p, count, selector, expected;
    };
    const Case positions[] = {
        { 3, 2, 10, kBatchSet, 3 }, { 0, 5, 10, kBatchSet, 1 }, { 50, 5, 10, kBatchSet, 10 },
        { 2, 5, 10, kBatchDecrease, 7 }, { 9, 5, 10, kBatchDecrease, 10 },
        { 2, 5, 10, kBatchIncrease, 3 }, { 9, 5, 10, kBatchIncrease, 1 },
    };
    for (const Case& c : positions)
        EXPECT_EQ(BatchPosition(c.n, c.p, c.count, c.selector), c.expected) << c.n << " " << c.p;

    EXPECT_EQ(RemoveListEntries("cat,catalog,bobcat", "CAT"), "catalog,bobcat");
    EXPECT_EQ(RemoveListEntries("sky,sea,sky", "sky"), "sea");
}

TEST(BatchActionsTest, AFailingStepBecomesAnItemErrorAndTheRunGoesOn)
{
    BatchFixture batch;
    CIndexItem& first = batch.Add(Copy("batch-a.jpg"));
    CIndexItem& second = batch.Add(Copy("batch-b.jpg"));
    const std::vector<CCriteria> criteria = {
        CCriteria(kFieldHeadline, kBatchSet, "Harbour ##"),
        CCriteria(kFieldDateAdded, kBatchSet, "not a date"),
        CCriteria(kFieldKeywords, kBatchAdd, "sky"),
        CCriteria(kFieldPositionInView, kBatchSet, "1"),
    };
    const BatchOutcome outcome = batch.Run(criteria);

    EXPECT_EQ(outcome.done, 2);
    EXPECT_EQ(outcome.errors, 2);
    EXPECT_EQ(batch.reports, std::vector<SInt32> {kMsgBatchProcess});
    EXPECT_TRUE(batch.owner.GetModel().IsModified());
    for (CIndexItem* item : {&first, &second}) {
        ASSERT_NE(item->GetError(), nullptr);
        EXPECT_TRUE(item->CopyFieldString(kFieldKeywords, kFieldTextEmpty).split(',').contains("sky"));
    }
    // The numbering is not a "##" value at its start: the text stays as typed.
    EXPECT_EQ(first.CopyFieldString(kFieldHeadline, kFieldTextEmpty), "Harbour ##");
    // Both moved to the front in turn: the last one processed leads.
    EXPECT_EQ(batch.owner.Items().front(), &second);
}

TEST(BatchActionsTest, AnEmptyValueIsAskedForAndNothingChanges)
{
    BatchFixture batch;
    CIndexItem& item = batch.Add(Copy("batch-empty.jpg"));
    const QString before = item.CopyFieldString(kFieldHeadline, kFieldTextEmpty);
    const OSStatus status = CatchCode([&] { batch.Run({ CCriteria(kFieldHeadline, kBatchSet, "  ") }); });
    EXPECT_EQ(status, paramErr);
    EXPECT_EQ(item.CopyFieldString(kFieldHeadline, kFieldTextEmpty), before);
    EXPECT_FALSE(BatchCriterionNeedsValue(CCriteria(kFieldUrgencyLabel, kBatchIncrease, "")));
    EXPECT_FALSE(BatchCriterionNeedsValue(CCriteria(kFieldTurnState, kItemFlagRotate90CW, "")));
}

TEST(BatchActionsTest, ApplyToFileWritesTheFileAndCatalogueOnlyDoesNot)
{
    for (const bool applyToFile : {false, true}) {
        BatchFixture batch;
        batch.run.applyToFile = applyToFile;
        const QString name = applyToFile ? "write-file.jpeg" : "catalogue-only.jpeg";
        const QString path = Copy(name);
        CIndexItem& item = batch.Add(path);
        const BatchOutcome outcome = batch.Run({
            CCriteria(kFieldCity, kBatchSet, "Lisbon"),
            CCriteria(kFieldKeywords, kBatchAdd, "quay"),
            CCriteria(kFieldName, kBatchAppend, " copy"),
        });
        EXPECT_EQ(outcome.errors, 0) << applyToFile;
        EXPECT_EQ(item.GetName(), QFileInfo(name).completeBaseName() + " copy.jpeg");
        const QString dir = QFileInfo(path).absolutePath();
        const QString renamed = dir + "/" + item.GetName();
        EXPECT_EQ(QFileInfo::exists(renamed), applyToFile);
        EXPECT_EQ(QFileInfo::exists(path), !applyToFile);
        const std::vector<QByteArray> cities
            = FileIPTCValues(applyToFile ? renamed : path, "Iptc.Application2.City");
        EXPECT_EQ(!cities.empty() && cities.front() == "Lisbon", applyToFile);
        const std::vector<QByteArray> keywords
            = FileIPTCValues(applyToFile ? renamed : path, "Iptc.Application2.Keywords");
        EXPECT_EQ(std::find(keywords.begin(), keywords.end(), QByteArray("quay")) != keywords.end(), applyToFile);
    }
}
