#pragma once

#include "LCommander.h"
#include "LControl.h"
#include "UKeyFilters.h"

#include <QPointer>
#include <QStringList>

class QComboBox;
class QLineEdit;
class CCarbonEditTextTypingAction;

// Key statuses beyond the framework's: insert the typed text as it stands.
enum : SInt16 { keyStatus_InsertAsIs = 20, keyStatus_InsertReturnAsIs = 21 };

// The status of typed text under a key filter (the layouts' filter IDs): the
// framework's filters, with a text of more than one character ignored by the
// number and alphanumeric filters, and Return inserted as it is by filter 5.
SInt16 EditTextKeyStatus(SInt16 filterID, const QString& typed, UInt8 keyCode, UInt16 modifiers, int selectionStart);

// The single-line text field ('CCET'): it keeps its own copy of the text and
// selection, filters what is typed, holds at most a maximum of UTF-16 characters,
// and posts undoable actions for typing, cut, paste and clear to its commander
// chain. Layout fields: "keyFilter", "maxLength" (255 when absent), "title" (the text).
class CCarbonEditText : public LControlPane, public LCommander {
public:
    static constexpr ClassIDT class_ID = 'CCET';
    static constexpr SInt32 kDefaultMaxLength = 255;

    CCarbonEditText(const SPaneInfo& info, const QString& text, SInt16 keyFilter = keyFilter_Printing, SInt32 maxLength = kDefaultMaxLength);
    explicit CCarbonEditText(const LLayoutData& data);
    ~CCarbonEditText() override;

    QLineEdit* GetLineEdit() const { return mEdit; }

    QString GetCFDescriptor() const override;
    void SetCFDescriptor(const QString& text) override;
    SInt32 GetValue() const override;
    void SetValue(SInt32 value) override;

    void GetSelection(SInt16& outStart, SInt16& outEnd) const;
    void SetSelection(SInt16 start, SInt16 end);
    bool HasSelection() const;
    void SelectAll();
    void SetMaxLength(SInt32 characters) { mMaxLength = characters; }
    SInt32 GetMaxLength() const { return mMaxLength; }
    SInt16 GetKeyFilter() const { return mKeyFilter; }
    bool WouldExceedMaxLength(SInt32 added) const;

    // Takes in a change of the control's text (typing: a keystroke made it).
    void TextChanged(bool typing);
    // The edit commands of the control: 'cut ', 'copy', 'past', 'clea', 'sall', 'undo', 'redo'.
    bool SendCommand(OSType command);

    void FindCommandStatus(CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark, Str255& outName) override;
    bool ObeyCommand(CommandT command, void* ioParam) override;
    bool HandleKeyPress(const EventRecord& event) override;

    // The kept copy (what the pane last took in).
    const QString& GetKeptText() const { return mText; }
    CCarbonEditTextTypingAction* GetPendingTypingAction() const { return mTypingAction; }

    void Hide() override;
    void Disable() override;

protected:
    CCarbonEditText(const LLayoutData& data, QWidget* face, QLineEdit* edit);
    CCarbonEditText(const SPaneInfo& info, QWidget* face, QLineEdit* edit, SInt16 keyFilter, SInt32 maxLength);
    void BeTarget() override;
    void DontBeTarget() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Init(QWidget* face, QLineEdit* edit, const QString& text);
    void UpdateKeptText();
    // Removes what the filter does not keep; true when anything went.
    bool FilterWholeText();
    void ChangeBroadcast();
    bool HandleTyped(const QString& typed, UInt8 keyCode, UInt16 modifiers, QEvent* event);
    void Deliver(QEvent* event);
    void Beep();

    QLineEdit* mEdit = nullptr;
    QString mText;
    SInt16 mSelStart = 0;
    SInt16 mSelEnd = 0;
    CCarbonEditTextTypingAction* mTypingAction = nullptr;
    SInt16 mKeyFilter = keyFilter_Printing;
    SInt32 mMaxLength = kDefaultMaxLength;
    bool mFiltered = false;
    bool mDelivering = false;
};

// An undoable change of an edit text: the text and selection before it; undo
// and redo swap them with the pane's. Its menu text comes from list 150.
class CCarbonEditTextAction : public LAction {
public:
    CCarbonEditTextAction(CCarbonEditText* pane, SInt16 stringIndex, CommandT actionCommand);

    const QString& GetRecordedText() const { return mText; }

protected:
    void UndoSelf() override { Swap(); }
    void RedoSelf() override { Swap(); }
    void Swap();

    QPointer<CCarbonEditText> mPane;
    QString mText;
    SInt16 mSelStart;
    SInt16 mSelEnd;
    CommandT mActionCommand;
};

class CCarbonEditTextCutAction : public CCarbonEditTextAction {
public:
    explicit CCarbonEditTextCutAction(CCarbonEditText* pane) : CCarbonEditTextAction(pane, 3, cmd_ActionCut) {}
};

class CCarbonEditTextPasteAction : public CCarbonEditTextAction {
public:
    explicit CCarbonEditTextPasteAction(CCarbonEditText* pane) : CCarbonEditTextAction(pane, 5, cmd_ActionPaste) {}
};

class CCarbonEditTextClearAction : public CCarbonEditTextAction {
public:
    explicit CCarbonEditTextClearAction(CCarbonEditText* pane) : CCarbonEditTextAction(pane, 6, cmd_ActionClear) {}
};

// A run of keystrokes: one undo takes back the whole run.
class CCarbonEditTextTypingAction : public CCarbonEditTextAction {
public:
    CCarbonEditTextTypingAction(CCarbonEditText* pane, SInt16 selStart, SInt16 selEnd);
    ~CCarbonEditTextTypingAction() override;

    void GetLastSelection(SInt16& outStart, SInt16& outEnd) const { outStart = mLastStart; outEnd = mLastEnd; }
    void SetLastSelection(SInt16 start, SInt16 end) { mLastStart = start; mLastEnd = end; }

private:
    SInt16 mLastStart;
    SInt16 mLastEnd;
};

// The edit text on an editable combo box ('CCBX') whose list remembers the texts
// entered, per pane, in the preference "ComboBoxesRecentItems" (the pane ID as a
// four-character key -> at most 20 strings, newest first).
class CComboBox : public CCarbonEditText {
public:
    static constexpr ClassIDT class_ID = 'CCBX';
    static constexpr int kMaxRecentItems = 20;
    static inline const QString kRecentItemsKey = QStringLiteral("ComboBoxesRecentItems");

    CComboBox(const SPaneInfo& info, SInt16 keyFilter = keyFilter_Printing, SInt32 maxLength = kDefaultMaxLength);
    explicit CComboBox(const LLayoutData& data);

    QStringList GetList() const;
    void SetList(const QStringList& list);
    const QString& GetKey() const { return mKey; }
    QComboBox* GetComboBox() const { return mCombo; }
    // Stores the list under the pane's key (an empty list leaves the stored one).
    void SaveList();

protected:
    void FinishCreateSelf() override;
    void DontBeTarget() override;

private:
    CComboBox(const SPaneInfo& info, QComboBox* combo, SInt16 keyFilter, SInt32 maxLength);
    CComboBox(const LLayoutData& data, QComboBox* combo);
    void LoadList();

    QComboBox* mCombo;
    QString mKey;
};
