#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

// What the command line asks of the program. The arguments are bytes, so that a
// file name that is not valid UTF-8 still leads to its file.
struct CommandLine {
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Run;
    // Absolute local paths, and the network addresses (http, https, ftp) as written.
    QStringList documents;
    // Local files named that do not exist: the launch ends with a failure status.
    QStringList missing;
    // What was wrong with the arguments (Action::Error).
    QString error;
};

// Reads the arguments after the program's name (Qt's own options taken out).
// "--" ends the options; a file:// address is its local file.
CommandLine ParseCommandLine(const QList<QByteArray>& arguments);

// What is answered before anything of the desktop is touched: --help, --version
// and an option that neither the program nor Qt knows (Action::Error). Qt's own
// options are left for Qt; Run when there is nothing to answer now.
CommandLine InformationAsked(int argc, char** argv);

QString CommandLineUsage();
QString CommandLineVersion();

// A document entry that is an address (scheme://...) rather than a local path.
bool IsAddressDocument(const QString& document);

// The desktop entry the program's windows belong to ("<id>.desktop").
inline constexpr const char* kDesktopEntryId = "org.orvex.Orvex";

// The program's names for Qt: organisation and application (which place its
// settings), its version, and the desktop entry its windows belong to.
void SetApplicationIdentity();
