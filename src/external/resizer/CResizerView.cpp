#include "CResizerView.h"

#include "ExceptionCode.h"
#include "URegistrar.h"

#include <QMouseEvent>

CResizerView::CResizerView(const SPaneInfo& info, const Settings& settings)
    : LView(info)
{
    Init(settings);
}

CResizerView::CResizerView(const LLayoutData& data)
    : LView(data)
{
    Settings settings;
    settings.firstPaneID = PaneIDT(data.Code("firstPane"));
    settings.secondPaneID = PaneIDT(data.Code("secondPane"));
    settings.dividerPaneID = PaneIDT(data.Code("dividerPane"));
    settings.firstMinimum = SInt16(data.Int("firstMinimum"));
    settings.secondMinimum = SInt16(data.Int("secondMinimum"));
    settings.vertical = data.Bool("vertical");
    settings.enabled = data.Bool("enabled", true);
    settings.live = data.Bool("live", true);
    settings.mainCursorID = ResIDT(data.Int("mainCursor"));
    settings.dragCursorID = ResIDT(data.Int("dragCursor"));
    Init(settings);
}

CResizerView::~CResizerView()
{
    if (mDividerPane)
        mDividerPane->removeEventFilter(this);
}

void CResizerView::Init(const Settings& settings)
{
    mSettings = settings;
    mFirstMinimum = std::max<SInt16>(settings.firstMinimum, 0);
    mSecondMinimum = std::max<SInt16>(settings.secondMinimum, 0);
    mVertical = settings.vertical;
    mEnabled = settings.enabled;
    mLive = settings.live;
    mHasDragCursor = settings.dragCursorID != 0 && settings.dragCursorID != settings.mainCursorID;
}

void CResizerView::FinishCreateSelf()
{
    LView::FinishCreateSelf();
    mFirstPane = FindPaneByID(mSettings.firstPaneID);
    mSecondPane = FindPaneByID(mSettings.secondPaneID);
    mDividerPane = FindPaneByID(mSettings.dividerPaneID);
    if (!mFirstPane || !mSecondPane || !mDividerPane)
        ThrowOSErr_('nilP', "a split view misses one of its panes");
    mDividerPane->installEventFilter(this);
    EnableDivider(mEnabled);
}

Qt::CursorShape CResizerView::GetMainCursor() const
{
    return mVertical ? Qt::SplitVCursor : Qt::SplitHCursor;
}

void CResizerView::EnableDivider(bool enable)
{
    mEnabled = enable;
    if (!mDividerPane)
        return;
    if (enable)
        mDividerPane->setCursor(GetMainCursor());
    else
        mDividerPane->unsetCursor();
}

SInt32 CResizerView::GetDividerPosition() const
{
    return mFirstPane ? Along(mFirstPane->size()) : 0;
}

void CResizerView::SetDividerPosition(SInt32 firstPaneSize)
{
    if (!mFirstPane || !mSecondPane)
        return;
    SInt32 room = Along(mFirstPane->size()) + Along(mSecondPane->size());
    SInt32 target = std::clamp(firstPaneSize, SInt32(mFirstMinimum), std::max(SInt32(mFirstMinimum), room - mSecondMinimum));
    MoveDividerBy(target - Along(mFirstPane->size()));
}

void CResizerView::MoveDividerBy(SInt32 delta)
{
    if (delta == 0 || !mFirstPane || !mSecondPane || !mDividerPane)
        return;
    SInt32 dh = mVertical ? 0 : delta;
    SInt32 dv = mVertical ? delta : 0;
    mSecondPane->ResizeFrameBy(-dh, -dv, false);
    mFirstPane->ResizeFrameBy(dh, dv, false);
    mSecondPane->MoveBy(dh, dv, false);
    mDividerPane->MoveBy(dh, dv, false);
    Refresh();
}

QRect CResizerView::CalcAllowedRect() const
{
    if (!mFirstPane || !mSecondPane || !mDividerPane)
        return {};
    QRect first = mFirstPane->GetFrame();
    QRect second = mSecondPane->GetFrame();
    QRect allowed = mDividerPane->GetFrame() | first | second; // across the axis: both panes
    if (mVertical) {
        allowed.setTop(first.top() + mFirstMinimum);
        allowed.setBottom(second.bottom() - mSecondMinimum);
    } else {
        allowed.setLeft(first.left() + mFirstMinimum);
        allowed.setRight(second.right() - mSecondMinimum);
    }
    return allowed;
}

SInt32 CResizerView::SharedFirstSize(SInt32 room, SInt16 firstMinimum, SInt16 secondMinimum)
{
    if (room <= 0)
        return 0;
    SInt32 minimums = SInt32(firstMinimum) + secondMinimum;
    if (room < minimums)
        return room * firstMinimum / minimums;
    return room - secondMinimum;
}

void CResizerView::AdaptToSuperFrameSize(SInt32 dWidth, SInt32 dHeight, bool refresh)
{
    SInt32 oldFirst = mFirstPane ? Along(mFirstPane->size()) : 0;
    SInt32 oldSecond = mSecondPane ? Along(mSecondPane->size()) : 0;
    LView::AdaptToSuperFrameSize(dWidth, dHeight, refresh);
    if (!mFirstPane || !mSecondPane)
        return;
    if (Along(mFirstPane->size()) >= mFirstMinimum && Along(mSecondPane->size()) >= mSecondMinimum)
        return;
    SInt32 room = oldFirst + (mVertical ? dHeight : dWidth) + oldSecond;
    SInt32 first = SharedFirstSize(room, mFirstMinimum, mSecondMinimum);
    MoveDividerBy(first - Along(mFirstPane->size()));
    // A pane cannot be narrower than nothing, so the second one may have lost less
    // than the room did: it takes what is left.
    SInt32 secondShort = std::max(room - first, 0) - Along(mSecondPane->size());
    if (secondShort != 0)
        mSecondPane->ResizeFrameBy(mVertical ? 0 : secondShort, mVertical ? secondShort : 0, refresh);
}

CResizerTrackerView* CResizerView::FindTracker() const
{
    for (LView* view = GetSuperView(); view; view = view->GetSuperView()) {
        if (auto* tracker = dynamic_cast<CResizerTrackerView*>(view))
            return tracker;
    }
    return nullptr;
}

bool CResizerView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != mDividerPane)
        return LView::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (!mEnabled || mouse->button() != Qt::LeftButton || !mDividerPane->isEnabled())
            return false;
        CResizerTrackerView* tracker = FindTracker();
        if (!tracker)
            return false; // no tracker: an ordinary click
        QRect divider(mDividerPane->mapTo(tracker, QPoint(0, 0)), mDividerPane->size());
        QRect allowed = CalcAllowedRect().translated(mapTo(tracker, QPoint(0, 0)));
        QPoint start = mDividerPane->mapTo(tracker, mouse->position().toPoint());
        if (mHasDragCursor)
            mDividerPane->setCursor(mVertical ? Qt::SizeVerCursor : Qt::SizeHorCursor);
        mTracker = tracker;
        if (!tracker->BeginTracking(start, mVertical ? resizerTrack_Vertical : resizerTrack_Horizontal, this, divider, allowed, mLive))
            mTracker = nullptr;
        return true;
    }
    case QEvent::MouseMove:
        if (mTracker && mTracker->IsTracking()) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            mTracker->TrackTo(mDividerPane->mapTo(mTracker, mouse->position().toPoint()));
            return true;
        }
        return false;
    case QEvent::MouseButtonRelease:
        if (mTracker && mTracker->IsTracking()) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            mTracker->TrackTo(mDividerPane->mapTo(mTracker, mouse->position().toPoint()));
            mTracker->EndTracking();
            mTracker = nullptr;
            EnableDivider(mEnabled);
            return true;
        }
        return false;
    default:
        return false;
    }
}

void CResizerView::StartResizerDrag(QPoint start)
{
    mDragStart = start;
}

void CResizerView::ResizerDragMoved(QPoint from, QPoint to, const QRect&)
{
    if (mLive && from != to) {
        MoveDividerBy(Along(to) - Along(from));
        repaint();
    }
}

void CResizerView::EndResizerDrag(QPoint end)
{
    if (!mLive)
        MoveDividerBy(Along(end) - Along(mDragStart));
    mDragStart = QPoint();
}

void RegisterResizerClasses()
{
    URegistrar::RegisterClass<CResizerView>(CResizerView::class_ID);
    URegistrar::RegisterClass<CResizerTrackerView>(CResizerTrackerView::class_ID);
}
