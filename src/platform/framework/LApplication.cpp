#include "LApplication.h"

#include "BundleStrings.h"
#include "ErrorHook.h"
#include "InstanceChannel.h"
#include "LDocument.h"
#include "LMenuBar.h"
#include "LWindow.h"
#include "Modules.h"
#include "UReportErrors.h"
#include "WindowActivation.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>
#include <QElapsedTimer>
#include <QDir>
#include <QMessageBox>
#include <unistd.h>

// InstanceChannel.cpp's entry, when it is linked into the program rather than loaded.
extern "C" const InstanceChannel* OrvexInstanceChannel() __attribute__((weak));

LApplication::LApplication()
    : LCommander(static_cast<LCommander*>(nullptr))
{
    sApplication = this;
    LCommander::SetTopCommander(this);
    // Undo and Redo of the actions that commanders post.
    AddAttachment(new LUndoer);
}

LApplication::~LApplication()
{
    StopRepeating();
    mMenuBar.reset();
    if (sApplication == this)
        sApplication = nullptr;
}

void LApplication::MakeMenuBar()
{
    if (QFile::exists(QStringLiteral(":/menus/MenuBar.json")))
        mMenuBar = std::make_unique<LMenuBar>(128);
    else
        mMenuBar = std::make_unique<LMenuBar>();
}

int LApplication::Run(const QStringList& documents)
{
    int result = 0;
    const ExceptionCode error = CatchException([&] {
        MakeMenuBar();
        Initialize();
        LCommander::SwitchTarget(this);
        if (documents.isEmpty())
            StartUp();
        else
            OpenOrPrintDocList(documents, false);
    });
    if (error.Code() != noErr) {
        ReportException(error);
        return 1;
    }
    mRunning = true;
    StartRepeating();
    result = QApplication::exec();
    mRunning = false;
    StopRepeating();
    return result;
}

void LApplication::HoldMenuUpdates(bool hold)
{
    sMenuUpdatesHeld = hold;
    if (!hold)
        LCommander::SetUpdateCommandStatus(true);
}

void LApplication::SpendTime(const EventRecord&)
{
    if (LCommander::GetUpdateCommandStatus()) {
        if (mMenuBar && !sMenuUpdatesHeld)
            mMenuBar->UpdateMenus();
        LCommander::SetUpdateCommandStatus(false);
        BroadcastMessage(msg_CommandStatusUpdated);
    }
}

void LApplication::DoReopenApp()
{
    if (LDocument::GetDocumentList().empty())
        StartUp();
}

void LApplication::ShowAboutBox()
{
    QMessageBox::about(nullptr, QCoreApplication::applicationName(), QCoreApplication::applicationName());
}

void LApplication::ReportException(const ExceptionCode& error)
{
    ReportErrorThroughHook(error);
}

void LApplication::OpenOrPrintDocList(const QStringList&, bool)
{
}

bool LApplication::AttemptQuit(SInt32 saveOption)
{
    // Newest document first, as their windows lie.
    std::vector<LDocument*> documents = LDocument::GetDocumentList();
    for (auto it = documents.rbegin(); it != documents.rend(); ++it) {
        const auto& live = LDocument::GetDocumentList();
        if (std::find(live.begin(), live.end(), *it) == live.end())
            continue;
        if (!(*it)->AttemptQuitSelf(saveOption))
            return false;
    }
    return true;
}

void LApplication::DoQuit(SInt32 saveOption)
{
    if (AttemptQuit(saveOption))
        QCoreApplication::exit(0);
}

bool LApplication::ObeyCommand(CommandT command, void* ioParam)
{
    switch (command) {
    case cmd_Quit:
        DoQuit();
        return true;
    case cmd_About:
        ShowAboutBox();
        return true;
    case cmd_Preferences:
        DoPreferences();
        return true;
    default:
        return LCommander::ObeyCommand(command, ioParam);
    }
}

void LApplication::FindCommandStatus(CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark, Str255& outName)
{
    switch (command) {
    case cmd_Quit:
    case cmd_About:
    case cmd_Preferences:
        outEnabled = true;
        return;
    default:
        LCommander::FindCommandStatus(command, outEnabled, outUsesMark, outMark, outName);
    }
}

QString LApplication::DefaultInstanceName()
{
    return QStringLiteral("%1-%2").arg(QCoreApplication::applicationName().toLower()).arg(getuid());
}

std::unique_ptr<QLockFile> LApplication::ClaimInstance(const QString& name, const QStringList& documents,
    bool& handedOver, int waitMilliseconds)
{
    handedOver = false;
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    auto lock = std::make_unique<QLockFile>(folder + QLatin1Char('/') + name + QStringLiteral(".lock"));
    // Only a dead holder loses the lock, never one that is merely slow.
    lock->setStaleLockTime(0);
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        if (lock->tryLock(0))
            return lock;
        if (lock->error() != QLockFile::LockFailedError) {
            // No lock can be made here (no such folder, no permission): run unguarded, as before.
            qWarning("the instance lock cannot be made: %d", int(lock->error()));
            return lock;
        }
        // Held by a live program, which may still be starting: it listens soon.
        if (HandOverToRunningInstance(name, documents, 500)) {
            handedOver = true;
            return nullptr;
        }
        if (waited.elapsed() > waitMilliseconds)
            return nullptr;
        QThread::msleep(100);
    }
}

const InstanceChannel* GetInstanceChannel(std::string& error)
{
    static std::string loadError;
    static const InstanceChannel* const channel
        = ModuleTable(OrvexInstanceChannel, "orvex-instance", "OrvexInstanceChannel", loadError);
    error = loadError;
    return channel;
}

bool LApplication::ListenForLaterLaunches(const QString& name)
{
    delete mServer;
    mServer = nullptr;
    std::string error;
    const InstanceChannel* channel = GetInstanceChannel(error);
    if (!channel) {
        qWarning("later launches cannot reach this one: %s", error.c_str());
        return false;
    }
    mServer = channel->listen(name, [this](const QString& verb, const QStringList& paths, const QString& token) {
        RunReportingErrors([&] {
            if (paths.isEmpty())
                DoReopenApp();
            else
                OpenOrPrintDocList(paths, verb == QLatin1String("print"));
        });
        ComeForward(token);
    });
    return mServer != nullptr;
}

bool LApplication::HandOverToRunningInstance(const QString& name, const QStringList& documents, int timeoutMilliseconds)
{
    std::string error;
    const InstanceChannel* channel = GetInstanceChannel(error);
    if (!channel)
        return false;
    QStringList absolute;
    for (const QString& path : documents) {
        // Addresses go as they are; the program that opens them judges them.
        const bool address = !path.startsWith(QLatin1Char('/')) && path.contains(QLatin1String("://"));
        absolute << (address ? path : FileRef(path).Path());
    }
    return channel->handOver(name, QStringLiteral("open"), absolute, LaunchActivationToken(), timeoutMilliseconds);
}

void LApplication::ComeForward(const QString& activationToken)
{
    // The window the user works in, and an alert open over it (which the user must see).
    QWidget* alert = QApplication::activeModalWidget();
    QWidget* window = nullptr;
    for (LWindow* each : LWindow::FetchWindows()) {
        QWidget* shell = each->GetShell();
        if (each->IsVisible() && shell != alert && !shell->isModal() && !each->HasAttribute(windAttr_Floating)) {
            window = shell;
            break;
        }
    }
    BringForward(window, alert, activationToken);
}

void LDocApplication::StartUp()
{
    ObeyCommand(cmd_New, nullptr);
}

void LDocApplication::ChooseDocument()
{
    const QStringList paths = QFileDialog::getOpenFileNames(nullptr);
    for (const QString& path : paths)
        OpenDocument(FileRef(path));
}

void LDocApplication::OpenOrPrintDocList(const QStringList& paths, bool print)
{
    for (const QString& path : paths) {
        // One file failing does not stop the others.
        RunReportingErrors([&] {
            if (print)
                PrintDocument(FileRef(path));
            else
                OpenDocument(FileRef(path));
        });
    }
}

bool LDocApplication::ObeyCommand(CommandT command, void* ioParam)
{
    switch (command) {
    case cmd_New:
        MakeNewDocument();
        return true;
    case cmd_Open:
        ChooseDocument();
        return true;
    case cmd_PageSetup:
        SetupPage();
        return true;
    default:
        return LApplication::ObeyCommand(command, ioParam);
    }
}

void LDocApplication::FindCommandStatus(CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark, Str255& outName)
{
    switch (command) {
    case cmd_New:
    case cmd_Open:
    case cmd_PageSetup:
        outEnabled = true;
        return;
    default:
        LApplication::FindCommandStatus(command, outEnabled, outUsesMark, outMark, outName);
    }
}
