#include "ScriptRoutines.h"

#include "DesktopServices.h"
#include "ErrorCodes.h"
#include "ExceptionCode.h"
#include "FileErrors.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>

#include <unistd.h>

OSStatus GOSAScript::LoadFromFile(const FileRef& script)
{
    mLoaded = false;
    FileStat st;
    OSStatus err = script.Stat(st);
    if (err != noErr)
        return err;
    if (st.isFolder || ::access(script.NativePath().constData(), X_OK) != 0)
        return permErr;
    mScript = script;
    mLoaded = true;
    return noErr;
}

QString GOSAScript::Execute()
{
    if (!mLoaded)
        ThrowOSErr_(kErrScriptNotLoaded);
    QProcess process;
    process.setWorkingDirectory(mScript.Parent().Path());
    // The event loop keeps running while the script does, so windows stay drawn and
    // the tasks go on.
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, [&loop](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            loop.quit();
    });
    process.start(mScript.Path(), QStringList());
    if (process.state() != QProcess::NotRunning)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
    QString err = QString::fromLocal8Bit(process.readAllStandardError());
    mLastOutput = err.isEmpty() ? out : out + err;
    if (process.error() == QProcess::FailedToStart || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0)
        ThrowOSErr_(kErrScriptFailed, mScript.Path().toStdString());
    return out;
}

QString CompleteURLText(const QString& text)
{
    auto startsWith = [&](const char* lower) {
        return text.startsWith(QLatin1String(lower)) || text.startsWith(QString::fromLatin1(lower).toUpper());
    };
    const bool hasAt = text.contains(QLatin1Char('@'));
    const bool hasDot = text.contains(QLatin1Char('.'));
    const bool hasSlash = text.contains(QLatin1Char('/'));
    if (!hasAt && !hasDot && !hasSlash)
        return QStringLiteral("http://www.") + text + QStringLiteral(".com");
    if (startsWith("www."))
        return QStringLiteral("http://") + text;
    if (startsWith("ftp."))
        return QStringLiteral("ftp://") + text;
    if (startsWith("news.") || startsWith("nntp."))
        return QStringLiteral("news://") + text;
    if (startsWith("mailto:") || text.contains(QLatin1String("://")))
        return text;
    // Only an address is a mail link; a dotted host name is a web address.
    if (text.count(QLatin1Char('@')) == 1 && !hasSlash)
        return QStringLiteral("mailto:") + text;
    return QStringLiteral("http://") + text;
}

OSStatus LaunchURL(const QString& text)
{
    if (text.trimmed().isEmpty())
        return kErrInternetConfigUnavailable;
    QUrl url(CompleteURLText(text.trimmed()), QUrl::TolerantMode);
    if (!url.isValid())
        return kErrInternetConfigUnavailable;
    return OpenURLWithDesktop(url) ? OSStatus(noErr) : OSStatus(kErrInternetConfigUnavailable);
}

OSStatus FindOrCreateFolderBesideApp(const QString& name, FileRef& folder)
{
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name == QLatin1String(".."))
        return bdNamErr;
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        return fnfErr;
    FileRef ref(base + QStringLiteral("/orvex/") + name);
    if (!ref.IsFolder()) {
        if (ref.Exists())
            return errFSNotAFolder;
        if (!QDir().mkpath(ref.Path()))
            return permErr;
    }
    folder = ref;
    return noErr;
}
