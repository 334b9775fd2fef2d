#pragma once

#include "LDragAndDrop.h"
#include "LPeriodical.h"
#include "LStdControls.h"

#include <QColor>
#include <QPointer>
#include <QRegion>
#include <QUrl>

class LView;

// A drop area that hilites itself with a ring inside its frame and scrolls its
// view while a drag rests in a 12-pixel band along an edge: one step at once,
// then every 0.2 seconds, and from the sixth step on 60 steps a second.
class CDASAndDrop : public LDragAndDrop {
public:
    static constexpr int kScrollBand = 12;
    static constexpr int kHiliteInset = 3;
    static constexpr int kSlowSteps = 6;
    static constexpr double kSlowInterval = 0.2;
    static constexpr double kFastInterval = 1.0 / 60.0;

    explicit CDASAndDrop(LPane* pane);
    ~CDASAndDrop() override;

    void EnterDropArea(const DragReference& drag, bool dragHasLeftSender) override;
    void InsideDropArea(const DragReference& drag) override;
    void LeaveDropArea(const DragReference& drag) override;
    void HiliteDropArea(const DragReference& drag) override;
    void UnhiliteDropArea(const DragReference& drag) override;
    // The ring's colour: the system's highlight colour unless the area has its own.
    virtual QColor GetHiliteColor() const;

    virtual void AutoScrollStep();
    virtual void StartAutoScroll(const DragReference& drag);
    virtual void StopAutoScroll();
    // Drops a direction in which the view's image cannot scroll further.
    virtual void LimitScroll(SInt32& ioHorizontal, SInt32& ioVertical) const;

    bool IsAutoScrolling() const { return mTimer.IsInstalled(); }
    int GetAutoScrollSteps() const { return mStepCount; }
    // Where the drag is now, in the pane's coordinates.
    QPoint GetDragPoint() const { return mDragPoint; }

private:
    LView* ScrolledView() const;

    LEventLoopTimer mTimer;
    int mStepCount = 0;
    QPoint mDragPoint;
    QPointer<QWidget> mRing;
};

// The program's drag: each dragged rectangle shows as its 2-pixel outline. Where
// the drag was dropped is known for drops on the program's own windows (the
// receiving area notes it); for other programs it is unknown and answered null.
class CDragTask : public LDragTask {
public:
    CDragTask();
    ~CDragTask() override;

    void AddRectangle(ItemReference item, const QRect& bounds) override;
    const QRegion& GetOutline() const { return mOutline; }
    Qt::DropAction DoDrag(QWidget* source, Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction) override;
    // The folder the items were dropped in as a file URL; null when unknown.
    QUrl CopyDropLocationURL() const;
    // Whether the drop location is the user's trash.
    bool DroppedInTrash() const;

    // A drop area of this program that takes a drag says where it went.
    static void NoteDropLocation(const QUrl& folder);

private:
    QRegion mOutline;
    QUrl mDropLocation;
};

// An edit field ('edDD') whose selected text can be dragged out and which takes
// a dropped text in place of its own, as an undoable paste.
class CDragEditField : public LEditText, public LDragAndDrop {
public:
    static constexpr ClassIDT class_ID = 'edDD';
    static constexpr int kMaxDroppedBytes = 255;

    CDragEditField(const SPaneInfo& info, const QString& text);
    explicit CDragEditField(const LLayoutData& data);

    bool ItemIsAcceptable(const DragReference& drag, UInt16 item) override;
    void ReceiveDragItem(const DragReference& drag, UInt16 item) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void InitDragEditField();
};
