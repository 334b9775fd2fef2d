#include "CIndexToolbar.h"

#include "PrefKeys.h"

#include "Preferences.h"

#include <variant>

namespace {
// The identifiers of a set written as commands (numbers) and standard items.
using SetEntry = std::variant<CommandT, QString>;

void AppendSet(CToolbar& toolbar, QStringList& ioIdentifiers, std::initializer_list<SetEntry> entries)
{
    for (const SetEntry& entry : entries) {
        if (const CommandT* command = std::get_if<CommandT>(&entry)) {
            // A saved batch shown by default is left out while it does not exist.
            if (*command >= 9500 && *command <= 9999 && !SavedBatchExists(*command))
                continue;
            toolbar.AppendCommandIdentifier(*command, ioIdentifiers);
        } else {
            ioIdentifiers.append(std::get<QString>(entry));
        }
    }
    // Leaving items out must not leave two separators side by side.
    for (qsizetype i = ioIdentifiers.size() - 1; i > 0; --i) {
        if (ioIdentifiers[i] == kToolbarSeparatorIdentifier && ioIdentifiers[i - 1] == kToolbarSeparatorIdentifier)
            ioIdentifiers.removeAt(i);
    }
}

const QString& Space() { return kToolbarSpaceIdentifier; }
const QString& Flexible() { return kToolbarFlexibleSpaceIdentifier; }
const QString& Separator() { return kToolbarSeparatorIdentifier; }
} // namespace

void CIndexToolbar::ConfigureOnFirstUse()
{
    const QString key = QStringLiteral("IndexToolbarConfigured");
    if (GetPrefBoolean(key))
        return;
    SetDisplayMode(toolbarDisplay_IconAndLabel);
    SetSizeMode(toolbarSize_Small);
    SetPrefBoolean(key, true);
}

void CIndexToolbar::CopyDefaultIdentifiers(QStringList& ioIdentifiers)
{
    AppendSet(*this, ioIdentifiers,
        { Space(), kBrowserSelectorIdentifier, kViewSelectorIdentifier, Space(), 1057, 1061, 1012, 1068, Space(), 1010,
            1033, 1016, 9507, 1058, 1028, Flexible(), kSearchFieldIdentifier, Space() });
}

void CIndexToolbar::CopyAllowedIdentifiers(QStringList& ioIdentifiers)
{
    AppendSet(*this, ioIdentifiers,
        { 1079, kViewSelectorIdentifier, kBrowserSelectorIdentifier, kSearchFieldIdentifier, 1057, 1061, 1012, 1068, 1020,
            1056, kToolbarPrintIdentifier, 1016, 1010, 1033, 1064, 1066, 1037, 1036, 1028, 15, 1023, 1024, 1025, 1075, 1089, 1035,
            1084, 1085, 1086, 1087, 1058, 1059 });
    for (CommandT command : SavedSettingCommands())
        AppendCommandIdentifier(command, ioIdentifiers);
    ioIdentifiers << Separator() << Space() << Flexible() << kToolbarCustomizeIdentifier;
}

CMediaToolbar::~CMediaToolbar()
{
    if (GetToolbarRef())
        Pref::MediaToolbarVisible.Set(IsVisible());
}

void CMediaToolbar::ConfigureOnFirstUse()
{
    const QString key = QStringLiteral("MediaToolbarConfigured");
    if (!GetPrefBoolean(key)) {
        SetSizeMode(toolbarSize_Small);
        SetPrefBoolean(key, true);
    }
    if (Pref::MediaToolbarVisible.Get())
        Show();
    else
        Hide();
}

void CMediaToolbar::CopyDefaultIdentifiers(QStringList& ioIdentifiers)
{
    AppendSet(*this, ioIdentifiers,
        { 1079, 1046, 1077, Separator(), 1010, 1016, 1033, kToolbarPrintIdentifier, Separator(), 9506, 9507, Separator(),
            1068, Separator(), 1069, 1070, Flexible(), 1028 });
}

void CMediaToolbar::CopyAllowedIdentifiers(QStringList& ioIdentifiers)
{
    // 15 and 1046 once each: a second copy would offer the same item twice.
    AppendSet(*this, ioIdentifiers,
        { 1058, 1012, 1016, 1010, 1028, 1033, 15, 1077, 1079, 1068, 1069, 1070, 1003, 1072, 1046, 1064, 1066, kToolbarPrintIdentifier });
    for (CommandT command : SavedSettingCommands([](CommandT command) { return SavedBatchExists(command, 9001); }))
        AppendCommandIdentifier(command, ioIdentifiers);
    ioIdentifiers << Separator() << Space() << Flexible() << kToolbarCustomizeIdentifier;
}
