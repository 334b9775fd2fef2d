// The application's own windows: the About box and the preferences dialog.
#include "COrvexApp.h"

#include "CPreferencesWindow.h"
#include "ExceptionCode.h"
#include "LocalizedStrings.h"
#include "LWindow.h"

#include <QPointer>

namespace {

constexpr ResIDT kAboutBoxLayout = 962;

QPointer<LWindow>& AboutBox()
{
    static QPointer<LWindow> box;
    return box;
}

} // namespace

void COrvexApp::ShowAboutBox()
{
    QPointer<LWindow>& box = AboutBox();
    if (!box) {
        LWindow* window = LWindow::CreateWindow(kAboutBoxLayout, this);
        if (!window)
            ThrowOSErr_(err_NilPointer, "no About box");
        window->ClearAttribute(windAttr_Resizable | windAttr_Zoomable);
        for (auto [pane, key] : { std::pair { 1003, "NSHumanReadableCopyright" }, std::pair { 1001, "CFBundleName" },
                 std::pair { 1004, "CFBundleShortVersionString" }, std::pair { 1002, "APP_DESCRIPTION_LABEL" } }) {
            if (LPane* text = window->FindPaneByID(PaneIDT(pane)))
                text->SetCFDescriptor(CopyLocalizedString(QString::fromLatin1(key)));
        }
        box = window;
    }
    box->Show();
    box->Select();
}

LWindow* COrvexApp::GetAboutBox() const
{
    return AboutBox().data();
}

void COrvexApp::DoPreferences()
{
    CPreferencesWindow::ShowPreferencesWindow(this);
}
