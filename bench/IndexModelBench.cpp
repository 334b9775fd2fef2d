// The index model and its table against a plain QTreeView over a flat
// QAbstractTableModel holding the same 100,000 rows, in pairs within one run:
// select all, count the selection, sort by name with everything selected, scroll
// and paint 20 pages, filter to 10,000 items; and the data browser's select all
// and count against the plain view. A side that is more than twice as slow as
// the plain one (one and a half times for the filter) fails the run.

#include "BenchMain.h"
#include "PaintPages.h"

#include "CANPAStringComparator.h"
#include "CIndexItem.h"
#include "CIndexModel.h"
#include "FieldKeys.h"
#include "LDataBrowser.h"
#include "TaskServices.h"
#include "URegistrar.h"

#include <benchmark/benchmark.h>

#include <QAbstractTableModel>
#include <QCollator>
#include <QHeaderView>
#include <QImage>
#include <QItemSelectionModel>
#include <QPainter>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTreeView>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

constexpr int kItems = 100'000;
constexpr int kFiltered = 10'000;
constexpr int kPairs = 7;

// A name per row in a shuffled order, so that a sort has work to do. Every tenth
// number carries "x" in its name: the filter's 10,000.
std::vector<QString> MakeNames()
{
    std::vector<QString> names;
    names.reserve(kItems);
    for (int i = 0; i < kItems; ++i)
        names.push_back(QStringLiteral("photo%1%2.jpg").arg(i, 6, 10, QLatin1Char('0')).arg(i % 10 == 0 ? "x" : ""));
    std::shuffle(names.begin(), names.end(), *QRandomGenerator::global());
    return names;
}

bool Matches(const QString& name)
{
    return name.contains(QLatin1Char('x'));
}

// The plain side: rows of names, sorted as a Qt model sorts (in the index's order
// of names, numbers as numbers, one comparison at a time), its persistent indexes
// carried across.
class PlainTable : public QAbstractTableModel {
public:
    explicit PlainTable(std::vector<QString> names)
        : mNames(std::move(names))
    {
    }
    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : int(mNames.size()); }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 1; }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role != Qt::DisplayRole || !index.isValid())
            return {};
        return mNames[size_t(index.row())];
    }
    void sort(int, Qt::SortOrder order) override
    {
        emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        const QModelIndexList before = persistentIndexList();
        std::vector<QString> kept;
        for (const QModelIndex& index : before)
            kept.push_back(mNames[size_t(index.row())]);
        std::vector<int> rows(mNames.size());
        for (size_t i = 0; i < rows.size(); ++i)
            rows[i] = int(i);
        static const QCollator collator = MakeTextCollator(true);
        std::sort(rows.begin(), rows.end(), [&](int a, int b) {
            const int c = collator.compare(mNames[size_t(a)], mNames[size_t(b)]);
            return order == Qt::AscendingOrder ? c < 0 : c > 0;
        });
        std::vector<QString> sorted;
        sorted.reserve(mNames.size());
        std::vector<int> newRow(mNames.size());
        for (size_t i = 0; i < rows.size(); ++i) {
            sorted.push_back(mNames[size_t(rows[i])]);
            newRow[size_t(rows[i])] = int(i);
        }
        QModelIndexList after;
        for (const QModelIndex& index : before)
            after.push_back(this->index(newRow[size_t(index.row())], index.column()));
        mNames = std::move(sorted);
        changePersistentIndexList(before, after);
        emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    }
    const std::vector<QString>& Names() const { return mNames; }

private:
    std::vector<QString> mNames;
};

// A row of the data browser.
class NameRow : public LDataBrowserItem {
public:
    explicit NameRow(QString name)
        : mName(std::move(name))
    {
    }
    OSStatus GetSetItemData(DataBrowserPropertyID, DataBrowserItemData& data, bool setValue) override
    {
        if (!setValue)
            data.value = mName;
        return noErr;
    }
    void ItemNotification(DataBrowserItemNotification) override {}

private:
    QString mName;
};

std::unique_ptr<QTreeView> MakeTree(QAbstractItemModel& model, QItemSelectionModel* selection)
{
    auto tree = std::make_unique<QTreeView>();
    tree->setUniformRowHeights(true);
    tree->setRootIsDecorated(false);
    tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tree->setModel(&model);
    if (selection) {
        QItemSelectionModel* own = tree->selectionModel();
        tree->setSelectionModel(selection);
        delete own;
    }
    tree->resize(600, 800);
    tree->show();
    return tree;
}


void CompareIndexModel()
{
    const std::vector<QString> names = MakeNames();
    CIndexModel model;
    for (const QString& name : names)
        model.InsertItem(new CIndexItem(QUrl(QStringLiteral("http://example.org/") + name)), kInsertAtEnd,
            ItemInsert::Filling);
    for (CIndexItem* item : model.GetAllItems())
        (void)item->GetName(); // the names are read once, as a shown index has them
    model.ItemTable().SetColumns({ kFieldName });
    PlainTable plain(names);
    auto ours = MakeTree(model.ItemTable(), &model.SelectionModel());
    auto theirs = MakeTree(plain, nullptr);
    auto clear = [&] {
        model.DeselectAll();
        theirs->clearSelection();
    };

    CheckRatio("Select All, 100,000 items",
        RunPaired(
            kPairs, [&] { model.SelectAll(); }, [&] { theirs->selectAll(); }, clear),
        2.0);
    CheckTarget("Select All selects every row of the table",
        model.CountSelectedItems() == 0 && (model.SelectAll(), model.SelectionModel().selectedRows().size() == kItems));

    theirs->selectAll();
    int counted = 0;
    CheckRatio("Counting the selected rows",
        RunPaired(
            kPairs, [&] { counted = model.CountSelectedItems(); },
            [&] { counted = int(theirs->selectionModel()->selectedRows().size()); }),
        2.0);
    CheckTarget("every row counted", counted == kItems);

    bool descending = false;
    bool plainDescending = false;
    CheckRatio("Sorting by name with everything selected",
        RunPaired(
            kPairs, [&] { model.SetSortKey(kFieldName, descending = !descending); },
            [&] { plain.sort(0, (plainDescending = !plainDescending) ? Qt::DescendingOrder : Qt::AscendingOrder); }),
        2.0);
    CheckTarget("the sort keeps the selection", model.SelectionModel().selectedRows().size() == kItems
        && theirs->selectionModel()->selectedRows().size() == kItems);

    clear();
    CheckRatio("Scrolling and painting 20 pages",
        RunPaired(
            kPairs, [&] { PaintPages(*ours, 20); }, [&] { PaintPages(*theirs, 20); }),
        2.0);

    std::vector<CIndexItem*> plainFound;
    CheckRatio("Filtering to 10,000 items",
        RunPaired(
            kPairs,
            [&] {
                std::vector<CIndexItem*> found;
                for (CIndexItem* item : model.GetItemList())
                    if (Matches(item->GetName()))
                        found.push_back(item);
                model.ReplaceFilterItems(found);
                model.ShowFilter(false);
            },
            [&] {
                plainFound.clear();
                for (CIndexItem* item : model.GetAllItems())
                    if (Matches(item->GetName()))
                        plainFound.push_back(item);
            },
            [&] { model.ShowAllItems(); }),
        1.5);
    CheckTarget("the filter holds the found items", SInt32(plainFound.size()) == kFiltered
        && model.GetFilterList().GetCount() == 0 && (model.ShowFilter(false), model.ReplaceFilterItems(plainFound), model.CountItems() == kFiltered));
}

void CompareDataBrowser()
{
    const std::vector<QString> names = MakeNames();
    URegistrar::RegisterFrameworkClasses();
    RegisterDataBrowserClasses();
    LDataBrowserImp::Settings settings;
    settings.columnListID = 9001; // the test column list: the name first
    settings.titleListID = 777;
    settings.headerHeight = 20;
    auto browser = std::make_unique<LDataBrowser>(SPaneInfo {}, settings);
    browser->FinishCreate();
    std::vector<LDataBrowserItem*> rows;
    rows.reserve(names.size());
    for (const QString& name : names)
        rows.push_back(new NameRow(name));
    browser->AddItems(rows);
    PlainTable plain(names);
    auto theirs = MakeTree(plain, nullptr);

    CheckRatio("Data browser: Select All, 100,000 rows",
        RunPaired(
            kPairs, [&] { browser->SelectAll(); }, [&] { theirs->selectAll(); },
            [&] {
                browser->SelectNone();
                theirs->clearSelection();
            }),
        2.0);
    browser->SelectAll();
    theirs->selectAll();
    SInt32 counted = 0;
    CheckRatio("Data browser: counting the selected rows",
        RunPaired(
            kPairs, [&] { counted = browser->CountItems(kDataBrowserItemIsSelected); },
            [&] { counted = SInt32(theirs->selectionModel()->selectedRows().size()); }),
        2.0);
    CheckTarget("the data browser counts every row", counted == kItems);
    browser->RemoveAllItems();
}

void BM_IndexModelInsert(benchmark::State& state)
{
    const std::vector<QString> names = MakeNames();
    for (auto _ : state) {
        CIndexModel model;
        for (int i = 0; i < int(state.range(0)); ++i)
            model.InsertItem(new CIndexItem(QUrl(QStringLiteral("http://example.org/") + names[size_t(i)])), kInsertAtEnd,
                ItemInsert::Filling);
        benchmark::DoNotOptimize(model.CountItems());
    }
}
BENCHMARK(BM_IndexModelInsert)->Arg(kItems)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv, {}, [] {
        CompareIndexModel();
        CompareDataBrowser();
    });
}
