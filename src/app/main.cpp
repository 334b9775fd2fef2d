#include "COrvexApp.h"
#include "ErrorHook.h"
#include "ErrorReport.h"
#include "ItemThumbnails.h"
#include "ItemWindows.h"
#include "LocalizedStrings.h"
#include "NativePaths.h"
#include "PreferenceDomain.h"
#include "Preferences.h"
#include "QuitRequests.h"
#include "UReportErrors.h"
#include "WorkerPool.h"

#include <QApplication>
#include <QFontDatabase>
#include <QImageReader>
#include <QLockFile>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

int main(int argc, char** argv)
{
    int result = 0;
    try {
        QApplication app(argc, argv);
        QCoreApplication::setOrganizationName(QStringLiteral("orvex"));
        QCoreApplication::setApplicationName(QStringLiteral("Orvex"));
        // The program runs on while no window is open, as its menus stay usable.
        QApplication::setQuitOnLastWindowClosed(false);

        // The arguments as bytes (Qt's own options taken out): a name that is not
        // valid UTF-8 must still lead to its file.
        QStringList documents;
        for (int i = 1; i < argc; ++i)
            documents << PathFromNativeBytes(QByteArray(argv[i]));
        const QString instanceName = InstanceNameForConfiguration();
        // A program already running takes the files (or, without files, reopens);
        // of two launched at once, the one holding the instance lock runs.
        bool handedOver = false;
        const std::unique_ptr<QLockFile> instanceLock
            = LApplication::ClaimInstance(instanceName, documents, handedOver);
        if (!instanceLock)
            return handedOver ? 0 : 1;

        // This launch runs (one that hands its files over waits for neither):
        // Qt loads every image plugin at the first icon read from a file (the menu
        // bar's own among them): that is done on another thread while start-up goes on.
        std::jthread imagePlugins([] { QImageReader::supportedImageFormats(); });
        // The font database (fontconfig reading its configuration and caches) is
        // filled on another thread too: the first window's text waits for it, but
        // the menus, preferences and tasks are made meanwhile.
        std::jthread fonts([] { QFontDatabase::families(); });

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
        const int status = RunApplication(documents, instanceName);
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
