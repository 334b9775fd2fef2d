#include "IndexTaskServices.h"

#include "CExportFilesTask.h"
#include "CExportXMLTask.h"
#include "CImportFilesTask.h"
#include "CImportFolderTask.h"
#include "CIndexDoc.h"
#include "CReadIndexPackageTask.h"
#include "CSearchView.h"
#include "CSearchWindow.h"
#include "CWriteIndexTask.h"
#include "ExceptionCode.h"
#include "TaskOwnerView.h"
#include "URegistrar.h"

#include <QWidget>

#include <algorithm>

namespace {

// A package task that keeps the document's face for as long as it runs: the
// holder is a base made before the task, so the task's own end still has it.
struct DocumentFace {
    explicit DocumentFace(CIndexDoc& document)
        : face(document)
    {
    }
    CIndexDocPackageDocument face;
};

template <typename Task> class DocumentTask : private DocumentFace, public Task {
public:
    DocumentTask(SInt16 titleList, SInt16 titleIndex, CIndexDoc& document)
        : DocumentFace(document)
        , Task(titleList, titleIndex, &face)
    {
    }
};

} // namespace

CIndexDocPackageDocument::CIndexDocPackageDocument(CIndexDoc& document)
    : mDocument(&document)
    , mAlive(document.GetLifetime())
{
}

CIndexDoc* CIndexDocPackageDocument::Document() const
{
    return mAlive.expired() ? nullptr : mDocument;
}

CIndexPackage* CIndexDocPackageDocument::GetPackage() const
{
    CIndexDoc* document = Document();
    return document ? document->GetPackage() : nullptr;
}

TaskOwnerView* CIndexDocPackageDocument::GetOwnerView() const
{
    CIndexDoc* document = Document();
    return document ? dynamic_cast<TaskOwnerView*>(document->GetIndexViewPane()) : nullptr;
}

bool CIndexDocPackageDocument::TestFlags(UInt32 mask) const
{
    CIndexDoc* document = Document();
    return document && document->TestFlags(mask);
}

SInt32 CIndexDocPackageDocument::ReadSettings(bool closing)
{
    CIndexDoc* document = Document();
    ThrowIfNil_(document);
    return document->ReadSettings(closing);
}

void CIndexDocPackageDocument::WriteSettings(bool closing)
{
    CIndexDoc* document = Document();
    ThrowIfNil_(document);
    document->WriteSettings(closing);
}

void CIndexDocPackageDocument::ShowWindow()
{
    if (CIndexDoc* document = Document())
        document->ShowWindow();
}

SInt32 CIndexDocPackageDocument::GetPendingSaveAction() const
{
    CIndexDoc* document = Document();
    return document ? document->GetPendingSaveAction() : kPendingNone;
}

void CIndexDocPackageDocument::SetPendingSaveAction(SInt32 action)
{
    if (CIndexDoc* document = Document())
        document->SetPendingSaveAction(action);
}

void CIndexDocPackageDocument::RunPendingSaveAction(SInt32 action)
{
    // The document's own numbers: 1 close, 2 go on quitting, 3 reuse the window.
    if (CIndexDoc* document = Document())
        document->RunPendingSaveAction(action);
}

void CIndexDocPackageDocument::DiscardDocument()
{
    if (CIndexDoc* document = Document())
        document->DiscardDocument();
}

void CIndexDocPackageDocument::IndexSaved()
{
    if (CIndexDoc* document = Document())
        document->IndexSaved();
}

void CIndexTaskServices::ShowSearchWindow(IndexViewServices* view, SInt32 command)
{
    auto* owner = dynamic_cast<TaskOwnerView*>(view);
    ThrowIfNil_(owner);
    CSearchWindow::ShowSearchWindow(owner, command);
}

void CIndexTaskServices::StartImportFilesTask(IndexViewServices* view)
{
    auto* owner = dynamic_cast<TaskOwnerView*>(view);
    ThrowIfNil_(owner);
    auto* task = new CImportFilesTask(601, 16, owner);
    task->ChooseAndStart(dynamic_cast<QWidget*>(owner));
}

void CIndexTaskServices::StartImportFolderTask(IndexViewServices* view, const FileRef& folder, SInt32 position,
    SInt32 option)
{
    auto* owner = dynamic_cast<TaskOwnerView*>(view);
    ThrowIfNil_(owner);
    (new CImportFolderTask(601, 17, owner, folder, position, UInt32(std::max<SInt32>(option, 0))))->Start();
}

void CIndexTaskServices::StartReadIndexPackageTask(CIndexDoc* document)
{
    ThrowIfNil_(document);
    (new DocumentTask<CReadIndexPackageTask>(601, 1, *document))->Start();
}

void CIndexTaskServices::StartWriteIndexTask(CIndexDoc* document)
{
    ThrowIfNil_(document);
    (new DocumentTask<CWriteIndexTask>(601, 2, *document))->Start();
}

void CIndexTaskServices::StopTasksOfOwner(IndexViewServices* view)
{
    if (auto* owner = dynamic_cast<TaskOwnerView*>(view))
        ::StopTasksOfOwner(owner);
}

// Queues the items on a task that asks the user before it starts; a task whose
// asking fails is deleted, as no thread owns it yet.
template <typename Task, typename Ask>
void QueueAndAsk(Task* task, const std::vector<CIndexItem*>& items, Ask&& ask)
{
    for (CIndexItem* item : items)
        task->InsertItem(item, kInsertAtEnd);
    try {
        ask(*task);
    } catch (...) {
        delete task;
        throw;
    }
}

void CIndexTaskServices::StartExportFilesTask(IndexViewServices* view, const std::vector<CIndexItem*>& items,
    QWidget* window)
{
    auto* owner = dynamic_cast<TaskOwnerView*>(view);
    ThrowIfNil_(owner);
    QueueAndAsk(new CExportFilesTask(601, 37, owner, window), items, [](CExportFilesTask& task) { task.AskDestination(); });
}

void CIndexTaskServices::StartExportXMLTask(IndexViewServices* view, const std::vector<CIndexItem*>& items,
    const IndexXMLData& index)
{
    auto* owner = dynamic_cast<TaskOwnerView*>(view);
    ThrowIfNil_(owner);
    QueueAndAsk(new CExportXMLTask(601, 48, owner, index), items,
        [owner](CExportXMLTask& task) { task.AskForFile(dynamic_cast<QWidget*>(owner)); });
}

void RegisterSearchWindowClasses()
{
    URegistrar::RegisterClass<CSearchWindow>(CSearchWindow::class_ID);
    URegistrar::RegisterClass<CSearchView>(CSearchView::class_ID);
    URegistrar::RegisterClass<CBatchView>(CBatchView::class_ID);
}

void InstallIndexTaskServices()
{
    static CIndexTaskServices services;
    SetTaskServices(&services);
}
