#pragma once

#include "ExceptionCode.h"
#include "FileRef.h"
#include "LBroadcaster.h"
#include "LCommander.h"
#include "LPeriodical.h"

#include <QStringList>
#include <memory>

class LMenuBar;
class QObject;

// Broadcast by the application after it brought the menus' command status up to
// date (toolbars follow it).
inline constexpr MessageT msg_CommandStatusUpdated = 'cmst';

// The top commander: builds the menu bar, runs the event loop, quits. Quitting
// asks every document to close first; one that refuses keeps the program running.
// Codes that escape a command or event reach ReportException.
class QLockFile;

class LApplication : public LCommander, public LBroadcaster, protected LPeriodical {
public:
    LApplication();
    ~LApplication() override;

    static LApplication* GetApplication() { return sApplication; }

    // MakeMenuBar, Initialize, then StartUp (or the documents of the command line),
    // then the event loop until Quit. Answers the loop's exit code.
    virtual int Run(const QStringList& documents = {});
    bool IsRunning() const { return mRunning; }

    virtual void MakeMenuBar();
    virtual void Initialize() {}
    virtual void StartUp() {}
    virtual void DoReopenApp();
    virtual void ShowAboutBox();
    virtual void DoPreferences() {}
    virtual void ReportException(const ExceptionCode& error);
    virtual void OpenOrPrintDocList(const QStringList& paths, bool print);

    // Asks every document to close; false when one refused.
    virtual bool AttemptQuit(SInt32 saveOption = 0);
    virtual void DoQuit(SInt32 saveOption = 0);

    LMenuBar* GetMenuBar() const { return mMenuBar.get(); }
    // While held, the idle pass that brings the commands' status up to date leaves
    // the menus out (each menu is brought up to date as it opens or its key is
    // pressed): they are held while the first window is made, which shows none of
    // them. Letting them go brings them up to date at the next pass.
    static void HoldMenuUpdates(bool hold);

    // Single instance: the first launch listens under `name`; a later one hands its
    // documents over (HandOverToRunningInstance answers true: it should exit).
    bool ListenForLaterLaunches(const QString& name);
    // A later launch brings the front window (un-minimized) and an open alert
    // forward, activated with the launch's activation token.
    virtual void ComeForward(const QString& activationToken);
    static bool HandOverToRunningInstance(const QString& name, const QStringList& documents, int timeoutMilliseconds = 1000);
    static QString DefaultInstanceName();
    // The instance lock under `name` (a lock file in the runtime folder naming the
    // holder's process; a dead holder's lock is taken over). The launch that takes it
    // is the program; a later one hands its documents to the live holder, waiting up to
    // `waitMilliseconds` for it to listen, and gets null: `handedOver` says whether the
    // holder took them (else none answered, and this launch ends as well).
    static std::unique_ptr<QLockFile> ClaimInstance(const QString& name, const QStringList& documents,
        bool& handedOver, int waitMilliseconds = 10000);

    bool ObeyCommand(CommandT command, void* ioParam) override;
    void FindCommandStatus(CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark, Str255& outName) override;

protected:
    void SpendTime(const EventRecord& event) override;

    std::unique_ptr<LMenuBar> mMenuBar;
    bool mRunning = false;

private:
    QObject* mServer = nullptr; // listening for later launches
    static inline LApplication* sApplication = nullptr;
    static inline bool sMenuUpdatesHeld = false;
};

// An application of documents: New makes one, Open chooses files and opens them.
class LDocApplication : public LApplication {
public:
    virtual void OpenDocument(const FileRef& file) { Q_UNUSED(file); }
    virtual void PrintDocument(const FileRef& file) { Q_UNUSED(file); }
    virtual void MakeNewDocument() {}
    virtual void ChooseDocument();
    virtual void SetupPage() {}

    void StartUp() override;
    void OpenOrPrintDocList(const QStringList& paths, bool print) override;
    bool ObeyCommand(CommandT command, void* ioParam) override;
    void FindCommandStatus(CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark, Str255& outName) override;
};
