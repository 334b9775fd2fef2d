#include "IndexGridGeometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

SInt32 Clamp32(qint64 value)
{
    return SInt32(std::clamp<qint64>(value, std::numeric_limits<SInt32>::min(), std::numeric_limits<SInt32>::max()));
}

SInt32 ClampSide(qint64 side)
{
    return SInt32(std::clamp<qint64>(side, 1, IndexGridGeometry::kMaxCellSide));
}

} // namespace

SInt32 IndexGridGeometry::Scaled(SInt32 length, double scale)
{
    const double product = double(length) * (std::isfinite(scale) ? scale : 1.0);
    return Clamp32(qint64(std::clamp(product, 0.0, double(std::numeric_limits<SInt32>::max()))));
}

SInt32 IndexGridGeometry::MaxThumbnailSize(QSize frame, const Metrics& metrics)
{
    const qint64 spacing = 2 * qint64(metrics.Spacing());
    return Clamp32(std::min(frame.width() - spacing - metrics.BesidePicture(), frame.height() - spacing - metrics.TextHeight()));
}

SInt32 IndexGridGeometry::ClampThumbnailSize(SInt32 size, QSize frame, const Metrics& metrics)
{
    // The minimum wins when the frame is too small for it.
    return std::max(std::min(size, MaxThumbnailSize(frame, metrics)), kMinThumbnailSize);
}

QSize IndexGridGeometry::CellSizeFor(SInt32 thumbnailSize, const Metrics& metrics)
{
    const qint64 side = qint64(thumbnailSize) + 2 * qint64(metrics.Spacing());
    const qint64 extra = metrics.extended
        ? qint64(Scaled(kExtendedWidth, metrics.scale)) + metrics.LabelWidth() - Scaled(kLabelWidth, metrics.scale)
        : 0;
    return QSize(ClampSide(side + extra), ClampSide(side + metrics.TextHeight()));
}

void IndexGridGeometry::SetCellSize(QSize cell)
{
    mCell = QSize(ClampSide(cell.width()), ClampSide(cell.height()));
}

void IndexGridGeometry::Layout(SInt32 frameWidth, SInt32 itemCount)
{
    mColumns = std::max<SInt32>(1, frameWidth / mCell.width());
    mCount = std::max<SInt32>(0, itemCount);
    mRows = SInt32((qint64(mCount) + mColumns - 1) / mColumns);
}

SDimension32 IndexGridGeometry::ImageSize(SInt32 frameWidth) const
{
    const qint64 width = std::max<qint64>(frameWidth, qint64(mColumns) * mCell.width());
    return { Clamp32(width), Clamp32(qint64(mRows) * mCell.height()) };
}

void IndexGridGeometry::FillFrame(QSize frame, bool horizontal, bool vertical)
{
    QSize cell = mCell;
    if (horizontal && frame.width() > 0)
        cell.rwidth() += (frame.width() - cell.width() * mColumns) / mColumns;
    if (vertical) {
        const SInt32 fitting = frame.height() / cell.height();
        if (fitting >= 1)
            cell.rheight() += (frame.height() - cell.height() * fitting) / fitting;
    }
    SetCellSize(cell);
}

void IndexGridGeometry::FitExtendedCells(SInt32 frameWidth, SInt32 leastHeight, const Metrics& metrics)
{
    if (frameWidth <= 0)
        return;
    const qint64 tallest = std::max<qint64>(leastHeight, qint64(frameWidth) - metrics.BesidePicture());
    const qint64 height = std::min<qint64>(mCell.height(), tallest);
    const qint64 narrowest = height + metrics.LabelWidth() + metrics.Spacing();
    SetCellSize(QSize(Clamp32(std::max<qint64>(std::min<qint64>(mCell.width(), frameWidth), narrowest)), Clamp32(height)));
}

QRect IndexGridGeometry::CellRect(SInt32 index) const
{
    if (index < 1 || index > mCount)
        return {};
    const qint64 row = (qint64(index) - 1) / mColumns;
    const qint64 column = (qint64(index) - 1) % mColumns;
    return QRect(Clamp32(column * mCell.width()), Clamp32(row * mCell.height()), mCell.width(), mCell.height());
}

SInt32 IndexGridGeometry::IndexAt(SPoint32 imagePoint, bool clamp) const
{
    if (mCount == 0)
        return 0;
    const bool inside = imagePoint.h >= 0 && imagePoint.v >= 0 && qint64(imagePoint.h) < qint64(mColumns) * mCell.width();
    const qint64 column = std::clamp<qint64>(imagePoint.h / mCell.width(), 0, mColumns - 1);
    const qint64 row = std::max<qint64>(0, imagePoint.v / mCell.height());
    const qint64 index = row * mColumns + column + 1;
    if (clamp)
        return SInt32(std::clamp<qint64>(index, 1, mCount));
    return inside && index <= mCount ? SInt32(index) : 0;
}

void IndexGridGeometry::VisibleRange(SInt32 top, SInt32 height, SInt32& outFirst, SInt32& outLast) const
{
    outFirst = outLast = 0;
    if (mCount == 0 || height <= 0)
        return;
    const qint64 firstRow = std::max<qint64>(0, qint64(top) / mCell.height());
    const qint64 lastRow = std::min<qint64>(mRows - 1, (qint64(top) + height - 1) / mCell.height());
    if (lastRow < firstRow || qint64(top) + height <= 0)
        return;
    outFirst = SInt32(std::min<qint64>(firstRow * mColumns + 1, mCount));
    outLast = SInt32(std::min<qint64>((lastRow + 1) * mColumns, mCount));
}

SInt32 IndexGridGeometry::ScrollTopFor(SInt32 index) const
{
    const QRect cell = CellRect(std::clamp(index, 1, std::max(1, mCount)));
    return Clamp32(qint64(cell.top()) + kScrollToSlack);
}

IndexGridGeometry::CellSpan IndexGridGeometry::CellsUnder(const QRect& imageRect) const
{
    if (imageRect.isEmpty())
        return {};
    auto rowOf = [&](qint64 y) { return SInt32(std::max<qint64>(0, y) / mCell.height() + 1); };
    auto columnOf = [&](qint64 x) { return SInt32(std::clamp<qint64>(std::max<qint64>(0, x) / mCell.width() + 1, 1, mColumns)); };
    // The rectangle's far edges are exclusive: the last pixel inside decides.
    const qint64 right = qint64(imageRect.left()) + imageRect.width() - 1;
    const qint64 bottom = qint64(imageRect.top()) + imageRect.height() - 1;
    if (right < 0 || bottom < 0)
        return {};
    return CellSpan { rowOf(imageRect.top()), rowOf(bottom), columnOf(imageRect.left()), columnOf(right) };
}

void IndexGridGeometry::MarqueeChanges(const CellSpan& before, const CellSpan& after, std::vector<SInt32>& outEntered,
    std::vector<SInt32>& outLeft) const
{
    outEntered.clear();
    outLeft.clear();
    if (before == after)
        return;
    auto rowsOf = [](const CellSpan& span, SInt32& first, SInt32& last) {
        first = span.IsEmpty() ? 1 : span.firstRow;
        last = span.IsEmpty() ? 0 : span.lastRow;
    };
    SInt32 firstBefore, lastBefore, firstAfter, lastAfter;
    rowsOf(before, firstBefore, lastBefore);
    rowsOf(after, firstAfter, lastAfter);
    const SInt32 lastListRow = mRows;
    const SInt32 from = std::max(1, std::min(before.IsEmpty() ? firstAfter : firstBefore, after.IsEmpty() ? firstBefore : firstAfter));
    const SInt32 to = std::min(lastListRow, std::max(lastBefore, lastAfter));
    for (SInt32 row = from; row <= to; ++row) {
        const bool inBefore = !before.IsEmpty() && row >= before.firstRow && row <= before.lastRow;
        const bool inAfter = !after.IsEmpty() && row >= after.firstRow && row <= after.lastRow;
        if (!inBefore && !inAfter)
            continue;
        if (inBefore && inAfter && before.firstColumn == after.firstColumn && before.lastColumn == after.lastColumn)
            continue; // the same cells of this row, before and after
        const SInt32 firstColumn = std::min(inBefore ? before.firstColumn : after.firstColumn, inAfter ? after.firstColumn : before.firstColumn);
        const SInt32 lastColumn = std::max(inBefore ? before.lastColumn : after.lastColumn, inAfter ? after.lastColumn : before.lastColumn);
        for (SInt32 column = firstColumn; column <= lastColumn; ++column) {
            const qint64 index = qint64(row - 1) * mColumns + column;
            if (index > mCount)
                break;
            const bool was = inBefore && before.Contains(row, column);
            const bool is = inAfter && after.Contains(row, column);
            if (is && !was)
                outEntered.push_back(SInt32(index));
            else if (was && !is)
                outLeft.push_back(SInt32(index));
        }
    }
}
