#pragma once

#include "MacTypes.h"

#include <QHash>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

#include <functional>

class CIndexItem;
class LWindow;
class CIndexModel;

// Preference keys of the search window's settings.
inline const QString kSearchSettingsKey = QStringLiteral("SearchSettings_6");
inline const QString kBatchSettingsKey = QStringLiteral("BatchSettings_6");
inline const QString kLastSearchSettingsKey = QStringLiteral("LastSearchSettings");
inline const QString kLastBatchSettingsKey = QStringLiteral("LastBatchSettings");
inline const QString kSearchWindowPositionKey = QStringLiteral("SearchWindowPosition");

// The keys of one panel's settings.
inline const QString kSourceKindKey = QStringLiteral("SourceKind");     // command of the source popup
inline const QString kResultKindKey = QStringLiteral("ResultKind");     // command of the result popup
inline const QString kCriteriaListKey = QStringLiteral("CriteriaList"); // criterion dictionaries, top row first
inline const QString kSettingNameKey = QStringLiteral("SettingName");
inline const QString kSettingShortcutKey = QStringLiteral("SettingShortcut");

// Entry i of "SearchSettings_6" is command 9000 + i, of "BatchSettings_6" 9500 + i.
enum : CommandT {
    kFirstStoredSearchCommand = 9000,
    kLastStoredSearchCommand = 9499,
    kFirstStoredBatchCommand = 9500,
    kLastStoredBatchCommand = 9999,
};

// One of the two arrays; 'nilP' when the preference holds none (and has no default).
QVariantList CopyStoredSettings(bool batches);
void StoreStoredSettings(bool batches, const QVariantList& settings);
// The entry of a stored-setting command; 'nilP' when there is none.
QVariantMap CopyStoredSetting(CommandT command);
CommandT StoredSettingCommand(bool batch, qsizetype index);

// Only the exact name "-" stands for a separator.
inline bool IsSettingSeparatorName(const QString& name)
{
    return name == QLatin1String("-");
}
// The text a setting shows: the shipped defaults in the user's language, the
// user's own names as typed (they are never looked up as text keys).
QString StoredSettingDisplayName(const QString& name);

// Shortcuts are one letter or digit taken with Ctrl+Alt. The desktop keeps some
// of those for itself (a terminal, the screen lock, the desktop), and one key
// cannot start two settings.
enum class EShortcutCheck { Ok, Invalid, Reserved, Taken };
// `shortcut` as the user typed it (empty: none); `except` is the command of the
// setting being edited (its own shortcut is no conflict), 0 for a new one.
// `outOwner` gets the name of the setting that has the key already.
EShortcutCheck CheckSettingShortcut(const QString& shortcut, const QVariantList& searches,
    const QVariantList& batches, CommandT except, QString* outOwner = nullptr);
// The alert text for a refused shortcut (empty for Ok).
QString ShortcutRefusalText(EShortcutCheck check, const QString& shortcut, const QString& owner);

// Appends a named setting to its array, stores it and tells the application to
// rebuild its menu; answers the setting's command.
CommandT AppendStoredSetting(bool batch, QVariantMap setting);

// The organizer's outcome: the arrays as edited, and the old command of every
// entry that is left (in the new order), so that toolbar items follow their
// setting. Deleted entries' toolbar items go.
void ApplyOrganizedSettings(const QVariantList& searches, const QVariantList& batches,
    const std::vector<CommandT>& searchOrigins, const std::vector<CommandT>& batchOrigins);

// What the application does when stored settings change (rebuilds its menu).
void SetStoredSettingsChangedHook(std::function<void()> hook);
// Writes the preferences to disk, then runs the hook.
void StoredSettingsChanged();

// Runs a stored search (9000-9499) or batch (9500-9999) on the index: on the given
// item alone, else on the setting's source (all items, the selection, or for a
// search every open index). A stored search shows all items first. 'nilP' for a
// missing entry or key.
void RunStoredSetting(CIndexModel& model, CommandT command, CIndexItem* item, LWindow* window);
// Whether the command can run on the index: its setting's source has items (for a
// search of every open index, any open index has some).
bool CanRunStoredSetting(const CIndexModel& model, CommandT command);
