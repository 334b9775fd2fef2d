#pragma once

#include "MacTypes.h"

#include <QAbstractTableModel>
#include <QItemSelectionModel>

#include <vector>

class CIndexItem;
class CIndexModel;

// The index model as Qt's item views see it: one row per item of the current
// list (row = index - 1), one column per field key. It holds no copy of the rows:
// every answer is read from the index model, which tells it of each change before
// and after it is made. Sorting a column sorts the index.
//
// Its selection model is the index's one selection, and the only place it is
// kept: the grid, the list views and the data browser all read and write it.
class IndexItemTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit IndexItemTableModel(CIndexModel& model);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // A cell of a field the item lets the user change can be edited in place.
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    void sort(int column, Qt::SortOrder order) override;

    // The field keys shown as columns (4001, the name, by default), titled with
    // their field names. A change resets the table: the index model selects its
    // items again afterwards (CIndexModel::SetTableColumns).
    void SetColumns(std::vector<SInt32> fieldKeys);
    // The same with the header's own titles and alignments (one per key).
    void SetColumns(std::vector<SInt32> fieldKeys, std::vector<QString> titles, std::vector<Qt::Alignment> alignments);
    const std::vector<SInt32>& GetColumns() const { return mColumns; }

    CIndexItem* ItemAt(const QModelIndex& index) const;
    // The item's row index in the current list; invalid when it is not there.
    QModelIndex IndexOf(const CIndexItem* item, int column = 0) const;
    QItemSelectionModel& SelectionModel() { return mSelection; }
    const QItemSelectionModel& SelectionModel() const { return mSelection; }

private:
    friend class CIndexModel;
    // A view laying out every row asks each row's index and, twice, its flags:
    // answered from the table's own bounds, without calls back into its counts.
    bool HasCell(int row, int column) const;
    // The index model's calls around its changes (1-based indexes).
    void BeginInsert(SInt32 index, SInt32 count);
    void EndInsert() { endInsertRows(); }
    void BeginRemove(SInt32 index, SInt32 count);
    void EndRemove() { endRemoveRows(); }
    void BeginReset() { beginResetModel(); }
    void EndReset() { endResetModel(); }
    // A sort: the rows' items are kept and found again afterwards.
    void BeginMove();
    void EndMove();
    void ItemChanged(const CIndexItem* item);

    CIndexModel& mModel;
    std::vector<SInt32> mColumns;
    std::vector<QString> mTitles; // empty: the field names
    std::vector<Qt::Alignment> mAlignments;
    QItemSelectionModel mSelection;
    QModelIndexList mMovedIndexes;
    std::vector<const CIndexItem*> mMovedItems;
};
