#include "CSourceItem.h"

#include "CDataBrowser.h"
#include "ExceptionCode.h"
#include "LocalizedStrings.h"
#include "Preferences.h"
#include "ThemeText.h"

#include <QPainter>

namespace {

constexpr int kIconSide = 16;
constexpr int kNameInset = 20;
constexpr int kNameTop = 2;
constexpr int kTitleInset = 20;
constexpr int kTitleTop = 4;

const CSourceItem* SourceRow(const void* element)
{
    // The browser compares addresses of its item pointers.
    const LDataBrowserItem* item = *static_cast<LDataBrowserItem* const*>(element);
    return dynamic_cast<const CSourceItem*>(item);
}

} // namespace

CSourceItem::CSourceItem(const QString& sortString)
    : mSortString(sortString)
{
}

OSStatus CSourceItem::GetSetItemData(DataBrowserPropertyID property, DataBrowserItemData& itemData, bool setValue)
{
    if (setValue)
        return errDataBrowserPropertyNotSupported;
    switch (property) {
    case kDataBrowserItemIsSelectableProperty:
        itemData.value = true;
        return noErr;
    case kDataBrowserItemIsEditableProperty:
    case kDataBrowserItemIsContainerProperty:
        itemData.value = false;
        return noErr;
    default:
        return errDataBrowserPropertyNotSupported;
    }
}

bool CSourceItem::AcceptDrag(const QMimeData& drag)
{
    CDataBrowser* list = GetSourceList();
    return list && list->AcceptDragItem(drag);
}

bool CSourceItem::ReceiveDrag(const QMimeData& drag)
{
    CDataBrowser* list = GetSourceList();
    return list && list->ReceiveDragItem(drag);
}

CDataBrowser* CSourceItem::GetSourceList() const
{
    return dynamic_cast<CDataBrowser*>(GetOwningBrowser());
}

CIndexDoc* CSourceItem::GetDocument() const
{
    CDataBrowser* list = GetSourceList();
    return list ? list->GetDocument() : nullptr;
}

CIndexView* CSourceItem::GetIndexView() const
{
    CDataBrowser* list = GetSourceList();
    return list ? list->GetIndexView() : nullptr;
}

void CSourceItem::DrawSourceRow(QPainter& painter, const QRect& cell, bool selected, const QIcon& icon,
    const QString& name, const SourceListColors& colors, const QColor& selectedFill)
{
    painter.fillRect(cell, selected ? (selectedFill.isValid() ? selectedFill : colors.selectedFill) : colors.fill);
    if (!icon.isNull())
        icon.paint(&painter, QRect(cell.left(), cell.top() + (cell.height() - kIconSide) / 2, kIconSide, kIconSide));
    painter.setPen(selected ? colors.selectedText : colors.text);
    painter.setFont(ThemeFont(kThemeSmallSystemFont));
    const QRect text = cell.adjusted(kNameInset, 0, 0, 0);
    const QString shown = painter.fontMetrics().elidedText(name, Qt::ElideMiddle, text.width());
    painter.drawText(text.adjusted(0, kNameTop / 2, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, shown);
}

SInt32 CSourceItemComparator::CompareRows(const CSourceItem* a, const CSourceItem* b)
{
    const bool aHas = a && a->HasSortString();
    const bool bHas = b && b->HasSortString();
    if (aHas != bHas)
        return aHas ? -1 : 1;
    if (!aHas)
        return 0;
    const int order = a->GetSortString().compare(b->GetSortString(), Qt::CaseInsensitive);
    return order < 0 ? -1 : order > 0 ? 1 : 0;
}

SInt32 CSourceItemComparator::Compare(const void* item1, const void* item2, UInt32, UInt32) const
{
    return CompareRows(SourceRow(item1), SourceRow(item2));
}

CSourceItemDivider::CSourceItemDivider(const char* titleKey, const char* sortString, const char* openStatePref)
    : CSourceItem(QString::fromLatin1(sortString))
    , mTitle(CopyLocalizedString(QString::fromLatin1(titleKey)))
    , mOpenStatePref(openStatePref)
{
    if (mTitle.isEmpty() || mTitle == QLatin1String(titleKey))
        ThrowOSErr_(err_NilPointer, std::string("no text for the section title ") + titleKey);
}

CSourceItemDivider::~CSourceItemDivider()
{
    CatchCode([&] { SetPrefBoolean(QString::fromLatin1(mOpenStatePref), mOpen); });
}

bool CSourceItemDivider::GetStoredOpenState() const
{
    return GetPrefBoolean(QString::fromLatin1(mOpenStatePref));
}

OSStatus CSourceItemDivider::GetSetItemData(DataBrowserPropertyID property, DataBrowserItemData& itemData, bool setValue)
{
    if (setValue)
        return errDataBrowserPropertyNotSupported;
    switch (property) {
    case kDataBrowserItemIsSelectableProperty:
    case kDataBrowserItemIsEditableProperty:
        itemData.value = false;
        return noErr;
    case kDataBrowserItemIsContainerProperty:
        itemData.value = true;
        return noErr;
    default:
        return errDataBrowserPropertyNotSupported;
    }
}

void CSourceItemDivider::ItemNotification(DataBrowserItemNotification message)
{
    CDataBrowser* list = GetSourceList();
    switch (message) {
    case kDataBrowserUserToggledContainer:
        mOpen = !mOpen;
        break;
    case kDataBrowserContainerOpened:
        if (list)
            list->SectionOpened(*this);
        mOpen = true;
        break;
    case kDataBrowserContainerClosed:
        if (list)
            list->SectionClosed(*this);
        break;
    default:
        CSourceItem::ItemNotification(message); // deletes the header on removal
        break;
    }
}

void CSourceItemDivider::DrawItem(DataBrowserPropertyID property, DataBrowserItemState state, const QRect& rect,
    QPainter& painter)
{
    CDataBrowser* list = GetSourceList();
    if (property != kSourceNameProperty || !list)
        return;
    const SourceListColors& colors = list->GetColors();
    const bool selected = state & kDataBrowserItemIsSelected;
    painter.fillRect(rect, selected ? colors.selectedFill : colors.fill);
    painter.setFont(ThemeFont(kThemeSmallEmphasizedSystemFont));
    // The row's left edge, not the cell's: the disclosure triangle sits before the cell.
    const QRect title(std::max(rect.left() + 4, kTitleInset), rect.top() + kTitleTop - 2,
        rect.right() - std::max(rect.left() + 4, kTitleInset), rect.height());
    const QString shown = painter.fontMetrics().elidedText(mTitle, Qt::ElideRight, title.width());
    // Engraved: light one pixel lower, the title colour on top.
    painter.setPen(selected ? colors.selectedText : colors.engraveLight);
    painter.drawText(title.translated(0, 1), Qt::AlignLeft | Qt::AlignVCenter, shown);
    painter.setPen(selected ? colors.selectedText : colors.engraveDark);
    painter.drawText(title, Qt::AlignLeft | Qt::AlignVCenter, shown);
}

CSourceItemDividerDevices::CSourceItemDividerDevices()
    : CSourceItemDivider("600:140", SourceSort::kDevicesHeader, "SourceListDevicesOpenState")
{
}

CSourceItemDividerPlaces::CSourceItemDividerPlaces()
    : CSourceItemDivider("600:141", SourceSort::kPlacesHeader, "SourceListPlacesOpenState")
{
}

CSourceItemDividerRecentItems::CSourceItemDividerRecentItems()
    : CSourceItemDivider("600:142", SourceSort::kRecentHeader, "SourceListRecentOpenState")
{
}

CSourceItemDividerUserItems::CSourceItemDividerUserItems()
    : CSourceItemDivider("600:143", SourceSort::kUserItemsHeader, "SourceListUsseerItemsOpenState")
{
}
