#pragma once

// Task and application services that do their work at once, for tests of the
// index document in its window.

#include "CIndexDoc.h"
#include "CIndexItem.h"
#include "IndexDocServices.h"
#include "TaskServices.h"

#include <functional>
#include <memory>
#include <vector>

// Tasks done at once: reading applies settings.xml and shows the window; writing
// writes settings.xml, marks the index saved and ends the save.
class TestTaskServices : public TaskServices {
public:
    void ShowSearchWindow(CIndexModel&, SInt32 command) override { searchCommands.push_back(command); }
    void StartImportFilesTask(CIndexModel&) override { ++importFilesTasks; }
    void StartImportFolderTask(CIndexModel&, const FileRef& folder, SInt32, SInt32) override
    {
        importedFolders.push_back(folder);
    }
    void StartReadIndexPackageTask(CIndexDoc* document) override
    {
        ++readTasks;
        if (holdReads) {
            heldRead = document;
            return;
        }
        FinishRead(document);
    }
    void FinishRead(CIndexDoc* document)
    {
        lastItemCount = -1;
        try {
            lastItemCount = document->ReadSettings(document->TestFlags(kDocWindowReused));
        } catch (const ExceptionCode& e) {
            lastReadError = e.Code();
        }
        if (!document->TestFlags(kDocKeepHidden))
            document->ShowWindow();
        document->ReadingEnded();
    }
    void StartWriteIndexTask(CIndexDoc* document) override
    {
        ThrowIfNil_(document->GetPackage());
        ++writeTasks;
        if (holdWrites) {
            heldWrite = document;
            return;
        }
        FinishWrite(document, true);
    }
    void FinishWrite(CIndexDoc* document, bool succeeded)
    {
        if (succeeded) {
            document->WriteSettings(document->TestFlags(kDocWindowReused));
            document->SetModified(false);
        }
        document->SaveEnded(succeeded);
    }
    void StopTasksOfOwner(CIndexModel&) override { ++stops; }

    std::vector<SInt32> searchCommands;
    std::vector<FileRef> importedFolders;
    int importFilesTasks = 0;
    int readTasks = 0;
    int writeTasks = 0;
    int stops = 0;
    SInt32 lastItemCount = 0;
    OSStatus lastReadError = noErr;
    bool holdWrites = false;
    CIndexDoc* heldWrite = nullptr;
    bool holdReads = false;
    CIndexDoc* heldRead = nullptr;
};

// The application's side: reopening a package makes a new document, as the
// application does for an open-documents event.
class TestDocAppServices : public IndexDocAppServices {
public:
    void SendOpenDocumentEvent(const QUrl& package) override
    {
        reopened.push_back(package);
        // The old document must be gone from the list before the new one opens.
        documentsWhenReopened = LDocument::GetDocumentList().size();
        // As the application does: a package already open is only brought forward.
        if (!CIndexDoc::FindDocForPackage(package))
            new CIndexDoc(nullptr, package, true, false);
    }
    void AddRecentURL(const QUrl& url) override { recent.push_back(url); }
    void ContinueQuitting() override { ++quitContinued; }

    std::vector<QUrl> reopened;
    std::vector<QUrl> recent;
    size_t documentsWhenReopened = 0;
    int quitContinued = 0;
};

// Installs the task and application services that work at once for the life of
// a test, over whatever index window classes are registered.
class StIndexDocServices {
public:
    StIndexDocServices()
    {
        SetTaskServices(&tasks);
        SetIndexDocAppServices(&app);
    }
    ~StIndexDocServices()
    {
        // Documents a test left open go first, while the services still exist.
        while (!LDocument::GetDocumentList().empty())
            delete LDocument::GetDocumentList().back();
        SetTaskServices(nullptr);
        SetIndexDocAppServices(nullptr);
    }
    StIndexDocServices(const StIndexDocServices&) = delete;
    StIndexDocServices& operator=(const StIndexDocServices&) = delete;

    TestTaskServices tasks;
    TestDocAppServices app;
};
