#include "FileRoutines.h"

#include "AliasRecord.h"
#include "CatalogueRoutines.h"
#include "DesktopServices.h"
#include "ErrorCodes.h"
#include "ExtendedAttributes.h"
#include "FileErrors.h"
#include "FileSystemRoutines.h"
#include "FileTypes.h"
#include "MacDates.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

// A name holds at most 255 UTF-16 units here and 255 bytes on disk (as UTF-8 or
// whatever the locale makes of it): an accented name reaches the bytes first.
constexpr int kMaxNameUnits = 255;
constexpr int kMaxNameBytes = 255;

bool NameFitsFileSystem(const QString& name)
{
    return name.size() <= kMaxNameUnits && QFile::encodeName(name).size() <= kMaxNameBytes;
}

} // namespace

QUrl CopyURLFromFSSpec(const FileRef& file)
{
    return file.ToUrl();
}

QUrl CopyURLFromAlias(const QByteArray& alias)
{
    QByteArray bytes = alias;
    FileRef target;
    bool changed = false;
    if (ResolveAliasBytes(nullptr, bytes, target, changed) != noErr)
        return {};
    const FileRef resolved = target.Canonical();
    return resolved.IsValid() ? resolved.ToUrl() : QUrl();
}

OSStatus GetFSSpecFromURL(const QUrl& url, FileRef& out)
{
    if (url.isEmpty())
        return paramErr;
    FileRef ref = FileRef::FromUrl(url);
    if (!ref.IsValid() || !ref.Exists())
        return kMsgNoFileReference;
    out = ref;
    return noErr;
}

QUrl CopyURLInFolder(const QUrl& folder, const QUrl& item, bool* outExists)
{
    QString name = item.adjusted(QUrl::StripTrailingSlash).fileName();
    if (folder.isEmpty() || name.isEmpty())
        return {};
    QUrl result = folder.adjusted(QUrl::StripTrailingSlash);
    result.setPath(result.path() + QLatin1Char('/') + name);
    if (outExists)
        *outExists = URLExists(result);
    return result;
}

bool IsFileURL(const QUrl& url)
{
    if (url.isEmpty())
        return true;
    return url.scheme() == QLatin1String("file");
}

bool HasURLScheme(const QUrl& url)
{
    return !url.isEmpty() && !url.scheme().isEmpty();
}

bool IsIndexPackageURL(const QUrl& url)
{
    QString name = url.adjusted(QUrl::StripTrailingSlash).fileName();
    qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot >= 0 && name.mid(dot + 1).compare(QLatin1String("idxp"), Qt::CaseInsensitive) == 0;
}

bool ResolvesToFolder(const QUrl& url)
{
    FileRef ref;
    if (GetFSSpecFromURL(url, ref) != noErr)
        return false;
    return QFileInfo(ref.Path()).isDir();
}

bool URLExists(const QUrl& url)
{
    if (url.isEmpty())
        return false;
    if (!IsFileURL(url))
        return true;
    FileRef ref;
    return GetFSSpecFromURL(url, ref) == noErr;
}

bool IsCommandKeyDown()
{
    return QGuiApplication::queryKeyboardModifiers() & Qt::ControlModifier;
}

bool IsOptionKeyDown()
{
    return QGuiApplication::queryKeyboardModifiers() & Qt::AltModifier;
}

bool IsShiftKeyDown()
{
    return QGuiApplication::queryKeyboardModifiers() & Qt::ShiftModifier;
}

OSStatus SetFileModificationDate(const QUrl& url, UInt32 seconds)
{
    FileRef ref;
    OSStatus err = GetFSSpecFromURL(url, ref);
    if (err != noErr)
        return err;
    return SetModificationTime(ref, MacSecondsToDateTime(seconds).toSecsSinceEpoch());
}

OSStatus SetFileCreationDate(const QUrl& url, UInt32 seconds)
{
    FileRef ref;
    OSStatus err = GetFSSpecFromURL(url, ref);
    if (err != noErr)
        return err;
    return WriteCreationDate(ref, DateTimeToMacSecondsUTC(MacSecondsToDateTime(seconds)));
}

OSStatus SetBundleBit(const QUrl& folder)
{
    FileRef ref;
    OSStatus err = GetFSSpecFromURL(folder, ref);
    if (err != noErr)
        return err;
    return ChangeFinderFlagsOfFSRef(ref, true, kFinderFlagHasBundle);
}

OSStatus CreateIndexDbAliasFile(const QUrl& indexDb)
{
    FileRef db;
    OSStatus err = GetFSSpecFromURL(indexDb, db);
    if (err != noErr)
        return err;
    FileRef aliasFile = db.Parent().Child(QString::fromLatin1(kIndexDbAliasName));
    FileStat info;
    err = aliasFile.Stat(info);
    if (err != fnfErr)
        return err;
    return CreateFinderAliasFile(db, aliasFile);
}

QString SanitizeFileName(const QString& name)
{
    QString result = name;
    result.replace(QLatin1Char(':'), QLatin1Char('.'));
    result.replace(QLatin1Char('/'), QLatin1Char('_'));
    result.replace(QLatin1Char('\\'), QLatin1Char('_'));
    if (result.startsWith(QLatin1Char('.')))
        result[0] = QLatin1Char('_');
    result.remove(QChar(0));
    return result;
}

OSStatus CreateFreeFile(const FileRef& folder, const QString& name, FileRef& outFile, int& outFd)
{
    QString clean = SanitizeFileName(name);
    if (clean.isEmpty())
        clean = QStringLiteral("untitled");
    // The extension is what follows the last dot, never a leading one.
    const qsizetype dot = clean.lastIndexOf(QLatin1Char('.'));
    const QString base = dot > 0 ? clean.left(dot) : clean;
    const QString extension = dot > 0 ? clean.mid(dot) : QString();
    constexpr int kMaxTries = 10000;
    for (int counter = 0; counter < kMaxTries; ++counter) {
        QString candidate = counter == 0 ? clean : base + QLatin1Char(' ') + QString::number(counter) + extension;
        if (!NameFitsFileSystem(candidate))
            return bdNamErr;
        const FileRef file = folder.Child(candidate);
        const int fd = ::open(file.NativePath().constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            outFile = file;
            outFd = fd;
            return noErr;
        }
        if (errno != EEXIST)
            return LastOSError();
    }
    return dupFNErr;
}

OSStatus RenameURL(const QUrl& url, const QString& newName, QUrl* outURL)
{
    QString name = SanitizeFileName(newName);
    FileRef item;
    OSStatus err = GetFSSpecFromURL(url, item);
    if (err != noErr)
        return err;
    if (name.isEmpty())
        return err_AssertFailed;
    if (!NameFitsFileSystem(name))
        return bdNamErr;
    FileRef renamed = item.Parent().Child(name);
    if (renamed != item) {
        if (::renameat2(AT_FDCWD, item.NativePath().constData(), AT_FDCWD, renamed.NativePath().constData(),
                RENAME_NOREPLACE) != 0)
            return LastOSError();
    }
    if (outURL)
        *outURL = renamed.ToUrl();
    return noErr;
}

OSStatus GetFileTypeAndCreator(const QUrl& url, OSType* type, OSType* creator)
{
    FileRef ref;
    OSStatus err = GetFSSpecFromURL(url, ref);
    if (err != noErr)
        return err;
    OSType t = 0, c = 0;
    err = GetFileTypeAndCreatorOf(ref, t, c);
    if (err == noErr) {
        if (type)
            *type = t;
        if (creator)
            *creator = c;
    }
    return err;
}

OSStatus CopyURLToFolder(const QUrl& source, const QUrl& destFolder, SInt16 mode, QUrl* outURL)
{
    // A remote source cannot be copied here; saying so lets the caller report it.
    if (!IsFileURL(source) || !IsFileURL(destFolder) || source.isEmpty() || destFolder.isEmpty())
        return kMsgNoFileReference;
    FileRef from, folder;
    OSStatus err = GetFSSpecFromURL(source, from);
    if (err == noErr)
        err = GetFSSpecFromURL(destFolder, folder);
    if (err != noErr)
        return err;
    SInt16 conflict = mode == 1 ? kConflictReplace : (mode == 2 ? kConflictNone : kConflictKeepBoth);
    FileRef copy;
    err = CopyFileSystemObject(from, folder, 0, conflict, {}, &copy);
    if (err == noErr && outURL) {
        *outURL = copy.ToUrl();
        if (outURL->isEmpty())
            return err_NilPointer;
    }
    return err;
}

OSStatus MoveURLToTrash(const QUrl& url)
{
    if (url.isEmpty())
        return paramErr;
    FileRef ref;
    OSStatus err = GetFSSpecFromURL(url, ref);
    if (err != noErr)
        return err;
    QFile file(ref.Path());
    if (!file.moveToTrash())
        return ref.Exists() ? OSStatus(permErr) : OSStatus(fnfErr);
    return noErr;
}

OSStatus SetDesktopPictureURL(const QUrl& url)
{
    FileRef ref;
    OSStatus err = GetFSSpecFromURL(url, ref);
    if (err != noErr)
        return err;
    return SetDesktopPicture(ref);
}
