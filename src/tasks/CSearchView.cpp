#include "CSearchView.h"

#include "AliasRecord.h"
#include "BatchActions.h"
#include "CDateTimeControl.h"
#include "ExceptionCode.h"
#include "FieldKeys.h"
#include "LMenuBar.h"
#include "LStdControls.h"
#include "LWindow.h"
#include "LocalizedStrings.h"
#include "MacDates.h"
#include "SearchEvaluation.h"
#include "UKeyFilters.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSettings>
#include <QStandardPaths>

namespace {

Q_LOGGING_CATEGORY(lcSearchRow, "orvex.search")

constexpr int kMaxTextChars = 255;
// The digits of the largest 64-bit number, which the search compares; a batch
// sets 32-bit fields (a position, an urgency) and keeps to 8.
constexpr int kMaxNumberChars = 19;
constexpr int kMaxBatchNumberChars = 8;
constexpr int kMaxCodeChars = 4;
// The file action editor's value items: ask when run, the chosen target, choose.
constexpr CommandT kTargetAsk = 1;
constexpr CommandT kTargetChosen = 2;

} // namespace

CSearchView::CSearchView(const LLayoutData& data)
    : CSearchView(data, kSearchFieldMenu)
{
}

CSearchView::CSearchView(const LLayoutData& data, ResIDT fieldMenuID)
    : LView(data)
    , mFieldMenuID(fieldMenuID)
{
}

CSearchView::~CSearchView() = default;

void CSearchView::FinishCreateSelf()
{
    LView::FinishCreateSelf();
    mCategoryPopup = FindPaneAs<LStdPopupMenu>(this, 'crit');
    mSelectorPopup = FindPaneAs<LStdPopupMenu>(this, 'sele');
    mValuePopup = FindPaneAs<LStdPopupMenu>(this, 'vsel');
    mFieldPopup = FindPaneAs<LStdPopupMenu>(this, 'vinp');
    mValueArea = FindPaneByID('appi');
    mTextField = FindPaneAs<LEditText>(this, 'valu');
    mDateField = FindPaneAs<CDatePane>(this, 'date');
    mToggle = FindPaneByID('isel');
    if (!mCategoryPopup || !mSelectorPopup)
        ThrowOSErr_(err_NilPointer, "criteria row: no field or operator popup");

    FillPopupFromMenu(*mCategoryPopup, CachedMenu(mFieldMenuID));
    if (mFieldPopup)
        FillPopupFromMenu(*mFieldPopup, CachedMenu(kSearchFieldMenu));
    for (LStdPopupMenu* popup : { mCategoryPopup, mSelectorPopup, mValuePopup, mFieldPopup }) {
        if (popup)
            popup->AddListener(this);
    }
    if (auto* toggle = dynamic_cast<LControl*>(mToggle)) {
        toggle->AddListener(this);
        toggle->setToolTip(CopyLocalizedString(QStringLiteral("SEARCH_FIELD_TOGGLE_TIP")));
    }
    ShowPane(mFieldPopup, false);
    ShowPane(mToggle, false);
    ShowPane(mTextField, true);
    if (mValueArea)
        mValueArea->raise(); // over the field popup, which shows where it is hidden
    ShowEditor(GetCategory());
}

bool CSearchView::IsShownInRow(const LPane* pane) const
{
    if (!pane)
        return false;
    for (const QWidget* widget = pane; widget && widget != this; widget = widget->parentWidget()) {
        if (widget->isHidden())
            return false;
    }
    return true;
}

void CSearchView::ShowPane(LPane* pane, bool shown)
{
    if (pane)
        pane->SetVisible(shown);
}

SInt32 CSearchView::GetCategory() const
{
    return PopupCommand(*mCategoryPopup, CachedMenu(mFieldMenuID));
}

SInt32 CSearchView::GetSelector() const
{
    return mSelectorMenuID == 0 ? 0 : PopupCommand(*mSelectorPopup, CachedMenu(mSelectorMenuID));
}

void CSearchView::SetDefaultCategory(SInt32 row)
{
    const LMenu& menu = CachedMenu(mFieldMenuID);
    SInt32 seen = 0;
    SInt16 chosen = 0;
    for (SInt16 i = 1; i <= menu.CountItems() && chosen == 0; ++i) {
        if (!menu.Item(i)->IsSeparator() && menu.Item(i)->command != 0 && ++seen == row)
            chosen = i;
    }
    // A row past the menu's end takes the last field.
    if (chosen == 0)
        chosen = menu.CountItems();
    mCategoryPopup->StopBroadcasting();
    mCategoryPopup->SetValue(chosen);
    mCategoryPopup->StartBroadcasting();
    mValueText.clear();
    ListenToMessage(msg_RowRebuild, nullptr);
}

void CSearchView::SetFromDictionary(const QVariantMap& dictionary)
{
    mCriteria.SetDictionary(dictionary);
    mValueText = mCriteria.GetValue();
    const SInt32 category = mCriteria.GetCategory();
    if (!SetPopupToCommand(*mCategoryPopup, CachedMenu(mFieldMenuID), category))
        qCWarning(lcSearchRow) << "a stored criterion names field" << category << "which this row cannot edit";
    // A value naming another field is shown by the field popup, not typed.
    const bool fieldValue = mValueText.startsWith(kFieldReferencePrefix);
    const QString fieldKey = fieldValue ? mValueText.mid(kFieldReferencePrefix.size()) : QString();
    if (fieldValue)
        mValueText.clear();
    ListenToMessage(msg_RowRebuild, nullptr);
    if (mSelectorMenuID != 0 && SetPopupToCommand(*mSelectorPopup, CachedMenu(mSelectorMenuID), mCriteria.GetSelector()))
        SelectorRestored();
    UpdateDateField();
    if (fieldValue && mFieldPopup) {
        SetPopupToCommand(*mFieldPopup, CachedMenu(kSearchFieldMenu), fieldKey.toInt());
        ShowPane(mValueArea, false);
        ShowPane(mFieldPopup, true);
    }
}

std::unique_ptr<CCriteria> CSearchView::MakeCriteria()
{
    const SInt32 category = GetCategory();
    const SInt32 selector = GetSelector();
    QString value;
    if (IsShownInRow(mTextField)) {
        value = mTextField->GetCFDescriptor();
    } else if (IsShownInRow(mFieldPopup)) {
        value = kFieldReferencePrefix + QString::number(PopupCommand(*mFieldPopup, CachedMenu(kSearchFieldMenu)));
    } else if (IsShownInRow(mValuePopup) && mValueMenu) {
        const CommandT command = PopupCommand(*mValuePopup, *mValueMenu);
        value = (mValueMenuID == kSearchFieldMenu ? kFieldReferencePrefix : QString()) + QString::number(command);
    } else if (IsShownInRow(mDateField)) {
        value = CCriteria::EncodeDate(mDateField->GetDateSeconds());
    } else {
        value = QStringLiteral("-");
    }
    mCriteria.SetValue(value);
    mCriteria.SetCategory(category);
    mCriteria.SetSelector(selector);
    return std::make_unique<CCriteria>(mCriteria);
}

QVariantMap CSearchView::CopyCriteriaDictionary()
{
    return MakeCriteria()->GetDictionary();
}

void CSearchView::ListenToMessage(MessageT message, void* ioParam)
{
    switch (message) {
    case msg_RowCategory:
        mValueText.clear();
        [[fallthrough]];
    case msg_RowRebuild:
        ShowEditor(GetCategory());
        break;
    case msg_RowSelector:
        UpdateDateField();
        break;
    case msg_RowToggleField:
        if (IsShownInRow(mValueArea) || !mValueArea) {
            ShowPane(mValueArea, false);
            ShowPane(mFieldPopup, true);
        } else {
            ShowPane(mFieldPopup, false);
            if (mTextField)
                mTextField->SetCFDescriptor(QString());
            mValueText.clear();
            ShowPane(mValueArea, true);
            if (mTextField && IsShownInRow(mTextField))
                mTextField->setFocus();
        }
        break;
    default:
        Q_UNUSED(ioParam);
        break;
    }
}

void CSearchView::ShowEditor(SInt32 key)
{
    // A field without an editor is not in the menu; a stored one keeps the row as it is.
    mEditorKind = EditorKindOf(key);
    switch (mEditorKind) {
    case EEditorKind::Text:
        if (IsEXIFFieldKey(key))
            ShowExifTextEditor(key);
        else
            ShowTextEditor(key);
        break;
    case EEditorKind::Keywords: ShowKeywordsEditor(key); break;
    case EEditorKind::Date: ShowDateEditor(key); break;
    case EEditorKind::Number: ShowNumberEditor(key); break;
    case EEditorKind::Code: ShowShortTextEditor(key); break;
    case EEditorKind::Flag: ShowFlagEditor(key); break;
    case EEditorKind::Menu: ShowMenuEditor(key); break;
    case EEditorKind::None: break;
    }
}

void CSearchView::ShowTextField(SInt16 keyFilter, int maxChars)
{
    if (!mTextField)
        return;
    mTextField->SetKeyFilter(keyFilter);
    mTextField->SetMaxChars(maxChars);
    mTextField->SetCFDescriptor(mValueText.left(maxChars));
    ShowPane(mTextField, true);
}

void CSearchView::HideTextField()
{
    if (!mTextField)
        return;
    mTextField->SetCFDescriptor(QString());
    ShowPane(mTextField, false);
}

void CSearchView::InstallSelectorMenu(ResIDT menuID, bool firstItem)
{
    const bool same = mSelectorMenuID == menuID;
    mSelectorMenuID = menuID;
    FillPopupFromMenu(*mSelectorPopup, CachedMenu(menuID));
    if (firstItem || !same) {
        mSelectorPopup->StopBroadcasting();
        mSelectorPopup->SetValue(1);
        mSelectorPopup->StartBroadcasting();
    }
    ShowPane(mSelectorPopup, true);
}

void CSearchView::InstallValueMenu(const LMenu& menu)
{
    mValueMenu = &menu;
    mValueMenuID = menu.GetMenuID();
    if (!mValuePopup)
        return;
    FillPopupFromMenu(*mValuePopup, menu);
    ChooseValueItemFromText();
    ShowPane(mValuePopup, true);
}

void CSearchView::ChooseValueItemFromText()
{
    if (!mValuePopup || !mValueMenu)
        return;
    bool ok = false;
    const SInt32 command = mValueText.toInt(&ok);
    if (!ok || !SetPopupToCommand(*mValuePopup, *mValueMenu, command)) {
        mValuePopup->StopBroadcasting();
        mValuePopup->SetValue(1);
        mValuePopup->StartBroadcasting();
    }
}

bool CSearchView::IsDateTest() const
{
    return mEditorKind == EEditorKind::Date;
}

void CSearchView::UpdateDateField()
{
    if (!IsDateTest() || !mDateField)
        return;
    const SInt32 selector = GetSelector();
    const bool noDate = selector == kSelectorToday || selector == kSelectorYesterday;
    // A date field hidden behind the field popup stays hidden.
    ShowPane(mDateField, !noDate);
}

void CSearchView::ShowTextEditor(SInt32)
{
    ShowPane(mValuePopup, false);
    ShowTextField(keyFilter_Printing, kMaxTextChars);
    ShowPane(mValueArea, true);
    ShowPane(mDateField, false);
    InstallSelectorMenu(kTextTestMenu, true);
    ShowPane(mFieldPopup, false);
    ShowPane(mToggle, true);
}

void CSearchView::ShowKeywordsEditor(SInt32)
{
    ShowPane(mValuePopup, false);
    ShowTextField(keyFilter_Printing, kMaxTextChars);
    ShowPane(mValueArea, true);
    ShowPane(mDateField, false);
    InstallSelectorMenu(kKeywordTestMenu, true);
    ShowPane(mFieldPopup, false);
    ShowPane(mToggle, true);
}

void CSearchView::ShowDateEditor(SInt32)
{
    HideTextField();
    ShowPane(mFieldPopup, false);
    ShowPane(mToggle, true);
    ShowPane(mValuePopup, false);
    InstallSelectorMenu(kDateTestMenu, false);
    ShowPane(mValueArea, true);
    UInt32 seconds = 0;
    if (mDateField && CCriteria::DecodeDate(mValueText, seconds))
        mDateField->SetDateSeconds(seconds);
    UpdateDateField();
}

void CSearchView::ShowNumberEditor(SInt32)
{
    ShowPane(mValuePopup, false);
    ShowPane(mDateField, false);
    ShowTextField(keyFilter_Integer, kMaxNumberChars);
    ShowPane(mValueArea, true);
    InstallSelectorMenu(kNumberTestMenu, false);
    ShowPane(mFieldPopup, false);
    ShowPane(mToggle, true);
}

void CSearchView::ShowShortTextEditor(SInt32)
{
    ShowPane(mValuePopup, false);
    ShowPane(mDateField, false);
    ShowTextField(keyFilter_Printing, kMaxCodeChars);
    ShowPane(mValueArea, true);
    InstallSelectorMenu(kCodeTestMenu, false);
    ShowPane(mFieldPopup, false);
    ShowPane(mToggle, true);
}

void CSearchView::ShowFlagEditor(SInt32 key)
{
    HideTextField();
    ShowPane(mValuePopup, false);
    ShowPane(mFieldPopup, false);
    ShowPane(mToggle, false);
    ShowPane(mDateField, false);
    InstallSelectorMenu(SearchSelectorMenu(key), false);
}

void CSearchView::ShowMenuEditor(SInt32 key)
{
    HideTextField();
    ShowPane(mFieldPopup, false);
    ShowPane(mToggle, false);
    ShowPane(mValueArea, true);
    ShowPane(mDateField, false);
    InstallSelectorMenu(SearchSelectorMenu(key), false);
    InstallValueMenu(CachedMenu(SearchValueMenu(key)));
}

// --- Batch rows ---------------------------------------------------------------------------

CBatchView::CBatchView(const LLayoutData& data)
    : CSearchView(data, kBatchFieldMenu)
{
}

void CBatchView::ShowEditor(SInt32 key)
{
    if (key == kFieldFileState) {
        mEditorKind = EEditorKind::Menu;
        ShowActionEditor();
        return;
    }
    CSearchView::ShowEditor(key);
}

void CBatchView::ShowTextEditor(SInt32)
{
    if (mSelectorMenuID != kTextActionMenu)
        InstallSelectorMenu(kTextActionMenu, true);
    ShowPane(mDateField, false);
    ShowPane(mValueArea, true);
    ShowPane(mFieldPopup, false);
    if (GetSelector() == kBatchChangeCase) {
        HideTextField();
        ShowPane(mToggle, false);
        InstallValueMenu(CachedMenu(kCaseValueMenu));
        return;
    }
    ShowPane(mValuePopup, false);
    mValueMenu = nullptr;
    mValueMenuID = 0;
    ShowTextField(keyFilter_Printing, kMaxTextChars);
    ShowPane(mToggle, true);
}

void CBatchView::ShowKeywordsEditor(SInt32 key)
{
    CSearchView::ShowKeywordsEditor(key);
    InstallSelectorMenu(kListActionMenu, false);
}

void CBatchView::ShowDateEditor(SInt32 key)
{
    CSearchView::ShowDateEditor(key);
    InstallSelectorMenu(kSetActionMenu, false);
    ShowPane(mDateField, true);
}

void CBatchView::ShowNumberEditor(SInt32 key)
{
    CSearchView::ShowNumberEditor(key);
    ShowTextField(keyFilter_Integer, kMaxBatchNumberChars);
    InstallSelectorMenu(kNumberActionMenu, false);
}

void CBatchView::ShowShortTextEditor(SInt32 key)
{
    CSearchView::ShowShortTextEditor(key);
    InstallSelectorMenu(kSetActionMenu, false);
}

void CBatchView::ShowFlagEditor(SInt32 key)
{
    HideTextField();
    ShowPane(mValuePopup, false);
    ShowPane(mFieldPopup, false);
    ShowPane(mToggle, false);
    ShowPane(mDateField, false);
    InstallSelectorMenu(BatchSelectorMenu(key), false);
}

void CBatchView::ShowMenuEditor(SInt32 key)
{
    if (key == kFieldFileState) {
        ShowActionEditor();
        return;
    }
    HideTextField();
    ShowPane(mFieldPopup, false);
    ShowPane(mToggle, false);
    ShowPane(mValueArea, true);
    ShowPane(mDateField, false);
    InstallSelectorMenu(BatchSelectorMenu(key), false);
    InstallValueMenu(CachedMenu(BatchValueMenu(key)));
}

void CBatchView::ShowActionEditor()
{
    HideTextField();
    ShowPane(mFieldPopup, false);
    ShowPane(mToggle, false);
    ShowPane(mDateField, false);
    ShowPane(mValueArea, true);
    InstallSelectorMenu(kFileActionMenu, false);

    // The chosen application or folder shows as item 2, with its name and icon.
    mTargetName.clear();
    QIcon icon;
    const SInt32 action = GetSelector();
    if (action == kSelectorOpenInApplication) {
        const QString application = mCriteria.GetApplicationID();
        if (!application.isEmpty() && !DescribeApplication(application, mTargetName, icon))
            mTargetName = application;
    } else if (mCriteria.HasKey(kCriteriaAliasKey)) {
        if (!DescribeFolder(mCriteria.GetValueRef(kCriteriaAliasKey).toByteArray(), mTargetName, icon))
            mTargetName = CopyLocalizedString(QStringLiteral("BATCH_FOLDER_MISSING"));
    }
    const LMenu& base = CachedMenu(kFileTargetMenu);
    mOwnValueMenu = std::make_unique<LMenu>(base);
    if (!mTargetName.isEmpty()) {
        SMenuItem item;
        item.text = mTargetName;
        item.command = kTargetChosen;
        item.icon = icon;
        mOwnValueMenu->InsertItem(item, 1);
    }
    InstallValueMenu(*mOwnValueMenu);
    mValuePopup->StopBroadcasting();
    mValuePopup->SetValue(mTargetName.isEmpty() ? 1 : 2);
    mValuePopup->StartBroadcasting();
}

void CBatchView::SelectorRestored()
{
    if (mSelectorMenuID == kTextActionMenu)
        ShowTextEditor(GetCategory());
    else if (mSelectorMenuID == kFileActionMenu)
        ShowActionEditor();
}

void CBatchView::DropTargetKeys(SInt32 action)
{
    // A folder means nothing to opening, nor an application to copying or moving.
    if (action == kSelectorOpenInApplication) {
        mCriteria.RemoveKey(kCriteriaAliasKey);
        mCriteria.RemoveKey(kCriteriaMoveCopyOptionsKey);
        mCriteria.RemoveKey(kCriteriaMoveRemoveKey);
    } else {
        mCriteria.RemoveKey(kCriteriaApplicationKey);
        mCriteria.RemoveKey(kCriteriaCreatorKey);
    }
}

void CBatchView::ChooseTarget()
{
    const SInt32 action = GetSelector();
    mValuePopup->StopBroadcasting();
    mValuePopup->SetValue(1);
    mValuePopup->StartBroadcasting();
    mCriteria.SetSelector(action);
    if (!mCriteria.HasListener(this))
        mCriteria.AddListener(this);
    // Opening asks for an application; copying and moving for a folder.
    if (action == kSelectorOpenInApplication)
        mCriteria.ChooseApplication(QString(), GetContainingWindow());
    else
        mCriteria.ChooseFolder(QString(), GetContainingWindow());
}

void CBatchView::ListenToMessage(MessageT message, void* ioParam)
{
    const bool fileAction = mSelectorMenuID == kFileActionMenu;
    switch (message) {
    case msg_RowSelector:
        if (mSelectorMenuID == kTextActionMenu) {
            ShowTextEditor(GetCategory());
        } else if (fileAction) {
            DropTargetKeys(GetSelector());
            ShowActionEditor();
        } else {
            CSearchView::ListenToMessage(message, ioParam);
        }
        return;
    case msg_RowValueMenu:
        if (fileAction && mOwnValueMenu) {
            const CommandT command = PopupCommand(*mValuePopup, *mOwnValueMenu);
            if (command == kTargetAsk) {
                mCriteria.RemoveKey(kCriteriaAliasKey);
                mCriteria.RemoveKey(kCriteriaMoveCopyOptionsKey);
                mCriteria.RemoveKey(kCriteriaMoveRemoveKey);
                mCriteria.RemoveKey(kCriteriaApplicationKey);
                mCriteria.RemoveKey(kCriteriaCreatorKey);
                ShowActionEditor();
            } else if (mValuePopup->GetValue() == mOwnValueMenu->CountItems()) {
                ChooseTarget();
            }
        }
        return;
    case msg_CriteriaChosen:
        if (fileAction)
            ShowActionEditor();
        return;
    case msg_CriteriaCancelled:
        return;
    default:
        CSearchView::ListenToMessage(message, ioParam);
    }
}

// --- Names and icons of targets -------------------------------------------------------------

bool DescribeApplication(const QString& desktopID, QString& outName, QIcon& outIcon)
{
    for (const QString& folder : QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation)) {
        const QString path = folder + QLatin1Char('/') + desktopID;
        if (!QFileInfo::exists(path))
            continue;
        QSettings entry(path, QSettings::IniFormat);
        entry.beginGroup(QStringLiteral("Desktop Entry"));
        outName = entry.value(QStringLiteral("Name")).toString();
        const QString icon = entry.value(QStringLiteral("Icon")).toString();
        if (outName.isEmpty())
            outName = QFileInfo(desktopID).completeBaseName();
        outIcon = QFileInfo(icon).isAbsolute() ? QIcon(icon) : QIcon::fromTheme(icon);
        if (outIcon.isNull())
            outIcon = QFileIconProvider().icon(QFileIconProvider::File);
        return true;
    }
    return false;
}

bool DescribeFolder(const QByteArray& aliasBytes, QString& outName, QIcon& outIcon)
{
    QByteArray bytes = aliasBytes;
    FileRef folder;
    bool changed = false;
    if (bytes.isEmpty() || ResolveAliasBytes(nullptr, bytes, folder, changed) != noErr || !folder.IsFolder())
        return false;
    outName = folder.Name();
    outIcon = QFileIconProvider().icon(QFileInfo(folder.Path()));
    return true;
}
