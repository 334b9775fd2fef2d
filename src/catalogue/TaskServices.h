#pragma once

#include "FileRef.h"
#include "MacTypes.h"

#include <QString>
#include <vector>

class CIndexDoc;
class CIndexItem;
class IndexViewServices;
class QWidget;

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

    // CExportFilesTask (title 601:37): asks where to write the items as image files,
    // window-modal on `window` when one is given, then writes them.
    virtual void StartExportFilesTask(IndexViewServices* view, const std::vector<CIndexItem*>& items,
        QWidget* window);
    // CExportXMLTask (title 601:48): asks for a file on the view's window and
    // writes the index's data and the items, in this order, as an XML property list.
    struct IndexXMLData {
        QString name;    // the window's title
        QString url;     // the index's address text; empty for none
        QString caption; // the index's comment; empty for none
        bool selectedOnly = false; // the items are the selection, not the whole list
    };
    virtual void StartExportXMLTask(IndexViewServices* view, const std::vector<CIndexItem*>& items,
        const IndexXMLData& index);
};

inline constexpr SInt32 kInsertAtEnd = 0x7fffffff;

void SetTaskServices(TaskServices* services);
// The installed services; 'nilP' when none is installed.
TaskServices& GetTaskServices();
