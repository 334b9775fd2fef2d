#include "CommandLine.h"

#include "FileRef.h"
#include "NativePaths.h"

#include <QGuiApplication>
#include <QFileInfo>
#include <QRegularExpression>

#ifndef ORVEX_VERSION
#define ORVEX_VERSION "0"
#endif

namespace {
// "scheme://...", the scheme as RFC 3986 spells it (two letters at least).
bool HasScheme(const QString& text)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+://"));
    return scheme.match(text).hasMatch();
}

bool IsOption(const QByteArray& argument)
{
    return argument.size() > 1 && argument.startsWith('-');
}

// What an option asks for; Error for one not known.
CommandLine::Action OptionAction(const QByteArray& option)
{
    if (option == "-h" || option == "--help")
        return CommandLine::Action::Help;
    if (option == "-v" || option == "--version")
        return CommandLine::Action::Version;
    return CommandLine::Action::Error;
}
} // namespace

QString CommandLineUsage()
{
    return QStringLiteral(
        "Usage: orvex [OPTION]... [FILE | FOLDER | INDEX.idxp | ADDRESS]...\n"
        "Catalogue photographs, camera raw files, documents, movies, sounds and fonts.\n"
        "\n"
        "Each file joins the index in front (a new index when none is open), a folder\n"
        "is imported, an index package (or the index.db inside one) opens, and an\n"
        "http, https or ftp address is downloaded into the index in front. A program\n"
        "already running takes them over.\n"
        "\n"
        "  -h, --help     show this help and end\n"
        "  -v, --version  show the version and end\n"
        "  --             take every later argument as a file name\n"
        "\n"
        "The exit status is 1 when a file named does not exist, 2 for a wrong option.\n");
}

QString CommandLineVersion()
{
    return QStringLiteral("orvex %1\n").arg(QLatin1String(ORVEX_VERSION));
}

bool IsAddressDocument(const QString& document)
{
    return HasScheme(document);
}

CommandLine::Action InformationAsked(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "--")
            break;
        // Qt's own options are for later: only these two are answered now.
        if (const CommandLine::Action action = OptionAction(argument); action != CommandLine::Action::Error)
            return action;
    }
    return CommandLine::Action::Run;
}

CommandLine ParseCommandLine(const QList<QByteArray>& arguments)
{
    CommandLine line;
    bool optionsEnded = false;
    for (const QByteArray& argument : arguments) {
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && IsOption(argument)) {
            line.action = OptionAction(argument);
            if (line.action == CommandLine::Action::Error)
                line.error = QStringLiteral("unknown option “%1”").arg(QString::fromLocal8Bit(argument));
            return line;
        }
        const QString text = QString::fromLocal8Bit(argument);
        QString path;
        if (HasScheme(text)) {
            const QUrl url = UrlFromNativeFileUrl(QUrl::fromEncoded(argument));
            if (!url.isLocalFile()) {
                // The program refuses the kinds of address it cannot download.
                line.documents << text;
                continue;
            }
            path = url.toLocalFile();
        } else {
            path = PathFromNativeBytes(argument);
        }
        path = FileRef(path).Path();
        if (!QFileInfo::exists(path))
            line.missing << path;
        line.documents << path;
    }
    return line;
}

void SetApplicationIdentity()
{
    QCoreApplication::setOrganizationName(QStringLiteral("orvex"));
    QCoreApplication::setApplicationName(QStringLiteral("Orvex"));
    QCoreApplication::setApplicationVersion(QLatin1String(ORVEX_VERSION));
    QGuiApplication::setDesktopFileName(QLatin1String(kDesktopEntryId));
}
