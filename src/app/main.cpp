#include "CExceptionMgrPeriodical.h"
#include "ErrorReport.h"
#include "InterfaceClasses.h"
#include "ItemThumbnails.h"
#include "LocalizedStrings.h"
#include "PreferenceDomain.h"
#include "Preferences.h"
#include "Sounds.h"
#include "ThreadUtilities.h"
#include "URegistrar.h"

#include <QApplication>
#include <QMainWindow>

namespace {
// How often the task threads get the processor while the main thread is busy.
constexpr EventTimerInterval kThreadYieldInterval = 0.04;
} // namespace

int main(int argc, char** argv)
{
    int result = 0;
    {
        QApplication app(argc, argv);
        QCoreApplication::setOrganizationName(QStringLiteral("orvex"));
        QCoreApplication::setApplicationName(QStringLiteral("Orvex"));

        // Read the preference domain now, so a damaged file is set aside and
        // reported before anything depends on it.
        InstallErrorReportHook();
        PreferenceDomain::Application().Reload();
        InstallIndexedStringLoader();

        URegistrar::RegisterFrameworkClasses();
        RegisterInterfaceClasses();
        CreateSoundPlayer();
        InstallThreadYieldTimer(kThreadYieldInterval);
        InstallErrorManager();
        CItemThumbnails::Install();
        CExceptionMgrPeriodical errorPeriodical;
        errorPeriodical.StartRepeating(CExceptionMgrPeriodical::kInterval);

        QMainWindow window;
        window.setWindowTitle(QStringLiteral("Orvex"));
        window.resize(800, 600);
        window.show();
        result = app.exec();
        RemoveThreadYieldTimer();
    }
    // The preferences reach the disk once the application has gone.
    SynchronizePrefs();
    return result;
}
