#include "DesktopServices.h"

#include "FileErrors.h"
#include "GioLibrary.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QDir>
#include <QProcess>

namespace {

QString DesktopOf(const QString& xdgCurrentDesktop)
{
    // XDG_CURRENT_DESKTOP is a colon-separated list, most specific first.
    for (const QString& name : xdgCurrentDesktop.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        QString n = name.trimmed().toUpper();
        if (n == QLatin1String("X-CINNAMON") || n == QLatin1String("CINNAMON"))
            return QStringLiteral("cinnamon");
        if (n == QLatin1String("KDE"))
            return QStringLiteral("kde");
        if (n == QLatin1String("XFCE"))
            return QStringLiteral("xfce");
        if (n == QLatin1String("GNOME") || n == QLatin1String("UNITY") || n == QLatin1String("BUDGIE")
            || n == QLatin1String("POP"))
            return QStringLiteral("gnome");
        if (n == QLatin1String("MATE"))
            return QStringLiteral("mate");
    }
    return {};
}

QString QuoteForScript(const QString& text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    quoted.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

QString DefaultApplicationForMimeType(const QString& mimeType)
{
    return DefaultApplicationEntryForMimeType(mimeType).desktopId;
}

namespace {

ApplicationEntry EntryOf(const GioFunctions& gio, GAppInfo* info)
{
    ApplicationEntry entry;
    if (const char* id = gio.app_info_get_id(info))
        entry.desktopId = QString::fromUtf8(id);
    if (const char* name = gio.app_info_get_display_name(info))
        entry.name = QString::fromUtf8(name);
    if (GIcon* icon = gio.app_info_get_icon(info)) { // owned by the info
        gchar* text = gio.icon_to_string(icon);
        entry.iconName = QString::fromUtf8(text);
        gio.free(text);
    }
    return entry;
}

} // namespace

ApplicationEntry DefaultApplicationEntryForMimeType(const QString& mimeType)
{
    const GioFunctions& gio = Gio();
    if (!gio.loaded)
        return {};
    const QByteArray type = mimeType.toUtf8();
    GAppInfo* info = gio.app_info_get_default_for_type(type.constData(), FALSE);
    if (!info)
        return {};
    ApplicationEntry entry = EntryOf(gio, info);
    gio.object_unref(info);
    return entry;
}

QList<ApplicationEntry> ApplicationsForMimeType(const QString& mimeType)
{
    const GioFunctions& gio = Gio();
    if (!gio.loaded)
        return {};
    const QByteArray type = mimeType.toUtf8();
    QList<ApplicationEntry> entries;
    GList* all = gio.app_info_get_all_for_type(type.constData());
    for (GList* node = all; node; node = node->next) {
        auto* info = static_cast<GAppInfo*>(node->data);
        if (gio.app_info_should_show(info))
            entries.append(EntryOf(gio, info));
    }
    gio.list_free_full(all, gio.object_unref);
    return entries;
}

OSStatus OpenFilesWithApplication(const QString& desktopId, const QList<FileRef>& files)
{
    if (files.isEmpty())
        return paramErr;
    if (desktopId.isEmpty()) {
        for (const FileRef& file : files)
            if (!QDesktopServices::openUrl(file.ToUrl()))
                return procNotFound;
        return noErr;
    }
    // Without GIO no named application can be started (Gio() has logged why).
    const GioFunctions& gio = Gio();
    if (!gio.loaded)
        return procNotFound;
    GDesktopAppInfo* app = gio.desktop_app_info_new(desktopId.toUtf8().constData());
    if (!app)
        return fnfErr;
    GList* uris = nullptr;
    QList<QByteArray> keep;
    for (const FileRef& file : files) {
        keep.append(file.ToUrl().toEncoded());
        uris = gio.list_append(uris, keep.last().data());
    }
    GError* error = nullptr;
    gboolean launched = gio.app_info_launch_uris(reinterpret_cast<GAppInfo*>(app), uris, nullptr, &error);
    gio.list_free(uris);
    gio.object_unref(app);
    if (error)
        gio.error_free(error);
    return launched ? OSStatus(noErr) : OSStatus(procNotFound);
}

OSStatus RevealOrOpenInFileManager(const FileRef& item, bool reveal)
{
    if (!item.Exists())
        return fnfErr;
    if (reveal) {
        QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.FileManager1"),
            QStringLiteral("/org/freedesktop/FileManager1"), QStringLiteral("org.freedesktop.FileManager1"),
            QStringLiteral("ShowItems"));
        call << QStringList {item.ToUrl().toString()} << QString();
        QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
        if (reply.type() == QDBusMessage::ReplyMessage)
            return noErr;
        // No file manager answers the call: opening the folder is the next best thing.
        return OpenURLWithDesktop(item.Parent().ToUrl()) ? OSStatus(noErr) : OSStatus(procNotFound);
    }
    return OpenURLWithDesktop(item.ToUrl()) ? OSStatus(noErr) : OSStatus(procNotFound);
}

QList<DesktopCommand> DesktopPictureCommands(const QString& currentDesktop, const FileRef& picture)
{
    const QString uri = picture.ToUrl().toString(QUrl::FullyEncoded);
    const QString desktop = DesktopOf(currentDesktop);
    const QString gsettings = QStringLiteral("gsettings");
    if (desktop == QLatin1String("gnome"))
        return {{gsettings, {"set", "org.gnome.desktop.background", "picture-uri", uri}},
            {gsettings, {"set", "org.gnome.desktop.background", "picture-uri-dark", uri}}};
    if (desktop == QLatin1String("cinnamon"))
        return {{gsettings, {"set", "org.cinnamon.desktop.background", "picture-uri", uri}}};
    if (desktop == QLatin1String("mate"))
        return {{gsettings, {"set", "org.mate.background", "picture-filename", picture.Path()}}};
    if (desktop == QLatin1String("kde")) {
        QString script = QStringLiteral(
            "for (const d of desktops()) { d.wallpaperPlugin = \"org.kde.image\";"
            " d.currentConfigGroup = [\"Wallpaper\", \"org.kde.image\", \"General\"];"
            " d.writeConfig(\"Image\", %1); }")
                             .arg(QuoteForScript(uri));
        return {{QStringLiteral("qdbus"),
            {"org.kde.plasmashell", "/PlasmaShell", "org.kde.PlasmaShell.evaluateScript", script}}};
    }
    if (desktop == QLatin1String("xfce")) {
        // Every monitor and workspace has its own "last-image" property; the shell sets each listed one.
        QString script = QStringLiteral(
            "xfconf-query -c xfce4-desktop -l | grep '/last-image$' | while read -r p; do "
            "xfconf-query -c xfce4-desktop -p \"$p\" -s \"$1\" || exit 1; done");
        return {{QStringLiteral("sh"), {"-c", script, "sh", picture.Path()}}};
    }
    return {};
}

OSStatus SetDesktopPicture(const FileRef& picture)
{
    if (!picture.Exists())
        return fnfErr;
    const QList<DesktopCommand> commands
        = DesktopPictureCommands(qEnvironmentVariable("XDG_CURRENT_DESKTOP"), picture);
    if (commands.isEmpty())
        return unimpErr;
    for (const DesktopCommand& command : commands) {
        QProcess process;
        process.start(command.program, command.arguments);
        if (!process.waitForStarted(5000))
            return procNotFound;
        if (!process.waitForFinished(15000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
            return ioErr;
    }
    return noErr;
}

bool CanSetDesktopPicture()
{
    return !DesktopPictureCommands(qEnvironmentVariable("XDG_CURRENT_DESKTOP"), FileRef(QDir::rootPath())).isEmpty();
}

bool OpenURLWithDesktop(const QUrl& url)
{
    if (!url.isValid())
        return false;
    // GIO finds the desktop's handler and starts it, or says there is none; the
    // generic opener would start a helper that fails later where nobody sees it.
    const GioFunctions& gio = Gio();
    if (!gio.loaded)
        return QDesktopServices::openUrl(url);
    GError* error = nullptr;
    const gboolean launched = gio.app_info_launch_default_for_uri(url.toEncoded().constData(), nullptr, &error);
    if (error) {
        qCInfo(lcGio) << "no handler opened" << url << "-" << error->message;
        gio.error_free(error);
    }
    return launched;
}

bool UpdateSystemActivity()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.ScreenSaver"),
        QStringLiteral("/org/freedesktop/ScreenSaver"), QStringLiteral("org.freedesktop.ScreenSaver"),
        QStringLiteral("SimulateUserActivity"));
    // No reply is awaited: the step of a slide show never waits for the desktop.
    return bus.send(call);
}
