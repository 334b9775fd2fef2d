#include "CCarbonEditText.h"

#include "ExceptionCode.h"
#include "FourCharCode.h"
#include "LMenuBar.h"
#include "Preferences.h"
#include "UReportErrors.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>

namespace {
bool IsMultiCharFilter(SInt16 filterID)
{
    return filterID == keyFilter_Integer || filterID == keyFilter_AlphaNumeric;
}

// Whether the whole-text pass keeps a character; `keptSoFar` counts those kept before it.
bool KeepsChar(SInt16 filterID, QChar c, int keptSoFar)
{
    switch (filterID) {
    case keyFilter_Integer:
        return c.isDigit();
    case keyFilter_AlphaNumeric:
        return c.isLetterOrNumber();
    case keyFilter_NegativeInteger:
        return c.isDigit() || (c == QLatin1Char('-') && keptSoFar == 0);
    case keyFilter_PrintingAndReturn:
        return UKeyFilters::IsPrintingChar(c) || c.unicode() == char_Return;
    default:
        return UKeyFilters::IsPrintingChar(c);
    }
}

SInt16 Clamp16(int value)
{
    return SInt16(std::clamp(value, 0, 32767));
}
} // namespace

SInt16 EditTextKeyStatus(SInt16 filterID, const QString& typed, UInt8 keyCode, UInt16 modifiers, int selectionStart)
{
    if (modifiers & cmdKey)
        return keyStatus_Input;
    if (typed.size() > 1)
        return IsMultiCharFilter(filterID) ? keyStatus_Ignore : keyStatus_Input;
    QChar c = typed.isEmpty() ? QChar() : typed.at(0);
    if (filterID == keyFilter_PrintingAndReturn && c.unicode() == char_Return)
        return keyStatus_InsertReturnAsIs;
    return UKeyFilters::FilterForID(filterID)(keyCode, c, modifiers, selectionStart);
}

CCarbonEditText::CCarbonEditText(const SPaneInfo& info, const QString& text, SInt16 keyFilter, SInt32 maxLength)
    : LControlPane(info, 0)
    , mKeyFilter(keyFilter)
    , mMaxLength(maxLength)
{
    Init(new QLineEdit, nullptr, text);
}

CCarbonEditText::CCarbonEditText(const LLayoutData& data)
    : LControlPane(data)
    , mKeyFilter(SInt16(data.Int("keyFilter", keyFilter_Printing)))
    , mMaxLength(data.Int("maxLength", kDefaultMaxLength))
{
    Init(new QLineEdit, nullptr, LPane::GetCFDescriptor());
}

CCarbonEditText::CCarbonEditText(const LLayoutData& data, QWidget* face, QLineEdit* edit)
    : LControlPane(data)
    , mKeyFilter(SInt16(data.Int("keyFilter", keyFilter_Printing)))
    , mMaxLength(data.Int("maxLength", kDefaultMaxLength))
{
    Init(face, edit, LPane::GetCFDescriptor());
}

CCarbonEditText::CCarbonEditText(const SPaneInfo& info, QWidget* face, QLineEdit* edit, SInt16 keyFilter, SInt32 maxLength)
    : LControlPane(info, 0)
    , mKeyFilter(keyFilter)
    , mMaxLength(maxLength)
{
    Init(face, edit, QString());
}

CCarbonEditText::~CCarbonEditText()
{
    // A typing action that outlives the pane must not call back into it.
    mTypingAction = nullptr;
}

void CCarbonEditText::Init(QWidget* face, QLineEdit* edit, const QString& text)
{
    mEdit = edit ? edit : qobject_cast<QLineEdit*>(face);
    Embed(face);
    if (mEdit != face)
        mEdit->installEventFilter(this);
    // Undo belongs to the commander chain, and so do the edit commands.
    mEdit->setContextMenuPolicy(Qt::NoContextMenu);
    mEdit->setText(text);
    mEdit->setCursorPosition(0);
    UpdateKeptText();
    mText = mEdit->text();
}

QString CCarbonEditText::GetCFDescriptor() const
{
    return mEdit ? mEdit->text() : QString();
}

void CCarbonEditText::SetCFDescriptor(const QString& text)
{
    LPane::SetCFDescriptor(text);
    if (!mEdit)
        return;
    mEdit->setText(text);
    UpdateKeptText();
}

SInt32 CCarbonEditText::GetValue() const
{
    return GetCFDescriptor().trimmed().toInt();
}

void CCarbonEditText::SetValue(SInt32 value)
{
    SetCFDescriptor(QString::number(value));
}

void CCarbonEditText::GetSelection(SInt16& outStart, SInt16& outEnd) const
{
    if (mEdit->hasSelectedText()) {
        outStart = Clamp16(mEdit->selectionStart());
        outEnd = Clamp16(mEdit->selectionEnd());
    } else {
        outStart = outEnd = Clamp16(mEdit->cursorPosition());
    }
}

void CCarbonEditText::SetSelection(SInt16 start, SInt16 end)
{
    int length = int(mEdit->text().size());
    start = Clamp16(std::min<int>(start, length));
    end = Clamp16(std::min<int>(end, length));
    if (start == end)
        mEdit->setCursorPosition(start);
    else
        mEdit->setSelection(start, end - start);
}

bool CCarbonEditText::HasSelection() const
{
    SInt16 start, end;
    GetSelection(start, end);
    return start < end;
}

void CCarbonEditText::SelectAll()
{
    SetSelection(0, Clamp16(int(mEdit->text().size())));
}

bool CCarbonEditText::WouldExceedMaxLength(SInt32 added) const
{
    SInt16 start, end;
    GetSelection(start, end);
    return SInt32(mEdit->text().size()) - (end - start) + added > mMaxLength;
}

void CCarbonEditText::UpdateKeptText()
{
    mText = mEdit->text();
    GetSelection(mSelStart, mSelEnd);
}

void CCarbonEditText::Beep()
{
    QApplication::beep();
}

bool CCarbonEditText::FilterWholeText()
{
    QString text = mEdit->text();
    SInt16 start, end;
    GetSelection(start, end);
    QString kept;
    for (int i = 0; i < text.size(); ++i) {
        if (KeepsChar(mKeyFilter, text.at(i), int(kept.size()))) {
            kept.append(text.at(i));
            continue;
        }
        int removedAt = int(kept.size()); // where it stood in the text shortened so far
        if (removedAt < start)
            --start;
        if (removedAt < end)
            --end;
    }
    if (kept == text)
        return false;
    mEdit->setText(kept);
    SetSelection(start, end);
    Beep();
    return true;
}

void CCarbonEditText::ChangeBroadcast()
{
    LCommander::SetUpdateCommandStatus(true);
    if (GetValueMessage() != 0)
        BroadcastMessage(GetValueMessage(), this);
}

void CCarbonEditText::TextChanged(bool typing)
{
    QString current = mEdit->text();
    SInt16 start, end;
    GetSelection(start, end);
    if (current == mText) {
        if (start != mSelStart || end != mSelEnd)
            LCommander::SetUpdateCommandStatus(true);
        UpdateKeptText();
        return;
    }
    if (typing) {
        if (!mFiltered)
            FilterWholeText();
        // Too long: characters go one at a time, before the caret first.
        QString text = mEdit->text();
        GetSelection(start, end);
        if (text.size() > mMaxLength) {
            while (text.size() > mMaxLength) {
                if (start > 0) {
                    text.remove(start - 1, 1);
                    --start;
                    end = SInt16(std::max(end - 1, 0));
                } else {
                    text.remove(0, 1);
                }
                Beep();
            }
            mEdit->setText(text);
            SetSelection(start, end);
        }
        GetSelection(start, end);
        auto* action = new CCarbonEditTextTypingAction(this, mSelStart, mSelEnd);
        action->SetLastSelection(start, end);
        SInt16 lastStart = 0, lastEnd = 0;
        if (mTypingAction)
            mTypingAction->GetLastSelection(lastStart, lastEnd);
        if (mTypingAction && lastStart == mSelStart && lastEnd == mSelEnd) {
            mTypingAction->SetLastSelection(start, end);
            delete action;
        } else {
            mTypingAction = action;
            PostAction(action);
        }
    } else {
        FilterWholeText();
    }
    ChangeBroadcast();
    UpdateKeptText();
    mFiltered = false;
}

bool CCarbonEditText::SendCommand(OSType command)
{
    switch (command) {
    case 'past': {
        const QMimeData* data = QApplication::clipboard()->mimeData();
        QString text = data ? data->text() : QString();
        if (WouldExceedMaxLength(SInt32(text.size()))) {
            Beep();
            return true;
        }
        [[fallthrough]];
    }
    case 'clea':
    case 'cut ': {
        UpdateKeptText();
        LAction* action = command == 'past' ? static_cast<LAction*>(new CCarbonEditTextPasteAction(this))
            : command == 'cut '             ? static_cast<LAction*>(new CCarbonEditTextCutAction(this))
                                            : static_cast<LAction*>(new CCarbonEditTextClearAction(this));
        PostAction(action);
        if (command == 'past')
            mEdit->paste();
        else if (command == 'cut ')
            mEdit->cut();
        else
            mEdit->del();
        TextChanged(false);
        return true;
    }
    case 'copy':
        mEdit->copy();
        return true;
    case 'sall':
        LCommander::SetUpdateCommandStatus(true);
        mEdit->selectAll();
        return true;
    case 'undo':
        ProcessCommand(cmd_Undo);
        return true;
    case 'redo':
        ProcessCommand(cmd_Redo);
        return true;
    default:
        return false;
    }
}

void CCarbonEditText::FindCommandStatus(CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark, Str255& outName)
{
    switch (command) {
    case cmd_Cut:
    case cmd_Copy:
    case cmd_Clear:
        outEnabled = HasSelection();
        return;
    case cmd_Paste: {
        const QMimeData* data = QApplication::clipboard()->mimeData();
        outEnabled = data && data->hasText();
        return;
    }
    case cmd_SelectAll:
        outEnabled = !mEdit->text().isEmpty();
        return;
    default:
        LCommander::FindCommandStatus(command, outEnabled, outUsesMark, outMark, outName);
    }
}

bool CCarbonEditText::ObeyCommand(CommandT command, void* ioParam)
{
    switch (command) {
    case cmd_Cut:
        return SendCommand('cut ');
    case cmd_Copy:
        return SendCommand('copy');
    case cmd_Paste:
        return SendCommand('past');
    case cmd_Clear:
        return SendCommand('clea');
    case cmd_SelectAll:
        return SendCommand('sall');
    case cmd_Undo:
    case cmd_Redo:
        TextChanged(true); // what was typed last joins the action first
        return LCommander::ObeyCommand(command, ioParam);
    case cmd_ActionDeleted:
        if (ioParam && ioParam == static_cast<LAction*>(mTypingAction))
            mTypingAction = nullptr;
        return true;
    case cmd_ActionCut:
    case cmd_ActionPaste:
    case cmd_ActionClear:
    case cmd_ActionTyping:
        ChangeBroadcast();
        UpdateKeptText();
        return true;
    case msg_TabSelect:
        return IsEnabled();
    default:
        return LCommander::ObeyCommand(command, ioParam);
    }
}

bool CCarbonEditText::HandleKeyPress(const EventRecord& event)
{
    UInt8 c = EventCharCode(event);
    if (!(event.modifiers & cmdKey) && c != char_Tab && c != char_Enter && c != char_Return && c != char_Escape) {
        QString text = QString(QChar(c));
        int qtKey = c == char_Backspace ? Qt::Key_Backspace : c == char_FwdDelete ? Qt::Key_Delete : 0;
        if (c < 0x20 && qtKey == 0)
            return LCommander::HandleKeyPress(event);
        QKeyEvent key(QEvent::KeyPress, qtKey, Qt::KeyboardModifiers(QtModifiersFrom(event.modifiers)), qtKey ? QString() : text);
        QApplication::sendEvent(mEdit, &key);
        return true;
    }
    return LCommander::HandleKeyPress(event);
}

void CCarbonEditText::Deliver(QEvent* event)
{
    mDelivering = true;
    static_cast<QObject*>(mEdit)->event(event);
    mDelivering = false;
}

bool CCarbonEditText::HandleTyped(const QString& typed, UInt8 keyCode, UInt16 modifiers, QEvent* event)
{
    SInt16 start, end;
    GetSelection(start, end);
    SInt16 status = EditTextKeyStatus(mKeyFilter, typed, keyCode, modifiers, start);
    mFiltered = true;
    switch (status) {
    case keyStatus_Input:
        if (WouldExceedMaxLength(SInt32(typed.size()))) {
            Beep();
            break;
        }
        Deliver(event);
        TextChanged(true);
        break;
    case keyStatus_TEDelete:
    case keyStatus_TECursor:
        Deliver(event);
        TextChanged(true);
        break;
    case keyStatus_ExtraEdit: {
        UInt16 c = typed.isEmpty() ? 0 : typed.at(0).unicode();
        if (c == char_Home)
            SetSelection(0, 0);
        else if (c == char_End)
            SetSelection(Clamp16(int(mEdit->text().size())), Clamp16(int(mEdit->text().size())));
        else if (c == char_Clear && keyCode == vkey_Clear)
            SendCommand('clea');
        else if (c == char_FwdDelete) {
            Deliver(event);
            TextChanged(true);
        }
        break;
    }
    case keyStatus_Ignore:
        break;
    case keyStatus_Reject:
        Beep();
        break;
    case keyStatus_PassUp: {
        EventRecord record;
        record.what = keyDown;
        record.message = (UInt32(keyCode) << 8) | (typed.isEmpty() ? 0 : (typed.at(0).unicode() & 0xFF));
        record.when = TickCount();
        record.modifiers = modifiers;
        LMenuBar* menuBar = LMenuBar::GetCurrentMenuBar();
        if (!(menuBar && menuBar->HandleKeyEquivalent(record)) && GetSuperCommander())
            GetSuperCommander()->ProcessKeyPress(record);
        break;
    }
    case keyStatus_InsertAsIs:
    case keyStatus_InsertReturnAsIs:
        if (WouldExceedMaxLength(SInt32(typed.size()))) {
            Beep();
            break;
        }
        mEdit->insert(typed);
        TextChanged(true);
        break;
    default:
        break;
    }
    mFiltered = false;
    return true;
}

bool CCarbonEditText::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != mEdit || mDelivering)
        return LControlPane::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)
            return false; // Qt's focus chain moves on
        UpdateKeptText();
        mFiltered = false;
        EventRecord record = EventRecordFromKeyEvent(*key);
        if (record.modifiers & cmdKey) {
            // The edit commands as the menus would give them, so undo stays in the chain.
            if (key->matches(QKeySequence::Undo))
                return RunReportingErrors([&] { SendCommand('undo'); }), true;
            if (key->matches(QKeySequence::Redo))
                return RunReportingErrors([&] { SendCommand('redo'); }), true;
            if (key->matches(QKeySequence::Cut))
                return RunReportingErrors([&] { ProcessCommand(cmd_Cut); }), true;
            if (key->matches(QKeySequence::Paste))
                return RunReportingErrors([&] { ProcessCommand(cmd_Paste); }), true;
            return false; // other command keys: the menus
        }
        QString typed = key->text();
        if (typed.isEmpty() || typed.at(0).unicode() < 0x20 || typed.at(0).unicode() == 0x7F)
            typed = QString(QChar(EventCharCode(record)));
        RunReportingErrors([&] { HandleTyped(typed, EventKeyCode(record), record.modifiers, event); });
        return true;
    }
    if (event->type() == QEvent::InputMethod) {
        auto* input = static_cast<QInputMethodEvent*>(event);
        if (input->commitString().isEmpty())
            return false; // composing: the control shows it
        UpdateKeptText();
        RunReportingErrors([&] { HandleTyped(input->commitString(), 0, 0, event); });
        return true;
    }
    return LControlPane::eventFilter(watched, event);
}

void CCarbonEditText::BeTarget()
{
    mEdit->setFocus(Qt::OtherFocusReason);
}

void CCarbonEditText::DontBeTarget()
{
    TextChanged(true);
    mEdit->deselect();
    Refresh();
}

void CCarbonEditText::Hide()
{
    if (IsTarget())
        HandTargetBack();
    LControlPane::Hide();
}

void CCarbonEditText::Disable()
{
    if (IsTarget())
        HandTargetBack();
    LControlPane::Disable();
}

CCarbonEditTextAction::CCarbonEditTextAction(CCarbonEditText* pane, SInt16 stringIndex, CommandT actionCommand)
    : LAction(150, stringIndex, true)
    , mPane(pane)
    , mText(pane->GetKeptText())
    , mActionCommand(actionCommand)
{
    pane->GetSelection(mSelStart, mSelEnd);
}

void CCarbonEditTextAction::Swap()
{
    if (!mPane)
        return;
    QString text = mPane->GetCFDescriptor();
    SInt16 start, end;
    mPane->GetSelection(start, end);
    mPane->SetCFDescriptor(mText);
    mPane->SetSelection(mSelStart, mSelEnd);
    mText = text;
    mSelStart = start;
    mSelEnd = end;
    mPane->ProcessCommand(mActionCommand, this);
}

CCarbonEditTextTypingAction::CCarbonEditTextTypingAction(CCarbonEditText* pane, SInt16 selStart, SInt16 selEnd)
    : CCarbonEditTextAction(pane, 7, cmd_ActionTyping)
    , mLastStart(selStart)
    , mLastEnd(selEnd)
{
    mSelStart = selStart;
    mSelEnd = selEnd;
}

CCarbonEditTextTypingAction::~CCarbonEditTextTypingAction()
{
    if (mPane)
        RunReportingErrors([&] { mPane->ProcessCommand(cmd_ActionDeleted, static_cast<LAction*>(this)); });
}

namespace {
QComboBox* MakeComboFace()
{
    auto* combo = new QComboBox;
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert); // the pane keeps its own list
    combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return combo;
}
} // namespace

CComboBox::CComboBox(const SPaneInfo& info, SInt16 keyFilter, SInt32 maxLength)
    : CComboBox(info, MakeComboFace(), keyFilter, maxLength)
{
}

CComboBox::CComboBox(const LLayoutData& data)
    : CComboBox(data, MakeComboFace())
{
}

CComboBox::CComboBox(const SPaneInfo& info, QComboBox* combo, SInt16 keyFilter, SInt32 maxLength)
    : CCarbonEditText(info, combo, combo->lineEdit(), keyFilter, maxLength)
    , mCombo(combo)
{
}

CComboBox::CComboBox(const LLayoutData& data, QComboBox* combo)
    : CCarbonEditText(data, combo, combo->lineEdit())
    , mCombo(combo)
{
}

void CComboBox::FinishCreateSelf()
{
    CCarbonEditText::FinishCreateSelf();
    LoadList();
}

void CComboBox::LoadList()
{
    // A damaged preference leaves the list empty; it is not worth an error.
    CatchCode([&] {
        mKey = FourCharCodeToQString(FourCharCode(GetPaneID()));
        if (mKey.size() != 4)
            ThrowOSErr_('nilP', "no key for the combo box");
        QVariantMap all = CopyPrefValue(kRecentItemsKey).toMap();
        if (all.contains(mKey))
            SetList(all.value(mKey).toStringList());
    });
}

QStringList CComboBox::GetList() const
{
    QStringList list;
    for (int i = 0; i < mCombo->count(); ++i)
        list.append(mCombo->itemText(i));
    return list;
}

void CComboBox::SetList(const QStringList& list)
{
    QString text = mCombo->lineEdit()->text();
    mCombo->clear();
    mCombo->addItems(list);
    mCombo->lineEdit()->setText(text);
}

void CComboBox::DontBeTarget()
{
    CCarbonEditText::DontBeTarget();
    QStringList list = GetList();
    QString text = GetCFDescriptor();
    if (!text.isEmpty() && !list.contains(text)) {
        list.insert(0, text);
        while (list.size() > kMaxRecentItems)
            list.removeLast();
        SetList(list);
    }
    SaveList();
}

void CComboBox::SaveList()
{
    if (mKey.isEmpty())
        mKey = FourCharCodeToQString(FourCharCode(GetPaneID()));
    QVariantMap all = CopyPrefValue(kRecentItemsKey).toMap();
    QStringList list = GetList();
    if (!list.isEmpty())
        all.insert(mKey, QVariantList(list.begin(), list.end()));
    SetPrefValue(kRecentItemsKey, all);
}
