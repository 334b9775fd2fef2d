#include "CWidgets.h"

#include "BundleStrings.h"
#include "ExceptionCode.h"
#include "LDragAndDrop.h"
#include "LScrollerView.h"
#include "LWindow.h"
#include "ThemeColors.h"
#include "UEnvironment.h"
#include "URegistrar.h"
#include "UReportErrors.h"
#include "UResources.h"
#include "UTextDrawing.h"
#include "UTextTraits.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>
#include <QWheelEvent>

namespace {
constexpr int kMillisecondsPerTick = 1000 / 60;
constexpr int kWheelNotch = 120; // eighths of a degree

LWindow* WindowOf(QWidget* widget)
{
    for (QWidget* w = widget; w; w = w->parentWidget()) {
        if (auto* window = dynamic_cast<LWindow*>(w))
            return window;
    }
    return nullptr;
}

LPane* PaneOf(QWidget* widget)
{
    for (QWidget* w = widget; w; w = w->parentWidget()) {
        if (auto* pane = dynamic_cast<LPane*>(w))
            return pane;
    }
    return nullptr;
}

QColor Lightened(QColor colour)
{
    // Halfway to white: (component + 65535) / 2 in 16-bit terms.
    return QColor((colour.red() + 255) / 2, (colour.green() + 255) / 2, (colour.blue() + 255) / 2);
}

QColor From16Bit(int red, int green, int blue)
{
    return QColor::fromRgba64(quint16(red), quint16(green), quint16(blue));
}
} // namespace

QColor GrayRamp(int index)
{
    index = std::clamp(index, 0, 13);
    static const int known[14] = { 0xFFFF, 0xEEEE, 0xDDDD, 0xCCCC, 0xBBBB, 0xAAAA, 0x9999, 0x8888, 0x7777, 0x6666, 0x5555,
        0x4444, 0x2222, 0x0000 };
    int level = known[index];
    return From16Bit(level, level, level);
}

void CFramedWhiteView::DrawSelf(QPainter& painter)
{
    painter.fillRect(rect(), Qt::white);
    painter.setPen(QColor(0, 0, 255)); // the old blue
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

CLiveResizeAttachment::CLiveResizeAttachment(const LLayoutData&)
    : LAttachment(msg_FinishCreate)
{
}

CLiveResizeAttachment::CLiveResizeAttachment(LWindow* window)
    : LAttachment(msg_FinishCreate)
{
    SetUp(window);
}

CLiveResizeAttachment::~CLiveResizeAttachment()
{
    if (mWindow && mWindow->GetShell())
        mWindow->GetShell()->removeEventFilter(this);
}

void CLiveResizeAttachment::ExecuteSelf(MessageT message, void*)
{
    if (message == msg_FinishCreate)
        SetUp(dynamic_cast<LWindow*>(GetOwnerHost()));
}

void CLiveResizeAttachment::SetUp(LWindow* window)
{
    if (!window || !window->HasAttribute(windAttr_Resizable) || !UEnvironment::HasFeature(env_HasLiveResize))
        return;
    mWindow = window;
    window->GetShell()->installEventFilter(this);
}

bool CLiveResizeAttachment::eventFilter(QObject* watched, QEvent* event)
{
    if (mWindow && watched == mWindow->GetShell() && event->type() == QEvent::Resize)
        QTimer::singleShot(0, mWindow, [window = mWindow] {
            if (window)
                window->repaint(); // at once, not at the next idle time
        });
    return false;
}

CScrollWheelAttachment::CScrollWheelAttachment()
    : LAttachment(msg_Nothing)
{
    if (qApp)
        qApp->installEventFilter(this);
}

CScrollWheelAttachment::~CScrollWheelAttachment()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

bool CScrollWheelAttachment::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::Wheel || !watched->isWidgetType())
        return false;
    auto* wheel = static_cast<QWheelEvent*>(event);
    // Only wheels over the program's own panes: lists, text fields and other Qt
    // widgets scroll themselves, as controls took their wheels first before.
    if (!dynamic_cast<LPane*>(static_cast<QWidget*>(watched)))
        return false;
    bool handled = false;
    RunReportingErrors([&] { handled = HandleWheel(wheel->globalPosition().toPoint(), wheel->angleDelta(), wheel->pixelDelta()); });
    return handled;
}

bool CScrollWheelAttachment::HandleWheel(QPoint global, QPoint angleDelta, QPoint pixelDelta)
{
    QWidget* under = QApplication::widgetAt(global);
    LWindow* window = WindowOf(under);
    if (!window)
        return false;
    QPoint port = window->mapFromGlobal(global);
    LPane* pane = window->FindDeepSubPaneContaining(port.x(), port.y());
    if (!pane)
        pane = PaneOf(under);
    LView* scrolled = nullptr;
    for (LPane* p = pane; p; p = p->GetSuperView()) {
        if (auto* scroller = dynamic_cast<LScrollerView*>(p); scroller && scroller->GetScrollingView()) {
            scrolled = scroller->GetScrollingView();
            break;
        }
    }
    if (!scrolled)
        return true; // over the program's window, but nothing to scroll: taken all the same
    SPoint32 unit = scrolled->GetScrollUnit();
    QPoint move;
    if (!pixelDelta.isNull()) {
        move = -pixelDelta; // a touchpad gives pixels, already in the user's direction
    } else {
        // High-resolution wheels give parts of a notch: they add up to whole ones.
        mRemainder += angleDelta;
        QPoint notches(mRemainder.x() / kWheelNotch, mRemainder.y() / kWheelNotch);
        mRemainder -= notches * kWheelNotch;
        move = QPoint(-notches.x() * unit.h, -notches.y() * unit.v);
    }
    if (!move.isNull())
        scrolled->ScrollPinnedImageBy(move.x(), move.y(), true);
    return true;
}

CURLPushButton::CURLPushButton(const LLayoutData& data)
    : LControl(data)
    , mTitle(data.String("title"))
    , mURL(data.String("url"))
    , mTextTraitsID(ResIDT(data.Int("textTraits")))
    , mPressedTraitsID(SInt16(data.Int("pressedTextTraits", -1)))
    , mPressedColorFlag(data.Bool("pressedColorFlag"))
    , mUserValue(SInt16(data.Int("userValue")))
    , mDraggable(data.Bool("draggable", true))
{
    if (data.Has("pressedColor")) {
        QList<SInt32> rgb = data.Ints("pressedColor", 3);
        mPressedColor = From16Bit(rgb[0], rgb[1], rgb[2]);
    }
    Init();
}

CURLPushButton::CURLPushButton(const SPaneInfo& info, MessageT message, const QString& title, const QString& url)
    : LControl(info, message)
    , mTitle(title)
    , mURL(url)
{
    Init();
}

void CURLPushButton::Init()
{
    mValue = 0; // a link has no value of its own
    setCursor(Qt::PointingHandCursor);
}

void CURLPushButton::SetTitle(const QString& title)
{
    mTitle = title;
    Refresh();
}

void CURLPushButton::SetPressedColor(UInt8 red, UInt8 green, UInt8 blue)
{
    mPressedColor = From16Bit(red * 257, green * 257, blue * 257);
}

QString CURLPushButton::GetAddress() const
{
    return mURL.isEmpty() ? mTitle : mURL;
}

QString CURLPushButton::GetDragText() const
{
    QString address = GetAddress();
    if (address.size() >= 3 && address.startsWith(QLatin1Char('<')) && address.endsWith(QLatin1Char('>')))
        return address.mid(1, address.size() - 2);
    return address;
}

void CURLPushButton::DrawSelf(QPainter& painter)
{
    TextTraitsRecord traits = UTextTraits::LoadTextTraits(mTextTraitsID);
    SInt16 justification = traits.justification;
    if (justification == teFlushDefault)
        justification = layoutDirection() == Qt::RightToLeft ? SInt16(teFlushRight) : SInt16(teFlushLeft);
    QColor colour = IsActive() ? traits.color : Lightened(traits.color);
    QRect frame = rect();
    if (mPressed) {
        if (mPressedTraitsID >= 0) {
            painter.eraseRect(frame);
            TextTraitsRecord pressed = UTextTraits::LoadTextTraits(ResIDT(mPressedTraitsID));
            painter.setFont(pressed.font);
            painter.setPen(pressed.color);
            UTextDrawing::DrawWithJustification(painter, mTitle, frame, pressed.justification);
            return;
        }
        if (mPressedColorFlag) {
            colour = mPressedColor;
        } else {
            // Inverted: the text's colour behind, the background's in front.
            painter.fillRect(frame, colour);
            colour = palette().color(QPalette::Window);
        }
    }
    painter.setFont(traits.font);
    painter.setPen(colour);
    UTextDrawing::DrawWithJustification(painter, mTitle, frame, justification);
}

void CURLPushButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !IsEnabled()) {
        LControl::mousePressEvent(event);
        return;
    }
    mTracking = true;
    mPressed = true;
    mPressPoint = event->position().toPoint();
    repaint();
    event->accept();
}

void CURLPushButton::mouseMoveEvent(QMouseEvent* event)
{
    if (!mTracking) {
        LControl::mouseMoveEvent(event);
        return;
    }
    QPoint where = event->position().toPoint();
    if (mDraggable && (where - mPressPoint).manhattanLength() >= QApplication::startDragDistance()) {
        mTracking = false;
        mPressed = false;
        repaint();
        LDragTask drag;
        drag.AddFlavor(1, flavorTypeText, GetDragText().toUtf8());
        drag.AddRectangle(1, rect());
        drag.DoDrag(this, Qt::CopyAction);
        return;
    }
    bool inside = rect().contains(where);
    if (inside != mPressed) {
        mPressed = inside;
        repaint();
    }
}

void CURLPushButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (!mTracking) {
        LControl::mouseReleaseEvent(event);
        return;
    }
    mTracking = false;
    bool inside = rect().contains(event->position().toPoint());
    mPressed = false;
    repaint();
    if (inside)
        RunReportingErrors([&] { OpenAddress(); });
}

void CURLPushButton::OpenAddress()
{
    BroadcastValueMessage();
    QUrl url = QUrl::fromUserInput(GetDragText());
    if (url.isValid())
        QDesktopServices::openUrl(url);
}

void MSuperBroadcastView::FinishCreateSelf()
{
    LView::FinishCreateSelf();
    ListenTo(this);
}

void MSuperBroadcastView::ListenTo(LView* view)
{
    for (LPane* pane : view->GetSubPanes()) {
        if (dynamic_cast<MSuperBroadcastView*>(pane))
            continue; // it relays its own
        if (auto* broadcaster = dynamic_cast<LBroadcaster*>(pane))
            broadcaster->AddListener(this);
        if (auto* sub = dynamic_cast<LView*>(pane))
            ListenTo(sub);
    }
}

void MSuperBroadcastView::ListenToMessage(MessageT message, void* ioParam)
{
    if (message == msg_BroadcasterDied)
        return;
    BroadcastMessage(message, ioParam);
}

CTrackBevelButton::CTrackBevelButton(const LLayoutData& data)
    : LBevelButton(data)
{
    Init();
}

CTrackBevelButton::CTrackBevelButton(const SPaneInfo& info, MessageT message, const QString& title)
    : LBevelButton(info, message, title)
{
    Init();
}

void CTrackBevelButton::Init()
{
    mHold.setSingleShot(true);
    mHold.setInterval(kLongPressTicks * kMillisecondsPerTick);
    QObject::connect(&mHold, &QTimer::timeout, this, [this] {
        mLongPress = true;
        RunReportingErrors([this] { BroadcastMessage(GetValueMessage() + 1, &mValue); });
    });
}

bool CTrackBevelButton::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == GetControlWidget()) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (event->type() == QEvent::MouseButtonPress && mouse->button() == Qt::LeftButton) {
            mLongPress = false;
            mHold.start();
        } else if (event->type() == QEvent::MouseButtonRelease && mouse->button() == Qt::LeftButton) {
            mHold.stop();
            if (mLongPress) {
                mLongPress = false;
                if (auto* button = qobject_cast<QAbstractButton*>(GetControlWidget()))
                    button->setDown(false);
                RunReportingErrors([this] { BroadcastMessage(GetValueMessage() + 1, &mValue); });
                return true; // a long press is no click
            }
        }
    }
    return LBevelButton::eventFilter(watched, event);
}

CListBox::CListBox(const LLayoutData& data)
    : LListBox(data)
{
    GetList()->installEventFilter(this);
    GetList()->viewport()->installEventFilter(this);
}

void CListBox::Changed()
{
    BroadcastMessage(msg_SelectionChanged, this);
}

void CListBox::SelectCell(int row)
{
    SetValue(row);
    Changed();
}

void CListBox::SelectAllCells()
{
    GetList()->selectAll();
    Changed();
}

void CListBox::DeselectAll()
{
    GetList()->clearSelection();
    SetValue(-1);
    Changed();
}

bool CListBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == GetList() && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        bool navigation = key->key() == Qt::Key_Up || key->key() == Qt::Key_Down || key->key() == Qt::Key_Home
            || key->key() == Qt::Key_End || key->key() == Qt::Key_PageUp || key->key() == Qt::Key_PageDown;
        if (navigation) {
            if (GetValue() == -1)
                SetValue(1);
            static_cast<QObject*>(GetList())->event(event);
            Changed();
            return true;
        }
    } else if (watched == GetList()->viewport() && event->type() == QEvent::MouseButtonRelease) {
        QTimer::singleShot(0, GetList(), [this] { Changed(); });
    } else if (watched == GetList() && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)) {
        TargetHook(event->type() == QEvent::FocusIn);
    } else if (watched == GetList()->viewport() && event->type() == QEvent::Paint) {
        TargetHook(true);
    }
    return LListBox::eventFilter(watched, event);
}

void CPlacardView::DrawSelf(QPainter& painter)
{
    // Under a dark desktop palette the strip is drawn in the palette's colours: the
    // pictures are light.
    if (IsDarkPalette(palette())) {
        const QPalette::ColorGroup group = IsActive() ? QPalette::Active : QPalette::Inactive;
        const QColor window = palette().color(group, QPalette::Window);
        QLinearGradient shade(rect().topLeft(), rect().bottomLeft());
        shade.setColorAt(0, window.lighter(118));
        shade.setColorAt(1, window);
        painter.fillRect(rect(), shade);
        painter.setPen(palette().color(group, QPalette::Dark));
        painter.drawLine(rect().topLeft(), rect().topRight());
        return;
    }
    // The strip of the active window, and the plainer one behind.
    const bool active = IsActive() && UEnvironment::GetOSVersion() >= 0x1050;
    const QPixmap picture = UResources::ReadPixmap(active ? QStringLiteral(":/pictures/151.png") : QStringLiteral(":/pictures/150.png"));
    if (picture.isNull())
        ThrowOSErr_('nilP', "the placard picture is missing");
    painter.eraseRect(rect());
    painter.drawPixmap(rect(), picture);
}

void CThemeTextBoxWithShadow::DrawSelf(QPainter& painter)
{
    QString key = GetCFDescriptor();
    QString text = BundleHasLocalizedString(key) ? BundleLocalizedString(key) : key;
    SInt16 justification = UTextTraits::SetPortTextTraits(painter, GetTextTraitsID());
    bool dimmed = IsDimmed();
    QRect frame = rect();
    if (IsActive()) {
        painter.setPen(GrayRamp(UEnvironment::GetOSVersion() >= 0x1050 ? 5 : 1));
        UTextDrawing::DrawWithJustification(painter, text, frame, justification);
    }
    QColor colour = IsActive() ? QColor(Qt::black) : GrayRamp(10);
    if (dimmed)
        colour.setAlpha(110);
    painter.setPen(colour);
    UTextDrawing::DrawWithJustification(painter, text, frame.translated(0, -1), justification);
}

void RegisterWidgetClasses()
{
    URegistrar::RegisterClass<CFramedWhiteView>(CFramedWhiteView::class_ID);
    URegistrar::RegisterClass<CLiveResizeAttachment>(CLiveResizeAttachment::class_ID);
    URegistrar::RegisterClass<CURLPushButton>(CURLPushButton::class_ID);
    URegistrar::RegisterClass<MSuperBroadcastView>(MSuperBroadcastView::class_ID);
    URegistrar::RegisterClass<CTrackBevelButton>(CTrackBevelButton::class_ID);
    URegistrar::RegisterClass<CListBox>(CListBox::class_ID);
    URegistrar::RegisterClass<CPlacardView>(CPlacardView::class_ID);
    URegistrar::RegisterClass<CThemeTextBoxWithShadow>(CThemeTextBoxWithShadow::class_ID);
}
