#pragma once

#include "AppCommands.h"
#include "CExceptionMgrPeriodical.h"
#include "CRecentItemList.h"
#include "IndexDocServices.h"
#include "LApplication.h"

#include <QUrl>

#include <functional>
#include <memory>

class CVisualTask;
class CIndexModel;
class CIndexDoc;
class CMenuBarWindow;
class CStoredSettingsMenu;
class LMenu;
class QObject;

// The application object: the top of the commander chain. It brings the program's
// services up in a fixed order, builds the menu bar, opens what "StartupAction" asks
// for, keeps the recent items and carries out the commands no window takes.
class COrvexApp : public LDocApplication, public IndexDocAppServices {
public:
    COrvexApp();
    ~COrvexApp() override;

    static COrvexApp* GetApp() { return sApp; }

    // Each step of construction, Initialize and destruction is named to the observer
    // as it runs (the start-up order is part of the program's contract).
    using StartupObserver = std::function<void(const char* step)>;
    static void SetStartupObserver(StartupObserver observer);

    // Throws the too-old-system message for a system version (BCD) of 0x101F or less.
    static void CheckSystemVersion(UInt32 systemVersion);
    // Every pane, view, window and attachment class that layouts name, by class ID.
    static void RegisterClasses();

    // Builds the menus and initialises (failures end the program), then opens the
    // documents, or what "StartupAction" asks for, from the event loop and runs it.
    int Run(const QStringList& documents = {}) override;
    void Initialize() override;
    void StartUp() override;
    void DoReopenApp() override;
    void ReportException(const ExceptionCode& error) override;
    void MakeMenuBar() override;
    void OpenOrPrintDocList(const QStringList& paths, bool print) override;
    // The About box (layout 962), made once and brought forward after; the preferences dialog.
    void ShowAboutBox() override;
    LWindow* GetAboutBox() const;
    void DoPreferences() override;

    bool ObeyCommand(CommandT command, void* ioParam) override;
    void FindCommandStatus(CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark, Str255& outName) override;

    // Documents.
    void OpenDocument(const FileRef& file) override;
    void PrintDocument(const FileRef& file) override;
    // An ftp, http or https address from the command line or a later launch;
    // throws paramErr for any other.
    void ReceiveAddress(const QString& address);
    void MakeNewDocument() override;
    void ChooseDocument() override;
    void SetupPage() override;
    virtual void OpenSampleIndex();
    virtual void NewPictureLibraryIndex();
    virtual void NewActiveFontsIndex();
    // An untitled index with the title of `titleKey`, filled by the task made for its view.
    void NewIndexFilledBy(const QString& titleKey, const std::function<CVisualTask*(CIndexModel&)>& makeTask);
    virtual void NewSpecialFolderIndex(CommandT command);
    // Imports a folder into an open index: its own import when it is empty and
    // idle, else a folder import task that adds the items at the end.
    void ImportFolderInto(CIndexDoc& document, const FileRef& folder, SInt32 option);
    // What the index documents ask of the application.
    void SendOpenDocumentEvent(const QUrl& package) override;
    void ContinueQuitting() override;
    // Ends the program with no one to ask (a signal, the session's end where no
    // question may be shown): every loop ends, then the indexes close as "Don't
    // Save" closes them, a save being written gets a few seconds to finish, and
    // the program writes what it writes at Quit.
    void EndWithoutAsking();
    // The session is ending and the user may be asked. With unsaved changes the
    // session's end is called off (it does not wait for questions) and the indexes
    // ask as at Quit; answers whether the session may end.
    bool MayEndSession();
    // Whether the open dialog shows an item: index packages and files, folders, and
    // the files whose type or extension is a media kind's.
    static bool OpenDialogShows(const FileRef& item);
    // Set while the files of one open request are opened: whether it was a single file.
    bool IsSingleDocumentOpen() const { return mSingleDocument; }

    // The Help menu: the help book first, then the files of the "Documents" folder.
    void BuildHelpMenu();
    void OpenHelpItem(SInt16 item);
    bool IsHelpMenuCommand(CommandT command, SInt16& outItem) const;

    // Recent items (index 0 is the newest).
    void AddRecentItem(const FileRef& file);
    void AddRecentURL(const QUrl& url) override;
    void ClearRecentItems();
    // Opens the entry the user chose; one that fails to open leaves the list and its
    // failure is reported. An index past the end (the menu's clear item) clears the list.
    void OpenRecentItem(SInt32 index);
    // Opens the newest index package of the list that still opens, silently dropping
    // those that fail; the media files and folders in the list are passed over.
    bool OpenNewestRecentIndex();
    QUrl CopyRecentItemURL(SInt32 index) const override;
    SInt32 GetRecentItemCount() const override { return mRecentItems.Count(); }
    const CRecentItemList& GetRecentItems() const { return mRecentItems; }
    void BuildRecentMenu();
    void LoadRecentItems();
    void SaveRecentItems();

    // The Search menu's stored settings and Scripts items (from Initialize), built
    // again whenever a setting is stored or the organizer closes.
    void SetUpMenuBar();
    void RebuildSettingsMenu();
    CStoredSettingsMenu* GetStoredSettingsMenu() const { return mSettingsMenu.get(); }

    // The window that carries the menu bar while no document window is shown.
    QWidget* GetMenuBarWindow() const;

protected:
    void SpendTime(const EventRecord& event) override;

private:
    void Step(const char* name) const;
    CIndexDoc* MakeUntitledIndex();
    // Where a media file or address handed to the program goes.
    CIndexDoc* IndexReceivingItems();
    void OpenAddress(const QString& key, bool reportFailure);
    void UpdateWindowMenu();
    void UpdateMenuBarWindow();
    bool OpenRecentItemAt(SInt32 index);
    // Stores the list and writes the preferences, then builds the menu again.
    void RecentItemsChanged();
    void CloseDocumentsWithoutAsking();

    SInt16 mFirstHelpItem = 1;
    SInt16 mLastHelpItem = 0;
    std::vector<FileRef> mHelpDocuments; // by Help item, invalid where no document is
    CExceptionMgrPeriodical mErrorPeriodical;
    CRecentItemList mRecentItems;
    bool mSingleDocument = false;
    bool mEndingWithoutAsking = false;
    OSStatus mLastRecentItemError = noErr;
    std::unique_ptr<QObject> mEventHandler;
    std::unique_ptr<CMenuBarWindow> mMenuBarWindow; // made when first needed
    bool mMenuBarWindowWanted = false; // from Initialize on
    std::unique_ptr<CStoredSettingsMenu> mSettingsMenu;
    QStringList mWindowMenuTitles;
    SInt16 mWindowMenuFixedItems = 0;

    static inline COrvexApp* sApp = nullptr;
};

// The name under which the running program listens for later launches: one per
// user and preference folder.
QString InstanceNameForConfiguration();

// The process: makes the application, runs it until the user quits and destroys it,
// then writes the preferences (WritePreferencesAtQuit). Failures that escape are
// shown as a stop alert. Returns the loop's exit code, 1 after a failure.
int RunApplication(const QStringList& documents, const QString& instanceName);

// Writes the preference domain to disk as the program ends. A failed write (a full
// disk; the old file is kept) is reported and shown at once, while an alert can
// still be shown (nowhere to be seen, it is only logged), and turns a result of 0
// into 1. Returns the result.
int WritePreferencesAtQuit(int result);
