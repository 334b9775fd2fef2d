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

CIndexModel* CIndexDocPackageDocument::GetModel() const
{
    CIndexDoc* document = Document();
    return document ? &document->GetModel() : nullptr;
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

bool CIndexDocPackageDocument::VerifyPassword()
{
    CIndexDoc* document = Document();
    IndexDocViewServices* view = document ? document->GetIndexView() : nullptr;
    return !view || view->VerifyPassword();
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

void CIndexDocPackageDocument::ReadingEnded()
{
    if (CIndexDoc* document = Document())
        document->ReadingEnded();
}

void CIndexTaskServices::ShowSearchWindow(CIndexModel& model, SInt32 command)
{
    CSearchWindow::ShowSearchWindow(&model, command);
}

void CIndexTaskServices::StartImportFilesTask(CIndexModel& model)
{
    auto* task = new CImportFilesTask(601, 16, model);
    task->ChooseAndStart(dynamic_cast<QWidget*>(FindTaskOwnerView(&model)));
}

void CIndexTaskServices::StartImportFolderTask(CIndexModel& model, const FileRef& folder, SInt32 position,
    SInt32 option)
{
    ::StartImportFolderTask(model, folder, position, option);
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

void CIndexTaskServices::StopTasksOfOwner(CIndexModel& model)
{
    ::StopTasksOfOwner(&model);
}

namespace {

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

} // namespace

void StartExportFilesTask(CIndexModel& model, const std::vector<CIndexItem*>& items, QWidget* window)
{
    QueueAndAsk(new CExportFilesTask(601, 37, model, window), items, [](CExportFilesTask& task) { task.AskDestination(); });
}

void StartExportXMLTask(CIndexModel& model, const std::vector<CIndexItem*>& items, const IndexXMLData& index,
    QWidget* window)
{
    QueueAndAsk(new CExportXMLTask(601, 48, model, index), items,
        [window](CExportXMLTask& task) { task.AskForFile(window); });
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
