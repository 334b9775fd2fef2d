#include "CIndexView.h"

#include "IndexViewAccessible.h"
#include "PrefKeys.h"

#include "CInPlaceEditField.h"

#include "Alerts.h"
#include "CANPAInfo.h"
#include "CCacheTask.h"
#include "CIndexItem.h"
#include "CUpdateTask.h"
#include "IndexGridGeometry.h"
#include "CVisualTask.h"
#include "DisplayUtilities.h"
#include "ErrorCodes.h"
#include "ExceptionCode.h"
#include "FileRoutines.h"
#include "FieldKeys.h"
#include "FileTypes.h"
#include "IIMText.h"
#include "LWindow.h"
#include "LocalizedStrings.h"
#include "Offscreen.h"
#include "Picture.h"
#include "Preferences.h"
#include "CImportFolderTask.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QResizeEvent>
#include <QVariantAnimation>

#include <algorithm>

namespace {

constexpr SInt32 kVisibleInset = 10; // the visible range is measured this far inside the frame
constexpr int kFrameMilliseconds = 16; // the model's changes are shown at most this often


// Every index view there is: how a window's pane is known for the index view it is.
std::vector<CIndexView*>& Views()
{
    static std::vector<CIndexView*> views;
    return views;
}

} // namespace

// --- Construction -------------------------------------------------------------------------------------

CIndexView* CIndexView::ViewOfPane(const QObject* pane)
{
    if (!pane)
        return nullptr;
    for (CIndexView* view : Views()) {
        if (view == pane)
            return view;
    }
    return nullptr;
}

CIndexView::CIndexView(const LLayoutData& data)
    : LView(data)
    , CDASAndDrop(this)
{
    // A window's layout makes the view inside the document that owns the model.
    CIndexModel* model = FindOwnedIndexModel(GetSuperCommander());
    if (!model)
        ThrowOSErr_(err_NilPointer, "an index view is made in the window of what owns its model");
    InitIndexView(*model);
}

CIndexView::CIndexView(const SPaneInfo& info, CIndexModel& model)
    : LView(info)
    , CDASAndDrop(this)
{
    InitIndexView(model);
}

void CIndexView::InitIndexView(CIndexModel& model)
{
    Views().push_back(this);
    setFocusPolicy(Qt::StrongFocus); // the grid takes the keys once clicked or tabbed to
    // Fewer rows (a search, a removal) scroll the grid back within them.
    SetReconcileOverhang(true);
    InstallIndexViewAccessibility();
    mModel = &model;
    ConnectModel();
    if (Pref::ShowFileExtension.Get())
        SetFlags(kViewShowFileExtension);
    if (Pref::IndexStoreMediaFile.Get())
        SetFlags(kViewStoreMediaFile);
    if (Pref::IndexRemoveMediaFile.Get())
        SetFlags(kViewRemoveMediaFile);
    GetPatternMenu(); // the views' shared menu of themes, filled by the first view
    mTheme = GetSavedTheme();
    StartUpdateTask();
    RegisterDragSource();
}

CIndexView::~CIndexView()
{
    std::erase(Views(), this);
    if (mRenameField) { // an edit still open is dropped with the view
        mRenameField->RemoveListener(this);
        delete mRenameField;
        mRenameField = nullptr;
    }
    ReleaseModel();
}

void CIndexView::StartUpdateTask()
{
    mUpdateTask = new CUpdateTask(*mModel, *this);
    mUpdateTask->Start();
}

void CIndexView::StopAllTasks()
{
    // The other tasks of the model first (they may hold items), then the view's two,
    // whose stacks are unwound, so nothing works on an item once it is deleted.
    if (mModel)
        StopTasksOfOwner(mModel);
    for (CVisualTask* task : {static_cast<CVisualTask*>(mUpdateTask), static_cast<CVisualTask*>(mCacheTask.Get())})
        if (task && CVisualTask::IsAlive(task))
            task->DeleteThread();
    mUpdateTask = nullptr;
    mCacheTask = {};
}

void CIndexView::ReleaseModel()
{
    if (!mModel)
        return;
    // Nothing of the view may hold the model's items once it goes: its tasks stop,
    // the changes it was to show are dropped, and it draws and tells its listeners
    // nothing more.
    StopAllTasks();
    DisconnectModel();
    StopBroadcasting();
    mFrameUpdate.reset();
    mChangedItems.clear();
    mListChanged = false;
    mModel = nullptr;
}

void CIndexView::DisconnectModel()
{
    for (const auto& connection : mModelConnections)
        QObject::disconnect(connection);
    mModelConnections.clear();
    if (FindTaskOwnerView(mModel) == this)
        SetTaskOwnerView(*mModel, nullptr);
}

void CIndexView::ConnectModel()
{
    // The model's tasks draw and lay out their items here.
    SetTaskOwnerView(*mModel, this);
    // Whoever ended or showed the filter (a search task, a stored setting, the
    // organizer), the window and its panes follow.
    mModelConnections.push_back(QObject::connect(mModel, &CIndexModel::filterShown, [this](bool shown) {
        if (shown) {
            BroadcastMessage(msg_FilterShown, nullptr);
            return;
        }
        if (isVisible()) {
            AdjustImageSize();
            ScrollPinnedImageTo(0, 0, false);
        }
        RestoreSavedCaption();
        SInt32 zero = 0;
        BroadcastMessage(msg_FilterEnded, &zero);
    }));
    mModelConnections.push_back(QObject::connect(mModel, &CIndexModel::modifiedChanged, [this](bool modified) {
        if (LWindow* window = GetContainingWindow())
            window->SetModified(modified);
    }));
    mModelConnections.push_back(
        QObject::connect(mModel, &CIndexModel::stateChanged, [this] { BroadcastState(); }));
    // A sort changes the order the window shows (the sort-direction button).
    mModelConnections.push_back(QObject::connect(mModel, &CIndexModel::itemsMoved, [this] { BroadcastState(); }));
    mModelConnections.push_back(QObject::connect(mModel, &CIndexModel::valueIndexRebuilt,
        [this] { BroadcastMessage(msg_ValueIndexRebuilt, nullptr); }));
    // Whoever added the item (a task, a document, the view), its values are cached,
    // unless the model entered them as it took the items.
    mModelConnections.push_back(QObject::connect(mModel, &CIndexModel::itemsAdded,
        [this](std::span<CIndexItem* const> items, bool valuesEntered) {
            if (!valuesEntered)
                QueueForCaching(items);
        }));
    // Values a rebuild could not have without reading the files.
    mModelConnections.push_back(QObject::connect(mModel, &CIndexModel::valuesPending, [this](CIndexItem* item) {
        QueueForCaching({ &item, 1 });
    }));
    // Whoever made the change (a task, a search, a batch, the keyboard, another
    // window), the grid shows it: the cells, the status bar and the menus follow
    // once a frame, however many changes came.
    const auto listChanged = [this] { ModelChanged(nullptr); };
    for (auto signal : { &CIndexModel::stateChanged, &CIndexModel::selectionChanged, &CIndexModel::listChanged,
             &CIndexModel::itemsMoved })
        mModelConnections.push_back(QObject::connect(mModel, signal, listChanged));
    for (auto signal : { &CIndexModel::itemsInserted, &CIndexModel::itemsRemoved })
        mModelConnections.push_back(QObject::connect(mModel, signal, listChanged));
    mModelConnections.push_back(QObject::connect(mModel, &CIndexModel::itemChanged,
        [this](CIndexItem* item, SInt32) { ModelChanged(item); }));
    // Whoever asks for an item to be opened or shown, the view passes it on.
    mModelConnections.push_back(QObject::connect(mModel, &CIndexModel::itemActivated,
        [this](SInt32 index, CIndexItem* item, bool windowed) { emit itemActivated(mModel, index, item, windowed); }));
    mModelConnections.push_back(
        QObject::connect(mModel, &CIndexModel::revealRequested, [this](SInt32 index) { RevealItem(index); }));
    mModelConnections.push_back(QObject::connect(&mModel->SelectionModel(), &QItemSelectionModel::selectionChanged,
        [this](const QItemSelection& selected, const QItemSelection&) { StartSlide(selected); }));
}

void CIndexView::StartSlide(const QItemSelection& selected)
{
    // A click or a key selects a few pictures; Select All slides nothing.
    constexpr int kMostSliding = 32;
    constexpr int kSlideMilliseconds = 240;
    if (!Pref::ShowSlideEffect.Get() || !isVisible())
        return;
    QSet<const CIndexItem*> items;
    for (const QModelIndex& index : selected.indexes()) {
        if (index.column() != 0)
            continue;
        CIndexItem* item = nullptr;
        if (items.size() >= kMostSliding || !GetItemAt(index.row() + 1, item) || !item)
            return;
        items.insert(item);
    }
    if (items.isEmpty())
        return;
    if (!mSlide) {
        mSlide = new QVariantAnimation(this);
        mSlide->setStartValue(1.0);
        mSlide->setEndValue(0.0);
        mSlide->setEasingCurve(QEasingCurve::OutCubic);
        QObject::connect(mSlide, &QVariantAnimation::valueChanged, this, [this] { update(); });
        QObject::connect(mSlide, &QVariantAnimation::finished, this, [this] {
            mSliding.clear();
            update();
        });
    }
    mSlide->stop();
    mSlide->setDuration(kSlideMilliseconds);
    mSliding = std::move(items);
    mSlideRight = !mSlideRight;
    mSlide->start();
}

int CIndexView::GetPictureSlide(const CIndexItem& item) const
{
    if (!mSlide || mSlide->state() != QAbstractAnimation::Running || !mSliding.contains(&item))
        return 0;
    const int half = GetThumbnailSize() / 2;
    const int offset = int(std::lround(mSlide->currentValue().toDouble() * half));
    return mSlideRight ? offset : -offset;
}

void CIndexView::ModelChanged(const CIndexItem* item)
{
    // Past a screenful of cells the whole grid is as cheap.
    constexpr qsizetype kMostCellsApart = 256;
    if (!item || mChangedItems.size() >= kMostCellsApart)
        mListChanged = true;
    else if (!mListChanged)
        mChangedItems.insert(item);
    if (!mFrameUpdate)
        mFrameUpdate = std::make_unique<CoalescedCall>([this] { ShowModelChanges(); }, kFrameMilliseconds);
    mFrameUpdate->Request();
}

void CIndexView::ShowModelChanges()
{
    const bool whole = std::exchange(mListChanged, false);
    const QSet<const CIndexItem*> items = std::exchange(mChangedItems, {});
    if (whole) {
        AdjustImageSize();
        update();
        BroadcastState();
    } else {
        for (const CIndexItem* item : items)
            RefreshItem(mModel->GetIndexOfItem(item));
    }
    LCommander::SetUpdateCommandStatus(true);
}

void CIndexView::FinishCreateSelf()
{
    RebuildValueIndex();
    // The cells take their size from the thumbnail size from the start: a new
    // index has no settings whose reading would lay them out, and a cell no
    // larger than its picture has the picture drawn over its names.
    const QSize cell = IndexGridGeometry::CellSizeFor(IsExtendedView() ? GetExtendedSize() : GetThumbnailSize(), GridMetrics());
    SetCellSize(SInt16(std::min(cell.width(), 32767)), SInt16(std::min(cell.height(), 32767)));
}

// --- Broadcasts -------------------------------------------------------------------------------------------

void CIndexView::BroadcastState(SInt32 parameter)
{
    BroadcastMessage(msg_ViewStateChanged, &parameter);
}

void CIndexView::BroadcastItemsChanged(SInt32 fieldKey)
{
    BroadcastMessage(msg_ItemsChanged, &fieldKey);
}

void CIndexView::ListenToMessage(MessageT message, void* ioParam)
{
    if (!mModel)
        return;
    switch (message) {
    case msg_RenameEnded:
        if (ioParam)
            ApplyRename(*static_cast<const QString*>(ioParam));
        break;
    case msg_PropertyDialogOK:
        if (mPropertyDialog)
            ApplyPropertyDialog();
        break;
    case msg_Cancel:
        ClosePropertyDialog();
        break;
    case msg_ChangePassword:
        ChangePassword();
        break;
    case msg_OK: // the comment window's button
        if (mCommentWindow)
            mCommentWindow->Hide();
        break;
    default:
        break;
    }
}

// --- Items ---------------------------------------------------------------------------------------------------

SInt32 CIndexView::InsertItem(CIndexItem* item, SInt32 index, bool refresh, bool quiet)
{
    ThrowIfNil_(item);
    if (IsItemListLocked())
        ThrowOSErr_(kMsgIndexViewOperation, "the item list is locked");
    // Queued for the cache task and counted by the model's itemsAdded, unless quiet.
    SInt32 at = mModel->InsertItem(item, index, quiet ? ItemInsert::Foreign : ItemInsert::Change);
    if (refresh) {
        AdjustImageSize();
        if (IsItemVisible(at))
            RefreshItem(at);
    }
    return at;
}

SInt32 CIndexView::ImportURL(const QUrl& url, SInt32 index, bool refresh)
{
    const SInt32 at = ::ImportURL(*mModel, url, index);
    if (refresh && at != 0) {
        AdjustImageSize();
        if (IsItemVisible(at))
            RefreshItem(at);
    }
    return at;
}

void CIndexView::DisposeItem(CIndexItem* item)
{
    DisposeRemovedItem(*mModel, item);
}

bool CIndexView::RemoveItem(SInt32 index, bool trashFile, bool deleteItem, bool refresh)
{
    RemoveIndexItem(*mModel, index, trashFile, deleteItem);
    if (refresh) {
        AdjustImageSize();
        update();
        BroadcastItemsChanged(kAllFieldsKey);
    }
    return true;
}

bool CIndexView::AskToRemove(SInt32 count, bool trashFiles)
{
    // The question and its explanation speak of as many items as go.
    const bool one = count == 1;
    QString message;
    QString explanation;
    if (trashFiles) {
        message = one ? CopyLocalizedString(QStringLiteral("TRASH_ONE_ASK")) : CopyLocalizedCFString(600, 87);
        explanation = one ? CopyLocalizedCFString(600, 20) : CopyLocalizedString(QStringLiteral("TRASH_MANY_HELP"));
    } else {
        message = one ? CopyLocalizedString(QStringLiteral("REMOVE_ONE_ASK"))
                      : CopyLocalizedString(QStringLiteral("REMOVE_MANY_ASK")).arg(count);
        explanation = one ? CopyLocalizedString(QStringLiteral("REMOVE_ONE_HELP")) : CopyLocalizedCFString(600, 19);
    }
    return AskYesNoAlert(message, explanation, kCautionAlert);
}

void CIndexView::RemoveSelection(bool trashFiles, bool refresh, bool confirm)
{
    if (IsItemListLocked())
        ThrowOSErr_(kMsgIndexViewOperation, "the item list is locked");
    if (GetViewState() == kViewStateWriting)
        ThrowOSErr_(kMsgImportFiles, "the index is being written");
    SInt32 first = GetFirstSelectedIndex();
    if (first == 0)
        return;
    if (confirm && Pref::ConfirmDelete.Get() && !AskToRemove(CountSelectedItems(), trashFiles))
        return;
    SetBusy(true);
    std::vector<CIndexItem*> removed;
    OSStatus status = CatchCode([&] {
        QRect cell;
        if (GetCellRect(first, cell))
            ShowPoofEffect(this, cell);
        // From the last: the indexes before a removed item stay as they were.
        const std::vector<SInt32> selected = mModel->SelectedIndexes();
        for (auto index = selected.rbegin(); index != selected.rend(); ++index) {
            CIndexItem* item = nullptr;
            if (GetItemAt(*index, item) && item) {
                RemoveItem(*index, trashFiles, false, false);
                removed.push_back(item);
            }
        }
    });
    for (CIndexItem* item : removed)
        DisposeItem(item);
    AdjustImageSize();
    if (CountItems() > 0) {
        mModel->SelectIndex(std::min(first, CountItems()));
    }
    SetBusy(false);
    if (refresh)
        Refresh();
    BroadcastState();
    BroadcastItemsChanged(kAllFieldsKey);
    ThrowIfOSErr_(status);
}

void CIndexView::RemoveAllItems()
{
    mModel->ReleaseLocks();
    const SInt32 savedState = GetViewState();
    SetViewState(kViewStateRemovingAll);
    StopTasksOfOwner(mModel);
    if (mUpdateTask)
        mUpdateTask->ClearItems();
    for (CIndexItem* item : mModel->TakeAllItems())
        DisposeItem(item);
    SetViewState(savedState);
}

// --- Sorting ------------------------------------------------------------------------------------------------

void CIndexView::SortItems()
{
    mModel->SortItems();
}

void CIndexView::SetSortKey(SInt32 key, bool descending)
{
    if (!mModel->MaySort())
        return;
    mModel->SetSortKey(key, descending);
    Refresh();
}

// --- Lock and counts ----------------------------------------------------------------------------------------

// --- Filter -----------------------------------------------------------------------------------------------------------

void CIndexView::RevealFirstSelected()
{
    QRect cell;
    const SInt32 index = GetFirstSelectedIndex();
    if (index == 0 || !isVisible() || !GetCellRect(index, cell))
        return;
    if (cell.top() < 0 || cell.bottom() >= height())
        ScrollPinnedImageBy(0, cell.top() - 10, true);
}

// --- Tasks ----------------------------------------------------------------------------------------------------------------

void CIndexView::QueueCellUpdate(SInt32 index)
{
    if (mUpdateTask && index > 0)
        mUpdateTask->QueueIndex(index);
}

CCacheTask* CIndexView::GetCacheTask() const
{
    CCacheTask* task = mCacheTask.Get();
    return task && !task->IsCompleted() && !task->IsStopping() ? task : nullptr;
}

void CIndexView::QueueForCaching(std::span<CIndexItem* const> items)
{
    if (items.empty())
        return;
    // The cache task ends when its queue is empty: the next items get a new one.
    CCacheTask* task = GetCacheTask();
    const bool start = !task;
    if (start) {
        task = new CCacheTask(*mModel);
        mCacheTask = TLivePtr<CCacheTask>(task);
    }
    task->AddItems(items);
    if (start)
        task->Start();
}

void CIndexView::RebuildThumbnails()
{
    if (CCacheTask* task = GetCacheTask())
        task->ClearItems();
    for (CIndexItem* item : GetItemList()) {
        item->SetThumbnail(nullptr);
        item->SetDisplayPicture(nullptr);
        QueueForCaching({ &item, 1 });
    }
    Refresh();
}

void CIndexView::FinishReading()
{
    AdjustImageSize();
    if (TestFlags(kViewShowCommentOnOpen))
        ShowCommentWindow();
    BroadcastState();
    // Back where the index was left when it was saved.
    if (const SInt32 first = mModel->GetSettings().firstVisibleItem; first > 0 && CountItems() > 0)
        ScrollPinnedImageTo(0, Grid().ScrollTopFor(std::min(first, CountItems())), false);
    Refresh();
}

// --- Columns and the grid -------------------------------------------------------------------------------------------------

SInt32 CIndexView::GetColumnAt(SInt32 position) const
{
    const auto& columns = GetColumns(mViewMode);
    return position >= 0 && position < SInt32(columns.size()) ? columns[size_t(position)] : 0;
}

SInt32 CIndexView::CountColumns() const
{
    return SInt32(GetColumns(mViewMode).size());
}

QSize CIndexView::GetCellSize() const
{
    return QSize(mCellWidth, mCellHeight);
}

void CIndexView::SetCellSize(SInt16 width, SInt16 height)
{
    mCellWidth = std::max<SInt16>(width, 1);
    mCellHeight = std::max<SInt16>(height, 1);
    AdjustImageSize();
}

IndexGridGeometry CIndexView::Grid() const
{
    IndexGridGeometry grid;
    grid.SetCellSize(QSize(mCellWidth, mCellHeight));
    grid.Layout(width(), CountItems());
    return grid;
}

void CIndexView::AdjustImageSize()
{
    if (!mModel)
        return;
    const IndexGridGeometry grid = Grid();
    mColumns = SInt16(std::min<SInt32>(grid.Columns(), 32767));
    mRows = grid.Rows();
    const SDimension32 image = grid.ImageSize(width());
    SetScrollUnit(SPoint32 { 0, mCellHeight }); // the wheel and the arrows of the bar move by rows
    if (GetImageSize() != image)
        ResizeImageTo(image.width, image.height, false);
}

bool CIndexView::GetCellRect(SInt32 index, QRect& outRect) const
{
    const QRect cell = Grid().CellRect(index);
    if (cell.isEmpty())
        return false;
    QPoint local;
    ImageToLocalPoint(SPoint32 { cell.left(), cell.top() }, local);
    outRect = QRect(local, cell.size());
    return true;
}

SInt32 CIndexView::IndexAtPoint(QPoint local, bool clamp) const
{
    SPoint32 image;
    LocalToImagePoint(local, image);
    return Grid().IndexAt(image, clamp);
}

SInt32 CIndexView::GetVisibleRange(SInt32& outFirst, SInt32& outLast, bool clamp) const
{
    QRect frame = rect().adjusted(kVisibleInset, kVisibleInset, -kVisibleInset, -kVisibleInset);
    outFirst = IndexAtPoint(frame.topLeft(), true);
    SInt32 lastRowStart = IndexAtPoint(QPoint(frame.left(), frame.bottom()), true);
    outLast = lastRowStart == 0 ? 0 : lastRowStart + mColumns - 1;
    if (clamp) {
        if (CountItems() == 0)
            outFirst = 0;
        outLast = std::min(outLast, CountItems());
    }
    return CountItems();
}

bool CIndexView::IsItemVisible(SInt32 index) const
{
    if (!IsShown() || index == 0)
        return false;
    SInt32 first = 0;
    SInt32 last = 0;
    GetVisibleRange(first, last, true);
    return index >= first && index <= last;
}

void CIndexView::RefreshItem(SInt32 index)
{
    if (index == 0 || !IsShown() || !mModel)
        return;
    QRect cell;
    if (GetCellRect(index, cell))
        update(cell);
}

void CIndexView::Refresh()
{
    if (!mModel)
        return;
    AdjustImageSize();
    LView::Refresh();
    BroadcastState();
}

void CIndexView::resizeEvent(QResizeEvent* event)
{
    LView::resizeEvent(event);
    if (event->oldSize().isValid() && event->oldSize() != event->size()) {
        // A resized frame gets its cells fitted again with the size the user chose
        // (a narrow window never lowers the stored size), keeping in view the first
        // item that was visible: found with the columns of the old width.
        IndexGridGeometry before;
        before.SetCellSize(QSize(mCellWidth, mCellHeight));
        before.Layout(event->oldSize().width(), CountItems());
        SPoint32 top;
        LocalToImagePoint(QPoint(kVisibleInset, kVisibleInset), top);
        const SInt32 first = CountItems() > 0 ? before.IndexAt(top, true) : 0;
        FitCellsToFrame(IsExtendedView() ? GetExtendedSize() : GetThumbnailSize(), first);
    } else {
        AdjustImageSize();
    }
    SInt32 zero = 0;
    BroadcastMessage(msg_ViewFrameChanged, &zero);
}

bool CIndexView::IsWindowActive() const
{
    return isActiveWindow();
}

QString CIndexView::GetWindowTitle() const
{
    LWindow* window = GetContainingWindow();
    return window ? window->GetCFDescriptor() : QString();
}
