#pragma once

#include "Geometry.h"
#include "MacTypes.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QSize>
#include <QString>
#include <QUrl>

class CIndexItem;

// What the catalogue asks of the index view that shows its items. The view lives
// in a higher layer and implements this; the catalogue only ever holds the
// interface. Every operation is answered without throwing.
class IndexViewServices {
public:
    virtual ~IndexViewServices() = default;

    // The side of the thumbnail square the view draws, in pixels.
    virtual SInt16 GetThumbnailSize() const = 0;

    // Cell geometry the items lay themselves out by.
    virtual SInt16 GetMargin() const { return 4; }
    virtual SInt16 GetLineHeight() const { return 14; }
    virtual SInt16 GetExtraColumnWidth() const { return 0; }
    virtual double GetCharWidth() const { return 7.0; }
    virtual QColor GetBackgroundColor() const { return Qt::white; }
    // What the background is filled with on a device of that pixel ratio: the
    // background colour, or the view's pattern, which lines up with the view's own fill.
    virtual QBrush GetBackgroundBrush(qreal devicePixelRatio) const
    {
        (void)devicePixelRatio;
        return GetBackgroundColor();
    }
    virtual QSize GetCellSize() const = 0;
    // Column keys of the current mode (the text lines under each thumbnail).
    virtual SInt32 CountColumns() const = 0;
    // The extended list (mode 1019) rather than the thumbnail grid.
    virtual bool IsExtendedView() const = 0;
    // The column key at a 0-based position of the current mode's column list; 0
    // outside the list.
    virtual SInt32 GetColumnAt(SInt32 position) const
    {
        (void)position;
        return 0;
    }

    // How cells are drawn. Themes 1, 5 and 14 frame pictures with plain grey
    // lines; the others draw the media group boxes of the view's pane and use the
    // theme's colours.
    virtual SInt32 GetTheme() const { return 1; }
    virtual QColor GetHighlightColor() const { return QColor(56, 117, 215); }
    virtual QColor GetTextColor() const { return Qt::black; }
    // The line under each row of the extended list (themes other than 1, 5, 14).
    virtual QColor GetLineColor() const { return QColor(0xCC, 0xCC, 0xCC); }
    // The extended view's label column and value area, where the view has no
    // background of its own (a dark palette's view answers darker ones).
    virtual QColor GetLabelColor() const { return QColor(0xEE, 0xEE, 0xEE); }
    virtual QColor GetValueColor() const { return Qt::white; }
    // A background of the view's own (a pattern, a picture): lines leave it showing.
    virtual bool HasOwnBackground() const { return false; }
    virtual QFont GetLabelFont() const { return QFont(); }
    // The font of the urgency label (6020).
    virtual QFont GetViewsFont() const { return QFont(); }

    // The index shown full screen: a held Option key does not pick the other viewer.
    virtual bool IsFullScreen() const { return false; }

    // How far (in pixels, signed) the item's picture is drawn beside its place
    // while it slides back into it after being selected ("ShowSlideEffect").
    virtual int GetPictureSlide(const CIndexItem& item) const
    {
        (void)item;
        return 0;
    }

    // Tells the view's listeners that an item's field was changed from its row
    // (message 3001 without a parameter).
    virtual void ItemsChanged() {}
};
