#include "CIndexListView.h"

#include "CDataBrowser.h"

#include "CIndexItem.h"
#include "CIndexModel.h"
#include "CIndexView.h"
#include "ErrorCodes.h"
#include "ExceptionCode.h"
#include "FieldKeys.h"
#include "HelpBook.h"
#include "LMenuBar.h"
#include "LocalizedStrings.h"
#include "PrefKeys.h"
#include "Preferences.h"
#include "ThemeText.h"
#include "UEvents.h"
#include "UReportErrors.h"
#include "URegistrar.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QLocale>
#include <QMenu>
#include <QStyledItemDelegate>
#include <QTreeView>

#include <algorithm>
#include <limits>

namespace {

const QString kListViewColumnsKey = QStringLiteral("ListViewColumns");
const QString kColumnsEntry = QStringLiteral("COLUMNS");
const QString kWidthsEntry = QStringLiteral("WIDTHS");
const QString kSortColumnEntry = QStringLiteral("SORTCOLUMN");
const QString kSortOrderEntry = QStringLiteral("SORTORDER");

// Property flags of a list column: editable, movable, sortable, selection column;
// the name column is also the one typing selects by.
constexpr UInt32 kListColumnFlags = 0x70001;
constexpr UInt32 kTypeSelectColumn = 0x80000;
// A new column is this much wider than its table width (room for the header's
// sort arrow).
constexpr UInt16 kColumnWidthExtra = 12;
constexpr int kIconSide = 16;

// The sort commands' range is the index view's (CIndexView.h).
constexpr CommandT kFirstFieldCommand = 4001;
constexpr CommandT kLastFieldCommand = 6999;

Qt::Alignment AlignmentOf(SInt16 justification)
{
    return justification == kColumnJustifyCenter ? Qt::AlignHCenter
        : justification == kColumnJustifyRight ? Qt::AlignRight
                                                   : Qt::AlignLeft;
}

QString CellText(const QVariant& value)
{
    if (value.typeId() == QMetaType::QDateTime)
        return QLocale().toString(value.toDateTime(), QLocale::ShortFormat);
    return value.toString();
}

// The rows a new column is measured against: its first screenfuls, however many
// items the index holds.
constexpr int kMeasuredRows = 200;
// Room beside a cell's text (the style's margins), and beside a title (its sort arrow).
constexpr int kCellTextMargins = 12;
constexpr int kTitleArrowRoom = 20;

} // namespace

IndexListColumnSpec IndexListColumnFor(SInt32 key)
{
    auto in = [key](std::initializer_list<SInt32> keys) { return std::find(keys.begin(), keys.end(), key) != keys.end(); };
    IndexListColumnSpec spec;
    auto set = [&spec](FourCharCode type, UInt16 minWidth, UInt16 maxWidth, UInt16 width) {
        spec.type = type;
        spec.minWidth = minWidth;
        spec.maxWidth = maxWidth;
        spec.width = width;
    };
    if (key == kFieldName)
        set(kDataBrowserIconAndTextType, 100, 1000, 177);
    else if (in({ 4002, 4015, 4016, 4203, 4222, 6013 }))
        set(kDataBrowserDateType, 104, 200, 104);
    else if (in({ 4003, 5010 }))
        set(kDataBrowserTextType, 79, 100, 79);
    else if (in({ 4004, 4014 }))
        set(kDataBrowserTextType, 62, 300, 62);
    else if (in({ 4005, 4007, 4008, 4020, 4021, 4022, 4024, 5011, 5012 }))
        set(kDataBrowserTextType, 60, 200, 60);
    else if (in({ 4006, 4017, 4223, 5004, 6001 }))
        set(kDataBrowserTextType, 100, 800, 200);
    else if (key == 4009)
        set(kDataBrowserIconAndTextType, 32, 400, 64);
    else if (in({ 4010, 4011, 5008, 5009 }))
        set(kDataBrowserTextType, 40, 400, 100);
    else if (in({ 4019, 4023 }))
        set(kDataBrowserPopupMenuType, 40, 200, 40);
    else if (key == kOpenInViewerProperty)
        set(kDataBrowserIconType, 10, 32, 32);
    else if (key == 4026)
        set(kDataBrowserTextType, 40, 70, 40);
    else if (in({ 4201, 4202, 4208, 4218 }))
        set(kDataBrowserTextType, 100, 150, 100);
    else if (in({ 4204, 4205, 4209, 4214, 4226 }))
        set(kDataBrowserTextType, 82, 100, 82);
    else if (in({ 4206, 4224, 4225 }))
        set(kDataBrowserTextType, 53, 100, 80);
    else if (in({ 4207, 4211 }))
        set(kDataBrowserTextType, 80, 200, 110);
    else if (in({ 4210, 4213, 4216, 4217 }))
        set(kDataBrowserTextType, 100, 400, 134);
    else if (in({ 4212, 4215 }))
        set(kDataBrowserTextType, 38, 200, 38);
    else if (key == 4227)
        set(kDataBrowserTextType, 90, 300, 120);
    else if (in({ 5001, 5002, 5003, 5005, 5007, 6019 }))
        set(kDataBrowserTextType, 65, 100, 65);
    else if (key == 6020)
        set(kDataBrowserTextType, 90, 90, 90);
    if (in({ 4003, 4026, 4204, 4205, 4206, 4208, 4209, 4214, 4215, 4224, 4225, 4226, 5001, 5002, 5003, 5005, 5007,
            6019 }))
        spec.justification = kColumnJustifyRight;
    else if (in({ 4005, 4008, 4020, 4021, 4022, 4024, 4025, 4212 }))
        spec.justification = kColumnJustifyCenter;
    return spec;
}

const std::vector<SInt32>& DefaultIndexListColumns()
{
    static const std::vector<SInt32> kDefaults { 4001, 5001, 5002, 4004, 4003, 4015, 6001, 6016, 6017, 4212, 4204,
        4205, 4017 };
    return kDefaults;
}

// Draws each cell from what its item holds (a part that needs the file is read
// after the drawing, never during it), and edits a field in place through the view.
class IndexListDelegate : public QStyledItemDelegate {
public:
    explicit IndexListDelegate(CIndexListView& list)
        : QStyledItemDelegate(list.GetControlRef())
        , mList(list)
    {
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        CIndexModel* model = mList.GetModel();
        CIndexItem* item = model ? model->ItemTable().ItemAt(index) : nullptr;
        const auto& columns = mList.GetImp().Columns();
        if (!item || index.column() >= int(columns.size()))
            return;
        const DataBrowserColumn& column = columns[size_t(index.column())];
        DataBrowserItemData data;
        {
            const StDrawingItems drawing;
            if (item->GetSetCellData(column.propertyID, data, false, mList.GetControlRef()->columnWidth(index.column()))
                != noErr)
                data = {};
        }
        QStyleOptionViewItem cell = option;
        cell.index = index;
        cell.features |= QStyleOptionViewItem::HasDisplay;
        cell.text = column.propertyType == kDataBrowserIconType ? QString() : CellText(data.value);
        cell.displayAlignment = AlignmentOf(SInt16(column.justification)) | Qt::AlignVCenter;
        cell.textElideMode = column.propertyID == UInt32(kFieldName) ? Qt::ElideMiddle : Qt::ElideRight;
        if (!data.icon.isNull()) {
            cell.features |= QStyleOptionViewItem::HasDecoration;
            cell.icon = data.icon;
            cell.decorationSize = QSize(kIconSide, kIconSide);
            if (column.propertyType == kDataBrowserIconType)
                cell.decorationAlignment = Qt::AlignCenter;
        }
        const QWidget* widget = option.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);
    }

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const override
    {
        return QSize(mList.GetControlRef()->columnWidth(index.column()), mList.GetRowHeight());
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const override
    {
        if (CIndexView* view = mList.GetIndexView())
            view->SetBusy(true);
        auto* field = new QLineEdit(parent);
        field->setFrame(false);
        return field;
    }

    void destroyEditor(QWidget* editor, const QModelIndex& index) const override
    {
        QStyledItemDelegate::destroyEditor(editor, index);
        if (CIndexView* view = mList.GetIndexView())
            view->SetBusy(false);
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override
    {
        CIndexItem* item = mList.GetModel() ? mList.GetModel()->ItemTable().ItemAt(index) : nullptr;
        if (item)
            static_cast<QLineEdit*>(editor)->setText(item->CopyFieldString(KeyAt(index), kFieldTextFullName));
    }

    void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override
    {
        CIndexItem* item = mList.GetModel() ? mList.GetModel()->ItemTable().ItemAt(index) : nullptr;
        if (item && mList.GetIndexView())
            mList.GetIndexView()->ApplyFieldEdit(item, KeyAt(index), static_cast<QLineEdit*>(editor)->text());
    }

private:
    SInt32 KeyAt(const QModelIndex& index) const
    {
        const auto& columns = mList.GetImp().Columns();
        return index.column() < int(columns.size()) ? SInt32(columns[size_t(index.column())].propertyID) : 0;
    }

    CIndexListView& mList;
};

CIndexListView::CIndexListView(const LLayoutData& data)
    : LDataBrowser(data)
{
    Init();
}

CIndexListView::CIndexListView(const SPaneInfo& info, const LDataBrowserImp::Settings& settings)
    : LDataBrowser(info, settings)
{
    Init();
}

CIndexListView::~CIndexListView()
{
    for (const auto& connection : mModelConnections)
        QObject::disconnect(connection);
    if (LMenuBar* bar = LMenuBar::GetCurrentMenuBar(); bar && bar->FetchMenu(kMenuSortBy))
        bar->FetchMenu(kMenuSortBy)->RemoveItemsOf(this);
    RemoveAllItems();
}

void CIndexListView::Init()
{
    QTreeView* tree = GetControlRef();
    mDelegate = new IndexListDelegate(*this);
    tree->installEventFilter(this);
    tree->viewport()->installEventFilter(this);
    QHeaderView* header = tree->header();
    QObject::connect(header, &QHeaderView::sectionClicked, tree, [this](int column) {
        CatchCode([&] { HeaderClicked(column); });
    });
    QObject::connect(header, &QHeaderView::sectionResized, tree, [this](int column, int, int width) {
        auto& columns = GetImp().Columns();
        if (mApplyingColumns || column < 0 || column >= int(columns.size()) || !IsShowingOutsideModel())
            return;
        DataBrowserColumn& shown = columns[size_t(column)];
        const int kept = std::clamp<int>(width, shown.minimumWidth, std::max(shown.minimumWidth, shown.maximumWidth));
        shown.initialWidth = UInt16(kept);
        if (kept != width)
            GetControlRef()->header()->resizeSection(column, kept);
    });
    QObject::connect(tree, &QTreeView::doubleClicked, tree, [this](const QModelIndex& index) {
        CatchCode([&] { OpenRow(index); });
    });
}

void CIndexListView::FinishCreateSelf()
{
    SetHiliteStyle(kDataBrowserTableViewFillHilite);
    LDataBrowser::FinishCreateSelf();
    QTreeView* tree = GetControlRef();
    tree->setAlternatingRowColors(true);
    tree->setRootIsDecorated(false);
    tree->setHeaderHidden(false);
    tree->setUniformRowHeights(true);
    tree->setSortingEnabled(false); // a header click sorts the index itself
    tree->header()->setSectionsClickable(true);
    tree->header()->setSortIndicatorShown(true);
    tree->header()->setStretchLastSection(false);
    tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tree->setFont(ThemeFont(GetPrefBoolean(QStringLiteral("ListViewSmallSize")) ? kThemeSmallSystemFont : kThemeViewsFont));
    mRowHeight = UInt16(std::clamp<int>(tree->fontMetrics().height() + 4, kListMinRowHeight, kListMaxRowHeight));

    // The stored columns, else the default ones.
    const OSStatus status = CatchCode([&] {
        const QVariantMap stored = CopyPrefValue(kListViewColumnsKey).toMap();
        if (!stored.contains(kColumnsEntry))
            ThrowOSErr_(err_NilPointer, "no stored list columns");
        SetUserState(stored);
        if (CountColumns() == 0)
            ThrowOSErr_(err_AssertFailed, "an empty stored column list");
    });
    if (status != noErr) {
        mApplyingColumns = true;
        RemoveAllColumns();
        for (SInt32 key : DefaultIndexListColumns())
            AddFieldColumn(key);
        mApplyingColumns = false;
        ApplyColumns();
    }
}

// --- Columns ----------------------------------------------------------------------

OSStatus CIndexListView::AddFieldColumn(SInt32 fieldKey)
{
    QString name;
    CatchCode([&] { name = CopyFieldName(fieldKey); });
    if (name.isEmpty())
        ThrowOSErr_(err_NilPointer, "field " + std::to_string(fieldKey) + " has no name");
    if (HasFieldColumn(fieldKey))
        return noErr;
    const IndexListColumnSpec spec = IndexListColumnFor(fieldKey);
    DataBrowserColumn column;
    column.propertyID = DataBrowserPropertyID(fieldKey);
    column.propertyType = spec.type;
    column.propertyFlags = kListColumnFlags | (fieldKey == kFieldName ? kTypeSelectColumn : 0);
    column.minimumWidth = spec.minWidth;
    column.maximumWidth = spec.maxWidth;
    column.title = fieldKey == kOpenInViewerProperty ? QLatin1String("") : name;
    // Wide enough for its title and what its rows show, within its bounds.
    const int wanted = std::max(int(spec.width + kColumnWidthExtra), ContentWidth(fieldKey, column.title, spec.type));
    column.initialWidth = UInt16(std::clamp(wanted, int(spec.minWidth), std::max(int(spec.minWidth), int(spec.maxWidth))));
    column.justification = UInt16(fieldKey == kFieldName ? kColumnJustifyLeft : spec.justification);
    InsertColumnDescription(column);
    AddMenuItem(fieldKey);
    ApplyColumns();
    AdjustScrollbars();
    return noErr;
}

bool CIndexListView::HasFieldColumn(SInt32 fieldKey) const
{
    const auto& columns = const_cast<CIndexListView*>(this)->GetImp().Columns();
    return std::any_of(columns.begin(), columns.end(), [&](const DataBrowserColumn& c) { return c.propertyID == UInt32(fieldKey); });
}

std::vector<SInt32> CIndexListView::GetFieldColumns() const
{
    std::vector<SInt32> keys;
    for (const DataBrowserColumn& column : const_cast<CIndexListView*>(this)->GetImp().Columns())
        keys.push_back(SInt32(column.propertyID));
    return keys;
}

void CIndexListView::RemoveColumn(DataBrowserPropertyID property)
{
    if (CountColumns() <= 1)
        ThrowOSErr_(kMsgListView, "a list keeps at least one column");
    LDataBrowser::RemoveColumn(property);
    RemoveMenuItem(SInt32(property));
    ApplyColumns();
    AdjustScrollbars();
}

void CIndexListView::RemoveAllColumns()
{
    for (SInt32 key : GetFieldColumns())
        CatchCode([&] { RemoveMenuItem(key); });
    LDataBrowser::RemoveAllColumns();
    ApplyColumns();
}

int CIndexListView::ContentWidth(SInt32 fieldKey, const QString& title, FourCharCode type)
{
    QTreeView* tree = GetControlRef();
    if (type == kDataBrowserIconType)
        return 0;
    int widest = title.isEmpty() ? 0 : tree->header()->fontMetrics().horizontalAdvance(title) + kTitleArrowRoom;
    QStringList texts;
    if (type == kDataBrowserDateType) // a long date of this locale, whatever the rows hold
        texts << CellText(QDateTime(QDate(2026, 12, 28), QTime(23, 59, 59)));
    if (mModel) {
        const auto& items = mModel->GetItemList().Items();
        const int rows = std::min<int>(kMeasuredRows, int(items.size()));
        const StDrawingItems drawing;
        for (int row = 0; row < rows; ++row) {
            DataBrowserItemData data;
            if (items[size_t(row)]->GetSetCellData(DataBrowserPropertyID(fieldKey), data, false, std::numeric_limits<int>::max()) == noErr)
                texts << CellText(data.value);
        }
    }
    const QFontMetrics metrics = tree->fontMetrics();
    for (const QString& text : texts)
        widest = std::max(widest, metrics.horizontalAdvance(text) + kCellTextMargins + (fieldKey == kFieldName || fieldKey == kFieldError ? kIconSide : 0));
    return widest;
}

void CIndexListView::AddMenuItem(SInt32 fieldKey)
{
    LMenuBar* bar = LMenuBar::GetCurrentMenuBar();
    if (!bar)
        return; // no menus (a window made without the application)
    LMenu* menu = bar->FetchMenu(kMenuSortBy);
    ThrowIfNil_(menu);
    const CommandT command = CommandT(fieldKey) + kSortCommandOffset;
    if (menu->IndexFromCommand(command, this) != 0)
        return;
    const QString prefix = CopyLocalizedString(QStringLiteral("602:2"));
    if (prefix == QLatin1String("602:2"))
        ThrowOSErr_(err_NilPointer, "no text for the sort items");
    // The menu bar is every window's: the item is this list's, shown in its window
    // only, in column order before the menu's own items.
    SMenuItem item;
    item.text = prefix + CopyFieldName(fieldKey);
    item.command = command;
    item.owner = this;
    SInt16 after = 0;
    for (SInt16 i = 1, earlier = SInt16(CountColumns() - 1); i <= menu->CountItems() && earlier > 0; ++i) {
        if (menu->Item(i)->owner == this) {
            after = i;
            --earlier;
        }
    }
    menu->InsertItem(item, after);
}

void CIndexListView::RemoveMenuItem(SInt32 fieldKey)
{
    LMenuBar* bar = LMenuBar::GetCurrentMenuBar();
    if (!bar)
        return;
    LMenu* menu = bar->FetchMenu(kMenuSortBy);
    ThrowIfNil_(menu);
    menu->RemoveItem(menu->IndexFromCommand(CommandT(fieldKey) + kSortCommandOffset, this));
}

void CIndexListView::ApplyColumns()
{
    if (!mModel || mApplyingColumns)
        return;
    std::vector<SInt32> keys;
    std::vector<QString> titles;
    std::vector<Qt::Alignment> alignments;
    const auto& columns = GetImp().Columns();
    for (const DataBrowserColumn& column : columns) {
        keys.push_back(SInt32(column.propertyID));
        titles.push_back(column.title);
        alignments.push_back(AlignmentOf(SInt16(column.justification)));
    }
    mApplyingColumns = true;
    // The table is reset only when its columns change (a reset shows the selection anew).
    if (mModel->ItemTable().GetColumns() != keys || mShownTitles != titles) {
        mShownTitles = titles;
        mModel->SetTableColumns(keys, titles, alignments);
    }
    if (IsShowingOutsideModel()) {
        QHeaderView* header = GetControlRef()->header();
        for (size_t i = 0; i < columns.size(); ++i)
            header->resizeSection(int(i), columns[i].initialWidth);
    }
    mApplyingColumns = false;
    ShowSortIndicator();
}

QVariantMap CIndexListView::GetUserState() const
{
    QVariantList keys;
    QVariantList widths;
    for (const DataBrowserColumn& column : const_cast<CIndexListView*>(this)->GetImp().Columns()) {
        keys.push_back(qint64(column.propertyID));
        widths.push_back(qint64(column.initialWidth));
    }
    QVariantMap state;
    state.insert(kColumnsEntry, keys);
    state.insert(kWidthsEntry, widths);
    if (mModel) {
        state.insert(kSortColumnEntry, qint64(mModel->GetSortKey()));
        state.insert(kSortOrderEntry,
            qint64(mModel->GetSortOrder() == 1 ? kDataBrowserOrderDecreasing : kDataBrowserOrderIncreasing));
    }
    return state;
}

void CIndexListView::SetUserState(const QVariantMap& state)
{
    const QVariant listed = state.value(kColumnsEntry);
    if (listed.typeId() != QMetaType::QVariantList)
        ThrowOSErr_(err_AssertFailed, "\"COLUMNS\" is not an array");
    std::vector<SInt32> keys;
    for (const QVariant& entry : listed.toList()) {
        bool number = false;
        const qint64 key = entry.toLongLong(&number);
        if (!number || entry.typeId() == QMetaType::QString || key < kFirstFieldCommand || key > kLastFieldCommand)
            ThrowOSErr_(err_AssertFailed, "a stored list column is not a field key");
        keys.push_back(SInt32(key));
    }
    mApplyingColumns = true;
    const OSStatus status = CatchCode([&] {
        RemoveAllColumns();
        for (SInt32 key : keys)
            AddFieldColumn(key);
        // The sort is the index's own (kept with its settings): only the widths apply.
        const QVariantList widths = state.value(kWidthsEntry).toList();
        auto& columns = GetImp().Columns();
        for (size_t i = 0; i < columns.size() && i < size_t(widths.size()); ++i) {
            const int width = widths[qsizetype(i)].toInt();
            columns[i].initialWidth = UInt16(std::clamp<int>(width, columns[i].minimumWidth,
                std::max(columns[i].minimumWidth, columns[i].maximumWidth)));
        }
    });
    mApplyingColumns = false;
    ApplyColumns();
    ThrowIfOSErr_(status);
}

void CIndexListView::ShowColumnState(const QVariantMap& state)
{
    if (!state.contains(kColumnsEntry))
        return;
    CatchCode([&] { SetUserState(state); });
}

// --- Rows -------------------------------------------------------------------------

void CIndexListView::SetIndexView(LPane* indexView)
{
    for (const auto& connection : mModelConnections)
        QObject::disconnect(connection);
    mModelConnections.clear();
    RemoveAllItems();
    mView = CIndexView::ViewOfPane(indexView);
    mModel = mView ? &mView->GetModel() : nullptr;
    if (!mModel)
        return;
    QTreeView* tree = GetControlRef();
    auto sortShown = [this] { ShowSortIndicator(); };
    mModelConnections.push_back(QObject::connect(mModel, &CIndexModel::itemsMoved, tree, sortShown));
    mModelConnections.push_back(QObject::connect(mModel, &CIndexModel::listChanged, tree, sortShown));
    mModelConnections.push_back(QObject::connect(&mModel->SelectionModel(), &QItemSelectionModel::selectionChanged,
        tree, [] { LCommander::SetUpdateCommandStatus(true); }));
    ApplyColumns();
}

void CIndexListView::ReloadItems(bool force)
{
    if (!mModel || (!force && !isVisible()))
        return;
    QTreeView* tree = GetControlRef();
    if (!IsShowingOutsideModel()) {
        ShowModel(&mModel->ItemTable(), &mModel->SelectionModel());
        tree->setItemDelegate(mDelegate);
        tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
        ApplyColumns();
    }
    tree->scrollToTop();
    RevealSelection();
    AdjustScrollbars();
}

void CIndexListView::RemoveAllItems()
{
    // The list lets go of the index's table: nothing of it is drawn or followed while hidden.
    if (IsShowingOutsideModel())
        ShowModel(nullptr, nullptr);
    LDataBrowser::RemoveAllItems();
}

void CIndexListView::RevealSelection()
{
    if (!mModel || !IsShowingOutsideModel())
        return;
    const SInt32 first = mModel->GetFirstSelectedIndex();
    if (first > 0)
        GetControlRef()->scrollTo(mModel->ItemTable().index(first - 1, 0), QAbstractItemView::PositionAtCenter);
}

void CIndexListView::AdjustScrollbars()
{
    // Qt shows each bar only while the rows or the columns do not fit.
    GetControlRef()->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    GetControlRef()->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

void CIndexListView::SetRowHeight(UInt16 height, bool refresh)
{
    mRowHeight = std::clamp(height, kListMinRowHeight, kListMaxRowHeight);
    GetControlRef()->doItemsLayout();
    if (refresh)
        GetControlRef()->viewport()->update();
}

void CIndexListView::ShowSortIndicator()
{
    if (!mModel)
        return;
    const std::vector<SInt32> keys = GetFieldColumns();
    const auto found = std::find(keys.begin(), keys.end(), mModel->GetSortKey());
    QHeaderView* header = GetControlRef()->header();
    if (found == keys.end() || mModel->GetSortOrder() == 2) {
        header->setSortIndicator(-1, Qt::AscendingOrder);
        return;
    }
    header->setSortIndicator(int(found - keys.begin()),
        mModel->GetSortOrder() == 1 ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void CIndexListView::HeaderClicked(int column)
{
    const std::vector<SInt32> keys = GetFieldColumns();
    if (!mView || column < 0 || column >= int(keys.size()))
        return;
    const SInt32 key = keys[size_t(column)];
    bool descending = key == kOpenInViewerProperty; // the one column that starts decreasing
    if (mModel->GetSortKey() == key && mModel->GetSortOrder() != 2)
        descending = mModel->GetSortOrder() != 1;
    mView->SetSortKey(key, descending);
    ShowSortIndicator();
}

void CIndexListView::OpenRow(const QModelIndex& index)
{
    CIndexItem* item = mModel ? mModel->ItemTable().ItemAt(index) : nullptr;
    if (item)
        item->OpenInViewer(index.row() + 1, mModel, Pref::DoubleClickAction.Get() == 1);
}

// --- Commands and keys ----------------------------------------------------------------

void CIndexListView::FindCommandStatus(
    CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark, Str255& outName)
{
    if (command >= kFirstSortCommand && command <= kLastSortCommand) {
        outEnabled = true;
        outUsesMark = true;
        outMark = mModel && mModel->GetSortKey() == SInt32(command - kSortCommandOffset) ? checkMark : noMark;
    } else if (command >= kFirstFieldCommand && command <= kLastFieldCommand) {
        outEnabled = true;
        outUsesMark = true;
        outMark = HasFieldColumn(SInt32(command)) ? checkMark : noMark;
    } else if (command == 1006) {
        outEnabled = false;
    } else if (command == 1040) {
        outEnabled = true;
    } else if (command == cmd_SelectAll || !mView) {
        LDataBrowser::FindCommandStatus(command, outEnabled, outUsesMark, outMark, outName);
    } else {
        mView->FindCommandStatus(command, outEnabled, outUsesMark, outMark, outName);
    }
}

bool CIndexListView::ObeyCommand(CommandT command, void* ioParam)
{
    if (command >= kFirstSortCommand && command <= kLastSortCommand) {
        if (mView)
            mView->SetSortKey(SInt32(command - kSortCommandOffset), mModel->GetSortOrder() == 1);
        ShowSortIndicator();
        return true;
    }
    if (command >= kFirstFieldCommand && command <= kLastFieldCommand) {
        if (HasFieldColumn(SInt32(command)))
            RemoveColumn(DataBrowserPropertyID(command));
        else
            AddFieldColumn(SInt32(command));
        GetControlRef()->viewport()->update();
        return true;
    }
    if (command == cmd_SelectAll && mView) {
        // Through the index: its items' highlight and the table's selection change once.
        mView->SelectAll();
        return true;
    }
    if (!mView)
        return LDataBrowser::ObeyCommand(command, ioParam);
    return mView->ObeyCommand(command, ioParam);
}

bool CIndexListView::HandleKeyPress(const EventRecord& event)
{
    if (mView && !mView->IsBusy()) {
        const UInt16 key = EventCharCode(event);
        if (key == char_Return || key == char_Enter || key == UInt16(' '))
            return mView->HandleKeyPress(event);
        if (key == char_Escape) {
            // As in the grid: full screen ends (under the lock, with the password),
            // else the selection and a search's filter.
            if (mView->IsFullScreen()) {
                mView->LeaveFullScreen();
                return true;
            }
            mView->DeselectAll();
            if (mView->IsFiltered())
                mView->ShowAllItems(true);
            return true;
        }
    }
    return LDataBrowser::HandleKeyPress(event);
}

void CIndexListView::SelectForContextClick(QPoint viewportPoint)
{
    // The menu is about the selection the click is in, else about the clicked row
    // alone; below the rows, about nothing.
    QItemSelectionModel& selection = mModel->SelectionModel();
    const QModelIndex row = GetControlRef()->indexAt(viewportPoint);
    if (!row.isValid())
        mView->DeselectAll();
    else if (!selection.isRowSelected(row.row(), row.parent()))
        selection.setCurrentIndex(row, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void CIndexListView::AddOwnItems(QMenu* menu)
{
    if (mView)
        mView->AddOwnItems(menu);
}

UInt32 CIndexListView::GetHelpType()
{
    return mView ? mView->GetHelpType() : 0;
}

void CIndexListView::GetHelpString(QString& outText)
{
    outText = CopyLocalizedString(QStringLiteral("600:101"));
}

void CIndexListView::HelpChosen()
{
    ThrowIfOSErr_(GotoHelpPage(QStringLiteral("pgs/wr3.html"), QStringLiteral("ListView")));
}

bool CIndexListView::eventFilter(QObject* watched, QEvent* event)
{
    // A right click (or Control and click) on the rows shows the contextual menu at
    // the press; the keyboard's request comes as a contextual-menu event.
    QTreeView* tree = GetControlRef();
    if (watched == tree->viewport() && event->type() == QEvent::MouseButtonPress && mView && !mView->IsBusy()) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::RightButton
            || (mouse->button() == Qt::LeftButton && (mouse->modifiers() & Qt::MetaModifier))) {
            const QPoint point = mouse->position().toPoint();
            LCommander::SwitchTarget(this);
            RunReportingErrors([&] {
                SelectForContextClick(point);
                ShowContextMenuAt(tree->viewport()->mapToGlobal(point));
            });
            return true;
        }
    }
    // Keys typed into the list itself: the ones the index view answers go to it.
    if (watched == GetControlRef() && event->type() == QEvent::KeyPress && mView && !mView->IsBusy()) {
        auto* key = static_cast<QKeyEvent*>(event);
        const int pressed = key->key();
        if (pressed == Qt::Key_Return || pressed == Qt::Key_Enter || pressed == Qt::Key_Space
            || pressed == Qt::Key_Escape) {
            CatchCode([&] { HandleKeyPress(EventRecordFromKeyEvent(*key)); });
            return true;
        }
    }
    return LDataBrowser::eventFilter(watched, event);
}

void CIndexListView::contextMenuEvent(QContextMenuEvent* event)
{
    QTreeView* tree = GetControlRef();
    if (!mView || !tree || mView->IsBusy()) {
        event->ignore();
        return;
    }
    event->accept();
    if (event->reason() != QContextMenuEvent::Keyboard)
        return; // a mouse's menu showed at the press
    LCommander::SwitchTarget(this);
    RunReportingErrors([&] { ShowContextMenuAt(tree->viewport()->mapToGlobal(KeyboardMenuPoint(*tree))); });
}

void RegisterIndexListViewClass()
{
    URegistrar::RegisterClass<CIndexListView>(CIndexListView::class_ID);
}
