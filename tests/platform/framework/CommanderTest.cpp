#include "LCommander.h"
#include "LString.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A commander that obeys its own commands and records who got what.
struct Node : LCommander {
    Node(const char* name, LCommander* super, std::vector<std::string>* log)
        : LCommander(super)
        , name(name)
        , log(log)
    {
    }
    bool ObeyCommand(CommandT command, void* param) override
    {
        log->push_back(name + ":" + std::to_string(command));
        if (command == handles)
            return true;
        return LCommander::ObeyCommand(command, param);
    }
    void FindCommandStatus(CommandT command, Boolean& enabled, Boolean& usesMark, UInt16& mark, Str255& text) override
    {
        if (command == handles) {
            enabled = true;
            usesMark = true;
            mark = checkMark;
            text = MakePString(QString::fromStdString(name));
            return;
        }
        LCommander::FindCommandStatus(command, enabled, usesMark, mark, text);
    }
    bool HandleKeyPress(const EventRecord& event) override
    {
        log->push_back(name + ":key" + std::to_string(EventCharCode(event)));
        if (EventCharCode(event) == keyHandled)
            return true;
        return LCommander::HandleKeyPress(event);
    }
    void BeTarget() override { log->push_back(name + ":be"); }
    void DontBeTarget() override { log->push_back(name + ":dont"); }
    bool AllowDontBeTarget(LCommander*) override { return allowLeave; }

    std::string name;
    std::vector<std::string>* log;
    CommandT handles = -1;
    UInt8 keyHandled = 0;
    bool allowLeave = true;
};

struct Chain : ::testing::Test {
    std::vector<std::string> log;
    Node* app = nullptr;
    Node* window = nullptr;
    Node* pane = nullptr;
    Node* other = nullptr;

    void SetUp() override
    {
        app = new Node("app", nullptr, &log);
        LCommander::SetTopCommander(app);
        window = new Node("window", app, &log);
        pane = new Node("pane", window, &log);
        other = new Node("other", window, &log);
    }
    void TearDown() override
    {
        LCommander::SwitchTarget(nullptr);
        delete app; // deletes its subcommanders too
    }
};

} // namespace

TEST_F(Chain, CommandReachesTargetThenItsSupercommanders)
{
    app->handles = 1015;
    window->handles = 4;
    ASSERT_TRUE(LCommander::SwitchTarget(pane));
    EXPECT_TRUE(LCommander::GetTarget()->ProcessCommand(1015));
    EXPECT_EQ(log, (std::vector<std::string> { "pane:be", "pane:1015", "window:1015", "app:1015" }));
    log.clear();
    EXPECT_TRUE(LCommander::GetTarget()->ProcessCommand(4));
    EXPECT_EQ(log, (std::vector<std::string> { "pane:4", "window:4" }));
    log.clear();
    EXPECT_FALSE(LCommander::GetTarget()->ProcessCommand(9999));
    EXPECT_EQ(log.size(), 3u);
}

TEST_F(Chain, CommandStatusComesFromTheFirstCommanderThatKnowsIt)
{
    window->handles = 1019;
    LCommander::SwitchTarget(pane);
    Boolean enabled = false, usesMark = false;
    UInt16 mark = noMark;
    Str255 text;
    pane->ProcessCommandStatus(1019, enabled, usesMark, mark, text);
    EXPECT_TRUE(enabled);
    EXPECT_TRUE(usesMark);
    EXPECT_EQ(mark, checkMark);
    EXPECT_EQ(PStringToQString(text), QStringLiteral("window"));
    enabled = true;
    pane->ProcessCommandStatus(555, enabled, usesMark, mark, text);
    EXPECT_FALSE(enabled); // nobody knows it: disabled at the top
}

TEST_F(Chain, KeysTravelUpUntilHandled)
{
    window->keyHandled = 'x';
    LCommander::SwitchTarget(pane);
    EventRecord key;
    key.message = 'x';
    log.clear();
    EXPECT_TRUE(pane->ProcessKeyPress(key));
    EXPECT_EQ(log, (std::vector<std::string> { "pane:key120", "window:key120" }));
}

TEST_F(Chain, SwitchingTargetMovesDutyAndRestoreReturnsToLatentSub)
{
    LCommander::SwitchTarget(pane);
    EXPECT_TRUE(pane->IsTarget());
    EXPECT_TRUE(pane->IsOnDuty());
    EXPECT_TRUE(window->IsOnDuty());
    EXPECT_TRUE(app->IsOnDuty());

    log.clear();
    LCommander::SwitchTarget(app);
    EXPECT_EQ(log, (std::vector<std::string> { "pane:dont", "app:be" }));
    EXPECT_FALSE(pane->IsOnDuty());
    EXPECT_FALSE(window->IsOnDuty());
    EXPECT_TRUE(app->IsOnDuty());

    // The window remembers the pane as its latent sub.
    window->RestoreTarget();
    EXPECT_TRUE(pane->IsTarget());
    EXPECT_TRUE(window->IsOnDuty());
}

TEST_F(Chain, TargetThatRefusesToLeaveStays)
{
    LCommander::SwitchTarget(pane);
    pane->allowLeave = false;
    EXPECT_FALSE(LCommander::SwitchTarget(other));
    EXPECT_TRUE(pane->IsTarget());
    pane->allowLeave = true;
    EXPECT_TRUE(LCommander::SwitchTarget(other));
    EXPECT_TRUE(other->IsTarget());
    EXPECT_FALSE(pane->IsOnDuty());
}

TEST_F(Chain, DeletedTargetHandsTargetToItsSuper)
{
    LCommander::SwitchTarget(pane);
    delete pane;
    pane = nullptr;
    EXPECT_EQ(LCommander::GetTarget(), window);
    EXPECT_TRUE(window->IsOnDuty());
    EXPECT_EQ(window->GetSubCommanders().size(), 1u);
}

TEST_F(Chain, AttachmentWithTheCommandNumberCanTakeTheCommand)
{
    struct Intercept : LAttachment {
        Intercept()
            : LAttachment(1032, false)
        {
        }
        void ExecuteSelf(MessageT, void*) override { ++count; }
        int count = 0;
    };
    auto* intercept = new Intercept;
    window->AddAttachment(intercept);
    window->handles = 1032;
    LCommander::SwitchTarget(pane);
    log.clear();
    EXPECT_TRUE(pane->ProcessCommand(1032));
    EXPECT_EQ(intercept->count, 1);
    EXPECT_EQ(log, (std::vector<std::string> { "pane:1032" })); // the window itself never saw it
}

namespace {
struct Counting : LAction {
    Counting(int* value)
        : LAction(150, 7)
        , value(value)
    {
    }
    void UndoSelf() override { --*value; }
    void RedoSelf() override { ++*value; }
    int* value;
};
} // namespace

TEST_F(Chain, UndoerUndoesAndRedoesThePostedAction)
{
    app->AddAttachment(new LUndoer);
    LCommander::SwitchTarget(pane);
    Boolean enabled = true, usesMark = false;
    UInt16 mark = 0;
    Str255 text;
    pane->ProcessCommandStatus(cmd_Undo, enabled, usesMark, mark, text);
    EXPECT_FALSE(enabled);
    EXPECT_EQ(PStringToQString(text), QStringLiteral("Can't Undo"));

    int value = 1;
    pane->PostAction(new Counting(&value));
    pane->ProcessCommandStatus(cmd_Undo, enabled, usesMark, mark, text);
    EXPECT_TRUE(enabled);
    EXPECT_EQ(PStringToQString(text), QStringLiteral("Undo Typing"));

    pane->ProcessCommand(cmd_Undo);
    EXPECT_EQ(value, 0);
    pane->ProcessCommandStatus(cmd_Undo, enabled, usesMark, mark, text);
    EXPECT_EQ(PStringToQString(text), QStringLiteral("Redo Typing"));
    pane->ProcessCommandStatus(cmd_Redo, enabled, usesMark, mark, text);
    EXPECT_TRUE(enabled);
    pane->ProcessCommand(cmd_Redo);
    EXPECT_EQ(value, 1);
}

TEST(Commands, SyntheticCommandsCarryMenuAndItem)
{
    CommandT command = SyntheticCommandForMenuItem(300, 3);
    EXPECT_EQ(command, -(300 * 65536) - 3);
    SInt16 menu = 0, item = 0;
    ASSERT_TRUE(IsSyntheticCommand(command, menu, item));
    EXPECT_EQ(menu, 300);
    EXPECT_EQ(item, 3);
    EXPECT_FALSE(IsSyntheticCommand(1015, menu, item));
}

TEST(String, IndexedLoaderUsesTheHookAndCutsToCapacity)
{
    LString plain(151, 1);
    EXPECT_EQ(plain.ToQString(), QStringLiteral("Can't Undo"));
    LString missing(600, 999);
    EXPECT_EQ(missing.ToQString(), QStringLiteral("600:999"));
    LString resource(128, 0); // index 0: a single string resource, none here
    EXPECT_TRUE(resource.IsEmpty());

    LString::SetIndexedStringLoader([](LString& out, SInt16 list, SInt16 index) {
        out.Assign(QStringLiteral("hooked %1 %2 and more").arg(list).arg(index));
    });
    LString shortOne(10);
    shortOne.LoadIndexed(5, 6);
    EXPECT_EQ(shortOne.ToQString(), QStringLiteral("hooked 5 6"));
    LString::SetIndexedStringLoader(nullptr);

    LString text("abc", 4);
    text += QStringLiteral("def");
    EXPECT_EQ(text.ToQString(), QStringLiteral("abcd"));
}
