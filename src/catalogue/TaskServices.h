#pragma once

#include "FileRef.h"
#include "MacTypes.h"

class CIndexDoc;
class CIndexModel;

// What the catalogue asks of the tasks, search and batch layer, which implements
// this and installs it at start-up (SetTaskServices). Starting a task that cannot
// be made throws 'nilP'; the callers report it. Every task works on an index
// model; the view that shows it, if any, follows the model.
class TaskServices {
public:
    virtual ~TaskServices() = default;

    // The single search window (layout 1021), made or brought forward, showing the
    // panel of `command` (1057, 1060, 1061).
    virtual void ShowSearchWindow(CIndexModel& model, SInt32 command) = 0;

    // CImportFilesTask (title 601:16): the user chooses files to add to the index.
    virtual void StartImportFilesTask(CIndexModel& model) = 0;
    // CImportFolderTask (title 601:17): adds a folder tree at a 1-based position,
    // 0x7fffffff for the end.
    virtual void StartImportFolderTask(CIndexModel& model, const FileRef& folder, SInt32 position,
        SInt32 option) = 0;
    // CReadIndexPackageTask (title 601:1): reads settings.xml and index.db of the
    // document's package into its model.
    virtual void StartReadIndexPackageTask(CIndexDoc* document) = 0;
    // CWriteIndexTask (title 601:2): writes index.db, the alias file and
    // settings.xml, deletes the files queued for removal and acts on the
    // document's pending save action.
    virtual void StartWriteIndexTask(CIndexDoc* document) = 0;
    // Stops every running task working on the index; returns at once.
    virtual void StopTasksOfOwner(CIndexModel& model) = 0;
};

inline constexpr SInt32 kInsertAtEnd = 0x7fffffff;

void SetTaskServices(TaskServices* services);
// The installed services; 'nilP' when none is installed.
TaskServices& GetTaskServices();
