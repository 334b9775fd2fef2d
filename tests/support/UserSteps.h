#pragma once

#include "LDialogBox.h"
#include "LMenuBar.h"
#include "LStdControls.h"
#include "LWindow.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include <functional>
#include <vector>

// Plays a user through windows that run their own event loops (a modal dialog
// opened by a click holds the caller until it closes): each step is tried from a
// timer until it answers true (its window was up and it acted), then the next.
// Past the time allowed the dialogs left open are cancelled, so that a test whose
// window never came, or never closed, fails instead of hanging.
class UserSteps {
public:
    using Step = std::function<bool()>;

    explicit UserSteps(std::vector<Step> steps, int allowedMilliseconds = 20000)
        : mSteps(std::move(steps))
        , mAllowed(allowedMilliseconds)
    {
        mClock.start();
        Schedule();
    }

    // How many steps were carried out.
    std::size_t Done() const { return mDone; }
    bool AllDone() const { return mDone == mSteps.size(); }

private:
    // A timer is not fired again while its own slot runs: every try has a timer of
    // its own, set before the step runs, so that tries go on inside a step's loop.
    void Schedule() { QTimer::singleShot(20, &mContext, [this] { Tick(); }); }

    void Tick()
    {
        // Also once every step is done: the last one may have left a window open.
        Schedule();
        if (mClock.elapsed() > mAllowed) {
            GiveUp();
            return;
        }
        if (AllDone())
            return;
        // Counted before it runs: a click may open a window whose own loop runs the
        // next steps before this one returns.
        Step step = mSteps[mDone];
        ++mDone;
        if (!step())
            --mDone;
    }

    // Cancels the dialog in front, so that the loop it holds ends.
    static void GiveUp()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->reject();
            return;
        }
        LDialogBox* box = modal ? modal->findChild<LDialogBox*>() : nullptr;
        for (LWindow* window : LWindow::FetchWindows()) {
            if (!box)
                box = dynamic_cast<LDialogBox*>(window);
        }
        if (!box)
            return;
        const PaneIDT button = box->GetCancelButtonID() ? box->GetCancelButtonID() : box->GetDefaultButtonID();
        if (auto* control = dynamic_cast<LControl*>(box->FindPaneByID(button)))
            control->SimulateHotSpotClick();
    }

    std::vector<Step> mSteps;
    std::size_t mDone = 0;
    int mAllowed;
    QElapsedTimer mClock;
    QObject mContext;
};

// The shown dialog box of a layout that holds a pane of this ID, frontmost first.
inline LDialogBox* ShownDialogWith(PaneIDT paneID, LDialogBox* besides = nullptr)
{
    for (LWindow* window : LWindow::FetchWindows()) {
        auto* dialog = dynamic_cast<LDialogBox*>(window);
        if (dialog && dialog != besides && dialog->GetShell()->isVisible() && dialog->FindPaneByID(paneID))
            return dialog;
    }
    return nullptr;
}

// A click on a control's own widget, where the user's pointer goes.
inline void ClickPane(LView* window, PaneIDT paneID)
{
    auto* control = dynamic_cast<LControlPane*>(window->FindPaneByID(paneID));
    QWidget* widget = control ? control->GetControlWidget() : nullptr;
    if (widget)
        QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

// Types into an edit field as the user does: it takes the focus, then the keys.
inline QLineEdit* TypeIntoField(LView* window, PaneIDT paneID, const QString& text)
{
    auto* field = dynamic_cast<LEditText*>(window->FindPaneByID(paneID));
    QLineEdit* edit = field ? field->GetLineEdit() : nullptr;
    if (!edit)
        return nullptr;
    edit->window()->activateWindow();
    edit->setFocus(Qt::MouseFocusReason);
    edit->selectAll();
    QTest::keyClicks(edit, text);
    return edit;
}

// Chooses the item of a command in a popup with the keyboard, as a pick from its
// list would; false when the menu has no such item.
inline bool ChoosePopupCommand(LStdPopupMenu* popup, const LMenu& menu, CommandT command)
{
    auto* combo = popup ? popup->findChild<QComboBox*>() : nullptr;
    if (!combo)
        return false;
    int row = -1;
    for (SInt16 i = 1; i <= menu.CountItems(); ++i) {
        if (menu.Item(i)->command == command)
            row = i - 1;
    }
    if (row < 0)
        return false;
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Home);
    for (int step = 0; step < combo->count() && combo->currentIndex() != row; ++step)
        QTest::keyClick(combo, combo->currentIndex() < row ? Qt::Key_Down : Qt::Key_Up);
    return combo->currentIndex() == row;
}

// Looks at the next contextual menu when it is up, then picks the item with that
// text (or none) as the user would.
struct PopupChooser {
    QStringList seen;
    QList<bool> enabled;
    QList<bool> checked;
    bool appeared = false;
    void ChooseNext(const QString& text, int tries = 100)
    {
        QTimer::singleShot(20, [this, text, tries] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu || !menu->isVisible()) {
                if (tries > 0)
                    ChooseNext(text, tries - 1); // not up yet
                return;
            }
            appeared = true;
            QAction* chosen = nullptr;
            for (QAction* item : menu->actions()) {
                seen.append(item->isSeparator() ? QStringLiteral("-") : item->text());
                enabled.append(item->isEnabled());
                checked.append(item->isChecked());
                if (item->text() == text && !chosen)
                    chosen = item;
            }
            // A click on the item, wherever the pointer left the menu's highlight.
            if (chosen && !text.isEmpty()) {
                menu->setActiveAction(chosen);
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(chosen).center());
            }
            else
                QTest::keyClick(menu, Qt::Key_Escape);
        });
    }
};
