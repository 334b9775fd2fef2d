// The item's cell in a view: the rectangles of its parts, hit testing, the file
// icon and the badges.
#include "CIndexItem.h"

#include "CIndexPackage.h"
#include "CItemError.h"
#include "ExceptionCode.h"
#include "IndexViewServices.h"
#include "Offscreen.h"
#include "Picture.h"
#include "Preferences.h"
#include "RectUtilities.h"

#include <QApplication>
#include <QIcon>
#include <QPainter>
#include <QStyle>
#include <algorithm>

namespace {

constexpr int kBadgeSize = 16;
constexpr int kBadgeInset = 3;
constexpr int kMaxIconSide = 120;

bool Contains(const Rect& rect, Point point)
{
    return point.h >= rect.left && point.h < rect.right && point.v >= rect.top && point.v < rect.bottom;
}

QIcon BadgeIcon(const char* themeName, QStyle::StandardPixmap fallback)
{
    QIcon icon = QIcon::fromTheme(QLatin1String(themeName));
    return icon.isNull() ? QApplication::style()->standardIcon(fallback) : icon;
}

} // namespace

Rect CIndexItem::GetPartRect(SInt16 part, const Rect& cell, const IndexViewServices& view) const
{
    const SInt16 margin = view.GetMargin();
    const SInt16 lineHeight = view.GetLineHeight();
    const SInt32 lines = view.CountColumns();
    const Point cellSize = view.GetCellSize();
    const bool extended = view.IsExtendedView();

    Rect frame;
    frame.left = SInt16(cell.left + margin);
    frame.top = SInt16(cell.top + margin);
    frame.right = SInt16(cell.left - margin + cellSize.h);
    frame.bottom = SInt16(cell.top - margin + cellSize.v - (extended ? 0 : lines * lineHeight));
    if (extended)
        frame.right = SInt16(frame.left + frame.Height());

    switch (part) {
    case kItemPartThumbnailFrame:
        return frame;
    case kItemPartTextBlock: {
        Rect block;
        if (!extended) {
            block.left = cell.left;
            block.right = SInt16(cell.left + cellSize.h);
            block.bottom = SInt16(cell.top + cellSize.v);
            block.top = SInt16(block.bottom - lines * lineHeight);
            return block;
        }
        const int height = cellSize.v;
        const int down = lineHeight > 0 ? (height - ((height - lineHeight) / lineHeight + 1) * lineHeight) / 2 : 0;
        block.left = frame.right;
        block.right = SInt16(cell.right - margin);
        block.top = SInt16(frame.top + down);
        block.bottom = SInt16(frame.bottom + down);
        return block;
    }
    case kItemPartErrorBadge: {
        Rect badge;
        badge.right = SInt16(frame.right - kBadgeInset);
        badge.left = SInt16(badge.right - kBadgeSize);
        badge.top = SInt16(frame.top + kBadgeInset);
        badge.bottom = SInt16(badge.top + kBadgeSize);
        return badge;
    }
    case kItemPartPicture: {
        const SInt16 side = view.GetThumbnailSize();
        const Rect square = MakeRect(0, 0, side, side);
        Rect bounds;
        if (mDisplayPicture) {
            bounds = mDisplayPicture->Bounds();
        } else if (mThumbnail) {
            bounds = mThumbnail->Frame();
            // A quarter turn exchanges width and height.
            if (mFlags & (kItemFlagRotate90CW | kItemFlagRotate90CCW))
                bounds = MakeRect(0, 0, bounds.Width(), bounds.Height());
        }
        Rect picture = square;
        if (!bounds.IsEmpty())
            FitRectInRect(bounds, square, picture, true, true);
        Rect placed;
        CenterRectInRect(picture, frame, placed);
        return placed;
    }
    default:
        return Rect {};
    }
}

SInt16 CIndexItem::HitTest(Point point, const Rect& cell, const IndexViewServices& view) const
{
    if (mError && Contains(GetPartRect(kItemPartErrorBadge, cell, view), point))
        return kItemPartErrorBadge;
    if (Contains(GetPartRect(kItemPartPicture, cell, view), point))
        return kItemPartPicture;
    if (Contains(GetPartRect(kItemPartTextBlock, cell, view), point))
        return kItemPartTextBlock;
    return kItemPartNone;
}

SInt16 CIndexItem::FindTextLineAt(Point point, const Rect& cell, const IndexViewServices& view) const
{
    Rect block = GetPartRect(kItemPartTextBlock, cell, view);
    if (view.IsExtendedView()) // the label column is no line
        block.left = SInt16(block.left + view.GetExtraColumnWidth() + int(8 * view.GetCharWidth()));
    const SInt16 lineHeight = view.GetLineHeight();
    if (!Contains(block, point) || lineHeight <= 0)
        return -1;
    const int line = (point.v - block.top) / lineHeight;
    return line < view.CountColumns() ? SInt16(line) : SInt16(-1);
}

Rect CIndexItem::GetTextLineRect(SInt16 line, const Rect& cell, const IndexViewServices& view) const
{
    Rect row = GetPartRect(kItemPartTextBlock, cell, view);
    row.top = SInt16(row.top + line * view.GetLineHeight());
    row.bottom = SInt16(row.top + view.GetLineHeight());
    if (view.IsExtendedView())
        row.left = SInt16(row.left + view.GetExtraColumnWidth());
    return row;
}

void CIndexItem::DrawIcon(QPainter& painter, const Rect& cell, const IndexViewServices& view, bool selected)
{
    const QIcon icon = GetIcon();
    if (icon.isNull())
        ThrowOSErr_(err_NilPointer, "item without an icon");
    const Rect frame = GetPartRect(kItemPartThumbnailFrame, cell, view);
    const int side = std::min({int(frame.Width()), int(frame.Height()), kMaxIconSide});
    Rect square;
    CenterRectInRect(MakeRect(0, 0, side, side), frame, square);
    painter.fillRect(ToQRect(square), view.GetBackgroundColor());
    icon.paint(&painter, ToQRect(square), Qt::AlignCenter, (mHilited || selected) ? QIcon::Selected : QIcon::Normal);
    DrawBadge(painter, cell, view);
}

void CIndexItem::DrawBadge(QPainter& painter, const Rect& cell, const IndexViewServices& view)
{
    QIcon badge;
    QIcon::Mode mode = QIcon::Normal;
    if (IsBusy()) {
        badge = BadgeIcon("changes-prevent", QStyle::SP_MessageBoxInformation);
        mode = mHilited ? QIcon::Selected : QIcon::Normal;
    } else if (mError) {
        badge = BadgeIcon("dialog-warning", QStyle::SP_MessageBoxWarning); // never drawn selected
    } else if (mPackage && GetPrefBoolean(QStringLiteral("ShowMediaStorageBadge"))) {
        badge = IsStoredInPackage() ? BadgeIcon("drive-harddisk", QStyle::SP_DriveHDIcon)
                                    : BadgeIcon("emblem-symbolic-link", QStyle::SP_FileLinkIcon);
    }
    if (!badge.isNull())
        badge.paint(&painter, ToQRect(GetPartRect(kItemPartErrorBadge, cell, view)), Qt::AlignLeft | Qt::AlignTop, mode);
}
