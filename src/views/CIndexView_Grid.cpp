// The index view's grid: drawing the exposed cells and the empty view.
#include "CIndexView.h"

#include "LPrintout.h"
#include "ThreadUtilities.h"

#include "CIndexItem.h"
#include "DeferredIcon.h"
#include "ExceptionCode.h"
#include "IndexGridNavigation.h"
#include "LocalizedStrings.h"
#include "PixPattern.h"
#include "Preferences.h"
#include "TickCount.h"
#include "UKeyFilters.h"
#include "UTextTraits.h"

#include <QApplication>
#include <QHash>
#include <QIcon>
#include <QPainter>
#include <QStyle>

#include <algorithm>

namespace {

constexpr int kEmptyIconGap = 18;

QIcon EmptyViewIcon(const char* themeName, QStyle::StandardPixmap fallback)
{
    // While theme icons are held the view is drawn without and again after.
    if (ThemeIconsHeld())
        return QIcon();
    QIcon icon = QIcon::fromTheme(QLatin1String(themeName));
    if (!icon.isNull())
        return icon;
    // The style's icons are decoded once (each from several pictures), not at every
    // paint of the empty view nor for every kind that shares one.
    static QHash<QPair<QString, int>, QIcon> styleIcons;
    QStyle* style = QApplication::style();
    const QPair<QString, int> key(style->name(), int(fallback));
    auto found = styleIcons.constFind(key);
    if (found == styleIcons.constEnd())
        found = styleIcons.insert(key, style->standardIcon(fallback));
    return *found;
}

// The empty view: the kinds of media the index takes as icons in a ring of six
// (or the search's icon when filtered), and under them what to do.
void DrawEmptyView(QPainter& painter, const QRect& frame, bool filtered, const QColor& textColour)
{
    painter.save();
    const int side = filtered ? 128 : 64;
    QRect square(frame.left() + (frame.width() - 3 * side - 2 * kEmptyIconGap) / 2,
        frame.top() + (frame.height() / 2 - side) - kEmptyIconGap, side, side);
    int bottom = square.bottom();
    if (filtered) {
        square.translate(side + kEmptyIconGap, 0);
        EmptyViewIcon("system-search", QStyle::SP_FileDialogContentsView).paint(&painter, square);
        bottom = square.bottom();
    } else {
        const struct {
            const char* name;
            QStyle::StandardPixmap fallback;
            QPoint offset; // from the icon before
        } icons[] = {
            { "image-x-generic", QStyle::SP_FileIcon, { 0, 0 } },
            { "video-x-generic", QStyle::SP_MediaPlay, { side + kEmptyIconGap, -kEmptyIconGap } },
            { "font-x-generic", QStyle::SP_FileIcon, { side + kEmptyIconGap, kEmptyIconGap } },
            { "drive-removable-media", QStyle::SP_DriveHDIcon, { 0, side + 3 * kEmptyIconGap } },
            { "media-optical", QStyle::SP_DriveCDIcon, { -kEmptyIconGap - side, kEmptyIconGap } },
            { "folder", QStyle::SP_DirIcon, { -kEmptyIconGap - side, -kEmptyIconGap } },
        };
        for (const auto& icon : icons) {
            square.translate(icon.offset);
            EmptyViewIcon(icon.name, icon.fallback).paint(&painter, square);
            bottom = std::max(bottom, square.bottom());
        }
    }
    painter.setPen(textColour);
    QFont font = painter.font();
    font.setPointSizeF(font.pointSizeF() * 1.3);
    font.setBold(true);
    painter.setFont(font);
    const QRect text(frame.left() + 20, bottom + 2 * kEmptyIconGap, frame.width() - 40, frame.bottom() - bottom);
    painter.drawText(text, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
        CopyLocalizedString(filtered ? QStringLiteral("600:135") : QStringLiteral("600:14")));
    painter.restore();
}

} // namespace

void CIndexView::DrawSelf(QPainter& painter)
{
    if (LPrintout::IsPrinting()) {
        PrintCells(painter);
        return;
    }
    QRect exposed = painter.hasClipping() ? painter.clipBoundingRect().toAlignedRect() : rect();
    exposed = exposed.intersected(rect());
    painter.fillRect(exposed, GetBackgroundBrush(PaintDevicePixelRatio(painter)));
    AdjustImageSize();
    if (CountItems() == 0) {
        DrawEmptyView(painter, rect(), IsFiltered(), GetEmptyTextColor());
        DrawFocusMark(painter);
        return;
    }
    // Only the rows the exposed part shows: the cost of a page does not depend on
    // the number of items.
    SInt32 first = 0, last = 0;
    Grid().VisibleRange(SInt32(qint64(GetScrollPosition().v) + exposed.top()), exposed.height(), first, last);
    for (SInt32 index = first; index >= 1 && index <= last; ++index) {
        CIndexItem* item = nullptr;
        if (!GetItemAt(index, item) || !item)
            ThrowOSErr_(err_AssertFailed, "index view: no item at a visible index");
        QRect cell;
        if (!GetCellRect(index, cell) || !cell.intersects(exposed))
            continue;
        // An item that cannot draw itself leaves its cell empty, not the grid.
        painter.save();
        const OSStatus drawn = CatchCode([&] { item->DrawCell(painter, cell, *this, mModel->IsSelected(index)); });
        painter.restore();
        // The cells drawn without their picture have it made, in the order they show.
        if (drawn == noErr && item->HasDisplayPictureChanged())
            QueueCellUpdate(index);
    }
    DrawFocusMark(painter);
}

namespace {
constexpr int kFocusMarkWidth = 2;
} // namespace

QRegion CIndexView::FocusMarkRegion() const
{
    return QRegion(rect()).subtracted(QRegion(rect().adjusted(kFocusMarkWidth, kFocusMarkWidth, -kFocusMarkWidth, -kFocusMarkWidth)));
}

void CIndexView::DrawFocusMark(QPainter& painter)
{
    // The keyboard's mark: a frame of the highlight colour inside the view's edges.
    if (!hasFocus() || IsFullScreen())
        return;
    painter.save();
    painter.setClipRegion(FocusMarkRegion(), Qt::IntersectClip);
    painter.fillRect(rect(), palette().color(QPalette::Active, QPalette::Highlight));
    painter.restore();
}

void CIndexView::ScrollBits(SInt32 dh, SInt32 dv)
{
    LView::ScrollBits(dh, dv);
    if (hasFocus()) // the moved pixels carried the frame along
        update(FocusMarkRegion());
}

void CIndexView::focusInEvent(QFocusEvent* event)
{
    LView::focusInEvent(event);
    update(FocusMarkRegion());
}

void CIndexView::focusOutEvent(QFocusEvent* event)
{
    LView::focusOutEvent(event);
    update(FocusMarkRegion());
}

void CIndexView::PrintCells(QPainter& painter)
{
    AdjustImageSize();
    SInt32 first = 0, last = 0;
    Grid().VisibleRange(GetScrollPosition().v, height(), first, last);
    for (SInt32 index = first; index >= 1 && index <= last; ++index) {
        CIndexItem* item = nullptr;
        if (!GetItemAt(index, item) || !item)
            ThrowOSErr_(err_AssertFailed, "index view: no item at a printed index");
        QRect cell;
        if (!GetCellRect(index, cell))
            continue;
        painter.save();
        item->PrintCell(painter, cell, *this);
        painter.restore();
        CheckUserCancel(); // between cells the user may stop the job
    }
}

void CIndexView::FitToPage()
{
    const QRect body = GetFrame();
    SetThumbnailSize(IsExtendedView() ? GetExtendedSize() : GetThumbnailSize(), false);
    AdjustImageSize();
    const QSize cell = GetCellSize();
    const QSize whole(cell.width() * std::max(1, body.width() / cell.width()),
        cell.height() * std::max(1, body.height() / cell.height()));
    ResizeFrameTo(whole.width(), whole.height(), false);
    move(body.x() + (body.width() - whole.width()) / 2, body.y() + (body.height() - whole.height()) / 2);
    AdjustImageSize();
}

SInt16 CIndexView::GetMargin() const
{
    return SInt16(std::min<SInt32>(GridMetrics().Spacing(), 32767));
}

SInt16 CIndexView::GetLineHeight() const
{
    return SInt16(std::min<SInt32>(GridMetrics().LineHeight(), 32767));
}

SInt16 CIndexView::GetExtraColumnWidth() const
{
    return SInt16(std::min<SInt32>(GridMetrics().LabelWidth(), 32767));
}

QFont CIndexView::GetLabelFont() const
{
    return ScreenPixelFont(font());
}

QFont CIndexView::GetViewsFont() const
{
    return ScreenPixelFont(font());
}

void CIndexView::SetViewMode(SInt32 mode)
{
    if (mode == mViewMode || (mode != kThumbnailViewMode && mode != kExtendedViewMode))
        return;
    SInt32 keep = GetFirstSelectedIndex();
    if (keep == 0) {
        SInt32 last = 0;
        Grid().VisibleRange(GetScrollPosition().v, height(), keep, last);
    }
    mViewMode = mode;
    SetThumbnailSize(mode == kExtendedViewMode ? GetExtendedSize() : GetThumbnailSize(), false);
    if (keep != 0)
        ScrollToIndex(keep, false);
    Refresh();
}

bool CIndexView::HandleGridKey(const EventRecord& event)
{
    const UInt8 key = EventCharCode(event);
    if (key == char_Escape && IsFullScreen()) {
        LeaveFullScreen();
        return true;
    }
    // A filter that shows nothing ("No items match") still ends with Escape.
    if (key == char_Escape && CountItems() == 0 && IsFiltered()) {
        ShowAllItems(true);
        return false;
    }
    if (CountItems() == 0)
        return false;
    if (key == char_FunctionKey && EventKeyCode(event) == vkey_F2 && !(event.modifiers & (cmdKey | optionKey | controlKey | shiftKey)))
        return RenameSelectedItem();
    if (HandleArrowKey(key, event.modifiers))
        return true;
    switch (key) {
    case '+':
    case '-':
        SetThumbnailSize(NextThumbnailSize(GetThumbnailSize(), key == '+'), true);
        return true;
    case char_Return:
    case char_Enter: {
        // The action key: the first selected item (the first visible when none)
        // opens alone, in the other viewer when "ActionKeyAction" says so.
        SInt32 index = GetFirstSelectedIndex();
        if (index == 0) {
            SInt32 last = 0;
            Grid().VisibleRange(GetScrollPosition().v, height(), index, last);
        }
        CIndexItem* item = nullptr;
        if (!GetItemAt(index, item) || !item)
            return false;
        DeselectAll();
        item->OpenInViewer(index, mModel, GetPrefNumber(QStringLiteral("ActionKeyAction")) == 1);
        return true;
    }
    case ' ':
        // A blank typed within a name goes on selecting by name.
        if (!mTypeSelect.isEmpty() || (event.modifiers & (cmdKey | controlKey | optionKey)))
            return TypeSelectKey(event);
        OpenSelectedItem();
        return true;
    case char_Escape:
        DeselectAll();
        if (IsFiltered())
            ShowAllItems(true);
        return false; // type-to-select and the chain see it too
    case char_Backspace:
    case char_FwdDelete:
        if (!GetPrefBoolean(QStringLiteral("BackSpaceDeletes")) || CountSelectedItems() == 0)
            return false;
        return ProcessCommand(cmd_Clear); // the Delete command's, waiting as commands do
    default: return TypeSelectKey(event);
    }
}

namespace {
constexpr UInt32 kTypeSelectPauseTicks = 29; // more than this after the last key ends the typing
constexpr double kTypeSelectLookSeconds = 0.05;
constexpr int kTypeSelectMaxLength = 255;
} // namespace

bool CIndexView::TypeSelectKey(const EventRecord& event)
{
    const UInt8 code = EventCharCode(event);
    const unsigned char one[2] = { 1, code };
    const QString typed = PStringToQString(one);
    const bool taken = !(event.modifiers & (cmdKey | controlKey)) && !UKeyFilters::IsNavigationKey(code) && typed.size() == 1
        && UKeyFilters::IsPrintingChar(typed[0]);
    if (!taken) {
        mTypeSelectTimer.Remove();
        mTypeSelect.clear();
        return false;
    }
    if (mTypeSelect.size() < kTypeSelectMaxLength)
        mTypeSelect += typed;
    mTypeSelectTicks = TickCount();
    if (!mTypeSelectTimer.IsInstalled()) {
        mTypeSelectTimer.Install(kTypeSelectLookSeconds, kTypeSelectLookSeconds, [this] {
            if (TickCount() - mTypeSelectTicks > kTypeSelectPauseTicks)
                FinishTypeSelect();
        });
    }
    BroadcastTypeSelect();
    return true;
}

void CIndexView::FinishTypeSelect()
{
    mTypeSelectTimer.Remove();
    AdjustImageSize();
    const QString wanted = mTypeSelect.toUpper();
    SInt32 found = 0;
    SInt32 index = 0;
    for (CIndexItem* item : GetItemList()) {
        ++index;
        if (!wanted.isEmpty() && item && item->GetName().toUpper().startsWith(wanted)) {
            found = index;
            break;
        }
    }
    if (found != 0) {
        DeselectAll();
        SelectIndex(found);
        ScrollToIndex(found, false);
    } else {
        QApplication::beep();
    }
    mTypeSelect.clear();
    BroadcastState();
    BroadcastTypeSelect();
}

void CIndexView::BroadcastTypeSelect()
{
    Str255 text;
    QStringToPString(mTypeSelect, text);
    BroadcastMessage(msg_TypeSelectChanged, text.Data());
}

bool CIndexView::HandleKeyPress(const EventRecord& event)
{
    if (EventCharCode(event) == char_Tab && mRenameItem) {
        RenameNextField(event.modifiers & shiftKey, event.modifiers & optionKey);
        return true;
    }
    if (HandleGridKey(event)) {
        LCommander::SetUpdateCommandStatus(true);
        return true;
    }
    return LCommander::HandleKeyPress(event);
}
