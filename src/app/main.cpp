#include "COrvexApp.h"
#include "ErrorHook.h"
#include "ErrorReport.h"
#include "ItemThumbnails.h"
#include "ItemWindows.h"
#include "LocalizedStrings.h"
#include "PreferenceDomain.h"
#include "Preferences.h"
#include "QuitRequests.h"
#include "UReportErrors.h"

#include <QApplication>

int main(int argc, char** argv)
{
    int result = 0;
    try {
        QApplication app(argc, argv);
        QCoreApplication::setOrganizationName(QStringLiteral("orvex"));
        QCoreApplication::setApplicationName(QStringLiteral("Orvex"));
        // The program runs on while no window is open, as its menus stay usable.
        QApplication::setQuitOnLastWindowClosed(false);

        QStringList documents = QCoreApplication::arguments().mid(1);
        const QString instanceName = InstanceNameForConfiguration();
        // A program already running takes the files (or, without files, reopens).
        if (LApplication::HandOverToRunningInstance(instanceName, documents))
            return 0;

        // Read the preference domain now, so a damaged file is set aside and
        // reported before anything depends on it.
        InstallErrorReportHook();
        PreferenceDomain::Application().Reload();
        InstallIndexedStringLoader();
        InstallErrorManager();
        CItemThumbnails::Install();
        // kill, Ctrl-C, a closed terminal and the session's end quit as the Quit command does.
        QuitRequests::Install([] {
            if (LApplication* application = LApplication::GetApplication())
                RunReportingErrors([&] { application->ProcessCommand(cmd_Quit); });
            else
                QCoreApplication::exit(0);
        });
        CItemWindows::Install();

        // Writes the preferences once the application has gone, and shows a failure.
        return RunApplication(documents, instanceName);
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
