#include "COrvexApp.h"

#include "StoredSettingsMenu.h"

#include "PrefKeys.h"
#include "DesktopEvents.h"
#include "ResourceUtilities.h"

#include "CContextualMenu.h"
#include "CWidgets.h"

#include "ABalloon.h"
#include "Alerts.h"
#include "AppLog.h"
#include "CContextualMenu.h"
#include "CExceptionMgrPeriodical.h"
#include "CImportCameraTask.h"
#include "CImportiPhotoTask.h"
#include "CMenuBarWindow.h"
#include "CPreferencesWindow.h"
#include "CVisualTask.h"
#include "CommandLine.h"
#include "ErrorCodes.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "FileSystemRoutines.h"
#include "FirstWindowShown.h"
#include "IndexDropData.h"
#include "LDocument.h"
#include "LMenuBar.h"
#include "LWindow.h"
#include "LocalizedStrings.h"
#include "Preferences.h"
#include "Sounds.h"
#include "ThreadUtilities.h"
#include "UEnvironment.h"
#include "UMainThread.h"
#include "UReportErrors.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QEvent>
#include <QMenu>
#include <QStandardPaths>
#include <QTimer>

#include <cstdlib>
#include <ctime>

Q_LOGGING_CATEGORY(lcApp, "orvex.app")

namespace {
// How often the task threads get the processor while the main thread is busy.
constexpr EventTimerInterval kThreadYieldInterval = 0.04;
// Help tags wait 20 ticks after the mouse rests.
constexpr SInt32 kHelpTagDelayTicks = 20;
// The oldest system the program runs on, in the old BCD form.
constexpr UInt32 kNewestUnsupportedSystem = 0x101F;

COrvexApp::StartupObserver& Observer()
{
    static COrvexApp::StartupObserver observer;
    return observer;
}

std::unique_ptr<UMainThread>& MainThread()
{
    static std::unique_ptr<UMainThread> thread;
    return thread;
}

// The application's own event handler: task threads get no time while a menu is
// down (a menu tracks in a loop of its own, and a task step there would freeze it).
class CAppEventHandler : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched->isWidgetType() && qobject_cast<QMenu*>(watched)) {
            if (event->type() == QEvent::Show)
                gAllowTimerYield = false;
            else if (event->type() == QEvent::Hide)
                gAllowTimerYield = true;
        }
        // A new desktop theme or palette reaches every widget: the windows are drawn again once.
        if ((event->type() == QEvent::ThemeChange || event->type() == QEvent::ApplicationPaletteChange) && !mRefreshPending) {
            mRefreshPending = true;
            QTimer::singleShot(0, this, [this] {
                mRefreshPending = false;
                RefreshAllWindows();
            });
        }
        return false;
    }

private:
    bool mRefreshPending = false;
};
} // namespace

void COrvexApp::SetStartupObserver(StartupObserver observer)
{
    Observer() = std::move(observer);
}

void COrvexApp::Step(const char* name) const
{
    if (Observer())
        Observer()(name);
}

void COrvexApp::CheckSystemVersion(UInt32 systemVersion)
{
    if (systemVersion <= kNewestUnsupportedSystem)
        ThrowOSErr_(kMsgSystemTooOld, "system version " + std::to_string(systemVersion));
}

COrvexApp::COrvexApp()
{
    sApp = this;
    // Every window's icon in the task bar and the window switcher, once the first
    // window is painted: reading it and handing every size of it to the window
    // system would otherwise come first.
    RunOnceAWindowIsShown(qApp, [] {
        QGuiApplication::setWindowIcon(RegisterBundleIcon(kOrvexCreator, kOrvexCreator, QStringLiteral("orvex.icns")));
    });
    Step("CheckSystemVersion");
    CheckSystemVersion(UEnvironment::GetOSVersion());
    Step("RegisterClasses");
    RegisterClasses();
    Step("InitContextualMenuSupport");
    InitContextualMenuSupport();
    Step("CreateSoundPlayer");
    CreateSoundPlayer();
    Step("RegisterCameraNotifications");
    RegisterCameraNotifications();
    Step("CheckPictureLibrary");
    CheckPictureLibrary();
    Step("SeedRandom");
    std::srand(unsigned(std::time(nullptr)));
    Step("MainThread");
    if (!UMainThread::Get())
        MainThread() = std::make_unique<UMainThread>();
    ThrowIfNil_(UMainThread::Get());
    Step("InstallEventHandler");
    mEventHandler = std::make_unique<CAppEventHandler>();
    if (qApp)
        qApp->installEventFilter(mEventHandler.get());
    Step("InstallThreadYieldTimer");
    InstallThreadYieldTimer(kThreadYieldInterval);
    SetDeferredQuitHandler([] {
        if (COrvexApp* app = COrvexApp::GetApp())
            app->DoQuit();
    });
    Step("SwitchHelpTags");
    SetHelpTagDelay(kHelpTagDelayTicks);
    InstallHelpTagHandler();
    ApplyShowToolTipsPreference();
    Step("StartErrorPeriodical");
    mErrorPeriodical.StartRepeating(CExceptionMgrPeriodical::kInterval);
    Step("LoadRecentItems");
    LoadRecentItems();
    SetIndexDocAppServices(this);
}

COrvexApp::~COrvexApp()
{
    SetStoredSettingsChangedHook({});
    Step("SaveTaskWindowVisible");
    RunReportingErrors([&] { Pref::TaskManagerWindowVisible.Set(IsTaskWindowVisible()); });
    Step("SaveRecentItems");
    RunReportingErrors([&] { SaveRecentItems(); });
    // The task window is the application's: it goes before the application does.
    TerminateTasks();
    UnregisterCameraNotifications();
    if (GetIndexDocAppServices() == this)
        SetIndexDocAppServices(nullptr);
    SetDeferredQuitHandler(nullptr);
    RemoveThreadYieldTimer();
    if (qApp && mEventHandler)
        qApp->removeEventFilter(mEventHandler.get());
    gAllowTimerYield = true;
    mMenuBarWindow.reset();
    if (sApp == this)
        sApp = nullptr;
}

void COrvexApp::Initialize()
{
    Step("Initialize");
    LDocApplication::Initialize();
    Step("BuildHelpMenu");
    BuildHelpMenu();
    Step("SetUpMenuBar");
    SetUpMenuBar();
    Step("LoadFolderAliases");
    // A download folder that moved has its alias renewed; none is made before the
    // first download.
    RunReportingErrors([] { ResolveDownloadFolderAlias(); });
    Step("InstallScrollWheel");
    AddAttachment(new CScrollWheelAttachment);
    Step("InitializeTasks");
    InitializeTasks();
    // The menus need a window while no document shows one: it is made the
    // first time none does (at start, the first index window usually does).
    mMenuBarWindowWanted = true;
    Step("ShowTaskWindow");
    if (Pref::TaskManagerWindowVisible.Get())
        ShowTaskWindow();
}

int COrvexApp::Run(const QStringList& documents)
{
    // Building the menus and initialising may fail: that ends the program (the
    // caller shows why). What opens afterwards comes through the event loop, as
    // later requests do, and its failures are reported like any command's.
    MakeMenuBar();
    Initialize();
    LCommander::SwitchTarget(this);
    QTimer::singleShot(0, qApp, [this, documents] {
        RunReportingErrors([&] {
            if (documents.isEmpty())
                StartUp();
            else
                OpenOrPrintDocList(documents, false);
        });
    });
    mRunning = true;
    StartRepeating();
    // A signal may have come while start-up showed an alert: the program ends.
    int result = mEndingWithoutAsking ? 0 : QApplication::exec();
    if (mEndingWithoutAsking)
        CloseDocumentsWithoutAsking();
    mRunning = false;
    StopRepeating();
    return result;
}

void COrvexApp::StartUp()
{
    switch (GetPrefNumber(QStringLiteral("StartupAction"))) {
    case 1:
        ObeyCommand(cmd_Open, nullptr);
        break;
    case 3:
        if (OpenNewestRecentIndex())
            break;
        ObeyCommand(cmd_New, nullptr);
        break;
    case 4:
        break;
    default: // 2 and any value not known
        ObeyCommand(cmd_New, nullptr);
        break;
    }
}

void COrvexApp::DoReopenApp()
{
    // Asked again to start, the program comes forward as it is.
    if (LWindow* front = LWindow::GetFrontWindow())
        front->Select();
    else if (mMenuBarWindow && mMenuBarWindow->isVisible())
        mMenuBarWindow->activateWindow();
    if (!LDocument::GetDocumentList().empty())
        return;
    if (QApplication::activeModalWidget())
        return;
    StartUp();
}

void COrvexApp::ReportException(const ExceptionCode& error)
{
    if (!IsUserCancelCode(error.Code()))
        ReportError(error, kNoteAlert);
}

void COrvexApp::OpenOrPrintDocList(const QStringList& paths, bool print)
{
    mSingleDocument = paths.size() == 1;
    for (const QString& path : paths) {
        qCInfo(lcApp) << (print ? "printing" : "opening") << path;
        if (IsAddressDocument(path) && !IndexDropData::IsDownloadableURL(QUrl(path))) {
            ReportErrorWithText(ExceptionCode(paramErr, "not an ftp, http or https address: " + path.toStdString()),
                CopyLocalizedString(QStringLiteral("ADDRESS_NOT_DOWNLOADABLE")).arg(path), kNoteAlert);
            continue;
        }
        // One failing does not stop the others; the alert names the one that failed.
        const ExceptionCode error = CatchException([&] {
            if (IsAddressDocument(path))
                ReceiveAddress(path);
            else if (print)
                PrintDocument(FileRef(path));
            else
                OpenDocument(FileRef(path));
        });
        if (error.Code() == noErr || IsUserCancelCode(error.Code()))
            continue;
        ReportErrorWithText(error,
            CopyLocalizedString(QStringLiteral("OPEN_FAILED_NAMED")).arg(path, GetErrorText(error.Code())), kNoteAlert);
    }
}

void COrvexApp::SpendTime(const EventRecord& event)
{
    LApplication::SpendTime(event);
    UpdateWindowMenu();
    UpdateMenuBarWindow();
}

void COrvexApp::UpdateMenuBarWindow()
{
    if (!mMenuBarWindowWanted)
        return;
    bool documentShown = false;
    for (LWindow* window : LWindow::FetchWindows()) {
        if (window->HasAttribute(windAttr_Regular))
            documentShown = true;
    }
    if (!mMenuBarWindow) {
        if (documentShown)
            return;
        mMenuBarWindow = std::make_unique<CMenuBarWindow>(this);
    }
    mMenuBarWindow->SetNeeded(!documentShown);
}

QWidget* COrvexApp::GetMenuBarWindow() const
{
    return mMenuBarWindow.get();
}

QString InstanceNameForConfiguration()
{
    // One running program per preference domain: a second set of preferences (a
    // test, another profile) is another program.
    QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    QByteArray hash = QCryptographicHash::hash(config.toUtf8(), QCryptographicHash::Sha1).toHex().left(12);
    return LApplication::DefaultInstanceName() + QLatin1Char('-') + QString::fromLatin1(hash);
}

int RunApplication(const QStringList& documents, const QString& instanceName)
{
    int result = 0;
    OSStatus code = CatchCode([&] {
        COrvexApp app;
        // Later launches are listened for once the first window is made (the turn
        // after Run's start-up): the channel's libraries load then, and a launch
        // that comes meanwhile waits for the listener.
        if (!instanceName.isEmpty())
            QTimer::singleShot(0, qApp, [&app, instanceName] {
                QTimer::singleShot(0, qApp, [&app, instanceName] { app.ListenForLaterLaunches(instanceName); });
            });
        result = app.Run(documents);
    });
    if (code != noErr) {
        ShowOSErrorAlert(gErrorRecord, code, kStopAlert);
        result = 1;
    }
    return WritePreferencesAtQuit(result);
}

int WritePreferencesAtQuit(int result)
{
    const OSStatus status = SynchronizePrefsStatus();
    if (status == noErr)
        return result;
    // No later period will show the report: it is shown now, before the program goes.
    ReportError(ExceptionCode(status, "the preferences were not written at quit"), kStopAlert);
    ShowPendingErrorsNow(GetErrorNotifier());
    return result == 0 ? 1 : result;
}
