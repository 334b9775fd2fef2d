// The index view as a drag source and a drop area: items moved and copied within
// and between index windows, files, folders and addresses dropped in.
#include "CIndexView.h"

#include "CIndexItem.h"
#include "CInternetTask.h"
#include "CItemError.h"
#include "ErrorCodes.h"
#include "ExceptionCode.h"
#include "IndexDropData.h"
#include "LDialogBox.h"
#include "LStdControls.h"
#include "LocalizedStrings.h"
#include "Preferences.h"
#include "RemoteNames.h"
#include "TaskServices.h"
#include "WindowUtilities.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHash>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QStandardPaths>
#include <QStorageInfo>

#include <algorithm>
#include <iterator>

#include <unistd.h>

namespace {

// The drag source numbers of the open index views.
QHash<SInt32, QPointer<CIndexView>>& DragSources()
{
    static QHash<SInt32, QPointer<CIndexView>> sources;
    return sources;
}
SInt32 gLastDragSourceNumber = 0;

// Set when an index view took this program's drag: it has done what the drop asks.
bool gDragTakenByIndex = false;

// The dialog that asks for an address (the value dialog's layout).
constexpr ResIDT kAddressDialog = 1037;
constexpr PaneIDT kPaneAddressField = 901;
constexpr PaneIDT kPaneAddressPrompt = 902;

// Alt (the option key) copies, as does Ctrl, the copy key of this desktop's drags.
bool IsCopyDrag(const DragReference& drag)
{
    return IsDragCopy(drag) || IsDragCommandKey(drag);
}

// A marker of two pixels at the place a drop inserts, over the cells.
class DropMarker : public QWidget {
public:
    explicit DropMarker(QWidget* parent)
        : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    QColor colour;

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), colour); }
};

// Selects the items of a model that are in the list, in runs of neighbours.
void SelectItems(CIndexModel& model, const std::vector<CIndexItem*>& items)
{
    std::vector<SInt32> indexes;
    indexes.reserve(items.size());
    for (CIndexItem* item : items) {
        if (SInt32 at = model.GetIndexOfItem(item))
            indexes.push_back(at);
    }
    std::sort(indexes.begin(), indexes.end());
    for (size_t first = 0; first < indexes.size();) {
        size_t last = first;
        while (last + 1 < indexes.size() && indexes[last + 1] == indexes[last] + 1)
            ++last;
        model.SetRangeSelected(indexes[first], indexes[last], true);
        first = last + 1;
    }
}

// The trash folders a file of this path may go to, each with the folder its
// records' relative paths start from: the home trash, and the trashes at the top
// of the file's own volume.
std::vector<std::pair<QString, QString>> TrashInfoFolders(const QString& path)
{
    std::vector<std::pair<QString, QString>> folders {
        {QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Trash/info"), {}}};
    const QString top = QStorageInfo(QFileInfo(path).absolutePath()).rootPath();
    if (!top.isEmpty()) {
        const QString uid = QString::number(getuid());
        folders.emplace_back(top + QStringLiteral("/.Trash/") + uid + QStringLiteral("/info"), top);
        folders.emplace_back(top + QStringLiteral("/.Trash-") + uid + QStringLiteral("/info"), top);
    }
    return folders;
}

// A trash record is a few lines: its path, its date.
constexpr qint64 kMaxTrashInfoBytes = 8192;

// Whether a file that is gone was moved to a trash: a trash record names its path.
bool WentToTrash(const QString& path)
{
    const QFileInfo file(path);
    for (const auto& [folder, top] : TrashInfoFolders(path)) {
        // Trashed names keep the file's name at their start ("photo.2.jpg.trashinfo").
        const QStringList records = QDir(folder).entryList(
            {file.completeBaseName() + QStringLiteral("*.trashinfo")}, QDir::Files);
        for (const QString& name : records) {
            QFile record(folder + QLatin1Char('/') + name);
            if (!record.open(QIODevice::ReadOnly))
                continue;
            QString stored;
            for (const QByteArray& line : record.read(kMaxTrashInfoBytes).split('\n')) {
                if (line.startsWith("Path="))
                    stored = QUrl::fromPercentEncoding(line.mid(5).trimmed());
            }
            const QString original = QDir::isAbsolutePath(stored) ? stored : QDir(top).absoluteFilePath(stored);
            if (QDir::cleanPath(original) == file.absoluteFilePath())
                return true;
        }
    }
    return false;
}

// Items of another run of the program come as what else the drag carries: their files.
bool CarriesItemsOfThisRun(const QMimeData& data)
{
    SInt32 source = 0;
    return CIndexItem::PeekDragSource(data, source);
}

class StBusyCursor {
public:
    StBusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~StBusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    StBusyCursor(const StBusyCursor&) = delete;
    StBusyCursor& operator=(const StBusyCursor&) = delete;
};

} // namespace

void CIndexView::RegisterDragSource()
{
    mDragSourceNumber = ++gLastDragSourceNumber;
    DragSources().insert(mDragSourceNumber, this);
}

// --- The drop area --------------------------------------------------------------------------------------------------------

CIndexView::DroppedItems CIndexView::FindDroppedItems(const QMimeData* data)
{
    DroppedItems dropped;
    if (!data)
        return dropped;
    // The items are looked for only in the index the drag says it comes from, and
    // only while that index is open: a pointer is never taken from a drag. A drag
    // that does not say (the list views' rows) is looked for in every open index.
    SInt32 sourceNumber = 0;
    if (!CIndexItem::PeekDragSource(*data, sourceNumber))
        return dropped;
    std::vector<CIndexView*> candidates;
    if (sourceNumber == 0) {
        for (const QPointer<CIndexView>& view : DragSources())
            if (view)
                candidates.push_back(view.data());
    } else if (CIndexView* source = DragSources().value(sourceNumber).data()) {
        candidates.push_back(source);
    }
    for (CIndexView* candidate : candidates) {
        QHash<UInt64, CIndexItem*> bySequence;
        bySequence.reserve(candidate->CountAllItems());
        for (CIndexItem* item : candidate->GetAllItems())
            bySequence.insert(item->GetSequenceNumber(), item);
        dropped.items = CIndexItem::FindDraggedItems(
            *data, [&](UInt64 sequence) { return bySequence.value(sequence, nullptr); });
        if (!dropped.items.empty()) {
            dropped.source = candidate;
            break;
        }
    }
    return dropped;
}

bool CIndexView::DragIsAcceptable(const DragReference& drag)
{
    const QMimeData* data = drag.MimeData();
    if (!data)
        return false;
    if (IsItemListLocked())
        ThrowOSErr_(kMsgIndexViewOperation, "a drop while a task holds the item list");
    if (CarriesItemsOfThisRun(*data))
        return !FindDroppedItems(data).items.empty();
    const QList<QUrl> urls = IndexDropData::DroppedURLs(*data);
    return !urls.isEmpty() && std::all_of(urls.begin(), urls.end(), [](const QUrl& url) {
        return url.isLocalFile() || IndexDropData::IsDownloadableURL(url);
    });
}

bool CIndexView::ItemIsAcceptable(const DragReference& drag, UInt16)
{
    return DragIsAcceptable(drag);
}

void CIndexView::EnterDropArea(const DragReference& drag, bool dragHasLeftSender)
{
    setFocus(Qt::OtherFocusReason);
    CDASAndDrop::EnterDropArea(drag, dragHasLeftSender);
    InsideDropArea(drag);
}

void CIndexView::InsideDropArea(const DragReference& drag)
{
    CDASAndDrop::InsideDropArea(drag);
    if (CanAcceptCurrentDrag())
        SetDropHiliteIndex(DropIndexAt(drag.GetDropPoint()));
}

void CIndexView::LeaveDropArea(const DragReference& drag)
{
    CDASAndDrop::LeaveDropArea(drag);
    SetDropHiliteIndex(-1);
}

Qt::DropAction CIndexView::ChooseDropAction(const DragReference&, Qt::DropAction proposed, Qt::DropActions possible)
{
    // The view does all of a move itself (the dragged items leave their index
    // here); a sender told "move" would delete what it sent, files among them.
    return (possible & Qt::CopyAction) ? Qt::CopyAction : proposed;
}

QColor CIndexView::GetHiliteColor() const
{
    return FollowsPalette() ? palette().color(QPalette::Highlight) : GetTextColor();
}

SInt32 CIndexView::DropIndexAt(QPoint local) const
{
    const SInt32 index = IndexAtPoint(local, false);
    return index == 0 ? kInsertAtEnd : index;
}

void CIndexView::SetDropHiliteIndex(SInt32 index)
{
    // Placed again even for the same index: the grid may have scrolled under it.
    mDropHiliteIndex = index;
    // The marker stands at the left edge of the cell the drop goes before, or
    // after the last cell for the end.
    QRect cell;
    const bool atEnd = index == kInsertAtEnd;
    if (index < 0 || !GetCellRect(atEnd ? CountItems() : index, cell)) {
        if (mDropMarker)
            mDropMarker->hide();
        return;
    }
    if (!mDropMarker)
        mDropMarker = new DropMarker(this);
    static_cast<DropMarker*>(mDropMarker.data())->colour = GetHiliteColor();
    const int x = atEnd ? cell.right() : cell.left();
    mDropMarker->setGeometry(x - 1, cell.top() + 2, 3, cell.height() - 4);
    mDropMarker->raise();
    mDropMarker->show();
}

void CIndexView::ReceiveDragEvent(const DragReference& drag)
{
    if (IsItemListLocked())
        ThrowOSErr_(kMsgIndexViewOperation, "a drop while a task holds the item list");
    const QMimeData* data = drag.MimeData();
    ThrowIfNil_(data);
    StBusyCursor busy;
    LCommander::SwitchTarget(this);
    SetDropHiliteIndex(-1);
    ShowAllItems(true);
    const SInt32 dropIndex = DropIndexAt(drag.GetDropPoint());
    if (LDragAndDrop::IsDragFromThisProgram(data))
        gDragTakenByIndex = true;
    if (CarriesItemsOfThisRun(*data)) {
        const DroppedItems dropped = FindDroppedItems(data);
        if (dropped.items.empty())
            ThrowOSErr_(err_NilPointer, "a dragged item is no longer in an open index");
        DeselectAll();
        ReceiveItems(dropped, dropIndex, IsCopyDrag(drag));
    } else {
        DeselectAll();
        ReceiveFiles(IndexDropData::DroppedURLs(*data), dropIndex);
    }
    AdjustImageSize();
    Refresh();
    BroadcastState();
    LCommander::SwitchTarget(this);
}

void CIndexView::ReceiveItems(const DroppedItems& dropped, SInt32 dropIndex, bool copy)
{
    if (dropped.source == this && !copy) {
        MoveItemsWithin(dropped.items, dropIndex);
        return;
    }
    // Copies come in first; the originals leave their index only once all of them
    // are in, so a failure on the way loses nothing.
    std::vector<CIndexItem*> copies;
    copies.reserve(dropped.items.size());
    SInt32 position = dropIndex;
    for (CIndexItem* item : dropped.items) {
        auto duplicate = std::make_unique<CIndexItem>(*item);
        const SInt32 at = InsertItem(duplicate.get(), position, false, false); // queued for the cache task
        copies.push_back(duplicate.release());
        if (position != kInsertAtEnd)
            position = at + 1;
    }
    // A copy within the view leaves the dragged items selected; elsewhere the copies are.
    SelectItems(*mModel, dropped.source == this ? dropped.items : copies);
    if (dropped.source != this && !copy) {
        // A file kept inside the sending package is deleted once that index is
        // saved without its item: such items stay there, and only copies travel.
        std::vector<CIndexItem*> leaving;
        std::copy_if(dropped.items.begin(), dropped.items.end(), std::back_inserter(leaving),
            [](CIndexItem* item) { return !item->IsStoredInPackage(); });
        CIndexView& source = *dropped.source;
        source.mModel->DeselectAll();
        SelectItems(*source.mModel, leaving);
        source.RemoveSelection(false, true, false);
    }
}

void CIndexView::MoveItemsWithin(const std::vector<CIndexItem*>& items, SInt32 dropIndex)
{
    // One reordering of the list, made whole before it is applied: the items are
    // never out of the index, whatever fails.
    const SInt32 first = mModel->MoveItems(items, dropIndex);
    SelectItems(*mModel, items);
    if (first > 0)
        ScrollToIndex(first, false);
}

void CIndexView::ReceiveFiles(const QList<QUrl>& urls, SInt32 dropIndex)
{
    SInt32 position = dropIndex;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile()) {
            ReceiveRemoteURL(url);
            continue;
        }
        const QString path = url.toLocalFile();
        if (IndexDropData::IsInternetShortcutName(path)) {
            const QUrl address = IndexDropData::ReadInternetShortcut(path);
            if (!address.isEmpty()) {
                ReceiveRemoteURL(address);
                continue;
            }
        }
        // A folder starts an import at the drop index; an index package adds nothing.
        const SInt32 at = ImportURL(url, position, false);
        if (at != 0) {
            SelectIndex(at);
            if (position != kInsertAtEnd)
                position = at + 1;
        }
    }
}

bool CIndexView::ReceiveRemoteURL(const QUrl& url, bool now)
{
    if (!IndexDropData::IsDownloadableURL(url))
        return false;
    // The password logs in and is kept in the keyring; the item never holds it.
    // An account without one is asked for it before connecting, as Download
    // Again asks; a cancel connects to nothing.
    QUrl login = CompleteCredentials(url);
    const auto askedLogin = [&] {
        if (LacksPassword(login))
            login = AskServerPassword(login);
        return !login.isEmpty();
    };
    if (IsFolderURL(url)) {
        if (askedLogin())
            StartDownloadTaskForURL(login, nullptr, mModel, nullptr);
        return true;
    }
    const QUrl stored = Net::WithoutPassword(url);
    auto item = std::make_unique<CIndexItem>(stored);
    item->SetRemoteURL(stored);
    InsertItem(item.get(), kInsertAtEnd, true, false);
    const TLivePtr<CIndexItem> added(item.release());
    BroadcastState();
    if (GetPrefBoolean(QStringLiteral("DownloadFiles"))
        && (now || !GetPrefBoolean(QStringLiteral("AskBeforeConnecting"))) && askedLogin() && added.Get())
        StartDownloadTaskForItem(mModel, added.Get(), login);
    return true;
}

void CIndexView::OpenAddress()
{
    StDialogHandler handler(kAddressDialog, this);
    LDialogBox* dialog = handler.GetDialog();
    dialog->SetCFDescriptor(CopyLocalizedString(QStringLiteral("DOWNLOAD_ADDRESS_TITLE")));
    if (LPane* label = dialog->FindPaneByID(kPaneAddressPrompt))
        label->SetCFDescriptor(CopyLocalizedCFString(600, 68));
    // The value dialog's layout makes a window of its own: this one keeps the program until answered.
    QWidget* top = dialog->window();
    top->hide();
    top->setWindowModality(Qt::ApplicationModal);
    top->show();
    auto* field = dynamic_cast<LEditText*>(dialog->FindPaneByID(kPaneAddressField));
    ThrowIfNil_(field);
    field->GetLineEdit()->setFocus();
    MessageT message = msg_Nothing;
    while (message != msg_OK && message != msg_Cancel)
        message = handler.ModalLoop();
    if (message == msg_Cancel)
        return;
    const QUrl url = QUrl::fromUserInput(field->GetCFDescriptor().trimmed());
    if (!ReceiveRemoteURL(url, true))
        QApplication::beep();
}

// --- The drag source ------------------------------------------------------------------------------------------------------

std::vector<CIndexItem*> CIndexView::ItemsToDrag(SInt32 clickedIndex) const
{
    CIndexItem* clicked = nullptr;
    if (!GetItemAt(clickedIndex, clicked) || !clicked)
        return {};
    if (!mModel->IsSelected(clickedIndex))
        return {clicked};
    return mModel->SelectedItems();
}

void CIndexView::AddDragFlavors(QMimeData& data, const std::vector<CIndexItem*>& items) const
{
    CIndexItem::AddDragFlavors(data, items, mDragSourceNumber);
}

void CIndexView::StartItemDrag(SInt32 clickedIndex, QPoint local, UInt16)
{
    const std::vector<CIndexItem*> items = ItemsToDrag(clickedIndex);
    if (items.empty())
        return;
    CDragTask task;
    AddDragFlavors(*task.MimeData(), items);
    QRect cell;
    GetCellRect(clickedIndex, cell);
    QPoint hotSpot;
    const QPixmap image = items.front() == mModel->ItemAt(clickedIndex)
        ? mModel->ItemAt(clickedIndex)->MakeDragImage(cell, *this, int(items.size()), hotSpot)
        : QPixmap();
    if (!image.isNull())
        task.SetDragImage(image, local + hotSpot);
    else
        task.AddRectangle(1, cell);

    // The items may go while the drag runs (another window closes their index).
    std::vector<TLivePtr<CIndexItem>> held;
    held.reserve(items.size());
    for (CIndexItem* item : items)
        held.emplace_back(item);
    gDragTakenByIndex = false;
    // Only a copy is offered: a program that moved the files would never say where to.
    const Qt::DropAction action = task.DoDrag(this, Qt::CopyAction);
    const bool takenHere = gDragTakenByIndex;
    gDragTakenByIndex = false;
    if (action != Qt::IgnoreAction && !takenHere) {
        std::vector<CIndexItem*> live;
        for (const auto& item : held) {
            if (CIndexItem* each = item.Get(); each && mModel->GetIndexOfItem(each) != 0)
                live.push_back(each);
        }
        FinishDragToOtherProgram(live);
    }
    LCommander::SwitchTarget(this);
}

SInt32 CIndexView::FinishDragToOtherProgram(const std::vector<CIndexItem*>& items)
{
    std::vector<CIndexItem*> trashed;
    for (CIndexItem* item : items) {
        if (item->IsStoredInPackage())
            continue;
        QUrl url;
        CatchCode([&] { url = item->GetURL(); });
        if (!url.isLocalFile() || QFileInfo::exists(url.toLocalFile()))
            continue;
        if (WentToTrash(url.toLocalFile())) {
            trashed.push_back(item);
        } else {
            // The other program moved it somewhere we cannot know: the user locates it.
            item->SetError(std::make_unique<CItemError>(kMsgAliasUnresolved, QString(), QString()));
            RefreshItem(mModel->GetIndexOfItem(item));
        }
    }
    if (trashed.empty())
        return 0;
    mModel->DeselectAll();
    SelectItems(*mModel, trashed);
    RemoveSelection(false, true, false);
    return SInt32(trashed.size());
}
