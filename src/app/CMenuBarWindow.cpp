#include "CMenuBarWindow.h"

#include "BundleStrings.h"
#include "LApplication.h"
#include "LMenuBar.h"
#include "UReportErrors.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QMenuBar>
#include <QVBoxLayout>

CMenuBarWindow::CMenuBarWindow(LApplication* application)
    : mApplication(application)
{
    // The menu bar's key equivalents work in windows that carry this property.
    setProperty("orvexShell", true);
    setWindowTitle(QCoreApplication::applicationName());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 12, 24, 24);
    if (LMenuBar* menuBar = application->GetMenuBar())
        layout->setMenuBar(menuBar->MakeQMenuBar(this));
    auto* hint = new QLabel(BundleLocalizedString(QStringLiteral("APP_NO_INDEX_OPEN")), this);
    hint->setWordWrap(true);
    hint->setAlignment(Qt::AlignCenter);
    layout->addWidget(hint, 1);
    resize(460, 140);
}

void CMenuBarWindow::SetNeeded(bool needed)
{
    if (needed == mNeeded)
        return;
    mNeeded = needed;
    if (needed) {
        show();
        raise();
        activateWindow();
        LCommander::SwitchTarget(mApplication);
    } else {
        hide();
    }
}

void CMenuBarWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();
    LCommander::RunOrHoldCommand([app = mApplication] { RunReportingErrors([&] { app->ProcessCommand(cmd_Quit); }); });
}
