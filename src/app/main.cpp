#include "COrvexApp.h"
#include "CommandLine.h"
#include "DeferredStyleIcons.h"
#include "ErrorHook.h"
#include "ErrorReport.h"
#include "FirstWindowShown.h"
#include "ItemThumbnails.h"
#include "ItemWindows.h"
#include "LApplication.h"
#include "LocalizedStrings.h"
#include "PreferenceDomain.h"
#include "Preferences.h"
#include "QuitRequests.h"
#include "Sounds.h"
#include "ThreadUtilities.h"
#include "UReportErrors.h"
#include "WorkerPool.h"

#include <QApplication>
#include <QFontDatabase>
#include <QImageReader>
#include <QLockFile>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {
int AnswerInformation(CommandLine::Action action)
{
    const QString text = action == CommandLine::Action::Help ? CommandLineUsage() : CommandLineVersion();
    std::fputs(text.toLocal8Bit().constData(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

int RefuseArguments(const CommandLine& line)
{
    std::fprintf(stderr, "orvex: %s\nTry “orvex --help”.\n", line.error.toLocal8Bit().constData());
    return 2;
}
} // namespace

int main(int argc, char** argv)
{
    // The usage, the version and a wrong option need no screen: answered before Qt
    // looks for one.
    if (const CommandLine asked = InformationAsked(argc, argv); asked.action == CommandLine::Action::Error)
        return RefuseArguments(asked);
    else if (asked.action != CommandLine::Action::Run)
        return AnswerInformation(asked.action);
    int result = 0;
    try {
        MergeFreedBlocksAtOnce();
        QApplication app(argc, argv);
        SetApplicationIdentity();
        // The program runs on while no window is open, as its menus stay usable.
        QApplication::setQuitOnLastWindowClosed(false);

        // The arguments as bytes (Qt's own options taken out).
        QList<QByteArray> arguments;
        for (int i = 1; i < argc; ++i)
            arguments << QByteArray(argv[i]);
        const CommandLine line = ParseCommandLine(arguments);
        if (line.action == CommandLine::Action::Error)
            return RefuseArguments(line);
        if (line.action != CommandLine::Action::Run)
            return AnswerInformation(line.action);
        // A file that is not there is still handed on: the alert that names it shows
        // in the program; the launch ends with a failure all the same.
        for (const QString& missing : line.missing)
            std::fprintf(stderr, "orvex: %s: no such file\n", missing.toLocal8Bit().constData());
        const int launchStatus = line.missing.isEmpty() ? 0 : 1;
        const QStringList& documents = line.documents;
        const QString instanceName = InstanceNameForConfiguration();
        // A program already running takes the files (or, without files, reopens);
        // of two launched at once, the one holding the instance lock runs.
        bool handedOver = false;
        const std::unique_ptr<QLockFile> instanceLock
            = LApplication::ClaimInstance(instanceName, documents, handedOver);
        if (!instanceLock)
            return handedOver ? launchStatus : 1;

        // This launch runs (one that hands its files over waits for neither).
        // Qt loads every image plugin at the first picture read from a file whose
        // reader is not named: the program names the readers of its own pictures,
        // and the bars' overflow icons are read when first drawn, so the first
        // window is made and painted with none loaded. They are loaded on another
        // thread once it is shown, for the pictures the user opens.
        DeferStyleIcons();
        std::jthread imagePlugins;
        RunOnceAWindowIsShown(qApp, [&imagePlugins] {
            imagePlugins = std::jthread([] { QImageReader::supportedImageFormats(); });
        });
        // The sounds' libraries too, a moment after that window is drawn.
        RunOnceAWindowIsShown(qApp, [] { QTimer::singleShot(std::chrono::seconds(1), qApp, PrepareCompletionSound); });
        // The font database (fontconfig reading its configuration and caches) is
        // filled on another thread too: the first window's text waits for it, but
        // the menus, preferences and tasks are made meanwhile.
        std::jthread fonts([] { QFontDatabase::families(); });
        // Qt hands the rows of every tall fill (a scroll bar's groove, a patterned
        // background) to its own pool: for the first window's few fills, starting a
        // thread for every core and waking them fill after fill costs far more than
        // it saves. One thread does them until that window is shown.
        QThreadPool::globalInstance()->setMaxThreadCount(1);
        RunOnceAWindowIsShown(qApp, [] { QThreadPool::globalInstance()->setMaxThreadCount(QThread::idealThreadCount()); });
        // The first window is painted without the desktop theme's icons: reading the
        // theme's index would cost more than the rest of that window. They come a
        // moment after.
        HoldThemeIconsUntilAWindowIsShown();
        // Nor are the menus brought up to date before then: that window shows none.
        LApplication::HoldMenuUpdates(true);
        RunOnceAWindowIsShown(qApp, [] { LApplication::HoldMenuUpdates(false); });

        // Read the preference domain now, so a damaged file is set aside and
        // reported before anything depends on it.
        InstallErrorReportHook();
        PreferenceDomain::Application().Reload();
        InstallIndexedStringLoader();
        InstallErrorManager();
        CItemThumbnails::Install();
        // kill, Ctrl-C, a closed terminal and the session's end cannot wait for
        // answers: the program ends asking nothing, unless the session manager lets
        // it ask (then an index with changes not saved asks as at Quit).
        QuitRequests::Install(
            [] {
                if (COrvexApp* application = COrvexApp::GetApp())
                    application->EndWithoutAsking();
                else
                    QCoreApplication::exit(0);
            },
            [] {
                COrvexApp* application = COrvexApp::GetApp();
                return !application || application->MayEndSession();
            });
        CItemWindows::Install();

        // Writes the preferences once the application has gone, and shows a failure.
        const int status = std::max(RunApplication(documents, instanceName), launchStatus);
        // Preferences and documents are written: a worker stuck in a library call on
        // some hostile file must not keep the program from ending.
        if (!WorkerPool::StopWorkers(std::chrono::seconds(2))) {
            std::fflush(nullptr);
            std::_Exit(status);
        }
        return status;
    } catch (...) {
        // Nothing may escape the process entry; the preferences are still written.
        LogError(CurrentExceptionCode(), "start-up");
        result = 1;
    }
    // Start-up failed: the preferences reach the disk all the same; a failure
    // (a full disk) is told on the log and in the exit status, the old file kept.
    if (const OSStatus status = SynchronizePrefsStatus(); status != noErr)
        LogError(ExceptionCode(status, "the preferences were not written"), "quit");
    return result;
}
