#pragma once

#include "IndexViewServices.h"

#include <QString>
#include <vector>

// An index view as the catalogue sees it: lays cells out with fixed metrics.
class TestIndexView : public IndexViewServices {
public:
    SInt16 GetThumbnailSize() const override { return thumbnailSize; }
    SInt16 GetMargin() const override { return 4; }
    SInt16 GetLineHeight() const override { return 12; }
    SInt16 GetExtraColumnWidth() const override { return 30; }
    double GetCharWidth() const override { return 5.0; }
    QSize GetCellSize() const override { return QSize(cellWidth, extended ? 60 : 140); }
    SInt32 CountColumns() const override { return columns.empty() ? lines : SInt32(columns.size()); }
    bool IsExtendedView() const override { return extended; }
    SInt32 GetColumnAt(SInt32 position) const override
    {
        return position >= 0 && position < SInt32(columns.size()) ? columns[size_t(position)] : 0;
    }
    SInt32 lines = 2;
    bool extended = false;
    int cellWidth = 120;
    SInt16 thumbnailSize = 100;
    std::vector<SInt32> columns; // when set, the column keys of the lines
};
