#include "IndexItemTableModel.h"

#include "CIndexItem.h"
#include "CIndexModel.h"
#include "FieldKeys.h"

IndexItemTableModel::IndexItemTableModel(CIndexModel& model)
    : mModel(model)
    , mColumns { kFieldName }
    , mSelection(this)
{
}

int IndexItemTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : mModel.CountItems();
}

int IndexItemTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(mColumns.size());
}

bool IndexItemTableModel::HasCell(int row, int column) const
{
    return row >= 0 && column >= 0 && row < mModel.CountItems() && column < int(mColumns.size());
}

QModelIndex IndexItemTableModel::index(int row, int column, const QModelIndex& parent) const
{
    return !parent.isValid() && HasCell(row, column) ? createIndex(row, column) : QModelIndex();
}

CIndexItem* IndexItemTableModel::ItemAt(const QModelIndex& index) const
{
    return index.isValid() && index.model() == this ? mModel.ItemAt(index.row() + 1) : nullptr;
}

QModelIndex IndexItemTableModel::IndexOf(const CIndexItem* item, int column) const
{
    const SInt32 at = mModel.GetIndexOfItem(item);
    return at == 0 ? QModelIndex() : index(at - 1, column);
}

QVariant IndexItemTableModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return {};
    CIndexItem* item = ItemAt(index);
    if (!item || index.column() >= int(mColumns.size()))
        return {};
    return item->CopyFieldString(mColumns[size_t(index.column())], kFieldTextEmpty);
}

QVariant IndexItemTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= int(mColumns.size()))
        return {};
    if (role == Qt::TextAlignmentRole && size_t(section) < mAlignments.size())
        return QVariant::fromValue(mAlignments[size_t(section)] | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    if (size_t(section) < mTitles.size())
        return mTitles[size_t(section)];
    return CopyFieldName(mColumns[size_t(section)]);
}

Qt::ItemFlags IndexItemTableModel::flags(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != this || !HasCell(index.row(), index.column()))
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
    if (IsFieldEditable(mColumns[size_t(index.column())]))
        flags |= Qt::ItemIsEditable;
    return flags;
}

void IndexItemTableModel::sort(int column, Qt::SortOrder order)
{
    if (column >= 0 && column < int(mColumns.size()))
        mModel.SetSortKey(mColumns[size_t(column)], order == Qt::DescendingOrder);
}

void IndexItemTableModel::SetColumns(std::vector<SInt32> fieldKeys)
{
    SetColumns(std::move(fieldKeys), {}, {});
}

void IndexItemTableModel::SetColumns(
    std::vector<SInt32> fieldKeys, std::vector<QString> titles, std::vector<Qt::Alignment> alignments)
{
    beginResetModel();
    mColumns = std::move(fieldKeys);
    mTitles = std::move(titles);
    mAlignments = std::move(alignments);
    endResetModel();
}

void IndexItemTableModel::BeginInsert(SInt32 index, SInt32 count)
{
    beginInsertRows({}, index - 1, index + count - 2);
}

void IndexItemTableModel::BeginRemove(SInt32 index, SInt32 count)
{
    beginRemoveRows({}, index - 1, index + count - 2);
}

void IndexItemTableModel::BeginMove()
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    mMovedIndexes = persistentIndexList();
    mMovedItems.clear();
    mMovedItems.reserve(size_t(mMovedIndexes.size()));
    for (const QModelIndex& index : mMovedIndexes)
        mMovedItems.push_back(ItemAt(index));
}

void IndexItemTableModel::EndMove()
{
    QModelIndexList after;
    after.reserve(mMovedIndexes.size());
    for (qsizetype i = 0; i < mMovedIndexes.size(); ++i)
        after.push_back(IndexOf(mMovedItems[size_t(i)], mMovedIndexes[i].column()));
    changePersistentIndexList(mMovedIndexes, after);
    mMovedIndexes.clear();
    mMovedItems.clear();
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void IndexItemTableModel::ItemChanged(const CIndexItem* item)
{
    const QModelIndex first = IndexOf(item, 0);
    if (first.isValid() && !mColumns.empty())
        emit dataChanged(first, index(first.row(), int(mColumns.size()) - 1));
}
