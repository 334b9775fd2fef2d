#pragma once

#include "CIndexModel.h"
#include "CToolbar.h"
#include "FileRef.h"
#include "Geometry.h"
#include "IndexDocServices.h"
#include "LDocument.h"
#include "LPeriodical.h"
#include "LView.h"

#include <QDialog>
#include <QPointer>
#include <QUrl>
#include <QVariantMap>
#include <functional>
#include <memory>
#include <vector>

class CIndexPackage;
class CIndexToolbar;
class IndexViewServices;
class LPane;
class LView;
class QDialog;
class QFileSystemWatcher;
class QPagedPaintDevice;

// Flag bits of the document.
enum : UInt32 {
    kDocToolbarShown = 0x80000000,
    kDocKeepHidden = 0x40000000,
    kDocStatusBarShown = 0x20000000,
    kDocWindowReused = 0x10000000,
};

// What the document does once a save has ended (or the user chose not to save).
enum : SInt32 {
    kPendingNone = 0,
    kPendingClose = 1,
    kPendingQuit = 2,
    kPendingReuse = 3,
};

// Layout and pane IDs of the index window.
inline constexpr ResIDT kIndexWindowLayout = 940;
inline constexpr ResIDT kIndexPrintoutLayout = 950;
inline constexpr ResIDT kPrintHeaderLayout = 952;
inline constexpr ResIDT kPrintFooterLayout = 953;
inline constexpr PaneIDT kPaneIndexView = 920;
inline constexpr PaneIDT kPaneListView = 'brow';
inline constexpr PaneIDT kPaneOrganizerList = 921;
inline constexpr PaneIDT kPaneSourceList = 928;
inline constexpr PaneIDT kPaneSourceSide = 923;
inline constexpr PaneIDT kPaneOrganizerSide = 998;
// The status bar at the window's foot: the counts, the zoom slider and the task.
inline constexpr PaneIDT kPaneInfoPlacard = 930;
inline constexpr PaneIDT kPaneStatusPlacard = kPaneInfoPlacard;
inline constexpr PaneIDT kPaneTaskArea = 955;
inline constexpr PaneIDT kPaneIndexContainer = 960;
inline constexpr PaneIDT kPaneContent = 999;
// Between the side panes: the index view's container and the list view.
inline constexpr PaneIDT kPaneMiddle = 'midl';

// The index window's commands.
enum : CommandT {
    cmd_HideOrganizer = 1008,
    cmd_HideSource = 1009,
    cmd_OpenSelected = 1012,
    cmd_BothSidePanes = 1013,
    cmd_NoSidePanes = 1014,
    cmd_ImportFiles = 1023,
    cmd_ToggleToolbar = 1026,
    cmd_ToggleStatusBar = 1034,
    cmd_SaveSettingsAsDefaults = 1054,
    cmd_SearchWindow = 1057,
    cmd_FindDuplicates = 1060,
    cmd_BatchWindow = 1061,
    cmd_FocusSearchField = 1090,
    cmd_RebuildThumbnails = 8001,
};

// One open index: a document with one window built from layout 940. It owns the
// index's package once the index has a place on disk, starts the tasks that read
// and write it, keeps the window's layout in step with the preferences and the
// package's settings.xml, answers the window's commands, and drives saving,
// closing, reverting, printing and the ticket drop folder. The index itself (its
// items, state and settings) is the document's model; the window's views show it.
//
// The application makes documents with the constructor:
//   new CIndexDoc(app, {}, false, false)      an untitled, empty index (hidden
//                                             until ShowWindow)
//   new CIndexDoc(app, packageURL, true, ...) opens a package ("*.idxp"); its
//                                             window shows when it has been read
//   new CIndexDoc(app, folderURL, true, ...)  an untitled index filled from the folder
// The document deletes itself when it closes.
class CIndexDoc : public LSingleDoc, public LTimerTask, public ToolbarSearchClient, public IndexModelOwner {
public:
    // A URL without `open` throws 100071; missing panes or window throw 'nilP'.
    CIndexDoc(LCommander* super, const QUrl& url, bool open, bool hidden);
    ~CIndexDoc() override;

    // Documents.
    static CIndexDoc* FindDocForWindow(LWindow* window);
    static bool IsDocumentWindow(LWindow* window);
    static LWindow* FindFrontWindow();
    static CIndexDoc* GetFrontDocument();
    // The index in front or, with none shown, the one whose window waits for its
    // package to be read (the last opened); null for neither.
    static CIndexDoc* GetFrontOrOpeningDocument();
    // Every open index document, oldest first.
    static std::vector<CIndexDoc*> GetIndexDocuments();
    // The open document of a package folder, found by its path.
    static CIndexDoc* FindDocForPackage(const QUrl& packageURL);

    // Opening.
    void OpenPackage(const QUrl& url);
    void ImportFolder(const QUrl& url);
    void OpenInWindow(const QUrl& url);
    void ResetForReuse();
    void RestoreWindowFrame();
    void ImportURL(const QUrl& url);
    void AddItem(const QUrl& url) { ImportURL(url); }
    // A network address, as a drop adds it; false when it cannot be downloaded.
    bool ReceiveAddress(const QUrl& url) { return mIndexView->ReceiveAddress(url); }
    void ShowWindow();
    // Runs `action` now, or once the package being opened is read (what a user
    // hands to the index meanwhile goes into it, after what it held).
    void WhenOpened(std::function<void()> action);
    void ReadingEnded();

    // Access.
    // The index itself: items, lists, selection and stored state. The document
    // owns it for its life; the index view and the list views show it.
    CIndexModel& GetModel() const override { return *mModel; }
    IndexDocViewServices* GetIndexView() const { return mIndexView; }
    IndexViewServices* GetIndexViewServices() const { return mViewServices; }
    LPane* GetIndexViewPane() const { return mIndexViewPane; }
    LPane* GetListViewPane() const { return mListViewPane; }
    CIndexPackage* GetPackage() const { return mPackage.get(); }
    SInt32 GetPendingSaveAction() const { return mPendingAction; }
    SInt32 GetSaveDialogKind() const { return mSaveDialogKind; }
    bool TestFlags(UInt32 mask) const { return (mFlags & mask) != 0; }
    void SetFlags(UInt32 mask) { mFlags |= mask; }
    void ClearFlags(UInt32 mask) { mFlags &= ~mask; }
    void SetWindowTitle(ConstStr255Param title);
    void SetWindowTitleCF(const QString& title);
    bool IsImportedFolderProxy() const { return mImportedFolderProxy; }
    // Expires when the document is deleted: what may outlive it (a task) checks it.
    std::weak_ptr<const void> GetLifetime() const { return mLifetime; }
    const QUrl& GetURLToOpen() const { return mURLToOpen; }

    // State.
    bool IsModified() const override;
    // The document's and the model's modified state made what IsModified answers.
    void FollowModelModified();
    void SetModified(bool modified) override;
    bool UsesFile(const FileRef& file) const override;
    virtual bool IsBusy() const;
    virtual SInt32 CountItems() const;
    virtual SInt32 CountAllItems() const;

    // Window layout.
    void SetViewMode(SInt32 command);
    virtual void InitToolbar();
    virtual void ShowToolbar();
    virtual void HideToolbar();
    virtual bool IsToolbarShown();
    virtual void InitStatusBar();
    virtual void ShowStatusBar();
    virtual void HideStatusBar();
    virtual bool IsStatusBarShown() const { return TestFlags(kDocStatusBarShown); }
    virtual void SetSourceViewWidth(SInt32 width);
    virtual void SetOrganizerViewWidth(SInt32 width);
    virtual SInt32 GetSourceViewWidth() const;
    virtual SInt32 GetOrganizerViewWidth() const;
    virtual void ShowSourceView();
    virtual void HideSourceView();
    virtual void ShowOrganizerView();
    virtual void HideOrganizerView();
    virtual bool IsSourceViewShown() const { return mHiddenSourceWidth == 0; }
    virtual bool IsOrganizerViewShown() const { return mHiddenOrganizerWidth == 0; }
    virtual void RebuildValueIndex();
    void RebuildThumbnails();
    void RefreshViews();

    // settings.xml.
    // Reads and applies settings.xml. A missing file gives the standard settings; so
    // does a damaged one, which is set aside as "settings.xml.damaged" and reported.
    SInt32 ReadSettings(bool windowReused);
    void WriteSettings(bool windowReused);
    void SaveSettingsAsDefaults();
    // The document's own keys, set into / applied from a settings dictionary.
    void WriteDocumentSettings(QVariantMap& settings, bool windowReused);
    void ApplyDocumentSettings(const QVariantMap& settings, bool windowReused);

    // Commands.
    bool ObeyCommand(CommandT command, void* ioParam) override;
    void FindCommandStatus(
        CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark, Str255& outName) override;

    // Closing and saving.
    bool AttemptClose(bool recordIt) override;
    bool AttemptQuitSelf(SInt32 saveOption) override;
    void Close() override;
    // 1 (answer_Save) after an automatic save, 2 (answer_Cancel) when the question
    // is shown: its answer comes later.
    ESaveAnswer AskSaveChanges(bool quitting) override;
    bool AskSaveAs(const FileRef& file, bool recordIt) override;
    void AskSaveAs() { AskSaveAs(FileRef(), true); }
    void AskConfirmRevert();
    void DoSave() override;
    void DoRevert() override;
    // The write task's end: with success, the pending after-save action runs; a
    // failed save keeps the document as it is and drops the action.
    void SaveEnded(bool succeeded);
    void SetPendingSaveAction(SInt32 action) { mPendingAction = action; }
    // Runs an after-save action from the event loop, once the task that asked has
    // gone: 1 close, 2 go on quitting a second later, 3 reset and open the
    // remembered URL.
    void RunPendingSaveAction(SInt32 action);
    // An index that could not be opened goes away (from the event loop).
    void DiscardDocument();
    // For a program that must end with no one to ask (a signal): closes as the
    // "Don't Save" answer does, without a question. Unsaved changes are dropped and
    // the package on disk keeps what was saved, unless "IndexAutoSave" has a saved
    // index save them first, as it does at every close; an open question or sheet
    // goes unanswered. The tasks are told to stop; false while one still runs (a
    // save being written finishes first).
    bool CloseWithoutAsking();
    // Goes on quitting the application (after a document closed on the way).
    static void ContinueQuitting();

    // The answers of the save, save-changes and discard sheets.
    enum ESheetAnswer { sheet_Cancel, sheet_SaveAs, sheet_SaveChanges, sheet_DontSave, sheet_DiscardChanges };
    void HandleSheetAnswer(ESheetAnswer answer, const QUrl& saveURL = {});
    // The save dialog's media choice: 1 keep media where they are, 2 store them
    // in the index, 3 store them and remove them from their old place.
    void ChooseMediaOption(SInt32 button);
    SInt32 GetMediaOptionButton() const;
    // The dialog open on the window (a save, question or print sheet), or null.
    QDialog* GetSheet() const { return mSheet; }

    // Printing.
    bool IsPrintable() const override { return true; }
    void HandlePageSetup();
    void HandlePrint();
    void DoPrint() override;
    // Prints through `printer` (a PDF file or a printer); answers the pages printed.
    SInt32 PrintTo(QPagedPaintDevice& printer);

    // The toolbar's search field: a quick search in the name, or all items again.
    CIndexToolbar* GetToolbar() const { return mToolbar; }
    void StartQuickSearch(SInt32 fieldKey, const QString& text) override;
    void ShowAllItems(bool refresh) override;

    // The ticket drop folder.
    void CheckTicketFolder();
    // The index is saved in its package: upload tickets whose photographs it now
    // holds are done.
    void IndexSaved();
    // An upload ticket file whose photographs are in this index, finished by
    // `finish` at the next save; until then it is not read again.
    void FinishTicketAfterSave(const QString& ticketFile, std::function<void()> finish);
    bool IsTicketWaitingForSave(const QString& ticketFile) const;
    void ScanTicketFolder(const FileRef& folder);
    void ExecuteTask() override { CheckTicketFolder(); }
    // Starts watching the drop folder (a watcher plus a timer).
    void StartWatchingTicketFolder();
    void WatchTicketFolder(const FileRef& folder);

protected:
    void PutOnDuty(LCommander* newTarget) override;

private:
    void BuildWindow();
    void FindPanes();
    void InitUntitled();
    void HandleURL(const QUrl& url, bool open);
    void MakeUntitledTitle();
    void SetGenericProxy();
    void StopTasks();
    bool RefuseWhileBusy();
    static void ConstrainToScreen(LWindow* window);
    void LayoutSidePanes();
    void SetSideViewWidth(PaneIDT paneID, SInt16& hiddenWidth, SInt32 width);
    SInt32 GetSideViewWidth(PaneIDT paneID, SInt16 hiddenWidth) const;
    void ShowSideView(PaneIDT paneID, SInt16& hiddenWidth);
    void HideSideView(PaneIDT paneID, SInt16& hiddenWidth);
    QRect CurrentFrame() const;
    void RunSheet(QDialog* sheet);
    void SheetFinished();
    void ReplacePackage(const QUrl& packageURL);
    void SaveAsTo(const QUrl& packageURL);
    void CloseAfterDontSave();
    void WriteSettingsOnClose();
    void KeepDamagedSettings(const QString& path, OSStatus err, const QString& why);
    // Writes the closing settings and deletes the document.
    void FinalClose();
    QUrl SettingsFileURL() const;
    // Where the grid is scrolled to and the list view's columns go into the
    // model's settings before they are written.
    void TakeViewSettings();

    // Holds the document in the list of index documents for as long as it is one.
    class ListEntry {
    public:
        explicit ListEntry(CIndexDoc* document);
        ~ListEntry();
        ListEntry(const ListEntry&) = delete;
        ListEntry& operator=(const ListEntry&) = delete;

    private:
        CIndexDoc* mDocument;
    };

    ListEntry mListEntry { this };
    std::shared_ptr<const void> mLifetime = std::make_shared<int>(0);
    std::unique_ptr<CIndexModel> mModel = std::make_unique<CIndexModel>();
    std::unique_ptr<CIndexPackage> mPackage;
    SInt32 mPendingAction = kPendingNone;
    SInt32 mSaveDialogKind = 0;
    bool mUseSheets = true;
    IndexDocViewServices* mIndexView = nullptr;
    std::unique_ptr<IndexDocViewServices> mViewAdapter;
    CIndexToolbar* mToolbar = nullptr;
    IndexViewServices* mViewServices = nullptr;
    LPane* mIndexViewPane = nullptr;
    QPointer<LPane> mIndexViewAlive; // the window goes later than the document
    LPane* mListViewPane = nullptr;
    IndexListServices* mListView = nullptr; // null until the list view's class exists
    LPane* mOrganizerList = nullptr;
    LPane* mSourceList = nullptr;
    SInt16 mHiddenSourceWidth = 0;
    SInt16 mHiddenOrganizerWidth = 0;
    LPane* mInfoPlacard = nullptr;
    LPane* mIndexContainer = nullptr;
    LPane* mContentPane = nullptr;
    LPane* mStatusPlacard = nullptr;
    SDimension32 mStatusPlacardSize {};
    bool mImportedFolderProxy = false;
    bool mFillingFromFolder = false; // the folder shown by the proxy is being imported
    bool mReadingPackage = false;
    std::vector<std::function<void()>> mWhenOpened;
    LEventLoopTimer mOpenedTimer;
    UInt32 mFlags = 0;
    QUrl mURLToOpen;
    QPointer<QDialog> mSheet;
    QByteArray mPrintSettings;
    std::unique_ptr<QFileSystemWatcher> mTicketWatcher;
    // Set while the document is inside a call that may delete it (a sheet's answer).
    bool mDeleteWhenDone = false;
    bool mQuitAfterClose = false;
    bool mSavedWithoutAsking = false; // the automatic save of CloseWithoutAsking was started
    bool mClosingSettingsWritten = false;
    bool mOpenFailed = false; // the package could not be read: nothing of it is written
    // Upload ticket files whose photographs wait for a save, with what finishes each.
    std::vector<std::pair<QString, std::function<void()>>> mTicketsAwaitingSave;
    OSStatus mLastTicketError = noErr; // reported once, not at every check
    bool mTicketWaitReported = false;
    QUrl mReopenAfterClose;
    int mAnswerDepth = 0;
    LEventLoopTimer mQuitTimer;
    LEventLoopTimer mAfterSaveTimer;
    // Packages replaced by Save As: items may still point into them.
    std::vector<std::unique_ptr<CIndexPackage>> mRetiredPackages;
};
