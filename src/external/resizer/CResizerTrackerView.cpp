#include "CResizerTrackerView.h"

CResizerTrackerView::CResizerTrackerView(const SPaneInfo& info)
    : LOffscreenView(info)
{
}

CResizerTrackerView::CResizerTrackerView(const LLayoutData& data)
    : LOffscreenView(data)
{
}

bool CResizerTrackerView::BeginTracking(QPoint start, SInt16 orientation, CResizerDragClient* client, const QRect& divider,
    const QRect& allowed, bool live)
{
    if (orientation != resizerTrack_Vertical && orientation != resizerTrack_Horizontal)
        return false;
    QRect visibleAllowed = allowed & rect();
    if (allowed.isEmpty() || visibleAllowed.isEmpty())
        return false;
    bool vertical = orientation == resizerTrack_Vertical;
    int room = vertical ? visibleAllowed.height() : visibleAllowed.width();
    int length = vertical ? divider.height() : divider.width();
    if (room <= length)
        return false;

    mClient = client;
    mOrientation = orientation;
    mDivider = divider;
    mAllowed = visibleAllowed;
    mLive = live;
    mStart = mCurrent = start;
    mLeadOffset = vertical ? start.y() - divider.top() : start.x() - divider.left();
    mTrailOffset = vertical ? divider.bottom() - start.y() : divider.right() - start.x();
    mTracking = true;
    if (mClient)
        mClient->StartResizerDrag(start);
    if (!mLive)
        BeginXORDrawing(this, divider & rect());
    return true;
}

QPoint CResizerTrackerView::Pinned(QPoint where) const
{
    // The divider, held where the mouse took it, stays inside the allowed rectangle.
    if (mOrientation == resizerTrack_Vertical) {
        int v = std::clamp(where.y(), mAllowed.top() + mLeadOffset, mAllowed.bottom() - mTrailOffset);
        return QPoint(mStart.x(), v);
    }
    int h = std::clamp(where.x(), mAllowed.left() + mLeadOffset, mAllowed.right() - mTrailOffset);
    return QPoint(h, mStart.y());
}

QRect CResizerTrackerView::DividerAt(QPoint where) const
{
    QPoint delta = where - mStart;
    return mDivider.translated(delta);
}

void CResizerTrackerView::TrackTo(QPoint where)
{
    if (!mTracking)
        return;
    QPoint pinned = Pinned(where);
    if (pinned == mCurrent)
        return;
    QPoint previous = mCurrent;
    mCurrent = pinned;
    if (!mLive)
        MoveXORDrawing(DividerAt(mCurrent) & rect());
    if (mClient)
        mClient->ResizerDragMoved(previous, mCurrent, rect());
}

void CResizerTrackerView::EndTracking()
{
    if (!mTracking)
        return;
    if (!mLive)
        EndXORDrawing();
    mTracking = false;
    if (mClient)
        mClient->EndResizerDrag(mCurrent);
    mClient = nullptr;
    mStart = mCurrent = QPoint();
}
