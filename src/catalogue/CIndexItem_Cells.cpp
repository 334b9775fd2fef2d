// The item's cell in a view: the rectangles of its parts, hit testing, the file
// icon and the badges.
#include "CIndexItem.h"

#include "CIndexPackage.h"
#include "CItemError.h"
#include "ExceptionCode.h"
#include "IndexViewServices.h"
#include "Offscreen.h"
#include "Picture.h"
#include "PixPattern.h"
#include "Preferences.h"
#include "RectUtilities.h"
#include "ResourceUtilities.h"

#include <QIcon>
#include <QPainter>
#include <algorithm>

namespace {

constexpr int kBadgeSize = 16;
constexpr int kBadgeInset = 3;
constexpr int kMaxIconSide = 120;
// The media storage badges: the copy in the package, the file left in place.
const QString kStoredBadgeIcon = QStringLiteral("badge-stored.png");
const QString kLinkedBadgeIcon = QStringLiteral("badge-linked.png");

// A rectangle from its four edges, right and bottom exclusive.
QRect Edges(int left, int top, int right, int bottom)
{
    return QRect(left, top, right - left, bottom - top);
}

} // namespace

QRect CIndexItem::GetPartRect(SInt16 part, const QRect& cell, const IndexViewServices& view) const
{
    const int margin = view.GetMargin();
    const int lineHeight = view.GetLineHeight();
    const int lines = view.CountColumns();
    const QSize cellSize = view.GetCellSize();
    const bool extended = view.IsExtendedView();

    const int frameLeft = cell.left() + margin;
    const int frameTop = cell.top() + margin;
    const int frameBottom = cell.top() - margin + cellSize.height() - (extended ? 0 : lines * lineHeight);
    const int frameRight = extended ? frameLeft + (frameBottom - frameTop) : cell.left() - margin + cellSize.width();
    const QRect frame = Edges(frameLeft, frameTop, frameRight, frameBottom);

    switch (part) {
    case kItemPartThumbnailFrame:
        return frame;
    case kItemPartTextBlock: {
        if (!extended) {
            const int bottom = cell.top() + cellSize.height();
            return Edges(cell.left(), bottom - lines * lineHeight, cell.left() + cellSize.width(), bottom);
        }
        const int height = cellSize.height();
        const int down = lineHeight > 0 ? (height - ((height - lineHeight) / lineHeight + 1) * lineHeight) / 2 : 0;
        return Edges(frameRight, frameTop + down, cell.left() + cell.width() - margin, frameBottom + down);
    }
    case kItemPartErrorBadge:
        return Edges(frameRight - kBadgeInset - kBadgeSize, frameTop + kBadgeInset, frameRight - kBadgeInset,
            frameTop + kBadgeInset + kBadgeSize);
    case kItemPartPicture: {
        QRect bounds;
        if (HeldDisplayPicture()) {
            bounds = ToQRect(HeldDisplayPicture()->Bounds());
        } else if (HeldThumbnail()) {
            bounds = ToQRect(HeldThumbnail()->Frame());
            // A quarter turn exchanges width and height.
            if (mFlags & (kItemFlagRotate90CW | kItemFlagRotate90CCW))
                bounds = QRect(0, 0, bounds.height(), bounds.width());
        }
        return PlacePicture(bounds, cell, view);
    }
    default:
        return QRect {};
    }
}

QRect CIndexItem::PlacePicture(const QRect& bounds, const QRect& cell, const IndexViewServices& view) const
{
    // Never larger than its frame: a narrow window makes the frame smaller than
    // the size the user chose. Without proportions the whole square is the place.
    const QRect frame = GetPartRect(kItemPartThumbnailFrame, cell, view);
    const int side = std::min({ int(view.GetThumbnailSize()), frame.width(), frame.height() });
    const QRect square(0, 0, side, side);
    QRect picture = square;
    if (!bounds.isEmpty())
        FitRectInRect(bounds, square, picture, true, true);
    QRect placed;
    CenterRectInRect(picture, frame, placed);
    return placed;
}

SInt16 CIndexItem::HitTest(QPoint point, const QRect& cell, const IndexViewServices& view) const
{
    if (GetError() && GetPartRect(kItemPartErrorBadge, cell, view).contains(point))
        return kItemPartErrorBadge;
    if (GetPartRect(kItemPartPicture, cell, view).contains(point))
        return kItemPartPicture;
    if (GetPartRect(kItemPartTextBlock, cell, view).contains(point))
        return kItemPartTextBlock;
    return kItemPartNone;
}

SInt16 CIndexItem::FindTextLineAt(QPoint point, const QRect& cell, const IndexViewServices& view) const
{
    QRect block = GetPartRect(kItemPartTextBlock, cell, view);
    if (view.IsExtendedView()) // the label column is no line
        block.setLeft(block.left() + view.GetExtraColumnWidth() + int(8 * view.GetCharWidth()));
    const int lineHeight = view.GetLineHeight();
    if (!block.contains(point) || lineHeight <= 0)
        return -1;
    const int line = (point.y() - block.top()) / lineHeight;
    return line < view.CountColumns() ? SInt16(line) : SInt16(-1);
}

QRect CIndexItem::GetTextLineRect(SInt16 line, const QRect& cell, const IndexViewServices& view) const
{
    QRect block = GetPartRect(kItemPartTextBlock, cell, view);
    QRect row(block.left(), block.top() + line * view.GetLineHeight(), block.width(), view.GetLineHeight());
    if (view.IsExtendedView())
        row.setLeft(row.left() + view.GetExtraColumnWidth());
    return row;
}

void CIndexItem::DrawIcon(QPainter& painter, const QRect& cell, const IndexViewServices& view, bool selected)
{
    const QIcon icon = GetIcon();
    if (icon.isNull())
        ThrowOSErr_(err_NilPointer, "item without an icon");
    const QRect frame = GetPartRect(kItemPartThumbnailFrame, cell, view);
    const int side = std::min({frame.width(), frame.height(), kMaxIconSide});
    QRect square;
    CenterRectInRect(QRect(0, 0, side, side), frame, square);
    painter.fillRect(square, view.GetBackgroundBrush(PaintDevicePixelRatio(painter)));
    icon.paint(&painter, square, Qt::AlignCenter, selected ? QIcon::Selected : QIcon::Normal);
    DrawBadge(painter, cell, view, selected);
}

void CIndexItem::DrawBadge(QPainter& painter, const QRect& cell, const IndexViewServices& view, bool selected)
{
    const QRect badge = GetPartRect(kItemPartErrorBadge, cell, view);
    const Qt::Alignment corner = Qt::AlignLeft | Qt::AlignTop;
    if (IsBusy())
        PlotSystemIcon(painter, 'lock', badge, selected ? QIcon::Selected : QIcon::Normal, corner);
    else if (GetError())
        PlotSystemIcon(painter, 'caut', badge, QIcon::Normal, corner); // never drawn selected
    else if (mPackage && GetPrefBoolean(QStringLiteral("ShowMediaStorageBadge")))
        PlotBundleIcon(painter, IsStoredInPackage() ? kStoredBadgeIcon : kLinkedBadgeIcon, badge, QIcon::Normal, corner);
}
