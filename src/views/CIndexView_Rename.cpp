// The index view's in-place rename: the edit field over a text line of a cell,
// Tab through the editable fields, and the edited text applied to the item.
#include "CIndexView.h"

#include "CIndexItem.h"
#include "CInPlaceEditField.h"
#include "ErrorHook.h"
#include "ExceptionCode.h"
#include "FieldKeys.h"
#include "IndexGridNavigation.h"
#include "LocalizedStrings.h"
#include "CInfoView.h"
#include "Preferences.h"

#include <QLineEdit>

namespace {

constexpr PaneIDT kRenameFieldID = 3021;
constexpr int kRenameMaxChars = 255;
constexpr ResIDT kTraitsFits = 1032;
constexpr ResIDT kTraitsNarrow = 1051;
constexpr int kRingWidth = 3;

bool IsEditableFieldKey(SInt32 key)
{
    return key == kFieldName || key == 4006 || (key >= 6001 && key <= 6012) || (key >= 6014 && key <= 6018);
}

} // namespace

CInPlaceEditField::CInPlaceEditField(const SPaneInfo& info, const QString& text, ResIDT textTraitsID, int maxChars,
    LCommander* superCommander, MessageT message)
    : LInPlaceEditField(info, text, textTraitsID, maxChars, superCommander)
    , mOriginal(text)
    , mMessage(message)
{
}

QString CInPlaceEditField::GetText() const
{
    return GetLineEdit()->text();
}

bool CInPlaceEditField::HandleKeyPress(const EventRecord& event)
{
    if (EventCharCode(event) == char_Escape && IsEditing())
        GetLineEdit()->setText(mOriginal); // the edit is given up
    return LInPlaceEditField::HandleKeyPress(event);
}

void CInPlaceEditField::DoneEditing()
{
    LInPlaceEditField::DoneEditing();
    if (LView* super = GetSuperView())
        super->RefreshRect(geometry().adjusted(-kRingWidth, -kRingWidth, kRingWidth, kRingWidth));
    QString text = GetText();
    BroadcastMessage(mMessage, &text);
}

bool CIndexView::IsRenameFieldEditable(SInt32 index, SInt32 column) const
{
    CIndexItem* item = nullptr;
    QRect cell;
    if (column < 0 || column >= CountColumns() || !GetItemAt(index, item) || !item || !GetCellRect(index, cell))
        return false;
    // The line must show whole inside the cell.
    const QRect line = item->GetTextLineRect(SInt16(column), cell, *this);
    return cell.contains(line) && IsEditableFieldKey(GetColumnAt(column));
}

bool CIndexView::StartRename(SInt32 index, QPoint local)
{
    CIndexItem* item = nullptr;
    QRect cell;
    if (!GetItemAt(index, item) || !item || !GetCellRect(index, cell))
        ThrowOSErr_(err_AssertFailed, "index view: no item to rename");
    return OpenRenameField(index, item->FindTextLineAt(local, cell, *this));
}

bool CIndexView::RenameSelectedItem()
{
    const SInt32 index = GetFirstSelectedIndex();
    if (index == 0 || IsItemListLocked() || IsFullScreen())
        return false;
    SInt32 chosen = -1;
    for (SInt32 column = 0; column < CountColumns(); ++column) {
        if (!IsRenameFieldEditable(index, column))
            continue;
        if (chosen < 0 || GetColumnAt(column) == kFieldName)
            chosen = column;
        if (GetColumnAt(column) == kFieldName)
            break;
    }
    return chosen >= 0 && OpenRenameField(index, chosen);
}

bool CIndexView::RenameNextField(bool backward, bool sameColumn)
{
    if (!mRenameItem)
        return false;
    SInt32 index = mModel->GetIndexOfItem(mRenameItem);
    SInt32 column = mRenameColumn;
    if (index == 0)
        return false;
    if (!NextRenameField(index, column, backward, sameColumn, CountItems(), CountColumns(),
            [this](SInt32 i, SInt32 c) { return IsRenameFieldEditable(i, c); }))
        return false;
    return OpenRenameField(index, column);
}

bool CIndexView::OpenRenameField(SInt32 index, SInt32 column)
{
    CloseRenameField(); // an open edit ends (and is applied) first
    if (!IsRenameFieldEditable(index, column))
        return false;
    ScrollToIndex(index, false);
    CIndexItem* item = nullptr;
    QRect cell;
    if (!GetItemAt(index, item) || !item || !GetCellRect(index, cell))
        ThrowOSErr_(err_AssertFailed, "index view: no item to rename");
    const SInt32 key = GetColumnAt(column);
    QString text = item->CopyFieldString(key, kFieldTextFullName);
    if (key == kFieldName && text.isEmpty()) {
        item->ShowInfoWindow(this, mModel);
        return false;
    }
    // A name's extension is kept out of the way, as file managers do: selected
    // apart from it when the cells show it, kept aside and put back when they do not.
    const qsizetype extensionPoint = key == kFieldName ? FileExtensionPoint(text) : -1;
    mRenameHiddenExtension.clear();
    if (extensionPoint > 0 && !GetPrefBoolean(QStringLiteral("ShowFileExtension"))) {
        mRenameHiddenExtension = text.mid(extensionPoint);
        text.truncate(extensionPoint);
    }
    mRenameItem = item;
    mRenameColumn = column;

    const QRect line = RenameFieldRect(*item, column, cell);
    const bool fits = !IsExtendedView() && fontMetrics().horizontalAdvance(text) <= line.width() - 4;
    SPaneInfo info;
    info.paneID = kRenameFieldID;
    info.left = line.left();
    info.top = line.top();
    info.width = line.width();
    info.height = line.height();
    info.superView = this;
    mRenameField = new CInPlaceEditField(info, text, fits ? kTraitsFits : kTraitsNarrow, kRenameMaxChars, this, msg_RenameEnded);
    mRenameField->setParent(this);
    mRenameField->setGeometry(line);
    mRenameField->AddListener(this);
    mRenameField->Show();
    mRenameField->show();
    LCommander::SwitchTarget(mRenameField);
    if (extensionPoint > 0 && mRenameHiddenExtension.isEmpty())
        mRenameField->GetLineEdit()->setSelection(0, int(extensionPoint));
    else
        mRenameField->SelectAll();
    if (!IsExtendedView()) { // the placard says what is being edited
        QString info = CopyLocalizedString(QStringLiteral("EDIT_ITEM_COLUMN_INFO")).arg(CopyFieldName(key), item->GetName());
        BroadcastMessage(msg_PlacardInfoText, &info);
    }
    return true;
}

QRect CIndexView::RenameFieldRect(CIndexItem& item, SInt32 column, const QRect& cell) const
{
    QRect line = item.GetTextLineRect(SInt16(column), cell, *this);
    line.setLeft(line.left() + (IsExtendedView() ? 10 : 2));
    return line;
}

void CIndexView::PlaceRenameField()
{
    // Scrolling moves the field with the image; a new layout of the cells moves
    // its cell elsewhere, and the field follows.
    if (!mRenameField || !mRenameItem)
        return;
    QRect cell;
    if (GetCellRect(mModel->GetIndexOfItem(mRenameItem), cell))
        mRenameField->setGeometry(RenameFieldRect(*mRenameItem, mRenameColumn, cell));
}

void CIndexView::CloseRenameField()
{
    CInPlaceEditField* field = mRenameField;
    if (!field)
        return;
    if (field->IsEditing())
        field->EndEditing(); // applies the text through ListenToMessage
    field->RemoveListener(this);
    if (LCommander::GetTarget() == field)
        LCommander::SwitchTarget(this);
    mRenameField = nullptr;
    field->hide();
    field->deleteLater();
}

void CIndexView::ApplyRename(const QString& edited)
{
    CIndexItem* item = mRenameItem;
    const QString text = edited.isEmpty() ? edited : edited + mRenameHiddenExtension;
    mRenameHiddenExtension.clear();
    const SInt32 key = GetColumnAt(mRenameColumn);
    mRenameItem = nullptr;
    ApplyFieldEdit(item, key, key == kFieldName && edited.trimmed().isEmpty() ? QString() : text);
}

void CIndexView::ApplyFieldEdit(CIndexItem* item, SInt32 key, const QString& text)
{
    // An emptied name is no name: the item keeps the one it has.
    if (!item || mModel->GetIndexOfItem(item) == 0 || (key == kFieldName && text.trimmed().isEmpty())) {
        BroadcastState(1);
        return;
    }
    if (item->CopyFieldString(key, kFieldTextFullName) == text) { // unchanged or given up
        BroadcastState(1);
        return;
    }
    // The model keeps its value index, redraws the cell and marks the index modified.
    const OSStatus result = mModel->SetItemField(item, key, text);
    if (result != noErr) {
        // The field keeps its value; the user hears why.
        ReportErrorThroughHook(ExceptionCode(result, "renaming an item in place"));
        BroadcastState(1);
        return;
    }
    BroadcastItemsChanged(key);
    BroadcastState(1);
}
