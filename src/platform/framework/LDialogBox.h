#pragma once

#include "LBroadcaster.h"
#include "LControl.h"
#include "LWindow.h"

#include <QEventLoop>

// A window that listens to all its controls and passes every message on to its
// own listeners. Return and Enter click the default button, Escape and
// Command-period the cancel button. Layout fields: "defaultButton", "cancelButton"
// (pane IDs).
class LDialogBox : public LWindow, public LListener, public LBroadcaster {
public:
    LDialogBox(const SPaneInfo& info, UInt32 attributes, const QString& title, LCommander* superCommander);
    explicit LDialogBox(const LLayoutData& data);

    void SetDefaultButton(PaneIDT buttonID);
    void SetCancelButton(PaneIDT buttonID);
    PaneIDT GetDefaultButtonID() const { return mDefaultButtonID; }
    PaneIDT GetCancelButtonID() const { return mCancelButtonID; }

    void ListenToMessage(MessageT message, void* ioParam) override;
    bool HandleKeyPress(const EventRecord& event) override;

    // Listens to every broadcaster among the subpanes (made later ones too).
    void ListenToControls();

    // Makes the dialog an alert as screen readers hear it: the alert role, `text`
    // as its name and `details` as its description, announced at once, and the
    // keyboard on the default button.
    void PresentAsAlert(const QString& text, const QString& details);
    bool IsAlert() const { return mAlert; }

protected:
    void FinishCreateSelf() override;

private:
    bool ClickButton(PaneIDT buttonID);
    PaneIDT LoneButtonID() const;

    PaneIDT mDefaultButtonID = 0;
    PaneIDT mCancelButtonID = 0;
    bool mAlert = false;
};

// Runs a dialog made from a layout: owns it, listens to it, and answers the
// messages its controls send. DoDialog lets the loop run briefly and answers the
// last message heard (msg_Nothing for none); ModalLoop runs until one is heard.
class StDialogHandler : public LListener {
public:
    StDialogHandler(ResIDT layoutID, LCommander* superCommander);
    ~StDialogHandler() override;

    LDialogBox* GetDialog() const { return mDialog; }
    MessageT DoDialog();
    MessageT ModalLoop();

    void ListenToMessage(MessageT message, void* ioParam) override;

private:
    MessageT RunLoop(bool brief);

    LDialogBox* mDialog = nullptr;
    MessageT mMessage = msg_Nothing;
    QEventLoop* mLoop = nullptr;
};
