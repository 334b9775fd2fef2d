#include "ItemWindows.h"

#include "ExceptionCode.h"
#include "LWindow.h"

#include <QFileDialog>

std::unique_ptr<ItemInfoWindow> CItemWindows::MakeItemInfoWindow(LCommander* superCommander)
{
    LWindow* window = nullptr;
    if (CatchCode([&] { window = LWindow::CreateWindow(kItemInfoWindowLayout, superCommander); }) != noErr)
        return nullptr;
    if (auto* info = dynamic_cast<ItemInfoWindow*>(window))
        return std::unique_ptr<ItemInfoWindow>(info);
    delete window; // a layout whose window class shows no item
    return nullptr;
}

QUrl CItemWindows::AskForMissingFile(const QString&, const QUrl& folder)
{
    return QFileDialog::getOpenFileUrl(nullptr, QStringLiteral("Locate Missing File"), folder, QString(),
        nullptr, QFileDialog::DontResolveSymlinks);
}

void CItemWindows::Install()
{
    static CItemWindows windows;
    SetItemWindowServices(&windows);
}
