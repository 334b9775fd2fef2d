// What the organizer does with the value index: which values get rows, what a
// click, a rename and a drop do, and how often its groups are refreshed.

#include "BatchActions.h"
#include "CANPAInfo.h"
#include "CCriteria.h"
#include "CSearchTask.h"
#include "CoalescedCall.h"
#include "FieldKeys.h"
#include "IndexViewFixture.h"
#include "LThread.h"
#include "OrganizerValues.h"
#include "PrefKeys.h"

#include <QElapsedTimer>
#include <QTest>

#include <algorithm>

namespace {

class OrganizerValues : public IndexViewFixture {
protected:
    void SetUp() override
    {
        MakeView(400, 300);
        Pref::MDIKeys.Set(QVariantList { 6016, 6020, 4001, 6005 });
    }

    // An item of the view with the given keywords.
    CIndexItem* Add(const QString& name, const QStringList& keywords = {})
    {
        auto* item = new CIndexItem(QUrl(QStringLiteral("http://example.org/") + name));
        auto caption = std::make_unique<CANPAInfo>();
        for (const QString& keyword : keywords)
            caption->AddKeywordCF(keyword);
        item->SetCaptionInfo(std::move(caption));
        view->InsertItem(item, kInsertAtEnd, false, true);
        return item;
    }
    CIndexModel& Model() { return view->GetModel(); }
    std::vector<CIndexItem*> Shown()
    {
        return { Model().GetItemList().begin(), Model().GetItemList().end() };
    }
    static void RunToEnd(CVisualTask* task)
    {
        const ThreadID id = task->GetID();
        ASSERT_TRUE(LThread::RunUntil([id] { return LThread::FromID(id) == nullptr; }, 5000));
    }
    static std::vector<std::tuple<SInt32, SInt32, QString>> Steps(const CSearchTask& task)
    {
        std::vector<std::tuple<SInt32, SInt32, QString>> steps;
        for (const auto& criterion : task.GetCriteria())
            steps.emplace_back(criterion->GetCategory(), criterion->GetSelector(), criterion->GetValue());
        return steps;
    }
};

} // namespace

TEST_F(OrganizerValues, ValuesGetRowsByTheirFieldsRules)
{
    for (const char* name : { "harbour 1.jpg", "harbour-2.jpg", "harbour_3.jpg", "boat 1.jpg", "boat 2.jpg" })
        Add(QString::fromLatin1(name), { QStringLiteral("sea") });
    CIndexItem* lone = Add(QStringLiteral("lone.jpg"), { QStringLiteral("Dune") });
    view->RebuildValueIndex();
    const QString dune = QStringLiteral("Dune");
    // The keyword's last item loses it: its set stays in the index, empty.
    Model().UpdateValueIndex(lone, 6016, &dune, nullptr);

    struct Case {
        SInt32 field;
        bool showEmpty;
        std::vector<QString> listed;
    };
    const std::vector<Case> cases {
        // A name two items share says nothing; three make a group.
        { 4001, false, { QStringLiteral("harbour.jpg") } },
        { 4001, true, { QStringLiteral("harbour.jpg") } },
        // Every rating is listed, with items or not.
        { 6020, false, { "0", "2", "4", "6", "7", "9" } },
        { 6016, false, { QStringLiteral("sea") } },
        { 6016, true, { QStringLiteral("Dune"), QStringLiteral("sea") } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "field " << c.field << " showEmpty " << c.showEmpty);
        const CIndexModel::ValueSets* sets = Model().GetValueSets(c.field);
        ASSERT_TRUE(sets);
        EXPECT_EQ(OrganizerListedValues(*sets, c.field, c.showEmpty), c.listed);
    }
    EXPECT_EQ(OrganizerMemberCount(Model(), 4001, QStringLiteral("boat.jpg")), 2);
}

TEST_F(OrganizerValues, DropsAndRenamesAreRefusedWhereTheFieldComesFromTheFile)
{
    struct Case {
        SInt32 field;
        bool groupDrop, valueDrop, editable;
    };
    for (const Case& c : std::vector<Case> {
             { 6016, true, true, true },
             { 6020, false, true, false }, // a rating value rates, the group asks for nothing
             { 4001, false, false, false },
             { 4004, false, false, false },
             { 4216, false, false, false },
             { 6013, true, true, true },
         }) {
        SCOPED_TRACE(c.field);
        EXPECT_EQ(OrganizerGroupAcceptsDrop(c.field), c.groupDrop);
        EXPECT_EQ(OrganizerValueAcceptsDrop(c.field), c.valueDrop);
        EXPECT_EQ(OrganizerValueIsEditable(c.field), c.editable);
    }
}

TEST_F(OrganizerValues, CommandClickingASecondValueAddsOnlyItemsNotYetShown)
{
    CIndexItem* both = Add(QStringLiteral("a.jpg"), { QStringLiteral("sunset"), QStringLiteral("sea") });
    CIndexItem* sunset = Add(QStringLiteral("b.jpg"), { QStringLiteral("sunset") });
    CIndexItem* sea = Add(QStringLiteral("c.jpg"), { QStringLiteral("sea") });
    Add(QStringLiteral("d.jpg"));
    view->RebuildValueIndex();
    view->SetModified(false);

    FilterToValue(*view, 6016, QStringLiteral("sunset"), false);
    EXPECT_TRUE(Model().IsFiltered());
    EXPECT_EQ(Shown(), (std::vector<CIndexItem*> { both, sunset }));

    FilterToValue(*view, 6016, QStringLiteral("sea"), true);
    EXPECT_EQ(Shown(), (std::vector<CIndexItem*> { both, sunset, sea }));

    // A plain click starts again from the value alone.
    FilterToValue(*view, 6016, QStringLiteral("sea"), false);
    EXPECT_EQ(Shown(), (std::vector<CIndexItem*> { both, sea }));
    EXPECT_FALSE(view->IsModified());
    EXPECT_EQ(OrganizerFilterCaption(6016, QStringLiteral("sea")), CopyFieldName(6016) + QStringLiteral(" \"sea\""));
}

TEST_F(OrganizerValues, RenamesAndDropsActOnTheItemsTheValueHasNow)
{
    CIndexItem* first = Add(QStringLiteral("a.jpg"), { QStringLiteral("sunset") });
    Add(QStringLiteral("b.jpg"), { QStringLiteral("sunset") });
    Add(QStringLiteral("c.jpg"), { QStringLiteral("sunset") });
    view->RebuildValueIndex();
    // An item deleted after the row was made is never worked on.
    delete Model().TakeItemAt(Model().GetIndexOfItem(first));

    EXPECT_EQ(StartValueRename(view->GetModel(), 6016, QStringLiteral("sunset"), QStringLiteral("sunset")), nullptr);
    EXPECT_EQ(StartValueRename(view->GetModel(), 6016, QStringLiteral("dawn"), QStringLiteral("dusk")), nullptr);
    CSearchTask* rename = StartValueRename(view->GetModel(), 6016, QStringLiteral("sunset"), QStringLiteral("dusk"));
    ASSERT_TRUE(rename);
    EXPECT_EQ(rename->GetKind(), kSearchKindBatch);
    EXPECT_EQ(rename->CountItems(), 2);
    using Step = std::tuple<SInt32, SInt32, QString>;
    EXPECT_EQ(Steps(*rename), (std::vector<Step> { { 6016, kBatchRemove, QStringLiteral("sunset") },
                                  { 6016, kBatchAdd, QStringLiteral("dusk") } }));
    RunToEnd(rename);
    for (CIndexItem* item : Model().GetAllItems()) {
        EXPECT_FALSE(item->GetCaptionInfo()->HasKeyword(LStr255("sunset")));
        EXPECT_TRUE(item->GetCaptionInfo()->HasKeyword(LStr255("dusk")));
    }
    EXPECT_EQ(OrganizerMemberCount(Model(), 6016, QStringLiteral("dusk")), 2);

    const std::vector<CIndexItem*> dropped { Model().ItemAt(1) };
    CSearchTask* rate = StartValueDrop(view->GetModel(), 6020, QStringLiteral("9"), dropped, nullptr);
    ASSERT_TRUE(rate);
    EXPECT_EQ(Steps(*rate), (std::vector<Step> { { 6020, kBatchSet, QStringLiteral("9") } }));
    RunToEnd(rate);
    EXPECT_EQ(dropped.front()->GetCaptionInfo()->GetUrgency(), 9);
    // The rating group has no value to ask for.
    EXPECT_EQ(StartGroupDrop(view->GetModel(), 6020, dropped, nullptr), nullptr);
    EXPECT_EQ(StartValueDrop(view->GetModel(), 4001, QStringLiteral("a.jpg"), dropped, nullptr), nullptr);
}

TEST(CoalescedCallTest, ManyRequestsRunOnceAndRunsKeepTheirInterval)
{
    int runs = 0;
    QElapsedTimer clock;
    std::vector<qint64> times;
    CoalescedCall call([&] {
        ++runs;
        times.push_back(clock.elapsed());
    },
        100);
    clock.start();
    for (int i = 0; i < 500; ++i)
        call.Request();
    EXPECT_EQ(runs, 0); // never inside the request
    EXPECT_TRUE(QTest::qWaitFor([&] { return runs == 1; }, 1000));

    // Requests all along for most of a second: at most ten runs a second.
    QElapsedTimer burst;
    burst.start();
    while (burst.elapsed() < 650) {
        call.Request();
        QTest::qWait(5);
    }
    QTest::qWait(150);
    ASSERT_GE(times.size(), 2u);
    for (size_t i = 1; i < times.size(); ++i)
        EXPECT_GE(times[i] - times[i - 1], 95) << "run " << i;
    EXPECT_LE(runs, 9);
    call.Request();
    call.Cancel();
    QTest::qWait(150);
    EXPECT_EQ(size_t(runs), times.size());
}
