#pragma once

#include "Geometry.h"
#include "MacTypes.h"

#include <QColor>
#include <QSize>

#include <QUrl>

class CIndexItem;

// What the catalogue asks of the index view that shows its items. The view lives
// in a higher layer and implements this; the catalogue only ever holds the
// interface. Every operation is answered without throwing.
class IndexViewServices {
public:
    virtual ~IndexViewServices() = default;

    // Appends a file to the list deleted after the next successful write
    // (CIndexView::DeletePendingFiles); false when the view keeps no such list.
    virtual bool AddFileToDelete(const QUrl& file) = 0;

    // The 1-based position of the item in the view's current list, 0 when absent.
    virtual SInt32 GetIndexOfItem(const CIndexItem* item) const = 0;

    // Raises or lowers the view's count of highlighted items.
    virtual void Hilite() = 0;
    virtual void Unhilite() = 0;

    // The side of the thumbnail square the view draws, in pixels.
    virtual SInt16 GetThumbnailSize() const = 0;

    // Cell geometry the items lay themselves out by.
    virtual SInt16 GetMargin() const { return 4; }
    virtual SInt16 GetLineHeight() const { return 14; }
    virtual SInt16 GetExtraColumnWidth() const { return 0; }
    virtual double GetCharWidth() const { return 7.0; }
    virtual QColor GetBackgroundColor() const { return Qt::white; }
    virtual QSize GetCellSize() const = 0;
    // Column keys of the current mode (the text lines under each thumbnail).
    virtual SInt32 CountColumns() const = 0;
    // The extended list (mode 1019) rather than the thumbnail grid.
    virtual bool IsExtendedView() const = 0;
};
