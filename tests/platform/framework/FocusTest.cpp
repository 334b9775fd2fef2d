#include "FrameworkTestSupport.h"

#include "LDialogBox.h"
#include "LStdControls.h"
#include "LTextEditView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <memory>

namespace {

// The fields dialog of layout 1008, shown and active, for each test.
struct FocusFixture : ::testing::Test {
    LDialogBox* dialog = nullptr;
    void SetUp() override
    {
        SetUpFrameworkFixture();
        dialog = dynamic_cast<LDialogBox*>(LWindow::CreateWindow(1008, nullptr));
        ASSERT_NE(dialog, nullptr);
        dialog->Show();
        dialog->Select();
    }
    void TearDown() override
    {
        delete dialog;
        FlushDeletes();
    }
    // The pane holding Qt's keyboard focus (0 for none).
    PaneIDT FocusedPane() const
    {
        for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget()) {
            if (auto* pane = dynamic_cast<LPane*>(w); pane && pane->GetPaneID() != 0)
                return pane->GetPaneID();
        }
        return 0;
    }
    // A click as the window system delivers it, so Qt moves the focus.
    void Click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton); }
    bool CopyEnabled() const
    {
        Boolean enabled = false, usesMark = false;
        UInt16 mark = 0;
        Str255 name;
        LCommander::GetTarget()->ProcessCommandStatus(cmd_Copy, enabled, usesMark, mark, name);
        return enabled;
    }
};

} // namespace

TEST_F(FocusFixture, TabWalksTheFieldsInQtsFocusOrder)
{
    auto* first = dynamic_cast<LEditText*>(dialog->FindPaneByID(1));
    first->GetLineEdit()->setFocus(Qt::OtherFocusReason);
    ASSERT_EQ(FocusedPane(), 1);
    auto pressTab = [](Qt::KeyboardModifiers modifiers) {
        QKeyEvent tab(QEvent::KeyPress, modifiers & Qt::ShiftModifier ? Qt::Key_Backtab : Qt::Key_Tab, modifiers);
        QApplication::sendEvent(QApplication::focusWidget(), &tab);
    };
    std::vector<PaneIDT> forward;
    for (int i = 0; i < 5; ++i) {
        pressTab(Qt::NoModifier);
        forward.push_back(FocusedPane());
    }
    // The made order, the button too (by Tab, not by click), then round again.
    EXPECT_EQ(forward, (std::vector<PaneIDT> {2, 3, 4, 900, 1}));
    pressTab(Qt::ShiftModifier);
    EXPECT_EQ(FocusedPane(), 900);

    // Qt's order is the order: after setTabOrder the notes come before the second field.
    QWidget::setTabOrder(first, dialog->FindPaneByID(3));
    QWidget::setTabOrder(dialog->FindPaneByID(3), dialog->FindPaneByID(2));
    first->GetLineEdit()->setFocus(Qt::OtherFocusReason);
    pressTab(Qt::NoModifier);
    EXPECT_EQ(FocusedPane(), 3);
    EXPECT_EQ(LCommander::GetTarget(), dynamic_cast<LCommander*>(dialog->FindPaneByID(3)));
    pressTab(Qt::NoModifier);
    EXPECT_EQ(FocusedPane(), 2);
    EXPECT_EQ(LCommander::GetTarget(), dialog); // a plain field belongs to the dialog
}

TEST_F(FocusFixture, TargetFollowsAClickIntoAFieldAndMenuStatusFollowsTheTarget)
{
    auto* notes = dynamic_cast<LTextEditView*>(dialog->FindPaneByID(3));
    auto* second = dynamic_cast<LEditText*>(dialog->FindPaneByID(2));
    ASSERT_NE(notes, nullptr);
    Click(notes->GetEditor()->viewport());
    ASSERT_EQ(FocusedPane(), 3);
    EXPECT_EQ(LCommander::GetTarget(), notes);
    EXPECT_TRUE(notes->IsTarget());
    EXPECT_FALSE(CopyEnabled()); // nothing selected yet
    notes->GetEditor()->selectAll();
    EXPECT_TRUE(CopyEnabled());

    // A click on a button leaves the target; one into a plain field hands it to the dialog.
    Click(static_cast<LControlPane*>(dialog->FindPaneByID(900))->GetControlWidget());
    EXPECT_EQ(LCommander::GetTarget(), notes);
    Click(second->GetLineEdit());
    EXPECT_EQ(FocusedPane(), 2);
    EXPECT_EQ(LCommander::GetTarget(), dialog);
    EXPECT_FALSE(notes->IsOnDuty());
    EXPECT_FALSE(CopyEnabled()); // the dialog has no copy of its own

    // Making a commander the target moves Qt's focus into it, and back.
    LCommander::SwitchTarget(notes);
    EXPECT_EQ(FocusedPane(), 3);
    LCommander::SwitchTarget(dialog);
    EXPECT_EQ(LCommander::GetTarget(), dialog);
    EXPECT_NE(FocusedPane(), 3);
}

TEST_F(FocusFixture, ActivationAndWindowOrderComeFromQt)
{
    EXPECT_TRUE(dialog->IsActiveWindow());
    EXPECT_EQ(LWindow::GetActiveWindow(), dialog);
    LWindow* other = LWindow::CreateWindow(1000, nullptr);
    other->Show();
    other->Select();
    EXPECT_EQ(QApplication::activeWindow(), other->GetShell());
    EXPECT_EQ(LWindow::GetActiveWindow(), other);
    EXPECT_FALSE(dialog->IsActiveWindow());
    EXPECT_FALSE(dialog->LPane::IsActive()); // its panes look inactive
    ASSERT_GE(LWindow::FetchWindows().size(), 2u);
    EXPECT_EQ(LWindow::FetchWindows().front(), other);

    // Qt activating the dialog (as the window system would) brings it forward.
    QApplication::setActiveWindow(dialog->GetShell());
    EXPECT_EQ(LWindow::GetActiveWindow(), dialog);
    EXPECT_TRUE(dialog->LPane::IsActive());
    EXPECT_FALSE(other->LPane::IsActive());
    EXPECT_EQ(LWindow::FetchWindows().front(), dialog);
    EXPECT_EQ(LWindow::GetFrontWindow(), dialog);

    // Closing the active window hands the activation to the next one.
    dialog->Hide();
    EXPECT_EQ(LWindow::GetActiveWindow(), other);
    delete other;
}

// A window of the dialog's own (a sheet, a dialog it asks with) takes the target
// while it is up; closed, it hands the target back to the pane that had it.
TEST_F(FocusFixture, AWindowOfTheDialogsOwnGivesTheTargetBackWhenItCloses)
{
    auto* notes = dynamic_cast<LTextEditView*>(dialog->FindPaneByID(3));
    ASSERT_NE(notes, nullptr);
    Click(notes->GetEditor()->viewport());
    ASSERT_EQ(LCommander::GetTarget(), notes);

    LWindow* inner = LWindow::CreateWindow(1008, dialog);
    ASSERT_NE(inner, nullptr);
    inner->Show();
    inner->Select();
    QApplication::processEvents();
    EXPECT_EQ(LWindow::GetActiveWindow(), inner);
    EXPECT_TRUE(inner->IsOnDuty() || inner->IsTarget());
    EXPECT_FALSE(notes->IsOnDuty());

    inner->DoClose();
    QApplication::processEvents();
    FlushDeletes();
    EXPECT_EQ(LWindow::GetActiveWindow(), dialog);
    EXPECT_EQ(LCommander::GetTarget(), notes);
    EXPECT_EQ(FocusedPane(), 3);
    EXPECT_TRUE(notes->IsOnDuty());
}

// A document makes its view the target before its window is shown: once the
// window is up and active, the view holds the keyboard focus and stays the target.
TEST(FocusWhenShown, TargetChosenWhileHiddenTakesTheFocusWhenItsWindowIsActivated)
{
    SetUpFrameworkFixture();
    std::unique_ptr<LDialogBox> dialog(dynamic_cast<LDialogBox*>(LWindow::CreateWindow(1008, nullptr)));
    ASSERT_NE(dialog, nullptr);
    auto* third = dynamic_cast<LTextEditView*>(dialog->FindPaneByID(3));
    ASSERT_NE(third, nullptr);
    LCommander::SwitchTarget(third);
    dialog->Show();
    dialog->Select();
    QApplication::processEvents();
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    EXPECT_TRUE(third->isAncestorOf(QApplication::focusWidget()) || QApplication::focusWidget() == third);
    EXPECT_EQ(LCommander::GetTarget(), third);
    dialog.reset();
    FlushDeletes();
}
