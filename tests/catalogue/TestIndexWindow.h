#pragma once

// The index window's panes as the document sees them, for tests of the document
// without the views layer: an index view that shows the document's model and
// records what it is asked, a list view, the side lists and the placard; task and application
// services that do their work at once.

#include "CIndexDoc.h"
#include "CIndexItem.h"
#include "IndexDocServices.h"
#include "IndexViewServices.h"
#include "LBroadcaster.h"
#include "LView.h"
#include "TaskServices.h"
#include "URegistrar.h"

#include <QPainter>
#include <functional>
#include <memory>
#include <vector>

// The index view as the document sees it: it shows the document's own model and
// records the view operations it is asked for; what the index holds (items,
// counts, options, modified state) is the model's alone.
class TestDocIndexView : public LView, public IndexViewServices, public IndexDocViewServices, public LBroadcaster {
public:
    explicit TestDocIndexView(const LLayoutData& data)
        : LView(data)
        , model(FindOwnedIndexModel(LCommander::GetDefaultCommander()))
    {
    }

    CIndexModel& Model() const
    {
        ThrowIfNil_(model);
        return *model;
    }

    // IndexViewServices
    SInt16 GetThumbnailSize() const override { return 100; }
    QSize GetCellSize() const override { return QSize(120, 140); }
    SInt32 CountColumns() const override { return 1; }
    bool IsExtendedView() const override { return mode == kCmdExtendedView; }

    // IndexDocViewServices
    void SetWindow(LWindow* w) override { window = w; }
    void SetListView(LPane* pane) override { listView = pane; }
    void SetStatusPlacard(LPane* pane) override { placard = pane; }
    void ReleaseModel() override { model = nullptr; }
    LBroadcaster& GetViewBroadcaster() override { return *this; }
    bool IsWindowBusy() const override { return false; }
    bool UnlockWithPassword() override { return unlockAnswer; }
    bool VerifyPassword() override { return true; }
    void RevealSelection() override { }
    SInt32 ImportURL(const QUrl& url, SInt32, bool) override
    {
        imported.push_back(url);
        return 0;
    }
    bool ReceiveAddress(const QUrl& url) override
    {
        imported.push_back(url);
        return true;
    }
    void ShowAllItems(bool) override { ++showAllCalls; }
    void StartQuickSearch(SInt32 fieldKey, const QString& text) override { searches.emplace_back(fieldKey, text); }
    void OpenSelectedItem() override { }
    void RebuildThumbnails() override { }
    SInt32 GetViewMode() const override { return mode == kCmdExtendedView ? kCmdExtendedView : kViewModeThumbnails; }
    void SetViewMode(SInt32 command) override { mode = command; }
    SInt32 GetModeScrollPosition() const override { return scrollPosition; }
    void SetModeScrollPosition(SInt32 position, bool) override { scrollPosition = position; }
    void ShowSettings() override { ++settingsShown; }
    SInt32 GetFirstVisibleItem() const override { return scrollPosition / kRowHeight + 1; }
    void RemoveAllItems() override
    {
        ++removals;
        for (CIndexItem* item : Model().TakeAllItems())
            delete item;
    }
    bool IsFullScreen() const override { return false; }
    QRect GetSavedFrame() const override { return {}; }
    void EnterFullScreen() override { }
    void SetTheme(SInt32, bool) override { }
    void SetPrintScale(double scale) override { printScale = scale; }
    void PrepareForPrinting(double) override
    {
        // One cell row per item, 200 points each, one column across the page.
        ResizeImageTo(width(), Model().CountItems() * kRowHeight, false);
    }

    void DrawSelf(QPainter& painter) override
    {
        const SPoint32 scroll = LView::GetScrollPosition();
        for (SInt32 i = 0; i < Model().CountItems(); ++i)
            painter.drawText(20, i * kRowHeight + 40 - scroll.v, QStringLiteral("Item %1").arg(i + 1));
    }

    static constexpr SInt32 kRowHeight = 200;

    CIndexModel* model = nullptr; // the document's, from the window's making until the document goes
    LWindow* window = nullptr;
    LPane* listView = nullptr;
    LPane* placard = nullptr;
    std::vector<QUrl> imported;
    std::vector<std::pair<SInt32, QString>> searches;
    bool unlockAnswer = false;
    SInt32 mode = kCmdThumbnailView;
    SInt32 scrollPosition = 0;
    double printScale = 1.0;
    int showAllCalls = 0;
    int settingsShown = 0;
    int removals = 0;
};

class TestListView : public LView, public IndexListServices {
public:
    explicit TestListView(const LLayoutData& data)
        : LView(data)
    {
    }
    void SetIndexView(LPane* view) override { indexView = view; }
    void ReloadRows() override { hasRows = true; }
    void ReleaseRows() override { hasRows = false; }
    QVariantMap CopyColumnState() const override { return columnState; }
    void ShowColumnState(const QVariantMap& state) override { columnState = state; }

    LPane* indexView = nullptr;
    bool hasRows = false;
    // What the list shows: its columns as "ListViewColumns" keeps them.
    QVariantMap columnState { { QStringLiteral("COLUMNS"), QVariantList { qint32(4001), qint32(4004) } } };
};

// The source list, organizer list and placard: they only take the document.
class TestDocumentPane : public LView, public IndexDocumentPane {
public:
    explicit TestDocumentPane(const LLayoutData& data)
        : LView(data)
    {
    }
    void SetIndexDocument(CIndexDoc* doc) override { document = doc; }
    void ValueIndexRebuilt() override { ++rebuilds; }
    CIndexDoc* document = nullptr;
    int rebuilds = 0;
};

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
        lastItemCount = -1;
        try {
            lastItemCount = document->ReadSettings(document->TestFlags(kDocWindowReused));
        } catch (const ExceptionCode& e) {
            lastReadError = e.Code();
        }
        if (!document->TestFlags(kDocKeepHidden))
            document->ShowWindow();
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

// Registers the stand-ins under the index window's class IDs, with the services.
class StIndexWindowClasses : public StIndexDocServices {
public:
    StIndexWindowClasses()
    {
        URegistrar::RegisterFrameworkClasses();
        URegistrar::RegisterClass<TestDocIndexView>('IndV');
        URegistrar::RegisterClass<TestListView>('InLv');
        URegistrar::RegisterClass<TestDocumentPane>('FbLv');
        URegistrar::RegisterClass<TestDocumentPane>('MdLv');
        URegistrar::RegisterClass<LView>('SLhd'); // the side lists' headers
        URegistrar::RegisterClass<TestDocumentPane>('InfV');
    }
};

inline TestDocIndexView* IndexViewOf(CIndexDoc* document)
{
    return dynamic_cast<TestDocIndexView*>(document->GetIndexViewPane());
}

inline TestListView* ListViewOf(CIndexDoc* document)
{
    return dynamic_cast<TestListView*>(document->GetListViewPane());
}
