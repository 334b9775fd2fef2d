#include "LPane.h"

#include "BundleStrings.h"
#include "LCommander.h"
#include "LView.h"
#include "LWindow.h"
#include "ErrorHook.h"
#include "ExceptionCode.h"
#include "UReportErrors.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

LPane::LPane(const SPaneInfo& info)
{
    InitPane(info);
}

LPane::LPane(const LLayoutData& data)
{
    SPaneInfo info = PaneInfoFromLayout(data);
    info.superView = sDefaultView;
    InitPane(info);
    if (data.Has("descriptor"))
        mDescriptor = data.String("descriptor");
    // What a screen reader calls a control that shows no words (a key into the strings).
    if (data.Has("accessibleName"))
        setAccessibleName(BundleLocalizedString(data.String("accessibleName")));
}

SPaneInfo LPane::PaneInfoFromLayout(const LLayoutData& data)
{
    SPaneInfo info;
    info.paneID = PaneIDT(data.Code("id", 0));
    if (data.Has("frame")) {
        QList<SInt32> frame = data.Ints("frame", 4);
        info.left = frame[0];
        info.top = frame[1];
        info.width = frame[2];
        info.height = frame[3];
    }
    const QString bindings = data.String("bindings");
    for (QChar c : bindings) {
        switch (c.toLatin1()) {
        case 'l': info.bindings.left = true; break;
        case 't': info.bindings.top = true; break;
        case 'r': info.bindings.right = true; break;
        case 'b': info.bindings.bottom = true; break;
        default: data.Fail(QStringLiteral("bindings must be letters of \"ltrb\""));
        }
    }
    info.visible = data.Bool("visible", true);
    info.enabled = data.Bool("enabled", true);
    info.userCon = data.Int("userCon", 0);
    return info;
}

void LPane::InitPane(const SPaneInfo& info)
{
    mPaneID = info.paneID;
    mUserCon = info.userCon;
    mBindings = info.bindings;
    mWantsVisible = info.visible;
    setMouseTracking(true);
    setAttribute(Qt::WA_NoMousePropagation);
    mDeclaredSize = QSize(std::max(0, info.width), std::max(0, info.height));
    resize(mDeclaredSize);
    if (!info.enabled)
        setEnabled(false);
    if (info.superView) {
        PutInside(info.superView, false);
        PlaceInSuperImageAt(info.left, info.top, false);
    } else {
        move(info.left, info.top);
    }
    setVisible(mWantsVisible && info.superView != nullptr);
}

LPane::~LPane()
{
    if (mSuperView)
        mSuperView->RemoveSubPane(this);
}

void LPane::PutInside(LView* superView, bool orient)
{
    if (mSuperView == superView)
        return;
    if (mSuperView)
        mSuperView->RemoveSubPane(this);
    mSuperView = superView;
    if (superView) {
        superView->AddSubPane(this);
        setParent(superView->ContentWidgetFor(this));
        if (orient)
            PlaceInSuperImageAt(0, 0, false);
        setVisible(mWantsVisible);
    } else {
        setParent(nullptr);
    }
}

LWindow* LPane::GetContainingWindow() const
{
    for (const LPane* pane = this; pane; pane = pane->mSuperView) {
        if (auto* window = dynamic_cast<const LWindow*>(pane))
            return const_cast<LWindow*>(window);
    }
    return nullptr;
}

StringPtr LPane::GetDescriptor(Str255& outText) const
{
    QStringToPString(GetCFDescriptor(), outText);
    return outText.Data();
}

void LPane::SetDescriptor(ConstStr255Param text)
{
    SetCFDescriptor(PStringToQString(text));
}

void LPane::SetCFDescriptor(const QString& text)
{
    mDescriptor = text;
    Refresh();
}

void LPane::SetDataTag(SInt16, FourCharCode tag, UInt32 size, const void* data)
{
    // The texts every pane knows: 'cfst' a QString, 'text' a Pascal string.
    if (tag == 'cfst' && data && size >= sizeof(QString)) {
        SetCFDescriptor(*static_cast<const QString*>(data));
        return;
    }
    if (tag == 'text' && data) {
        SetCFDescriptor(QString::fromLatin1(static_cast<const char*>(data), int(size)));
        return;
    }
    ThrowOSErr_(errDataNotSupported);
}

void LPane::GetDataTag(SInt16, FourCharCode tag, UInt32 size, void* outData, UInt32* outSize) const
{
    if (tag == 'cfst' && outData && size >= sizeof(QString)) {
        *static_cast<QString*>(outData) = GetCFDescriptor();
        if (outSize)
            *outSize = sizeof(QString);
        return;
    }
    ThrowOSErr_(errDataNotSupported);
}

void LPane::CalcPortFrameRect(QRect& outRect) const
{
    QPoint topLeft(0, 0);
    LocalToPortPoint(topLeft);
    outRect = QRect(topLeft, size());
}

void LPane::MoveBy(SInt32 dh, SInt32 dv, bool refresh)
{
    if (dh == 0 && dv == 0)
        return;
    if (refresh && mSuperView)
        mSuperView->update(geometry());
    move(x() + dh, y() + dv);
    if (refresh)
        Refresh();
}

void LPane::ResizeFrameBy(SInt32 dWidth, SInt32 dHeight, bool refresh)
{
    if (dWidth == 0 && dHeight == 0)
        return;
    if (refresh && mSuperView)
        mSuperView->update(geometry());
    resize(std::max(0, width() + dWidth), std::max(0, height() + dHeight));
    if (refresh)
        Refresh();
}

void LPane::ResizeFrameTo(SInt32 newWidth, SInt32 newHeight, bool refresh)
{
    ResizeFrameBy(newWidth - width(), newHeight - height(), refresh);
}

void LPane::PlaceInSuperFrameAt(SInt32 h, SInt32 v, bool refresh)
{
    MoveBy(h - x(), v - y(), refresh);
}

void LPane::PlaceInSuperImageAt(SInt32 h, SInt32 v, bool refresh)
{
    QPoint local(h, v);
    if (mSuperView)
        mSuperView->ImageToLocalPoint(SPoint32 { h, v }, local);
    PlaceInSuperFrameAt(local.x(), local.y(), refresh);
}

void LPane::AdaptToSuperFrameSize(SInt32 dWidth, SInt32 dHeight, bool refresh)
{
    SInt32 grow = 0, growV = 0, moveH = 0, moveV = 0;
    if (mBindings.right)
        (mBindings.left ? grow : moveH) = dWidth;
    if (mBindings.bottom)
        (mBindings.top ? growV : moveV) = dHeight;
    ResizeFrameBy(grow, growV, refresh);
    MoveBy(moveH, moveV, refresh);
}

namespace {
QWidget* PortWidget(const QWidget* widget)
{
    // The port is the window's content: the outermost pane.
    const QWidget* port = widget;
    for (auto* pane = dynamic_cast<const LPane*>(widget); pane && pane->GetSuperView(); pane = pane->GetSuperView())
        port = pane->GetSuperView();
    return const_cast<QWidget*>(port);
}
} // namespace

void LPane::PortToLocalPoint(QPoint& ioPoint) const
{
    ioPoint = mapFrom(PortWidget(this), ioPoint);
}

void LPane::LocalToPortPoint(QPoint& ioPoint) const
{
    ioPoint = mapTo(PortWidget(this), ioPoint);
}

void LPane::GlobalToPortPoint(QPoint& ioPoint) const
{
    ioPoint = PortWidget(this)->mapFromGlobal(ioPoint);
}

void LPane::PortToGlobalPoint(QPoint& ioPoint) const
{
    ioPoint = PortWidget(this)->mapToGlobal(ioPoint);
}

bool LPane::Contains(SInt32 portH, SInt32 portV) const
{
    QRect frame;
    CalcPortFrameRect(frame);
    return frame.contains(portH, portV);
}

void LPane::Show()
{
    if (mWantsVisible && isVisibleTo(parentWidget()))
        return;
    mWantsVisible = true;
    setVisible(true);
    ShowSelf();
}

void LPane::Hide()
{
    if (!mWantsVisible)
        return;
    // A pane holding the target hands it back before Qt moves the keyboard focus
    // on to whatever widget comes next.
    if (auto* commander = dynamic_cast<LCommander*>(this); commander && commander->IsTarget())
        commander->HandTargetBack();
    mWantsVisible = false;
    setVisible(false);
    HideSelf();
}

bool LPane::IsVisible() const
{
    return mWantsVisible && isVisible();
}

void LPane::Enable()
{
    setEnabled(true);
    EnableSelf();
}

void LPane::Disable()
{
    setEnabled(false);
    DisableSelf();
}

void LPane::Activate()
{
    if (mActive)
        return;
    mActive = true;
    ActivateSelf();
    Refresh();
}

void LPane::Deactivate()
{
    if (!mActive)
        return;
    mActive = false;
    DeactivateSelf();
    Refresh();
}

bool LPane::IsActive() const
{
    return mActive && (!mSuperView || mSuperView->IsActive());
}

void LPane::Refresh()
{
    update();
}

void LPane::RefreshRect(const QRect& localRect)
{
    update(localRect);
}

void LPane::UpdatePort()
{
    repaint();
}

bool LPane::FocusDraw(LPane*)
{
    return isVisible();
}

void LPane::Draw(QPainter& painter)
{
    if (ExecuteAttachments(msg_DrawOrPrint, &painter))
        DrawSelf(painter);
}

void LPane::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    // The clip tells DrawSelf what is exposed (clipBoundingRect), so a tall
    // view draws only that.
    painter.setClipRegion(event->region());
    // A code from drawing must not unwind through Qt's paint machinery; what was
    // drawn stays, the failure is logged (an alert from inside a paint would only
    // ask for another paint).
    try {
        Draw(painter);
    } catch (...) {
        LogError(CurrentExceptionCode(), "drawing");
    }
}

bool LPane::event(QEvent* event)
{
    // Qt tells every widget of a window that moved to another screen.
    if (event->type() == QEvent::ScreenChangeInternal)
        ScreenChanged();
    return QWidget::event(event);
}

void LPane::Click(SMouseDownEvent& event)
{
    if (!ExecuteAttachments(msg_Click, &event))
        return;
    ClickSelf(event);
    // A click may change what the commands apply to (the toolbar follows at idle).
    LCommander::SetUpdateCommandStatus(true);
}

SMouseDownEvent LPane::MouseDownFromQt(const QMouseEvent& event) const
{
    SMouseDownEvent down;
    down.macEvent = EventRecordFromMouseEvent(event);
    down.whereLocal = event.position().toPoint();
    down.wherePort = down.whereLocal;
    LocalToPortPoint(down.wherePort);
    return down;
}

void LPane::ClickFromQt(QMouseEvent* event, SInt16 clickCount)
{
    sClickCount = clickCount;
    SMouseDownEvent down = MouseDownFromQt(*event);
    RunReportingErrors([&] { Click(down); });
}

void LPane::mousePressEvent(QMouseEvent* event)
{
    ClickFromQt(event, 1);
    event->accept();
}

void LPane::mouseDoubleClickEvent(QMouseEvent* event)
{
    ClickFromQt(event, 2);
    event->accept();
}

void LPane::SimulateClick(QPoint localPoint, UInt16 modifiers, SInt16 clickCount)
{
    sClickCount = clickCount;
    SMouseDownEvent down;
    down.macEvent.what = mouseDown;
    down.macEvent.when = TickCount();
    down.macEvent.modifiers = modifiers;
    down.whereLocal = localPoint;
    down.wherePort = localPoint;
    LocalToPortPoint(down.wherePort);
    down.macEvent.where = down.wherePort;
    PortToGlobalPoint(down.macEvent.where);
    Click(down);
}

void LPane::AdjustMouse(QPoint portPoint, const EventRecord& event)
{
    EventRecord copy = event;
    if (ExecuteAttachments(msg_AdjustCursor, &copy))
        AdjustMouseSelf(portPoint, event);
}

void LPane::AdjustMouseSelf(QPoint, const EventRecord&)
{
    unsetCursor(); // the arrow, or whatever the superview shows
}

void LPane::mouseMoveEvent(QMouseEvent* event)
{
    EventRecord record = EventRecordFromMouseEvent(*event);
    record.what = nullEvent;
    QPoint port = event->position().toPoint();
    LocalToPortPoint(port);
    AdjustMouse(port, record);
    QWidget::mouseMoveEvent(event);
}

void LPane::keyPressEvent(QKeyEvent* event)
{
    // The whole commander chain has seen the key: it goes no further up the widgets.
    DispatchKeyToTarget(event, GetContainingWindow());
    event->accept();
}

LPane* LPane::FindPaneByID(PaneIDT paneID)
{
    return paneID == mPaneID ? this : nullptr;
}

LPane* LPane::FindDeepSubPaneContaining(SInt32, SInt32) const
{
    return nullptr;
}

LPane* LPane::FindSubPaneHitBy(SInt32, SInt32) const
{
    return nullptr;
}

void LPane::FinishCreate()
{
    FinishCreateSelf();
    ExecuteAttachments(msg_FinishCreate, this);
}

bool DispatchKeyToTarget(QKeyEvent* event, LWindow* typedIn)
{
    LCommander* target = LCommander::GetTarget();
    // A modal window takes the keys typed in it even while the target has not yet
    // followed it there (the window system confirms activations later), so that
    // its default and cancel buttons answer Return and Escape.
    if (typedIn && typedIn->GetShell() && typedIn->GetShell()->isModal()) {
        LCommander* inChain = target;
        while (inChain && inChain != typedIn)
            inChain = inChain->GetSuperCommander();
        if (!inChain)
            target = typedIn;
    }
    if (!target)
        return false;
    bool handled = false;
    EventRecord record = EventRecordFromKeyEvent(*event);
    RunReportingErrors([&] { handled = target->ProcessKeyPress(record); });
    event->setAccepted(handled);
    return handled;
}

QString CopyPaneCFDescriptor(LView* view, PaneIDT paneID)
{
    LPane* pane = view ? view->FindPaneByID(paneID) : nullptr;
    if (!pane)
        return QString();
    QString text = pane->GetCFDescriptor();
    if (text.isNull())
        text = QStringLiteral(""); // an existing pane always answers a string
    return text;
}

void SetPaneCFDescriptor(LView* view, PaneIDT paneID, const QString& text)
{
    LPane* pane = view ? view->FindPaneByID(paneID) : nullptr;
    if (!pane)
        return;
    if (text.isNull())
        pane->SetDescriptor(Str255());
    else
        pane->SetCFDescriptor(text);
}

void SetPaneCFDescriptorAndRelease(LView* view, PaneIDT paneID, const QString& text)
{
    SetPaneCFDescriptor(view, paneID, text);
}
