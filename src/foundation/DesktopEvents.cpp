#include "DesktopEvents.h"

#include "DesktopServices.h"
#include "ErrorCodes.h"
#include "FileErrors.h"
#include "FileTypes.h"

#include <QCoreApplication>
#include <QProcess>

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
    // Nothing on the desktop shows folders: the user is told so, not left waiting.
    err = RevealOrOpenInFileManager(item, reveal);
    return err == procNotFound ? OSStatus(kMsgNoFileManager) : err;
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

QString GetApplicationForCreator(OSType creator, OSType type)
{
    if (creator == kOrvexCreator)
        return QString::fromLatin1(kOrvexApplicationID);
    return DefaultApplicationForMimeType(MimeTypeForFileType(type));
}

OSStatus OpenFilesWithCreator(OSType creator, OSType type, const QList<FileRef>& files)
{
    QString application = GetApplicationForCreator(creator, type);
    if (application.isEmpty())
        return fnfErr;
    if (application != QLatin1String(kOrvexApplicationID))
        return SendOpenDocumentsEvent(application, files);
    QStringList paths;
    for (const FileRef& file : files) {
        if (!file.Exists())
            return fnfErr;
        paths << file.Path();
    }
    return QProcess::startDetached(QCoreApplication::applicationFilePath(), paths) ? OSStatus(noErr)
                                                                                   : OSStatus(procNotFound);
}
