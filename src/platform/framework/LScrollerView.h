#pragma once

#include "LView.h"

class QAbstractScrollArea;
class QScrollBar;

// A view that scrolls one of its subviews (the scrolling view, named by pane ID)
// with the platform's scroll bars: a QAbstractScrollArea fills the scroller and the
// scrolling view fills its viewport. The bars' values are the scrolling view's
// scroll position; wheel, touchpad and kinetic scrolling move them as Qt does, and
// the view follows by painting at the new offset. The bars are always there and
// disabled while the whole image shows, as the program's windows expect.
class LScrollerView : public LView {
public:
    LScrollerView(const SPaneInfo& info, PaneIDT scrollingViewID, bool horizontal = true, bool vertical = true);
    explicit LScrollerView(const LLayoutData& data);
    ~LScrollerView() override;

    LView* GetScrollingView() const { return mScrollingView; }
    // Installs the view it scrolls (it becomes a subpane filling the viewport).
    void InstallView(LView* scrollingView);
    QAbstractScrollArea* GetScrollArea() const;
    // The bars; null for a direction the scroller does not scroll.
    QScrollBar* HorizontalBar() const;
    QScrollBar* VerticalBar() const;

    // Brings the bars' ranges and steps up to date with the view's image and frame.
    void AdjustScrollBars();
    void SubImageChanged(LView* subView) override;
    void ResizeFrameBy(SInt32 dWidth, SInt32 dHeight, bool refresh) override;
    void AddSubPane(LPane* pane) override;
    void RemoveSubPane(LPane* pane) override;
    QWidget* ContentWidgetFor(const LPane* subPane) override;

protected:
    void FinishCreateSelf() override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    friend class LView;
    class ScrollArea;

    void MakeArea(bool horizontal, bool vertical);
    void PlaceArea();
    void FitViewToViewport();
    void ReleaseView(LView* view);
    SPoint32 BarPosition() const;
    void MoveBarsTo(SPoint32 position);
    void ScrollByWheel(QWheelEvent* event);

    PaneIDT mScrollingViewID = 0;
    LView* mScrollingView = nullptr;
    ScrollArea* mArea = nullptr;
    bool mHorizontal = true;
    bool mVertical = true;
    bool mCreated = false;
};
