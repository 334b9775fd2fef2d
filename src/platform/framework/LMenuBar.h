#pragma once

#include "LCommander.h"

#include <QIcon>
#include <QKeySequence>
#include <QPointer>
#include <QSet>
#include <QString>
#include <memory>
#include <vector>

class QMenu;
class QMenuBar;
class QKeyEvent;

// One item of a menu resource.
struct SMenuItem {
    QString text;        // shown text (already localized)
    CommandT command = cmd_Nothing;
    QChar keyChar;       // key equivalent, upper case; null for none
    UInt16 keyModifiers = cmdKey;
    QKeySequence extraShortcut; // a second key of this desktop's own (F11), any modifiers
    ResIDT submenuID = 0;
    bool enabled = true;
    bool dynamic = false; // shown in place of the item before it while Option is held
    // The key is lent by the window it is typed in: the target chain is offered it
    // first and the item runs only when none of them takes it (a recent item's digit).
    bool keyLent = false;
    UInt16 mark = noMark;
    QIcon icon;
    // An item of one window's own (the columns of its list): it shows only in the
    // menu bar of the window this widget is in. Null: in every window's. The owner
    // removes its items before it goes.
    const QWidget* owner = nullptr;

    // Only the exact text "-": a name such as "-unrated" is an item.
    bool IsSeparator() const { return text == QLatin1String("-"); }
};

// A menu made from resources/menus/<ID>.json:
//   { "id": 129, "title": "File", "items": [ { "text": "New", "command": 2,
//     "key": "N", "modifiers": ["shift"], "shortcut": "F11", "submenu": 145 }, { "text": "-" } ] }
// Titles and item texts are keys into the strings table. Item numbers are 1-based;
// an item without a command answers the synthetic command of its menu and number.
class LMenu {
public:
    LMenu(ResIDT menuID, const QString& title);
    static std::unique_ptr<LMenu> Load(ResIDT menuID);

    ResIDT GetMenuID() const { return mMenuID; }
    const QString& GetTitle() const { return mTitle; }
    void SetTitle(const QString& title) { mTitle = title; }
    SInt16 CountItems() const { return SInt16(mItems.size()); }
    SMenuItem* Item(SInt16 index);
    const SMenuItem* Item(SInt16 index) const;

    CommandT CommandFromIndex(SInt16 index) const;
    // 0 when no item carries the command.
    SInt16 IndexFromCommand(CommandT command) const;
    // The item of the command that belongs to `owner`; 0 when it has none.
    SInt16 IndexFromCommand(CommandT command, const QWidget* owner) const;
    void RemoveItemsOf(const QWidget* owner);
    void SetCommand(SInt16 index, CommandT command);
    // Inserts after `afterIndex` (0: at the top; past the end: at the end).
    void InsertItem(const SMenuItem& item, SInt16 afterIndex);
    void InsertCommand(const QString& text, CommandT command, SInt16 afterIndex);
    void RemoveItem(SInt16 index);
    void RemoveCommand(CommandT command);
    void SetItemText(SInt16 index, const QString& text);
    bool HasItemText(const QString& text) const;

private:
    ResIDT mMenuID;
    QString mTitle;
    std::vector<SMenuItem> mItems;
};

// The menu bar: the menus of resources/menus/MenuBar.json ({ "menus": [129, ...] }),
// shared by every document window. Each window shows its own QMenuBar built from
// it; before a menu opens (and before a key equivalent fires) the target chain's
// FindCommandStatus decides what is enabled, marked and how it reads, and a
// chosen item goes to the target as ProcessCommand. The standard commands get the
// usual shortcuts of this desktop.
class LMenuBar {
public:
    LMenuBar();
    explicit LMenuBar(ResIDT menuBarID);
    ~LMenuBar();

    static LMenuBar* GetCurrentMenuBar() { return sMenuBar; }

    // Adds a menu to the bar (before the menu `beforeID`, 0 at the end) or, with
    // `hierarchical`, as a submenu only.
    LMenu* InstallMenu(std::unique_ptr<LMenu> menu, ResIDT beforeID = 0, bool hierarchical = false);
    void RemoveMenu(ResIDT menuID);
    LMenu* FetchMenu(ResIDT menuID) const;
    const std::vector<LMenu*>& GetBarMenus() const { return mBarMenus; }

    // The menu and item that carry a command (synthetic commands name them);
    // false when none does.
    bool FindMenuItem(CommandT command, LMenu*& outMenu, SInt16& outItem) const;
    CommandT FindCommand(ResIDT menuID, SInt16 item) const;
    // The command whose key equivalent this is; cmd_Nothing when none.
    CommandT FindKeyCommand(UInt8 charCode, UInt16 modifiers) const;
    // The command whose extra shortcut this is; cmd_Nothing when none.
    CommandT FindShortcutCommand(const QKeySequence& pressed) const;

    // Asks the target chain about every item.
    void UpdateMenus();
    void UpdateMenu(LMenu* menu);

    // Runs the key equivalent of a key press, when there is one and it is enabled.
    bool HandleKeyEquivalent(const EventRecord& event);
    // Runs the command of an extra shortcut, when one has it and it is enabled.
    bool HandleShortcut(const QKeySequence& pressed);
    // Chooses an item as the user would; false when it is disabled.
    bool ChooseItem(ResIDT menuID, SInt16 item);

    // A QMenuBar for a window; it follows this model.
    QMenuBar* MakeQMenuBar(QWidget* parent = nullptr);
    QMenu* MakeQMenu(LMenu* menu, QWidget* parent);

    static QKeySequence ShortcutFor(const SMenuItem& item);
    static void AddMenuFolder(const QString& folder);

    // Builds the menus of every window's QMenuBar again (after menus were added or removed).
    void RefreshQMenuBars();

private:
    void FillQMenuBar(QMenuBar* bar);
    // Runs the item a key names, when it is enabled.
    bool RunKeyItem(LMenu* menu, SInt16 index);
    // Offers a lent key to the target chain; true when one of them took it.
    static bool TargetTakesLentKey(const EventRecord& event);
    static void DispatchCommand(CommandT command);
    bool FindShortcutItem(const QKeySequence& pressed, LMenu*& outMenu, SInt16& outItem) const;

    std::vector<std::unique_ptr<LMenu>> mMenus;
    std::vector<LMenu*> mBarMenus;
    std::vector<QPointer<QMenuBar>> mQBars;
    QObject* mKeyFilter = nullptr;
    static inline LMenuBar* sMenuBar = nullptr;
};

// Whether the menu holds an item with that text.
bool MenuHasItemText(const LMenu* menu, const QString& text);

// The texts with an Alt mnemonic each ("&File"), for a menu bar's titles or one
// menu's items: a word's first letter where it is free, else any free letter or
// digit; a text with none free gets none. A "&" of the text itself is doubled.
// Letters in `taken` (lower case) belong to others already: the window's menus.
// With `trade`, a text left without one takes the letter of an earlier text that
// can have another instead, so that as many texts as can have one.
QStringList WithMnemonics(const QStringList& texts, const QSet<QChar>& taken = {}, bool trade = false);
// The lower-case letters the menu bar's titles answer to with Alt.
QSet<QChar> MnemonicLetters(const QMenuBar& bar);
