// The item's cell drawn into a painter (a view, an offscreen image, a printer
// page), its printed form, its drag image and its row in the list view.
#include "CIndexItem.h"

#include "PrefKeys.h"

#include "CANPAInfo.h"
#include "CEXIFInfo.h"
#include "CFontMedia.h"
#include "CItemError.h"
#include "CMedia.h"
#include "DisplayUtilities.h"
#include "ExceptionCode.h"
#include "FieldKeys.h"
#include "FourCharCode.h"
#include "IndexViewServices.h"
#include "LDataBrowser.h"
#include "LocalizedStrings.h"
#include "MacDates.h"
#include "MediaFactory.h"
#include "MediaImageInfo.h"
#include "Offscreen.h"
#include "Picture.h"
#include "PixPattern.h"
#include "Preferences.h"
#include "RectUtilities.h"
#include "ResourceUtilities.h"

#include <QFontMetrics>
#include <QPainter>
#include <QTreeView>

#include <algorithm>

namespace {

// Grey levels of frames and lines.
const QColor kLightGrey(0xCC, 0xCC, 0xCC);
const QColor kMidGrey(0xAA, 0xAA, 0xAA);
const QColor kGrey(0x99, 0x99, 0x99);
const QColor kDarkGrey(0x55, 0x55, 0x55);
const QColor kDragFrameGrey(0xDD, 0xDD, 0xDD);

// Themes drawn with plain grey frames.
constexpr SInt32 kThemeLightFrame = 1;
constexpr SInt32 kThemeDarkFrame = 5;
constexpr SInt32 kThemeMidFrame = 14;

constexpr UInt16 kOpenInViewerWash = 34096; // towards white
constexpr UInt16 kDimmedSelection = 30000;   // towards black
constexpr int kSelectionRing = 3;
constexpr int kCellTextInset = 2;
constexpr int kLabelOffset = 5;
constexpr int kValueOffset = 3;
constexpr int kLabelCharWidths = 8;

// List view columns: narrower than these show the short form of their field.
constexpr int kShortKindWidth = 80;
constexpr int kUnitWidthPixels = 80;
constexpr int kUnitWidthBits = 30;
constexpr int kUnitWidthFrames = 60;

constexpr int kDragBadgeSide = 48;
constexpr int kMaxDragIconSide = 128;

// A kind's name for a narrow column: without its last, generic word ("PNG image"
// becomes "PNG", "Camera raw image" "Camera raw"); a one-word name stays whole.
QString ShortKindName(const QString& kind)
{
    const qsizetype lastSpace = kind.trimmed().lastIndexOf(QLatin1Char(' '));
    return lastSpace > 0 ? kind.trimmed().left(lastSpace) : kind;
}

// Whether any of the rectangle needs drawing: the painter's clip, when it has one.
bool Exposed(const QPainter& painter, const QRect& rect)
{
    return !rect.isEmpty() && (!painter.hasClipping() || painter.clipBoundingRect().intersects(rect));
}

// A frame `width` pixels wide inside the rectangle, as the pen of that size draws it.
void FrameRect(QPainter& painter, const QRect& rect, const QBrush& color, int width = 1)
{
    if (rect.isEmpty())
        return;
    const int w = std::min({width, rect.width(), rect.height()});
    painter.fillRect(QRect(rect.left(), rect.top(), rect.width(), w), color);
    painter.fillRect(QRect(rect.left(), rect.bottom() - w + 1, rect.width(), w), color);
    painter.fillRect(QRect(rect.left(), rect.top() + w, w, rect.height() - 2 * w), color);
    painter.fillRect(QRect(rect.right() - w + 1, rect.top() + w, w, rect.height() - 2 * w), color);
}

// The picture of the item as it should look in the rectangle: scaled to it, or
// for a font's sample fitted and never enlarged.
void DrawDisplayPicture(QPainter& painter, const QImage& image, const QRect& target, bool isFont)
{
    const QPainter::RenderHints saved = painter.renderHints();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    if (isFont) {
        QRect fitted;
        FitRectInRect(QRect(QPoint(0, 0), image.size()), target, fitted, false, true);
        const QPainter::CompositionMode mode = painter.compositionMode();
        // Without a white background only the sample's ink shows.
        if (!GetPrefBoolean(QStringLiteral("FontThumbnailWhiteBackground")))
            painter.setCompositionMode(QPainter::CompositionMode_Multiply);
        painter.drawImage(fitted, image);
        painter.setCompositionMode(mode);
    } else {
        painter.drawImage(target, image);
    }
    painter.setRenderHints(saved);
}

QString UnitText(SInt16 index)
{
    return CopyLocalizedCFString(602, index);
}

int BrowserColumnWidth(LDataBrowser* browser, DataBrowserPropertyID property)
{
    QTreeView* tree = browser->GetControlRef();
    const int column = browser->GetImp().GetModel().ColumnOfProperty(property);
    return tree && column >= 0 ? tree->columnWidth(column) : 0;
}

// Saves the painter's state and restores it when the scope ends.
class StPainterState {
public:
    explicit StPainterState(QPainter& painter)
        : mPainter(painter)
    {
        mPainter.save();
    }
    ~StPainterState() { mPainter.restore(); }
    StPainterState(const StPainterState&) = delete;
    StPainterState& operator=(const StPainterState&) = delete;

private:
    QPainter& mPainter;
};

} // namespace

// The cell.

void CIndexItem::DrawCell(QPainter& painter, const QRect& cell, const IndexViewServices& view, bool selected)
{
    if (!Exposed(painter, cell))
        return;
    const StDrawingItems drawing;
    if (!HeldDisplayPicture() && (IsInIndexFile() || GetPrefBoolean(QStringLiteral("ImmediateDraw")))) {
        // Drawing never waits on the disk: a picture still in its thumbnail file
        // is drawn as the icon, and the view has the file read off the GUI thread.
        if (IsThumbnailOnlyOnDisk())
            mDisplayPictureChanged = true;
        else
            GetDisplayPicture();
    }
    // Whatever sizes the view gives, the cell's neighbours are never drawn over.
    // (The state comes back however the drawing ends: an item without an icon throws.)
    StPainterState state(painter);
    painter.setClipRect(cell, painter.hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
    DrawThumbnailViewLines(painter, cell, view);
    DrawExtendedViewLines(painter, cell, view);
    if (Exposed(painter, GetPartRect(kItemPartThumbnailFrame, cell, view))) {
        if (HeldDisplayPicture()) {
            DrawPicture(painter, cell, view, selected);
        } else {
            DrawIcon(painter, cell, view, selected);
            // The view makes the display picture later, unless there is none to make.
            // After a failure it only asks whether the file has changed since.
            if (mThumbnailFailed || (GetFileTypeCode() != 'icns' && !mThumbnailLookedFor))
                mDisplayPictureChanged = true;
            else if (mThumbnailLookedFor)
                mThumbnailLookedFor = false;
        }
    }
}

void CIndexItem::DrawPicture(QPainter& painter, const QRect& cell, const IndexViewServices& view, bool selected)
{
    if (HeldDisplayPicture()) {
        const QRect frame = GetPartRect(kItemPartThumbnailFrame, cell, view);
        painter.fillRect(frame, view.GetBackgroundBrush(PaintDevicePixelRatio(painter)));
        const QRect picture = GetPartRect(kItemPartPicture, cell, view);
        if (const int slide = view.GetPictureSlide(*this); slide != 0) {
            // Sliding into place: the picture is drawn aside, inside its frame.
            StPainterState sliding(painter);
            painter.setClipRect(frame, Qt::IntersectClip);
            DrawDisplayPicture(painter, HeldDisplayPicture()->Image(), picture.translated(slide, 0), IsFont());
        } else {
            DrawDisplayPicture(painter, HeldDisplayPicture()->Image(), picture, IsFont());
        }

        switch (view.GetTheme()) {
        case kThemeLightFrame: FrameRect(painter, picture, kLightGrey); break;
        case kThemeDarkFrame: FrameRect(painter, picture, kDarkGrey); break;
        case kThemeMidFrame: FrameRect(painter, picture, kMidGrey); break;
        default:
            FrameRect(painter, picture.adjusted(-1, -1, 1, 1), kMidGrey); // the themes' plain group frame
            break;
        }
        if ((mRare ? mRare->openInViewer : 0) == 1)
            PaintRectBlended(painter, FromQRect(picture), kOpenInViewerWash, true);
        // A picture narrower than its place is worth rendering again at cell size,
        // once: one drawn from the media file is as large as the file allows.
        mDisplayPictureChanged = !mDisplayPictureFromFile && HeldDisplayPicture()->Width() < picture.width();
    }
    if (selected)
        DrawSelected(painter, cell, view, false);
    DrawBadge(painter, cell, view, selected);
}

void CIndexItem::DrawSelected(QPainter& painter, const QRect& cell, const IndexViewServices& view, bool animate)
{
    const QRect picture = GetPartRect(kItemPartPicture, cell, view);
    const bool dim = Pref::DimSelection.Get();
    const bool hasPicture = HeldThumbnail() || HeldDisplayPicture();
    if (!dim && !animate && hasPicture) {
        const int ring = kSelectionRing;
        FrameRect(painter, picture.adjusted(-ring, -ring, ring, ring), view.GetHighlightColor(), ring);
        DrawBadge(painter, cell, view, true);
        return;
    }
    if (animate && !dim)
        DrawUnselected(painter, cell, view, false);
    if (!hasPicture) {
        DrawIcon(painter, cell, view, true);
        return; // the icon draws its badge
    }
    // The slide effect is the view's animation; the item draws where it ends.
    PaintRectBlended(painter, FromQRect(picture), kDimmedSelection, false);
    FrameRect(painter, picture.adjusted(2, 2, -2, -2), kMidGrey); // the themes' plain group frame
    DrawBadge(painter, cell, view, true);
}

void CIndexItem::DrawUnselected(QPainter& painter, const QRect& cell, const IndexViewServices& view, bool redrawHilite)
{
    const QRect picture = GetPartRect(kItemPartPicture, cell, view);
    const bool hasPicture = HeldThumbnail() || HeldDisplayPicture();
    if (!Pref::DimSelection.Get() && !redrawHilite && hasPicture) {
        const int ring = kSelectionRing;
        FrameRect(painter, picture.adjusted(-ring, -ring, ring, ring),
            view.GetBackgroundBrush(PaintDevicePixelRatio(painter)), ring);
    } else {
        if (!HeldDisplayPicture())
            DrawIcon(painter, cell, view, false);
        else
            DrawPicture(painter, cell, view);
    }
    DrawBadge(painter, cell, view);
}

void CIndexItem::SetDrawnSelected(QPainter& painter, const QRect& cell, const IndexViewServices& view, bool selected)
{
    if (!selected && mDrawingMark) {
        mDrawingMark = false;
        DrawUnselected(painter, cell, view, true);
    } else if (selected && !mDrawingMark) {
        mDrawingMark = true;
        DrawSelected(painter, cell, view, true);
    }
}

// Field lines.

void CIndexItem::DrawThumbnailViewLines(QPainter& painter, const QRect& cell, const IndexViewServices& view)
{
    if (view.IsExtendedView())
        return;
    const QRect block = GetPartRect(kItemPartTextBlock, cell, view);
    const int lineHeight = view.GetLineHeight();
    if (!Exposed(painter, block) || lineHeight <= 0)
        return;
    const SInt32 count = view.CountColumns();
    for (SInt32 i = 0; i < count; ++i) {
        const QRect line(block.left(), block.top() + i * lineHeight, block.width(), lineHeight);
        if (Exposed(painter, line))
            DrawFieldCell(painter, line, view.GetColumnAt(i), view);
    }
}

void CIndexItem::DrawExtendedViewLines(QPainter& painter, const QRect& cell, const IndexViewServices& view)
{
    if (!view.IsExtendedView())
        return;
    const int lineHeight = view.GetLineHeight();
    if (lineHeight <= 0)
        return;
    // The lines stand beside the picture, in the text block of the row.
    const QRect block = GetPartRect(kItemPartTextBlock, cell, view);
    const int count = (cell.height() - lineHeight) / lineHeight + 1;
    QRect line(block.left() + 1, block.top(), block.width() - 5, lineHeight - 1);
    for (int i = 0; i < count; ++i, line.translate(0, lineHeight)) {
        const SInt32 key = view.GetColumnAt(i);
        if (key != 0 && Exposed(painter, line))
            DrawLabelledFieldLine(painter, line, key, view);
    }
    QColor color = view.GetLineColor();
    const SInt32 theme = view.GetTheme();
    if (theme == kThemeLightFrame || theme == kThemeMidFrame)
        color = kLightGrey;
    else if (theme == kThemeDarkFrame)
        color = kGrey;
    painter.fillRect(QRect(cell.left(), cell.bottom() - 1, cell.width(), 1), color);
}

void CIndexItem::DrawFieldCell(QPainter& painter, const QRect& rect, SInt32 key, const IndexViewServices& view)
{
    if (rect.isEmpty())
        return;
    if (!view.HasOwnBackground())
        painter.fillRect(rect, view.GetBackgroundColor());
    const QString text = CopyCellString(key);
    const QRect area = rect.adjusted(kCellTextInset, 0, -kCellTextInset, 0);
    painter.save();
    painter.setFont(key == kFieldUrgencyLabel ? view.GetViewsFont() : view.GetLabelFont());
    painter.setPen(view.GetTextColor());
    const QFontMetrics metrics = painter.fontMetrics();
    // Centred when it fits, else cut with an ellipsis.
    if (metrics.horizontalAdvance(text) <= area.width())
        painter.drawText(area, Qt::AlignCenter, text);
    else
        painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter, metrics.elidedText(text, Qt::ElideRight, area.width()));
    painter.restore();
}

void CIndexItem::DrawLabelledFieldLine(QPainter& painter, const QRect& rect, SInt32 key, const IndexViewServices& view)
{
    const int labelWidth = view.GetExtraColumnWidth();
    const QRect values = rect.adjusted(labelWidth + int(kLabelCharWidths * view.GetCharWidth()), 0, 0, 0);
    if (!view.HasOwnBackground()) {
        painter.fillRect(rect, view.GetLabelColor());
        painter.fillRect(values, view.GetValueColor());
    }
    // A column the field menu cannot name still shows its value.
    QString label;
    CatchCode([&] { label = CopyFieldName(key) + QLatin1Char(':'); });
    const QString value = CopyCellString(key);
    painter.save();
    painter.setPen(view.GetTextColor());
    painter.setFont(view.GetLabelFont());
    const QRect labelArea(rect.left() + kLabelOffset, rect.top(), labelWidth, rect.height());
    painter.drawText(labelArea, Qt::AlignRight | Qt::AlignVCenter,
        painter.fontMetrics().elidedText(label, Qt::ElideRight, labelArea.width()));
    painter.setFont(key == kFieldUrgencyLabel ? view.GetViewsFont() : view.GetLabelFont());
    const QRect valueArea = values.adjusted(kValueOffset, 0, 0, 0);
    painter.drawText(valueArea, Qt::AlignLeft | Qt::AlignVCenter,
        painter.fontMetrics().elidedText(value, Qt::ElideRight, valueArea.width()));
    painter.restore();
}

// Printing.

namespace {

// Turns the painter about the centre of `place` as the item's orientation turns
// its picture, and answers where the picture goes as stored: `place`, its sides
// exchanged by a quarter turn, in the turned painter's coordinates.
QRect TurnPainterForOrientation(QPainter& painter, const QRect& place, UInt32 flags)
{
    int turns = 0;
    if (flags & kItemFlagRotate90CW)
        turns += 1;
    if (flags & kItemFlagRotate180)
        turns += 2;
    if (flags & kItemFlagRotate90CCW)
        turns += 3;
    const QSize stored = turns % 2 ? place.size().transposed() : place.size();
    // Turned first, then mirrored, as the display picture is.
    painter.translate(QRectF(place).center());
    painter.scale(flags & kItemFlagFlipHorizontal ? -1 : 1, flags & kItemFlagFlipVertical ? -1 : 1);
    painter.rotate(90.0 * turns);
    return QRect(QPoint(-stored.width() / 2, -stored.height() / 2), stored);
}

} // namespace

void CIndexItem::PrintCell(QPainter& painter, const QRect& cell, const IndexViewServices& view)
{
    // Errors met while printing (opening the medium) are not the item's.
    StItemErrorSaver<CIndexItem> keepError(this);
    if (!HeldDisplayPicture())
        CatchCode([&] { GetThumbnail(); });
    // The page shows the picture the right way up even before the grid has shown it.
    ReadOrientation();
    DrawThumbnailViewLines(painter, cell, view);
    DrawExtendedViewLines(painter, cell, view);
    if (GetPrefBoolean(QStringLiteral("HighQualityPrinting")))
        PrintMedia(painter, cell, view);
    else
        PrintThumbnail(painter, cell, view);
}

void CIndexItem::PrintThumbnail(QPainter& painter, const QRect& cell, const IndexViewServices& view)
{
    const QRect picture = GetPartRect(kItemPartPicture, cell, view);
    Picture* thumbnail = nullptr;
    CatchCode([&] { thumbnail = GetThumbnail(); });
    OSStatus status = err_NilPointer;
    if (thumbnail) {
        // The thumbnail is kept as the file stores it.
        StPainterState turned(painter);
        status = thumbnail->Draw(painter, FromQRect(TurnPainterForOrientation(painter, picture, GetFlags())));
    }
    if (status != noErr) {
        // A cross marks the place of a picture that could not be printed.
        painter.save();
        painter.setPen(QPen(Qt::black, 0));
        painter.drawLine(picture.topLeft(), picture.bottomRight());
        painter.drawLine(picture.bottomLeft(), picture.topRight());
        painter.restore();
    }
    if (Pref::PrintFrame.Get())
        FrameRect(painter, picture.adjusted(-1, -1, 1, 1), kLightGrey);
}

void CIndexItem::PrintMedia(QPainter& painter, const QRect& cell, const IndexViewServices& view)
{
    QRect picture = GetPartRect(kItemPartPicture, cell, view);
    if (IsFont()) {
        std::unique_ptr<CMedia> media(CreateMedia());
        auto* font = dynamic_cast<CFontMedia*>(media.get());
        if (!font)
            ThrowOSErr_(err_NilPointer, "no font medium to print");
        const Rect bounds = FromQRect(picture);
        font->SetGWorld(&painter);
        font->DrawThumbnail(&bounds);
    } else {
        const OSStatus status = CatchCode([&] {
            std::unique_ptr<CMedia> media(CreateMedia());
            ThrowIfNil_(media);
            // The painter turns the medium as the item's orientation says; the medium draws as stored.
            const UInt32 turned = GetFlags() & kItemFlagTransformMask;
            if (turned)
                media->SetTransform(kMediaRotateNone, kMediaFlipNone);
            // A sound has nothing to show: it prints as an item without a picture.
            Rect natural;
            ThrowIfOSErr_(media->GetNaturalBounds(&natural));
            if (natural.IsEmpty())
                ThrowOSErr_(err_NilPointer, "the medium has no picture to print");
            // Without a picture shown yet, the place takes the medium's own
            // proportions, turned as the item shows it.
            if (!HeldDisplayPicture() && !HeldThumbnail()) {
                QRect shown = ToQRect(natural);
                if (turned & (kItemFlagRotate90CW | kItemFlagRotate90CCW))
                    shown = QRect(0, 0, shown.height(), shown.width());
                picture = PlacePicture(shown, cell, view);
            }
            StPainterState state(painter);
            const Rect bounds = FromQRect(TurnPainterForOrientation(painter, picture, turned));
            ThrowIfOSErr_(media->SetGWorld(&painter));
            ThrowIfOSErr_(media->SetBoundsRect(&bounds));
            ThrowIfOSErr_(media->DrawMatched());
        });
        if (status != noErr) {
            PrintThumbnail(painter, cell, view);
            return; // the thumbnail drew the frame
        }
    }
    if (Pref::PrintFrame.Get())
        FrameRect(painter, picture.adjusted(-1, -1, 1, 1), kLightGrey);
}

// The drag image.

QPixmap CIndexItem::MakeDragImage(const QRect& cell, const IndexViewServices& view, int count, QPoint& outHotSpot)
{
    const QRect picture = GetPartRect(kItemPartPicture, cell, view);
    if (HeldDisplayPicture() && !picture.isEmpty()) {
        QPixmap image(picture.size());
        image.fill(Qt::white);
        QPainter painter(&image);
        DrawDisplayPicture(painter, HeldDisplayPicture()->Image(), QRect(QPoint(0, 0), picture.size()), false);
        // The count of dragged items in a badge at the top right corner, the badge
        // wide enough for the count's digits.
        const int digits = count < 10 ? 1 : count < 100 ? 2 : count < 1000 ? 3 : 4;
        const QRect badge(picture.width() - kDragBadgeSide - 2, 2, kDragBadgeSide, kDragBadgeSide);
        PlotBundleIcon(painter, QStringLiteral("dragbadge%1.icns").arg(digits), badge, QIcon::Normal, Qt::AlignCenter);
        // The badge pictures draw their pill on a 32-unit square: one unit in from
        // the top right, 12 units and 5 per digit wide, 13 high.
        const qreal unit = kDragBadgeSide / 32.0;
        const QRectF pill(badge.left() + (31 - 12 - 5 * digits) * unit, badge.top() + unit, (12 + 5 * digits) * unit,
            13 * unit);
        painter.setPen(Qt::white);
        QFont font = painter.font();
        font.setBold(true);
        font.setPixelSize(int(pill.height() * 0.7));
        painter.setFont(font);
        painter.drawText(pill, Qt::AlignCenter, QString::number(count));
        FrameRect(painter, QRect(QPoint(0, 0), picture.size()), kDragFrameGrey);
        painter.end();
        outHotSpot = QPoint(0, 0) - picture.topLeft();
        return image;
    }
    QIcon icon;
    CatchCode([&] { icon = GetIcon(); });
    if (icon.isNull())
        return QPixmap();
    const QRect frame = GetPartRect(kItemPartThumbnailFrame, cell, view);
    const int side = std::min({frame.width(), frame.height(), kMaxDragIconSide});
    QRect square;
    CenterRectInRect(QRect(0, 0, side, side), frame, square);
    outHotSpot = QPoint(0, 0) - square.topLeft();
    return icon.pixmap(QSize(side, side));
}

// The list view's row.

OSStatus CIndexItem::GetSetItemData(DataBrowserPropertyID property, DataBrowserItemData& data, bool setValue)
{
    LDataBrowser* browser = GetOwningBrowser();
    if (!browser)
        return noErr;
    return GetSetCellData(property, data, setValue, BrowserColumnWidth(browser, property));
}

OSStatus CIndexItem::GetSetCellData(DataBrowserPropertyID property, DataBrowserItemData& data, bool setValue, int width)
{
    const SInt32 key = SInt32(property);
    return CatchCode([&] {
        if (setValue) {
            const OSStatus result = SetFieldValue(key, data.value.toString());
            ThrowIfOSErr_(result);
            data.value = CopyFieldString(key, kFieldTextPlaceholder);
            return;
        }
        // A row asks for its texts as it draws.
        const StDrawingItems drawing;
        if (property == kDataBrowserItemIsEditableProperty) {
            data.value = IsFieldEditable(SInt32(data.value.toUInt()));
            data.editable = data.value.toBool();
            return;
        }
        data.editable = IsFieldEditable(key);
        const QString text = CopyFieldString(key, kFieldTextPlaceholder);
        switch (key) {
        case kFieldName:
            // A row whose thumbnail is not in yet shows the file's icon, and its name.
            if (Offscreen* display = GetPrefBoolean(QStringLiteral("ListViewShowThumbnails")) ? GetDisplayPicture() : nullptr)
                data.icon = MakeIconFamily(display->Image());
            else
                data.icon = GetIcon();
            // The list always shows the whole name.
            data.value = CopyFieldString(key, kFieldTextFullName);
            if (data.value.toString().isEmpty())
                data.value = kFieldPlaceholder;
            break;
        case kFieldDateAdded: data.value = MacSecondsToDateTime(GetDateAdded()); break;
        case kFieldModificationDate: data.value = MacSecondsToDateTime(GetModificationDate()); break;
        case kFieldKind:
            data.value = width <= kShortKindWidth ? ShortKindName(text) : text;
            break;
        case kFieldCreator:
            data.value = width <= kShortKindWidth ? FourCharCodeToQString(GetCreatorCode()) : text;
            break;
        case kFieldError:
            if (!GetError()) {
                data.value = kFieldPlaceholder;
                break;
            }
            data.icon = GetSystemIcon('caut'); // a narrow column shows as much of the text as fits
            data.value = text;
            break;
        case kFieldOpenInViewer:
            if ((mRare ? mRare->openInViewer : 0) != 0)
                data.icon = GetSystemIcon('faro');
            break;
        case kFieldDateTimeOriginal:
        case kFieldDateTimeDigitized:
            if (CEXIFInfo* exif = GetEXIFInfo()) {
                const UInt32 seconds = key == kFieldDateTimeOriginal ? exif->GetDateTimeOriginal()
                                                                     : exif->GetDateTimeDigitized();
                data.value = MacSecondsToDateTime(seconds);
            }
            break;
        case kFieldDateCreated:
            if (CANPAInfo* caption = GetCaptionInfo(); caption && caption->GetDateCreated() != 0) // 0: no date given
                data.value = MacSecondsToDateTime(caption->GetDateCreated());
            break;
        case kFieldWidth:
        case kFieldHeight:
            data.value = text == kFieldPlaceholder || width <= kUnitWidthPixels ? text : text + UnitText(4);
            break;
        case kFieldDepth:
            data.value = text == kFieldPlaceholder || width <= kUnitWidthBits ? text : text + UnitText(9);
            break;
        case kFieldFrameCount:
            data.value = text == kFieldPlaceholder || width <= kUnitWidthFrames ? text : text + UnitText(10);
            break;
        default:
            if (!IsFieldKey(key))
                ThrowOSErr_(errDataBrowserPropertyNotSupported);
            data.value = text;
            break;
        }
    });
}
