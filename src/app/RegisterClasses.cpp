// The class registry: every class that a layout may name, under its class ID.
#include "COrvexApp.h"

#include "CIndexView.h"
#include "CIndexViewDocument.h"
#include "CPreferencesWindow.h"
#include "IndexTaskServices.h"
#include "InterfaceClasses.h"
#include "LDataBrowser.h"
#include "MediaViewerClasses.h"
#include "URegistrar.h"

void COrvexApp::RegisterClasses()
{
    // The framework's panes, controls, windows and attachments under their standard IDs.
    URegistrar::RegisterFrameworkClasses();
    // The interface kit: window bases, split views, edit texts, help tags, small widgets.
    RegisterInterfaceClasses();
    // 'dbrw' the data browser.
    RegisterDataBrowserClasses();
    // 'IndV' the index view, 'PhdV'/'PftV' the printed header and footer, and the
    // index window's other panes; index documents reach their view through it.
    RegisterIndexWindowClasses();
    InstallIndexViewDocumentServices();
    InstallIndexTaskServices();
    RegisterSearchWindowClasses();
    // The media windows, their views and floaters; index items print through them,
    // and every index view's items open in them.
    RegisterMediaViewerClasses();
    InstallMediaViewerServices();
    URegistrar::RegisterClass(CIndexView::class_ID, [](const LLayoutData& data) {
        auto* view = new CIndexView(data);
        OpenItemsInMediaWindows(*view);
        return URegistrar::Wrap(view);
    });
    // 'PrfW' the preferences dialog.
    URegistrar::RegisterClass<CPreferencesWindow>(CPreferencesWindow::class_ID);
}
