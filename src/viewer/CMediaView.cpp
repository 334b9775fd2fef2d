#include "CMediaView.h"

#include "CMedia.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "LPrintout.h"
#include "LocalizedStrings.h"
#include "Preferences.h"
#include "Printing.h"
#include "ResourceUtilities.h"
#include "UPageFormat.h"
#include "UReportErrors.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QInputDialog>
#include <QMouseEvent>
#include <QPagedPaintDevice>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <span>

namespace {
constexpr double kIdleInterval = 0.125;
constexpr UInt32 kIdleTicks = 20; // status of a medium with area
constexpr UInt32 kSoundIdleTicks = 5;
constexpr SInt32 kKeyScrollStep = 32;
constexpr SInt32 kDragFactor = 4;
constexpr SInt16 kZoomStep = 10;
constexpr int kErrorStripHeight = 18;
// The widest cache we make: the stored bounds a medium draws at are 16-bit.
constexpr int kMaxCacheSide = 32767;

const QString kPrintSettingsKey = QStringLiteral("MediaPrintSettings");

bool HasArea(CMedia* media)
{
    return media && media->HasArea();
}

QRect NaturalOf(CMedia& media)
{
    Rect natural;
    ThrowIfOSErr_(media.GetNaturalBounds(&natural));
    return QRect(0, 0, natural.Width(), natural.Height());
}
} // namespace

CMediaView::CMediaView(const LLayoutData& data)
    : LView(data)
{
    InitMediaView();
}

CMediaView::CMediaView(const SPaneInfo& info)
    : LView(info)
{
    InitMediaView();
}

void CMediaView::InitMediaView()
{
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
}

CMediaView::~CMediaView()
{
    StopRepeating();
}

bool CMediaView::CanScroll() const
{
    return mMedia && (mBounds.width() > width() || mBounds.height() > height());
}

SInt16 CMediaView::GetZoom() const
{
    return mOptions ? mOptions->zoom : 100;
}

void CMediaView::SetMedia(std::unique_ptr<CMedia> media, MediaViewOptions* options)
{
    if (media)
        StartRepeating(kIdleInterval);
    else
        StopRepeating();
    if (options)
        mOptions = options;
    PrepareForMedia(true);
    mMedia = std::move(media);
    mDrawError = noErr;
    if (!mMedia) {
        Hide();
        return;
    }
    Layout();
}

void CMediaView::Relayout()
{
    if (!mMedia)
        return;
    PrepareForMedia(false);
    Layout();
}

std::unique_ptr<CMedia> CMediaView::DetachMedia()
{
    StopRepeating();
    mCache = QImage();
    return std::move(mMedia);
}

void CMediaView::PrepareForMedia(bool changed)
{
    // The same medium keeps its cache: drawing scales it, and a zoom that needs
    // more pixels than it holds makes it again (EnsureCache).
    if (changed)
        mCache = QImage();
}

void CMediaView::Layout()
{
    LView* super = GetSuperView();
    const QSize superSize = super ? super->size() : size();
    ScrollImageTo(0, 0, false);
    if (!mMedia->HasArea()) {
        // A sound: the view fills its window and shows the playing state.
        mBounds = QRect();
        ResizeImageTo(superSize.width(), superSize.height(), false);
        ResizeFrameTo(superSize.width(), superSize.height(), false);
        PlaceInSuperFrameAt(0, 0, false);
        Show();
        Refresh();
        return;
    }
    const QRect natural = NaturalOf(*mMedia);
    const SInt32 controller = GetControllerHeight();
    const QRect available(0, 0, superSize.width(), std::max(1, superSize.height() - controller));
    MediaViewOptions fallback;
    MediaViewOptions& options = mOptions ? *mOptions : fallback;
    mBounds = CalcMediaBounds(natural, available, options, mMedia->GetMaxZoom(), mPrinting);
    const QSize image(mBounds.width(), mBounds.height() + controller);
    ResizeImageTo(image.width(), image.height(), false);

    QSize frame = superSize;
    if (!mPrinting) {
        // The frame shrinks to an image smaller than the window in that direction.
        frame = frame.boundedTo(image);
    }
    ResizeFrameTo(frame.width(), frame.height(), false);
    PlaceInSuperFrameAt(std::max(0, (superSize.width() - frame.width()) / 2),
        std::max(0, (superSize.height() - frame.height()) / 2), false);
    if (!mPrinting && GetPrefBoolean(QStringLiteral("MediaCenterLargeImages"))) {
        const SInt32 left = image.width() > frame.width() ? (image.width() - frame.width()) / 2 : 0;
        const SInt32 top = image.height() > frame.height() ? (image.height() - frame.height()) / 2 : 0;
        ScrollImageTo(left, top, false);
    }
    Show();
    Refresh();
    if (super)
        super->Refresh();
}

void CMediaView::SetZoom(SInt16 value)
{
    if (!mOptions)
        return;
    if (value < 0) {
        if (value == mOptions->zoomFlag) {
            BroadcastMessage(msg_MediaZoomChanged, nullptr);
            return;
        }
        mOptions->zoomFlag = value;
    } else {
        mOptions->zoom = std::clamp(value, kMinZoom, kMaxZoom);
        mOptions->zoomFlag = kZoomFixed;
    }
    Relayout();
    BroadcastMessage(msg_MediaZoomChanged, nullptr);
}

// Drawing.

QImage CMediaView::RenderMedium(QSize size, OSStatus* outStatus) const
{
    OSStatus status = noErr;
    QImage image;
    if (!mMedia || size.isEmpty()) {
        status = err_NilPointer;
    } else {
        size = size.boundedTo(QSize(kMaxCacheSide, kMaxCacheSide));
        image = QImage(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        CGrafPtr savedPort = nullptr;
        Rect savedBounds;
        mMedia->GetGWorld(&savedPort);
        mMedia->GetBoundsRect(&savedBounds);
        const Rect target { 0, 0, SInt16(size.height()), SInt16(size.width()) };
        status = mMedia->SetGWorld(&painter);
        if (status == noErr)
            status = mMedia->SetBoundsRect(&target);
        if (status == noErr)
            status = mMedia->DrawMatched();
        painter.end();
        mMedia->SetBoundsRect(&savedBounds);
        mMedia->SetGWorld(savedPort);
        if (status != noErr)
            image = QImage();
    }
    if (outStatus)
        *outStatus = status;
    return image;
}

void CMediaView::EnsureCache(qreal pixelRatio)
{
    if (!mMedia || mBounds.isEmpty())
        return;
    // As many pixels as the screen shows at this zoom, never more than the medium has.
    QSize wanted(int(std::ceil(mBounds.width() * pixelRatio)), int(std::ceil(mBounds.height() * pixelRatio)));
    QRect natural;
    if (CatchCode([&] { natural = NaturalOf(*mMedia); }) == noErr && !natural.isEmpty()
        && wanted.width() > natural.width())
        wanted = natural.size();
    if (!mCache.isNull() && mCache.width() >= wanted.width())
        return;
    OSStatus status = noErr;
    mCache = RenderMedium(wanted, &status);
    mDrawError = status;
}

void CMediaView::ScreenChanged()
{
    // The cache was made for the old screen's density.
    mCache = QImage();
    update();
}

void CMediaView::DrawSelf(QPainter& painter)
{
    if (!mMedia)
        return;
    const SPoint32 location = GetImageLocation();
    const QRect local = mBounds.translated(location.h, location.v);
    DrawMedium(painter, local);
    if (mDrawError != noErr)
        DrawMediaError(painter, mDrawError);
}

void CMediaView::DrawMedium(QPainter& painter, const QRect& localBounds)
{
    if (!HasArea(mMedia.get()))
        return;
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : devicePixelRatioF();
    EnsureCache(ratio);
    if (mCache.isNull())
        return;
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(localBounds), mCache);
    painter.restore();
}

void CMediaView::DrawMediaError(QPainter& painter, OSStatus code)
{
    painter.save();
    const QRect strip(0, 0, width(), kErrorStripHeight);
    painter.fillRect(strip, Qt::black);
    // Painted by the icon, so that a dense screen gets its large pixels.
    GetSystemIcon('caut').paint(&painter, QRect(2, 1, 16, 16));
    painter.setPen(Qt::white);
    // What went wrong in words; the number goes to the log, not to the user.
    const QRect room = strip.adjusted(22, 0, -2, 0);
    const QString text = CopyLocalizedString(QStringLiteral("MEDIA_ERROR_STRIP")).arg(GetErrorText(code));
    painter.drawText(
        room, Qt::AlignVCenter | Qt::AlignLeft, painter.fontMetrics().elidedText(text, Qt::ElideRight, room.width()));
    painter.restore();
}

// Idle time.

void CMediaView::SpendTime(const EventRecord& event)
{
    IdleUpdate(event);
}

void CMediaView::IdleUpdate(const EventRecord& event)
{
    const UInt32 interval = HasArea(mMedia.get()) ? kIdleTicks : kSoundIdleTicks;
    if (UInt32(event.when - mLastIdleTime) > interval) {
        mLastIdleTime = event.when;
        StatusUpdate();
    }
}

void CMediaView::StatusUpdate()
{
}

// Scrolling.

bool CMediaView::KeyScroll(UInt8 arrowChar)
{
    SInt32 dh = 0, dv = 0;
    switch (arrowChar) {
    case char_LeftArrow:
        dh = -kKeyScrollStep;
        break;
    case char_RightArrow:
        dh = kKeyScrollStep;
        break;
    case char_UpArrow:
        dv = -kKeyScrollStep;
        break;
    case char_DownArrow:
        dv = kKeyScrollStep;
        break;
    default:
        return false;
    }
    return ScrollPinnedImageBy(dh, dv, true);
}

bool CMediaView::DragScrollBy(SInt32 dh, SInt32 dv)
{
    return ScrollPinnedImageBy(-dh * kDragFactor, -dv * kDragFactor, true);
}

void CMediaView::ClickSelf(const SMouseDownEvent& event)
{
    const UInt16 modifiers = event.macEvent.modifiers;
    if (mMedia && HasArea(mMedia.get()) && (modifiers & cmdKey)) {
        SetZoom(SInt16(GetZoom() + kZoomStep));
        return;
    }
    if (mMedia && HasArea(mMedia.get()) && (modifiers & optionKey)) {
        SetZoom(SInt16(std::max<SInt32>(kMinZoom, GetZoom() - kZoomStep)));
        return;
    }
    if (GetClickCount() == 1 && CanScroll()) {
        mDragging = true;
        mDragScrolled = false;
        mDragStart = event;
        mLastDragPoint = event.whereLocal;
        setCursor(Qt::ClosedHandCursor);
        return;
    }
    if (LView* super = GetSuperView())
        super->ClickSelf(event);
}

void CMediaView::mouseMoveEvent(QMouseEvent* event)
{
    if (mDragging && (event->buttons() & Qt::LeftButton)) {
        const QPoint now = event->position().toPoint();
        const QPoint delta = now - mLastDragPoint;
        // The image moves under the pointer; the pointer's place in the view stays.
        mLastDragPoint = now;
        if (!delta.isNull() && DragScrollBy(delta.x(), delta.y()))
            mDragScrolled = true;
        event->accept();
        return;
    }
    LView::mouseMoveEvent(event);
}

void CMediaView::mouseReleaseEvent(QMouseEvent* event)
{
    if (mDragging) {
        mDragging = false;
        setCursor(CanScroll() ? Qt::OpenHandCursor : Qt::ArrowCursor);
        // A click that scrolled nothing belongs to the window.
        if (!mDragScrolled)
            if (LView* super = GetSuperView())
                super->ClickSelf(mDragStart);
    }
    LView::mouseReleaseEvent(event);
}

void CMediaView::AdjustMouseSelf(QPoint, const EventRecord& event)
{
    if (mDragging)
        return;
    if (event.modifiers & cmdKey)
        setCursor(Qt::CrossCursor);
    else if (event.modifiers & optionKey)
        setCursor(Qt::CrossCursor);
    else if (CanScroll())
        setCursor(Qt::OpenHandCursor);
    else
        setCursor(Qt::ArrowCursor);
}

// Commands and keys.

bool CMediaView::ObeyCommand(CommandT command, void* ioParam)
{
    switch (command) {
    case cmd_MediaZoom50:
        SetZoom(50);
        return true;
    case cmd_MediaZoom100:
        SetZoom(100);
        return true;
    case cmd_MediaZoom200:
        SetZoom(200);
        return true;
    case cmd_MediaZoomIn:
        SetZoom(SInt16(std::min<SInt32>(kMaxZoom, GetZoom() + kZoomStep)));
        return true;
    case cmd_MediaZoomOut:
        SetZoom(SInt16(std::max<SInt32>(kMinZoom, GetZoom() - kZoomStep)));
        return true;
    case cmd_MediaFitShrink:
        SetZoom(kZoomFitShrink);
        return true;
    case cmd_MediaFitEnlarge:
        SetZoom(kZoomFitEnlarge);
        return true;
    case cmd_MediaFillShorterSide:
        SetZoom(kZoomFillShorterSide);
        return true;
    case cmd_MediaZoomDialog: {
        bool ok = false;
        const int value = QInputDialog::getInt(window(), QString(), QString(), GetZoom(), kMinZoom, kMaxZoom, 10, &ok);
        if (ok)
            SetZoom(SInt16(value));
        return true;
    }
    case cmd_PageSetup: {
        QByteArray flat;
        GetPrefHandle(kPrintSettingsKey, flat);
        const std::unique_ptr<QPagedPaintDevice> printer = Printing::MakePrinter(flat);
        if (Printing::MakeDialog(Printing::Dialog::PageSetup, *printer, window())->exec() == QDialog::Accepted)
            SetPrefHandle(kPrintSettingsKey, FlattenPageFormat(printer->pageLayout()));
        return true;
    }
    case cmd_Print:
        Print(false);
        return true;
    case cmd_PrintOne:
        Print(true);
        return true;
    case cmd_Copy:
        Copy();
        return true;
    default:
        return LCommander::ObeyCommand(command, ioParam);
    }
}

void CMediaView::FindCommandStatus(CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark,
    Str255& outName)
{
    const bool area = HasArea(mMedia.get());
    const SInt16 zoom = GetZoom();
    const SInt16 flag = mOptions ? mOptions->zoomFlag : SInt16(kZoomFixed);
    auto mark = [&](bool on) {
        outUsesMark = true;
        outMark = on ? checkMark : noMark;
    };
    switch (command) {
    case cmd_MediaZoomIn:
        outEnabled = area && zoom < kMaxZoom;
        return;
    case cmd_MediaZoomOut:
        outEnabled = area && zoom > kMinZoom;
        return;
    case cmd_MediaZoom50:
    case cmd_MediaZoom100:
    case cmd_MediaZoom200: {
        const SInt16 percent = command == cmd_MediaZoom50 ? 50 : command == cmd_MediaZoom100 ? 100 : 200;
        outEnabled = area;
        mark(flag == kZoomFixed && zoom == percent);
        return;
    }
    case cmd_MediaFitShrink:
        outEnabled = area;
        mark(flag == kZoomFitShrink);
        return;
    case cmd_MediaFitEnlarge:
        outEnabled = area;
        mark(flag == kZoomFitEnlarge);
        return;
    case cmd_MediaFillShorterSide:
        outEnabled = area;
        mark(flag == kZoomFillShorterSide);
        return;
    case cmd_MediaZoomDialog:
    case cmd_Copy:
        outEnabled = area;
        return;
    case cmd_Print:
    case cmd_MediaNext:
    case cmd_MediaPrevious:
        outEnabled = true;
        return;
    default:
        LCommander::FindCommandStatus(command, outEnabled, outUsesMark, outMark, outName);
    }
}

bool CMediaView::HandleKeyPress(const EventRecord& event)
{
    if (!IsVisible())
        return LCommander::HandleKeyPress(event);
    const UInt8 key = EventCharCode(event);
    const bool option = event.modifiers & optionKey;
    bool handled = true;
    switch (key) {
    case char_LeftArrow:
    case char_RightArrow:
        if (option && CanScroll())
            KeyScroll(key);
        else
            handled = false;
        break;
    case char_UpArrow:
    case char_DownArrow:
        if (option && CanScroll())
            KeyScroll(key);
        else if (mMedia && mMedia->GetKind() == kMediaKindMovie)
            SetVolume(SInt16(GetVolume() + (key == char_UpArrow ? 12 : -12)));
        break;
    default: {
        handled = false;
        struct KeyCommand {
            char key;
            CommandT command;
        };
        static constexpr KeyCommand kKeyCommands[] = { { '+', cmd_MediaZoomIn }, { '-', cmd_MediaZoomOut },
            { '0', cmd_MediaZoom50 }, { '1', cmd_MediaZoom100 }, { '2', cmd_MediaZoom200 }, { '3', cmd_MediaFitShrink },
            { '4', cmd_MediaFitEnlarge }, { '5', cmd_MediaFillShorterSide } };
        // The desktop's zoom keys: Ctrl with plus (or the "=" it shares a key with), minus and 0 (actual size).
        static constexpr KeyCommand kCtrlKeyCommands[] = { { '+', cmd_MediaZoomIn }, { '=', cmd_MediaZoomIn },
            { '-', cmd_MediaZoomOut }, { '0', cmd_MediaZoom100 } };
        std::span<const KeyCommand> table;
        if (!(event.modifiers & (cmdKey | controlKey)))
            table = kKeyCommands;
        else if ((event.modifiers & (cmdKey | controlKey | optionKey)) == cmdKey)
            table = kCtrlKeyCommands;
        for (const auto& entry : table) {
            if (key == UInt8(entry.key)) {
                Boolean enabled = false, usesMark = false;
                UInt16 mark = 0;
                Str255 name {};
                FindCommandStatus(entry.command, enabled, usesMark, mark, name);
                if (enabled)
                    ObeyCommand(entry.command, nullptr);
                handled = true;
                break;
            }
        }
    }
    }
    if (handled) {
        LCommander::SetUpdateCommandStatus(true);
        return true;
    }
    return LCommander::HandleKeyPress(event);
}

// Copying and printing.

void CMediaView::Copy()
{
    if (!mMedia || !mMedia->HasArea())
        return;
    QRect natural;
    ThrowIfOSErr_(CatchCode([&] { natural = NaturalOf(*mMedia); }));
    OSStatus status = noErr;
    const QImage image = RenderMedium(natural.size(), &status);
    ThrowIfOSErr_(status);
    QApplication::clipboard()->setImage(image);
}

void CMediaView::Print(bool withoutDialog)
{
    if (!mMedia)
        ThrowOSErr_(err_NilPointer, "no medium to print");
    QByteArray flat;
    GetPrefHandle(kPrintSettingsKey, flat);
    const std::unique_ptr<QPagedPaintDevice> printer = Printing::MakePrinter(flat);
    if (!withoutDialog
        && Printing::MakeDialog(Printing::Dialog::Print, *printer, window())->exec() != QDialog::Accepted)
        return;
    PrintTo(*printer);
}

SInt32 CMediaView::PrintTo(QPagedPaintDevice& printer)
{
    if (!mMedia || !mMedia->HasArea())
        ThrowOSErr_(err_NilPointer, "no picture to print");
    const QRect natural = NaturalOf(*mMedia);
    const QRect page = printer.pageLayout().paintRectPixels(printer.logicalDpiX());
    // Laid out on the page by the window's zoom, without the screen's limits.
    mPrinting = true;
    MediaViewOptions options = mOptions ? *mOptions : MediaViewOptions();
    const QRect bounds
        = CalcMediaBounds(natural, QRect(0, 0, page.width(), page.height()), options, mMedia->GetMaxZoom(), true);
    mPrinting = false;
    QPainter painter;
    if (!painter.begin(&printer))
        ThrowOSErr_(ioErr, "the printer did not start");
    OSStatus status = noErr;
    const QImage image = RenderMedium(bounds.size().boundedTo(natural.size()).expandedTo(QSize(1, 1)), &status);
    if (status == noErr) {
        const QRect target(QPoint(std::max(0, (page.width() - bounds.width()) / 2),
                               std::max(0, (page.height() - bounds.height()) / 2)),
            bounds.size());
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, image);
    }
    painter.end();
    ThrowIfOSErr_(status);
    return 1;
}
