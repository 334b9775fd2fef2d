#pragma once

#include "FileRef.h"

#include <QByteArray>
#include <QString>

// Scripts of the Scripts menu are executable files run as their own process.
class GOSAScript {
public:
    GOSAScript() = default;
    virtual ~GOSAScript() = default;

    // Takes the script file; fnfErr when missing, permErr when it cannot be run.
    OSStatus LoadFromFile(const FileRef& script);
    bool IsLoaded() const { return mLoaded; }
    const FileRef& Script() const { return mScript; }

    // Runs the script to its end and returns what it wrote to standard output. A script
    // that cannot start, crashes or exits with a non-zero status throws
    // kErrScriptFailed; its output (both streams) is then in LastOutput().
    virtual QString Execute();
    virtual void Run() { Execute(); }
    const QString& LastOutput() const { return mLastOutput; }

private:
    FileRef mScript;
    bool mLoaded = false;
    QString mLastOutput;
};

inline constexpr OSStatus kErrScriptFailed = -1753; // the script reported an error
inline constexpr OSStatus kErrScriptNotLoaded = -1751;

// Completes a typed address: a single word becomes "http://www.WORD.com", "www." and
// dotted host names become http, "ftp." ftp, "news."/"nntp." news, a text with one "@"
// and no scheme a mail link; a text with a scheme stays as it is.
QString CompleteURLText(const QString& text);

// Opens the completed address with the desktop's handler; kErrInternetConfigUnavailable
// when it cannot be completed or no handler takes it.
OSStatus LaunchURL(const QString& text);

// The folder of that name in the program's data folder (~/.local/share/orvex), made
// when missing; the program keeps "Scripts" and "Documents" there.
OSStatus FindOrCreateFolderBesideApp(const QString& name, FileRef& folder);
