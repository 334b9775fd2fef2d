#include "AppRunSupport.h"
#include "ErrorCodes.h"
#include "AppTestSupport.h"
#include "CContextualMenu.h"
#include "CIndexToolbar.h"
#include "IndexTheme.h"
#include "ItemWindows.h"
#include "UReportErrors.h"
#include "CMediaWindow.h"
#include "ErrorHook.h"
#include "LDialogBox.h"
#include "LMenuBar.h"
#include "LWindow.h"
#include "OpenWithMenu.h"
#include "PreferenceDomain.h"
#include "Preferences.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDebug>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QTimer>

// Every command a user can choose must do something the user can see: open a
// window or a dialog, change the index, its window or the clipboard, hand an
// address to the desktop. The check goes through every menu of the menu bar (and
// the media window's contextual menu) in a fresh index with a selection: each
// enabled command is chosen in an index of its own, and what is there after it is
// compared with what was there before.

namespace {

// Addresses the program hands to the desktop, kept instead of opened.
class OpenedAddresses : public QObject {
    Q_OBJECT
public:
    OpenedAddresses()
    {
        for (const char* scheme : { "file", "http", "https", "mailto", "help" })
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "Open");
    }
    ~OpenedAddresses() override
    {
        for (const char* scheme : { "file", "http", "https", "mailto", "help" })
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }
    Q_INVOKABLE void Open(const QUrl& url) { opened << url.toString(); }
    QStringList opened;
};

// Answers every modal dialog by its cancel button (or its only one), noting its title.
class DialogCloser {
public:
    DialogCloser()
    {
        mTimer.setInterval(30);
        QObject::connect(&mTimer, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal)
                return;
            seen << QStringLiteral("%1 \"%2\"").arg(QString::fromLatin1(modal->metaObject()->className()), modal->windowTitle());
            CancelModal(modal);
        });
        mTimer.start();
    }
    QStringList seen;

private:
    QTimer mTimer;
};

QString Describe(const QVariant& value)
{
    QString text;
    QDebug(&text) << value;
    return text;
}

// What a user can see of the program, and what it keeps.
QStringList Snapshot()
{
    QStringList facts;
    for (CIndexDoc* document : OpenIndexDocuments()) {
        CIndexView* view = IndexViewOfDocument(document);
        facts << QStringLiteral("index %1 modified %2 items %3/%4 selected %5 mode %6 theme %7 full %8 size %9")
                     .arg(document->GetDescriptor())
                     .arg(document->IsModified())
                     .arg(view->CountItems())
                     .arg(view->CountAllItems())
                     .arg(view->CountSelectedItems())
                     .arg(view->GetViewMode())
                     .arg(view->GetTheme())
                     .arg(view->IsFullScreen())
                     .arg(view->GetThumbnailSize());
        facts << QStringLiteral("bars %1 %2 panes %3 %4 sort %5 %6 tasks %7 filtered %8")
                     .arg(document->IsToolbarShown())
                     .arg(document->IsStatusBarShown())
                     .arg(document->IsSourceViewShown())
                     .arg(document->IsOrganizerViewShown())
                     .arg(view->GetSortKey())
                     .arg(view->GetSortOrder())
                     .arg(view->CountRunningTasks())
                     .arg(view->IsFiltered());
        for (CIndexItem* item : view->GetItemList())
            facts << QStringLiteral("item %1 %2").arg(item->GetName()).arg(item->IsThumbnailLookedFor());
    }
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible())
            facts << QStringLiteral("window %1 \"%2\" %3 %4x%5+%6+%7")
                         .arg(QString::fromLatin1(widget->metaObject()->className()), widget->windowTitle())
                         .arg(int(widget->windowState()))
                         .arg(widget->width())
                         .arg(widget->height())
                         .arg(widget->x())
                         .arg(widget->y());
    }
    const QMimeData* clipboard = QGuiApplication::clipboard()->mimeData();
    facts << QStringLiteral("clipboard %1").arg(clipboard ? clipboard->formats().join(',') : QString());
    facts << QStringLiteral("preferences %1").arg(Describe(PreferenceDomain::Application().Values()));
    return facts;
}

// Every command of a menu and its submenus, in order.
void CollectCommands(LMenuBar* bar, LMenu* menu, std::vector<std::pair<LMenu*, SInt16>>& out)
{
    for (SInt16 i = 1; i <= menu->CountItems(); ++i) {
        const SMenuItem* item = menu->Item(i);
        if (item->IsSeparator())
            continue;
        if (item->submenuID != 0) {
            if (LMenu* sub = bar->FetchMenu(item->submenuID))
                CollectCommands(bar, sub, out);
            continue;
        }
        out.emplace_back(menu, i);
    }
}

class MenuCheck : public ::testing::Test {
protected:
    void SetUp() override
    {
        keptPreferences = PreferenceDomain::Application().Values();
        SetPrefBoolean(QStringLiteral("ConfirmDelete"), true);
        CItemWindows::Install(); // as the program's entry does
        app = std::make_unique<IdleApp>();
        app->ClearRecentItems();
        app->MakeMenuBar();
        app->Initialize();
        bar = app->GetMenuBar();
        SetErrorReportHook([this](const ExceptionCode& error) { errors << QString::fromStdString(error.what()); });
        QGuiApplication::clipboard()->clear();
    }
    void TearDown() override
    {
        SetErrorReportHook(nullptr);
        CloseEverything();
        app.reset();
        // The commands chosen (saving the window as the default among them) leave
        // the preferences as the next test expects them.
        PreferenceDomain& preferences = PreferenceDomain::Application();
        for (const QString& key : preferences.Values().keys())
            if (!keptPreferences.contains(key))
                preferences.Remove(key);
        for (auto kept = keptPreferences.cbegin(); kept != keptPreferences.cend(); ++kept)
            preferences.SetValue(kept.key(), kept.value());
    }
    QVariantMap keptPreferences;
    // A new index of three photographs with the first selected, its view the target.
    CIndexView* FreshIndex()
    {
        app->MakeNewDocument();
        CIndexDoc* document = OpenIndexDocuments().back();
        // Copies: commands such as a rating write into the files.
        const QString folder = TestTempDir() + QStringLiteral("/photos %1").arg(++fresh);
        EXPECT_TRUE(QDir().mkpath(folder));
        for (const QString& photo : CameraPhotos().mid(0, 3)) {
            const QString copy = folder + QLatin1Char('/') + QFileInfo(photo).fileName();
            EXPECT_TRUE(QFile::copy(photo, copy));
            document->AddItem(QUrl::fromLocalFile(copy));
        }
        CIndexView* view = SelectFirstItemWhenIdle(document);
        return view;
    }
    int fresh = 0;
    void CloseEverything()
    {
        while (!LDocument::GetDocumentList().empty())
            delete LDocument::GetDocumentList().back();
        FlushDeletes();
        while (!CMediaWindow::GetWindowList().empty())
            delete CMediaWindow::GetWindowList().back();
        FlushDeletes();
        for (QWidget* widget : QApplication::topLevelWidgets())
            widget->hide();
        ProcessEventsFor(20);
    }
    // Runs a command as the menu does; what it did, or why it did nothing.
    QString Choose(LCommander* target, CommandT command, const std::function<QStringList()>& snapshot)
    {
        OpenedAddresses addresses;
        DialogCloser dialogs;
        errors.clear();
        const QStringList before = snapshot();
        bool handled = false;
        RunReportingErrors([&] { handled = target->ProcessCommand(command, nullptr); });
        const QStringList at = snapshot(); // before tasks it started have finished
        ProcessEventsFor(150);
        const QStringList after = snapshot();
        // On a desktop with nothing that shows folders or web pages (as here), the
        // user being told so is what the command does.
        static const QStringList kNothingToShowWith { QString::number(kMsgNoFileManager), QString::number(kMsgNoBrowser) };
        if (errors.size() == 1 && kNothingToShowWith.contains(errors.front()))
            return {};
        if (!errors.isEmpty())
            return QStringLiteral("reported ") + errors.join(QStringLiteral("; "));
        if (!handled)
            return QStringLiteral("not handled");
        if (at == before && after == before && dialogs.seen.isEmpty() && addresses.opened.isEmpty())
            return QStringLiteral("nothing observable");
        return {};
    }

    std::unique_ptr<IdleApp> app;
    LMenuBar* bar = nullptr;
    QStringList errors;
};

} // namespace

TEST_F(MenuCheck, EveryEnabledCommandOfTheMenuBarDoesSomethingInAFreshIndexWithASelection)
{
    ASSERT_GE(CameraPhotos().size(), 3);
    FreshIndex(); // the first index view fills the menus of the views (the themes)
    CloseEverything();
    std::vector<std::pair<LMenu*, SInt16>> items;
    for (LMenu* menu : bar->GetBarMenus())
        CollectCommands(bar, menu, items);
    ASSERT_GT(items.size(), 80u);

    QStringList enabled, faults;
    for (const auto& [menu, index] : items) {
        CIndexView* view = FreshIndex();
        const CommandT command = menu->CommandFromIndex(index);
        bar->UpdateMenu(menu);
        const SMenuItem* item = menu->Item(index);
        const QString name = QStringLiteral("%1 ▸ %2 (%3)").arg(menu->GetTitle(), item->text).arg(command);
        // Choosing the checked item of a choice (the present view, theme or window) changes nothing, rightly.
        const bool checkedChoice = item->mark != noMark && (menu->GetMenuID() == kPatternMenuID || menu->GetMenuID() == kWindowMenuID
                                                               || command == kCmdThumbnailView);
        // Quit ends the program's loop for good; the end-to-end test quits as a user does.
        if (item->enabled && !checkedChoice && command != cmd_Quit) {
            enabled << name;
            const QString fault = Choose(view, command, Snapshot);
            if (!fault.isEmpty())
                faults << name + QStringLiteral(": ") + fault;
        }
        CloseEverything();
    }
    EXPECT_TRUE(faults.isEmpty()) << faults.join('\n').toStdString();
    // The check reached the commands a user starts with.
    for (const char* expected : { "New Index (2)", "Open… (3)", "Get Info (1010)", "Select All (16)", "Deselect All (1063)", "Full Screen (1068)", "Index Properties… (1056)",
             "as Extended Thumbnails (1019)", "Reveal in File Manager (1016)", "Open Selected Items (1091)", "Slideshow (1012)" })
        EXPECT_TRUE(enabled.filter(QString::fromUtf8(expected)).size() == 1) << expected;
}

TEST_F(MenuCheck, EveryEnabledCommandOfTheMediaWindowsMenuDoesSomething)
{
    ASSERT_GE(CameraPhotos().size(), 3);
    CIndexView* view = FreshIndex();
    view->OpenSelectedItem();
    ASSERT_TRUE(RunUntil([] { return !CMediaWindow::GetWindowList().empty(); }));
    QMenu menu;
    CMediaWindow* window = CMediaWindow::GetWindowList().front();
    window->Select();
    LCommander::SwitchTarget(window);
    window->AddItems(&menu);
    std::vector<CommandT> commands;
    for (QAction* action : menu.actions()) {
        if (!action->isSeparator() && action->isEnabled() && !action->menu())
            commands.push_back(MenuItemCommand(action));
    }
    ASSERT_GE(commands.size(), 3u);
    CloseEverything();

    QStringList faults;
    for (CommandT command : commands) {
        FreshIndex()->OpenSelectedItem();
        ASSERT_TRUE(RunUntil([] { return !CMediaWindow::GetWindowList().empty(); }));
        CMediaWindow* media = CMediaWindow::GetWindowList().front();
        media->Select();
        LCommander::SwitchTarget(media);
        const QString fault = Choose(media, command, Snapshot);
        if (!fault.isEmpty())
            faults << QStringLiteral("%1: %2").arg(command).arg(fault);
        CloseEverything();
    }
    EXPECT_TRUE(faults.isEmpty()) << faults.join('\n').toStdString();
}


namespace {

// The states of an index window a command's status depends on, made the way
// the program makes them (not by a click, so nothing but the state itself asks
// the menus and the toolbar to follow).
struct WindowState {
    const char* name;
    std::function<void(CIndexView*)> enter;
};

const WindowState kWindowStates[] = {
    { "nothing selected", [](CIndexView* view) { view->DeselectAll(); } },
    { "one selected", [](CIndexView* view) { view->DeselectAll(); view->SelectIndex(2); } },
    { "filtered", [](CIndexView* view) {
         view->SelectIndex(2);
         view->ShowSelectedOnly();
         view->SelectIndex(1);
     } },
    { "list locked", [](CIndexView* view) { view->LockItemList(); } },
    { "screen locked", [](CIndexView* view) {
         view->SetPassword("harbour");
         view->LockScreen();
     } },
};

// The commands of a contextual menu's enabled items, its submenus' included,
// leaving out the applications of Open With (choosing one starts a program).
void CollectEnabled(QMenu* menu, std::vector<CommandT>& out)
{
    for (QAction* action : menu->actions()) {
        if (action->isSeparator() || !action->isEnabled())
            continue;
        if (action->menu()) {
            if (MenuItemCommand(action) != cmd_OpenWithItem)
                CollectEnabled(action->menu(), out);
            continue;
        }
        out.push_back(MenuItemCommand(action));
    }
}

} // namespace

TEST_F(MenuCheck, TheToolbarAndTheContextualMenuFollowTheIndexWindowInEveryState)
{
    ASSERT_GE(CameraPhotos().size(), 3);
    QStringList faults;
    for (const WindowState& state : kWindowStates) {
        CIndexView* view = FreshIndex();
        CIndexDoc* document = OpenIndexDocuments().back();
        CToolbar* toolbar = document->GetToolbar();
        QStringList allowed;
        toolbar->CopyAllowedIdentifiers(allowed);
        toolbar->SetItemIdentifiers(allowed); // every command a user can put there
        document->ShowToolbar();
        ProcessEventsFor(50);
        state.enter(view);
        ProcessEventsFor(50);
        app->SpendTime(EventRecord {}); // the idle pass brings menus and toolbar up to date
        auto status = [&](CommandT command) {
            Boolean enabled = false, usesMark = false;
            UInt16 mark = noMark;
            Str255 name;
            view->ProcessCommandStatus(command, enabled, usesMark, mark, name);
            return bool(enabled);
        };
        for (const QString& identifier : allowed) {
            const CommandT command = CToolbar::CommandForIdentifier(identifier);
            QAction* item = toolbar->FindItem(identifier);
            if (command == cmd_Nothing || !item || command == cmd_HideOrganizer || command == cmd_HideSource)
                continue;
            const bool shown = item->isEnabled(); // before asking: the view's answer reaches the toolbar too
            if (shown != status(command))
                faults << QStringLiteral("%1: toolbar item %2 shows %3").arg(state.name).arg(command).arg(shown);
        }
        QMenu menu;
        view->AddItems(&menu);
        std::vector<CommandT> offered;
        CollectEnabled(&menu, offered);
        for (CommandT command : offered) {
            if (!status(command))
                faults << QStringLiteral("%1: the contextual menu offers %2, which is off").arg(state.name).arg(command);
        }
        if (CIndexView::IsScreenLocked() && !menu.actions().isEmpty())
            faults << QStringLiteral("the locked screen has a contextual menu");
        gIndexWindowLocked = false;
        view->UnlockItemList();
        CloseEverything();
    }
    EXPECT_TRUE(faults.isEmpty()) << faults.join('\n').toStdString();
}

// The menu bar's item commands are on only when they have something to act on.
TEST_F(MenuCheck, ItemCommandsOfTheMenuBarFollowTheSelection)
{
    ASSERT_GE(CameraPhotos().size(), 3);
    const auto enabled = [&](CommandT command) {
        for (LMenu* menu : bar->GetBarMenus()) {
            if (const SInt16 index = menu->IndexFromCommand(command)) {
                bar->UpdateMenu(menu);
                return bool(menu->Item(index)->enabled);
            }
        }
        ADD_FAILURE() << "no item of command " << command;
        return false;
    };
    struct Case {
        int selected; // of three
        CommandT command;
        bool on;
    };
    // Three photographs on this disk: none has an address to download it again from.
    const Case cases[] = {
        { 0, cmd_OpenSelectedItems, false },
        { 0, cmd_OpenSelected, true }, // the slideshow starts at the first
        { 0, cmd_DownloadAgain, false },
        { 0, cmd_Copy, false },
        { 1, cmd_OpenSelectedItems, true },
        { 1, cmd_DownloadAgain, false },
        { 1, cmd_Copy, true },
        { 3, cmd_Copy, true },
        { 3, cmd_DownloadAgain, false },
    };
    QStringList faults;
    CIndexView* view = FreshIndex();
    for (const Case& c : cases) {
        view->DeselectAll();
        if (c.selected == 1)
            view->SelectIndex(2);
        else if (c.selected == 3)
            view->SelectAll();
        ProcessEventsFor(20);
        if (enabled(c.command) != c.on)
            faults << QStringLiteral("%1 selected: %2 is %3").arg(c.selected).arg(c.command).arg(c.on ? "off" : "on");
    }
    EXPECT_TRUE(faults.isEmpty()) << faults.join('\n').toStdString();

    // Copy with every item selected gives their files, as a file manager takes them.
    view->ProcessCommand(cmd_SelectAll, nullptr);
    ASSERT_TRUE(view->ProcessCommand(cmd_Copy, nullptr));
    const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(copied, nullptr);
    EXPECT_EQ(copied->urls().size(), 3);
}

#include "MenuCheckTest.moc"
