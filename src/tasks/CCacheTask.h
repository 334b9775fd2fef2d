#pragma once

#include "CVisualTask.h"

// An index's cache task: enters each item queued into the model's value index,
// and ends when its queue is empty (another is started for the next items). It
// shows its pane, with a count and a Stop button, only while a backlog of two or
// more items waits and the index is neither busy nor updating. Stop ends it.
class CCacheTask : public CVisualTask {
public:
    explicit CCacheTask(CIndexModel& model);

    void OnPause() override;
    // The next item once the view lets the task go on; null when none is left.
    CIndexItem* NextItem() override;

protected:
    void RunTask() override;

private:
    void TellPending(MessageT first);
    void ShowCount();

    SInt32 mDone = 0;
    bool mCountShown = false;
};
