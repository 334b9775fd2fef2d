#pragma once

#include "DesktopServices.h"
#include "MacTypes.h"

#include <QIcon>
#include <QList>
#include <QString>
#include <QUrl>

#include <vector>

class QMenu;

// One item of the Open With menu (menu 303). A separator has no desktop id.
struct OpenWithEntry {
    QString desktopId;
    QString title;
    QString iconName;
    bool IsSeparator() const { return desktopId.isEmpty(); }
};

// The items of the Open With menu for a file whose default application and other
// applications the desktop gave: the default first, titled "%@ (%@)" with 600:113,
// and a separator; then the others by name (case-insensitive), leaving out the
// default, names ending in ".exe", Orvex itself and names already listed.
std::vector<OpenWithEntry> MakeOpenWithEntries(const ApplicationEntry& defaultApp, const QList<ApplicationEntry>& others);

// The class-wide Open With menu, filled anew for a file (the first selected item's).
void RebuildOpenWithMenu(const QUrl& file);
// The entry of a 1-based item of that menu; null for a separator or no such item.
const OpenWithEntry* OpenWithMenuEntry(SInt16 item);
SInt16 CountOpenWithMenuItems();
// The menu as a QMenu whose items carry the synthetic commands of menu 303.
QMenu* MakeOpenWithQMenu(const QString& title, QWidget* parent);
