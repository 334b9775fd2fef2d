// The index view's cursor: what a click would do at the mouse, shown as the
// mouse moves over the grid or a modifier key goes down or up.
#include "CIndexView.h"

#include "CContextualMenu.h"
#include "CIndexItem.h"
#include "UCursors.h"

#include <QCursor>
#include <QKeyEvent>

namespace {


} // namespace

ResIDT CIndexView::CursorAt(QPoint local, UInt16 modifiers) const
{
    const bool command = modifiers & cmdKey;
    const bool option = modifiers & optionKey;
    const bool control = modifiers & controlKey;
    if (IsItemListLocked())
        return kCursorArrow;
    if (command && option && !control)
        return kCursorMarquee; // a press draws a marquee wherever it is
    if (control && !command && !option && !(modifiers & shiftKey) && HasContextualMenus())
        return kCursorContextualMenu;
    if (CountItems() == 0)
        return kCursorArrow;
    const SInt32 index = IndexAtPoint(local, false);
    CIndexItem* item = nullptr;
    QRect cell;
    if (index == 0 || !GetItemAt(index, item) || !item || !GetCellRect(index, cell))
        return kCursorMarquee;
    switch (item->HitTest(local, cell, *this)) {
    case kItemPartErrorBadge: return kCursorErrorBadge;
    case kItemPartTextBlock:
        if (option)
            return kCursorInfo;
        return IsRenameFieldEditable(index, item->FindTextLineAt(local, cell, *this)) ? kCursorText : kCursorMarquee;
    case kItemPartPicture:
    case kItemPartPictureToo:
        if (option && !command)
            return kCursorCopy;
        return command && option && control ? kCursorRemove : kCursorArrow;
    default: return kCursorMarquee;
    }
}

void CIndexView::AdjustMouseSelf(QPoint portPoint, const EventRecord& event)
{
    if (IsFullScreen())
        return; // full screen hides and shows the cursor by its own rules
    PortToLocalPoint(portPoint);
    ShowCursorFor(CursorAt(portPoint, event.modifiers));
}

void CIndexView::ShowCursorFor(ResIDT cursorID)
{
    if (cursorID == kCursorArrow)
        unsetCursor();
    else if (cursorID == kCursorContextualMenu)
        setCursor(GetContextualMenuCursor());
    else
        setCursor(GetResourceCursor(cursorID));
}

bool CIndexView::event(QEvent* event)
{
    // Its model gone, the view only waits to be deleted: it draws and does nothing.
    if (!mModel) {
        switch (event->type()) {
        case QEvent::Paint:
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::Timer:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::Enter:
        case QEvent::Leave:
        case QEvent::FocusIn:
        case QEvent::ContextMenu:
        case QEvent::ToolTip:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            return true;
        default: return LView::event(event);
        }
    }
    // A modifier going down or up changes what a click would do: the cursor follows
    // without waiting for the mouse to move.
    if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) && !IsFullScreen()) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QPoint mouse = mapFromGlobal(QCursor::pos());
        switch (key->key()) {
        case Qt::Key_Shift:
        case Qt::Key_Control:
        case Qt::Key_Alt:
        case Qt::Key_Meta:
            if (rect().contains(mouse))
                ShowCursorFor(CursorAt(mouse, ModifiersFromQt(int(key->modifiers()))));
            break;
        default: break;
        }
    }
    return LView::event(event);
}
