#include "ErrorReport.h"
#include "LocalizedStrings.h"
#include "PreferenceDomain.h"
#include "Preferences.h"

#include <QApplication>
#include <QMainWindow>

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

        QMainWindow window;
        window.setWindowTitle(QStringLiteral("Orvex"));
        window.resize(800, 600);
        window.show();
        result = app.exec();
    }
    // The preferences reach the disk once the application has gone.
    SynchronizePrefs();
    return result;
}
