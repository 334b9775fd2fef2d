#pragma once

#include "CMediaWindow.h"

#include <QPoint>
#include <QTimer>

class QScreen;

// The media window covering one whole screen (layout 916, 'MWiF'): no frame, no
// toolbar, the desktop's panels hidden on the primary screen, the cursor hidden
// while the mouse rests, and each new still faded in through black.
class CMediaWindowFS : public CMediaWindow {
public:
    static constexpr ClassIDT class_ID = 'MWiF';
    // A resting cursor disappears after this many ticks (about four seconds).
    static constexpr UInt32 kCursorHideTicks = 241;
    static constexpr double kFadeSeconds = 0.7;

    explicit CMediaWindowFS(const LLayoutData& data);
    ~CMediaWindowFS() override;

    bool IsFullScreenKind() const override { return true; }
    virtual void EnterFullScreen();
    virtual void LeaveFullScreen();
    bool IsOnMainScreen() const { return mOnMainScreen; }
    QScreen* GetScreen() const { return mScreen; }
    bool IsCursorHidden() const { return mCursorHidden; }

    void ShowMedia(std::unique_ptr<CMedia> media) override;
    void SlideShowStep() override;
    void Hide() override;
    void ToggleFullScreen() override;

protected:
    void FinishCreateSelf() override;

private:
    void WatchCursor();
    void HideCursor();
    void RestoreCursor();

    bool mOnMainScreen = false;
    bool mInFullScreen = false;
    QScreen* mScreen = nullptr;
    UInt32 mLastCursorMoveTick = 0;
    QPoint mLastCursorPos;
    bool mCursorHidden = false;
    UInt32 mLastActivityTick = 0;
    QTimer mCursorTimer;
};
