#pragma once

#include "CResizerTrackerView.h"
#include "LView.h"

#include <QPointer>

// A split view: two panes side by side (or one above the other) and the divider
// pane between them, named by pane ID. Dragging the divider resizes the panes,
// never below their minimum sizes; when the whole view shrinks below both
// minimums the room is shared in their ratio. Layout fields: "firstPane",
// "secondPane", "dividerPane", "firstMinimum", "secondMinimum", "vertical" (the
// panes lie one above the other), "enabled", "live", "mainCursor", "dragCursor"
// (a drag cursor of 0 or the main cursor's ID means none of its own).
class CResizerView : public LView, public CResizerDragClient {
public:
    static constexpr ClassIDT class_ID = 'RzVw';

    struct Settings {
        PaneIDT firstPaneID = 0;
        PaneIDT secondPaneID = 0;
        PaneIDT dividerPaneID = 0;
        SInt16 firstMinimum = 0;
        SInt16 secondMinimum = 0;
        bool vertical = false;
        bool enabled = true;
        bool live = true;
        ResIDT mainCursorID = 0;
        ResIDT dragCursorID = 0;
    };

    CResizerView(const SPaneInfo& info, const Settings& settings);
    explicit CResizerView(const LLayoutData& data);
    ~CResizerView() override;

    LPane* GetFirstPane() const { return mFirstPane; }
    LPane* GetSecondPane() const { return mSecondPane; }
    LPane* GetDividerPane() const { return mDividerPane; }
    SInt16 GetFirstMinimum() const { return mFirstMinimum; }
    SInt16 GetSecondMinimum() const { return mSecondMinimum; }
    bool IsVertical() const { return mVertical; }
    bool IsLive() const { return mLive; }
    void SetLive(bool live) { mLive = live; }
    bool IsDividerEnabled() const { return mEnabled; }
    void EnableDivider(bool enable = true);
    bool HasDragCursor() const { return mHasDragCursor; }
    Qt::CursorShape GetMainCursor() const;

    // The divider's place: the first pane's size along the axis (what a window
    // saves and restores); setting it keeps both minimums.
    SInt32 GetDividerPosition() const;
    void SetDividerPosition(SInt32 firstPaneSize);

    // Moves the divider by d along the axis: the first pane grows by d, the
    // second shrinks by d and moves with the divider. Nothing when d is 0 or a
    // pane is missing.
    void MoveDividerBy(SInt32 delta);
    // The rectangle the divider may move in (this view's coordinates).
    QRect CalcAllowedRect() const;
    // The first pane's size the arithmetic gives for room t along the axis.
    static SInt32 SharedFirstSize(SInt32 room, SInt16 firstMinimum, SInt16 secondMinimum);

    void AdaptToSuperFrameSize(SInt32 dWidth, SInt32 dHeight, bool refresh) override;

    // The drag client.
    void StartResizerDrag(QPoint start) override;
    void ResizerDragMoved(QPoint from, QPoint to, const QRect& clip) override;
    void EndResizerDrag(QPoint end) override;

protected:
    void FinishCreateSelf() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Init(const Settings& settings);
    SInt32 Along(QSize size) const { return mVertical ? size.height() : size.width(); }
    SInt32 Along(QPoint point) const { return mVertical ? point.y() : point.x(); }
    CResizerTrackerView* FindTracker() const;

    Settings mSettings;
    QPointer<LPane> mFirstPane;
    QPointer<LPane> mSecondPane;
    QPointer<LPane> mDividerPane;
    SInt16 mFirstMinimum = 0;
    SInt16 mSecondMinimum = 0;
    bool mVertical = false;
    bool mEnabled = true;
    bool mLive = true;
    bool mHasDragCursor = false;
    QPoint mDragStart;
    QPointer<CResizerTrackerView> mTracker;
};

// Registers 'RzVw' and 'RzTk'.
void RegisterResizerClasses();
