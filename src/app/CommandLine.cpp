#include "CommandLine.h"

#include "FileRef.h"
#include "NativePaths.h"

#include <QGuiApplication>
#include <QFileInfo>
#include <QRegularExpression>

#include <utility>

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
QString UnknownOption(const QByteArray& option)
{
    return QStringLiteral("unknown option “%1”").arg(QString::fromLocal8Bit(option));
}

// The options that Qt's application object takes out of the arguments (with one or
// two dashes, the value after "=" or as the next argument), and whether each takes a value.
constexpr std::pair<const char*, bool> kQtOptions[] = { { "platform", true }, { "platformpluginpath", true },
    { "platformtheme", true }, { "plugin", true }, { "qwindowgeometry", true }, { "qwindowtitle", true },
    { "qwindowicon", true }, { "geometry", true }, { "title", true }, { "name", true }, { "display", true },
    { "session", true }, { "style", true }, { "stylesheet", true }, { "qmljsdebugger", true }, { "reverse", false },
    { "testability", false }, { "widgetcount", false }, { "nograb", false }, { "dograb", false }, { "sync", false },
    { "visual", true }, { "ncols", true }, { "cmap", false } };

const std::pair<const char*, bool>* QtOption(const QByteArray& argument)
{
    QByteArray name = argument.mid(argument.startsWith("--") ? 2 : 1);
    name.truncate(name.indexOf('=') < 0 ? name.size() : name.indexOf('='));
    for (const auto& option : kQtOptions)
        if (name == option.first)
            return &option;
    return nullptr;
}

bool IsQtOption(const QByteArray& argument)
{
    return QtOption(argument) != nullptr;
}

bool TakesValue(const QByteArray& argument)
{
    const auto* option = QtOption(argument);
    return option && option->second;
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
        "http, https or ftp address is taken as a dropped one: a folder's is\n"
        "downloaded, a file's joins the index in front, downloaded at once only when\n"
        "the preference \"Ask before connecting\" is off. A program already running\n"
        "takes them over.\n"
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

CommandLine InformationAsked(int argc, char** argv)
{
    CommandLine line;
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "--")
            break;
        if (!IsOption(argument))
            continue;
        if (IsQtOption(argument)) {
            // Its value is Qt's too, not a file of ours.
            if (!argument.contains('=') && TakesValue(argument))
                ++i;
            continue;
        }
        line.action = OptionAction(argument);
        if (line.action == CommandLine::Action::Error)
            line.error = UnknownOption(argument);
        return line;
    }
    return line;
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
                line.error = UnknownOption(argument);
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
