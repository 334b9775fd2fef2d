#pragma once

#include "LView.h"
#include "XORDrawing.h"

// What a tracked drag reports to (the resizer view).
class CResizerDragClient {
public:
    virtual ~CResizerDragClient() = default;
    virtual void StartResizerDrag(QPoint start) = 0;
    virtual void ResizerDragMoved(QPoint from, QPoint to, const QRect& clip) = 0;
    virtual void EndResizerDrag(QPoint end) = 0;
};

enum : SInt16 { resizerTrack_Vertical = 1, resizerTrack_Horizontal = 2 };

// The view around split views that tracks a divider's drag: the divider stays
// inside the allowed rectangle, keeping where the mouse took hold of it, and
// unless the resize is live a band shows where it will go. Points are in this
// view's local coordinates.
class CResizerTrackerView : public LOffscreenView, public XORDrawing {
public:
    static constexpr ClassIDT class_ID = 'RzTk';

    explicit CResizerTrackerView(const SPaneInfo& info);
    explicit CResizerTrackerView(const LLayoutData& data);

    // False (and nothing tracked) for another orientation, an empty allowed
    // rectangle, or one no longer along the axis than the divider.
    bool BeginTracking(QPoint start, SInt16 orientation, CResizerDragClient* client, const QRect& divider,
        const QRect& allowed, bool live);
    void TrackTo(QPoint where);
    void EndTracking();
    bool IsTracking() const { return mTracking; }
    QPoint GetCurrentPoint() const { return mCurrent; }

private:
    QPoint Pinned(QPoint where) const;
    QRect DividerAt(QPoint where) const;

    CResizerDragClient* mClient = nullptr;
    SInt16 mOrientation = 0;
    QRect mDivider;
    QRect mAllowed;
    QPoint mStart;
    QPoint mCurrent;
    int mLeadOffset = 0;  // from the divider's leading edge to the mouse, along the axis
    int mTrailOffset = 0; // from the mouse to the divider's trailing edge
    bool mLive = false;
    bool mTracking = false;
};
