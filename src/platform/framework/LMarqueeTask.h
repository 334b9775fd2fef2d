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
// a rubber band shows it. DoMarquee runs its own loop; Step, AutoScroll and Finish
// let a caller drive it point by point.
//
// Over a view the anchor stays put in the view's image: while the mouse is held
// outside the frame the image scrolls towards it (AutoScroll, from a timer), and
// the marquee grows over what scrolls into sight. The receiver is always given
// both rectangles in the view's present local coordinates.
class LMarqueeTask {
public:
    LMarqueeTask(LMarqueeReceiver& receiver, LPane* area, const SMouseDownEvent& mouseDown);
    ~LMarqueeTask();

    void DoMarquee();
    void Step(QPoint localPoint);
    // When the mouse point lies outside the frame, scrolls the image towards it (by
    // the distance outside, at most a scroll unit) and extends the marquee over
    // what came into sight; true when the image moved.
    bool AutoScroll();
    void Finish();

    // The rectangle between the anchor and the current point (empty while they
    // meet), in local coordinates.
    QRect GetMarqueeRect() const { return ToLocal(mMarquee); }
    QPoint GetAnchor() const { return ToLocal(QRect(mAnchor, QSize(1, 1))).topLeft(); }
    QPoint GetCurrentPoint() const { return mCurrent; }
    UInt16 GetModifiers() const { return mModifiers; }

    // How often the image scrolls while the mouse is held outside the frame.
    static constexpr int kAutoScrollMilliseconds = 40;
    // The most it scrolls at a time in a direction the view has no scroll unit for.
    static constexpr int kAutoScrollStep = 16;

private:
    // The image point at the frame's top left (0, 0 for a pane that does not scroll).
    QPoint Scroll() const;
    QRect ToLocal(const QRect& image) const { return image.translated(-Scroll()); }
    // The marquee to the current point; the receiver hears of a change.
    void Track();
    bool IsOutside() const;

    LMarqueeReceiver& mReceiver;
    LPane* mArea;
    QPoint mAnchor; // image coordinates
    QPoint mCurrent; // local coordinates: the mouse does not move with the image
    QRect mMarquee {}; // image coordinates
    UInt16 mModifiers;
    class QRubberBand* mBand = nullptr;
    class QTimer* mAutoScrollTimer = nullptr; // while DoMarquee runs
};
