#include "StoredSettings.h"

#include "BundleStrings.h"
#include "CIndexDoc.h"
#include "CSearchTask.h"
#include "CToolbar.h"
#include "ExceptionCode.h"
#include "LMenuBar.h"
#include "LocalizedStrings.h"
#include "Preferences.h"
#include "PropertyList.h"
#include "TaskOwnerView.h"
#include "TaskServices.h"
#include "UEvents.h"

#include <QSet>

namespace {

// The lists the two arrays' defaults come from.
constexpr SInt32 kDefaultSearchesList = 128;
constexpr SInt32 kDefaultBatchesList = 129;

// Ctrl+Alt with these belongs to the desktop: a terminal, the screen lock, the
// desktop shown, the session's log-out on some desktops.
const QString kReservedShortcutKeys = QStringLiteral("TLDK");

std::function<void()>& ChangedHook()
{
    static std::function<void()> hook;
    return hook;
}

const QSet<QString>& ShippedNames()
{
    static const QSet<QString> names = [] {
        QSet<QString> found;
        for (SInt32 list : { kDefaultSearchesList, kDefaultBatchesList }) {
            QByteArray bytes;
            QVariant value;
            if (LoadBundleResource(QStringLiteral("lists/plsT-%1.plist").arg(list), bytes) != noErr
                || PropertyList::Read(bytes, value) != noErr)
                continue;
            for (const QVariant& entry : value.toList())
                found.insert(entry.toMap().value(kSettingNameKey).toString());
        }
        return found;
    }();
    return names;
}

QString ShortcutKey(const QVariant& setting)
{
    return setting.toMap().value(kSettingShortcutKey).toString().left(1).toUpper();
}

bool IsStoredSettingCommand(CommandT command)
{
    return command >= kFirstStoredSearchCommand && command <= kLastStoredBatchCommand;
}

// The text of the menu item (other than a stored setting's) that Ctrl+Alt with the
// key runs already; empty when none does.
QString MenuItemOfKey(QChar key)
{
    const LMenuBar* bar = LMenuBar::GetCurrentMenuBar();
    const CommandT command = bar ? bar->FindKeyCommand(UInt8(key.toLatin1()), cmdKey | optionKey) : cmd_Nothing;
    LMenu* menu = nullptr;
    SInt16 item = 0;
    if (command == cmd_Nothing || IsStoredSettingCommand(command) || !bar->FindMenuItem(command, menu, item))
        return QString();
    return menu->Item(item)->text;
}

} // namespace

QVariantList CopyStoredSettings(bool batches)
{
    const QVariant value = CopyPrefValue(batches ? kBatchSettingsKey : kSearchSettingsKey);
    if (value.typeId() != QMetaType::QVariantList)
        ThrowOSErr_(err_NilPointer, "no stored settings array");
    return value.toList();
}

void StoreStoredSettings(bool batches, const QVariantList& settings)
{
    SetPrefValue(batches ? kBatchSettingsKey : kSearchSettingsKey, settings);
}

CommandT StoredSettingCommand(bool batch, qsizetype index)
{
    return CommandT((batch ? kFirstStoredBatchCommand : kFirstStoredSearchCommand) + index);
}

QVariantMap CopyStoredSetting(CommandT command)
{
    const bool batch = command >= kFirstStoredBatchCommand && command <= kLastStoredBatchCommand;
    if (!batch && (command < kFirstStoredSearchCommand || command > kLastStoredSearchCommand))
        ThrowOSErr_(err_NilPointer, "no stored setting has command " + std::to_string(command));
    const QVariantList settings = CopyStoredSettings(batch);
    const qsizetype index = command - (batch ? kFirstStoredBatchCommand : kFirstStoredSearchCommand);
    if (index >= settings.size() || settings.at(index).typeId() != QMetaType::QVariantMap)
        ThrowOSErr_(err_NilPointer, "no stored setting has command " + std::to_string(command));
    return settings.at(index).toMap();
}

QString StoredSettingDisplayName(const QString& name)
{
    return ShippedNames().contains(name) ? BundleLocalizedString(name) : name;
}

EShortcutCheck CheckSettingShortcut(const QString& shortcut, const QVariantList& searches, const QVariantList& batches,
    CommandT except, QString* outOwner)
{
    if (shortcut.isEmpty())
        return EShortcutCheck::Ok;
    const QString key = shortcut.toUpper();
    if (key.size() != 1 || !key.at(0).isLetterOrNumber() || key.at(0).unicode() > 0x7F)
        return EShortcutCheck::Invalid;
    if (kReservedShortcutKeys.contains(key))
        return EShortcutCheck::Reserved;
    if (const QString owner = MenuItemOfKey(key.at(0)); !owner.isEmpty()) {
        if (outOwner)
            *outOwner = owner;
        return EShortcutCheck::Taken;
    }
    for (bool batch : { false, true }) {
        const QVariantList& settings = batch ? batches : searches;
        for (qsizetype i = 0; i < settings.size(); ++i) {
            if (StoredSettingCommand(batch, i) == except || ShortcutKey(settings.at(i)) != key)
                continue;
            if (outOwner)
                *outOwner = StoredSettingDisplayName(settings.at(i).toMap().value(kSettingNameKey).toString());
            return EShortcutCheck::Taken;
        }
    }
    return EShortcutCheck::Ok;
}

QString ShortcutRefusalText(EShortcutCheck check, const QString& shortcut, const QString& owner)
{
    QString text;
    switch (check) {
    case EShortcutCheck::Ok: return text;
    case EShortcutCheck::Invalid: return CopyLocalizedString(QStringLiteral("SETTING_SHORTCUT_INVALID"));
    case EShortcutCheck::Reserved: text = CopyLocalizedString(QStringLiteral("SETTING_SHORTCUT_RESERVED")); break;
    case EShortcutCheck::Taken: text = CopyLocalizedString(QStringLiteral("SETTING_SHORTCUT_TAKEN")); break;
    }
    return text.replace(QLatin1String("^0"), shortcut.toUpper()).replace(QLatin1String("^1"), owner);
}

CommandT AppendStoredSetting(bool batch, QVariantMap setting)
{
    QVariantList settings = CopyStoredSettings(batch);
    const qsizetype last = batch ? kLastStoredBatchCommand - kFirstStoredBatchCommand
                                 : kLastStoredSearchCommand - kFirstStoredSearchCommand;
    // The commands of one kind end at the next range.
    if (settings.size() > last)
        ThrowOSErr_(err_AssertFailed, "no command is left for another stored setting");
    settings.append(setting);
    StoreStoredSettings(batch, settings);
    StoredSettingsChanged();
    return StoredSettingCommand(batch, settings.size() - 1);
}

void ApplyOrganizedSettings(const QVariantList& searches, const QVariantList& batches,
    const std::vector<CommandT>& searchOrigins, const std::vector<CommandT>& batchOrigins)
{
    // Every command that existed maps to the command its setting has now, or none.
    QHash<CommandT, CommandT> renumbered;
    for (bool batch : { false, true }) {
        const qsizetype before = CopyStoredSettings(batch).size();
        for (qsizetype i = 0; i < before; ++i)
            renumbered.insert(StoredSettingCommand(batch, i), cmd_Nothing);
        const std::vector<CommandT>& origins = batch ? batchOrigins : searchOrigins;
        for (size_t i = 0; i < origins.size(); ++i)
            renumbered.insert(origins[i], StoredSettingCommand(batch, qsizetype(i)));
    }
    for (auto it = renumbered.begin(); it != renumbered.end();) {
        if (it.key() == it.value())
            it = renumbered.erase(it);
        else
            ++it;
    }
    StoreStoredSettings(false, searches);
    StoreStoredSettings(true, batches);
    RenumberToolbarCommands(renumbered);
    StoredSettingsChanged();
}

void SetStoredSettingsChangedHook(std::function<void()> hook)
{
    ChangedHook() = std::move(hook);
}

void StoredSettingsChanged()
{
    // A setting the user stored is on disk at once: a crash must not take it.
    WritePrefsNow("a change of the stored settings");
    if (ChangedHook())
        ChangedHook()();
}

namespace {

SInt32 RequiredNumber(const QVariantMap& setting, const QString& key)
{
    SInt32 number = 0;
    if (!setting.contains(key) || !PropertyList::ToInt32(setting.value(key), number))
        ThrowOSErr_(err_NilPointer, "a stored setting has no " + key.toStdString());
    return number;
}

} // namespace

bool CanRunStoredSetting(const CIndexModel& model, CommandT command)
{
    QVariantMap setting;
    SInt32 source = 0;
    if (CatchCode([&] {
            setting = CopyStoredSetting(command);
            source = RequiredNumber(setting, kSourceKindKey);
        }) != noErr)
        return false;
    if (source == kSearchSourceAllItems)
        return model.CountItems() > 0;
    if (source == kSearchSourceSelection)
        return model.CountSelectedItems() > 0;
    if (source == kSearchSourceOpenIndexes && command <= kLastStoredSearchCommand) {
        const std::vector<CIndexDoc*>& open = CIndexDoc::GetIndexDocuments();
        return std::any_of(open.begin(), open.end(), [](CIndexDoc* index) { return index->GetModel().CountItems() > 0; });
    }
    return false;
}

void RunStoredSetting(CIndexModel& model, CommandT command, CIndexItem* item, LWindow* window)
{
    const bool search = command >= kFirstStoredSearchCommand && command <= kLastStoredSearchCommand;
    const QVariantMap setting = CopyStoredSetting(command);
    if (!setting.contains(kSettingNameKey) || !setting.contains(kCriteriaListKey))
        ThrowOSErr_(err_NilPointer, "a stored setting has no name or criteria");
    const SInt32 source = RequiredNumber(setting, kSourceKindKey);
    const SInt32 result = RequiredNumber(setting, kResultKindKey);
    if (search)
        model.ShowAllItems();

    QString title = StoredSettingDisplayName(setting.value(kSettingNameKey).toString()).trimmed();
    while (title.endsWith(QLatin1String("...")) || title.endsWith(QChar(0x2026)))
        title.chop(title.endsWith(QChar(0x2026)) ? 1 : 3);
    auto task = std::make_unique<CSearchTask>(QStringLiteral("601:39"), model, search ? kSearchKindSearch : kSearchKindBatch, window);
    task->SetTitleCaption(title);
    if (search)
        task->SetSourceKind(item ? kSearchSourceAllItems : source);
    task->SetResultAction(result);
    if (item) {
        task->InsertItem(item, kInsertAtEnd);
    } else if (search) {
        task->InsertSourceItems(source);
    } else if (source == kSearchSourceAllItems) {
        for (CIndexItem* each : model.GetItemList())
            task->InsertItem(each, kInsertAtEnd);
    } else if (source == kSearchSourceSelection) {
        for (CIndexItem* each : model.SelectedItems())
            task->InsertItem(each, kInsertAtEnd);
    }
    // The task asks for what its criteria lack and starts itself; it owns itself from here.
    CSearchTask* running = task.release();
    running->LoadCriteria(setting.value(kCriteriaListKey).toList());
}
