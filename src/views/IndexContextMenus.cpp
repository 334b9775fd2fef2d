// Submenus the index view's and the media window's contextual menus share.
#include "IndexContextMenus.h"

#include "CContextualMenu.h"
#include "CIndexView.h"
#include "ExceptionCode.h"
#include "LMenuBar.h"
#include "LocalizedStrings.h"
#include "Preferences.h"

#include <QMenu>

namespace {

constexpr CommandT kFirstStoredBatch = 9500;

QString RequiredText(const QString& key)
{
    const QString text = CopyLocalizedString(key);
    if (text.isEmpty() || text == key)
        ThrowOSErr_(err_NilPointer, "no text for " + key.toStdString());
    return text;
}

} // namespace

QMenu* MakeActionsQMenu(QWidget* parent)
{
    auto* menu = new QMenu(RequiredText(QStringLiteral("ACTIONS_LABEL")), parent);
    const QVariantList settings = CopyPrefValue(QStringLiteral("BatchSettings_6")).toList();
    for (qsizetype i = 0; i < settings.size() && kFirstStoredBatch + i <= kLastStoredSetting; ++i) {
        const QString name = settings.at(i).toMap().value(QStringLiteral("SettingName")).toString();
        if (name == QLatin1String("-"))
            AppendMenuSeparator(menu);
        else
            AppendMenuItemWithCommand(menu, name, CommandT(kFirstStoredBatch + i));
    }
    AppendMenuSeparator(menu);
    AppendMenuItemWithCommand(menu, RequiredText(QStringLiteral("MORE_ACTIONS_LABEL")), cmd_ActionsItem);
    RemoveExtraSeparators(menu);
    ApplyCommandStatuses(menu);
    return menu;
}

void AppendActionsItem(QMenu* menu)
{
    QMenu* actions = MakeActionsQMenu(menu);
    QAction* item = AppendMenuItemWithCommand(menu, actions->title(), cmd_ActionsItem);
    AttachSubmenu(menu, item, actions);
}

bool AppendRatingItem(QMenu* menu)
{
    if (!AppendCommandItem(menu, cmd_RateItems, true))
        return false;
    QAction* item = menu->actions().last();
    // The rating menu is the value index's; without it the item stays a plain one.
    if (CatchCode([&] { AttachSubmenuWithCommands(menu, item, kRatingMenuID); }) != noErr) {
        menu->removeAction(item);
        return false;
    }
    return true;
}
