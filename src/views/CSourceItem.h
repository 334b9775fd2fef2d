#pragma once

#include "LComparator.h"
#include "LDataBrowserItem.h"

#include <QString>

class CDataBrowser;
class CIndexDoc;
class CIndexView;
struct SourceListColors;

// Sort strings that fix the order of the file browser's sections and rows.
namespace SourceSort {
inline const char* const kDevicesHeader = "1";
inline const char* const kVolume = "2";
inline const char* const kPlacesHeader = "3";
inline const char* const kPlace = "4";
inline const char* const kRecentHeader = "5";
inline const char* const kRecentGroup = "6";
inline const char* const kUserItemsHeader = "7";
inline const char* const kUserItem = "8";
inline const char* const kLibraryRow = " ";
} // namespace SourceSort

// A row of a source list. Rows without a sort string sort after those with one.
class CSourceItem : public LDataBrowserItem {
public:
    explicit CSourceItem(const QString& sortString = QString());

    const QString& GetSortString() const { return mSortString; }
    bool HasSortString() const { return !mSortString.isNull(); }

    OSStatus GetSetItemData(DataBrowserPropertyID property, DataBrowserItemData& itemData, bool setValue) override;
    // Only user rows of the file browser can be dragged out of the list.
    virtual bool IsDraggable() const { return false; }
    // The row takes a click anywhere in its cell.
    bool HitTest(DataBrowserPropertyID, const QRect&, const QRect&) override { return true; }
    // A drop on the row: the row's own AcceptDrag / ReceiveDrag, which hand it to
    // the list (as a drop on no row) unless the row takes it itself.
    bool AcceptDrag(const QMimeData& drag) override;
    bool ReceiveDrag(const QMimeData& drag) override;
    bool AcceptItemDrag(DataBrowserPropertyID, const QRect&, const QMimeData& drag) override { return AcceptDrag(drag); }
    bool ReceiveItemDrag(DataBrowserPropertyID, const QMimeData& drag) override { return ReceiveDrag(drag); }
    CDataBrowser* GetSourceList() const;
    CIndexDoc* GetDocument() const;
    CIndexView* GetIndexView() const;

    // Draws a row in the source-list style: the fill, a 16 x 16 icon at the cell's
    // left edge, the name 20 pixels in and 2 down. `selectedFill` replaces the
    // selected colour (the theme highlight of some rows) when valid.
    static void DrawSourceRow(QPainter& painter, const QRect& cell, bool selected, const QIcon& icon,
        const QString& name, const SourceListColors& colors, const QColor& selectedFill = QColor());

private:
    QString mSortString;
};

// Orders source rows by their sort strings, case-insensitively; a row with one
// comes before a row without; two without are equal.
class CSourceItemComparator : public LComparator {
public:
    SInt32 Compare(const void* item1, const void* item2, UInt32 size1, UInt32 size2) const override;
    SInt32 CompareToKey(const void*, UInt32, const void*) const override { return 0; }
    LComparator* Clone() const override { return new CSourceItemComparator; }
    static SInt32 CompareRows(const CSourceItem* a, const CSourceItem* b);
};

// A section header: a container that cannot be selected or edited, drawn with its
// title engraved. Its open state lives in a preference, written when the header goes.
class CSourceItemDivider : public CSourceItem {
public:
    // The title is the localized text of `titleKey`; 'nilP' when there is none.
    CSourceItemDivider(const char* titleKey, const char* sortString, const char* openStatePref);
    ~CSourceItemDivider() override;

    const QString& GetTitle() const { return mTitle; }
    bool IsOpen() const { return mOpen; }
    void SetOpen(bool open) { mOpen = open; }
    // The stored open state: whether the list opens the section when built.
    bool GetStoredOpenState() const;
    const char* GetOpenStatePref() const { return mOpenStatePref; }

    OSStatus GetSetItemData(DataBrowserPropertyID property, DataBrowserItemData& itemData, bool setValue) override;
    void ItemNotification(DataBrowserItemNotification message) override;
    void DrawItem(DataBrowserPropertyID property, DataBrowserItemState state, const QRect& rect,
        QPainter& painter) override;
    QString GetAccessibleName() const override { return mTitle; }

private:
    QString mTitle;
    const char* mOpenStatePref;
    bool mOpen = false;
};

class CSourceItemDividerDevices : public CSourceItemDivider {
public:
    CSourceItemDividerDevices();
};

class CSourceItemDividerPlaces : public CSourceItemDivider {
public:
    CSourceItemDividerPlaces();
};

class CSourceItemDividerRecentItems : public CSourceItemDivider {
public:
    CSourceItemDividerRecentItems();
};

class CSourceItemDividerUserItems : public CSourceItemDivider {
public:
    CSourceItemDividerUserItems();
};
