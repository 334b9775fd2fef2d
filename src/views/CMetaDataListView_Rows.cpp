// The organizer's rows: the whole index, a field's group and one value.

#include "CMetaDataListView.h"

#include "CIndexView.h"
#include "LocalizedStrings.h"
#include "OrganizerValues.h"
#include "Preferences.h"
#include "ResourceUtilities.h"
#include "ThemeText.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QSet>
#include <QTreeView>

#include <cmath>

namespace {

constexpr OSType kOrvexCreator = 'JWZ7';

// The badge: at least this wide, the text this far from its ends.
constexpr int kBadgeMinWidth = 24;
constexpr int kBadgeTextMargin = 8;
constexpr int kBadgeRightMargin = 2;
constexpr qreal kBadgeHeight = 14;
constexpr qreal kSelectedBadgeHeight = 13;

QIcon OrganizerIcon(OSType type, const char* fileName)
{
    return RegisterBundleIcon(kOrvexCreator, type, QString::fromLatin1(fileName));
}

bool IsItemDrag(const QMimeData& drag, const CIndexModel* model)
{
    return model && !DraggedIndexItems(drag, *model).empty();
}

LWindow* WindowOf(CIndexView* view)
{
    return view ? view->GetContainingWindow() : nullptr;
}

CMetaDataListView* OrganizerOf(const LDataBrowserItem& row)
{
    return dynamic_cast<CMetaDataListView*>(row.GetOwningBrowser());
}

CIndexView* ViewOf(const LDataBrowserItem& row)
{
    CMetaDataListView* organizer = OrganizerOf(row);
    return organizer ? organizer->GetOrganizedView() : nullptr;
}

// The model whose values the row stands for.
CIndexModel* ModelOf(const LDataBrowserItem& row)
{
    CMetaDataListView* organizer = OrganizerOf(row);
    return organizer ? organizer->GetOrganizedModel() : nullptr;
}

bool IsTreeActive(const LDataBrowserItem& row)
{
    LDataBrowser* browser = row.GetOwningBrowser();
    return browser && browser->isActiveWindow();
}

// The relative luminance of a colour, as legibility is reckoned.
double Luminance(const QColor& colour)
{
    auto linear = [](double c) { return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) + 0.0722 * linear(colour.blueF());
}

double Contrast(const QColor& one, const QColor& two)
{
    const double a = Luminance(one);
    const double b = Luminance(two);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

// Of the colours the palette gives, the one that reads best on `fill`.
QColor ReadableOn(const QColor& fill, std::initializer_list<QColor> candidates)
{
    return *std::max_element(candidates.begin(), candidates.end(),
        [&](const QColor& a, const QColor& b) { return Contrast(fill, a) < Contrast(fill, b); });
}

} // namespace

int CountBadgeWidth(qsizetype count)
{
    const QFontMetrics metrics(ThemeFont(kThemeSmallEmphasizedSystemFont));
    return std::max(kBadgeMinWidth, metrics.horizontalAdvance(QString::number(count)) + kBadgeTextMargin)
        + kBadgeRightMargin;
}

void DrawCountBadge(QPainter& painter, const QRect& cell, qsizetype count, bool selected, bool active,
    const QPalette& palette)
{
    if (selected) {
        const QPalette::ColorGroup group = active ? QPalette::Active : QPalette::Inactive;
        painter.fillRect(cell, palette.color(group, QPalette::Highlight));
    }
    if (count <= 0)
        return;
    const QString text = QString::number(count);
    const QFont font = ThemeFont(kThemeSmallEmphasizedSystemFont);
    const int width = CountBadgeWidth(count) - kBadgeRightMargin;
    const qreal height = selected ? kSelectedBadgeHeight : kBadgeHeight;
    const QRectF badge(cell.right() + 1 - width - kBadgeRightMargin, cell.top() + (cell.height() - height) / 2.0,
        width, height);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setClipRect(cell);
    painter.setPen(Qt::NoPen);
    // The badge follows the palette: on a plain row a pill of the text's colour a
    // little towards the ground, on a selected row one of the selected text's; the
    // figures take whichever of the ground, the text and the list's base reads best on it.
    const QPalette::ColorGroup group = active ? QPalette::Active : QPalette::Inactive;
    const QColor ink = palette.color(group, QPalette::Text);
    const QColor ground = palette.color(group, selected ? QPalette::Highlight : QPalette::Base);
    QColor fill = palette.color(group, QPalette::HighlightedText);
    if (!selected) {
        constexpr float kTowardsGround = 0.25f;
        fill = QColor::fromRgbF(ink.redF() + (ground.redF() - ink.redF()) * kTowardsGround,
            ink.greenF() + (ground.greenF() - ink.greenF()) * kTowardsGround,
            ink.blueF() + (ground.blueF() - ink.blueF()) * kTowardsGround);
    }
    painter.setBrush(fill);
    painter.drawRoundedRect(badge, height / 2.0, height / 2.0);
    painter.setFont(font);
    painter.setPen(ReadableOn(fill, { ground, ink, palette.color(group, QPalette::Base) }));
    painter.drawText(badge, Qt::AlignCenter, text);
    painter.restore();
}

// --- The whole index --------------------------------------------------------------------------------

CSourceItemLibrary::CSourceItemLibrary()
    : CSourceItem(QString::fromLatin1(SourceSort::kLibraryRow))
{
}

OSStatus CSourceItemLibrary::GetSetItemData(DataBrowserPropertyID property, DataBrowserItemData& itemData, bool setValue)
{
    if (setValue)
        return errDataBrowserPropertyNotSupported;
    switch (property) {
    case kSourceNameProperty:
        itemData.value = CopyLocalizedString(QStringLiteral("600:138"));
        itemData.icon = OrganizerIcon('LIBr', "organizer-library.icns");
        return noErr;
    case kSourceCountProperty:
        if (CIndexModel* model = ModelOf(*this))
            itemData.value = QString::number(model->CountAllItems());
        return noErr;
    default:
        return CSourceItem::GetSetItemData(property, itemData, setValue);
    }
}

void CSourceItemLibrary::ItemNotification(DataBrowserItemNotification message)
{
    if (message == kDataBrowserItemSelected) {
        CMetaDataListView* organizer = OrganizerOf(*this);
        CIndexView* view = ViewOf(*this);
        if (organizer && view && !organizer->IsChangingSelection()) {
            CMetaDataListView::RunReported([&] {
                view->ShowAllItems(true);
                SInt32 state = 0;
                view->BroadcastMessage(msg_ViewStateChanged, &state);
            });
        }
        return;
    }
    CSourceItem::ItemNotification(message);
}

void CSourceItemLibrary::DrawItem(DataBrowserPropertyID property, DataBrowserItemState state, const QRect& rect,
    QPainter& painter)
{
    CIndexModel* model = ModelOf(*this);
    if (property != kSourceCountProperty || !model)
        return;
    DrawCountBadge(painter, rect, model->CountAllItems(), state & kDataBrowserItemIsSelected, IsTreeActive(*this),
        GetOwningBrowser()->GetControlRef()->palette());
}

int CSourceItemLibrary::GetCustomWidth(DataBrowserPropertyID property) const
{
    CIndexModel* model = ModelOf(*this);
    return property == kSourceCountProperty && model ? CountBadgeWidth(model->CountAllItems()) : 0;
}

// --- A field's group --------------------------------------------------------------------------------

CSourceParentDynamic::CSourceParentDynamic(SInt32 fieldKey)
    : mFieldKey(fieldKey)
    , mFieldName(OrganizerFieldName(fieldKey))
{
}

CSourceParentDynamic::~CSourceParentDynamic()
{
    SetPrefBoolean(QString::number(mFieldKey), mOpen);
}

OSStatus CSourceParentDynamic::GetSetItemData(DataBrowserPropertyID property, DataBrowserItemData& itemData,
    bool setValue)
{
    if (setValue)
        return errDataBrowserPropertyNotSupported;
    switch (property) {
    case kSourceNameProperty:
        itemData.value = mFieldName;
        itemData.icon = OrganizerIcon('FOLe', "organizer-group.icns");
        return noErr;
    case kSourceCountProperty:
        return noErr;
    case kDataBrowserItemIsContainerProperty:
        itemData.value = true;
        return noErr;
    case kDataBrowserItemIsSelectableProperty:
    case kDataBrowserItemIsEditableProperty:
        itemData.value = false;
        return noErr;
    default:
        return CSourceItem::GetSetItemData(property, itemData, setValue);
    }
}

void CSourceParentDynamic::ItemNotification(DataBrowserItemNotification message)
{
    switch (message) {
    case kDataBrowserItemAdded:
        if (GetPrefBoolean(QString::number(mFieldKey)))
            GetOwningBrowser()->OpenContainer(this);
        break;
    case kDataBrowserContainerOpened:
        AddValueRows();
        mOpen = true;
        break;
    case kDataBrowserContainerClosed:
        mOpen = false;
        break;
    default:
        CSourceItem::ItemNotification(message);
        break;
    }
}

void CSourceParentDynamic::AddValueRows()
{
    CIndexModel* model = ModelOf(*this);
    CMetaDataListView* organizer = OrganizerOf(*this);
    const CIndexModel::ValueSets* sets = model ? model->GetValueSets(mFieldKey) : nullptr;
    if (!sets || !organizer)
        return;
    std::vector<LDataBrowserItem*> rows;
    for (const QString& value : OrganizerListedValues(*sets, mFieldKey, GetPrefBoolean(kShowEmptyKeysPref)))
        rows.push_back(new CSourceItemDynamic(mFieldKey, value));
    // Made in their order (the browser's own, case-insensitive), the rows need no sort of their own.
    organizer->AddItemsInOrder(rows, GetItemID());
}

std::vector<CSourceItemDynamic*> CSourceParentDynamic::GetValueRows() const
{
    std::vector<CSourceItemDynamic*> rows;
    LDataBrowser* browser = GetOwningBrowser();
    if (!browser)
        return rows;
    for (LDataBrowserItem* child : browser->GetImp().GetModel().Children(GetItemID())) {
        if (auto* row = dynamic_cast<CSourceItemDynamic*>(child))
            rows.push_back(row);
    }
    return rows;
}

void CSourceParentDynamic::RefreshValueRows()
{
    CIndexModel* model = ModelOf(*this);
    LDataBrowser* browser = GetOwningBrowser();
    const CIndexModel::ValueSets* sets = model ? model->GetValueSets(mFieldKey) : nullptr;
    if (!sets || !browser)
        return;
    // Only the rows added need an order: the values are not sorted as a whole.
    const bool showEmpty = GetPrefBoolean(kShowEmptyKeysPref);
    QSet<QString> wanted;
    wanted.reserve(sets->size());
    for (auto entry = sets->cbegin(); entry != sets->cend(); ++entry) {
        if (OrganizerListsValue(mFieldKey, entry.value(), showEmpty))
            wanted.insert(entry.key());
    }
    QSet<QString> present;
    for (CSourceItemDynamic* row : GetValueRows()) {
        if (!wanted.contains(row->GetValue())) {
            browser->RemoveItem(row);
            continue;
        }
        present.insert(row->GetValue());
    }
    // The counts are read as the rows draw: one change for them all, not one a row.
    browser->UpdateChildren(GetItemID(), kSourceCountProperty);
    std::vector<QString> newValues;
    for (const QString& value : std::as_const(wanted)) {
        if (!present.contains(value))
            newValues.push_back(value);
    }
    SortOrganizerValues(newValues);
    std::vector<LDataBrowserItem*> added;
    for (const QString& value : newValues)
        added.push_back(new CSourceItemDynamic(mFieldKey, value));
    if (!added.empty())
        browser->AddItems(added, GetItemID());
}

bool CSourceParentDynamic::AcceptDrag(const QMimeData& drag)
{
    return OrganizerGroupAcceptsDrop(mFieldKey) && IsItemDrag(drag, ModelOf(*this));
}

bool CSourceParentDynamic::ReceiveDrag(const QMimeData& drag)
{
    CIndexModel* model = ModelOf(*this);
    if (!model || !OrganizerGroupAcceptsDrop(mFieldKey))
        return false;
    CSearchTask* task = nullptr;
    CMetaDataListView::RunReported(
        [&] { task = StartGroupDrop(*model, mFieldKey, DraggedIndexItems(drag, *model), WindowOf(ViewOf(*this))); });
    return task != nullptr;
}

// --- One value --------------------------------------------------------------------------------------

CSourceItemDynamic::CSourceItemDynamic(SInt32 fieldKey, const QString& value)
    : CSourceItem(value)
    , mFieldKey(fieldKey)
    , mValue(value)
{
}

CMetaDataListView* CSourceItemDynamic::GetOrganizer() const
{
    return OrganizerOf(*this);
}

qsizetype CSourceItemDynamic::CountMembers() const
{
    CIndexModel* model = ModelOf(*this);
    return model ? OrganizerMemberCount(*model, mFieldKey, mValue) : 0;
}

OSStatus CSourceItemDynamic::GetSetItemData(DataBrowserPropertyID property, DataBrowserItemData& itemData,
    bool setValue)
{
    switch (property) {
    case kSourceNameProperty:
        if (setValue) {
            // The user renamed the value: every item that has it now gets the new text.
            CIndexModel* model = ModelOf(*this);
            const QString text = itemData.value.toString();
            if (model && OrganizerValueIsEditable(mFieldKey))
                CMetaDataListView::RunReported([&] { StartValueRename(*model, mFieldKey, mValue, text); });
            return noErr;
        }
        itemData.value = OrganizerValueText(mFieldKey, mValue);
        itemData.icon = mFieldKey == kOrganizerDateCreatedField ? OrganizerIcon('CALe', "organizer-date.icns")
                                                                : OrganizerIcon('COLl', "organizer-value.icns");
        return noErr;
    case kSourceCountProperty:
        if (!setValue) {
            const qsizetype count = CountMembers();
            if (count >= 1)
                itemData.value = QString::number(count);
        }
        return noErr;
    case kDataBrowserItemIsSelectableProperty:
        itemData.value = true;
        return noErr;
    case kDataBrowserItemIsEditableProperty:
        itemData.value = OrganizerValueIsEditable(mFieldKey);
        return noErr;
    case kDataBrowserItemIsContainerProperty:
        itemData.value = false;
        return noErr;
    default:
        return CSourceItem::GetSetItemData(property, itemData, setValue);
    }
}

void CSourceItemDynamic::ItemNotification(DataBrowserItemNotification message)
{
    if (message == kDataBrowserItemSelected) {
        CMetaDataListView* organizer = GetOrganizer();
        CIndexView* view = ViewOf(*this);
        if (organizer && view && !organizer->IsChangingSelection()) {
            // Command-selecting adds this value's items to the filter already shown.
            const bool add = QGuiApplication::keyboardModifiers() & Qt::ControlModifier;
            CMetaDataListView::RunReported([&] { FilterToValue(*view, mFieldKey, mValue, add); });
        }
        return;
    }
    CSourceItem::ItemNotification(message);
}

void CSourceItemDynamic::DrawItem(DataBrowserPropertyID property, DataBrowserItemState state, const QRect& rect,
    QPainter& painter)
{
    if (property != kSourceCountProperty || !GetOwningBrowser())
        return;
    DrawCountBadge(painter, rect, CountMembers(), state & kDataBrowserItemIsSelected, IsTreeActive(*this),
        GetOwningBrowser()->GetControlRef()->palette());
}

int CSourceItemDynamic::GetCustomWidth(DataBrowserPropertyID property) const
{
    return property == kSourceCountProperty ? CountBadgeWidth(CountMembers()) : 0;
}

bool CSourceItemDynamic::AcceptDrag(const QMimeData& drag)
{
    return OrganizerValueAcceptsDrop(mFieldKey) && IsItemDrag(drag, ModelOf(*this));
}

bool CSourceItemDynamic::ReceiveDrag(const QMimeData& drag)
{
    CIndexModel* model = ModelOf(*this);
    if (!model || !OrganizerValueAcceptsDrop(mFieldKey))
        return false;
    CSearchTask* task = nullptr;
    CMetaDataListView::RunReported(
        [&] { task = StartValueDrop(*model, mFieldKey, mValue, DraggedIndexItems(drag, *model), WindowOf(ViewOf(*this))); });
    return task != nullptr;
}
