#include "LMenuBar.h"

#include "BundleStrings.h"
#include "ExceptionCode.h"
#include "LLayoutData.h"
#include "LWindow.h"
#include "UReportErrors.h"
#include "UResources.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QHash>
#include <QAbstractSpinBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QMenuBar>
#include <QSet>
#include <algorithm>
#include <functional>

namespace {
QJsonObject ReadMenuResource(const QString& name, ResIDT idForErrors)
{
    QJsonObject object;
    QString error;
    bool missing = false;
    if (!UResources::ReadJsonObject(QStringLiteral("menus"), name, object, error, missing))
        ThrowOSErr_(missing ? resNotFound : badFormat, QStringLiteral("menu %1: %2").arg(idForErrors).arg(error).toStdString());
    return object;
}

// Standard commands take the desktop's own shortcuts where the resource names none.
QKeySequence::StandardKey StandardKeyFor(CommandT command)
{
    switch (command) {
    case cmd_New: return QKeySequence::New;
    case cmd_Open: return QKeySequence::Open;
    case cmd_Close: return QKeySequence::Close;
    case cmd_Save: return QKeySequence::Save;
    case cmd_Print: return QKeySequence::Print;
    case cmd_Quit: return QKeySequence::Quit;
    case cmd_Undo: return QKeySequence::Undo;
    case cmd_Redo: return QKeySequence::Redo;
    case cmd_Cut: return QKeySequence::Cut;
    case cmd_Copy: return QKeySequence::Copy;
    case cmd_Paste: return QKeySequence::Paste;
    case cmd_SelectAll: return QKeySequence::SelectAll;
    case cmd_Preferences: return QKeySequence::Preferences;
    default: return QKeySequence::UnknownKey;
    }
}

// The desktop's bindings of a standard command; the common Linux ones where the
// platform theme has none (a bare session, the offscreen platform).
QList<QKeySequence> StandardBindings(CommandT command)
{
    QKeySequence::StandardKey standard = StandardKeyFor(command);
    if (standard == QKeySequence::UnknownKey)
        return {};
    QList<QKeySequence> bindings = QKeySequence::keyBindings(standard);
    if (!bindings.isEmpty())
        return bindings;
    switch (command) {
    case cmd_New: return { QKeySequence(Qt::CTRL | Qt::Key_N) };
    case cmd_Open: return { QKeySequence(Qt::CTRL | Qt::Key_O) };
    case cmd_Close: return { QKeySequence(Qt::CTRL | Qt::Key_W) };
    case cmd_Save: return { QKeySequence(Qt::CTRL | Qt::Key_S) };
    case cmd_Print: return { QKeySequence(Qt::CTRL | Qt::Key_P) };
    case cmd_Quit: return { QKeySequence(Qt::CTRL | Qt::Key_Q) };
    case cmd_Undo: return { QKeySequence(Qt::CTRL | Qt::Key_Z) };
    case cmd_Redo: return { QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z) };
    case cmd_Cut: return { QKeySequence(Qt::CTRL | Qt::Key_X) };
    case cmd_Copy: return { QKeySequence(Qt::CTRL | Qt::Key_C) };
    case cmd_Paste: return { QKeySequence(Qt::CTRL | Qt::Key_V) };
    case cmd_SelectAll: return { QKeySequence(Qt::CTRL | Qt::Key_A) };
    case cmd_Preferences: return { QKeySequence(Qt::CTRL | Qt::Key_Comma) };
    default: return {};
    }
}

bool StandardShortcutMatches(CommandT command, const QKeySequence& pressed)
{
    return StandardBindings(command).contains(pressed);
}

// Whether a text field uses a key itself (its editing keys, select all, copy and
// paste, its own undo): it says so when asked before the key, as Qt asks before
// any shortcut.
bool TextFieldUsesKey(QWidget* widget, const QKeyEvent& key)
{
    const bool field = qobject_cast<QLineEdit*>(widget) || qobject_cast<QTextEdit*>(widget)
        || qobject_cast<QPlainTextEdit*>(widget) || qobject_cast<QAbstractSpinBox*>(widget);
    if (!field)
        return false;
    QKeyEvent ask(QEvent::ShortcutOverride, key.key(), key.modifiers(), key.nativeScanCode(), key.nativeVirtualKey(),
        key.nativeModifiers(), key.text(), key.isAutoRepeat(), key.count());
    ask.ignore();
    QCoreApplication::sendEvent(widget, &ask);
    return ask.isAccepted();
}

// The last mouse press or key the user gave, and the modifiers held with it: a menu
// opened by the mouse with Alt held shows its alternates, one opened from the
// keyboard (Alt+letter, F10) its normal items.
struct LastInput {
    bool fromKeyboard = false;
    Qt::KeyboardModifiers modifiers;
};

LastInput& LastUserInput()
{
    static LastInput input;
    return input;
}

void NoteUserInput(const QEvent& event)
{
    switch (event.type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        LastUserInput() = { false, static_cast<const QMouseEvent&>(event).modifiers() };
        break;
    case QEvent::KeyPress:
    case QEvent::ShortcutOverride: {
        const auto& key = static_cast<const QKeyEvent&>(event);
        const bool modifierOnly = key.key() == Qt::Key_Alt || key.key() == Qt::Key_Shift
            || key.key() == Qt::Key_Control || key.key() == Qt::Key_Meta || key.key() == Qt::Key_AltGr;
        if (!modifierOnly)
            LastUserInput() = { true, key.modifiers() };
        break;
    }
    default:
        break;
    }
}

// Runs key equivalents for the framework's windows before their widgets see the key.
class KeyEquivalentFilter : public QObject {
public:
    explicit KeyEquivalentFilter(LMenuBar* bar)
        : mBar(bar)
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched->isWidgetType())
            NoteUserInput(*event);
        if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
            return false;
        auto* key = static_cast<QKeyEvent*>(event);
        QWidget* top = static_cast<QWidget*>(watched)->window();
        if (!top || !top->property("orvexShell").toBool())
            return false;
        // F10 opens the window's menu bar, as on every Linux desktop.
        if (key->key() == Qt::Key_F10 && key->modifiers() == Qt::NoModifier) {
            auto* bar = top->findChild<QMenuBar*>();
            if (!bar || bar->actions().isEmpty())
                return false;
            bar->setActiveAction(bar->actions().first());
            return true;
        }
        // A field keeps the keys it uses; only the others run menu commands.
        if (TextFieldUsesKey(static_cast<QWidget*>(watched), *key))
            return false;
        if (mBar->HandleShortcut(QKeySequence(key->keyCombination())))
            return true;
        EventRecord record = EventRecordFromKeyEvent(*key);
        if (!(record.modifiers & cmdKey) || EventCharCode(record) == 0)
            return false;
        return mBar->HandleKeyEquivalent(record);
    }

private:
    LMenuBar* mBar;
};

} // namespace

LMenu::LMenu(ResIDT menuID, const QString& title)
    : mMenuID(menuID)
    , mTitle(title)
{
}

std::unique_ptr<LMenu> LMenu::Load(ResIDT menuID)
{
    QJsonObject object = ReadMenuResource(QStringLiteral("%1.json").arg(menuID), menuID);
    LLayoutData data(object, menuID, QStringLiteral("menu"));
    auto menu = std::make_unique<LMenu>(menuID, BundleLocalizedString(data.String("title")));
    const QJsonArray items = data.Array("items");
    for (int i = 0; i < items.size(); ++i) {
        if (!items[i].isObject())
            data.Fail(QStringLiteral("item %1 is not an object").arg(i + 1));
        LLayoutData itemData(items[i].toObject(), menuID, QStringLiteral("menu item %1").arg(i + 1));
        SMenuItem item;
        QString text = itemData.String("text");
        item.text = text.startsWith(QLatin1Char('-')) ? text : BundleLocalizedString(text);
        item.command = itemData.Int("command", cmd_Nothing);
        QString key = itemData.String("key");
        if (key.size() > 1)
            itemData.Fail(QStringLiteral("\"key\" must be one character"));
        if (!key.isEmpty())
            item.keyChar = key.at(0).toUpper();
        item.keyModifiers = cmdKey;
        for (const QJsonValue& m : itemData.Array("modifiers")) {
            QString name = m.toString();
            if (name == QLatin1String("shift"))
                item.keyModifiers |= shiftKey;
            else if (name == QLatin1String("option"))
                item.keyModifiers |= optionKey;
            else if (name == QLatin1String("control"))
                item.keyModifiers |= controlKey;
            else if (name == QLatin1String("nocommand"))
                item.keyModifiers &= UInt16(~cmdKey);
            else
                itemData.Fail(QStringLiteral("unknown modifier \"%1\"").arg(name));
        }
        const QString extra = itemData.String("shortcut");
        if (!extra.isEmpty()) {
            item.extraShortcut = QKeySequence::fromString(extra, QKeySequence::PortableText);
            if (item.extraShortcut.isEmpty() || item.extraShortcut.count() != 1)
                itemData.Fail(QStringLiteral("\"shortcut\" \"%1\" is not one key").arg(extra));
        }
        item.submenuID = ResIDT(itemData.Int("submenu", 0));
        item.enabled = itemData.Bool("enabled", true);
        item.dynamic = itemData.Bool("dynamic", false);
        menu->mItems.push_back(item);
    }
    return menu;
}

SMenuItem* LMenu::Item(SInt16 index)
{
    return index >= 1 && index <= CountItems() ? &mItems[size_t(index - 1)] : nullptr;
}

const SMenuItem* LMenu::Item(SInt16 index) const
{
    return index >= 1 && index <= CountItems() ? &mItems[size_t(index - 1)] : nullptr;
}

CommandT LMenu::CommandFromIndex(SInt16 index) const
{
    const SMenuItem* item = Item(index);
    if (!item)
        return cmd_Nothing;
    return item->command != cmd_Nothing ? item->command : SyntheticCommandForMenuItem(mMenuID, index);
}

SInt16 LMenu::IndexFromCommand(CommandT command) const
{
    SInt16 menuID = 0, index = 0;
    if (IsSyntheticCommand(command, menuID, index))
        return menuID == mMenuID && Item(index) ? index : 0;
    for (SInt16 i = 1; i <= CountItems(); ++i) {
        if (mItems[size_t(i - 1)].command == command && command != cmd_Nothing)
            return i;
    }
    return 0;
}

SInt16 LMenu::IndexFromCommand(CommandT command, const QWidget* owner) const
{
    for (SInt16 i = 1; i <= CountItems(); ++i) {
        if (mItems[size_t(i - 1)].command == command && mItems[size_t(i - 1)].owner == owner)
            return i;
    }
    return 0;
}

void LMenu::RemoveItemsOf(const QWidget* owner)
{
    if (owner)
        std::erase_if(mItems, [owner](const SMenuItem& item) { return item.owner == owner; });
}

void LMenu::SetCommand(SInt16 index, CommandT command)
{
    if (SMenuItem* item = Item(index))
        item->command = command;
}

void LMenu::InsertItem(const SMenuItem& item, SInt16 afterIndex)
{
    SInt16 at = std::clamp<SInt16>(afterIndex, 0, CountItems());
    mItems.insert(mItems.begin() + at, item);
}

void LMenu::InsertCommand(const QString& text, CommandT command, SInt16 afterIndex)
{
    SMenuItem item;
    item.text = text;
    item.command = command;
    InsertItem(item, afterIndex);
}

void LMenu::RemoveItem(SInt16 index)
{
    if (Item(index))
        mItems.erase(mItems.begin() + (index - 1));
}

void LMenu::RemoveCommand(CommandT command)
{
    RemoveItem(IndexFromCommand(command));
}

void LMenu::SetItemText(SInt16 index, const QString& text)
{
    if (SMenuItem* item = Item(index))
        item->text = text;
}

bool LMenu::HasItemText(const QString& text) const
{
    return std::any_of(mItems.begin(), mItems.end(), [&](const SMenuItem& item) { return item.text == text; });
}

bool MenuHasItemText(const LMenu* menu, const QString& text)
{
    return menu && menu->HasItemText(text);
}

LMenuBar::LMenuBar()
{
    sMenuBar = this;
    if (qApp) {
        mKeyFilter = new KeyEquivalentFilter(this);
        qApp->installEventFilter(mKeyFilter);
    }
    // Every document window shows the menu bar.
    LWindow::SetNewWindowHook([this](LWindow* window) {
        if (window->HasAttribute(windAttr_Regular))
            window->SetMenuBar(MakeQMenuBar());
    });
}

LMenuBar::LMenuBar(ResIDT menuBarID)
    : LMenuBar()
{
    QJsonObject object = ReadMenuResource(QStringLiteral("MenuBar.json"), menuBarID);
    LLayoutData data(object, menuBarID, QStringLiteral("menu bar"));
    std::vector<ResIDT> submenus;
    for (const QJsonValue& id : data.Array("menus")) {
        LMenu* menu = InstallMenu(LMenu::Load(ResIDT(id.toInt())));
        for (SInt16 i = 1; i <= menu->CountItems(); ++i) {
            if (menu->Item(i)->submenuID != 0)
                submenus.push_back(menu->Item(i)->submenuID);
        }
    }
    // Submenus named by items are loaded too (and their own submenus).
    while (!submenus.empty()) {
        ResIDT id = submenus.back();
        submenus.pop_back();
        if (FetchMenu(id))
            continue;
        LMenu* menu = InstallMenu(LMenu::Load(id), 0, true);
        for (SInt16 i = 1; i <= menu->CountItems(); ++i) {
            if (menu->Item(i)->submenuID != 0)
                submenus.push_back(menu->Item(i)->submenuID);
        }
    }
}

LMenuBar::~LMenuBar()
{
    if (sMenuBar == this) {
        sMenuBar = nullptr;
        LWindow::SetNewWindowHook(nullptr);
    }
    delete mKeyFilter;
    for (const QPointer<QMenuBar>& bar : mQBars) {
        if (bar)
            bar->clear();
    }
}

void LMenuBar::AddMenuFolder(const QString& folder)
{
    UResources::AddFolder(QStringLiteral("menus"), folder);
}

LMenu* LMenuBar::InstallMenu(std::unique_ptr<LMenu> menu, ResIDT beforeID, bool hierarchical)
{
    LMenu* raw = menu.get();
    RemoveMenu(raw->GetMenuID());
    mMenus.push_back(std::move(menu));
    if (!hierarchical) {
        auto at = std::find_if(mBarMenus.begin(), mBarMenus.end(), [&](LMenu* m) { return m->GetMenuID() == beforeID; });
        mBarMenus.insert(beforeID != 0 ? at : mBarMenus.end(), raw);
        RefreshQMenuBars();
    }
    return raw;
}

void LMenuBar::RemoveMenu(ResIDT menuID)
{
    mBarMenus.erase(std::remove_if(mBarMenus.begin(), mBarMenus.end(), [&](LMenu* m) { return m->GetMenuID() == menuID; }), mBarMenus.end());
    bool wasThere = FetchMenu(menuID) != nullptr;
    mMenus.erase(std::remove_if(mMenus.begin(), mMenus.end(), [&](const std::unique_ptr<LMenu>& m) { return m->GetMenuID() == menuID; }), mMenus.end());
    if (wasThere)
        RefreshQMenuBars();
}

LMenu* LMenuBar::FetchMenu(ResIDT menuID) const
{
    for (const auto& menu : mMenus) {
        if (menu->GetMenuID() == menuID)
            return menu.get();
    }
    return nullptr;
}

bool LMenuBar::FindMenuItem(CommandT command, LMenu*& outMenu, SInt16& outItem) const
{
    for (const auto& menu : mMenus) {
        SInt16 index = menu->IndexFromCommand(command);
        if (index != 0) {
            outMenu = menu.get();
            outItem = index;
            return true;
        }
    }
    outMenu = nullptr;
    outItem = 0;
    return false;
}

CommandT LMenuBar::FindCommand(ResIDT menuID, SInt16 item) const
{
    LMenu* menu = FetchMenu(menuID);
    return menu ? menu->CommandFromIndex(item) : cmd_Nothing;
}

CommandT LMenuBar::FindKeyCommand(UInt8 charCode, UInt16 modifiers) const
{
    QChar key = QChar(charCode).toUpper();
    UInt16 wanted = modifiers & (cmdKey | shiftKey | optionKey | controlKey);
    // Items without a key of their own answer to their standard command's shortcuts.
    QKeySequence pressed(QtModifiersFrom(wanted) | (charCode == char_Backspace ? int(Qt::Key_Backspace) : int(key.unicode())));
    for (const auto& menu : mMenus) {
        for (SInt16 i = 1; i <= menu->CountItems(); ++i) {
            const SMenuItem* item = menu->Item(i);
            if (item->IsSeparator() || item->submenuID != 0)
                continue;
            if (!item->keyChar.isNull()) {
                if (item->keyChar == key && item->keyModifiers == wanted)
                    return menu->CommandFromIndex(i);
            } else if (StandardShortcutMatches(item->command, pressed)) {
                return menu->CommandFromIndex(i);
            }
        }
    }
    return cmd_Nothing;
}

CommandT LMenuBar::FindShortcutCommand(const QKeySequence& pressed) const
{
    LMenu* menu = nullptr;
    SInt16 index = 0;
    return FindShortcutItem(pressed, menu, index) ? menu->CommandFromIndex(index) : cmd_Nothing;
}

bool LMenuBar::FindShortcutItem(const QKeySequence& pressed, LMenu*& outMenu, SInt16& outItem) const
{
    // By menu and item: the synthetic commands of the program's own menus name no menu.
    for (const auto& menu : mMenus) {
        for (SInt16 i = 1; i <= menu->CountItems(); ++i) {
            const SMenuItem* item = menu->Item(i);
            if (!item->extraShortcut.isEmpty() && item->extraShortcut == pressed) {
                outMenu = menu.get();
                outItem = i;
                return true;
            }
        }
    }
    return false;
}

void LMenuBar::UpdateMenu(LMenu* menu)
{
    LCommander* target = LCommander::GetTarget();
    for (SInt16 i = 1; i <= menu->CountItems(); ++i) {
        SMenuItem* item = menu->Item(i);
        if (item->IsSeparator())
            continue;
        Boolean enabled = false, usesMark = false;
        UInt16 mark = noMark;
        Str255 name;
        CommandT command = menu->CommandFromIndex(i);
        if (target && item->submenuID == 0)
            RunReportingErrors([&] { target->ProcessCommandStatus(command, enabled, usesMark, mark, name); });
        else if (item->submenuID != 0)
            enabled = true;
        item->enabled = enabled;
        item->mark = usesMark ? mark : UInt16(noMark);
        if (!name.IsEmpty())
            item->text = PStringToQString(name);
    }
}

void LMenuBar::UpdateMenus()
{
    for (const auto& menu : mMenus)
        UpdateMenu(menu.get());
    LCommander::SetUpdateCommandStatus(false);
}

bool LMenuBar::HandleShortcut(const QKeySequence& pressed)
{
    LMenu* menu = nullptr;
    SInt16 index = 0;
    return FindShortcutItem(pressed, menu, index) && RunKeyItem(menu, index);
}

bool LMenuBar::HandleKeyEquivalent(const EventRecord& event)
{
    LMenu* menu = nullptr;
    SInt16 index = 0;
    if (!FindMenuItem(FindKeyCommand(EventCharCode(event), event.modifiers), menu, index))
        return false;
    if (menu->Item(index)->keyLent && TargetTakesLentKey(event))
        return true;
    return RunKeyItem(menu, index);
}

bool LMenuBar::TargetTakesLentKey(const EventRecord& event)
{
    // A target that passes the key on to the menu bar itself (a field's unused
    // keys) is not offered it again.
    static bool offering = false;
    LCommander* target = LCommander::GetTarget();
    if (offering || !target || QApplication::activeModalWidget())
        return false;
    bool taken = false;
    offering = true;
    RunReportingErrors([&] { taken = target->ProcessKeyPress(event); });
    offering = false;
    return taken;
}

bool LMenuBar::RunKeyItem(LMenu* menu, SInt16 index)
{
    // While a modal window is up only the editing commands work (its fields use them).
    const CommandT command = menu->CommandFromIndex(index);
    bool editing = (command >= cmd_Undo && command <= cmd_SelectAll) || command == cmd_Redo;
    if (QApplication::activeModalWidget() && !editing)
        return false;
    UpdateMenu(menu);
    if (!menu->Item(index)->enabled)
        return false; // a disabled item leaves the key to the target as a plain key press
    DispatchCommand(command);
    return true;
}

bool LMenuBar::ChooseItem(ResIDT menuID, SInt16 item)
{
    LMenu* menu = FetchMenu(menuID);
    if (!menu || !menu->Item(item))
        return false;
    UpdateMenu(menu);
    if (!menu->Item(item)->enabled)
        return false;
    DispatchCommand(menu->CommandFromIndex(item));
    return true;
}

void LMenuBar::DispatchCommand(CommandT command)
{
    LCommander* target = LCommander::GetTarget();
    if (!target)
        return;
    RunReportingErrors([&] { target->ProcessCommand(command, nullptr); });
    LCommander::SetUpdateCommandStatus(true); // the toolbar follows what the command changed
}

QKeySequence LMenuBar::ShortcutFor(const SMenuItem& item)
{
    if (item.keyChar.isNull()) {
        QList<QKeySequence> bindings = StandardBindings(item.command);
        return bindings.isEmpty() ? QKeySequence() : bindings.first();
    }
    int key = item.keyChar.unicode();
    if (item.keyChar == QChar(char_Backspace))
        key = Qt::Key_Backspace;
    return QKeySequence(QtModifiersFrom(item.keyModifiers) | key);
}

namespace {
// The window whose menu bar a menu (or a submenu of it) opens from.
const QWidget* MenuBarWindowOf(const QMenu* menu)
{
    const QWidget* up = menu->parentWidget();
    while (auto* above = qobject_cast<const QMenu*>(up))
        up = above->parentWidget();
    return up ? up->window() : nullptr;
}
} // namespace

QMenu* LMenuBar::MakeQMenu(LMenu* menu, QWidget* parent)
{
    auto* qmenu = new QMenu(menu->GetTitle(), parent);
    ResIDT menuID = menu->GetMenuID();
    // Filled from the model each time it opens, after the target chain has spoken.
    QObject::connect(qmenu, &QMenu::aboutToShow, qmenu, [this, qmenu, menuID] {
        qmenu->clear();
        LMenu* model = FetchMenu(menuID);
        if (!model)
            return;
        UpdateMenu(model);
        // A dynamic item shows in place of the item before it when the menu was
        // opened with the mouse while Option (Alt) was held; Alt+letter opens the
        // menu from the keyboard and shows the normal items.
        const LastInput& opening = LastUserInput();
        const bool alternate = !opening.fromKeyboard && (opening.modifiers & Qt::AltModifier);
        // Another window's own items stay in that window's menus.
        const QWidget* window = MenuBarWindowOf(qmenu);
        std::vector<SInt16> shown;
        QStringList texts;
        for (SInt16 i = 1; i <= model->CountItems(); ++i) {
            const SMenuItem* item = model->Item(i);
            const SMenuItem* next = model->Item(SInt16(i + 1));
            if ((item->dynamic && !alternate) || (alternate && next && next->dynamic))
                continue;
            if (item->owner && item->owner->window() != window)
                continue;
            shown.push_back(i);
            texts << (item->IsSeparator() ? QString() : item->text);
        }
        texts = WithMnemonics(texts);
        for (size_t n = 0; n < shown.size(); ++n) {
            const SInt16 i = shown[n];
            const SMenuItem* item = model->Item(i);
            if (item->IsSeparator()) {
                qmenu->addSeparator();
                continue;
            }
            if (item->submenuID != 0) {
                if (LMenu* sub = FetchMenu(item->submenuID)) {
                    QMenu* child = MakeQMenu(sub, qmenu);
                    child->setTitle(texts[qsizetype(n)]);
                    qmenu->addMenu(child);
                }
                continue;
            }
            QAction* action = qmenu->addAction(item->icon, texts[qsizetype(n)]);
            action->setData(model->CommandFromIndex(i));
            action->setEnabled(item->enabled);
            action->setCheckable(item->mark != noMark);
            action->setChecked(item->mark != noMark);
            // Key equivalents are run by the framework, so the shortcut is only shown here.
            QList<QKeySequence> shortcuts { ShortcutFor(*item) };
            if (!item->extraShortcut.isEmpty())
                shortcuts << item->extraShortcut;
            action->setShortcuts(shortcuts);
            action->setShortcutContext(Qt::WidgetShortcut);
            QObject::connect(action, &QAction::triggered, action, [this, menuID, i] { ChooseItem(menuID, i); });
        }
    });
    // An empty menu never opens: give it one placeholder until it is filled.
    qmenu->addAction(QString())->setVisible(false);
    return qmenu;
}

void LMenuBar::FillQMenuBar(QMenuBar* bar)
{
    bar->clear();
    QStringList titles;
    for (LMenu* menu : mBarMenus)
        titles << menu->GetTitle();
    titles = WithMnemonics(titles);
    for (size_t n = 0; n < mBarMenus.size(); ++n) {
        QMenu* menu = MakeQMenu(mBarMenus[n], bar);
        menu->setTitle(titles[qsizetype(n)]);
        bar->addMenu(menu);
    }
}

QMenuBar* LMenuBar::MakeQMenuBar(QWidget* parent)
{
    auto* bar = new QMenuBar(parent);
    FillQMenuBar(bar);
    mQBars.erase(std::remove(mQBars.begin(), mQBars.end(), nullptr), mQBars.end());
    mQBars.emplace_back(bar);
    return bar;
}

void LMenuBar::RefreshQMenuBars()
{
    for (const QPointer<QMenuBar>& bar : mQBars) {
        if (bar)
            FillQMenuBar(bar);
    }
}

namespace {
// Where a text may take its mnemonic: each word's first letter or digit, then
// every other one, each letter once.
std::vector<qsizetype> MnemonicPlaces(const QString& text, const QSet<QChar>& taken)
{
    std::vector<qsizetype> places;
    QSet<QChar> seen = taken;
    auto consider = [&](qsizetype i) {
        const QChar letter = text.at(i).toLower();
        if (text.at(i).isLetterOrNumber() && !seen.contains(letter)) {
            seen.insert(letter);
            places.push_back(i);
        }
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (i == 0 || text.at(i - 1).isSpace())
            consider(i);
    }
    for (qsizetype i = 0; i < text.size(); ++i)
        consider(i);
    return places;
}
} // namespace

QStringList WithMnemonics(const QStringList& texts, const QSet<QChar>& taken, bool trade)
{
    std::vector<std::vector<qsizetype>> places;
    for (const QString& text : texts)
        places.push_back(MnemonicPlaces(text, taken));
    std::vector<qsizetype> chosen(size_t(texts.size()), -1);
    QHash<QChar, qsizetype> owner; // a letter and the text that has it
    auto letterAt = [&](qsizetype text, qsizetype at) { return texts[text].at(at).toLower(); };
    // First come, first served: the earlier texts keep their best letters.
    for (qsizetype t = 0; t < texts.size(); ++t) {
        for (const qsizetype at : places[size_t(t)]) {
            if (!owner.contains(letterAt(t, at))) {
                chosen[size_t(t)] = at;
                owner.insert(letterAt(t, at), t);
                break;
            }
        }
    }
    // A text left without one takes a letter that another text can trade for
    // one still free, so that as many as can have one.
    std::function<bool(qsizetype, QSet<QChar>&)> give = [&](qsizetype t, QSet<QChar>& tried) {
        for (const qsizetype at : places[size_t(t)]) {
            const QChar letter = letterAt(t, at);
            if (tried.contains(letter))
                continue;
            tried.insert(letter);
            if (!owner.contains(letter) || give(owner.value(letter), tried)) {
                chosen[size_t(t)] = at;
                owner.insert(letter, t);
                return true;
            }
        }
        return false;
    };
    for (qsizetype t = 0; trade && t < texts.size(); ++t) {
        QSet<QChar> tried;
        if (chosen[size_t(t)] < 0)
            give(t, tried);
    }
    QStringList marked;
    for (qsizetype t = 0; t < texts.size(); ++t) {
        const QString& text = texts[t];
        const qsizetype at = chosen[size_t(t)];
        QString escaped = QString(text).replace(QLatin1Char('&'), QStringLiteral("&&"));
        if (at >= 0)
            escaped = text.left(at).replace(QLatin1Char('&'), QStringLiteral("&&")) + QLatin1Char('&')
                + text.mid(at).replace(QLatin1Char('&'), QStringLiteral("&&"));
        marked << escaped;
    }
    return marked;
}

QSet<QChar> MnemonicLetters(const QMenuBar& bar)
{
    QSet<QChar> letters;
    for (const QAction* title : bar.actions()) {
        const QKeySequence mnemonic = QKeySequence::mnemonic(title->text());
        if (!mnemonic.isEmpty())
            letters.insert(QChar(mnemonic[0].key()).toLower());
    }
    return letters;
}
