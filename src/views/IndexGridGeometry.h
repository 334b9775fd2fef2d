#pragma once

#include "IndexSettings.h"
#include "LPane.h"

#include <QRect>
#include <QSize>

#include <algorithm>
#include <vector>

// The thumbnail grid's geometry: equal cells in rows of `Columns()`, 1-based
// item indexes, everything in the view's image coordinates. Lengths are 32-bit
// and products are taken in 64 bits, so a view of any number of items lays out
// without wrapping; a cell size of 0 (or one too large) from the settings is
// brought into range instead of dividing by zero.
class IndexGridGeometry {
public:
    static constexpr SInt32 kMinThumbnailSize = IndexSettings::kMinThumbnailSize;
    static constexpr SInt32 kLabelWidth = 78;     // the extended view's label column, unscaled
    static constexpr SInt32 kExtendedWidth = 260; // added to the extended view's cells, unscaled
    static constexpr SInt32 kLeastValueWidth = 130; // the extended view's gap and value room in a narrow frame, unscaled
    static constexpr SInt32 kMaxCellSide = 32767; // the largest cell side
    static constexpr SInt32 kScrollToSlack = 4;   // an item scrolled to shows its row this far down

    // What the cell size follows: the preferences' spacing and line height, the
    // scale, the text lines under a thumbnail and the view mode.
    struct Metrics {
        double scale = 1.0;
        SInt32 spacing = 4;    // "IndexItemSpace", unscaled
        SInt32 lineHeight = 14; // "IndexItemNameHeigth", unscaled
        SInt32 textLines = 1;  // the fields shown under each thumbnail
        bool extended = false;
        SInt32 widestLabel = 0; // the extended view's widest field label, in pixels

        SInt32 Spacing() const { return Scaled(spacing, scale); }
        SInt32 LineHeight() const { return Scaled(lineHeight, scale); }
        // The label column: wide enough for its widest label.
        SInt32 LabelWidth() const { return std::max(Scaled(kLabelWidth, scale), widestLabel); }
        // The text under a thumbnail; none in the extended view.
        SInt32 TextHeight() const { return extended ? 0 : textLines * LineHeight(); }
        // What the extended view keeps beside the picture however narrow the frame:
        // the label column and some room for the values.
        SInt32 BesidePicture() const { return extended ? LabelWidth() + Scaled(kLeastValueWidth, scale) : 0; }
    };

    // The integer part of length x scale (never negative).
    static SInt32 Scaled(SInt32 length, double scale);
    // The largest thumbnail whose cell fits the frame (in the extended view, with
    // the labels and some value room beside it).
    static SInt32 MaxThumbnailSize(QSize frame, const Metrics& metrics);
    // Above the maximum it becomes the maximum, then below 32 it becomes 32.
    static SInt32 ClampThumbnailSize(SInt32 size, QSize frame, const Metrics& metrics);
    // The cell of a thumbnail size: the thumbnail, the spacing around it, the
    // text under it; the extended view's cells are wider by 260 x scale, and by
    // what the label column needs beyond its usual width.
    static QSize CellSizeFor(SInt32 thumbnailSize, const Metrics& metrics);

    QSize CellSize() const { return mCell; }
    void SetCellSize(QSize cell);
    SInt32 Columns() const { return mColumns; }
    SInt32 Rows() const { return mRows; }
    SInt32 ItemCount() const { return mCount; }

    // Columns for the frame's width (at least one), rows for the items.
    void Layout(SInt32 frameWidth, SInt32 itemCount);
    // The image that holds every cell (at least the frame's width), within 32 bits.
    SDimension32 ImageSize(SInt32 frameWidth) const;
    // Widens the cells so the columns fill the frame's width, and makes them taller
    // so whole rows fill its height (the two "AdjustThumbnailView" preferences).
    void FillFrame(QSize frame, bool horizontal, bool vertical);
    // The extended view's cells within a frame narrower than them: no wider than the
    // frame, and no taller than leaves the labels and some value room beside the
    // square picture (a taller cell has a wider picture). Never narrower than the
    // picture and its labels, nor lower than `leastHeight`.
    void FitExtendedCells(SInt32 frameWidth, SInt32 leastHeight, const Metrics& metrics);

    // The cell of an index; an empty rectangle for an index outside 1..count.
    QRect CellRect(SInt32 index) const;
    // The index at an image point, 0 for none. A point right of the last column
    // counts in that column, not in the next row. With clamp the nearest index of
    // the list answers instead of 0.
    SInt32 IndexAt(SPoint32 imagePoint, bool clamp) const;
    // The indexes of the rows that show between image rows top and top + height
    // (clamped to the list); first = last = 0 when none do.
    void VisibleRange(SInt32 top, SInt32 height, SInt32& outFirst, SInt32& outLast) const;
    // The image row the view scrolls to for an index.
    SInt32 ScrollTopFor(SInt32 index) const;

    // The cells under a marquee rectangle: 1-based rows and columns, the column
    // limited to the column count. Empty for an empty rectangle.
    struct CellSpan {
        SInt32 firstRow = 0, lastRow = -1, firstColumn = 0, lastColumn = -1;
        bool IsEmpty() const { return lastRow < firstRow || lastColumn < firstColumn; }
        bool Contains(SInt32 row, SInt32 column) const
        {
            return row >= firstRow && row <= lastRow && column >= firstColumn && column <= lastColumn;
        }
        friend bool operator==(const CellSpan&, const CellSpan&) = default;
    };
    CellSpan CellsUnder(const QRect& imageRect) const;
    // The indexes that entered (to select) and left (to deselect) when the marquee
    // went from one span to the other, row by row, within the item count.
    void MarqueeChanges(const CellSpan& before, const CellSpan& after, std::vector<SInt32>& outEntered,
        std::vector<SInt32>& outLeft) const;

private:
    QSize mCell { 160, 160 };
    SInt32 mColumns = 1;
    SInt32 mRows = 0;
    SInt32 mCount = 0;
};
