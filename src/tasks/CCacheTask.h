#pragma once

#include "CVisualTask.h"

// The view's cache task: enters each item that the view queues into the view's
// value index. It never ends and cannot be stopped (Stop only empties its
// queue); it shows its pane only while a backlog of two or more items waits
// and neither the view nor its document holds it back.
class CCacheTask : public CVisualTask {
public:
    explicit CCacheTask(TaskOwnerView* owner);

    void OnPause() override;
    void Stop() override;
    CIndexItem* NextItem() override;

protected:
    void RunTask() override;

private:
    void TellPending(MessageT first);
};
