// The menu bar and the commands the application object carries out.
#include "COrvexApp.h"

#include "AppLog.h"
#include "AppServices.h"
#include "BundleStrings.h"
#include "CImportCameraTask.h"
#include "CImportiPhotoTask.h"
#include "CVisualTask.h"
#include "CatalogueRoutines.h"
#include "DesktopServices.h"
#include "ErrorCodes.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "FirstWindowShown.h"
#include "HelpBook.h"
#include "LDocument.h"
#include "LMenuBar.h"
#include "LWindow.h"
#include "MediaCache.h"
#include "ScriptRoutines.h"
#include "StoredSettingsMenu.h"
#include "UReportErrors.h"
#include "UserFolders.h"

namespace {
// What the memory purge command asks the caches to leave free.
constexpr SInt64 kPurgeBytes = 100 * 1024 * 1024;

// A Help menu item is a synthetic command of the Help menu: the base minus the item.
constexpr CommandT kHelpCommandBase = 0x406A0000;

// The name of a help document without a three- or four-letter extension.
QString HelpItemName(const QString& fileName)
{
    qsizetype n = fileName.size();
    if ((n > 4 && fileName.at(n - 4) == QLatin1Char('.')) || (n > 5 && fileName.at(n - 5) == QLatin1Char('.')))
        return fileName.left(fileName.lastIndexOf(QLatin1Char('.')));
    return fileName;
}

// The document windows follow the Window menu's own items and a separator.
constexpr SInt16 kFirstWindowItemOffset = 2;

std::vector<LWindow*> DocumentWindows()
{
    std::vector<LWindow*> windows;
    for (LWindow* window : LWindow::FetchWindows()) {
        if (window->HasAttribute(windAttr_Regular))
            windows.push_back(window);
    }
    return windows;
}
} // namespace

void COrvexApp::MakeMenuBar()
{
    Step("MakeMenuBar");
    mMenuBar = std::make_unique<LMenuBar>(128);
    ThrowIfNil_(mMenuBar->FetchMenu(kFileMenuID));
    // This desktop keeps Quit at the end of the File menu and Preferences in the Edit
    // menu, where the resources put them; Show Clipboard has no place here.
    if (LMenu* edit = mMenuBar->FetchMenu(kEditMenuID))
        edit->RemoveCommand(cmd_ShowClipboard);

    // The Window menu: the desktop's standard items with the task window before
    // "Bring All to Front"; the document windows are listed after them.
    std::unique_ptr<LMenu> windowMenu = LMenu::Load(kWindowMenuID);
    SInt16 bringToFront = windowMenu->IndexFromCommand(cmd_BringAllToFront);
    ThrowIfNot_(bringToFront > 0, "the Window menu has no Bring All to Front item");
    windowMenu->InsertCommand(QStringLiteral("-"), cmd_Nothing, SInt16(bringToFront - 1));
    windowMenu->InsertCommand(BundleLocalizedString(QStringLiteral("TASK_MANAGER_WINDOW_TITLE")), cmd_ShowTaskWindow,
        SInt16(bringToFront - 1));
    mWindowMenuFixedItems = windowMenu->CountItems();
    mMenuBar->InstallMenu(std::move(windowMenu));

    // Move to Trash takes Ctrl+Backspace.
    LMenu* trashMenu = nullptr;
    SInt16 trashItem = 0;
    if (mMenuBar->FindMenuItem(cmd_MoveToTrash, trashMenu, trashItem)) {
        trashMenu->Item(trashItem)->keyChar = QChar(char_Backspace);
        trashMenu->Item(trashItem)->keyModifiers = cmdKey;
    }

    // With Alt held, Close All shows in place of Close and Print One in place of Print.
    LMenu* file = mMenuBar->FetchMenu(kFileMenuID);
    for (CommandT alternate : { CommandT(cmd_CloseAll), CommandT(cmd_PrintOne) }) {
        if (SMenuItem* item = file->Item(file->IndexFromCommand(alternate)))
            item->dynamic = true;
    }
    BuildRecentMenu();
}

void COrvexApp::SetUpMenuBar()
{
    if (!mMenuBar)
        return;
    mSettingsMenu = std::make_unique<CStoredSettingsMenu>(*mMenuBar);
    SetStoredSettingsChangedHook([this] { RebuildSettingsMenu(); });
    // Reading the stored settings and the Scripts folder waits until the first
    // window is on the screen. A failure leaves the menu without its settings
    // part; the program goes on.
    RunOnceAWindowIsShown(mSettingsMenu->Lifetime(), [this] { RunReportingErrors([&] { mSettingsMenu->SetUp(); }); });
}

void COrvexApp::RebuildSettingsMenu()
{
    if (mSettingsMenu)
        mSettingsMenu->Rebuild();
}

void COrvexApp::BuildHelpMenu()
{
    auto help = std::make_unique<LMenu>(kHelpMenuID, BundleLocalizedString(QStringLiteral("Help")));
    help->InsertCommand(BundleLocalizedString(QStringLiteral("600:121")), cmd_Nothing, 0);
    help->Item(1)->extraShortcut = QKeySequence(Qt::Key_F1); // the desktop's help key
    mFirstHelpItem = 1;
    mHelpDocuments.assign(1, FileRef());

    // The documents the user keeps for reference in the "Documents" folder follow.
    OSStatus status = CatchCode([&] {
        FileRef folder;
        ThrowIfOSErr_(FindOrCreateFolderBesideApp(QStringLiteral("Documents"), folder));
        ThrowIfOSErr_(IterateFolderOfFSSpec(folder, 10, [&](const FolderWalkItem& entry, bool&) {
            const QString name = entry.ref.Name();
            if (name.startsWith(QLatin1Char('.')))
                return;
            if (entry.info.isFolder) {
                help->InsertCommand(QStringLiteral("-"), cmd_Nothing, help->CountItems());
                mHelpDocuments.push_back(FileRef());
                return;
            }
            help->InsertCommand(HelpItemName(name), cmd_Nothing, help->CountItems());
            mHelpDocuments.push_back(entry.ref);
        }));
    });
    if (status != noErr)
        qCWarning(lcApp) << "Help menu: the Documents folder could not be read:" << status;
    mLastHelpItem = help->CountItems();

    // What the old platform kept in the application menu has its place here.
    help->InsertCommand(QStringLiteral("-"), cmd_Nothing, help->CountItems());
    for (auto [text, command] : { std::pair { "Orvex Home Page", cmd_OpenHomePage }, std::pair { "Orvex Support", cmd_OpenSupportPage },
             std::pair { "Send Feedback", cmd_OpenFeedbackPage }, std::pair { "Check for Updates", cmd_OpenUpdatePage },
             std::pair { "Free Image Memory", cmd_PurgeCaches } })
        help->InsertCommand(BundleLocalizedString(QString::fromUtf8(text)), command, help->CountItems());
    help->InsertCommand(QStringLiteral("-"), cmd_Nothing, help->CountItems());
    help->InsertCommand(BundleLocalizedString(QStringLiteral("About Orvex")), cmd_About, help->CountItems());
    if (LMenuBar* bar = GetMenuBar())
        bar->InstallMenu(std::move(help));
}

bool COrvexApp::IsHelpMenuCommand(CommandT command, SInt16& outItem) const
{
    SInt64 item = SInt64(kHelpCommandBase) - command;
    if (item < mFirstHelpItem || item > mLastHelpItem)
        return false;
    outItem = SInt16(item);
    return true;
}

void COrvexApp::OpenHelpItem(SInt16 item)
{
    if (item == mFirstHelpItem) {
        ThrowIfOSErr_(GotoHelpPage(QStringLiteral("pgs/wr8.html")));
        return;
    }
    if (item < 1 || size_t(item) > mHelpDocuments.size() || !mHelpDocuments[size_t(item - 1)].IsValid())
        ThrowOSErr_(err_AssertFailed, "no document behind Help item " + std::to_string(item));
    const FileRef& document = mHelpDocuments[size_t(item - 1)];
    if (!document.Exists())
        ThrowOSErr_(fnfErr, document.Path().toStdString());
    if (!OpenURLWithDesktop(document.ToUrl()))
        ThrowOSErr_(kMsgNoBrowser, document.Path().toStdString());
}

void COrvexApp::OpenAddress(const QString& key, bool reportFailure)
{
    OSStatus status = LaunchURL(BundleLocalizedString(key));
    if (status != noErr && reportFailure)
        ReportError(kMsgOpenAddressFailed, kNoteAlert);
}

bool COrvexApp::ObeyCommand(CommandT command, void* ioParam)
{
    SInt16 menuID = 0, item = 0;
    if (IsSyntheticCommand(command, menuID, item)) {
        if (menuID == kRecentItemsMenuID) {
            OpenRecentItem(item - 1);
            return true;
        }
        if (menuID == kWindowMenuID) {
            std::vector<LWindow*> windows = DocumentWindows();
            SInt32 index = item - kFirstWindowItemOffset - mWindowMenuFixedItems;
            if (index >= 0 && index < SInt32(windows.size()))
                windows[size_t(index)]->Select();
            return true;
        }
    }
    SInt16 helpItem = 0;
    if (IsHelpMenuCommand(command, helpItem)) {
        OpenHelpItem(helpItem);
        return true;
    }
    SInt32 script = 0;
    if (mSettingsMenu && mSettingsMenu->IsScriptCommand(command, script)) {
        mSettingsMenu->RunScript(script);
        return true;
    }

    switch (command) {
    case cmd_CloseAll: {
        // A document that refuses (the user cancelled) stays; the others still close.
        std::vector<LDocument*> documents = LDocument::GetDocumentList();
        for (LDocument* document : documents) {
            const auto& live = LDocument::GetDocumentList();
            if (std::find(live.begin(), live.end(), document) != live.end())
                document->AttemptClose(false);
        }
        return true;
    }
    case cmd_OpenSampleIndex:
        OpenSampleIndex();
        return true;
    case cmd_OrganizeStoredSettings:
        OrganizeStoredSettings(this);
        return true;
    case cmd_AddFiles:
        ChooseDocument();
        return true;
    case cmd_NewPictureLibraryIndex:
        NewPictureLibraryIndex();
        return true;
    case cmd_ImportFromCamera:
        ImportFromConnectedCamera();
        return true;
    case cmd_ShowTaskWindow:
        ShowTaskWindowIfHidden();
        return true;
    case cmd_OpenHomePage:
        OpenAddress(QStringLiteral("608:4"), true);
        return true;
    case cmd_OpenSupportPage:
        OpenAddress(QStringLiteral("608:5"), true);
        return true;
    case cmd_OpenFeedbackPage:
        OpenAddress(QStringLiteral("608:6"), true);
        return true;
    case cmd_OpenUpdatePage:
        OpenAddress(QStringLiteral("600:110"), false);
        return true;
    case cmd_NewActiveFontsIndex:
        NewActiveFontsIndex();
        return true;
    case cmd_NewPicturesIndex:
    case cmd_NewMusicIndex:
    case cmd_NewMoviesIndex:
    case cmd_NewDesktopPicturesIndex:
    case cmd_NewDesktopIndex:
        NewSpecialFolderIndex(command);
        return true;
    case cmd_CompactMemory:
        // Memory is the system's to compact here; the command has nothing to do.
        return true;
    case cmd_PurgeCaches: {
        SInt64 freeBytes = 0;
        PurgeMemoryCaches(kPurgeBytes, freeBytes);
        return true;
    }
    case cmd_DeleteObject:
        delete static_cast<LAttachable*>(ioParam);
        return true;
    case cmd_MinimizeWindow:
        if (LWindow* window = LWindow::GetFrontWindow())
            window->GetShell()->showMinimized();
        return true;
    case cmd_ZoomWindow:
        if (LWindow* window = LWindow::GetFrontWindow()) {
            QRect standard;
            window->DoSetZoom(!window->CalcStandardBounds(standard));
        }
        return true;
    case cmd_BringAllToFront: {
        std::vector<LWindow*> windows = DocumentWindows();
        for (auto it = windows.rbegin(); it != windows.rend(); ++it)
            (*it)->GetShell()->raise();
        return true;
    }
    default:
        return LDocApplication::ObeyCommand(command, ioParam);
    }
}

void COrvexApp::FindCommandStatus(CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark, Str255& outName)
{
    SInt16 menuID = 0, item = 0;
    if (IsSyntheticCommand(command, menuID, item)) {
        if (menuID == kRecentItemsMenuID) {
            outEnabled = !mRecentItems.IsEmpty();
            return;
        }
        if (menuID == kWindowMenuID) {
            std::vector<LWindow*> windows = DocumentWindows();
            SInt32 index = item - kFirstWindowItemOffset - mWindowMenuFixedItems;
            outEnabled = index >= 0 && index < SInt32(windows.size());
            outUsesMark = true;
            outMark = outEnabled && windows[size_t(index)] == LWindow::GetFrontWindow() ? checkMark : noMark;
            return;
        }
    }
    SInt16 helpItem = 0;
    SInt32 script = 0;
    if (IsHelpMenuCommand(command, helpItem) || (mSettingsMenu && mSettingsMenu->IsScriptCommand(command, script))) {
        outEnabled = true;
        return;
    }

    switch (command) {
    case cmd_ShowTaskWindow:
        outEnabled = TaskCount() > 0;
        return;
    case cmd_NewPictureLibraryIndex:
        outEnabled = IsPictureLibraryPresent();
        return;
    case cmd_ImportFromCamera:
        outEnabled = IsCameraConnected();
        return;
    case cmd_NewPicturesIndex:
    case cmd_NewMusicIndex:
    case cmd_NewMoviesIndex:
    case cmd_NewDesktopPicturesIndex:
        outEnabled = UserFolderForCommand(command).IsValid();
        return;
    case cmd_OpenSampleIndex: // only when one is installed
        outEnabled = SampleIndexPackage().IsValid();
        outUsesMark = false;
        return;
    case cmd_New:
    case cmd_Open:
    case cmd_ShowClipboard:
    case cmd_OpenRecent:
    case cmd_OpenHomePage:
    case cmd_OpenSupportPage:
    case cmd_OpenFeedbackPage:
        outEnabled = true;
        outUsesMark = false;
        return;
    case cmd_NewActiveFontsIndex:
    case cmd_OrganizeStoredSettings:
    case cmd_Preferences:
    case cmd_CloseAll:
    case cmd_AddFiles:
    case cmd_SubmenuItem1030:
    case cmd_SubmenuItem1031:
    case cmd_OpenUpdatePage:
    case cmd_NewDesktopIndex:
    case cmd_CompactMemory:
    case cmd_PurgeCaches:
        outEnabled = true;
        return;
    case cmd_MinimizeWindow:
    case cmd_ZoomWindow:
    case cmd_BringAllToFront:
        outEnabled = LWindow::GetFrontWindow() != nullptr;
        return;
    default:
        LDocApplication::FindCommandStatus(command, outEnabled, outUsesMark, outMark, outName);
    }
}

void COrvexApp::UpdateWindowMenu()
{
    LMenu* menu = mMenuBar ? mMenuBar->FetchMenu(kWindowMenuID) : nullptr;
    if (!menu)
        return;
    QStringList titles;
    for (LWindow* window : DocumentWindows())
        titles << window->GetCFDescriptor();
    if (titles == mWindowMenuTitles)
        return;
    mWindowMenuTitles = titles;
    while (menu->CountItems() > mWindowMenuFixedItems)
        menu->RemoveItem(menu->CountItems());
    if (!titles.isEmpty())
        menu->InsertCommand(QStringLiteral("-"), cmd_Nothing, menu->CountItems());
    for (const QString& title : titles)
        menu->InsertCommand(title, cmd_Nothing, menu->CountItems());
}
