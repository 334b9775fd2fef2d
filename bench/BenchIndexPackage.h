#pragma once

#include "CIndexPackage.h"
#include "CIndexView.h"
#include "CVisualTask.h"
#include "IndexPackageDocument.h"
#include "LThread.h"

#include <QString>
#include <QUrl>

// An index document around a package on disk, kept hidden, for the benchmarks
// that open and save through the real tasks.
class BenchDocument : public IndexPackageDocument {
public:
    BenchDocument(CIndexView* view, const QString& packagePath, SInt32 items)
        : mView(view), mPackage(QUrl::fromLocalFile(packagePath), &view->GetModel()), mItems(items)
    {
    }
    CIndexPackage* GetPackage() const override { return const_cast<CIndexPackage*>(&mPackage); }
    CIndexModel* GetModel() const override { return &mView->GetModel(); }
    bool TestFlags(UInt32 mask) const override { return (mask & kDocKeepHidden) != 0; }
    SInt32 ReadSettings(bool) override { return mItems; }
    void WriteSettings(bool) override {}
    void ShowWindow() override {}
    bool VerifyPassword() override { return true; }
    SInt32 GetPendingSaveAction() const override { return kSaveActionNone; }
    void SetPendingSaveAction(SInt32) override {}
    void RunPendingSaveAction(SInt32) override {}
    void DiscardDocument() override {}

private:
    CIndexView* mView;
    CIndexPackage mPackage;
    SInt32 mItems;
};

// Starts a task and runs the event loop until it has ended.
inline void RunToEnd(CVisualTask* task)
{
    ThreadID id = task->GetID();
    task->Start();
    LThread::RunUntil([id] { return LThread::FromID(id) == nullptr; });
}
