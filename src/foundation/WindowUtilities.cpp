#include "WindowUtilities.h"

#include "LDragAndDrop.h"
#include "LWindow.h"
#include "UEvents.h"

#include <QIcon>
#include <QWidget>

namespace {

constexpr OSType kGenericNetworkIcon = 'gnet';

void PrepareProxy(LWindow* window, bool clearModified)
{
    if (clearModified)
        window->SetModified(false);
}

} // namespace

void SetWindowModifiedState(LWindow* window, bool modified)
{
    if (window)
        window->SetModified(modified);
}

OSStatus SetWindowProxyFSRef(LWindow* window, const FileRef& file, bool clearModified)
{
    if (!file.IsValid())
        return paramErr;
    if (!window)
        return noErr;
    PrepareProxy(window, clearModified);
    if (QWidget* shell = window->GetShell())
        shell->setWindowFilePath(file.Path());
    return noErr;
}

OSStatus SetWindowProxyType(LWindow* window, OSType creator, OSType type, bool clearModified)
{
    Q_UNUSED(creator); // the desktop picks icons by kind alone
    return SetWindowProxyIconType(window, type, clearModified);
}

OSStatus SetWindowProxyIconType(LWindow* window, OSType type, bool clearModified)
{
    if (!window)
        return noErr;
    Q_UNUSED(type); // the task bar and window switcher show the program's icon, not the document's kind
    PrepareProxy(window, clearModified);
    return noErr;
}

OSStatus SetWindowProxyURL(LWindow* window, const QUrl& url, bool clearModified)
{
    if (url.isEmpty())
        return paramErr;
    FileRef file = FileRef::FromUrl(url);
    if (file.IsValid() && file.Exists())
        return SetWindowProxyFSRef(window, file, clearModified);
    return SetWindowProxyIconType(window, kGenericNetworkIcon, clearModified);
}

void RemoveWindowProxyIcon(LWindow* window)
{
    if (!window)
        return;
    if (QWidget* shell = window->GetShell()) {
        shell->setWindowFilePath(QString());
        shell->setWindowIcon(QIcon());
    }
}

bool IsDragCopy(const DragReference& drag)
{
    return drag.GetModifiers() & optionKey;
}

bool IsDragCommandKey(const DragReference& drag)
{
    return drag.GetModifiers() & cmdKey;
}

bool IsDragInsideSenderApplication(const DragReference& drag)
{
    return drag.IsFromThisProgram();
}

bool DragHasFlavor(const DragReference& drag, FourCharCode flavor)
{
    return drag.CountItems() >= 1 && drag.HasFlavor(1, flavor);
}
