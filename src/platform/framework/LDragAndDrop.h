#pragma once

#include "Geometry.h"
#include "MacTypes.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPixmap>
#include <QRect>
#include <QUrl>
#include <memory>

class LPane;
class QDrag;
class QMimeData;
class QWidget;

using FlavorType = FourCharCode;
using ItemReference = UInt32;

inline constexpr FlavorType flavorTypeFileURL = 'furl';
inline constexpr FlavorType flavorTypeText = 'TEXT';
inline constexpr FlavorType flavorTypeUnicodeText = 'utxt';

// A flavour's MIME type: 'furl' is text/uri-list, 'TEXT' and 'utxt' text/plain, and
// any other flavour application/x-orvex-<code> (the program's own flavours, which
// carry item identifiers, never pointers).
QString MimeTypeForFlavor(FlavorType flavor);

// The items of a drag as the drop side reads them: item i (1-based) of a flavour
// is one URL of the list for 'furl', the text for 'TEXT', and the i-th block of
// the program's own flavours.
class DragReference {
public:
    explicit DragReference(const QMimeData* data, QPoint dropPoint = {}, UInt16 modifiers = 0, bool fromThisProgram = false);

    UInt16 CountItems() const;
    bool HasFlavor(UInt16 item, FlavorType flavor) const;
    QByteArray GetFlavorData(UInt16 item, FlavorType flavor) const;
    QList<QUrl> GetFileURLs() const;
    const QMimeData* MimeData() const { return mData; }
    QPoint GetDropPoint() const { return mDropPoint; } // in the drop area's local coordinates
    UInt16 GetModifiers() const { return mModifiers; }
    bool IsFromThisProgram() const { return mFromThisProgram; }

private:
    QList<QByteArray> Blocks(FlavorType flavor) const;
    const QMimeData* mData;
    QPoint mDropPoint;
    UInt16 mModifiers;
    bool mFromThisProgram;
};

// A drop area over a pane: while a drag is over it the area is told when it
// enters, moves inside and leaves; it hilites itself when the drag can be
// accepted (every item acceptable) and receives each item on the drop.
class LDragAndDrop {
public:
    explicit LDragAndDrop(LPane* pane);
    LDragAndDrop(const LDragAndDrop&) = delete;
    LDragAndDrop& operator=(const LDragAndDrop&) = delete;
    virtual ~LDragAndDrop();

    LPane* GetDropPane() const { return mPane; }
    bool CanAcceptCurrentDrag() const { return mCanAcceptCurrentDrag; }
    bool IsHilited() const { return mIsHilited; }

    virtual bool DragIsAcceptable(const DragReference& drag);
    virtual bool ItemIsAcceptable(const DragReference& drag, UInt16 item);
    virtual void EnterDropArea(const DragReference& drag, bool dragHasLeftSender);
    virtual void InsideDropArea(const DragReference& drag) { Q_UNUSED(drag); }
    virtual void LeaveDropArea(const DragReference& drag);
    virtual void HiliteDropArea(const DragReference& drag);
    virtual void UnhiliteDropArea(const DragReference& drag);
    virtual void ReceiveDragEvent(const DragReference& drag);
    virtual void ReceiveDragItem(const DragReference& drag, UInt16 item) { Q_UNUSED(drag); Q_UNUSED(item); }
    // The action a drag it takes is answered with (the sender acts on it: after
    // a move it may delete what it sent); the proposed one unless an area knows better.
    virtual Qt::DropAction ChooseDropAction(const DragReference& drag, Qt::DropAction proposed, Qt::DropActions possible)
    {
        Q_UNUSED(drag);
        Q_UNUSED(possible);
        return proposed;
    }

    // The drag this program has under way (for "has it left its sender").
    static bool IsDragFromThisProgram(const QMimeData* data);

protected:
    bool mCanAcceptCurrentDrag = false;
    bool mIsHilited = false;

private:
    friend class DropAreaFilter;
    LPane* mPane;
    std::unique_ptr<QObject> mFilter;
};

// A drag that this program starts: items with flavours, each with a rectangle
// (its outline is what the user sees moving). DoDrag runs it and answers the
// action the drop took (Qt::IgnoreAction when it was refused).
class LDragTask {
public:
    LDragTask();
    virtual ~LDragTask();

    void AddFlavor(ItemReference item, FlavorType flavor, const QByteArray& data);
    void AddFileURL(ItemReference item, const QUrl& url);
    virtual void AddRectangle(ItemReference item, const QRect& bounds);
    // A picture that moves under the mouse instead of the rectangles' outlines;
    // the hot spot is the point of it under the mouse.
    void SetDragImage(const QPixmap& image, QPoint hotSpot);
    // The drag's data as it will be handed over (owned by the task until DoDrag).
    QMimeData* MimeData() const { return mData; }
    const QList<QRect>& GetRectangles() const { return mRectangles; }
    UInt16 CountItems() const { return UInt16(mItems.size()); }

    virtual Qt::DropAction DoDrag(QWidget* source, Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction);
    Qt::DropAction GetDropAction() const { return mDropAction; }

private:
    int ItemIndex(ItemReference item);
    void Encode();

    QMimeData* mData;
    QList<ItemReference> mItems;
    QList<QPair<FlavorType, QList<QByteArray>>> mFlavors;
    QList<QUrl> mUrls;
    QList<QRect> mRectangles;
    QPixmap mImage;
    QPoint mHotSpot;
    Qt::DropAction mDropAction = Qt::IgnoreAction;
};
