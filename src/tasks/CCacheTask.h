#pragma once

#include "CVisualTask.h"

// The view's cache task: enters each item that the view queues into the view's
// value index, and ends when its queue is empty (the view starts another for the
// next items). It shows its pane, with a count and a Stop button, only while a
// backlog of two or more items waits and neither the view nor its document holds
// it back. Stop ends it.
class CCacheTask : public CVisualTask {
public:
    explicit CCacheTask(TaskOwnerView* owner);

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
