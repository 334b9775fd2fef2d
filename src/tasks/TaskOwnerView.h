#pragma once

#include "CIndexModel.h"
#include "DisplayUtilities.h"
#include "IndexViewServices.h"
#include "LBroadcaster.h"
#include "MacTypes.h"

#include <QString>
#include <QUrl>

class CIndexItem;

// Messages a task sends its owner view.
inline constexpr MessageT msg_TaskProgress = 8008; // the new progress value (SInt32*)
inline constexpr MessageT msg_TaskProgressMin = 8009; // the new bar minimum (SInt32*)
inline constexpr MessageT msg_TaskProgressMax = 8010; // the new maximum (SInt32*)
inline constexpr MessageT msg_TaskIndeterminate = 8011; // the indeterminate flag (SInt32*, 0 or 1)
inline constexpr MessageT msg_TaskShown = 8012; // the task (CVisualTask*)
inline constexpr MessageT msg_TaskTitle = 8014; // the title (QString*)

// Messages of the view that the tasks send on its behalf.
inline constexpr MessageT msg_ItemsChanged = 3001; // a field key (SInt32*), 6999 for all
inline constexpr MessageT msg_ViewStateChanged = 3002; // 0, or 1 after a rename (SInt32*)
inline constexpr MessageT msg_CellDrawn = 3030; // 0 (SInt32*)
inline constexpr MessageT msg_CachePending = 3011; // the number of pending items (SInt32*)

// The index view as the tasks it owns see it. What the tasks read and change
// (items, lists, the lock, the counts, the modified state, what is stored) is the
// index model the view shows (GetModel); the view answers only for what a view
// does: drawing cells again, laying them out, whether an item shows, its window's
// title, the folder import a dropped folder starts and the password dialog. The
// tasks tell it their progress by broadcasts (its LBroadcaster part) and keep their
// walks safe with the model's lock (StItemListLock on the model).
class TaskOwnerView : public LBroadcaster, public IndexViewServices {
public:
    virtual CIndexModel& GetModel() const = 0;
    // True while the index document of the view holds its background work back.
    virtual bool IsHeldBack() const { return false; }
    // Adds a file as an item, or a folder through a folder import task, at a
    // 1-based index; answers the new item's index or 0.
    virtual SInt32 ImportURL(const QUrl& url, SInt32 index, bool refresh) = 0;
    // Asks for the cell of the item at the index to be painted again.
    virtual void RefreshItem(SInt32 index) = 0;
    // Scrolls the item at the index into view.
    virtual void RevealItem(SInt32 /*index*/) {}
    // The view shows, and the index lies in the range it shows.
    virtual bool IsItemVisible(SInt32 index) const = 0;
    virtual bool IsShown() const = 0;
    // The title of the view's window ("" when it has none).
    virtual QString GetWindowTitle() const = 0;
    // Lays the cells out for the items read so far / after reading ends.
    virtual void AdjustImageSize() = 0;
    virtual void FinishReading() = 0;
    // Shows every item again when a filter shows, and tells the view's listeners.
    virtual void ShowAllItems(bool refresh) = 0;
    // Shows the filter list instead of all items (emptied first with clear), the
    // window titled with the title when one is given; broadcasts 3031.
    virtual void ShowFilter(const QString* title, bool refresh, bool clear) = 0;
    // Takes the item at the index out of the index: out of the other tasks' lists
    // and the update queue, its stored files deleted after the next save, deleted
    // itself with deleteItem. Throws 100060 while the list is locked, 100042 for
    // an item in use.
    virtual bool RemoveItem(SInt32 index, bool trashFile, bool deleteItem, bool refresh) = 0;
    // Scrolls the first selected item of the current list into view.
    virtual void RevealFirstSelected() = 0;
    // Asks the user for the password kept in the keychain; false when refused.
    virtual bool VerifyPassword() { return true; }

    using StoredRecord = IndexStoredRecord;
};

// A package task's hold on its view for the task's life: the view shows the
// task's state (0 reading, 1 writing), counts it as running and is busy; letting
// go shows state 3 and undoes both.
inline void HoldViewForPackageTask(TaskOwnerView* view, SInt32 state)
{
    if (!view)
        return;
    view->GetModel().SetViewState(state);
    view->GetModel().AddRunningTask(false);
    view->GetModel().SetBusy(true);
}

inline void ReleaseViewFromPackageTask(TaskOwnerView* view)
{
    if (!view)
        return;
    view->GetModel().SetViewState(kViewStateIdle);
    view->GetModel().RemoveRunningTask(false);
    view->GetModel().SetBusy(false);
}

// An import's busy mark on its view: raised when the import starts its work and
// lowered once, when it finishes or when the task goes before it finished (a
// task stopped or cancelled before it ran lowers nothing).
class ViewBusyMark {
public:
    void Raise(TaskOwnerView& view)
    {
        view.GetModel().SetBusy(true);
        mRaised = true;
    }
    void Lower(TaskOwnerView* view)
    {
        if (mRaised && view)
            view->GetModel().SetBusy(false);
        mRaised = false;
    }

private:
    bool mRaised = false;
};
