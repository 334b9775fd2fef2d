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

// The index view as the tasks it owns see it: the task layer lies below the
// views, so the view implements this and the tasks reach it only through it.
// The tasks tell it by broadcasts (its LBroadcaster part) and keep their
// iteration safe with its item list lock (StItemListLock).
class TaskOwnerView : public LBroadcaster, public IndexViewServices, public AItemListLockable {
public:
    // The busy count: a task raises it around its run.
    virtual void SetBusy(bool busy) = 0;
    virtual bool IsBusy() const = 0;
    // Registered tasks (searches and batches counted apart); each change broadcasts
    // 3002. Both answer the running-task count.
    virtual SInt16 AddRunningTask(bool search) = 0;
    virtual SInt16 RemoveRunningTask(bool search) = 0;
    virtual SInt16 CountRunningTasks() const = 0;
    // The update flag: set by the update task while it works through its queue;
    // every other task of the view waits while it is set before it takes its next item.
    virtual bool IsUpdating() const = 0;
    virtual void SetUpdating(bool updating) = 0;
    // True while the index document of the view holds its background work back.
    virtual bool IsHeldBack() const { return false; }

    // The item list: the current list (all items, or the filter) with 1-based
    // indexes; a lock level per LockItemList, during which changes are refused.
    virtual bool IsItemListLocked() const = 0;
    virtual SInt32 CountItems() const = 0;
    virtual SInt32 CountAllItems() const = 0;
    // The item at a 1-based index of the current list; false when out of range.
    virtual bool GetItemAt(SInt32 index, CIndexItem*& outItem) const = 0;
    // Inserts an item at a 1-based index (kInsertAtEnd appends) and answers where it
    // went; unless quiet it is queued for the cache task. Throws 'nilP' for null.
    virtual SInt32 InsertItem(CIndexItem* item, SInt32 index, bool refresh, bool quiet) = 0;
    // Adds a file as an item, or a folder through a folder import task, at a
    // 1-based index; answers the new item's index or 0.
    virtual SInt32 ImportURL(const QUrl& url, SInt32 index, bool refresh) = 0;
    // True when an item of the current list has this URL.
    virtual bool ContainsURL(const QUrl& url) const = 0;
    // Enters the item under its values of the indexed fields.
    virtual void AddItemToValueIndex(CIndexItem* item) = 0;

    // Asks for the cell of the item at the index to be painted again.
    virtual void RefreshItem(SInt32 index) = 0;
    // Scrolls the item at the index into view.
    virtual void RevealItem(SInt32 /*index*/) {}
    // The view shows, and the index lies in the range it shows.
    virtual bool IsItemVisible(SInt32 index) const = 0;
    virtual bool IsShown() const = 0;
    // The title of the view's window ("" when it has none).
    virtual QString GetWindowTitle() const = 0;

    // --- Reading and writing the index package ------------------------------------
    // The state word: 0 reading, 1 writing, 3 idle.
    virtual void SetViewState(SInt32 state) = 0;
    // Lays the cells out for the items read so far / after reading ends.
    virtual void AdjustImageSize() = 0;
    virtual void FinishReading() = 0;
    // Shows every item again when a filter shows.
    virtual void ShowAllItems(bool refresh) = 0;
    virtual bool TestFlags(UInt32 mask) const = 0;
    virtual bool IsModified() const = 0;
    virtual void SetModified(bool modified) = 0;
    // Deletes the files that removals left for after the next save.
    virtual void DeletePendingFiles() = 0;
    // The index password (Mac Roman bytes; empty for none).
    virtual bool HasPassword() const = 0;
    virtual const QByteArray& GetPassword() const = 0;
    virtual void SetPassword(const QByteArray& password) = 0;
    virtual bool GetKeepPasswordInKeychain() const = 0;
    virtual void SetKeepPasswordInKeychain(bool keep) = 0;
    // Asks the user for the password kept in the keychain; false when refused.
    virtual bool VerifyPassword() { return true; }

    // Where each item's record lies in the "index.db" on disk, so that a save in
    // which an item cannot write its record keeps the record it had.
    using StoredRecord = IndexStoredRecord;
    virtual void SetStoredRecord(const CIndexItem* item, StoredRecord record) = 0;
    // False when the item has no record in the file (a new item).
    virtual bool GetStoredRecord(const CIndexItem* item, StoredRecord& outRecord) const = 0;
    virtual void ForgetStoredRecords() = 0;
    // Room for the records of an index about to be read.
    virtual void ReserveStoredRecords(SInt32 /*count*/) {}
    // Set when "index.db" could not be read whole: saving then keeps it and
    // writes beside it.
    virtual void SetIndexDbDamaged(bool damaged) = 0;
    virtual bool IsIndexDbDamaged() const = 0;
};

// A package task's hold on its view for the task's life: the view shows the
// task's state (0 reading, 1 writing), counts it as running and is busy; letting
// go shows state 3 and undoes both.
inline void HoldViewForPackageTask(TaskOwnerView* view, SInt32 state)
{
    if (!view)
        return;
    view->SetViewState(state);
    view->AddRunningTask(false);
    view->SetBusy(true);
}

inline void ReleaseViewFromPackageTask(TaskOwnerView* view)
{
    if (!view)
        return;
    view->SetViewState(3);
    view->RemoveRunningTask(false);
    view->SetBusy(false);
}

// An import's busy mark on its view: raised when the import starts its work and
// lowered once, when it finishes or when the task goes before it finished (a
// task stopped or cancelled before it ran lowers nothing).
class ViewBusyMark {
public:
    void Raise(TaskOwnerView& view)
    {
        view.SetBusy(true);
        mRaised = true;
    }
    void Lower(TaskOwnerView* view)
    {
        if (mRaised && view)
            view->SetBusy(false);
        mRaised = false;
    }

private:
    bool mRaised = false;
};
