#pragma once

#include "LPane.h"

class LMarqueeTask;

// What a marquee selects in: told of each change of the marquee rectangle (in the
// receiver's local coordinates) so it can select what entered and deselect what left.
class LMarqueeReceiver {
public:
    virtual ~LMarqueeReceiver() = default;
    virtual void FocusMarqueeArea() {}
    // Whether the step from the old to the new rectangle changes the selection.
    virtual bool CheckSelectionChanged(const LMarqueeTask& task, const QRect& oldMarquee, const QRect& newMarquee) = 0;
    virtual void UpdateSelection(const LMarqueeTask& task, const QRect& oldMarquee, const QRect& newMarquee) = 0;
};

// Tracks a marquee from a mouse-down point until the button goes up: each move
// makes the rectangle between the two points; the receiver hears each change and
// a rubber band shows it. DoMarquee runs its own loop; Step and Finish let a
// caller drive it point by point.
class LMarqueeTask {
public:
    LMarqueeTask(LMarqueeReceiver& receiver, LPane* area, const SMouseDownEvent& mouseDown);
    ~LMarqueeTask();

    void DoMarquee();
    void Step(QPoint localPoint);
    void Finish();

    // The rectangle between the anchor and the current point (empty while they meet).
    const QRect& GetMarqueeRect() const { return mMarquee; }
    QPoint GetAnchor() const { return mAnchor; }
    QPoint GetCurrentPoint() const { return mCurrent; }
    UInt16 GetModifiers() const { return mModifiers; }

private:
    LMarqueeReceiver& mReceiver;
    LPane* mArea;
    QPoint mAnchor;
    QPoint mCurrent;
    QRect mMarquee {};
    UInt16 mModifiers;
    class QRubberBand* mBand = nullptr;
};
