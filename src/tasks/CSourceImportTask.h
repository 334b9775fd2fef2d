#pragma once

#include "CVisualTask.h"
#include "Sounds.h"
#include "TaskOwnerView.h"

// What the imports from the system's sources (camera, fonts, picture library)
// share: counted as running on their index for their life, its busy mark raised
// while they work, the completion sound, and an end that lowers the mark and
// tells the view and the menus.
class CSourceImportTask : public CVisualTask {
public:
    CSourceImportTask(SInt16 titleList, SInt16 titleIndex, CIndexModel& model);
    ~CSourceImportTask() override;

    void Finish(bool stopped) override;

protected:
    // A stopped import never holds the window while a camera or library call
    // does not return: it goes once that call ends.
    bool MayFinishDeletionLater() const override { return true; }
    void ReleaseOwner() override;

    // The index, made busy; 'nilP' once the task let go of it.
    CIndexModel& BeginWork();

private:
    StCompletionSound mCompletionSound {20};
    ModelBusyMark mBusy;
};
