#pragma once

class QWidget;

#include "LAttachment.h"
#include "PString.h"
#include "UEvents.h"

#include <functional>
#include <vector>

class LAction;

// The framework's standard commands and messages.
enum : CommandT {
    cmd_Nothing = 0,
    cmd_About = 1,
    cmd_New = 2,
    cmd_Open = 3,
    cmd_Close = 4,
    cmd_Save = 5,
    cmd_SaveAs = 6,
    cmd_Revert = 7,
    cmd_PageSetup = 8,
    cmd_Print = 9,
    cmd_Quit = 10,
    cmd_Undo = 11,
    cmd_Cut = 12,
    cmd_Copy = 13,
    cmd_Paste = 14,
    cmd_Clear = 15,
    cmd_SelectAll = 16,
    cmd_PrintOne = 17,
    cmd_ShowClipboard = 19,
    cmd_ActionDeleted = 20,
    cmd_ActionCut = 22,
    cmd_ActionCopy = 23,
    cmd_ActionPaste = 24,
    cmd_ActionClear = 25,
    cmd_ActionTyping = 26,
    cmd_Preferences = 27,
    cmd_Redo = 28,
    msg_TabSelect = 201,
};

// Menu marks a command status can ask for.
enum : UInt16 { noMark = 0, checkMark = 0x12, diamondMark = 0x13 };

// What ProcessCommandStatus hands its attachments (msg_CommandStatus).
struct SCommandStatus {
    CommandT command;
    Boolean* enabled;
    Boolean* usesMark;
    UInt16* mark;
    Str255* name;
};

// Items without a command of their own carry a synthetic one made of their menu
// and item: -(menuID * 65536) - item.
inline CommandT SyntheticCommandForMenuItem(SInt16 menuID, SInt16 item)
{
    return CommandT(-(SInt32(menuID) * 65536) - item);
}
// True for a synthetic command; gives its menu ID and item number.
bool IsSyntheticCommand(CommandT command, SInt16& outMenuID, SInt16& outItem);

// A link of the commander chain. Commands go to the target and travel up through
// the supercommanders until one obeys. On duty are the target and all its supers;
// a commander going off duty stays its super's latent sub, so RestoreTarget can
// return to it. When a commander that is a QWidget becomes the target it takes
// the keyboard focus. A commander deletes the subcommanders it still has when it
// is deleted (a window's document deletes the window).
class LCommander : public virtual LAttachable {
public:
    enum EDutyState { duty_Off, duty_Latent, duty_On };

    LCommander();
    explicit LCommander(LCommander* superCommander);
    ~LCommander() override;

    LCommander* GetSuperCommander() const { return mSuperCommander; }
    virtual void SetSuperCommander(LCommander* superCommander);
    const std::vector<LCommander*>& GetSubCommanders() const { return mSubCommanders; }
    LCommander* GetLatentSub() const { return mLatentSub; }
    void SetLatentSub(LCommander* sub);

    // Commands: ProcessCommand runs the attachments (with the command as message)
    // and then ObeyCommand; the default ObeyCommand passes to the supercommander.
    bool ProcessCommand(CommandT command, void* ioParam = nullptr);
    virtual bool ObeyCommand(CommandT command, void* ioParam);
    void ProcessCommandStatus(CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark, Str255& outName);
    virtual void FindCommandStatus(CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark, Str255& outName);

    bool ProcessKeyPress(const EventRecord& event);
    virtual bool HandleKeyPress(const EventRecord& event);

    // Actions: posted up the chain; an undoer attachment keeps the last one.
    // Nobody taking it, the action is finished and deleted.
    virtual void PostAction(LAction* action);

    // Asked before a subcommander (a window) closes; a document that owns the
    // window answers false and closes itself instead.
    virtual bool AllowSubRemoval(LCommander*) { return true; }

    // The target: the nearest commander pane holding Qt's keyboard focus, else
    // the commander last made the target (the application, a document).
    static LCommander* GetTarget();
    // The commander a widget belongs to: the nearest commander pane around it.
    static LCommander* CommanderOfWidget(const QWidget* widget);
    static bool SwitchTarget(LCommander* newTarget);
    bool IsTarget() const { return sTarget == this; }
    bool IsOnDuty() const { return mOnDuty == duty_On; }
    EDutyState GetOnDuty() const { return mOnDuty; }
    void RestoreTarget();
    // This commander leaves the chain's path (it closes, hides or loses its
    // window's activation): the target goes to its super, and the super's latent
    // sub is again the one this commander took the place of, so the target comes
    // back there: at once within the active window, else when that window is activated.
    void HandTargetBack();
    virtual bool AllowBeTarget(LCommander* newTarget);
    virtual bool AllowDontBeTarget(LCommander* newTarget);
    void SetAllowBeTarget(bool allow) { mAllowBeTarget = allow; }

    // The super of commanders made without one: the default commander (a layout
    // being built sets it to its window), else the top commander.
    static LCommander* GetDefaultCommander() { return sDefaultCommander ? sDefaultCommander : sTopCommander; }
    static void SetDefaultCommander(LCommander* commander) { sDefaultCommander = commander; }
    static LCommander* GetTopCommander() { return sTopCommander; }
    static void SetTopCommander(LCommander* top) { sTopCommander = top; }

    // The flag that makes the event loop bring the menus' command status up to date.
    static void SetUpdateCommandStatus(bool update) { sUpdateCommandStatus = update; }
    static bool GetUpdateCommandStatus() { return sUpdateCommandStatus; }

    // While long work of the GUI thread takes the user's input (keys, scrolls,
    // clicks), the commands that could change or free what it reads (menu
    // commands, closing a window, quitting) wait: RunOrHoldCommand keeps them and
    // the end of the work (StCommandsHeld) runs them, in order, from the event loop.
    static void RunOrHoldCommand(std::function<void()> run);
    static bool AreCommandsHeld() { return sCommandsHeld > 0; }

protected:
    virtual void BeTarget() {}
    virtual void DontBeTarget() {}
    virtual void PutOnDuty(LCommander* newTarget);
    virtual void TakeOffDuty();
    virtual void AddSubCommander(LCommander* sub);
    virtual void RemoveSubCommander(LCommander* sub);

private:
    void TakeFocus();
    // The sibling this commander took the place of as its super's latent sub, while
    // it can still take the target back; null for none.
    LCommander* ReturnPlace() const;

    LCommander* mSuperCommander = nullptr;
    std::vector<LCommander*> mSubCommanders;
    LCommander* mLatentSub = nullptr;
    LCommander* mReturnTo = nullptr; // the super's latent sub before this one
    EDutyState mOnDuty = duty_Off;
    bool mAllowBeTarget = true;

    static inline LCommander* sTarget = nullptr;
    static inline bool sSwitching = false;
    static inline LCommander* sTopCommander = nullptr;
    static inline LCommander* sDefaultCommander = nullptr;
    static inline bool sUpdateCommandStatus = false;
    static inline int sCommandsHeld = 0;
    static inline std::vector<std::function<void()>> sHeldCommands;
    friend class StCommandsHeld;
};

// Holds the commands (LCommander::RunOrHoldCommand) for a scope.
class StCommandsHeld {
public:
    StCommandsHeld();
    ~StCommandsHeld();
    StCommandsHeld(const StCommandsHeld&) = delete;
    StCommandsHeld& operator=(const StCommandsHeld&) = delete;
};

// An undoable change. The description texts come from a string list by index
// (the framework's is 150); an action is made already done unless told otherwise.
class LAction {
public:
    LAction(SInt16 stringListID = 150, SInt16 stringIndex = 0, bool alreadyDone = true);
    virtual ~LAction() = default;

    virtual void Finalize() {}
    virtual void Undo();
    virtual void Redo();
    virtual bool CanUndo() const { return IsDone() && IsPostable(); }
    virtual bool CanRedo() const { return !IsDone() && IsPostable(); }
    virtual bool IsPostable() const { return true; }
    bool IsDone() const { return mIsDone; }
    // The menu texts for this action: "Redo <what>" and "Undo <what>".
    virtual void GetDescription(Str255& outRedoText, Str255& outUndoText) const;

protected:
    virtual void UndoSelf() {}
    virtual void RedoSelf() {}

    SInt16 mStringListID;
    SInt16 mStringIndex;
    bool mIsDone;
};

// Keeps the last posted action of its host and carries out Undo (11) and Redo (28)
// for it; it also names and enables those menu items. Without an action the item
// reads "Can't Undo" (151:1) and is disabled.
class LUndoer : public LAttachment {
public:
    LUndoer();
    explicit LUndoer(LStream* stream);
    ~LUndoer() override;

    LAction* GetLastAction() const { return mAction; }

protected:
    void ExecuteSelf(MessageT message, void* ioParam) override;

private:
    void PostAction(LAction* action);
    void ToggleAction();

    LAction* mAction = nullptr;
};
