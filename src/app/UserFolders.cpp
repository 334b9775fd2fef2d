#include "UserFolders.h"

#include "AppCommands.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

namespace {
FileRef ExistingFolder(const QString& path)
{
    FileRef folder(path);
    return !path.isEmpty() && folder.IsFolder() ? folder : FileRef();
}

FileRef StandardFolder(QStandardPaths::StandardLocation location)
{
    return ExistingFolder(QStandardPaths::writableLocation(location));
}
} // namespace

QList<FileRef> DesktopPictureFolders()
{
    QList<FileRef> folders;
    QStringList candidates;
    candidates << QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/backgrounds");
    for (const QString& data : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        candidates << data + QStringLiteral("/backgrounds");
    for (const QString& path : candidates) {
        FileRef folder = ExistingFolder(path);
        if (folder.IsValid() && !folders.contains(folder))
            folders << folder;
    }
    return folders;
}

FileRef UserFolderForCommand(CommandT command)
{
    switch (command) {
    case cmd_NewPicturesIndex:
        return StandardFolder(QStandardPaths::PicturesLocation);
    case cmd_NewMusicIndex:
        return StandardFolder(QStandardPaths::MusicLocation);
    case cmd_NewMoviesIndex:
        return StandardFolder(QStandardPaths::MoviesLocation);
    case cmd_NewDesktopPicturesIndex: {
        QList<FileRef> folders = DesktopPictureFolders();
        return folders.isEmpty() ? FileRef() : folders.first();
    }
    case cmd_NewDesktopIndex:
        return StandardFolder(QStandardPaths::DesktopLocation);
    default:
        return FileRef();
    }
}

FileRef SampleIndexPackage()
{
    const QString program = QCoreApplication::applicationDirPath();
    for (const QString& path : { program + QStringLiteral("/../share/orvex/Sample.idxp"),
             program + QStringLiteral("/sample/Sample.idxp") }) {
        FileRef package = ExistingFolder(QDir::cleanPath(path));
        if (package.IsValid())
            return package;
    }
    return FileRef();
}
