#pragma once

#include "CIndexModel.h"
#include "LBroadcaster.h"
#include "MacTypes.h"

#include <QString>

// Messages a task sends the view that shows its index.
inline constexpr MessageT msg_TaskProgress = 8008; // the new progress value (SInt32*)
inline constexpr MessageT msg_TaskProgressMin = 8009; // the new bar minimum (SInt32*)
inline constexpr MessageT msg_TaskProgressMax = 8010; // the new maximum (SInt32*)
inline constexpr MessageT msg_TaskIndeterminate = 8011; // the indeterminate flag (SInt32*, 0 or 1)
inline constexpr MessageT msg_TaskShown = 8012; // the task (CVisualTask*)
inline constexpr MessageT msg_TaskTitle = 8014; // the title (QString*)
inline constexpr MessageT msg_TaskHidden = 8017; // the task whose progress went (CVisualTask*)

// Messages of the view that the tasks send on its behalf.
inline constexpr MessageT msg_ItemsChanged = 3001; // a field key (SInt32*), 6999 for all
inline constexpr MessageT msg_ViewStateChanged = 3002; // 0, or 1 after a rename (SInt32*)
inline constexpr MessageT msg_CellDrawn = 3030; // 0 (SInt32*)
inline constexpr MessageT msg_CachePending = 3011; // the number of pending items (SInt32*)

// The view that shows an index model, as the model's tasks see it. Tasks act on
// the model; the view, when the index has one, only draws cells again, lays them
// out, scrolls to items and names its window. It hears the tasks' progress by
// broadcasts (its LBroadcaster part). A view that shows a model says so with
// SetTaskOwnerView; a model without a window has no view, and its tasks run the
// same without one.
class TaskOwnerView : public LBroadcaster {
public:
    // Asks for the cell of the item at the index to be painted again.
    virtual void RefreshItem(SInt32 index) = 0;
    // Scrolls the item at the index into view.
    virtual void RevealItem(SInt32 index) = 0;
    // Scrolls the first selected item of the current list into view.
    virtual void RevealFirstSelected() = 0;
    virtual bool IsShown() const = 0;
    // The title of the view's window ("" when it has none).
    virtual QString GetWindowTitle() const = 0;
    // The view's window is the active one: the user sees what its tasks do.
    virtual bool IsWindowActive() const { return true; }
    // The window names the filter just shown: "its title [title]", until the
    // filter ends.
    virtual void ShowFilterTitle(const QString& title) { (void)title; }
    // Lays the cells out for the items read so far / after reading ends.
    virtual void AdjustImageSize() = 0;
    virtual void FinishReading() = 0;
};

// The view showing the model from now on (null: none); a view lets go of the
// model before it goes.
void SetTaskOwnerView(const CIndexModel& model, TaskOwnerView* view);
// The view showing the model; null for none (or no model).
TaskOwnerView* FindTaskOwnerView(const CIndexModel* model);

// A package task's hold on its index for the task's life: the model shows the
// task's state (0 reading, 1 writing), counts it as running and is busy; letting
// go shows state 3 and undoes both.
inline void HoldModelForPackageTask(CIndexModel* model, SInt32 state)
{
    if (!model)
        return;
    model->SetViewState(state);
    model->AddRunningTask(false);
    model->SetBusy(true);
}

inline void ReleaseModelFromPackageTask(CIndexModel* model)
{
    if (!model)
        return;
    model->SetViewState(kViewStateIdle);
    model->RemoveRunningTask(false);
    model->SetBusy(false);
}

// An import's busy mark on its index: raised when the import starts its work and
// lowered once, when it finishes or when the task goes before it finished (a
// task stopped or cancelled before it ran lowers nothing).
class ModelBusyMark {
public:
    void Raise(CIndexModel& model)
    {
        model.SetBusy(true);
        mRaised = true;
    }
    void Lower(CIndexModel* model)
    {
        if (mRaised && model)
            model->SetBusy(false);
        mRaised = false;
    }

private:
    bool mRaised = false;
};
