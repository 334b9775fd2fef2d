#include "CCarbonEditText.h"
#include "InterfaceTestSupport.h"
#include "Preferences.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>
#include <QTest>

namespace {

// A window with an undoer, holding one edit text that is the target.
struct EditFixture : ::testing::Test {
    LWindow* window = nullptr;
    CCarbonEditText* edit = nullptr;
    std::vector<MessageT> heard;

    void Make(SInt16 filter, SInt32 maxLength = 255, const QString& text = QString())
    {
        window = new LWindow(WindowInfo(30, 30, 300, 100), kRegularWindowAttributes, QStringLiteral("Edit"), nullptr);
        window->AddAttachment(new LUndoer);
        SPaneInfo info { 'name', 200, 22, true, true, {}, 10, 10, 0, window };
        edit = new CCarbonEditText(info, text, filter, maxLength);
        edit->SetSuperCommander(window);
        edit->SetValueMessage(1234);
        window->Show();
        window->Select();
        LCommander::SwitchTarget(edit);
    }
    void TearDown() override
    {
        delete window;
        FlushDeletes();
    }
    QString Text() const { return edit->GetCFDescriptor(); }
    // One key press per character, as a keyboard of any language sends them.
    void Type(const QString& keys)
    {
        for (QChar c : keys) {
            QKeyEvent press(QEvent::KeyPress, c.isLetter() && c.unicode() < 0x80 ? Qt::Key_A + (c.toUpper().unicode() - 'A') : Qt::Key_unknown,
                Qt::NoModifier, QString(c));
            QApplication::sendEvent(edit->GetLineEdit(), &press);
        }
    }
    void Commit(const QString& text)
    {
        QInputMethodEvent event;
        event.setCommitString(text);
        QApplication::sendEvent(edit->GetLineEdit(), &event);
    }
};

TEST_F(EditFixture, KeyFiltersRefuseWhatTheyMust)
{
    Make(keyFilter_Integer);
    Type(QStringLiteral("12a3"));
    EXPECT_EQ(Text(), QStringLiteral("123"));
    Commit(QStringLiteral("45")); // more than one character at once: ignored
    EXPECT_EQ(Text(), QStringLiteral("123"));
    Commit(QStringLiteral("4"));
    EXPECT_EQ(Text(), QStringLiteral("1234"));
    QTest::keyClick(edit->GetLineEdit(), Qt::Key_Backspace);
    EXPECT_EQ(Text(), QStringLiteral("123"));
    QTest::keyClick(edit->GetLineEdit(), Qt::Key_Home);
    SInt16 start, end;
    edit->GetSelection(start, end);
    EXPECT_EQ(start, 0);
    EXPECT_EQ(end, 0);
}

TEST_F(EditFixture, TabMovesOnAndReturnGoesUpTheChain)
{
    Make(keyFilter_Printing);
    auto* next = new CCarbonEditText(SPaneInfo { 'next', 200, 22, true, true, {}, 10, 40, 0, window }, QString());
    next->SetSuperCommander(window);
    edit->GetLineEdit()->setFocus();
    QTest::keyClick(edit->GetLineEdit(), Qt::Key_Tab);
    EXPECT_TRUE(next->GetLineEdit()->hasFocus());
    EXPECT_TRUE(edit->GetCFDescriptor().isEmpty()); // no tab character typed

    struct Keys : LAttachment {
        Keys() : LAttachment(msg_KeyPress) {}
        void ExecuteSelf(MessageT, void* ioParam) override { chars.append(EventCharCode(*static_cast<EventRecord*>(ioParam))); }
        QList<UInt8> chars;
    };
    auto* keys = new Keys;
    window->AddAttachment(keys);
    QTest::keyClick(next->GetLineEdit(), Qt::Key_Return);
    EXPECT_TRUE(keys->chars.contains(UInt8(char_Return)));
    EXPECT_TRUE(next->GetCFDescriptor().isEmpty());
}

TEST_F(EditFixture, NegativeNumbersTakeTheMinusOnlyAtTheStart)
{
    Make(keyFilter_NegativeInteger);
    Type(QStringLiteral("-12-3"));
    EXPECT_EQ(Text(), QStringLiteral("-123"));
    EXPECT_EQ(edit->GetValue(), -123);
}

TEST_F(EditFixture, FilterStatusesByTheTable)
{
    EXPECT_EQ(EditTextKeyStatus(keyFilter_AlphaNumeric, QStringLiteral("_"), 0, 0, 0), keyStatus_Reject);
    EXPECT_EQ(EditTextKeyStatus(keyFilter_AlphaNumeric, QStringLiteral("ab"), 0, 0, 0), keyStatus_Ignore);
    EXPECT_EQ(EditTextKeyStatus(keyFilter_Printing, QStringLiteral("ab"), 0, 0, 0), keyStatus_Input);
    EXPECT_EQ(EditTextKeyStatus(keyFilter_PrintingAndReturn, QStringLiteral("\r"), vkey_Return, 0, 0), keyStatus_InsertReturnAsIs);
    EXPECT_EQ(EditTextKeyStatus(keyFilter_Printing, QStringLiteral("\r"), vkey_Return, 0, 0), keyStatus_PassUp);
    EXPECT_EQ(EditTextKeyStatus(keyFilter_Integer, QStringLiteral("x"), 0, cmdKey, 0), keyStatus_Input);
    EXPECT_EQ(EditTextKeyStatus(keyFilter_NegativeInteger, QStringLiteral("-"), 0, 0, 2), keyStatus_Reject);
    EXPECT_EQ(EditTextKeyStatus(keyFilter_Integer, QString(QChar(char_Backspace)), vkey_Backspace, 0, 0), keyStatus_TEDelete);
    EXPECT_EQ(EditTextKeyStatus(keyFilter_Integer, QString(QChar(char_LeftArrow)), vkey_LeftArrow, 0, 0), keyStatus_TECursor);
}

TEST_F(EditFixture, TheLengthLimitCountsCharactersNotBytes)
{
    Make(keyFilter_Printing, 5);
    Type(QStringLiteral("ééééé")); // ten bytes in UTF-8, five characters
    EXPECT_EQ(Text(), QStringLiteral("ééééé"));
    Type(QStringLiteral("x"));
    EXPECT_EQ(Text(), QStringLiteral("ééééé"));
    EXPECT_TRUE(edit->WouldExceedMaxLength(1));

    // Pasting three characters over a selection of three fits; four do not.
    edit->SetSelection(1, 4);
    QApplication::clipboard()->setText(QStringLiteral("abc"));
    EXPECT_TRUE(edit->ProcessCommand(cmd_Paste));
    EXPECT_EQ(Text(), QStringLiteral("éabcé"));
    edit->SetSelection(1, 4);
    QApplication::clipboard()->setText(QStringLiteral("wxyz"));
    edit->ProcessCommand(cmd_Paste);
    EXPECT_EQ(Text(), QStringLiteral("éabcé"));

    // A limit lowered under the text: typing takes characters off before the caret.
    edit->SetMaxLength(3);
    edit->SetSelection(5, 5);
    QTest::keyClick(edit->GetLineEdit(), Qt::Key_Left);
    QTest::keyClick(edit->GetLineEdit(), Qt::Key_Backspace);
    EXPECT_EQ(Text().size(), 3);
}

TEST_F(EditFixture, PastedTextLosesWhatTheFilterDoesNotKeep)
{
    Make(keyFilter_Integer, 255, QStringLiteral("7"));
    edit->SetSelection(1, 1);
    QApplication::clipboard()->setText(QStringLiteral("1a2b"));
    edit->ProcessCommand(cmd_Paste);
    EXPECT_EQ(Text(), QStringLiteral("712"));
    SInt16 start, end;
    edit->GetSelection(start, end);
    EXPECT_EQ(start, 3); // the caret stays after what was pasted
}

TEST_F(EditFixture, KeystrokesMakeOneTypingActionThatUndoesAndRedoes)
{
    Make(keyFilter_Printing);
    Type(QStringLiteral("hello"));
    ASSERT_NE(edit->GetPendingTypingAction(), nullptr);
    EXPECT_TRUE(edit->ProcessCommand(cmd_Undo));
    EXPECT_EQ(Text(), QString());
    EXPECT_TRUE(edit->ProcessCommand(cmd_Redo));
    EXPECT_EQ(Text(), QStringLiteral("hello"));

    // Moving the caret ends the run: the next keystrokes are an action of their own.
    QTest::keyClick(edit->GetLineEdit(), Qt::Key_Home);
    Type(QStringLiteral(">"));
    edit->ProcessCommand(cmd_Undo);
    EXPECT_EQ(Text(), QStringLiteral("hello"));

    // Cut is undoable too.
    edit->SetSelection(0, 2);
    edit->ProcessCommand(cmd_Cut);
    EXPECT_EQ(Text(), QStringLiteral("llo"));
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("he"));
    EXPECT_EQ(edit->GetPendingTypingAction(), nullptr); // replaced by the cut, and told so
    edit->ProcessCommand(cmd_Undo);
    EXPECT_EQ(Text(), QStringLiteral("hello"));
}

TEST_F(EditFixture, CommandStatusFollowsTheTextAndSelection)
{
    Make(keyFilter_Printing);
    auto enabled = [&](CommandT command) {
        Boolean on = false, usesMark = false;
        UInt16 mark = 0;
        Str255 name;
        edit->ProcessCommandStatus(command, on, usesMark, mark, name);
        return bool(on);
    };
    EXPECT_FALSE(enabled(cmd_SelectAll));
    EXPECT_FALSE(enabled(cmd_Cut));
    Type(QStringLiteral("abc"));
    EXPECT_TRUE(enabled(cmd_SelectAll));
    EXPECT_FALSE(enabled(cmd_Copy));
    edit->SelectAll();
    EXPECT_TRUE(edit->HasSelection());
    EXPECT_TRUE(enabled(cmd_Copy));
    EXPECT_TRUE(enabled(cmd_Clear));
    QApplication::clipboard()->setText(QStringLiteral("x"));
    EXPECT_TRUE(enabled(cmd_Paste));
    edit->ProcessCommand(cmd_Clear);
    EXPECT_EQ(Text(), QString());
}

// Combo boxes with their remembered entries.
struct ComboFixture : ::testing::Test {
    LWindow* window = nullptr;
    void SetUp() override
    {
        SetPrefValue(CComboBox::kRecentItemsKey, QVariant());
        window = new LWindow(WindowInfo(30, 30, 300, 100), kRegularWindowAttributes, QStringLiteral("Find"), nullptr);
        window->Show();
    }
    void TearDown() override
    {
        delete window;
        FlushDeletes();
    }
    CComboBox* MakeCombo(PaneIDT id = 'srch')
    {
        auto* combo = new CComboBox(SPaneInfo { id, 200, 24, true, true, {}, 10, 10, 0, window });
        combo->SetSuperCommander(window);
        combo->FinishCreate();
        return combo;
    }
    void Enter(CComboBox* combo, const QString& text)
    {
        LCommander::SwitchTarget(combo);
        combo->SetCFDescriptor(text);
        LCommander::SwitchTarget(window);
    }
    QStringList Stored(const QString& key = QStringLiteral("srch"))
    {
        return CopyPrefValue(CComboBox::kRecentItemsKey).toMap().value(key).toStringList();
    }
};

TEST_F(ComboFixture, EntriesAreKeptNewestFirstOnceEachAndAtMostTwenty)
{
    CComboBox* combo = MakeCombo();
    EXPECT_EQ(combo->GetKey(), QStringLiteral("srch"));
    Enter(combo, QStringLiteral("tree"));
    Enter(combo, QStringLiteral("sea"));
    EXPECT_EQ(combo->GetList(), (QStringList { QStringLiteral("sea"), QStringLiteral("tree") }));
    Enter(combo, QStringLiteral("tree")); // already there: stays where it is
    EXPECT_EQ(Stored(), (QStringList { QStringLiteral("sea"), QStringLiteral("tree") }));
    Enter(combo, QString()); // an empty text adds nothing
    EXPECT_EQ(combo->GetList().size(), 2);

    for (int i = 0; i < 21; ++i)
        Enter(combo, QStringLiteral("word %1").arg(i));
    QStringList stored = Stored();
    ASSERT_EQ(stored.size(), 20);
    EXPECT_EQ(stored.first(), QStringLiteral("word 20"));
    EXPECT_EQ(stored.last(), QStringLiteral("word 1"));
    EXPECT_FALSE(stored.contains(QStringLiteral("sea")));

    // A combo box of the same pane made again finds its list.
    CComboBox* again = MakeCombo();
    EXPECT_EQ(again->GetList(), stored);
    EXPECT_EQ(again->GetComboBox()->count(), 20);
}

TEST_F(ComboFixture, FieldsRenderOffscreen)
{
    auto* edit = new CCarbonEditText(SPaneInfo { 'name', 200, 22, true, true, {}, 10, 10, 0, window }, QStringLiteral("Harbour at dawn"));
    CComboBox* combo = MakeCombo();
    combo->MoveBy(0, 30, false);
    combo->SetList({ QStringLiteral("tree"), QStringLiteral("sea") });
    combo->SetCFDescriptor(QStringLiteral("sea"));
    // Under load the posted layout events may take longer than a fixed pause.
    QTest::qWaitFor([&] { return combo->GetComboBox()->geometry().size() == QSize(200, 24); }, 2000);
    QImage image = window->grab().toImage();
    if (qEnvironmentVariableIsSet("ORVEX_SAVE_RENDERS"))
        image.save(qEnvironmentVariable("ORVEX_SAVE_RENDERS") + QStringLiteral("/fields.png"));
    EXPECT_EQ(edit->GetLineEdit()->geometry(), QRect(0, 0, 200, 22)); // the field fills its pane
    EXPECT_EQ(combo->GetComboBox()->geometry().size(), QSize(200, 24));
}

TEST_F(ComboFixture, AnEmptyListLeavesTheStoredEntryAndOthersAreKept)
{
    QVariantMap stored;
    stored.insert(QStringLiteral("srch"), QVariantList { QStringLiteral("kept") });
    stored.insert(QStringLiteral("othr"), QVariantList { QStringLiteral("theirs") });
    SetPrefValue(CComboBox::kRecentItemsKey, stored);
    CComboBox* combo = MakeCombo();
    combo->SetList({});
    combo->SaveList();
    EXPECT_EQ(Stored(), QStringList { QStringLiteral("kept") });
    Enter(combo, QStringLiteral("new"));
    EXPECT_EQ(Stored(), QStringList { QStringLiteral("new") });
    EXPECT_EQ(Stored(QStringLiteral("othr")), QStringList { QStringLiteral("theirs") });

    // A damaged preference gives an empty list, not a failure.
    SetPrefValue(CComboBox::kRecentItemsKey, QStringLiteral("not a dictionary"));
    EXPECT_TRUE(MakeCombo()->GetList().isEmpty());
}

} // namespace
