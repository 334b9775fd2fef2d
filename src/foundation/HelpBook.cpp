#include "HelpBook.h"

#include "DesktopServices.h"
#include "ErrorCodes.h"
#include "SafeSave.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QStandardPaths>

namespace {
const QString kHelpResources = QStringLiteral(":/help");

bool CopyPage(const QString& from, const QString& to)
{
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly))
        return false;
    QDir().mkpath(QFileInfo(to).absolutePath());
    return ReplaceFileSafely(to, source.readAll()) == noErr;
}
} // namespace

OSStatus RegisterHelpBook(FileRef* outFolder)
{
    static QString copiedTo;
    if (!QDir(kHelpResources).exists())
        return fnfErr;
    QString folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/help");
    if (copiedTo != folder) {
        // Written afresh each run, so the pages always match the program.
        QDirIterator it(kHelpResources, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QString page = it.next();
            if (!CopyPage(page, folder + page.mid(kHelpResources.size())))
                return ioErr;
        }
        copiedTo = folder;
    }
    if (outFolder)
        *outFolder = FileRef(folder);
    return noErr;
}

QUrl HelpPageURL(const QString& page, const QString& anchor)
{
    FileRef folder;
    if (page.contains(QLatin1String("..")) || RegisterHelpBook(&folder) != noErr)
        return QUrl();
    QString path = folder.Path() + QLatin1Char('/') + page;
    if (!QFile::exists(path))
        return QUrl();
    QUrl url = QUrl::fromLocalFile(path);
    if (!anchor.isEmpty())
        url.setFragment(anchor);
    return url;
}

OSStatus GotoHelpPage(const QString& page, const QString& anchor)
{
    QUrl url = HelpPageURL(page, anchor);
    if (url.isEmpty())
        return fnfErr;
    return OpenURLWithDesktop(url) ? noErr : kMsgNoBrowser;
}
