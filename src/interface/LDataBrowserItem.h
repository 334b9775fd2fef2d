#pragma once

#include "Geometry.h"
#include "MacTypes.h"

#include <QIcon>
#include <QVariant>

class LDataBrowser;
class QMimeData;
class QPainter;
class QRegion;

using DataBrowserItemID = quintptr; // the item's address; 0 = none, the root
using DataBrowserPropertyID = UInt32;
using DataBrowserItemState = UInt32;
using DataBrowserItemNotification = UInt32;

// Item notifications, as the control numbered them.
enum : DataBrowserItemNotification {
    kDataBrowserItemAdded = 1,
    kDataBrowserItemRemoved = 2,
    kDataBrowserEditStarted = 3,
    kDataBrowserEditStopped = 4,
    kDataBrowserItemSelected = 5,
    kDataBrowserItemDeselected = 6,
    kDataBrowserItemDoubleClicked = 7,
    kDataBrowserContainerOpened = 8,
    kDataBrowserContainerClosed = 10,
    kDataBrowserUserStateChanged = 13,
    kDataBrowserSelectionSetChanged = 14,
    kDataBrowserUserToggledContainer = 16,
};

// The standard item properties every row may answer (GetSetItemData): whether it
// can be selected, edited, and whether it is a container that opens.
enum : UInt32 {
    kDataBrowserItemIsSelectableProperty = 2,
    kDataBrowserItemIsEditableProperty = 3,
    kDataBrowserItemIsContainerProperty = 4,
};

// Item states for counting and iterating.
enum : DataBrowserItemState {
    kDataBrowserItemAnyState = DataBrowserItemState(-1),
    kDataBrowserItemNoState = 0,
    kDataBrowserItemIsSelected = 1 << 0,
};

// What a custom cell's tracking answers: the click was on its content, on nothing, or
// the item took the click over entirely (no selection change follows).
enum : SInt16 {
    kDataBrowserStopTracking = -1,
    kDataBrowserNothingHit = 0,
    kDataBrowserContentHit = 1,
};

// What a key filter answers for a key typed into an in-place edit.
enum ControlKeyFilterResult : SInt16 {
    kControlKeyFilterBlockKey = 0,
    kControlKeyFilterPassKey = 1,
};

enum : OSStatus {
    errDataBrowserItemNotFound = -4971,
    errDataBrowserPropertyNotFound = -4972,
    errDataBrowserPropertyNotSupported = -4979,
};

// What an item hands its browser for one property of its row, or takes from it:
// the text, the icon, a check state or any other value a column shows.
struct DataBrowserItemData {
    QVariant value; // text (QString), number, or check state (bool)
    QIcon icon; // for icon-and-text columns
    bool editable = false;
};

// One row of a data browser. The item's address is its ID. Subclasses answer
// for their rows' properties; the browser tells them what happens to their rows.
class LDataBrowserItem {
public:
    LDataBrowserItem() = default;
    LDataBrowserItem(const LDataBrowserItem&) = delete;
    LDataBrowserItem& operator=(const LDataBrowserItem&) = delete;
    virtual ~LDataBrowserItem();

    LDataBrowser* GetOwningBrowser() const { return mBrowser; }
    DataBrowserItemID GetContainer() const { return mContainer; }
    DataBrowserItemID GetItemID() const { return DataBrowserItemID(this); }

    // Answers the property's value (setValue false) or takes it (true);
    // errDataBrowserPropertyNotSupported for a property the item does not have.
    virtual OSStatus GetSetItemData(DataBrowserPropertyID property, DataBrowserItemData& itemData, bool setValue);
    // The default deletes the item when its row is removed.
    virtual void ItemNotification(DataBrowserItemNotification message);
    virtual bool AddDragItem(QMimeData& drag);
    virtual bool AcceptDrag(const QMimeData& drag);
    virtual bool ReceiveDrag(const QMimeData& drag);
    // The rectangle of the property's cell in the browser; found false when the row is not shown.
    virtual void GetPartBounds(DataBrowserPropertyID property, QRect& outRect, bool& outFound);
    // Has the browser show the property again, and ask again whether the row may
    // be selected (the browser keeps that answer from when the row was added).
    virtual void Update(DataBrowserPropertyID property);
    // Custom drawing of a cell; nothing by default.
    virtual void DrawItem(DataBrowserPropertyID property, DataBrowserItemState state, const QRect& rect, QPainter& painter);
    // The width a custom cell's drawing takes, which a column sized to its contents
    // makes room for; 0: as wide as the cell's text.
    virtual int GetCustomWidth(DataBrowserPropertyID) const { return 0; }
    // What a screen reader says for a row whose cells are drawn rather than given as
    // text; empty for the cells' own text.
    virtual QString GetAccessibleName() const { return {}; }
    virtual bool IsCustomQuery() { return false; }
    // The next five serve the cells of custom-type columns ('????'). A click there hits
    // the row only when HitTest says so (rect: the cell, mouseRect: the click); then
    // TrackItem follows the click from `start` and answers a part (kDataBrowserNothingHit
    // by default; kDataBrowserStopTracking keeps the selection as it was).
    virtual bool HitTest(DataBrowserPropertyID property, const QRect& rect, const QRect& mouseRect);
    virtual SInt16 TrackItem(DataBrowserPropertyID property, const QRect& rect, QPoint start, UInt16 modifiers);
    // The outline the cell adds to a drag's picture; nothing by default.
    virtual void GetDragRegion(DataBrowserPropertyID property, const QRect& rect, QRegion& region);
    // A drag over the cell and a drop on it.
    virtual bool AcceptItemDrag(DataBrowserPropertyID property, const QRect& rect, const QMimeData& drag);
    virtual bool ReceiveItemDrag(DataBrowserPropertyID property, const QMimeData& drag);
    // Keys typed into the item's in-place edit of a property; every key passes by default.
    virtual ControlKeyFilterResult EditKeyFilter(DataBrowserPropertyID property, UInt16 keyCode, UInt16 charCode,
        UInt16 modifiers);

protected:
    // For an item that outlives its row: forgets the browser it was removed from.
    void ForgetBrowser()
    {
        mBrowser = nullptr;
        mContainer = 0;
    }

private:
    friend class LDataBrowser;
    LDataBrowser* mBrowser = nullptr;
    DataBrowserItemID mContainer = 0;
};
