// The index view's selection: single, Command and Shift clicks, the marquee and
// the arrow keys.
#include "CIndexView.h"

#include "PrefKeys.h"

#include "CIndexItem.h"
#include "MediaViewerServices.h"
#include "CItemError.h"
#include "ExceptionCode.h"
#include "IndexGridNavigation.h"
#include "Preferences.h"
#include "Alerts.h"
#include "ErrorCodes.h"
#include "LocalizedStrings.h"
#include "IndexGridMarquee.h"
#include "UCursors.h"

#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QEventLoop>

#include <algorithm>

namespace {

// While a click waits to learn whether the mouse moves, the mouse's own events
// must be processed: the button state changes only as the release is handled,
// and held back, every click would wait out the time limit. Other input that
// comes meanwhile (a double click's second press, keys) is handed back to the
// event queue, to be handled after this click rather than inside it.
class StPressWatch : public QObject {
public:
    StPressWatch() { QCoreApplication::instance()->installEventFilter(this); }
    ~StPressWatch() override { QCoreApplication::instance()->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override
    {
        if (!receiver->isWindowType())
            return false;
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Wheel:
            QCoreApplication::postEvent(receiver, event->clone());
            return true;
        default: return false;
        }
    }
};

// True when the mouse, still down, moves past the drag distance from the press.
bool MouseMovedFrom(const QPoint& global)
{
    if (QApplication::mouseButtons() == Qt::NoButton)
        return false;
    StPressWatch watch;
    QElapsedTimer clock;
    clock.start();
    while (QApplication::mouseButtons() != Qt::NoButton) {
        if ((QCursor::pos() - global).manhattanLength() >= QApplication::startDragDistance())
            return true;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (clock.elapsed() > 10'000)
            break;
    }
    return false;
}

// The marquee's cursor for as long as it is drawn, wherever the mouse goes.
class StMarqueeCursor {
public:
    StMarqueeCursor() { QGuiApplication::setOverrideCursor(GetResourceCursor(kCursorMarquee)); }
    ~StMarqueeCursor() { QGuiApplication::restoreOverrideCursor(); }
    StMarqueeCursor(const StMarqueeCursor&) = delete;
    StMarqueeCursor& operator=(const StMarqueeCursor&) = delete;
};

} // namespace

bool IndexGridMarquee::CheckSelectionChanged(const LMarqueeTask&, const QRect& before, const QRect& after)
{
    return Span(before) != Span(after);
}

void IndexGridMarquee::UpdateSelection(const LMarqueeTask&, const QRect& before, const QRect& after)
{
    std::vector<SInt32> entered, left;
    mView.Grid().MarqueeChanges(Span(before), Span(after), entered, left);
    for (SInt32 index : entered)
        mView.SelectIndex(index);
    for (SInt32 index : left)
        mView.DeselectIndex(index);
}

IndexGridGeometry::CellSpan IndexGridMarquee::Span(const QRect& local) const
{
    const SPoint32 scroll = mView.GetScrollPosition();
    return mView.Grid().CellsUnder(local.translated(scroll.h, scroll.v));
}

void CIndexView::SelectIndex(SInt32 index)
{
    if (!mModel->IsSelected(index)) {
        mModel->SelectIndex(index);
        RefreshItem(index);
    }
    // The item clicked or arrowed to is the current one, selected before or not.
    mModel->SetCurrentIndex(index);
}

void CIndexView::DeselectIndex(SInt32 index)
{
    if (!mModel->IsSelected(index))
        return;
    mModel->DeselectIndex(index);
    RefreshItem(index);
}

void CIndexView::ToggleIndex(SInt32 index)
{
    if (mModel->IsSelected(index))
        DeselectIndex(index);
    else
        SelectIndex(index);
}

void CIndexView::ToggleRange(SInt32 first, SInt32 last)
{
    for (SInt32 index = std::max(first, 1); index <= std::min(last, CountItems()); ++index)
        ToggleIndex(index);
}

void CIndexView::DeselectAll()
{
    if (!mModel->DeselectAll())
        return;
    update();
    BroadcastState();
}

void CIndexView::SelectAll()
{
    if (!mModel->SelectAll())
        return;
    update();
    BroadcastState();
}

SInt32 CIndexView::GetLastSelectedIndex() const
{
    return mModel->GetLastSelectedIndex();
}

void CIndexView::ScrollToIndex(SInt32 index, bool force)
{
    if (!isVisible() || CountItems() == 0)
        return;
    if (index == 0)
        index = GetFirstSelectedIndex();
    if (index == 0)
        return;
    AdjustImageSize();
    if (!ScrollPinnedImageTo(GetScrollPosition().h, Grid().ScrollTopFor(index), true) || force)
        Refresh();
}

void CIndexView::ClickSelf(const SMouseDownEvent& event)
{
    const UInt16 modifiers = event.macEvent.modifiers;
    const bool shift = modifiers & shiftKey;
    const bool command = modifiers & cmdKey;
    const bool option = modifiers & optionKey;
    const bool control = modifiers & controlKey;
    // A right click (or one with Control, not the removing Ctrl+Alt+Command) is the
    // contextual click: the selection follows it, then the menu shows.
    if (control && !(command && option)) {
        PrepareContextClick(event.whereLocal);
        HandleContextClick(event);
        return;
    }
    // The click makes the view the target (ending any edit in progress).
    LCommander::SwitchTarget(this);
    const bool moved = MouseMovedFrom(event.macEvent.where);

    const SInt32 index = IndexAtPoint(event.whereLocal, true);
    CIndexItem* item = nullptr;
    SInt16 part = kItemPartNone;
    QRect cell;
    if (index != 0) {
        if (!GetItemAt(index, item) || !item)
            ThrowOSErr_(err_AssertFailed, "index view: no item at a clicked index");
        GetCellRect(index, cell);
        part = item->HitTest(event.whereLocal, cell, *this);
    }
    const bool onPicture = part == kItemPartPicture || part == kItemPartPictureToo;
    if (onPicture && !shift && !command && !mModel->IsSelected(index)) {
        DeselectAll();
        SelectIndex(index);
    }

    if (!moved && onPicture && IsFullScreen()) {
        OpenClickedItem(index, *item);
        return;
    }

    if (moved) {
        if (IsFullScreen()) {
            GrabScroll(event.macEvent.where);
            return;
        }
        if (IsItemListLocked())
            return;
        if (onPicture && !(command && option)) {
            StartItemDrag(index, event.whereLocal, modifiers);
            return;
        }
        if (!shift)
            DeselectAll();
        IndexGridMarquee receiver(*this);
        LMarqueeTask marquee(receiver, this, event);
        StMarqueeCursor cursor;
        marquee.DoMarquee();
        BroadcastState();
        return;
    }

    if (!item) {
        DeselectAll();
    } else if (command && option && control) {
        // Removing with its file going to the Trash: asked first, as the preference says.
        if (IsItemListLocked())
            ThrowOSErr_(kMsgIndexViewOperation, "the item list is locked");
        if (Pref::ConfirmDelete.Get() && !AskToRemove(1, true))
            return;
        RemoveItem(index, true, true, true);
        AdjustImageSize();
        Refresh();
    } else if (GetClickCount() >= 2) {
        if (onPicture && !shift)
            OpenClickedItem(index, *item);
    } else if (part == kItemPartTextBlock) {
        if (!IsItemListLocked() && !IsFullScreen()) {
            if (option)
                item->ShowInfoWindow(this, mModel);
            else if (StartRename(index, event.whereLocal))
                return; // the edit field has the keyboard now
        }
    } else if (part == kItemPartErrorBadge) {
        // The badge tells what went wrong (Option only dismisses it); it goes either way.
        if (!option)
            item->ShowErrorAlert();
        item->SetError(nullptr);
        RefreshItem(index);
    } else if (onPicture) {
        if (command) {
            ToggleIndex(index);
        } else if (shift) {
            const SInt32 first = GetFirstSelectedIndex();
            const SInt32 last = GetLastSelectedIndex();
            if (first != 0 && index < first)
                ToggleRange(index, first - 1);
            else if (last != 0 && index > last)
                ToggleRange(last + 1, index);
            else
                SelectIndex(index);
        } else if (!mModel->IsSelected(index)) {
            QApplication::beep();
            DeselectAll();
            SelectIndex(index);
        }
    } else if (part == kItemPartNone && !shift && !command) {
        DeselectAll();
    }
    BroadcastState();
}

void CIndexView::OpenClickedItem(SInt32 index, CIndexItem& item)
{
    item.OpenInViewer(index, mModel, Pref::DoubleClickAction.Get() == 1);
}

void CIndexView::OpenSelectedItem()
{
    // The first selected item, item 1 when none is; the media window opened so
    // starts its slide show.
    SInt32 index = GetFirstSelectedIndex();
    if (index == 0)
        index = 1;
    CIndexItem* item = nullptr;
    if (!GetItemAt(index, item) || !item)
        ThrowOSErr_(err_AssertFailed, "no item to open");
    StOpeningSelectedItem opening;
    OpenClickedItem(index, *item);
}

void CIndexView::GrabScroll(QPoint startGlobal)
{
    // Full screen has no scroll bars: while the button is down the image follows the
    // mouse like a sheet held by hand, four times as far as the mouse goes.
    constexpr int kGrabScrollFactor = 4;
    QPoint last = startGlobal;
    const auto follow = [&](QPoint now) {
        const QPoint moved = now - last;
        last = now;
        if (!moved.isNull())
            ScrollPinnedImageBy(-kGrabScrollFactor * moved.x(), -kGrabScrollFactor * moved.y(), true);
    };
    // The mouse has gone some way to start the drag, maybe in several moves that
    // came before the tracking: the image catches up with all of it at once.
    follow(QCursor::pos());
    TrackMouseUntilRelease(follow);
}

bool CIndexView::HandleArrowKey(UInt8 key, UInt16 modifiers)
{
    switch (key) {
    case char_Home:
    case char_End:
    case char_PageUp:
    case char_PageDown:
    case char_LeftArrow:
    case char_RightArrow:
    case char_UpArrow:
    case char_DownArrow: break;
    default: return false;
    }
    if (CountItems() == 0)
        return false;
    SInt32 firstVisible = 0, lastVisible = 0;
    Grid().VisibleRange(GetScrollPosition().v, height(), firstVisible, lastVisible);
    const ArrowKeyMove move = ArrowKeyTarget(key, modifiers, GetFirstSelectedIndex(), GetLastSelectedIndex(), CountItems(),
        Grid().Columns(), firstVisible);
    if (move.beep) {
        QApplication::beep();
        return true;
    }
    if (!move.keepSelection)
        DeselectAll();
    SelectIndex(move.target);
    BroadcastState();
    ScrollToIndex(0, false);
    return true;
}
