// The Open With menu: the applications the desktop offers for an item's file.
#include "OpenWithMenu.h"

#include "CContextualMenu.h"
#include "CIndexView.h"
#include "LocalizedStrings.h"

#include <QFileInfo>
#include <QMenu>
#include <QMimeDatabase>

#include <algorithm>

namespace {

std::vector<OpenWithEntry>& MenuEntries()
{
    static std::vector<OpenWithEntry> entries;
    return entries;
}

QIcon IconFor(const QString& iconName)
{
    if (iconName.isEmpty())
        return {};
    if (QFileInfo(iconName).isAbsolute())
        return QIcon(iconName);
    return QIcon::fromTheme(iconName);
}

} // namespace

std::vector<OpenWithEntry> MakeOpenWithEntries(const ApplicationEntry& defaultApp, const QList<ApplicationEntry>& others)
{
    std::vector<OpenWithEntry> entries;
    QStringList namesListed;
    if (!defaultApp.desktopId.isEmpty()) {
        entries.push_back({ defaultApp.desktopId,
            QStringLiteral("%1 (%2)").arg(defaultApp.name, CopyLocalizedString(QStringLiteral("600:113"))),
            defaultApp.iconName });
        entries.push_back({});
        namesListed << defaultApp.name;
    }
    QList<ApplicationEntry> sorted = others;
    std::stable_sort(sorted.begin(), sorted.end(), [](const ApplicationEntry& a, const ApplicationEntry& b) {
        return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
    });
    for (const ApplicationEntry& app : sorted) {
        if (app.desktopId.isEmpty() || app.desktopId == defaultApp.desktopId || app.desktopId == kOwnDesktopId)
            continue;
        if (app.name.endsWith(QLatin1String(".exe"), Qt::CaseInsensitive) || app.name == QLatin1String("Orvex"))
            continue;
        if (namesListed.contains(app.name, Qt::CaseInsensitive))
            continue;
        namesListed << app.name;
        entries.push_back({ app.desktopId, app.name, app.iconName });
    }
    if (!entries.empty() && entries.back().IsSeparator())
        entries.pop_back();
    return entries;
}

void RebuildOpenWithMenu(const QUrl& file)
{
    MenuEntries().clear();
    if (file.isEmpty())
        return;
    const QMimeDatabase mimes;
    const QString type = file.isLocalFile() ? mimes.mimeTypeForFile(file.toLocalFile()).name()
                                            : mimes.mimeTypeForUrl(file).name();
    MenuEntries() = MakeOpenWithEntries(DefaultApplicationEntryForMimeType(type), ApplicationsForMimeType(type));
}

const OpenWithEntry* OpenWithMenuEntry(SInt16 item)
{
    const auto& entries = MenuEntries();
    if (item < 1 || size_t(item) > entries.size() || entries[size_t(item - 1)].IsSeparator())
        return nullptr;
    return &entries[size_t(item - 1)];
}

SInt16 CountOpenWithMenuItems()
{
    return SInt16(MenuEntries().size());
}

QMenu* MakeOpenWithQMenu(const QString& title, QWidget* parent)
{
    auto* menu = new QMenu(title, parent);
    const auto& entries = MenuEntries();
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].IsSeparator()) {
            AppendMenuSeparator(menu);
            continue;
        }
        QAction* action = AppendMenuItemWithCommand(menu, entries[i].title,
            SyntheticCommandForMenuItem(kOpenWithMenuID, SInt16(i + 1)));
        action->setIcon(IconFor(entries[i].iconName));
    }
    return menu;
}
