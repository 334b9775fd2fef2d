#include "CDataBrowser.h"

#include "BundleStrings.h"
#include "LLayoutData.h"

#include "CIndexDoc.h"
#include "CIndexView.h"
#include "CSourceItem.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "Preferences.h"
#include "ThemeText.h"

#include <QEvent>
#include <QHeaderView>
#include <QPainter>
#include <QPalette>
#include <QTreeView>

namespace {

// The row height used when no row can be measured.
constexpr int kDefaultRowHeight = 16;

// Property flags of a source-list column.
constexpr UInt32 kSourceColumnFlags = 0x70200;
constexpr UInt32 kTypeSelectColumn = 0x80000;

QColor Rgb16(UInt16 red, UInt16 green, UInt16 blue)
{
    return QColor::fromRgba64(red, green, blue);
}

} // namespace

SourceListColors SourceListColors::FromPalette(const QPalette& palette)
{
    SourceListColors colors;
    const QColor window = palette.color(QPalette::Window);
    if (window.lightness() >= 128) {
        colors.fill = Rgb16(0xD6D6, 0xDDDD, 0xE5E5);
        colors.selectedFill = Rgb16(0x9999, 0xABAB, 0xC5C5);
        colors.text = Qt::black;
        colors.selectedText = Qt::white;
        colors.engraveLight = Qt::white;
        colors.engraveDark = Rgb16(0x6060, 0x6E6E, 0x8080);
        return colors;
    }
    // A dark scheme: the same roles, a little lighter than the window and tinted
    // towards the highlight, so that the list still reads as a side list.
    const QColor highlight = palette.color(QPalette::Highlight);
    auto mix = [](const QColor& a, const QColor& b, double share) {
        return QColor::fromRgbF(float(a.redF() * (1 - share) + b.redF() * share),
            float(a.greenF() * (1 - share) + b.greenF() * share), float(a.blueF() * (1 - share) + b.blueF() * share));
    };
    colors.fill = mix(window.lighter(115), highlight, 0.08);
    colors.selectedFill = mix(window, highlight, 0.6);
    colors.text = palette.color(QPalette::WindowText);
    colors.selectedText = palette.color(QPalette::HighlightedText);
    colors.engraveLight = colors.fill.darker(160);
    colors.engraveDark = mix(colors.text, colors.fill, 0.35);
    return colors;
}

CDataBrowser::CDataBrowser(const LLayoutData& data)
    : LDataBrowser(data)
{
}

CDataBrowser::CDataBrowser(const SPaneInfo& info, const LDataBrowserImp::Settings& settings)
    : LDataBrowser(info, settings)
{
}

void CDataBrowser::SetUpAsSideList()
{
    QTreeView* tree = GetControlRef();
    // Tab reaches a side list; a click in it leaves the keyboard with the grid.
    tree->setFocusPolicy(Qt::TabFocus);
    setFocusPolicy(Qt::TabFocus);
    tree->setAlternatingRowColors(false);
    tree->setIndentation(16);
    tree->setRootIsDecorated(true);
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    tree->setHeaderHidden(true);
    // The badges fit the rows on screen: measuring a thousand rows of a group of
    // many values again after every change of the index holds the window.
    tree->header()->setResizeContentsPrecision(0);
}

void CDataBrowser::FinishCreateSelf()
{
    SetHiliteStyle(kDataBrowserTableViewFillHilite);
    LDataBrowser::FinishCreateSelf();
    QTreeView* tree = GetControlRef();
    tree->setAlternatingRowColors(true);
    tree->setItemsExpandable(true);
    tree->setUniformRowHeights(true);
    tree->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    tree->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    tree->setFont(ThemeFont(GetPrefBoolean(QStringLiteral("ListViewSmallSize")) ? kThemeSmallSystemFont
                                                                                 : kThemeViewsFont));
    SetComparator(new CSourceItemComparator);
    ApplyColors();
}

void CDataBrowser::ApplyColors()
{
    mColors = SourceListColors::FromPalette(palette());
    QTreeView* tree = GetControlRef();
    QPalette colours = tree->palette();
    colours.setColor(QPalette::Base, mColors.fill);
    colours.setColor(QPalette::AlternateBase, mColors.fill);
    colours.setColor(QPalette::Highlight, mColors.selectedFill);
    colours.setColor(QPalette::HighlightedText, mColors.selectedText);
    colours.setColor(QPalette::Text, mColors.text);
    tree->setPalette(colours);
}

void CDataBrowser::changeEvent(QEvent* event)
{
    LDataBrowser::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && GetControlRef())
        ApplyColors();
}

void CDataBrowser::AddItems(
    const std::vector<LDataBrowserItem*>& items, DataBrowserItemID container, DataBrowserPropertyID preSortProperty)
{
    LDataBrowser::AddItems(items, container, preSortProperty);
    if (preSortProperty == 0 && !items.empty())
        GetImp().GetModel().SortContainer(container, kSourceNameProperty, false);
}

void CDataBrowser::AddItemsInOrder(const std::vector<LDataBrowserItem*>& items, DataBrowserItemID container)
{
    LDataBrowser::AddItems(items, container, 0);
}

OSStatus CDataBrowser::AddColumn(DataBrowserPropertyID propertyID, const QString& title, SInt16 justification,
    FourCharCode propertyType, UInt16 minWidth, UInt16 maxWidth, UInt16 width, bool typeSelect, bool editable)
{
    DataBrowserColumn column;
    column.propertyID = propertyID;
    column.propertyType = propertyType;
    column.propertyFlags = (editable ? kSourceColumnFlags | kDataBrowserPropertyIsEditable : kSourceColumnFlags)
        | (typeSelect ? kTypeSelectColumn : 0);
    column.minimumWidth = minWidth;
    column.maximumWidth = maxWidth;
    column.initialWidth = width;
    column.justification = UInt16(justification);
    column.title = title;
    InsertColumnDescription(column);
    GetControlRef()->viewport()->update();
    return noErr;
}

bool CDataBrowser::HasColumn(DataBrowserPropertyID propertyID) const
{
    return const_cast<CDataBrowser*>(this)->GetImp().GetModel().ColumnOfProperty(propertyID) >= 0;
}

void CDataBrowser::RevealSelection()
{
    const std::vector<LDataBrowserItem*> selected = GetItems(kDataBrowserItemIsSelected);
    if (!selected.empty())
        RevealItem(selected.front(), kSourceNameProperty, true);
}

int CDataBrowser::GetRowHeight() const
{
    QTreeView* tree = GetControlRef();
    const QModelIndex first = tree->model()->index(0, 0);
    const int height = first.isValid() ? tree->sizeHintForRow(0) : -1;
    return height > 0 ? height : kDefaultRowHeight;
}

void CDataBrowser::AdjustScrollbars()
{
    QTreeView* tree = GetControlRef();
    if (!tree || IsShowingOutsideModel())
        return;
    const int rowHeight = GetRowHeight();
    const int rows = CountItems(kDataBrowserItemAnyState, true);
    int frameHeight = tree->height() - 2 * tree->frameWidth();
    if (!tree->isHeaderHidden())
        frameHeight -= tree->header()->height();
    tree->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    if (qint64(rows) * rowHeight <= frameHeight) {
        if (HasColumn(kSourceSpacerProperty))
            RemoveColumn(kSourceSpacerProperty);
        tree->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        tree->scrollToTop();
    } else {
        if (!HasColumn(kSourceSpacerProperty)) {
            DataBrowserColumn spacer;
            spacer.propertyID = kSourceSpacerProperty;
            spacer.propertyType = kDataBrowserTextType;
            spacer.propertyFlags = kSourceColumnFlags;
            spacer.minimumWidth = spacer.maximumWidth = spacer.initialWidth = kSourceSpacerWidth;
            spacer.title = QLatin1String("");
            InsertColumnDescription(spacer);
        }
        tree->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    }
    // The name column takes what the others leave.
    QHeaderView* header = tree->header();
    header->setStretchLastSection(false);
    const auto& columns = GetImp().Columns();
    for (size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].propertyID == kSourceNameProperty)
            header->setSectionResizeMode(int(i), QHeaderView::Stretch);
        else if (columns[i].propertyID == kSourceSpacerProperty) {
            header->setSectionResizeMode(int(i), QHeaderView::Fixed);
            header->resizeSection(int(i), kSourceSpacerWidth);
        } else
            header->setSectionResizeMode(int(i), QHeaderView::ResizeToContents);
    }
    // Measured again now: the header does so by itself only when rows come or go, not
    // when a cell grows (a count gaining a figure).
    QMetaObject::invokeMethod(header, "resizeSections");
    tree->viewport()->update();
}

void CDataBrowser::showEvent(QShowEvent* event)
{
    LDataBrowser::showEvent(event);
    if (!mBuilt) {
        mBuilt = true;
        RunReported([this] { Rebuild(); });
    }
}

void CDataBrowser::resizeEvent(QResizeEvent* event)
{
    LDataBrowser::resizeEvent(event);
    CatchCode([&] { AdjustScrollbars(); });
}

CIndexDoc* CDataBrowser::GetDocument() const
{
    if (mDocument || !mFollowsFrontDocument)
        return mDocument;
    return CIndexDoc::GetFrontDocument();
}

CIndexView* CDataBrowser::GetIndexView() const
{
    CIndexDoc* document = GetDocument();
    return document ? CIndexView::ViewOfPane(document->GetIndexViewPane()) : nullptr;
}

void CDataBrowser::SectionOpened(CSourceItemDivider&) {}

void CDataBrowser::SectionClosed(CSourceItemDivider&) {}

bool CDataBrowser::HandleKeyPress(const EventRecord& event)
{
    CIndexView* view = GetCommandView();
    if (!view)
        return LDataBrowser::HandleKeyPress(event);
    LCommander::SwitchTarget(view);
    return view->HandleKeyPress(event);
}

bool CDataBrowser::ObeyCommand(CommandT command, void* ioParam)
{
    CIndexView* view = GetCommandView();
    if (!view)
        return LDataBrowser::ObeyCommand(command, ioParam);
    LCommander::SwitchTarget(view);
    return view->ObeyCommand(command, ioParam);
}

void CDataBrowser::FindCommandStatus(
    CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark, Str255& outName)
{
    if (CIndexView* view = GetCommandView())
        view->FindCommandStatus(command, outEnabled, outUsesMark, outMark, outName);
    else
        LDataBrowser::FindCommandStatus(command, outEnabled, outUsesMark, outMark, outName);
}

bool CDataBrowser::RunReported(const std::function<void()>& body)
{
    const ExceptionCode error = CatchException(body);
    if (error.Code() == noErr)
        return true;
    ReportError(error);
    return false;
}

CSourceListHeader::CSourceListHeader(const LLayoutData& data)
    : LPane(data)
    , mTitle(BundleLocalizedString(data.String("text")))
{
}

void CSourceListHeader::DrawSelf(QPainter& painter)
{
    const SourceListColors colors = SourceListColors::FromPalette(palette());
    QRect frame;
    CalcLocalFrameRect(frame);
    painter.fillRect(frame, colors.fill);
    QFont font = ThemeFont(kThemeSmallEmphasizedSystemFont);
    font.setCapitalization(QFont::AllUppercase);
    painter.setFont(font);
    // The left inset lines the title up with the section titles below it.
    const QRect text = frame.adjusted(8, 0, -4, -1);
    const QString shown = painter.fontMetrics().elidedText(mTitle, Qt::ElideRight, text.width());
    painter.setPen(colors.engraveLight);
    painter.drawText(text.translated(0, 1), Qt::AlignLeft | Qt::AlignVCenter, shown);
    painter.setPen(colors.engraveDark);
    painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter, shown);
    painter.setPen(colors.engraveDark.lighter(160));
    painter.drawLine(frame.bottomLeft(), frame.bottomRight());
}
