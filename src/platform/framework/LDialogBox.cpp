#include "LDialogBox.h"

#include "ExceptionCode.h"
#include "LControl.h"

#include <QAccessible>
#include <QApplication>
#include <QPushButton>
#include <QTimer>

LDialogBox::LDialogBox(const SPaneInfo& info, UInt32 attributes, const QString& title, LCommander* superCommander)
    : LWindow(info, attributes, title, superCommander)
{
}

LDialogBox::LDialogBox(const LLayoutData& data)
    : LWindow(data)
    , mDefaultButtonID(PaneIDT(data.Code("defaultButton", 0)))
    , mCancelButtonID(PaneIDT(data.Code("cancelButton", 0)))
{
}

void LDialogBox::FinishCreateSelf()
{
    LWindow::FinishCreateSelf();
    ListenToControls();
    SetDefaultButton(mDefaultButtonID);
}

void LDialogBox::ListenToControls()
{
    std::vector<LPane*> pending(GetSubPanes().begin(), GetSubPanes().end());
    while (!pending.empty()) {
        LPane* pane = pending.back();
        pending.pop_back();
        if (auto* broadcaster = dynamic_cast<LBroadcaster*>(pane))
            broadcaster->AddListener(this);
        if (auto* view = dynamic_cast<LView*>(pane))
            pending.insert(pending.end(), view->GetSubPanes().begin(), view->GetSubPanes().end());
    }
}

void LDialogBox::SetDefaultButton(PaneIDT buttonID)
{
    mDefaultButtonID = buttonID;
    if (auto* button = dynamic_cast<LControlPane*>(FindPaneByID(buttonID))) {
        if (auto* push = qobject_cast<QPushButton*>(button->GetControlWidget()))
            push->setDefault(true);
    }
}

void LDialogBox::PresentAsAlert(const QString& text, const QString& details)
{
    mAlert = true;
    QWidget* shell = GetShell();
    if (!shell)
        return;
    shell->setAccessibleName(text);
    shell->setAccessibleDescription(details);
    if (auto* button = dynamic_cast<LControlPane*>(FindPaneByID(mDefaultButtonID));
        button && button->GetControlWidget())
        button->GetControlWidget()->setFocus(Qt::OtherFocusReason);
    QAccessibleEvent shown(shell, QAccessible::Alert);
    QAccessible::updateAccessibility(&shown);
}

void LDialogBox::SetCancelButton(PaneIDT buttonID)
{
    mCancelButtonID = buttonID;
}

void LDialogBox::ListenToMessage(MessageT message, void* ioParam)
{
    if (message == msg_BroadcasterDied)
        return;
    BroadcastMessage(message, ioParam);
}

bool LDialogBox::ClickButton(PaneIDT buttonID)
{
    auto* button = buttonID != 0 ? dynamic_cast<LControl*>(FindPaneByID(buttonID)) : nullptr;
    if (!button || !button->IsEnabled() || !button->IsVisible())
        return false;
    button->SimulateHotSpotClick(kControlButtonPart);
    return true;
}

PaneIDT LDialogBox::LoneButtonID() const
{
    // An alert that only informs has its default button alone: Escape dismisses
    // it as Return does.
    int shown = 0;
    for (const QPushButton* button : findChildren<QPushButton*>())
        shown += button->isVisibleTo(this) ? 1 : 0;
    return shown == 1 ? mDefaultButtonID : 0;
}

bool LDialogBox::HandleKeyPress(const EventRecord& event)
{
    UInt8 charCode = EventCharCode(event);
    bool commandPeriod = (event.modifiers & cmdKey) && charCode == '.';
    if ((charCode == char_Return || charCode == char_Enter) && !(event.modifiers & cmdKey)) {
        if (ClickButton(mDefaultButtonID))
            return true;
    } else if ((charCode == char_Escape && EventKeyCode(event) == vkey_Escape) || commandPeriod) {
        if (ClickButton(mCancelButtonID != 0 ? mCancelButtonID : LoneButtonID()))
            return true;
    }
    return LWindow::HandleKeyPress(event);
}

namespace {
// The modal window up now, when the commander is not in it: a dialog asked for
// from there (a sheet's button asking for a password) belongs to that window.
LCommander* ModalWindowAbove(LCommander* commander)
{
    QWidget* modal = QApplication::activeModalWidget();
    for (LWindow* window : LWindow::FetchWindows()) {
        if (window->GetShell() != modal)
            continue;
        for (LCommander* c = commander; c; c = c->GetSuperCommander()) {
            if (c == window)
                return commander;
        }
        return window;
    }
    return commander;
}
} // namespace

StDialogHandler::StDialogHandler(ResIDT layoutID, LCommander* superCommander)
{
    // Over the modal window it is asked from, the dialog hands the keyboard back
    // to that window when it closes, not to the window the modal one blocks.
    LWindow* window = LWindow::CreateWindow(layoutID, ModalWindowAbove(superCommander));
    mDialog = dynamic_cast<LDialogBox*>(window);
    if (!mDialog) {
        delete window;
        ThrowOSErr_(err_BadLayout, "the dialog handler needs a dialog box layout");
    }
    mDialog->AddListener(this);
    mDialog->Show();
    mDialog->Select();
}

StDialogHandler::~StDialogHandler()
{
    if (mLoop)
        mLoop->quit();
    delete mDialog;
}

void StDialogHandler::ListenToMessage(MessageT message, void*)
{
    if (message == msg_BroadcasterDied || message == msg_Nothing)
        return;
    mMessage = message;
    if (mLoop)
        mLoop->quit();
}

MessageT StDialogHandler::DoDialog()
{
    return RunLoop(true);
}

MessageT StDialogHandler::ModalLoop()
{
    return RunLoop(false);
}

MessageT StDialogHandler::RunLoop(bool brief)
{
    mMessage = msg_Nothing;
    QEventLoop loop;
    mLoop = &loop;
    if (brief)
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
    // -1: the program is ending (a quit, a signal) and no loop runs any more. The
    // dialog is then cancelled, or a caller waiting for an answer would spin for good.
    const int result = loop.exec();
    mLoop = nullptr;
    MessageT heard = result == -1 && mMessage == msg_Nothing ? msg_Cancel : mMessage;
    mMessage = msg_Nothing;
    return heard;
}
