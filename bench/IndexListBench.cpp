// The index list view at 100,000 items against a plain QTreeView over a flat table
// of the same thirteen columns (their texts made beforehand), in pairs within one
// run: a reload, a header-click sort by name, scrolling and painting 20 pages,
// Select All and counting the selected rows. A side more than twice as slow as the
// plain one fails the run.

#include "BenchMain.h"
#include "PaintPages.h"

#include "CANPAStringComparator.h"
#include "CIndexItem.h"
#include "CIndexListView.h"
#include "CIndexModel.h"
#include "CIndexView.h"
#include "StandaloneIndexView.h"
#include "CVisualTask.h"
#include "FieldKeys.h"
#include "Offscreen.h"
#include "URegistrar.h"

#include <QAbstractTableModel>
#include <QCollator>
#include <QHeaderView>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTreeView>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

constexpr int kItems = 100'000;
constexpr int kPairs = 7;
constexpr int kPages = 20;

std::vector<QString> MakeNames()
{
    std::vector<QString> names;
    names.reserve(kItems);
    for (int i = 0; i < kItems; ++i)
        names.push_back(QStringLiteral("photo%1.jpg").arg(i, 6, 10, QLatin1Char('0')));
    std::shuffle(names.begin(), names.end(), *QRandomGenerator::global());
    return names;
}

// The plain side: each row's cell texts, sorted by the first column as a Qt model
// sorts, its persistent indexes carried across.
class PlainTable : public QAbstractTableModel {
public:
    PlainTable(std::vector<std::vector<QString>> rows, int columns)
        : mRows(std::move(rows))
        , mColumns(columns)
    {
    }
    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : int(mRows.size()); }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : mColumns; }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role != Qt::DisplayRole || !index.isValid())
            return {};
        return mRows[size_t(index.row())][size_t(index.column())];
    }
    void sort(int, Qt::SortOrder order) override
    {
        emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        const QModelIndexList before = persistentIndexList();
        std::vector<int> rows(mRows.size());
        for (size_t i = 0; i < rows.size(); ++i)
            rows[i] = int(i);
        static const QCollator collator = MakeTextCollator(true);
        std::sort(rows.begin(), rows.end(), [&](int a, int b) {
            const int c = collator.compare(mRows[size_t(a)][0], mRows[size_t(b)][0]);
            return order == Qt::AscendingOrder ? c < 0 : c > 0;
        });
        std::vector<std::vector<QString>> sorted;
        sorted.reserve(mRows.size());
        std::vector<int> newRow(mRows.size());
        for (size_t i = 0; i < rows.size(); ++i) {
            sorted.push_back(std::move(mRows[size_t(rows[i])]));
            newRow[size_t(rows[i])] = int(i);
        }
        QModelIndexList after;
        for (const QModelIndex& index : before)
            after.push_back(this->index(newRow[size_t(index.row())], index.column()));
        mRows = std::move(sorted);
        changePersistentIndexList(before, after);
        emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    }
    const QString& FirstOf(int row) const { return mRows[size_t(row)][0]; }

private:
    std::vector<std::vector<QString>> mRows;
    int mColumns;
};


void CompareListView()
{
    URegistrar::RegisterFrameworkClasses();
    InitializeTasks();
    StandaloneIndexView view(900, 700);
    CIndexModel& model = view->GetModel();
    const std::vector<QString> names = MakeNames();
    for (const QString& name : names) {
        auto* item = new CIndexItem(QUrl(QStringLiteral("http://example.org/") + name));
        model.InsertItem(item, kInsertAtEnd, ItemInsert::Filling);
    }

    LDataBrowserImp::Settings settings;
    SPaneInfo listInfo;
    listInfo.width = 900;
    listInfo.height = 700;
    auto list = std::make_unique<CIndexListView>(listInfo, settings);
    list->FinishCreate();
    list->SetIndexView(view.get());
    list->resize(900, 700);
    list->show();
    list->ReloadItems(true);
    QTreeView* ours = list->GetControlRef();

    // The plain table holds the texts the list shows, made once.
    const std::vector<SInt32> keys = list->GetFieldColumns();
    std::vector<std::vector<QString>> rows;
    rows.reserve(size_t(kItems));
    for (CIndexItem* item : model.GetItemList()) {
        std::vector<QString> cells;
        for (SInt32 key : keys)
            cells.push_back(item->CopyFieldString(key, kFieldTextPlaceholder));
        rows.push_back(std::move(cells));
    }
    PlainTable plain(std::move(rows), int(keys.size()));
    QTreeView theirs;
    theirs.setUniformRowHeights(true);
    theirs.setRootIsDecorated(false);
    theirs.setAlternatingRowColors(true);
    theirs.setSelectionMode(QAbstractItemView::ExtendedSelection);
    theirs.setSelectionBehavior(QAbstractItemView::SelectRows);
    theirs.setModel(&plain);
    theirs.resize(900, 700);
    theirs.show();
    for (int column = 0; column < int(keys.size()); ++column)
        theirs.setColumnWidth(column, ours->columnWidth(column));

    CheckRatio("List view: reload, 100,000 items",
        RunPaired(
            kPairs,
            [&] {
                list->RemoveAllItems();
                list->ReloadItems(true);
                ours->doItemsLayout();
            },
            [&] {
                QItemSelectionModel* old = theirs.selectionModel();
                theirs.setModel(nullptr);
                theirs.setModel(&plain);
                delete old;
                theirs.doItemsLayout();
            }),
        2.0);
    CheckTarget("the list shows every item", ours->model()->rowCount() == kItems);

    CheckRatio("List view: header-click sort by name",
        RunPaired(
            kPairs, [&] { list->HeaderClicked(0); },
            [&] {
                const bool down = theirs.header()->sortIndicatorOrder() == Qt::AscendingOrder;
                theirs.header()->setSortIndicator(0, down ? Qt::DescendingOrder : Qt::AscendingOrder);
                plain.sort(0, down ? Qt::DescendingOrder : Qt::AscendingOrder);
            }),
        2.0);
    CheckTarget("the list is sorted by name",
        model.ItemAt(1)->GetName() == QLatin1String("photo000000.jpg")
            || model.ItemAt(1)->GetName() == QLatin1String("photo099999.jpg"));

    CheckRatio("List view: scrolling and painting 20 pages",
        RunPaired(
            kPairs, [&] { PaintPages(*ours, kPages); }, [&] { PaintPages(theirs, kPages); }),
        2.0);

    CheckRatio("List view: Select All",
        RunPaired(
            kPairs, [&] { list->ObeyCommand(cmd_SelectAll, nullptr); }, [&] { theirs.selectAll(); },
            [&] {
                model.DeselectAll();
                theirs.clearSelection();
            }),
        2.0);
    list->ObeyCommand(cmd_SelectAll, nullptr);
    theirs.selectAll();
    SInt32 counted = 0;
    CheckRatio("List view: counting the selected rows",
        RunPaired(
            kPairs, [&] { counted = list->CountItems(kDataBrowserItemIsSelected); },
            [&] { counted = SInt32(theirs.selectionModel()->selectedRows().size()); }),
        2.0);
    CheckTarget("the list counts every item selected", counted == kItems && model.CountSelectedItems() == kItems);

    list->RemoveAllItems();
    list.reset();
    view.reset();
    TerminateTasks();
}

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv, {}, [] { CompareListView(); });
}
