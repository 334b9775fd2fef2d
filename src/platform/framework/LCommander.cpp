#include "LCommander.h"

#include "BundleStrings.h"
#include "LStream.h"

#include "LPane.h"
#include "Liveness.h"
#include "UReportErrors.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <unordered_map>

namespace {
// The target follows Qt's keyboard focus: a click or Tab into a field makes the
// nearest commander around it the target.
void FollowFocus()
{
    static bool following = false;
    if (following || !qobject_cast<QApplication*>(QCoreApplication::instance()))
        return;
    following = true;
    QObject::connect(qApp, &QApplication::focusChanged, [](QWidget*, QWidget* now) {
        if (LCommander* commander = LCommander::CommanderOfWidget(now))
            LCommander::SwitchTarget(commander);
    });
}
} // namespace

namespace {
// Whether a commander is a pane shown in Qt's active window.
bool IsInActiveWindow(const LCommander* commander)
{
    auto* widget = dynamic_cast<const QWidget*>(commander);
    return widget && widget->isVisible() && widget->window() == QApplication::activeWindow();
}
} // namespace

namespace {
// The lives of the commanders that were given a command while commands were
// held: the command runs only if its commander is still there.
std::unordered_map<const LCommander*, LivenessToken>& HeldCommanderLives()
{
    static std::unordered_map<const LCommander*, LivenessToken> lives;
    return lives;
}

// Holds a command given to a commander; it runs there once the work is done,
// if the commander is still there and the command still enabled.
void HoldCommand(LCommander* commander, CommandT command)
{
    LCommander::RunOrHoldCommand([command, commander, life = HeldCommanderLives()[commander].Watch()] {
        if (life.expired())
            return;
        Boolean enabled = false;
        Boolean usesMark = false;
        UInt16 mark = noMark;
        Str255 name;
        RunReportingErrors([&] { commander->ProcessCommandStatus(command, enabled, usesMark, mark, name); });
        if (!enabled)
            return;
        RunReportingErrors([&] { commander->ProcessCommand(command, nullptr); });
        LCommander::SetUpdateCommandStatus(true); // the menus and toolbars follow what it changed
    });
}
} // namespace

LCommander* LCommander::CommanderOfWidget(const QWidget* widget)
{
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        if (auto* pane = dynamic_cast<const LPane*>(w)) {
            if (auto* commander = dynamic_cast<const LCommander*>(pane))
                return const_cast<LCommander*>(commander);
        }
    }
    return nullptr;
}

LCommander* LCommander::GetTarget()
{
    if (!sSwitching) {
        // A focused commander that refused the target (or is going) is not it.
        LCommander* focused = CommanderOfWidget(QApplication::focusWidget());
        if (focused && focused->mOnDuty == duty_On)
            return focused;
    }
    return sTarget;
}

bool IsSyntheticCommand(CommandT command, SInt16& outMenuID, SInt16& outItem)
{
    if (command >= 0)
        return false;
    SInt32 positive = -command;
    outMenuID = SInt16(positive >> 16);
    outItem = SInt16(positive & 0xFFFF);
    return outMenuID != 0;
}

LCommander::LCommander()
    : LCommander(GetDefaultCommander())
{
}

LCommander::LCommander(LCommander* superCommander)
{
    SetSuperCommander(superCommander);
    FollowFocus();
}

LCommander::~LCommander()
{
    HeldCommanderLives().erase(this);
    // Leaving the chain: the target moves up to the supercommander, and back to
    // where it was before this commander took it.
    LCommander* returnTo = nullptr;
    if (IsOnDuty() || sTarget == this) {
        LCommander* super = mSuperCommander;
        returnTo = ReturnPlace();
        if (sTarget && sTarget != this) {
            // The target is one of our subs; take the whole branch off duty.
            for (LCommander* c = sTarget; c && c != this; c = c->mSuperCommander)
                c->mOnDuty = duty_Off;
        }
        mOnDuty = duty_Off;
        sTarget = super;
        if (super) {
            super->mLatentSub = returnTo;
            super->BeTarget();
            super->TakeFocus();
        }
    }
    while (!mSubCommanders.empty()) {
        LCommander* sub = mSubCommanders.back();
        // The sub's destructor takes itself out of our list.
        delete sub;
    }
    LCommander* super = mSuperCommander;
    if (super)
        super->RemoveSubCommander(this);
    if (returnTo && super && super->IsTarget() && super->mLatentSub == returnTo && IsInActiveWindow(super))
        super->RestoreTarget();
    if (sTopCommander == this)
        sTopCommander = nullptr;
    if (sDefaultCommander == this)
        sDefaultCommander = nullptr;
}

void LCommander::SetSuperCommander(LCommander* superCommander)
{
    if (superCommander == mSuperCommander)
        return;
    if (mSuperCommander)
        mSuperCommander->RemoveSubCommander(this);
    mSuperCommander = superCommander;
    if (mSuperCommander)
        mSuperCommander->AddSubCommander(this);
}

void LCommander::AddSubCommander(LCommander* sub)
{
    if (std::find(mSubCommanders.begin(), mSubCommanders.end(), sub) == mSubCommanders.end())
        mSubCommanders.push_back(sub);
}

void LCommander::RemoveSubCommander(LCommander* sub)
{
    mSubCommanders.erase(std::remove(mSubCommanders.begin(), mSubCommanders.end(), sub), mSubCommanders.end());
    if (mLatentSub == sub)
        mLatentSub = nullptr;
    // Who was to return to the sub returns where the sub would have.
    for (LCommander* other : mSubCommanders) {
        if (other->mReturnTo == sub)
            other->mReturnTo = sub->mReturnTo != other ? sub->mReturnTo : nullptr;
    }
    sub->mReturnTo = nullptr;
}

LCommander* LCommander::ReturnPlace() const
{
    LCommander* back = mReturnTo;
    if (!back || back == this || !mSuperCommander || back->mSuperCommander != mSuperCommander || !back->mAllowBeTarget)
        return nullptr;
    // A pane that is hidden or disabled cannot hold the keyboard.
    if (auto* widget = dynamic_cast<const QWidget*>(back); widget && (!widget->isVisible() || !widget->isEnabled()))
        return nullptr;
    return back;
}

void LCommander::HandTargetBack()
{
    LCommander* super = mSuperCommander;
    if (!super || !(IsOnDuty() || IsTarget()))
        return;
    LCommander* back = ReturnPlace();
    SwitchTarget(super);
    if (!back || !super->IsTarget())
        return;
    super->mLatentSub = back;
    // Within the active window no activation will restore it: it is restored now.
    if (IsInActiveWindow(super))
        super->RestoreTarget();
}

void LCommander::SetLatentSub(LCommander* sub)
{
    mLatentSub = sub;
    if (sub && mOnDuty != duty_On)
        sub->mOnDuty = duty_Latent;
}

void LCommander::RunOrHoldCommand(std::function<void()> run)
{
    if (sCommandsHeld > 0)
        sHeldCommands.push_back(std::move(run));
    else
        run();
}

StCommandsHeld::StCommandsHeld()
{
    ++LCommander::sCommandsHeld;
}

StCommandsHeld::~StCommandsHeld()
{
    if (--LCommander::sCommandsHeld > 0 || LCommander::sHeldCommands.empty())
        return;
    // Run from the event loop, not from the work's stack that is ending here.
    QTimer::singleShot(0, QCoreApplication::instance(), [held = std::exchange(LCommander::sHeldCommands, {})] {
        for (const std::function<void()>& run : held)
            LCommander::RunOrHoldCommand(run);
    });
}

bool LCommander::ProcessCommand(CommandT command, void* ioParam)
{
    // Every command the user gives passes here (menus, toolbars, contextual menus,
    // keys): while commands are held, it waits. One with a parameter points into
    // its caller's frame and cannot.
    if (sCommandsHeld > 0 && !ioParam) {
        HoldCommand(this, command);
        return true;
    }
    if (!ExecuteAttachments(command, ioParam))
        return true;
    return ObeyCommand(command, ioParam);
}

bool LCommander::ObeyCommand(CommandT command, void* ioParam)
{
    if (mSuperCommander)
        return mSuperCommander->ProcessCommand(command, ioParam);
    return false;
}

void LCommander::ProcessCommandStatus(CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark, Str255& outName)
{
    SCommandStatus status { command, &outEnabled, &outUsesMark, &outMark, &outName };
    if (ExecuteAttachments(msg_CommandStatus, &status))
        FindCommandStatus(command, outEnabled, outUsesMark, outMark, outName);
}

void LCommander::FindCommandStatus(CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark, Str255& outName)
{
    if (mSuperCommander) {
        mSuperCommander->ProcessCommandStatus(command, outEnabled, outUsesMark, outMark, outName);
        return;
    }
    outEnabled = false;
}

bool LCommander::ProcessKeyPress(const EventRecord& event)
{
    EventRecord copy = event;
    if (!ExecuteAttachments(msg_KeyPress, &copy))
        return true;
    return HandleKeyPress(event);
}

bool LCommander::HandleKeyPress(const EventRecord& event)
{
    if (mSuperCommander)
        return mSuperCommander->ProcessKeyPress(event);
    return false;
}

void LCommander::PostAction(LAction* action)
{
    if (!ExecuteAttachments(msg_PostAction, action))
        return;
    if (mSuperCommander) {
        mSuperCommander->PostAction(action);
        return;
    }
    if (action) {
        action->Finalize();
        delete action;
    }
}

bool LCommander::AllowBeTarget(LCommander*)
{
    return mAllowBeTarget;
}

bool LCommander::AllowDontBeTarget(LCommander*)
{
    return true;
}

void LCommander::PutOnDuty(LCommander*)
{
    mOnDuty = duty_On;
}

void LCommander::TakeOffDuty()
{
    mOnDuty = duty_Latent;
}

void LCommander::TakeFocus()
{
    auto* widget = dynamic_cast<QWidget*>(this);
    if (!widget || !widget->isVisible())
        return;
    // The keyboard focus goes to the new target, unless it already lies inside it
    // (in a field of a window that became the target).
    // A window coming back to the front gets back the field that had its keys.
    const QWidget* focus = QApplication::focusWidget();
    if (!focus || !widget->isAncestorOf(focus))
        focus = widget->window()->focusWidget();
    if (CommanderOfWidget(focus) != this || !widget->isAncestorOf(focus))
        widget->setFocus(Qt::OtherFocusReason);
}

bool LCommander::SwitchTarget(LCommander* newTarget)
{
    if (newTarget == sTarget || sSwitching)
        return true;
    // Focus changes made while switching (a window activated on the way) are
    // this switch's own; the focus is set to the new target at the end.
    struct Guard {
        Guard() { sSwitching = true; }
        ~Guard() { sSwitching = false; }
    } guard;
    if (sTarget && !sTarget->AllowDontBeTarget(newTarget))
        return false;
    if (newTarget && !newTarget->AllowBeTarget(newTarget))
        return false;

    std::vector<LCommander*> newChain;
    for (LCommander* c = newTarget; c; c = c->mSuperCommander)
        newChain.push_back(c);
    auto inNewChain = [&](LCommander* c) { return std::find(newChain.begin(), newChain.end(), c) != newChain.end(); };

    LCommander* oldTarget = sTarget;
    sTarget = nullptr;
    if (oldTarget)
        oldTarget->DontBeTarget();
    // Off duty from the old target up to the first commander both chains share.
    for (LCommander* c = oldTarget; c && !inNewChain(c); c = c->mSuperCommander)
        c->TakeOffDuty();
    // On duty from the top down, each the latent sub of its super.
    for (auto it = newChain.rbegin(); it != newChain.rend(); ++it) {
        LCommander* c = *it;
        if (LCommander* super = c->mSuperCommander) {
            if (super->mLatentSub != c)
                c->mReturnTo = super->mLatentSub;
            super->mLatentSub = c;
        }
        if (c->mOnDuty != duty_On)
            c->PutOnDuty(newTarget);
    }
    sTarget = newTarget;
    if (newTarget) {
        newTarget->mLatentSub = nullptr;
        newTarget->BeTarget();
        newTarget->TakeFocus();
    }
    SetUpdateCommandStatus(true);
    return true;
}

void LCommander::RestoreTarget()
{
    LCommander* target = this;
    while (target->mLatentSub)
        target = target->mLatentSub;
    // A target chosen while its window was hidden could not take the keyboard
    // focus then; it takes it now, before Qt hands the focus to another widget.
    if (target == sTarget)
        target->TakeFocus();
    else
        SwitchTarget(target);
}

LAction::LAction(SInt16 stringListID, SInt16 stringIndex, bool alreadyDone)
    : mStringListID(stringListID)
    , mStringIndex(stringIndex)
    , mIsDone(alreadyDone)
{
}

void LAction::Undo()
{
    if (CanUndo()) {
        UndoSelf();
        mIsDone = false;
    }
}

void LAction::Redo()
{
    if (CanRedo()) {
        RedoSelf();
        mIsDone = true;
    }
}

void LAction::GetDescription(Str255& outRedoText, Str255& outUndoText) const
{
    QString what = BundleLocalizedString(QStringLiteral("%1:%2").arg(mStringListID).arg(mStringIndex));
    QStringToPString(BundleLocalizedString(QStringLiteral("151:3")).arg(what), outRedoText);
    QStringToPString(BundleLocalizedString(QStringLiteral("151:2")).arg(what), outUndoText);
}

LUndoer::LUndoer()
    : LAttachment(msg_AnyMessage, true)
{
}

LUndoer::LUndoer(LStream* stream)
    : LAttachment(stream)
{
    mMessage = msg_AnyMessage;
}

LUndoer::~LUndoer()
{
    if (mAction) {
        mAction->Finalize();
        delete mAction;
    }
}

void LUndoer::PostAction(LAction* action)
{
    if (action && !action->IsPostable()) {
        // Not undoable: it is done and forgotten, and the last action stays.
        action->Finalize();
        delete action;
        return;
    }
    LAction* old = mAction;
    mAction = nullptr;
    if (old) {
        old->Finalize();
        delete old;
    }
    mAction = action;
    LCommander::SetUpdateCommandStatus(true);
}

void LUndoer::ToggleAction()
{
    if (!mAction)
        return;
    if (mAction->CanUndo())
        mAction->Undo();
    else if (mAction->CanRedo())
        mAction->Redo();
    LCommander::SetUpdateCommandStatus(true);
}

void LUndoer::ExecuteSelf(MessageT message, void* ioParam)
{
    mExecuteHost = true;
    switch (message) {
    case msg_PostAction:
        PostAction(static_cast<LAction*>(ioParam));
        mExecuteHost = false;
        break;
    case msg_CommandStatus: {
        auto* status = static_cast<SCommandStatus*>(ioParam);
        if (status->command != cmd_Undo && status->command != cmd_Redo)
            break;
        Str255 redo, undo;
        if (mAction)
            mAction->GetDescription(redo, undo);
        bool canUndo = mAction && mAction->CanUndo();
        bool canRedo = mAction && mAction->CanRedo();
        if (status->command == cmd_Undo) {
            *status->enabled = canUndo || canRedo;
            if (canUndo)
                *status->name = undo;
            else if (canRedo)
                *status->name = redo;
            else
                QStringToPString(BundleLocalizedString(QStringLiteral("151:1")), *status->name);
        } else {
            *status->enabled = canRedo;
            if (canRedo)
                *status->name = redo;
        }
        *status->usesMark = false;
        mExecuteHost = false;
        break;
    }
    case cmd_Undo:
        ToggleAction();
        mExecuteHost = false;
        break;
    case cmd_Redo:
        if (mAction && mAction->CanRedo())
            ToggleAction();
        mExecuteHost = false;
        break;
    default:
        break;
    }
}
