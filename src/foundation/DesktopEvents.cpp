#include "DesktopEvents.h"

#include "DesktopServices.h"
#include "FileErrors.h"

OSStatus SendOpenDocumentsEvent(const QString& applicationId, const QList<FileRef>& files)
{
    for (const FileRef& file : files)
        if (!file.Exists())
            return fnfErr;
    return OpenFilesWithApplication(applicationId, files);
}

OSStatus RevealOrOpenInFinder(const FileRef& item, bool reveal)
{
    FileRef parent;
    OSStatus err = GetParentFolderSpec(item, parent);
    if (err != noErr)
        return err;
    return RevealOrOpenInFileManager(item, reveal);
}

OSStatus GetParentFolderSpec(const FileRef& item, FileRef& out)
{
    if (!item.IsValid())
        return paramErr;
    if (!item.Exists())
        return fnfErr;
    out = item.IsRoot() ? item : item.Parent();
    return noErr;
}
