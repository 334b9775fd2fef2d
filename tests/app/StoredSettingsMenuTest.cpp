#include "AppRunSupport.h"
#include "AppTestSupport.h"

#include "AlertAnswer.h"
#include "CToolbar.h"
#include "ErrorReport.h"
#include "LMenuBar.h"
#include "PreferenceDomain.h"
#include "Preferences.h"
#include "PropertyList.h"
#include "ScriptRoutines.h"
#include "StoredSettings.h"
#include "StoredSettingsMenu.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QScopeGuard>
#include <QTimer>
#include <QWindow>

namespace {

QVariantMap Setting(const QString& name, const QString& shortcut = QString())
{
    return { { kSettingNameKey, name }, { kSettingShortcutKey, shortcut }, { kSourceKindKey, 9000 },
        { kResultKindKey, 8001 }, { kCriteriaListKey, QVariantList() } };
}

struct ShownItem {
    QString text;
    CommandT command;
    QChar key;
    bool operator==(const ShownItem&) const = default;
};

void PrintTo(const ShownItem& item, std::ostream* out)
{
    *out << item.text.toStdString() << " " << item.command << " '" << QString(item.key).toStdString() << "'";
}

bool WaitFor(const std::function<bool()>& done, int milliseconds = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

class StoredSettingsMenuTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        app = std::make_unique<TestApp>();
        app->MakeMenuBar();
        menu = app->GetMenuBar()->FetchMenu(CStoredSettingsMenu::kMenuID);
        ownItems = menu->CountItems();
        scripts = TestTempDir() + QStringLiteral("/Scripts");
        QDir().mkpath(scripts);
        settingsMenu = std::make_unique<CStoredSettingsMenu>(*app->GetMenuBar());
        settingsMenu->SetScriptsFolder(FileRef(scripts));
        SetErrorNotificationPoster([this](const SErrorReport& report) {
            reasons << report.reason;
            texts << report.text;
        });
    }
    void TearDown() override
    {
        SetErrorNotificationPoster({});
        CStoredSettingsMenu::SetScriptTimeLimit(60);
    }

    void WriteScript(const QString& name, const QByteArray& body, bool executable = true)
    {
        QFile file(scripts + QLatin1Char('/') + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(body);
        file.close();
        if (executable)
            file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
    }
    std::vector<ShownItem> Shown() const
    {
        std::vector<ShownItem> items;
        for (SInt16 i = SInt16(ownItems + 1); i <= menu->CountItems(); ++i) {
            const SMenuItem* item = menu->Item(i);
            items.push_back({ item->text, item->IsSeparator() ? 0 : item->command, item->keyChar });
        }
        return items;
    }

    std::unique_ptr<TestApp> app;
    LMenu* menu = nullptr;
    SInt16 ownItems = 0;
    QString scripts;
    std::unique_ptr<CStoredSettingsMenu> settingsMenu;
    QStringList reasons;
    QStringList texts; // what the alerts say
};

} // namespace

TEST_F(StoredSettingsMenuTest, SettingsShowWithTheirCommandsKeysAndSeparatorsThenTheScripts)
{
    SetPrefValue(kSearchSettingsKey, QVariantList { Setting("Harbours", "h"), Setting("-"), Setting("-unrated"),
                                         Setting("600:21"), Setting("Modified Today") });
    // A desktop key and a key taken already get no shortcut.
    SetPrefValue(kBatchSettingsKey, QVariantList { Setting("Stamp", "T"), Setting("Twin", "H"), Setting("Rename", "r") });
    WriteScript(QStringLiteral("mark.sh"), "#!/bin/sh\necho done > marker\n");
    WriteScript(QStringLiteral("notes.txt"), "plain text", false);
    WriteScript(QStringLiteral(".hidden.sh"), "#!/bin/sh\n");
    settingsMenu->SetUp();

    const std::vector<ShownItem> expected {
        { "Harbours", 9000, 'H' }, { "-", 0, QChar() }, { "-unrated", 9002, QChar() }, { "600:21", 9003, QChar() },
        { "Modified Today", 9004, QChar() }, { "-", 0, QChar() }, { "Stamp", 9500, QChar() }, { "Twin", 9501, QChar() },
        { "Rename", 9502, 'R' }, { "-", 0, QChar() }, { "mark.sh", -4099, QChar() } };
    EXPECT_EQ(Shown(), expected);
    EXPECT_EQ(menu->Item(SInt16(ownItems + 1))->keyModifiers, cmdKey | optionKey);

    // Rebuilding gives the same menu and the same script commands, however often.
    for (int i = 0; i < 3; ++i)
        settingsMenu->Rebuild();
    EXPECT_EQ(Shown(), expected);
    EXPECT_EQ(settingsMenu->GetScripts().size(), 1u);
}

TEST_F(StoredSettingsMenuTest, WithoutSettingsTheMenuHasItsItemsTwoSeparatorsAndTheScripts)
{
    SetPrefValue(kSearchSettingsKey, QVariantList());
    SetPrefValue(kBatchSettingsKey, QVariantList());
    WriteScript(QStringLiteral("a.sh"), "#!/bin/sh\n");
    settingsMenu->SetUp();
    EXPECT_EQ(Shown(), (std::vector<ShownItem> { { "-", 0, QChar() }, { "-", 0, QChar() }, { "a.sh", -4099, QChar() } }));

    // Without a Scripts folder the settings still show.
    SetPrefValue(kSearchSettingsKey, QVariantList { Setting("Harbours") });
    settingsMenu->SetScriptsFolder(FileRef(scripts + QStringLiteral("/missing")));
    settingsMenu->Rebuild();
    EXPECT_EQ(Shown(), (std::vector<ShownItem> { { "Harbours", 9000, QChar() }, { "-", 0, QChar() } }));
}

TEST_F(StoredSettingsMenuTest, ScriptsRunWithoutHoldingInputAndFailuresCarryTheirOutput)
{
    WriteScript(QStringLiteral("1-mark.sh"), "#!/bin/sh\necho done > marker\n");
    WriteScript(QStringLiteral("2-fail.sh"), "#!/bin/sh\necho boom\nexit 3\n");
    WriteScript(QStringLiteral("3-hang.sh"), "#!/bin/sh\nsleep 30\n");
    settingsMenu->SetUp();
    SInt32 script = 0;
    ASSERT_TRUE(settingsMenu->IsScriptCommand(-4099, script));
    EXPECT_EQ(script, 1);
    EXPECT_FALSE(settingsMenu->IsScriptCommand(-4096, script));

    settingsMenu->RunScript(1);
    ASSERT_TRUE(WaitFor([&] { return QFile::exists(scripts + QStringLiteral("/marker")); }));
    ASSERT_TRUE(WaitFor([&] { return settingsMenu->GetRunWindow() == nullptr; }));
    EXPECT_TRUE(reasons.isEmpty());

    settingsMenu->RunScript(2);
    ASSERT_TRUE(WaitFor([&] { return !reasons.isEmpty(); }));
    EXPECT_TRUE(reasons.constFirst().contains(QStringLiteral("boom"))) << reasons.constFirst().toStdString();

    // A hanging script shows its window with a Stop and is stopped at the limit.
    CStoredSettingsMenu::SetScriptTimeLimit(1);
    reasons.clear();
    settingsMenu->RunScript(3);
    ASSERT_NE(settingsMenu->GetRunWindow(), nullptr);
    EXPECT_TRUE(settingsMenu->GetRunWindow()->isVisible());
    ASSERT_TRUE(WaitFor([&] { return !reasons.isEmpty(); }, 5000));
    EXPECT_TRUE(WaitFor([&] { return settingsMenu->GetRunWindow() == nullptr; }));
}

TEST_F(StoredSettingsMenuTest, AScriptThatPrintsMuchKeepsOnlyItsTailAndItsAlertShowsIt)
{
    // Twenty megabytes on one line, the last words on the other stream, then the
    // script waits for the test before it fails.
    WriteScript(QStringLiteral("chatty.sh"),
        "#!/bin/sh\nhead -c 20000000 /dev/zero | tr '\\0' x\nprintf '\\nlast words\\n' >&2\n"
        ": > printed\nwhile [ ! -e go ]; do sleep 0.05; done\nexit 3\n");
    settingsMenu->SetUp();
    settingsMenu->RunScript(1);
    ASSERT_TRUE(WaitFor([&] { return QFile::exists(scripts + QStringLiteral("/printed")); }, 30000));
    QProcess* process = settingsMenu->GetRunProcess();
    ASSERT_NE(process, nullptr);
    EXPECT_LT(process->bytesAvailable(), 1 << 20) << "the output is read as it comes, not held";

    QFile(scripts + QStringLiteral("/go")).open(QIODevice::WriteOnly);
    ASSERT_TRUE(WaitFor([&] { return !reasons.isEmpty(); }, 10000));
    EXPECT_TRUE(texts.constFirst().contains(QStringLiteral("chatty.sh"))) << texts.constFirst().toStdString();
    EXPECT_TRUE(texts.constFirst().trimmed().endsWith(QStringLiteral("last words"))) << texts.constFirst().left(200).toStdString();
    EXPECT_LT(texts.constFirst().size(), 4096);
    EXPECT_LT(reasons.constFirst().size(), 4096);
}

TEST_F(StoredSettingsMenuTest, ARebuildWhileAScriptRunsKeepsTheScriptItems)
{
    SetPrefValue(kSearchSettingsKey, QVariantList { Setting("Harbours") });
    SetPrefValue(kBatchSettingsKey, QVariantList());
    WriteScript(QStringLiteral("1-hang.sh"), "#!/bin/sh\nsleep 30\n");
    WriteScript(QStringLiteral("2-mark.sh"), "#!/bin/sh\n");
    settingsMenu->SetUp();
    const std::vector<ShownItem> scriptsShown { { "-", 0, QChar() }, { "1-hang.sh", -4099, QChar() }, { "2-mark.sh", -4098, QChar() } };
    settingsMenu->RunScript(1);
    ASSERT_NE(settingsMenu->GetRunWindow(), nullptr);

    // The search window stores a setting while the script still runs.
    SetPrefValue(kSearchSettingsKey, QVariantList { Setting("Harbours"), Setting("Boats") });
    settingsMenu->Rebuild();
    std::vector<ShownItem> expected { { "Harbours", 9000, QChar() }, { "Boats", 9001, QChar() }, { "-", 0, QChar() } };
    expected.insert(expected.end(), scriptsShown.begin(), scriptsShown.end());
    EXPECT_EQ(Shown(), expected);
    SInt32 script = 0;
    EXPECT_TRUE(settingsMenu->IsScriptCommand(-4098, script));
    settingsMenu->GetRunWindow()->reject(); // Stop
    ASSERT_TRUE(WaitFor([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // asked for outside any event loop
        return settingsMenu->GetRunWindow() == nullptr;
    }));

    // The toolbars offer every setting and script of the menu, the last one too.
    EXPECT_EQ(SavedSettingCommands(), (QList<CommandT> { 9000, 9001, -4099, -4098 }));
}

TEST_F(StoredSettingsMenuTest, OrganizerEditsKeepToolbarItemsOnTheirSettings)
{
    SetPrefValue(kSearchSettingsKey, QVariantList { Setting("A"), Setting("B"), Setting("C") });
    SetPrefValue(kBatchSettingsKey, QVariantList { Setting("Move files"), Setting("Stamp") });
    auto ids = [](std::initializer_list<CommandT> commands) {
        QVariantList list;
        for (CommandT command : commands)
            list << CToolbar::CopyIdentifierForCommand(command);
        return list;
    };
    SetPrefValue(kIndexToolbarIdentifier, QVariantMap { { QStringLiteral("ItemIdentifiers"), ids({ 1057, 9000, 9002, 9500, 9501 }) } });
    int rebuilds = 0;
    SetStoredSettingsChangedHook([&] { ++rebuilds; });

    CSettingsOrganizer organizer;
    EXPECT_EQ(organizer.RowNames(), (QStringList { "A", "B", "C", "Move files", "Stamp" }));
    organizer.DeleteRow(0);  // search A
    organizer.DeleteRow(2);  // now "Move files"
    EXPECT_EQ(organizer.EditRow(0, QStringLiteral("Bee"), QStringLiteral("b")), EShortcutCheck::Ok);
    EXPECT_EQ(organizer.EditRow(1, QStringLiteral("C"), QStringLiteral("l")), EShortcutCheck::Reserved);
    EXPECT_EQ(organizer.EditRow(1, QStringLiteral("C"), QStringLiteral("B")), EShortcutCheck::Taken);
    EXPECT_EQ(CopyStoredSettings(false).size(), 3); // nothing stored before Apply
    organizer.Apply();
    SetStoredSettingsChangedHook({});

    const QVariantList searches = CopyStoredSettings(false);
    ASSERT_EQ(searches.size(), 2);
    EXPECT_EQ(searches[0].toMap().value(kSettingNameKey).toString(), QStringLiteral("Bee"));
    EXPECT_EQ(searches[0].toMap().value(kSettingShortcutKey).toString(), QStringLiteral("B"));
    EXPECT_EQ(CopyStoredSettings(true).size(), 1);
    EXPECT_EQ(rebuilds, 1);
    // C (9002) is now 9001, Stamp (9501) 9500; the deleted move is off the bar.
    EXPECT_EQ(CopyPrefValue(kIndexToolbarIdentifier).toMap().value(QStringLiteral("ItemIdentifiers")).toList(), ids({ 1057, 9001, 9500 }));
}

TEST_F(StoredSettingsMenuTest, ClosingTheOrganizerAnyWayKeepsConfirmedDeletions)
{
    SetPrefValue(kSearchSettingsKey, QVariantList { Setting("A"), Setting("B") });
    SetPrefValue(kBatchSettingsKey, QVariantList());
    QTimer::singleShot(50, [] {
        LDialogBox* dialog = FindOpenDialog();
        ASSERT_NE(dialog, nullptr);
        auto* list = dynamic_cast<LListBox*>(dialog->FindPaneByID(6016));
        ASSERT_NE(list, nullptr);
        list->GetList()->setCurrentRow(0);
        // The deletion asks first; the answer comes from a later timer.
        QTimer::singleShot(50, [dialog] {
            if (LDialogBox* alert = FindOpenDialog(); alert && alert != dialog)
                dynamic_cast<LControl*>(alert->FindPaneByID(1))->SimulateHotSpotClick();
            QTimer::singleShot(50, [dialog] { dialog->ProcessCommand(cmd_Close); }); // the close box, not "Done"
        });
        dynamic_cast<LControl*>(dialog->FindPaneByID(3))->SimulateHotSpotClick();
    });
    OrganizeStoredSettings(app.get());
    const QVariantList searches = CopyStoredSettings(false);
    ASSERT_EQ(searches.size(), 1);
    EXPECT_EQ(searches[0].toMap().value(kSettingNameKey).toString(), QStringLiteral("B"));
    // The deletion is on disk already, not only when the program quits.
    QVariant onDisk;
    ASSERT_EQ(PropertyList::ReadFile(PreferenceDomain::ApplicationDomainPath(), onDisk), noErr);
    EXPECT_EQ(onDisk.toMap().value(kSearchSettingsKey).toList(), searches);
}

TEST(StoredSettingsAppMenu, ASavedSettingAppearsInTheSearchMenuAtOnce)
{
    SetPrefValue(kSearchSettingsKey, QVariantList());
    TestApp app;
    app.MakeMenuBar();
    app.SetUpMenuBar();
    LMenu* menu = app.GetMenuBar()->FetchMenu(CStoredSettingsMenu::kMenuID);
    const CommandT command = AppendStoredSetting(false, Setting(QStringLiteral("Harbours"), QStringLiteral("h")));
    EXPECT_EQ(command, 9000);
    const SInt16 item = menu->IndexFromCommand(command);
    ASSERT_GT(item, 0);
    EXPECT_EQ(menu->Item(item)->text, QStringLiteral("Harbours"));
    EXPECT_EQ(app.GetMenuBar()->FindKeyCommand('h', cmdKey | optionKey), command);
}

TEST(StoredSettingsAppMenu, AScriptChosenWhileAnotherRunsIsRefusedInWordsAndItsStopWindowStaysOverTheIndex)
{
    FileRef folder;
    ASSERT_EQ(FindOrCreateFolderBesideApp(QStringLiteral("Scripts"), folder), noErr);
    const QString marker = folder.Path() + QStringLiteral("/marker");
    const QStringList scripts { folder.Path() + QStringLiteral("/1-hang.sh"), folder.Path() + QStringLiteral("/2-mark.sh") };
    const QByteArray bodies[] = { "#!/bin/sh\nsleep 30\n", "#!/bin/sh\n: > marker\n" };
    for (int i = 0; i < 2; ++i) {
        QFile file(scripts[i]);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bodies[i]) > 0);
        file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
    }
    const auto removeScripts = qScopeGuard([&] {
        for (const QString& path : scripts + QStringList { marker })
            QFile::remove(path);
    });

    std::unique_ptr<IdleApp> app;
    CIndexDoc* document = StartWithNewIndex(app);
    ASSERT_NE(document, nullptr);
    LWindow* window = document->GetWindow();
    // The script items come once the window shows.
    QAction* hang = nullptr;
    ASSERT_TRUE(RunUntil([&] { return (hang = OpenMenuItem(window, CStoredSettingsMenu::kScriptCommandBase + 1)); }));
    ChooseMenuItemLater(hang);
    QPointer<QDialog> running;
    ASSERT_TRUE(RunUntil([&] {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<QDialog*>(top); dialog && dialog->isVisible() && dialog->windowTitle() == "1-hang.sh")
                running = dialog;
        return !running.isNull();
    }));
    ASSERT_NE(running->windowHandle(), nullptr);
    EXPECT_EQ(running->windowHandle()->transientParent(), window->GetShell()->windowHandle())
        << "the Stop window is kept above the index window";

    // The second script is refused in words; it does not run behind the user's back.
    QAction* mark = OpenMenuItem(window, CStoredSettingsMenu::kScriptCommandBase + 2);
    ASSERT_NE(mark, nullptr);
    StAlertAnswers answers(1);
    ChooseMenuItemLater(mark);
    ASSERT_TRUE(RunUntil([&] { return !answers.Texts().isEmpty(); })) << "nothing told the user";
    EXPECT_TRUE(answers.Texts().constFirst().contains(QStringLiteral("1-hang.sh"))) << answers.Texts().constFirst().toStdString();
    EXPECT_TRUE(answers.Texts().constFirst().contains(QStringLiteral("2-mark.sh")));
    EXPECT_FALSE(QFile::exists(marker));
    ASSERT_FALSE(running.isNull());
    EXPECT_TRUE(running->isVisible());

    QPushButton* stop = running->findChild<QPushButton*>();
    ASSERT_NE(stop, nullptr);
    QTest::mouseClick(stop, Qt::LeftButton);
    EXPECT_TRUE(RunUntil([&] {
        FlushDeletes();
        return running.isNull();
    }));
}
