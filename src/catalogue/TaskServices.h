#pragma once

#include "FileRef.h"
#include "MacTypes.h"

class CIndexDoc;
class IndexViewServices;

// What the catalogue asks of the tasks, search and batch layer, which implements
// this and installs it at start-up (SetTaskServices). Starting a task that cannot
// be made throws 'nilP'; the callers report it.
class TaskServices {
public:
    virtual ~TaskServices() = default;

    // The single search window (layout 1021), made or brought forward, showing the
    // panel of `command` (1057, 1060, 1061).
    virtual void ShowSearchWindow(IndexViewServices* view, SInt32 command) = 0;

    // CImportFilesTask (title 601:16): the user chooses files to add to the view.
    virtual void StartImportFilesTask(IndexViewServices* view) = 0;
    // CImportFolderTask (title 601:17): adds a folder tree at a 1-based position,
    // 0x7fffffff for the end.
    virtual void StartImportFolderTask(IndexViewServices* view, const FileRef& folder, SInt32 position,
        SInt32 option) = 0;
    // CReadIndexPackageTask (title 601:1): reads settings.xml and index.db of the
    // document's package into its view.
    virtual void StartReadIndexPackageTask(CIndexDoc* document) = 0;
    // CWriteIndexTask (title 601:2): writes index.db, the alias file and
    // settings.xml, deletes the files queued for removal and acts on the
    // document's pending save action.
    virtual void StartWriteIndexTask(CIndexDoc* document) = 0;
    // Stops every running task the view owns; returns at once.
    virtual void StopTasksOfOwner(IndexViewServices* view) = 0;
};

inline constexpr SInt32 kInsertAtEnd = 0x7fffffff;

void SetTaskServices(TaskServices* services);
// The installed services; 'nilP' when none is installed.
TaskServices& GetTaskServices();
