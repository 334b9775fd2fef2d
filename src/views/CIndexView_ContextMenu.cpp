// The index view's contextual menu and its help.
#include "CIndexView.h"

#include "CIndexItem.h"
#include "ExceptionCode.h"
#include "HelpBook.h"
#include "IndexContextMenus.h"
#include "LMenuBar.h"
#include "LocalizedStrings.h"
#include "OpenWithMenu.h"
#include "UReportErrors.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>

namespace {

// Appends an item carrying a menu resource's items (with their commands); nothing
// when the menu cannot be read.
void AppendSubmenuItem(QMenu* menu, CommandT command, ResIDT submenuID)
{
    std::unique_ptr<LMenu> source;
    if (CatchCode([&] { source = LMenu::Load(submenuID); }) != noErr || !source)
        return;
    QAction* item = AppendMenuItemWithCommand(menu, CopyLocalizedString(source->GetTitle()), command);
    AttachSubmenuWithCommands(menu, item, submenuID);
}

// The text of the menu bar's item of a command, or the fallback.
QString MenuBarText(CommandT command, const QString& fallback)
{
    LMenuBar* bar = LMenuBar::GetCurrentMenuBar();
    LMenu* menu = nullptr;
    SInt16 item = 0;
    if (bar && bar->FindMenuItem(command, menu, item) && menu && menu->Item(item))
        return menu->Item(item)->text;
    return fallback;
}

// A checkable item of a submenu built here.
void AddCheckItem(QMenu* menu, const QString& text, CommandT command, bool checked)
{
    QAction* item = AppendMenuItemWithCommand(menu, text, command);
    item->setCheckable(true);
    item->setChecked(checked);
}

} // namespace

void CIndexView::PrepareContextClick(QPoint local)
{
    LCommander::SwitchTarget(this);
    const SInt32 index = IndexAtPoint(local, false);
    CIndexItem* item = nullptr;
    if (index == 0 || !GetItemAt(index, item) || !item) {
        DeselectAll();
        return;
    }
    if (mModel->IsSelected(index))
        return; // the menu is about the selection the click is in
    DeselectAll();
    QRect cell;
    GetCellRect(index, cell);
    const SInt16 part = item->HitTest(local, cell, *this);
    if (part == kItemPartPicture || part == kItemPartPictureToo) {
        SelectIndex(index);
        BroadcastState();
    }
}

void CIndexView::ShowKeyboardContextMenu()
{
    LCommander::SwitchTarget(this);
    // Over the first selected cell where it shows, else near the view's top.
    QRect cell;
    const SInt32 first = GetFirstSelectedIndex();
    QRect shown = first != 0 && GetCellRect(first, cell) ? cell.intersected(rect()) : QRect();
    const QPoint where = shown.isEmpty() ? QPoint(width() / 2, std::min(height() / 2, 24)) : shown.center();
    ShowContextMenuAt(mapToGlobal(where));
}

void CIndexView::contextMenuEvent(QContextMenuEvent* event)
{
    // A mouse's contextual click is the click's business (ClickSelf); the
    // keyboard's asks for the menu of the selection.
    if (event->reason() != QContextMenuEvent::Keyboard || QApplication::focusWidget() != this) {
        event->ignore();
        return;
    }
    event->accept();
    RunReportingErrors([this] { ShowKeyboardContextMenu(); });
}

void CIndexView::AddOwnItems(QMenu* menu)
{
    if (IsScreenLocked())
        return; // the locked window offers nothing
    const bool selection = CountSelectedItems() > 0;
    if (selection) {
        AppendMenuItemWithCommand(menu, CopyLocalizedString(QStringLiteral("600:103")), cmd_OpenSelectedItems);
        CIndexItem* first = nullptr;
        GetItemAt(GetFirstSelectedIndex(), first);
        QApplication::setOverrideCursor(Qt::WaitCursor); // the desktop's application list may take a moment
        const OSStatus listed = CatchCode([&] { RebuildOpenWithMenu(first ? first->GetURL() : QUrl()); });
        QApplication::restoreOverrideCursor();
        if (listed == noErr && CountOpenWithMenuItems() > 0) {
            const QString title = CopyLocalizedString(QStringLiteral("600:115"));
            QAction* openWith = AppendMenuItemWithCommand(menu, title, cmd_OpenWithItem);
            AttachSubmenu(menu, openWith, MakeOpenWithQMenu(title, menu));
        }
        AppendRatingItem(menu);
        AppendActionsItem(menu);
    }
    for (CommandT command : { cmd_ItemInfo, cmd_RevealItems, cmd_ShowSelectedOnly, cmd_TrashSelection })
        AppendCommandItem(menu, command);
    if (selection) {
        if (AppendCommandItem(menu, cmd_NewIndexFromSelection))
            menu->actions().last()->setText(CopyLocalizedString(QStringLiteral("600:116")));
    }
    AppendCommandItem(menu, cmd_SetDesktopPicture);
    AppendCommandItem(menu, cmd_ActivateFonts);
    AppendCommandItem(menu, cmd_DeactivateFonts);
    AppendMenuSeparator(menu);
    AppendSubmenuItem(menu, cmd_ViewAsItem, kViewAsMenuID);
    AppendSubmenuItem(menu, cmd_SidePanesItem, kSidePanesMenuID);
    AppendMenuSeparator(menu);
    if (selection)
        AppendMenuSeparator(menu);

    // The columns shown and the themes, each checked as it is now.
    std::unique_ptr<LMenu> fields = LMenu::Load(kFieldMenuID);
    auto* columns = new QMenu(MenuBarText(cmd_ColumnsMenu, CopyLocalizedString(QStringLiteral("FIELD_MENU"))), menu);
    for (SInt16 i = 1; i <= fields->CountItems(); ++i) {
        if (fields->Item(i)->IsSeparator()) {
            AppendMenuSeparator(columns);
            continue;
        }
        const CommandT field = fields->CommandFromIndex(i);
        AddCheckItem(columns, CopyLocalizedString(fields->Item(i)->text), field, HasColumn(field));
    }
    AttachSubmenu(menu, AppendMenuItemWithCommand(menu, columns->title(), cmd_ColumnsMenu), columns);
    const LMenu& patterns = GetPatternMenu();
    if (patterns.CountItems() > 0) {
        auto* themes = new QMenu(MenuBarText(cmd_PatternMenu, CopyLocalizedString(QStringLiteral("THEME_MENU"))), menu);
        for (SInt16 i = 1; i <= patterns.CountItems(); ++i)
            AddCheckItem(themes, patterns.Item(i)->text, SyntheticCommandForMenuItem(kPatternMenuID, i), i == mTheme);
        AttachSubmenu(menu, AppendMenuItemWithCommand(menu, themes->title(), cmd_PatternMenu), themes);
    }
}

UInt32 CIndexView::GetHelpType()
{
    return 2;
}

void CIndexView::GetHelpString(QString& outText)
{
    outText = CopyLocalizedString(QStringLiteral("600:100"));
}

void CIndexView::HelpChosen()
{
    const QString anchor = IsExtendedView() ? QStringLiteral("ThumbnailViewExtended") : QStringLiteral("ThumbnailView");
    ThrowIfOSErr_(GotoHelpPage(QStringLiteral("pgs/wr10.html"), anchor));
}
