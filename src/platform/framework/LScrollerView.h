#pragma once

#include "LView.h"

class QScrollBar;

// A view with scroll bars along its right and bottom edges that scroll one of its
// subviews (the scrolling view, named by pane ID). The bars follow the scrolling
// view's image and frame; moving a bar scrolls the image, pinned to its edges.
class LScrollerView : public LView {
public:
    LScrollerView(const SPaneInfo& info, PaneIDT scrollingViewID, bool horizontal = true, bool vertical = true, SInt16 barThickness = 15);
    explicit LScrollerView(const LLayoutData& data);
    ~LScrollerView() override;

    LView* GetScrollingView() const { return mScrollingView; }
    // Installs the view it scrolls (it becomes a subpane filling the space beside the bars).
    void InstallView(LView* scrollingView);
    QScrollBar* HorizontalBar() const { return mHorizontal; }
    QScrollBar* VerticalBar() const { return mVertical; }

    void AdjustScrollBars();
    void SubImageChanged(LView* subView) override;
    void ResizeFrameBy(SInt32 dWidth, SInt32 dHeight, bool refresh) override;

protected:
    void FinishCreateSelf() override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void MakeBars(bool horizontal, bool vertical);
    void PlaceBars();
    void BarMoved();

    PaneIDT mScrollingViewID = 0;
    LView* mScrollingView = nullptr;
    QScrollBar* mHorizontal = nullptr;
    QScrollBar* mVertical = nullptr;
    SInt16 mBarThickness = 15;
    bool mAdjusting = false;
};
