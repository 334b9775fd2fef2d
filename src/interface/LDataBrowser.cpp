#include "LDataBrowser.h"

#include "ExceptionCode.h"
#include "LocalizedStrings.h"
#include "LWindow.h"
#include "UEvents.h"
#include "URegistrar.h"

#include <QApplication>
#include <QDrag>
#include <QFile>
#include <QHeaderView>
#include <QHelpEvent>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QPixmap>
#include <QRegion>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <QTreeView>
#include <algorithm>
#include <memory>
#include <utility>

// Columns.

std::vector<DataBrowserColumn> LoadDataBrowserColumns(ResIDT id, ResIDT titleListID)
{
    QFile file(QStringLiteral(":/lists/DBC#-%1.json").arg(id));
    if (!file.open(QIODevice::ReadOnly))
        ThrowOSErr_(resNotFound, "column list " + std::to_string(id) + " not found");
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.object().value("columns").isArray())
        ThrowOSErr_(badFormat, "column list " + std::to_string(id) + " is not a column array");

    auto number = [&](const QJsonObject& object, const char* key) -> UInt32 {
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.isUndefined())
            return 0;
        if (!value.isDouble() || value.toDouble() < 0 || value.toDouble() > 4294967295.0)
            ThrowOSErr_(badFormat, "column list " + std::to_string(id) + ": bad " + key);
        return UInt32(value.toDouble());
    };
    std::vector<DataBrowserColumn> columns;
    for (const QJsonValue& entry : document.object().value("columns").toArray()) {
        const QJsonObject object = entry.toObject();
        DataBrowserColumn column;
        column.propertyID = number(object, "propertyID");
        const QByteArray type = object.value("propertyType").toString("text").toLatin1();
        if (type.size() != 4)
            ThrowOSErr_(badFormat, "column list " + std::to_string(id) + ": property type is not four characters");
        column.propertyType = (UInt32(UInt8(type[0])) << 24) | (UInt32(UInt8(type[1])) << 16)
            | (UInt32(UInt8(type[2])) << 8) | UInt8(type[3]);
        column.titleIndex = number(object, "titleIndex");
        column.propertyFlags = number(object, "propertyFlags");
        column.minimumWidth = UInt16(number(object, "minimumWidth"));
        column.maximumWidth = UInt16(number(object, "maximumWidth"));
        column.initialWidth = UInt16(number(object, "initialWidth"));
        column.headerContentType = UInt16(number(object, "headerContentType"));
        column.headerContentResID = UInt16(number(object, "headerContentResID"));
        column.justification = UInt16(number(object, "justification"));
        column.font = UInt16(number(object, "font"));
        column.style = UInt16(number(object, "style"));
        column.size = UInt16(number(object, "size"));
        column.titleOffset = UInt16(number(object, "titleOffset"));
        // A title index of 0 is an empty title, not a missing one.
        if (column.titleIndex != 0)
            column.title = CopyLocalizedString(QStringLiteral("%1:%2").arg(titleListID).arg(column.titleIndex & 0xFFFF));
        else
            column.title = QLatin1String("");
        columns.push_back(column);
    }
    return columns;
}

int NextEditableColumn(const std::vector<DataBrowserColumn>& columns, int from, int step)
{
    const int count = int(columns.size());
    if (count == 0 || from < 0 || from >= count)
        return -1;
    for (int position = (from + step + count) % count; position != from; position = (position + step + count) % count) {
        if (columns[size_t(position)].propertyFlags & kDataBrowserPropertyIsEditable)
            return position;
    }
    return -1;
}

// The model.

LDataBrowserModel::LDataBrowserModel(LDataBrowser& browser, LDataBrowserImp& imp)
    : mBrowser(browser)
    , mImp(imp)
{
}

const std::vector<LDataBrowserItem*>& LDataBrowserModel::Children(DataBrowserItemID container) const
{
    static const std::vector<LDataBrowserItem*> kNone;
    auto found = mChildren.find(container);
    return found == mChildren.end() ? kNone : found->second;
}

DataBrowserItemID LDataBrowserModel::ContainerAt(const QModelIndex& parent) const
{
    return parent.isValid() ? ItemAt(parent)->GetItemID() : 0;
}

LDataBrowserItem* LDataBrowserModel::ItemAt(const QModelIndex& index) const
{
    return index.isValid() ? static_cast<LDataBrowserItem*>(index.internalPointer()) : nullptr;
}

int LDataBrowserModel::RowOf(const LDataBrowserItem* item) const
{
    if (!item)
        return -1;
    const DataBrowserItemID container = item->GetContainer();
    auto rows = mRows.find(container);
    if (rows == mRows.end()) {
        const auto& siblings = Children(container);
        rows = mRows.emplace(container, QHash<const LDataBrowserItem*, int>()).first;
        rows->second.reserve(qsizetype(siblings.size()));
        for (size_t row = 0; row < siblings.size(); ++row)
            rows->second.insert(siblings[row], int(row));
    }
    return rows->second.value(item, -1);
}

QModelIndex LDataBrowserModel::IndexOf(const LDataBrowserItem* item, int column) const
{
    const int row = RowOf(item);
    return row < 0 ? QModelIndex() : createIndex(row, column, const_cast<LDataBrowserItem*>(item));
}

QModelIndex LDataBrowserModel::index(int row, int column, const QModelIndex& parent) const
{
    const auto& children = Children(ContainerAt(parent));
    if (row < 0 || row >= int(children.size()) || column < 0 || column >= columnCount())
        return {};
    return createIndex(row, column, children[size_t(row)]);
}

QModelIndex LDataBrowserModel::parent(const QModelIndex& child) const
{
    LDataBrowserItem* item = ItemAt(child);
    if (!item || item->GetContainer() == 0)
        return {};
    return IndexOf(reinterpret_cast<LDataBrowserItem*>(item->GetContainer()));
}

int LDataBrowserModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return 0;
    return int(Children(ContainerAt(parent)).size());
}

int LDataBrowserModel::columnCount(const QModelIndex&) const
{
    return int(mImp.Columns().size());
}

bool LDataBrowserModel::hasChildren(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return !Children(0).empty();
    if (parent.column() != 0)
        return false;
    LDataBrowserItem* item = ItemAt(parent);
    if (!Children(item->GetItemID()).empty())
        return true;
    return mImp.IsLive() && LDataBrowser::ItemFlag(item, kDataBrowserItemIsContainerProperty, false);
}

int LDataBrowserModel::ColumnOfProperty(DataBrowserPropertyID property) const
{
    const auto& columns = mImp.Columns();
    for (size_t i = 0; i < columns.size(); ++i)
        if (columns[i].propertyID == property)
            return int(i);
    return -1;
}

QVariant LDataBrowserModel::data(const QModelIndex& index, int role) const
{
    LDataBrowserItem* item = ItemAt(index);
    if (!item || !mImp.IsLive())
        return {};
    const DataBrowserColumn& column = mImp.Columns()[size_t(index.column())];
    if (role == Qt::TextAlignmentRole)
        return column.justification == 1 ? int(Qt::AlignCenter) : column.justification == 2 ? int(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    if (role == Qt::AccessibleTextRole) {
        const QString name = item->GetAccessibleName();
        return name.isEmpty() ? QVariant() : QVariant(name);
    }
    if (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::DecorationRole && role != Qt::CheckStateRole)
        return {};
    DataBrowserItemData itemData;
    // Callbacks never throw: an item that fails shows nothing. A property the item
    // does not have answers a code, not thrown: rows ask for many of them as they draw.
    OSStatus answered = noErr;
    const OSStatus status = CatchCode([&] { answered = mBrowser.GetSetItemData(item, column.propertyID, itemData, false); });
    if (status != noErr || answered != noErr)
        return {};
    switch (role) {
    case Qt::DecorationRole:
        return itemData.icon.isNull() ? QVariant() : QVariant(itemData.icon);
    case Qt::CheckStateRole:
        if (column.propertyType != kDataBrowserCheckboxType)
            return {};
        return itemData.value.toBool() ? Qt::Checked : Qt::Unchecked;
    default:
        return column.propertyType == kDataBrowserCheckboxType ? QVariant() : itemData.value;
    }
}

bool LDataBrowserModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    LDataBrowserItem* item = ItemAt(index);
    if (!item || !mImp.IsLive())
        return false;
    const DataBrowserColumn& column = mImp.Columns()[size_t(index.column())];
    DataBrowserItemData itemData;
    itemData.value = role == Qt::CheckStateRole ? QVariant(value.toInt() == Qt::Checked) : value;
    const OSStatus status = CatchCode([&] { ThrowIfOSErr_(mBrowser.GetSetItemData(item, column.propertyID, itemData, true)); });
    if (status != noErr)
        return false;
    emit dataChanged(index, index);
    return true;
}

QVariant LDataBrowserModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    const auto& columns = mImp.Columns();
    if (orientation != Qt::Horizontal || section < 0 || section >= int(columns.size()))
        return {};
    const DataBrowserColumn& column = columns[size_t(section)];
    if (role == Qt::DisplayRole)
        return column.title;
    if (role == Qt::DecorationRole && column.headerContentType == kHeaderContentIconRef)
        return QIcon::fromTheme(QStringLiteral("folder"));
    return {};
}

Qt::ItemFlags LDataBrowserModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
    if (IsSelectable(ItemAt(index)))
        flags |= Qt::ItemIsSelectable;
    const DataBrowserColumn& column = mImp.Columns()[size_t(index.column())];
    if ((column.propertyFlags & kDataBrowserPropertyIsEditable) && CellIsEditable(ItemAt(index), column.propertyID))
        flags |= column.propertyType == kDataBrowserCheckboxType ? Qt::ItemIsUserCheckable : Qt::ItemIsEditable;
    return flags;
}

bool LDataBrowserModel::IsSelectable(const LDataBrowserItem* item) const
{
    return !mImp.IsLive() || !mUnselectable.contains(item);
}

void LDataBrowserModel::AskSelectable(LDataBrowserItem* item)
{
    if (LDataBrowser::ItemFlag(item, kDataBrowserItemIsSelectableProperty, true))
        mUnselectable.remove(item);
    else
        mUnselectable.insert(item);
}

bool LDataBrowserModel::CellIsEditable(LDataBrowserItem* item, DataBrowserPropertyID property) const
{
    // An editable column's cell opens for editing unless its row says it may not;
    // the row is asked with the column's property as the value (rows whose
    // editability differs by column read it there).
    if (!item || !mImp.IsLive())
        return true;
    DataBrowserItemData data;
    data.value = property;
    const OSStatus status = CatchCode(
        [&] { ThrowIfOSErr_(mBrowser.GetSetItemData(item, kDataBrowserItemIsEditableProperty, data, false)); });
    return status != noErr || !data.value.isValid() || data.value.toBool();
}

void LDataBrowserModel::SortContainer(DataBrowserItemID container, DataBrowserPropertyID property, bool descending)
{
    auto found = mChildren.find(container);
    if (found == mChildren.end() || property == 0)
        return;
    const auto less = [&](LDataBrowserItem* a, LDataBrowserItem* b) {
        return descending ? mBrowser.CompareItems(b, a, property) : mBrowser.CompareItems(a, b, property);
    };
    // Rows made in their order (tens of thousands of values, say) are left as they
    // are: a look costs a comparison a row, a stable sort many more, and the views'
    // relayout of every row besides.
    if (std::is_sorted(found->second.begin(), found->second.end(), less))
        return;
    emit layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    std::vector<LDataBrowserItem*> items;
    for (const QModelIndex& index : before)
        items.push_back(ItemAt(index));
    std::stable_sort(found->second.begin(), found->second.end(), less);
    mRows.erase(container);
    QModelIndexList after;
    for (int i = 0; i < before.size(); ++i)
        after.push_back(items[size_t(i)] ? IndexOf(items[size_t(i)], before[i].column()) : QModelIndex());
    changePersistentIndexList(before, after);
    emit layoutChanged();
}

void LDataBrowserModel::sort(int column, Qt::SortOrder order)
{
    const auto& columns = mImp.Columns();
    if (column < 0 || column >= int(columns.size()))
        return;
    mImp.SetSortProperty(columns[size_t(column)].propertyID);
    mImp.mSortDescending = order == Qt::DescendingOrder;
    SortContainer(0, columns[size_t(column)].propertyID, order == Qt::DescendingOrder);
}

QStringList LDataBrowserModel::mimeTypes() const
{
    return {QStringLiteral("text/uri-list"), QStringLiteral("application/x-orvex-items")};
}

QMimeData* LDataBrowserModel::mimeData(const QModelIndexList& indexes) const
{
    auto* mime = new QMimeData;
    QList<LDataBrowserItem*> done;
    for (const QModelIndex& index : indexes) {
        LDataBrowserItem* item = ItemAt(index);
        if (item && !done.contains(item)) {
            done.push_back(item);
            mBrowser.AddDragItem(*mime, item);
        }
    }
    return mime;
}

const DataBrowserColumn* LDataBrowserModel::CustomColumnAt(const QModelIndex& index) const
{
    if (!index.isValid() || index.column() >= int(mImp.Columns().size()))
        return nullptr;
    const DataBrowserColumn& column = mImp.Columns()[size_t(index.column())];
    return column.propertyType == kDataBrowserCustomType ? &column : nullptr;
}

bool LDataBrowserModel::canDropMimeData(const QMimeData* data, Qt::DropAction, int, int, const QModelIndex& parent) const
{
    if (!data || !mImp.IsLive())
        return false;
    // Over a custom cell the item decides for its own content.
    if (const DataBrowserColumn* custom = CustomColumnAt(parent)) {
        const QRect cell = mImp.GetTree()->visualRect(parent);
        bool accepted = false;
        CatchCode([&] { accepted = ItemAt(parent)->AcceptItemDrag(custom->propertyID, cell, *data); });
        return accepted;
    }
    return mBrowser.AcceptDrag(*data, ItemAt(parent));
}

bool LDataBrowserModel::dropMimeData(const QMimeData* data, Qt::DropAction, int, int, const QModelIndex& parent)
{
    if (!data || !mImp.IsLive())
        return false;
    if (const DataBrowserColumn* custom = CustomColumnAt(parent)) {
        bool received = false;
        CatchCode([&] { received = ItemAt(parent)->ReceiveItemDrag(custom->propertyID, *data); });
        return received;
    }
    return mBrowser.ReceiveDrag(*data, ItemAt(parent));
}

void LDataBrowserModel::AddItems(const std::vector<LDataBrowserItem*>& items, DataBrowserItemID container)
{
    if (items.empty())
        return;
    QModelIndex parent = container ? IndexOf(reinterpret_cast<LDataBrowserItem*>(container)) : QModelIndex();
    auto& children = mChildren[container];
    beginInsertRows(parent, int(children.size()), int(children.size() + items.size()) - 1);
    if (auto rows = mRows.find(container); rows != mRows.end()) {
        for (size_t i = 0; i < items.size(); ++i)
            rows->second.insert(items[i], int(children.size() + i));
    }
    children.insert(children.end(), items.begin(), items.end());
    endInsertRows();
}

void LDataBrowserModel::RemoveItem(LDataBrowserItem* item)
{
    // Its own rows go first.
    while (!Children(item->GetItemID()).empty())
        RemoveItem(Children(item->GetItemID()).back());
    mChildren.erase(item->GetItemID());
    mRows.erase(item->GetItemID());
    const QModelIndex index = IndexOf(item);
    if (index.isValid()) {
        auto& siblings = mChildren[item->GetContainer()];
        beginRemoveRows(index.parent(), index.row(), index.row());
        siblings.erase(siblings.begin() + index.row());
        if (auto rows = mRows.find(item->GetContainer()); rows != mRows.end()) {
            if (index.row() == int(siblings.size()))
                rows->second.remove(item); // the last row: the others keep theirs
            else
                mRows.erase(rows);
        }
        endRemoveRows();
    }
    // Forgotten last: the selection model may tell of the row while it goes.
    mUnselectable.remove(item);
}

void LDataBrowserModel::RemoveAll()
{
    beginResetModel();
    mChildren.clear();
    mRows.clear();
    endResetModel();
    mUnselectable.clear();
}

void LDataBrowserModel::ItemChanged(LDataBrowserItem* item, DataBrowserPropertyID property)
{
    const int column = property == 0 ? -1 : ColumnOfProperty(property);
    const QModelIndex first = IndexOf(item, column < 0 ? 0 : column);
    if (!first.isValid())
        return;
    AskSelectable(item);
    const QModelIndex last = column < 0 ? IndexOf(item, std::max(0, columnCount() - 1)) : first;
    emit dataChanged(first, last);
}

void LDataBrowserModel::ChildrenChanged(DataBrowserItemID container, DataBrowserPropertyID property)
{
    const auto& children = Children(container);
    if (children.empty())
        return;
    const int column = ColumnOfProperty(property);
    if (column < 0)
        return;
    emit dataChanged(IndexOf(children.front(), column), IndexOf(children.back(), column));
}

// The view's delegate: edit started and stopped, custom cells and the
// Command-arrow keys that move an edit along the row.

namespace {

class DataBrowserDelegate : public QStyledItemDelegate {
public:
    DataBrowserDelegate(LDataBrowser& browser, LDataBrowserModel& model)
        : QStyledItemDelegate(browser.GetControlRef())
        , mBrowser(browser)
        , mModel(model)
    {
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        mEditedIndex = index;
        mBrowser.ItemNotification(mModel.ItemAt(index), kDataBrowserEditStarted);
        return editor;
    }

    void destroyEditor(QWidget* editor, const QModelIndex& index) const override
    {
        QStyledItemDelegate::destroyEditor(editor, index);
        mBrowser.ItemNotification(mModel.ItemAt(index), kDataBrowserEditStopped);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize hint = QStyledItemDelegate::sizeHint(option, index);
        const auto& column = mBrowser.GetImp().Columns()[size_t(index.column())];
        if (LDataBrowserItem* item = mModel.ItemAt(index); item && column.propertyType == kDataBrowserCustomType)
            hint.setWidth(std::max(hint.width(), item->GetCustomWidth(column.propertyID)));
        return hint;
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const auto& column = mBrowser.GetImp().Columns()[size_t(index.column())];
        LDataBrowserItem* item = mModel.ItemAt(index);
        QStyleOptionViewItem cell = option;
        // The minimal style shows a selected row in its first column alone.
        if (mBrowser.GetHiliteStyle() == kDataBrowserTableViewMinimalHilite
            && mBrowser.GetControlRef()->header()->visualIndex(index.column()) != 0)
            cell.state &= ~QStyle::State_Selected;
        if (column.propertyType != kDataBrowserCustomType || !item) {
            QStyledItemDelegate::paint(painter, cell, index);
            return;
        }
        const DataBrowserItemState state = (cell.state & QStyle::State_Selected)
            ? DataBrowserItemState(kDataBrowserItemIsSelected)
            : DataBrowserItemState(0);
        painter->save();
        CatchCode([&] { item->DrawItem(column.propertyID, state, option.rect, *painter); });
        painter->restore();
    }

protected:
    bool eventFilter(QObject* editor, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            const bool command = key->modifiers() & Qt::ControlModifier;
            const int step = key->key() == Qt::Key_Left ? -1 : key->key() == Qt::Key_Right ? 1 : 0;
            if (command && step != 0 && mEditedIndex.isValid()) {
                const auto& columns = mBrowser.GetImp().Columns();
                const QModelIndex at = mEditedIndex;
                if (mBrowser.MoveEdit(mModel.ItemAt(at), columns[size_t(at.column())].propertyID, step)) {
                    emit commitData(static_cast<QWidget*>(editor));
                    emit closeEditor(static_cast<QWidget*>(editor));
                    const int next = NextEditableColumn(columns, at.column(), step);
                    QTreeView* tree = mBrowser.GetControlRef();
                    const QModelIndex target = at.siblingAtColumn(next);
                    tree->setCurrentIndex(target);
                    tree->edit(target);
                    return true; // the key is blocked
                }
            }
            // Every other key is the browser's to filter.
            if (mEditedIndex.isValid() && !(command && step != 0)) {
                const auto& columns = mBrowser.GetImp().Columns();
                const EventRecord record = EventRecordFromKeyEvent(*key);
                ControlKeyFilterResult result = kControlKeyFilterPassKey;
                CatchCode([&] {
                    result = mBrowser.EditKeyFilter(mModel.ItemAt(mEditedIndex),
                        columns[size_t(mEditedIndex.column())].propertyID, EventKeyCode(record),
                        EventCharCode(record), record.modifiers);
                });
                if (result == kControlKeyFilterBlockKey)
                    return true;
            }
        }
        return QStyledItemDelegate::eventFilter(editor, event);
    }

private:
    LDataBrowser& mBrowser;
    LDataBrowserModel& mModel;
    mutable QPersistentModelIndex mEditedIndex;
};

// The view: clicks on custom cells go through the item's hit test and tracking, a
// drag takes its picture from the rows' cells (custom cells give their own outline)
// and is followed by PostProcessDrag, and help tags come from GetHelpContent.
class DataBrowserView : public QTreeView {
public:
    DataBrowserView(LDataBrowser& browser, LDataBrowserModel& model)
        : mBrowser(browser)
        , mModel(model)
    {
    }

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        const QPoint at = event->position().toPoint();
        const QModelIndex index = indexAt(at);
        const DataBrowserColumn* custom = mModel.CustomColumnAt(index);
        if (!custom || event->button() != Qt::LeftButton) {
            QTreeView::mousePressEvent(event);
            return;
        }
        LDataBrowserItem* item = mModel.ItemAt(index);
        const QRect cell = visualRect(index);
        const UInt16 modifiers = ModifiersFromQt(int(event->modifiers()));
        bool hit = false;
        CatchCode([&] { hit = item->HitTest(custom->propertyID, cell, QRect(at, QSize(1, 1))); });
        if (!hit) {
            // A miss is a click on empty space.
            if (!(event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier)))
                clearSelection();
            event->accept();
            return;
        }
        SInt16 part = kDataBrowserNothingHit;
        CatchCode([&] { part = item->TrackItem(custom->propertyID, cell, at, modifiers); });
        if (part == kDataBrowserStopTracking) {
            event->accept();
            return;
        }
        QTreeView::mousePressEvent(event);
    }

    void startDrag(Qt::DropActions supportedActions) override
    {
        QModelIndexList rows = selectionModel()->selectedRows();
        if (rows.isEmpty())
            return;
        std::unique_ptr<QMimeData> mime(mModel.mimeData(rows));
        if (!mime || mime->formats().isEmpty())
            return; // no row gave anything to drag
        const QRegion outline = DragRegion(rows);
        auto* drag = new QDrag(this);
        const QRect bounds = outline.boundingRect();
        if (!bounds.isEmpty()) {
            QPixmap picture(bounds.size() * devicePixelRatioF());
            picture.setDevicePixelRatio(devicePixelRatioF());
            picture.fill(Qt::transparent);
            {
                QPainter painter(&picture);
                painter.setClipRegion(outline.translated(-bounds.topLeft()));
                painter.setOpacity(0.7);
                painter.drawPixmap(0, 0, viewport()->grab(bounds));
            }
            drag->setPixmap(picture);
            drag->setHotSpot(viewport()->mapFromGlobal(QCursor::pos()) - bounds.topLeft());
        }
        QMimeData* dragged = mime.release();
        drag->setMimeData(dragged);
        const Qt::DropAction action = drag->exec(supportedActions, defaultDropAction());
        CatchCode([&] { mBrowser.PostProcessDrag(*dragged, action); });
        drag->deleteLater();
    }

    bool viewportEvent(QEvent* event) override
    {
        if (event->type() != QEvent::ToolTip)
            return QTreeView::viewportEvent(event);
        auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = indexAt(help->pos());
        DataBrowserPropertyID property = 0;
        if (index.isValid())
            property = mBrowser.GetImp().Columns()[size_t(index.column())].propertyID;
        QString content;
        CatchCode([&] { mBrowser.GetHelpContent(mModel.ItemAt(index), property, content); });
        if (content.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), content, viewport(), index.isValid() ? visualRect(index) : QRect());
        }
        return true;
    }

private:
    // The cells of the dragged rows, in viewport coordinates; a custom cell adds the
    // outline its item gives.
    QRegion DragRegion(const QModelIndexList& rows) const
    {
        QRegion region;
        const auto& columns = mBrowser.GetImp().Columns();
        for (const QModelIndex& row : rows) {
            LDataBrowserItem* item = mModel.ItemAt(row);
            for (int column = 0; column < int(columns.size()); ++column) {
                const QModelIndex cell = row.siblingAtColumn(column);
                const QRect rect = visualRect(cell);
                if (rect.isEmpty())
                    continue;
                if (columns[size_t(column)].propertyType == kDataBrowserCustomType)
                    CatchCode([&] { item->GetDragRegion(columns[size_t(column)].propertyID, rect, region); });
                else
                    region += rect;
            }
        }
        return region & viewport()->rect();
    }

    LDataBrowser& mBrowser;
    LDataBrowserModel& mModel;
};

} // namespace

// The implementation.

LDataBrowserImp::LDataBrowserImp(LDataBrowser& pane, const Settings& settings)
    : mPane(pane)
    , mSettings(settings)
    , mModel(std::make_unique<LDataBrowserModel>(pane, *this))
{
    mTree = new DataBrowserView(pane, *mModel);
    mTree->setModel(mModel.get());
    mTree->setUniformRowHeights(true);
    mTree->setRootIsDecorated(false);
    mTree->setDragEnabled(true);
    mTree->setAcceptDrops(true);
    mTree->setDropIndicatorShown(true);
    mTree->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    mLive = true;
}

LDataBrowserImp::~LDataBrowserImp()
{
    // Callbacks that arrive while the view is torn down do nothing.
    mLive = false;
}

void LDataBrowserImp::MakeColumns(ResIDT columnListID)
{
    if (columnListID == 0 || !mTree)
        ThrowOSErr_(err_AssertFailed, "no column list");
    mSettings.columnListID = columnListID;
    std::vector<DataBrowserColumn> columns = LoadDataBrowserColumns(columnListID, mSettings.titleListID);
    for (size_t i = 0; i < columns.size(); ++i) {
        if (SInt32(i + 1) == mSettings.sortColumn)
            mSortProperty = columns[i].propertyID;
        if (SInt32(i + 1) == mSettings.disclosureColumn)
            mDisclosureProperty = columns[i].propertyID;
    }
    mModel->ColumnsAboutToChange();
    mKept = columns;
    mColumns = columns;
    mModel->ColumnsChanged();
    for (size_t i = 0; i < mColumns.size(); ++i) {
        if (mColumns[i].initialWidth != 0)
            mTree->setColumnWidth(int(i), mColumns[i].initialWidth);
    }
}

void LDataBrowserImp::FinishCreate()
{
    // A list without a column resource makes its columns itself.
    if (mSettings.viewStyle == kDataBrowserListView && mSettings.columnListID != 0)
        MakeColumns(mSettings.columnListID);

    const UInt32 flags = mSettings.selectionFlags;
    mTree->setSelectionMode(flags & kDataBrowserSelectOnlyOne          ? QAbstractItemView::SingleSelection
            : flags & kDataBrowserNoDisjointSelection                  ? QAbstractItemView::ContiguousSelection
                                                                       : QAbstractItemView::ExtendedSelection);
    mTree->setSelectionBehavior(QAbstractItemView::SelectRows);
    if (mSettings.rowHeight != 0)
        mTree->setStyleSheet(QStringLiteral("QTreeView::item { height: %1px; }").arg(mSettings.rowHeight));
    if (mSettings.headerHeight == 0)
        mTree->setHeaderHidden(true);
    else
        mTree->header()->setFixedHeight(mSettings.headerHeight);
    mSortDescending = mSettings.sortOrder == kDataBrowserOrderDecreasing;
    if (mDisclosureProperty != 0) {
        const int column = mModel->ColumnOfProperty(mDisclosureProperty);
        if (column > 0)
            mTree->header()->moveSection(column, 0);
        mTree->setRootIsDecorated(true);
        mTree->setItemsExpandable(false); // a disclosure column without expandable rows
    }
    mTree->setHorizontalScrollBarPolicy(mSettings.scrollBars & kScrollBarHorizontal ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    mTree->setVerticalScrollBarPolicy(mSettings.scrollBars & kScrollBarVertical ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
}

// The pane.

LDataBrowserImp::Settings LDataBrowser::SettingsFromLayout(const LLayoutData& data)
{
    LDataBrowserImp::Settings settings;
    settings.kept = data.Int("kept", 0);
    settings.viewStyle = data.Code("viewStyle", kDataBrowserListView);
    settings.scrollBars = UInt32(data.Int("scrollBars", SInt32(kScrollBarHorizontal | kScrollBarVertical)));
    settings.selectionFlags = UInt32(data.Int("selectionFlags", 0));
    settings.sortOrder = UInt16(data.Int("sortOrder", kDataBrowserOrderIncreasing));
    settings.sortColumn = data.Int("sortColumn", 0);
    settings.disclosureColumn = data.Int("disclosureColumn", 0);
    settings.rowHeight = UInt16(data.Int("rowHeight", 0));
    settings.headerHeight = UInt16(data.Int("headerHeight", 0));
    settings.titleListID = ResIDT(data.Int("titleListID", 0));
    settings.columnListID = ResIDT(data.Int("columnListID", 0));
    settings.keyFilterID = SInt8(data.Int("keyFilter", 0));
    return settings;
}

LDataBrowser::LDataBrowser(const LLayoutData& data)
    : LControlPane(data)
    , LCommander(LCommander::GetDefaultCommander())
{
    Init(SettingsFromLayout(data));
}

LDataBrowser::LDataBrowser(const SPaneInfo& info, const LDataBrowserImp::Settings& settings)
    : LControlPane(info, 0)
    , LCommander(LCommander::GetDefaultCommander())
{
    Init(settings);
}

void LDataBrowser::Init(const LDataBrowserImp::Settings& settings)
{
    mImp = std::make_unique<LDataBrowserImp>(*this, settings);
    Embed(mImp->GetTree());
    mOwnDelegate = new DataBrowserDelegate(*this, mImp->GetModel());
    mImp->GetTree()->setItemDelegate(mOwnDelegate);
    mOwnSelection = mImp->GetTree()->selectionModel();
    QObject::connect(mImp->GetTree()->selectionModel(), &QItemSelectionModel::selectionChanged, mImp->GetTree(),
        [this](const QItemSelection& selected, const QItemSelection& deselected) { SelectionChanged(selected, deselected); });
    QObject::connect(mImp->GetTree(), &QTreeView::expanded, mImp->GetTree(),
        [this](const QModelIndex& index) { ContainerToggled(index, true); });
    QObject::connect(mImp->GetTree(), &QTreeView::collapsed, mImp->GetTree(),
        [this](const QModelIndex& index) { ContainerToggled(index, false); });
    QObject::connect(mImp->GetTree(), &QTreeView::doubleClicked, mImp->GetTree(),
        [this](const QModelIndex& index) { ItemNotification(mImp->GetModel().ItemAt(index), kDataBrowserItemDoubleClicked); });
}

LDataBrowser::~LDataBrowser()
{
    RemoveAllItems();
    if (mOwnsComparator)
        delete mComparator;
    mImp.reset();
}

void LDataBrowser::FinishCreateSelf()
{
    mImp->FinishCreate();
    if (!mComparator)
        mComparator = LComparator::GetComparator();
}

void LDataBrowser::SelectionChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    // Row by row through the ranges that hold the first column, leaving out the
    // rows known to refuse selection: listing every cell of a large selection
    // would ask each row's flags once per column.
    const LDataBrowserModel& model = mImp->GetModel();
    const auto notify = [&](const QItemSelection& ranges, DataBrowserItemNotification message) {
        for (const QItemSelectionRange& range : ranges) {
            if (range.left() != 0 || range.model() != &model)
                continue;
            const std::vector<LDataBrowserItem*>& rows = model.Children(model.ContainerAt(range.parent()));
            const int last = std::min(range.bottom(), int(rows.size()) - 1);
            for (int row = range.top(); row <= last; ++row)
                if (LDataBrowserItem* item = rows[size_t(row)]; model.IsSelectable(item))
                    ItemNotification(item, message);
        }
    };
    notify(deselected, kDataBrowserItemDeselected);
    notify(selected, kDataBrowserItemSelected);
}

void LDataBrowser::SetComparator(LComparator* comparator)
{
    if (!comparator)
        return;
    if (mOwnsComparator && comparator != mComparator)
        delete mComparator;
    mComparator = comparator;
    mOwnsComparator = true;
}

// Items.

void LDataBrowser::AddItem(LDataBrowserItem* item, DataBrowserItemID container)
{
    AddItems({item}, container, 0);
}

void LDataBrowser::AddItems(const std::vector<LDataBrowserItem*>& items, DataBrowserItemID container, DataBrowserPropertyID preSortProperty)
{
    for (LDataBrowserItem* item : items) {
        ThrowIfNil_(item);
        item->mBrowser = this;
        item->mContainer = container;
    }
    mImp->GetModel().AddItems(items, container);
    if (preSortProperty != 0)
        mImp->GetModel().SortContainer(container, preSortProperty, mImp->mSortDescending);
    for (LDataBrowserItem* item : items) {
        ItemNotification(item, kDataBrowserItemAdded);
        mImp->GetModel().AskSelectable(item);
    }
}

void LDataBrowser::RemoveItem(LDataBrowserItem* item)
{
    if (!item)
        return;
    // Rows under it go first, each told of its removal.
    const std::vector<LDataBrowserItem*> children = mImp->GetModel().Children(item->GetItemID());
    for (auto child = children.rbegin(); child != children.rend(); ++child)
        RemoveItem(*child);
    DeselectItem(item);
    mImp->GetModel().RemoveItem(item);
    ItemNotification(item, kDataBrowserItemRemoved); // by default the item deletes itself
}

void LDataBrowser::RemoveAllItems()
{
    CatchCode([&] {
        const std::vector<LDataBrowserItem*> items = GetItems(kDataBrowserItemAnyState);
        mImp->GetTree()->selectionModel()->clear();
        mImp->GetModel().RemoveAll();
        for (LDataBrowserItem* item : items)
            ItemNotification(item, kDataBrowserItemRemoved);
    });
}

void LDataBrowser::RemoveColumn(DataBrowserPropertyID property)
{
    auto& columns = mImp->Columns();
    auto found = std::find_if(columns.begin(), columns.end(), [&](const auto& c) { return c.propertyID == property; });
    if (found == columns.end())
        ThrowOSErr_(errDataBrowserPropertyNotFound);
    mImp->GetModel().BeginRemoveColumn(int(found - columns.begin()));
    columns.erase(found);
    mImp->GetModel().EndRemoveColumn();
}

void LDataBrowser::AddColumn(DataBrowserPropertyID property, UInt32 position)
{
    const auto& kept = mImp->KeptColumns();
    auto found = std::find_if(kept.begin(), kept.end(), [&](const auto& c) { return c.propertyID == property; });
    if (found == kept.end())
        ThrowOSErr_(errDataBrowserPropertyNotFound);
    auto& columns = mImp->Columns();
    mImp->GetModel().ColumnsAboutToChange();
    columns.insert(columns.begin() + std::min<size_t>(position, columns.size()), *found);
    mImp->GetModel().ColumnsChanged();
}

void LDataBrowser::RemoveAllColumns()
{
    auto& columns = mImp->Columns();
    mImp->GetModel().ColumnsAboutToChange();
    columns.clear();
    mImp->GetModel().ColumnsChanged();
}

void LDataBrowser::InsertColumnDescription(const DataBrowserColumn& column, UInt32 position)
{
    auto& columns = mImp->Columns();
    const size_t at = std::min<size_t>(position, columns.size());
    mImp->GetModel().BeginInsertColumn(int(at));
    columns.insert(columns.begin() + at, column);
    mImp->GetModel().EndInsertColumn();
    if (column.initialWidth != 0)
        mImp->GetTree()->setColumnWidth(int(at), column.initialWidth);
}

bool LDataBrowser::ItemFlag(LDataBrowserItem* item, DataBrowserPropertyID property, bool otherwise)
{
    if (!item || !item->GetOwningBrowser())
        return otherwise;
    DataBrowserItemData data;
    const OSStatus status = CatchCode([&] { ThrowIfOSErr_(item->GetOwningBrowser()->GetSetItemData(item, property, data, false)); });
    return status == noErr && data.value.isValid() ? data.value.toBool() : otherwise;
}

void LDataBrowser::OpenContainer(LDataBrowserItem* item)
{
    const QModelIndex index = mImp->GetModel().IndexOf(item);
    if (!index.isValid() || mImp->GetTree()->isExpanded(index))
        return;
    const bool was = std::exchange(mTogglingContainer, true);
    mImp->GetTree()->expand(index);
    mTogglingContainer = was;
}

void LDataBrowser::CloseContainer(LDataBrowserItem* item)
{
    const QModelIndex index = mImp->GetModel().IndexOf(item);
    if (!index.isValid() || !mImp->GetTree()->isExpanded(index))
        return;
    const bool was = std::exchange(mTogglingContainer, true);
    mImp->GetTree()->collapse(index);
    mTogglingContainer = was;
}

bool LDataBrowser::IsContainerOpen(const LDataBrowserItem* item) const
{
    const QModelIndex index = mImp->GetModel().IndexOf(item);
    return index.isValid() && mImp->GetTree()->isExpanded(index);
}

void LDataBrowser::ContainerToggled(const QModelIndex& index, bool opened)
{
    LDataBrowserItem* item = mImp->GetModel().ItemAt(index);
    if (!item || IsShowingOutsideModel())
        return;
    if (!mTogglingContainer)
        ItemNotification(item, kDataBrowserUserToggledContainer);
    if (opened) {
        ItemNotification(item, kDataBrowserContainerOpened);
        return;
    }
    // A closed container keeps no rows: they are made again when it opens.
    const std::vector<LDataBrowserItem*> children = mImp->GetModel().Children(item->GetItemID());
    for (auto child = children.rbegin(); child != children.rend(); ++child)
        RemoveItem(*child);
    ItemNotification(item, kDataBrowserContainerClosed);
}

void LDataBrowser::SetColumnEditable(bool editable, DataBrowserPropertyID property)
{
    for (auto& column : mImp->Columns()) {
        if (column.propertyID != property)
            continue;
        if (editable)
            column.propertyFlags |= kDataBrowserPropertyIsEditable;
        else
            column.propertyFlags &= ~UInt32(kDataBrowserPropertyIsEditable);
    }
}

void LDataBrowser::SetColumnType(DataBrowserPropertyID property, FourCharCode type)
{
    auto& columns = mImp->Columns();
    for (auto& column : columns) {
        if (column.propertyID == property && column.propertyType != type) {
            mImp->GetModel().ColumnsAboutToChange();
            column.propertyType = type;
            mImp->GetModel().ColumnsChanged();
        }
    }
}

UInt32 LDataBrowser::CountColumns() const
{
    return UInt32(mImp->Columns().size());
}

LDataBrowserItem* LDataBrowser::GetItemAtRow(UInt32 row) const
{
    const auto& top = mImp->GetModel().Children(0);
    return row >= 1 && row <= top.size() ? top[row - 1] : nullptr;
}

UInt32 LDataBrowser::GetRowOfItem(const LDataBrowserItem* item) const
{
    const QModelIndex index = mImp->GetModel().IndexOf(item);
    return index.isValid() && !index.parent().isValid() ? UInt32(index.row() + 1) : 0;
}

bool LDataBrowser::IsValidRow(UInt32 row) const
{
    return row != 0 && row <= mImp->GetModel().Children(0).size();
}

bool LDataBrowser::IsItemSelected(const LDataBrowserItem* item) const
{
    const QModelIndex index = mImp->GetModel().IndexOf(item);
    return index.isValid() && mImp->GetTree()->selectionModel()->isRowSelected(index.row(), index.parent());
}

void LDataBrowser::NotifySelectedItems(DataBrowserItemNotification message)
{
    for (LDataBrowserItem* item : mImp->GetModel().Children(0))
        if (IsItemSelected(item))
            item->ItemNotification(message);
}

OSStatus LDataBrowser::GetSetItemData(LDataBrowserItem* item, DataBrowserPropertyID property, DataBrowserItemData& data, bool setValue)
{
    if (!item)
        return errDataBrowserItemNotFound;
    return item->GetSetItemData(property, data, setValue);
}

bool LDataBrowser::CompareItems(LDataBrowserItem* a, LDataBrowserItem* b, DataBrowserPropertyID property)
{
    if (!a || !b)
        return false;
    LComparator* comparator = mComparator ? mComparator : LComparator::GetComparator();
    // The comparator learns the sort property first, then compares the two items.
    (void)comparator->CompareToKey(&a, sizeof(a), &property);
    return comparator->Compare(&a, &b, sizeof(a), sizeof(b)) < 0;
}

void LDataBrowser::ItemNotification(LDataBrowserItem* item, DataBrowserItemNotification message)
{
    if (!item)
        return;
    switch (message) {
    case kDataBrowserItemAdded:
        item->mBrowser = this;
        item->ItemNotification(message);
        break;
    case kDataBrowserEditStarted:
    case kDataBrowserEditStopped:
        mEditing = message == kDataBrowserEditStarted;
        mEditedItem = mEditing ? item : nullptr;
        break;
    case kDataBrowserItemDoubleClicked:
        NotifySelectedItems(kDataBrowserItemDoubleClicked);
        break;
    default:
        item->ItemNotification(message);
        break;
    }
    BroadcastMessage(MessageT(message), nullptr);
}

bool LDataBrowser::AddDragItem(QMimeData& drag, LDataBrowserItem* item)
{
    return item && item->AddDragItem(drag);
}

bool LDataBrowser::AcceptDrag(const QMimeData& drag, LDataBrowserItem* item)
{
    return item ? item->AcceptDrag(drag) : AcceptDragItem(drag);
}

bool LDataBrowser::ReceiveDrag(const QMimeData& drag, LDataBrowserItem* item)
{
    if (LWindow* window = GetContainingWindow(); window && window->isActiveWindow())
        LCommander::SwitchTarget(this);
    return item ? item->ReceiveDrag(drag) : ReceiveDragItem(drag);
}

namespace {

void CollectItems(const LDataBrowserModel& model, DataBrowserItemID container, DataBrowserItemState state,
    const QSet<const LDataBrowserItem*>& selected, bool recurse, std::vector<LDataBrowserItem*>& out)
{
    for (LDataBrowserItem* item : model.Children(container)) {
        if (state == kDataBrowserItemAnyState || ((state & kDataBrowserItemIsSelected) && selected.contains(item))
            || (state == kDataBrowserItemNoState && !selected.contains(item)))
            out.push_back(item);
        if (recurse)
            CollectItems(model, item->GetItemID(), state, selected, recurse, out);
    }
}

} // namespace

QSet<const LDataBrowserItem*> LDataBrowser::SelectedItemSet() const
{
    QSet<const LDataBrowserItem*> selected;
    const QModelIndexList rows = mImp->GetTree()->selectionModel()->selectedRows();
    selected.reserve(rows.size());
    for (const QModelIndex& index : rows)
        selected.insert(mImp->GetModel().ItemAt(index));
    return selected;
}

SInt32 LDataBrowser::CountSelectedRows(bool recurse) const
{
    // Rows selected whole (as row selection leaves them) are counted from the
    // ranges, leaving out the rows known to refuse selection; asking the
    // selection model for its rows would ask every cell's flags.
    QItemSelectionModel* selection = mImp->GetTree()->selectionModel();
    const LDataBrowserModel& model = mImp->GetModel();
    const int lastColumn = model.columnCount() - 1;
    std::map<QModelIndex, std::vector<std::pair<int, int>>> spans;
    for (const QItemSelectionRange& range : selection->selection()) {
        if (!recurse && range.parent().isValid())
            continue;
        if (range.left() != 0 || range.right() != lastColumn) {
            const QModelIndexList rows = selection->selectedRows();
            return SInt32(std::count_if(rows.begin(), rows.end(),
                [&](const QModelIndex& index) { return recurse || !index.parent().isValid(); }));
        }
        spans[range.parent()].emplace_back(range.top(), range.bottom());
    }
    SInt32 count = 0;
    for (auto& [parent, ranges] : spans) {
        std::sort(ranges.begin(), ranges.end());
        const std::vector<LDataBrowserItem*>& rows = model.Children(model.ContainerAt(parent));
        int next = 0; // the first row not yet counted: overlapping ranges count a row once
        for (const auto& [top, bottom] : ranges) {
            const int last = std::min(bottom, int(rows.size()) - 1);
            for (int row = std::max(top, next); row <= last; ++row)
                count += model.IsSelectable(rows[size_t(row)]) ? 1 : 0;
            next = std::max(next, last + 1);
        }
    }
    return count;
}

SInt32 LDataBrowser::CountItems(DataBrowserItemState state, bool recurse) const
{
    if (state == kDataBrowserItemIsSelected && IsShowingOutsideModel())
        return SInt32(mImp->GetTree()->selectionModel()->selectedRows().size());
    if (state == kDataBrowserItemIsSelected)
        return CountSelectedRows(recurse);
    std::vector<LDataBrowserItem*> items;
    const QSet<const LDataBrowserItem*> selected
        = state == kDataBrowserItemAnyState ? QSet<const LDataBrowserItem*>() : SelectedItemSet();
    CollectItems(mImp->GetModel(), 0, state, selected, recurse, items);
    return SInt32(items.size());
}

std::vector<LDataBrowserItem*> LDataBrowser::GetItems(DataBrowserItemState state) const
{
    std::vector<LDataBrowserItem*> items;
    const QSet<const LDataBrowserItem*> selected
        = state == kDataBrowserItemAnyState ? QSet<const LDataBrowserItem*>() : SelectedItemSet();
    CollectItems(mImp->GetModel(), 0, state, selected, true, items);
    return items;
}

void LDataBrowser::RevealItem(LDataBrowserItem* item, DataBrowserPropertyID property, bool centre)
{
    const int column = std::max(0, mImp->GetModel().ColumnOfProperty(property));
    const QModelIndex index = mImp->GetModel().IndexOf(item, column);
    if (index.isValid())
        mImp->GetTree()->scrollTo(index, centre ? QAbstractItemView::PositionAtCenter : QAbstractItemView::EnsureVisible);
}

void LDataBrowser::SelectItem(LDataBrowserItem* item)
{
    const QModelIndex index = mImp->GetModel().IndexOf(item);
    if (index.isValid())
        mImp->GetTree()->selectionModel()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void LDataBrowser::DeselectItem(LDataBrowserItem* item)
{
    const QModelIndex index = mImp->GetModel().IndexOf(item);
    if (index.isValid())
        mImp->GetTree()->selectionModel()->select(index, QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
}

bool LDataBrowser::IsShowingOutsideModel() const
{
    return mImp->GetTree()->model() != &mImp->GetModel();
}

void LDataBrowser::ShowModel(QAbstractItemModel* model, QItemSelectionModel* selection)
{
    QTreeView* tree = mImp->GetTree();
    if (!model || !selection) {
        if (!IsShowingOutsideModel())
            return;
        QItemSelectionModel* shared = tree->selectionModel();
        tree->setModel(&mImp->GetModel());
        QItemSelectionModel* made = tree->selectionModel();
        tree->setSelectionModel(mOwnSelection);
        if (made != mOwnSelection && made != shared)
            delete made;
        delete std::exchange(mHeaderSelection, nullptr); // the header follows the tree's own again
        tree->setItemDelegate(mOwnDelegate);
        return;
    }
    ThrowIfNot_(selection->model() == model, "a selection model of another model");
    QItemSelectionModel* before = tree->selectionModel();
    tree->setItemDelegate(nullptr); // the browser's cells are its own items'
    tree->setModel(model);
    QItemSelectionModel* made = tree->selectionModel();
    tree->setSelectionModel(selection);
    if (made != mOwnSelection && made != selection && made != before)
        delete made;
    tree->setSelectionBehavior(QAbstractItemView::SelectRows);
    // For its looks the header asks whether each whole column is selected, which
    // walks every selected row of the outside model at each repaint after the
    // selection changed: with many rows selected that held the window. Whole
    // columns are never selected here, so the header is given a selection of its
    // own that no row enters.
    QItemSelectionModel* headerSelection = new QItemSelectionModel(model, tree->header());
    tree->header()->setSelectionModel(headerSelection);
    delete std::exchange(mHeaderSelection, headerSelection);
}

void LDataBrowser::SelectAll()
{
    if (IsShowingOutsideModel()) {
        QTreeView* tree = mImp->GetTree();
        const QAbstractItemModel* model = tree->model();
        const int rows = model->rowCount();
        if (rows > 0)
            tree->selectionModel()->select(QItemSelection(model->index(0, 0), model->index(rows - 1, 0)),
                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        return;
    }
    // One range per container that has rows: the selection model then holds a
    // handful of ranges, not one per row.
    LDataBrowserModel& model = mImp->GetModel();
    QItemSelection all;
    std::vector<QModelIndex> parents { QModelIndex() };
    while (!parents.empty()) {
        const QModelIndex parent = parents.back();
        parents.pop_back();
        const int rows = model.rowCount(parent);
        if (rows == 0)
            continue;
        all.select(model.index(0, 0, parent), model.index(rows - 1, 0, parent));
        const std::vector<LDataBrowserItem*>& children = model.Children(model.ContainerAt(parent));
        for (int row = 0; row < rows; ++row)
            if (!model.Children(children[size_t(row)]->GetItemID()).empty())
                parents.push_back(model.index(row, 0, parent));
    }
    mImp->GetTree()->selectionModel()->select(all, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void LDataBrowser::SelectNone()
{
    CatchCode([&] { mImp->GetTree()->selectionModel()->clearSelection(); });
}

void LDataBrowser::SetSortOrder(UInt16 order)
{
    mImp->mSortDescending = order == kDataBrowserOrderDecreasing;
    mImp->GetModel().SortContainer(0, mImp->GetSortProperty(), mImp->mSortDescending);
}

void LDataBrowser::SetSortProperty(DataBrowserPropertyID property)
{
    mImp->SetSortProperty(property);
    mImp->GetModel().SortContainer(0, property, mImp->mSortDescending);
}

DataBrowserPropertyID LDataBrowser::GetSortProperty() const
{
    return mImp->GetSortProperty();
}

UInt32 LDataBrowser::GetSelectionFlags() const
{
    return mImp->GetSettings().selectionFlags;
}

void LDataBrowser::SetHiliteStyle(UInt32 style)
{
    mImp->mHiliteStyle = style;
    mImp->GetTree()->setAllColumnsShowFocus(style != kDataBrowserTableViewMinimalHilite);
    mImp->GetTree()->viewport()->update();
}

void LDataBrowser::PostProcessDrag(const QMimeData&, Qt::DropAction) {}

void LDataBrowser::GetHelpContent(LDataBrowserItem*, DataBrowserPropertyID, QString&) {}

ControlKeyFilterResult LDataBrowser::EditKeyFilter(LDataBrowserItem* item, DataBrowserPropertyID property,
    UInt16 keyCode, UInt16 charCode, UInt16 modifiers)
{
    if (!mEditedItem || !item)
        return kControlKeyFilterPassKey;
    return item->EditKeyFilter(property, keyCode, charCode, modifiers);
}

void LDataBrowser::SetHasFrame(bool hasFrame)
{
    mImp->mDrawFrame = hasFrame;
    mImp->GetTree()->setFrameShape(hasFrame ? QFrame::StyledPanel : QFrame::NoFrame);
}

void LDataBrowser::SetIncludesFrameAndFocus(bool includes)
{
    if (includes == mImp->mIncludesFrameAndFocus)
        return;
    mImp->mIncludesFrameAndFocus = includes;
    mImp->GetTree()->setAttribute(Qt::WA_MacShowFocusRect, includes);
}

void LDataBrowser::UpdateAllItems(DataBrowserPropertyID property)
{
    for (LDataBrowserItem* item : GetItems(kDataBrowserItemAnyState))
        mImp->GetModel().ItemChanged(item, property);
    mImp->GetModel().SortContainer(0, mImp->GetSortProperty(), mImp->mSortDescending);
}

void LDataBrowser::UpdateItem(LDataBrowserItem* item, DataBrowserItemID, DataBrowserPropertyID property)
{
    ThrowIfNil_(item);
    mImp->GetModel().ItemChanged(item, property);
    mImp->GetTree()->viewport()->update();
}

void LDataBrowser::UpdateChildren(DataBrowserItemID container, DataBrowserPropertyID property)
{
    mImp->GetModel().ChildrenChanged(container, property);
    mImp->GetTree()->viewport()->update();
}

bool LDataBrowser::MoveEdit(LDataBrowserItem* item, DataBrowserPropertyID property, int step)
{
    if (!item)
        return false;
    const int from = mImp->GetModel().ColumnOfProperty(property);
    return NextEditableColumn(mImp->Columns(), from, step) >= 0;
}

// Commands and keys.

void LDataBrowser::FindCommandStatus(CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark, Str255& outName)
{
    if (command == cmd_SelectAll) {
        outEnabled = !(GetSelectionFlags() & kDataBrowserSelectOnlyOne);
        return;
    }
    LCommander::FindCommandStatus(command, outEnabled, outUsesMark, outMark, outName);
}

bool LDataBrowser::ObeyCommand(CommandT command, void* ioParam)
{
    if (command == cmd_SelectAll) {
        SelectAll();
        return true;
    }
    if (command == msg_TabSelect)
        return IsEnabled();
    return LCommander::ObeyCommand(command, ioParam);
}

bool LDataBrowser::HandleKeyPress(const EventRecord& event)
{
    // Keys typed without Command, Tab excepted, belong to the list itself.
    if (EventCharCode(event) != char_Tab && !(event.modifiers & cmdKey)) {
        QTreeView* tree = mImp->GetTree();
        if (!tree->hasFocus()) {
            QKeyEvent key(QEvent::KeyPress, 0, Qt::KeyboardModifiers(QtModifiersFrom(event.modifiers)),
                QString(QChar(EventCharCode(event))));
            QCoreApplication::sendEvent(tree, &key);
        }
        return true;
    }
    return LCommander::HandleKeyPress(event);
}

// Iterator and registration.

LDataBrowserItemIterator::LDataBrowserItemIterator(const LDataBrowser& browser, DataBrowserItemState state)
    : mItems(browser.GetItems(state))
{
}

bool LDataBrowserItemIterator::Next(LDataBrowserItem*& outItem)
{
    if (mNext >= mItems.size())
        return false;
    outItem = mItems[mNext++];
    return true;
}

void RegisterDataBrowserClasses()
{
    URegistrar::RegisterClass<LDataBrowser>(kDataBrowserClassID);
}

// LDataBrowserItem defaults.

LDataBrowserItem::~LDataBrowserItem() = default;

OSStatus LDataBrowserItem::GetSetItemData(DataBrowserPropertyID, DataBrowserItemData&, bool)
{
    return errDataBrowserPropertyNotSupported;
}

void LDataBrowserItem::ItemNotification(DataBrowserItemNotification message)
{
    if (message == kDataBrowserItemRemoved)
        delete this;
}

bool LDataBrowserItem::AddDragItem(QMimeData&)
{
    return false;
}

bool LDataBrowserItem::AcceptDrag(const QMimeData&)
{
    return false;
}

bool LDataBrowserItem::ReceiveDrag(const QMimeData&)
{
    return false;
}

void LDataBrowserItem::GetPartBounds(DataBrowserPropertyID property, QRect& outRect, bool& outFound)
{
    outFound = false;
    if (!mBrowser)
        return;
    LDataBrowserModel& model = mBrowser->GetImp().GetModel();
    const QModelIndex index = model.IndexOf(this, std::max(0, model.ColumnOfProperty(property)));
    if (!index.isValid())
        return;
    const QRect rect = mBrowser->GetControlRef()->visualRect(index);
    if (rect.isEmpty())
        return;
    outRect = rect;
    outFound = true;
}

void LDataBrowserItem::Update(DataBrowserPropertyID property)
{
    if (mBrowser)
        mBrowser->UpdateItem(this, mContainer, property);
}

void LDataBrowserItem::DrawItem(DataBrowserPropertyID, DataBrowserItemState, const QRect&, QPainter&) {}

bool LDataBrowserItem::HitTest(DataBrowserPropertyID, const QRect&, const QRect&)
{
    return false;
}

SInt16 LDataBrowserItem::TrackItem(DataBrowserPropertyID, const QRect&, QPoint, UInt16)
{
    return 0;
}

void LDataBrowserItem::GetDragRegion(DataBrowserPropertyID, const QRect&, QRegion&) {}

ControlKeyFilterResult LDataBrowserItem::EditKeyFilter(DataBrowserPropertyID, UInt16, UInt16, UInt16)
{
    return kControlKeyFilterPassKey;
}

bool LDataBrowserItem::AcceptItemDrag(DataBrowserPropertyID, const QRect&, const QMimeData&)
{
    return false;
}

bool LDataBrowserItem::ReceiveItemDrag(DataBrowserPropertyID, const QMimeData&)
{
    return false;
}
