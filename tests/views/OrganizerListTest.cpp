// The organizer list in the index window, over the document's own index view.

#include "CANPAInfo.h"
#include "CCriteria.h"
#include "BatchActions.h"
#include "CSearchTask.h"
#include "FieldKeys.h"
#include "LThread.h"
#include "CIndexItem.h"
#include "CIndexView.h"
#include "CMetaDataListView.h"
#include "IndexWindowTest.h"
#include "LWindow.h"
#include "OrganizerValues.h"
#include "PrefKeys.h"
#include "Preferences.h"

#include <QApplication>
#include <QMimeData>
#include <QHeaderView>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <QTreeView>

namespace {

class OrganizerList : public IndexWindowTest {
protected:
    void SetUp() override
    {
        IndexWindowTest::SetUp();
        Pref::MDIKeys.Set(QVariantList { 6016, 6020, 4001 });
        for (int field : { 6016, 6020, 4001 })
            SetPrefBoolean(QString::number(field), false);
        SetPrefBoolean(kShowEmptyKeysPref, false);
        doc = new CIndexDoc(nullptr, {}, false, false);
        view = dynamic_cast<CIndexView*>(doc->GetIndexViewPane());
        organizer = dynamic_cast<CMetaDataListView*>(doc->GetWindow()->FindPaneByID(kPaneOrganizerList));
        ASSERT_TRUE(view && organizer);
    }

    CIndexItem* Add(const QString& name, const QStringList& keywords)
    {
        auto* item = new CIndexItem(QUrl(QStringLiteral("http://example.org/") + name));
        auto caption = std::make_unique<CANPAInfo>();
        for (const QString& keyword : keywords)
            caption->AddKeywordCF(keyword);
        caption->SetUrgency(4);
        item->SetCaptionInfo(std::move(caption));
        view->InsertItem(item, kInsertAtEnd, false, true);
        return item;
    }
    // The window shown with the value index built from the items added.
    void Show()
    {
        doc->RebuildValueIndex();
        doc->ShowWindow();
        QApplication::processEvents();
        ASSERT_TRUE(organizer->IsBuilt());
    }
    QString CountShown(LDataBrowserItem* row)
    {
        DataBrowserItemData data;
        organizer->GetSetItemData(row, kSourceCountProperty, data, false);
        return data.value.toString();
    }

    CIndexDoc* doc = nullptr;
    CIndexView* view = nullptr;
    CMetaDataListView* organizer = nullptr;
};

} // namespace

TEST_F(OrganizerList, ShowsTheIndexItsFieldsAndTheirValuesWithCounts)
{
    for (const char* name : { "harbour 1.jpg", "harbour 2.jpg", "harbour 3.jpg", "boat 1.jpg", "boat 2.jpg" })
        Add(QString::fromLatin1(name), { QStringLiteral("sea"), QStringLiteral("summer") });
    Add(QStringLiteral("dune.jpg"), { QStringLiteral("sand") });
    Show();
    ASSERT_TRUE(organizer->GetLibraryRow());
    EXPECT_TRUE(organizer->IsItemSelected(organizer->GetLibraryRow()));
    EXPECT_EQ(CountShown(organizer->GetLibraryRow()), QStringLiteral("6"));
    for (SInt32 field : { 6016, 6020, 4001 })
        organizer->OpenContainer(organizer->FindGroup(field));
    ASSERT_TRUE(organizer->FindValueRow(6016, QStringLiteral("sea")));
    EXPECT_EQ(CountShown(organizer->FindValueRow(6016, QStringLiteral("sea"))), QStringLiteral("5"));
    // Three items share a name, two do not make one.
    EXPECT_TRUE(organizer->FindValueRow(4001, QStringLiteral("harbour.jpg")));
    EXPECT_FALSE(organizer->FindValueRow(4001, QStringLiteral("boat.jpg")));
    EXPECT_EQ(organizer->FindGroup(6020)->GetValueRows().size(), 6u);
    // Only values a user may type over open for renaming.
    LDataBrowserModel& rows = organizer->GetImp().GetModel();
    EXPECT_TRUE(rows.flags(rows.IndexOf(organizer->FindValueRow(6016, QStringLiteral("sea")))) & Qt::ItemIsEditable);
    for (LDataBrowserItem* fixed : std::initializer_list<LDataBrowserItem*> { organizer->GetLibraryRow(),
             organizer->FindValueRow(6020, QStringLiteral("9")), organizer->FindValueRow(4001, QStringLiteral("harbour.jpg")) })
        EXPECT_FALSE(rows.flags(rows.IndexOf(fixed)) & Qt::ItemIsEditable);

    organizer->SelectItem(organizer->FindValueRow(6016, QStringLiteral("sea")));
    EXPECT_TRUE(view->IsFiltered());
    EXPECT_EQ(view->CountItems(), 5);
    const QString shot = QDir(QCoreApplication::applicationDirPath()).filePath("organizer-window.png");
    EXPECT_TRUE(doc->GetWindow()->GetShell()->grab().save(shot));

    // The top row shows all again; a filter ended elsewhere selects it too.
    organizer->SelectItem(organizer->GetLibraryRow());
    EXPECT_FALSE(view->IsFiltered());
    organizer->SelectItem(organizer->FindValueRow(6016, QStringLiteral("sand")));
    view->ShowAllItems(true);
    EXPECT_TRUE(organizer->IsItemSelected(organizer->GetLibraryRow()));
    EXPECT_EQ(organizer->CountItems(kDataBrowserItemIsSelected), 1);
    // Nothing selected is never left: the whole index is chosen again.
    organizer->SelectItem(organizer->FindValueRow(6016, QStringLiteral("sand")));
    organizer->SelectNone();
    EXPECT_TRUE(organizer->IsItemSelected(organizer->GetLibraryRow()));
    EXPECT_FALSE(view->IsFiltered());
}

// A group's rows are made in order rather than sorted by the list: the order
// must be the list's own, whatever the case and accents of the values.
TEST_F(OrganizerList, ValueRowsComeInTheListsOwnOrder)
{
    const QStringList keywords { QStringLiteral("zoo"), QStringLiteral("\u00C9clair"), QStringLiteral("alpha"),
        QStringLiteral("Beta"), QStringLiteral("eclair"), QStringLiteral("Z\u00E8bre"), QStringLiteral("\u00C4rger"),
        QStringLiteral("ARGER"), QStringLiteral("beta 2"), QStringLiteral("\u00FF") };
    Add(QStringLiteral("a.jpg"), keywords);
    Show();
    organizer->OpenContainer(organizer->FindGroup(6016));
    const std::vector<CSourceItemDynamic*> rows = organizer->FindGroup(6016)->GetValueRows();
    EXPECT_EQ(rows.size(), size_t(keywords.size()));
    for (size_t i = 1; i < rows.size(); ++i)
        EXPECT_FALSE(organizer->CompareItems(rows[i], rows[i - 1], kSourceNameProperty))
            << rows[i - 1]->GetValue().toStdString() << " before " << rows[i]->GetValue().toStdString();
}

TEST_F(OrganizerList, AValueNoItemHasAnyMoreFollowsMDIShowEmptyKeys)
{
    for (bool showEmpty : { false, true }) {
        SCOPED_TRACE(showEmpty);
        SetPrefBoolean(kShowEmptyKeysPref, showEmpty);
        CIndexItem* lone = Add(QStringLiteral("lone%1.jpg").arg(showEmpty), { QStringLiteral("dune%1").arg(showEmpty) });
        const QString kept = QStringLiteral("sea%1").arg(showEmpty);
        Add(QStringLiteral("other%1.jpg").arg(showEmpty), { kept });
        Show();
        organizer->OpenContainer(organizer->FindGroup(6016));
        const QString value = QStringLiteral("dune%1").arg(showEmpty);
        ASSERT_TRUE(organizer->FindValueRow(6016, value));
        // The item goes: the row holds no item of its own, and reads the value's count anew.
        CIndexItem* taken = view->GetModel().TakeItemAt(view->GetModel().GetIndexOfItem(lone));
        ASSERT_EQ(taken, lone);
        delete taken;
        ASSERT_TRUE(QTest::qWaitFor([&] { return (organizer->FindValueRow(6016, value) != nullptr) == showEmpty; }, 2000));
        if (showEmpty)
            EXPECT_EQ(CountShown(organizer->FindValueRow(6016, value)), QString());
        EXPECT_EQ(CountShown(organizer->FindValueRow(6016, kept)), QStringLiteral("1"));
    }
}

TEST_F(OrganizerList, DroppedItemsAreRefusedByTheRatingGroupAndTakenByARating)
{
    CIndexItem* item = Add(QStringLiteral("a.jpg"), { QStringLiteral("sea") });
    Show();
    organizer->OpenContainer(organizer->FindGroup(6020));
    QMimeData drag;
    item->AddDragFlavors(drag, 0);
    QMimeData foreign;
    foreign.setText(QStringLiteral("not an item"));

    CSourceParentDynamic* ratings = organizer->FindGroup(6020);
    EXPECT_FALSE(ratings->AcceptDrag(drag));
    EXPECT_FALSE(ratings->ReceiveDrag(drag));
    EXPECT_TRUE(organizer->FindGroup(6016)->AcceptDrag(drag));
    EXPECT_FALSE(organizer->FindGroup(6016)->AcceptDrag(foreign));
    EXPECT_FALSE(organizer->FindGroup(4001)->AcceptDrag(drag));
    CSourceItemDynamic* best = organizer->FindValueRow(6020, QStringLiteral("9"));
    ASSERT_TRUE(best);
    EXPECT_TRUE(best->AcceptDrag(drag));
    EXPECT_TRUE(best->ReceiveDrag(drag));
}

// A batch that rates items (the contextual menu's rating, or the urgency field set
// to its least) moves them between the rating rows at once, and each rating has
// one row whatever number the items store.
TEST_F(OrganizerList, TheRatingRowsFollowABatchThatRatesItems)
{
    SetPrefBoolean(QStringLiteral("ApplyChangesToMediaFile"), false);
    CIndexItem* first = Add(QStringLiteral("a.jpg"), { QStringLiteral("sea") });
    Add(QStringLiteral("b.jpg"), { QStringLiteral("sea") });
    Add(QStringLiteral("c.jpg"), { QStringLiteral("sea") });
    Show();
    organizer->OpenContainer(organizer->FindGroup(6020));
    ASSERT_TRUE(organizer->FindValueRow(6020, QStringLiteral("4")));
    EXPECT_EQ(CountShown(organizer->FindValueRow(6020, QStringLiteral("4"))), QStringLiteral("3"));
    auto ratingLabels = [&] {
        QStringList labels;
        for (CSourceItemDynamic* row : organizer->FindGroup(6020)->GetValueRows())
            labels << OrganizerValueText(6020, row->GetValue());
        return labels;
    };
    auto runBatch = [&](SInt32 field, const QString& operand, const std::vector<CIndexItem*>& items) {
        auto* task = new CSearchTask(QStringLiteral("RATING_ITEMS"), view->GetModel(), kSearchKindBatch);
        task->SetResultAction(kResultBatchByPreference);
        task->AddCriterion(std::make_unique<CCriteria>(field, kBatchSet, operand));
        for (CIndexItem* each : items)
            task->InsertItem(each, kInsertAtEnd);
        task->Start();
        return LThread::RunUntil([&] { return view->CountRunningSearches() == 0 && view->CountRunningTasks() == 0; }, 5000);
    };

    // "Very Low" from the contextual menu for the first item.
    view->GetModel().SelectOnly(view->GetModel().GetIndexOfItem(first));
    ASSERT_TRUE(view->RateSelectedItems(2, nullptr));
    ASSERT_TRUE(LThread::RunUntil([&] { return view->CountRunningSearches() == 0 && view->CountRunningTasks() == 0; }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return CountShown(organizer->FindValueRow(6020, QStringLiteral("4"))) == QStringLiteral("2"); }, 2000))
        << CountShown(organizer->FindValueRow(6020, QStringLiteral("4"))).toStdString();
    EXPECT_EQ(CountShown(organizer->FindValueRow(6020, QStringLiteral("7"))), QStringLiteral("1"));

    // The other two "Very Low" by a batch over the items the urgency label names.
    ASSERT_TRUE(runBatch(kFieldUrgencyLabel, QStringLiteral("7"), view->GetItemList().Items()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return CountShown(organizer->FindValueRow(6020, QStringLiteral("7"))) == QStringLiteral("3"); }, 2000))
        << CountShown(organizer->FindValueRow(6020, QStringLiteral("7"))).toStdString();
    EXPECT_EQ(CountShown(organizer->FindValueRow(6020, QStringLiteral("4"))), QString());
    // An item whose caption stores 8, the least urgency the standard has, is "Very Low" too.
    CIndexItem* least = Add(QStringLiteral("d.jpg"), { QStringLiteral("sea") });
    view->GetModel().ChangeItem(least, kFieldUrgencyLabel, [&] {
        least->GetCaptionInfo()->SetUrgency(8);
        return noErr;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return CountShown(organizer->FindValueRow(6020, QStringLiteral("7"))) == QStringLiteral("4"); }, 2000))
        << CountShown(organizer->FindValueRow(6020, QStringLiteral("7"))).toStdString();
    EXPECT_EQ(ratingLabels().count(CANPAInfo::CopyUrgencyLabel(7)), 1) << ratingLabels().join(',').toStdString();
    EXPECT_EQ(ratingLabels().size(), 6) << ratingLabels().join(',').toStdString();
}

// Whatever changes the index's model (items imported into it, a batch, a removal),
// the organizer's rows and counts follow, with nothing asked of the index view.
TEST_F(OrganizerList, TheRowsFollowImportsBatchesAndRemovalsMadeOnTheModel)
{
    SetPrefBoolean(QStringLiteral("ApplyChangesToMediaFile"), false);
    Add(QStringLiteral("a.jpg"), { QStringLiteral("sea") });
    Show();
    organizer->OpenContainer(organizer->FindGroup(kFieldKeywords));
    CIndexModel& model = doc->GetModel();
    auto countOf = [&](const QString& value) {
        CSourceItemDynamic* row = organizer->FindValueRow(kFieldKeywords, value);
        return row ? CountShown(row) : QStringLiteral("no row");
    };

    // An import: the items join in one change, their values are entered later.
    std::vector<CIndexItem*> imported;
    for (int i = 1; i <= 3; ++i) {
        auto* item = new CIndexItem(QUrl(QStringLiteral("http://example.org/dune%1.jpg").arg(i)));
        auto caption = std::make_unique<CANPAInfo>();
        caption->AddKeywordCF(QStringLiteral("dune"));
        item->SetCaptionInfo(std::move(caption));
        imported.push_back(item);
    }
    model.AppendItems(imported);
    QTest::qWait(500);
    ASSERT_TRUE(LThread::RunUntil([&] { return countOf(QStringLiteral("dune")) == QStringLiteral("3"); }, 3000))
        << countOf(QStringLiteral("dune")).toStdString();
    EXPECT_EQ(CountShown(organizer->GetLibraryRow()), QStringLiteral("4"));

    // A batch gives the imported items the keyword the first one has.
    auto* task = new CSearchTask(QStringLiteral("KEYWORDS"), model, kSearchKindBatch);
    task->SetResultAction(kResultBatchByPreference);
    task->AddCriterion(std::make_unique<CCriteria>(kFieldKeywords, kBatchAdd, QStringLiteral("sea")));
    for (CIndexItem* item : imported)
        task->InsertItem(item, kInsertAtEnd);
    task->Start();
    ASSERT_TRUE(LThread::RunUntil([&] { return countOf(QStringLiteral("sea")) == QStringLiteral("4"); }, 3000))
        << countOf(QStringLiteral("sea")).toStdString();

    // A removal.
    delete model.TakeItemAt(model.GetIndexOfItem(imported.front()));
    ASSERT_TRUE(LThread::RunUntil([&] { return countOf(QStringLiteral("dune")) == QStringLiteral("2"); }, 3000))
        << countOf(QStringLiteral("dune")).toStdString();
    EXPECT_EQ(countOf(QStringLiteral("sea")), QStringLiteral("3"));
    EXPECT_EQ(CountShown(organizer->GetLibraryRow()), QStringLiteral("3"));
}

// A list outside an index window organizes the model it is given, without a view:
// its counts, a removal and the filter come from the model, and once the model
// goes the list shows nothing of it.
TEST_F(OrganizerList, AListOutsideAWindowOrganizesTheModelItIsGiven)
{
    auto model = std::make_unique<CIndexModel>();
    std::vector<CIndexItem*> items;
    for (const char* name : { "a.jpg", "b.jpg", "c.jpg" }) {
        auto* item = new CIndexItem(QUrl(QStringLiteral("http://example.org/") + QLatin1String(name)));
        auto caption = std::make_unique<CANPAInfo>();
        caption->AddKeywordCF(items.size() < 2 ? QStringLiteral("sea") : QStringLiteral("sand"));
        item->SetCaptionInfo(std::move(caption));
        items.push_back(item);
    }
    model->AppendItems(items);
    model->RebuildValueIndex();

    SPaneInfo info;
    info.width = 200;
    info.height = 400;
    CMetaDataListView list(info);
    list.FinishCreate();
    list.SetOrganizedModel(model.get());
    list.Rebuild();
    auto countOf = [&](LDataBrowserItem* row) {
        if (!row)
            return QStringLiteral("no row");
        DataBrowserItemData data;
        list.GetSetItemData(row, kSourceCountProperty, data, false);
        return data.value.toString();
    };
    ASSERT_TRUE(list.GetLibraryRow());
    EXPECT_EQ(countOf(list.GetLibraryRow()), QStringLiteral("3"));
    list.OpenContainer(list.FindGroup(kFieldKeywords));
    EXPECT_EQ(countOf(list.FindValueRow(kFieldKeywords, QStringLiteral("sea"))), QStringLiteral("2"));

    delete model->TakeItemAt(model->GetIndexOfItem(items.front()));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return countOf(list.FindValueRow(kFieldKeywords, QStringLiteral("sea"))) == QStringLiteral("1"); }, 2000));
    EXPECT_EQ(countOf(list.GetLibraryRow()), QStringLiteral("2"));

    // A filter shown on the model leaves the whole-index row; all items shown choose it again.
    ASSERT_TRUE(model->ShowItemsAsFilter({ items[1] }, true));
    EXPECT_FALSE(list.IsItemSelected(list.GetLibraryRow()));
    ASSERT_TRUE(model->ShowAllItems());
    EXPECT_TRUE(list.IsItemSelected(list.GetLibraryRow()));

    model.reset();
    EXPECT_EQ(list.GetOrganizedModel(), nullptr);
    EXPECT_EQ(countOf(list.GetLibraryRow()), QString());
    list.RefreshOpenGroups();
}

// The '#' column makes room for the badge of the largest count it shows, the
// whole index's, as the index grows while shown.
TEST_F(OrganizerList, TheCountColumnFitsTheBadgeOfTheLargestCount)
{
    Show();
    QTreeView* tree = organizer->GetControlRef();
    for (const int total : { 9, 999, 10000 }) {
        std::vector<CIndexItem*> imported;
        for (int i = int(doc->GetModel().CountAllItems()); i < total; ++i)
            imported.push_back(new CIndexItem(QUrl(QStringLiteral("http://example.org/%1.jpg").arg(i))));
        doc->GetModel().AppendItems(imported);
        // The badge as drawn in a cell wider than any: its ink from its left end to the cell's right.
        QImage wide(400, tree->visualRect(tree->model()->index(0, 1)).height(), QImage::Format_RGB32);
        wide.fill(Qt::black);
        QPainter painter(&wide);
        DrawCountBadge(painter, wide.rect(), total, false, true, tree->palette());
        painter.end();
        int left = wide.width();
        for (int y = 0; y < wide.height(); ++y)
            for (int x = 0; x < wide.width(); ++x)
                left = wide.pixel(x, y) != QColor(Qt::black).rgb() ? std::min(left, x) : left;
        EXPECT_TRUE(QTest::qWaitFor([&] { return tree->header()->sectionSize(1) >= wide.width() - left; }))
            << total << ": " << tree->header()->sectionSize(1) << " for " << wide.width() - left;
    }
}

// The figures of a count badge read on it at 4.5:1 or better, plain or selected,
// under a light and a dark palette, measured from the pixels drawn.
TEST_F(OrganizerList, CountBadgesReadUnderALightAndADarkPalette)
{
    auto luminance = [](QColor colour) {
        auto linear = [](double c) { return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
        return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) + 0.0722 * linear(colour.blueF());
    };
    QPalette dark;
    for (const auto& [role, colour] : { std::pair { QPalette::Base, QColor(0x2d, 0x2d, 0x2d) },
             std::pair { QPalette::Text, QColor(0xee, 0xee, 0xec) }, std::pair { QPalette::Highlight, QColor(0x35, 0x84, 0xe4) },
             std::pair { QPalette::HighlightedText, QColor(Qt::white) } })
        dark.setColor(role, colour);
    for (const auto& [name, palette] : { std::pair { "light", QApplication::palette() }, std::pair { "dark", dark } }) {
        for (const bool selected : { false, true }) {
            QImage picture(80, 20, QImage::Format_RGB32);
            picture.fill(palette.color(QPalette::Base));
            QPainter painter(&picture);
            DrawCountBadge(painter, picture.rect(), 888, selected, true, palette);
            painter.end();
            // The badge's middle rows, across the figures: its fill is at the badge's left end.
            const int y = picture.height() / 2;
            int left = 0;
            while (left < picture.width() && picture.pixel(left, y) == picture.pixel(0, y))
                ++left;
            const QColor fill = picture.pixel(left + 3, y);
            double contrast = 1;
            for (int row = y - 4; row <= y + 4; ++row)
                for (int x = left + 3; x < picture.width() - 5; ++x) {
                    const double one = luminance(fill), other = luminance(picture.pixel(x, row));
                    contrast = std::max(contrast, (std::max(one, other) + 0.05) / (std::min(one, other) + 0.05));
                }
            EXPECT_GE(contrast, 4.5) << name << (selected ? " selected" : " plain");
        }
    }
}
