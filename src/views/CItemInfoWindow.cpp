#include "CItemInfoWindow.h"

#include "PrefKeys.h"

#include "Alerts.h"
#include "CANPAInfo.h"
#include "CDateTimeControl.h"
#include "CEXIFInfo.h"
#include "CIndexModel.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "FieldKeys.h"
#include "IIMText.h"
#include "LStdControls.h"
#include "LocalizedStrings.h"
#include "MacDates.h"
#include "Offscreen.h"
#include "Preferences.h"
#include "TaskOwnerView.h"

#include <QApplication>
#include <QListWidget>

namespace {

constexpr PaneIDT kLabelOffset = 10000; // the pane of a field's name: key + 10000
constexpr PaneIDT kTabsPane = 'SMPT';
constexpr PaneIDT kPanelHostPane = 'PHST';
constexpr PaneIDT kNextPane = 'next';
constexpr PaneIDT kPrevPane = 'prev';
constexpr PaneIDT kPreviewPane = 'prvw';
constexpr PaneIDT kNoDatePane = 'date';
constexpr PaneIDT kAddButton = 'add ';
constexpr PaneIDT kReplaceButton = 'repl';
constexpr PaneIDT kRemoveButton = 'remv';
constexpr PaneIDT kKeywordEntry = 'nkey';
constexpr PaneIDT kCategoryEntry = 'ncat';
constexpr int kPreviewSide = 60;
constexpr SInt32 kNoUrgency = 9; // the urgency that means none
constexpr SInt32 kTabsWithoutEXIF = 5;

const std::vector<SInt32> kFileKeys { kFieldName, kFieldRemoteURL, kFieldLocation, kFieldTotalSize, kFieldCreator,
    kFieldKind, kFieldCreationDate, kFieldModificationDate, kFieldDateAdded, kFieldResolution, kFieldFrameCount,
    kFieldRecordForm, kFieldDataSize, kFieldCodecName, kFieldWidth, kFieldHeight, kFieldDepth };

// The caption's one-line texts, each with its accessors on the record.
struct CaptionTextField {
    SInt32 key;
    LStr255 (CANPAInfo::*get)() const;
    void (CANPAInfo::*set)(ConstStr255Param);
};
const std::vector<CaptionTextField>& CaptionTextFields()
{
    static const std::vector<CaptionTextField> fields {
        { kFieldHeadline, &CANPAInfo::GetHeadline, &CANPAInfo::SetHeadline },
        { kFieldObjectName, &CANPAInfo::GetObjectName, &CANPAInfo::SetObjectName },
        { kFieldBylineTitle, &CANPAInfo::GetBylineTitle, &CANPAInfo::SetBylineTitle },
        { kFieldCopyrightNotice, &CANPAInfo::GetCopyrightNotice, &CANPAInfo::SetCopyrightNotice },
        { kFieldCategory, &CANPAInfo::GetCategory, &CANPAInfo::SetCategory },
        { kFieldSpecialInstructions, &CANPAInfo::GetSpecialInstructions, &CANPAInfo::SetSpecialInstructions },
        { kFieldCredit, &CANPAInfo::GetCredit, &CANPAInfo::SetCredit },
        { kFieldSource, &CANPAInfo::GetSource, &CANPAInfo::SetSource },
        { kFieldCity, &CANPAInfo::GetCity, &CANPAInfo::SetCity },
        { kFieldProvinceState, &CANPAInfo::GetProvinceState, &CANPAInfo::SetProvinceState },
        { kFieldCountryName, &CANPAInfo::GetCountryName, &CANPAInfo::SetCountryName },
        { kFieldCaptionWriter, &CANPAInfo::GetWriterEditor, &CANPAInfo::SetWriterEditor },
        { kFieldTransmissionReference, &CANPAInfo::GetOriginalTransmissionReference,
            &CANPAInfo::SetOriginalTransmissionReference },
        { kFieldByline, &CANPAInfo::GetByline, &CANPAInfo::SetByline },
    };
    return fields;
}

QString TextOfField(ConstStr255Param text)
{
    return IIMText::TextFromCaptionBytes(QByteArrayView(text + 1, text[0]));
}

// A typed text in the caption's form, cut to a field's 255 bytes on a whole character.
Str255 FieldOfText(const QString& text)
{
    Str255 field;
    field.AssignBytes(IIMText::CutCaptionBytes(IIMText::CaptionBytesFromText(text), 255));
    return field;
}

QStringList TextsOfList(const TArray<LStr255>& list)
{
    QStringList texts;
    for (SInt32 i = 1; i <= list.GetCount(); ++i)
        texts << TextOfField(list[i]);
    return texts;
}

// "%@" takes the name, each "%d" the next number, in one pass: a name holding
// "%d" stays as it is.
QString FormatTitle(const QString& format, const QString& name, std::initializer_list<SInt32> numbers)
{
    QString title;
    title.reserve(format.size() + name.size() + 16);
    auto number = numbers.begin();
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar next = i + 1 < format.size() ? format.at(i + 1) : QChar();
        if (format.at(i) == u'%' && next == u'@') {
            title += name;
            ++i;
        } else if (format.at(i) == u'%' && next == u'd' && number != numbers.end()) {
            title += QString::number(*number++);
            ++i;
        } else {
            title += format.at(i);
        }
    }
    return title;
}

void EnablePane(LPane* pane, bool enabled)
{
    if (pane && pane->IsEnabled() != enabled)
        enabled ? pane->Enable() : pane->Disable();
}

QString UrgencyItemText(SInt32 urgency)
{
    const QString label = CANPAInfo::CopyUrgencyLabel(urgency);
    return urgency == kNoUrgency ? label : QStringLiteral("%1 – %2").arg(urgency).arg(label);
}

} // namespace

CItemInfoWindow::CItemInfoWindow(const LLayoutData& data)
    : CFloater(data)
{
    const Point where = GetPrefPoint(kPositionKey);
    if (where.h != 0 || where.v != 0) {
        RestoreWindowPosition(this, kPositionKey);
        ConstrainToScreen(nullptr);
    }
}

CItemInfoWindow::~CItemInfoWindow()
{
    SaveWindowPosition(this, kPositionKey);
    // An item that is being deleted deletes its window: it is gone already.
    if (CIndexItem* item = mItem.Get(); item && item->GetInfoWindow() == this)
        item->SetInfoWindow(kInfoWindowClosing);
}

void CItemInfoWindow::FinishCreateSelf()
{
    CFloater::FinishCreateSelf();
    mTabs = dynamic_cast<LTabsControl*>(FindPaneByID(kTabsPane));
    mNextButton = dynamic_cast<LControl*>(FindPaneByID(kNextPane));
    mPrevButton = dynamic_cast<LControl*>(FindPaneByID(kPrevPane));
    auto* host = dynamic_cast<LView*>(FindPaneByID(kPanelHostPane));
    mPreviewPane = dynamic_cast<LImagePane*>(FindPaneByID(kPreviewPane));
    if (!mTabs || !mNextButton || !mPrevButton || !host)
        ThrowOSErr_(err_NilPointer, "item info window: a pane is missing");
    InitTabbedPanels(host, this, this);
}

// --- The item ---------------------------------------------------------------------

void CItemInfoWindow::SetIndexItem(CIndexItem* item, CIndexModel* model)
{
    SetItem(item, model);
}

void CItemInfoWindow::BringToFront()
{
    Show();
    Select();
}

SInt32 CItemInfoWindow::GetItemIndex() const
{
    CIndexItem* item = mItem.Get();
    if (!item || !mModel)
        return 0;
    // The list may have changed meanwhile: the place is only trusted while it still holds the item.
    CIndexItem* there = nullptr;
    if (mItemIndex <= 0 || !mModel->GetItemAt(mItemIndex, there) || there != item)
        mItemIndex = mModel->GetIndexOfItem(item);
    return mItemIndex;
}

void CItemInfoWindow::SetItem(CIndexItem* item, CIndexModel* model)
{
    ReleaseItem();
    if (!item)
        ThrowOSErr_(err_NilPointer, "item info window: no item");
    mItem = TLivePtr<CIndexItem>(item);
    mModel = model;

    // Reading the EXIF data may ask for the file and yield. The caption is copied
    // when a panel shows it: stepping on the other panels does not read it. An
    // item whose file cannot be opened (gone, or only an address on a server)
    // has no EXIF data; what the index holds of it is still shown.
    bool hasEXIF = false;
    CatchCode([&] { hasEXIF = item->GetEXIFInfo() != nullptr; });
    mItem.Checked("item info window: the item went away");

    MakePreview();
    const SInt32 index = GetItemIndex();
    const SInt32 count = mModel ? mModel->CountItems() : 0;
    EnablePane(mPrevButton, index > 1);
    EnablePane(mNextButton, index > 0 && index < count);

    // The panel shown was the last item's: it is filled again, or replaced.
    if (!IsVisible() || (!hasEXIF && GetPanelID() == kInfoEXIFPanel) || !GetPanel()) {
        mTabs->SetValue(1);
        if (GetPanelID() != kInfoFilePanel)
            SwitchPanel(kInfoFilePanel);
        else
            FillPanel();
    } else {
        FillPanel();
    }
    ShowEXIFTab(hasEXIF);
    UpdateTitle();
    if (!IsVisible())
        Show();
}

bool CItemInfoWindow::ShowItemAt(SInt32 index)
{
    CIndexItem* next = nullptr;
    if (!mModel || !mModel->GetItemAt(index, next) || !next)
        return false;
    CIndexItem* previous = mItem.Get();
    mItemIndex = index;
    SetItem(next, mModel);
    // The window goes with the item it shows; a window the new item had closes.
    if (previous && previous != next && previous->GetInfoWindow() == this)
        previous->SetInfoWindow(kInfoWindowClosing);
    if (next->GetInfoWindow() != this)
        next->SetInfoWindow(this);
    return true;
}

void CItemInfoWindow::UpdateTitle()
{
    CIndexItem* item = mItem.Get();
    if (!item)
        return;
    static const QString kCountedTitle = CopyLocalizedString(QStringLiteral("%@ Info (%d/%d)"));
    static const QString kTitle = CopyLocalizedString(QStringLiteral("%@ Info"));
    const QString name = item->GetName();
    const SInt32 index = GetItemIndex();
    if (index > 0)
        SetCFDescriptor(FormatTitle(kCountedTitle, name, { index, mModel->CountItems() }));
    else
        SetCFDescriptor(FormatTitle(kTitle, name, {}));
    const QUrl url = item->GetURL();
    const QString path = url.isLocalFile() ? url.toLocalFile() : QString();
    if (GetShell()->windowFilePath() != path)
        GetShell()->setWindowFilePath(path);
}

void CItemInfoWindow::MakePreview()
{
    mPreview = QImage();
    CIndexItem* item = mItem.Get();
    // Only a picture the item holds: stepping through items never decodes their files.
    if (const Offscreen* picture = item ? item->PeekDisplayPicture() : nullptr; picture && !picture->Image().isNull()) {
        const QImage& image = picture->Image();
        mPreview = image.width() > kPreviewSide || image.height() > kPreviewSide
            ? image.scaled(kPreviewSide, kPreviewSide, Qt::KeepAspectRatio, Qt::SmoothTransformation)
            : image;
    }
    if (LImagePane* pane = mPreviewPane) {
        QIcon icon;
        if (mPreview.isNull() && item)
            CatchCode([&] { icon = item->GetIcon(); }); // a remote item has no file to take one from
        if (!mPreview.isNull())
            pane->SetImage(mPreview);
        else if (icon.cacheKey() != pane->GetIcon().cacheKey() || !pane->GetImage().isNull())
            pane->SetIcon(icon);
    }
}

CANPAInfo& CItemInfoWindow::CaptionCopy()
{
    if (mCaptionCopy)
        return *mCaptionCopy;
    // Reading the caption may ask for the file and yield.
    CANPAInfo* caption = mItem.Checked("item info window: no item").GetCaptionInfo();
    mItem.Checked("item info window: the item went away");
    if (mCaptionCopy)
        return *mCaptionCopy;
    // A record that cannot be copied is shown empty rather than not at all.
    if (caption && CatchCode([&] { mCaptionCopy = std::make_unique<CANPAInfo>(*caption); }) != noErr)
        mCaptionCopy.reset();
    if (!mCaptionCopy)
        mCaptionCopy = std::make_unique<CANPAInfo>();
    mCaptionCopy->SetModified(false);
    return *mCaptionCopy;
}

void CItemInfoWindow::ShowEXIFTab(bool show)
{
    if (!show)
        mTabs->SetTabCount(kTabsWithoutEXIF);
    else if (mTabs->CountTabs() == kTabsWithoutEXIF)
        mTabs->AppendTab(QStringLiteral("602:21"));
}

// --- Modified state, applying, releasing ---------------------------------------------

bool CItemInfoWindow::IsModified() const
{
    return mCaptionCopy && mCaptionCopy->IsModified();
}

void CItemInfoWindow::SetModified(bool modified)
{
    mModified = modified;
    if (CFloater::IsModified() != modified)
        CFloater::SetModified(modified);
}

void CItemInfoWindow::ApplyChanges()
{
    CIndexItem* item = mItem.Get();
    if (!item)
        return;
    if (!IsModified())
        return;
    OSStatus written = noErr;
    auto apply = [&] {
        item->SetCaptionInfo(std::move(mCaptionCopy));
        if (Pref::ApplyChangesToMediaFile.Get())
            written = item->WriteChangedCaptionToMediaFile(); // a failure is the item's error too
        return noErr;
    };
    // Through the index's model: its value index, its views and its modified state follow.
    if (mModel)
        mModel->ChangeItem(item, kAllItemFields, apply);
    else
        apply();
    // The index keeps the edits; the user learns that the file did not take them.
    if (written != noErr)
        ReportError(written, kNoteAlert);
}

OSStatus CItemInfoWindow::SetItemField(CIndexItem& item, SInt32 fieldKey, const QString& text)
{
    return mModel ? mModel->SetItemField(&item, fieldKey, text) : item.SetFieldValue(fieldKey, text);
}

void CItemInfoWindow::ReleaseItem()
{
    if (!mItem.Get()) {
        mCaptionCopy.reset();
        return;
    }
    StoreFields();
    mPanelStale = true;
    ApplyChanges();
    mCaptionCopy.reset();
    mPreview = QImage();
    mShownName.clear();
    mShownRemoteURL.clear();
    mItem = TLivePtr<CIndexItem>();
    SetModified(false);
}

void CItemInfoWindow::DoClose()
{
    if (!mClosing) {
        mClosing = true;
        const TLivePtr<CIndexItem> shown = mItem;
        CatchCode([&] {
            ClosePanel();
            ReleaseItem();
        });
        // The item lets go of its window, which deletes itself.
        if (CIndexItem* item = shown.Get(); item && item->GetInfoWindow() == this)
            item->SetInfoWindow(kInfoWindowClosing);
    }
    CFloater::DoClose();
}

// --- Messages --------------------------------------------------------------------------

void CItemInfoWindow::SwitchToTab(SInt32 tab)
{
    if (tab >= 1 && tab <= 6 && ResIDT(kInfoFilePanel + tab - 1) != GetPanelID())
        SwitchPanel(ResIDT(kInfoFilePanel + tab - 1));
}

void CItemInfoWindow::ListenToMessage(MessageT message, void* ioParam)
{
    switch (message) {
    case kTabsPane:
        if (ioParam)
            SwitchToTab(*static_cast<SInt32*>(ioParam));
        return;
    case msg_InfoNextItem:
        ShowItemAt(GetItemIndex() + 1);
        return;
    case msg_InfoPreviousItem:
        if (GetItemIndex() > 1)
            ShowItemAt(GetItemIndex() - 1);
        return;
    case msg_InfoOpenItem:
        if (CIndexItem* item = mItem.Get())
            item->OpenInViewer(GetItemIndex(), mModel.data(), Pref::DoubleClickAction.Get() == 1);
        return;
    case msg_InfoAddRow:
    case msg_InfoReplaceRow:
    case msg_InfoRemoveRows:
    case msg_InfoRowSelected:
    case msg_InfoRowDoubleClicked:
    case msg_InfoEntryChanged:
        EditListRow(message);
        return;
    case msg_InfoDateNow:
        SetDateNow();
        return;
    default:
        CFloater::ListenToMessage(message, ioParam);
    }
}

// --- Filling ------------------------------------------------------------------------------

void CItemInfoWindow::SetPaneText(PaneIDT paneID, const QString& text)
{
    if (LPane* pane = FindPanelPane(paneID); pane && pane->GetCFDescriptor() != text)
        pane->SetCFDescriptor(text);
}

QString CItemInfoWindow::PaneText(PaneIDT paneID) const
{
    LPane* pane = FindPanelPane(paneID);
    return pane ? pane->GetCFDescriptor() : QString();
}

void CItemInfoWindow::PanelBuilt()
{
    // The EXIF values are shown at every step through items: their panes are found once.
    mEXIFPanes.fill(nullptr);
    if (GetPanelID() == kInfoEXIFPanel) {
        for (size_t i = 0; i < mEXIFPanes.size(); ++i)
            mEXIFPanes[i] = FindPanelPane(PaneIDT(kFieldEXIFVersion + SInt32(i)));
    }
    // Every pane whose ID is a field key + 10000 is that field's name.
    for (auto it = GetPanelPanes().cbegin(); it != GetPanelPanes().cend(); ++it) {
        const SInt32 key = SInt32(it.key()) - SInt32(kLabelOffset);
        if (IsFieldKey(key))
            CatchCode([&] { it.value()->SetCFDescriptor(CopyFieldName(key) + QLatin1Char(':')); });
    }
}

void CItemInfoWindow::FillPanel()
{
    if (!GetPanel() || !mItem.Get())
        return;
    switch (GetPanelID()) {
    case kInfoFilePanel:
        FillFilePanel();
        break;
    case kInfoCaptionPanel:
    case kInfoMoreCaptionPanel:
        FillCaptionPanel();
        break;
    case kInfoKeywordsPanel:
    case kInfoCategoriesPanel: {
        const bool keywords = GetPanelID() == kInfoKeywordsPanel;
        const CANPAInfo& caption = CaptionCopy();
        if (auto* list = FindPanelPaneAs<LListBox>(keywords ? kFieldKeywords : kFieldSupplementalCategories))
            list->SetItems(TextsOfList(keywords ? caption.GetKeywords() : caption.GetSupplementalCategories()));
        SetPaneText(keywords ? kKeywordEntry : kCategoryEntry, QString());
        UpdateListButtons();
        break;
    }
    case kInfoEXIFPanel:
        FillEXIFPanel();
        break;
    default:
        break;
    }
    mPanelStale = false;
}

void CItemInfoWindow::FillFilePanel()
{
    CIndexItem& item = mItem.Checked("item info window: no item");
    for (SInt32 key : kFileKeys) {
        const bool editable = key == kFieldName || key == kFieldRemoteURL;
        SetPaneText(PaneIDT(key), item.CopyFieldString(key, editable ? kFieldTextEmpty : kFieldTextPlaceholder));
    }
    mShownName = PaneText(kFieldName);
    mShownRemoteURL = PaneText(kFieldRemoteURL);
}

void CItemInfoWindow::FillCaptionPanel()
{
    const CANPAInfo& copy = CaptionCopy();
    const QByteArray* caption = copy.GetCaption();
    SetPaneText(kFieldCaption, caption ? IIMText::TextFromCaptionBytes(*caption) : QString());
    for (const CaptionTextField& field : CaptionTextFields())
        SetPaneText(PaneIDT(field.key), TextOfField((copy.*field.get)()));
    if (auto* urgency = FindPanelPaneAs<LStdPopupMenu>(kFieldUrgency)) {
        if (urgency->GetItems().size() != kNoUrgency + 1) {
            QStringList items;
            for (SInt32 i = 0; i <= kNoUrgency; ++i)
                items << UrgencyItemText(i);
            urgency->SetItems(items);
        }
        urgency->SetValue(copy.GetUrgency() + 1);
    }
    if (auto* date = FindPanelPaneAs<CDateTimeControl>(kFieldDateCreated)) {
        const UInt32 seconds = copy.GetDateCreated();
        if (seconds != 0)
            date->SetDateSeconds(seconds);
        date->SetVisible(seconds != 0);
        if (LPane* none = FindPanelPane(kNoDatePane)) {
            none->SetCFDescriptor(CopyLocalizedString(QStringLiteral("602:20")));
            none->SetVisible(seconds == 0);
        }
    }
}

void CItemInfoWindow::FillEXIFPanel()
{
    CIndexItem& item = mItem.Checked("item info window: no item");
    // All texts are read first, then shown: each loop stays in its own code and data.
    std::array<QString, kEXIFFieldCount> texts;
    for (size_t i = 0; i < texts.size(); ++i)
        texts[i] = item.CopyFieldString(kFieldEXIFVersion + SInt32(i), kFieldTextPlaceholder);
    // The panes are static texts: one showing its text already is left as it is.
    for (size_t i = 0; i < texts.size(); ++i) {
        if (LPane* pane = mEXIFPanes[i])
            pane->SetCFDescriptor(texts[i]);
    }
}

// --- Storing ---------------------------------------------------------------------------

void CItemInfoWindow::StoreFields()
{
    // A panel filled for an item that was let go of holds nothing to store; a
    // caption panel stores into the copy it was filled from.
    if (!GetPanel() || !mItem.Get() || mPanelStale)
        return;
    if (!mCaptionCopy && GetPanelID() != kInfoFilePanel && GetPanelID() != kInfoEXIFPanel)
        return;
    switch (GetPanelID()) {
    case kInfoFilePanel:
        StoreFilePanel();
        break;
    case kInfoCaptionPanel:
        StoreCaptionPanel();
        break;
    case kInfoMoreCaptionPanel:
        StoreMoreCaptionPanel();
        break;
    case kInfoKeywordsPanel:
        StoreList(kFieldKeywords);
        break;
    case kInfoCategoriesPanel:
        StoreList(kFieldSupplementalCategories);
        break;
    default:
        break;
    }
    if (mCaptionCopy && mCaptionCopy->IsModified())
        SetModified(true);
}

void CItemInfoWindow::StoreFilePanel()
{
    CIndexItem& item = mItem.Checked("item info window: no item");
    // Only what the user edited is written: the shown name may lack its extension.
    const QString name = PaneText(kFieldName).trimmed();
    if (!name.isEmpty() && name != mShownName) {
        const QString fullName = item.CopyFieldString(kFieldName, kFieldTextFullName);
        QString extension;
        if (fullName.size() > mShownName.size() && fullName.startsWith(mShownName))
            extension = fullName.mid(mShownName.size());
        const QString newName = extension.isEmpty() || name.endsWith(extension, Qt::CaseInsensitive) ? name : name + extension;
        const OSStatus status = SetItemField(item, kFieldName, newName);
        if (status != noErr)
            ReportError(status, kNoteAlert);
        mShownName = name;
    }
    const QString remote = PaneText(kFieldRemoteURL).trimmed();
    if (remote != mShownRemoteURL.trimmed() && !remote.isEmpty()) {
        const OSStatus status = SetItemField(item, kFieldRemoteURL, remote);
        if (status != noErr)
            ReportError(status, kNoteAlert);
        mShownRemoteURL = remote;
    }
}

void CItemInfoWindow::StoreCaptionPanel()
{
    QString text = PaneText(kFieldCaption);
    QByteArray bytes = IIMText::CaptionBytesFromText(text);
    if (bytes.size() > kMaxCaptionBytes) {
        // A file's caption holds no more; the user sees where it was cut.
        bytes = IIMText::CutCaptionBytes(bytes, kMaxCaptionBytes);
        SetPaneText(kFieldCaption, IIMText::TextFromCaptionBytes(bytes));
        ShowMessageAlert(CopyLocalizedString(QStringLiteral("INFO_CAPTION_CUT")), kNoteAlert);
    }
    const QByteArray* old = mCaptionCopy->GetCaption();
    if (bytes != (old ? *old : QByteArray()))
        mCaptionCopy->SetCaption(bytes);
    for (const CaptionTextField& field : CaptionTextFields()) {
        if (field.key == kFieldHeadline || field.key == kFieldObjectName) {
            const QString typed = PaneText(PaneIDT(field.key));
            if (typed != TextOfField((*mCaptionCopy.*field.get)()))
                (*mCaptionCopy.*field.set)(FieldOfText(typed));
        }
    }
    if (auto* urgency = FindPanelPaneAs<LStdPopupMenu>(kFieldUrgency))
        mCaptionCopy->SetUrgency(urgency->GetValue() - 1);
    if (auto* date = FindPanelPaneAs<CDateTimeControl>(kFieldDateCreated); date && date->IsVisible())
        mCaptionCopy->SetDateCreated(date->GetDateSeconds());
}

void CItemInfoWindow::StoreMoreCaptionPanel()
{
    for (const CaptionTextField& field : CaptionTextFields()) {
        LPane* pane = FindPanelPane(PaneIDT(field.key));
        if (!pane || field.key == kFieldHeadline || field.key == kFieldObjectName)
            continue;
        const QString typed = pane->GetCFDescriptor();
        if (typed != TextOfField((*mCaptionCopy.*field.get)()))
            (*mCaptionCopy.*field.set)(FieldOfText(typed));
    }
}

void CItemInfoWindow::StoreList(SInt32 listKey)
{
    auto* list = FindPanelPaneAs<LListBox>(PaneIDT(listKey));
    if (!list)
        return;
    const bool keywords = listKey == kFieldKeywords;
    const QStringList rows = list->GetItems();
    if (rows == TextsOfList(keywords ? mCaptionCopy->GetKeywords() : mCaptionCopy->GetSupplementalCategories()))
        return;
    keywords ? mCaptionCopy->RemoveAllKeywords() : mCaptionCopy->RemoveAllSupplementalCategories();
    for (const QString& row : rows) {
        const Str255 entry = FieldOfText(row.trimmed());
        keywords ? mCaptionCopy->AddKeyword(entry) : mCaptionCopy->AddSupplementalCategory(entry);
    }
}

// --- Lists and the date -------------------------------------------------------------

bool CItemInfoWindow::HandleKeyPress(const EventRecord& event)
{
    const UInt8 character = EventCharCode(event);
    if ((character != char_Return && character != char_Enter) || (event.modifiers & cmdKey))
        return CFloater::HandleKeyPress(event);
    QWidget* focus = QApplication::focusWidget();
    for (PaneIDT entry : { kKeywordEntry, kCategoryEntry }) {
        LPane* pane = FindPanelPane(entry);
        auto* add = dynamic_cast<LControl*>(FindPanelPane(kAddButton));
        if (pane && focus && pane->isAncestorOf(focus) && add && add->IsEnabled())
            add->SimulateHotSpotClick(kControlButtonPart);
    }
    return true;
}

void CItemInfoWindow::UpdateListButtons()
{
    const bool keywords = GetPanelID() == kInfoKeywordsPanel;
    auto* list = FindPanelPaneAs<LListBox>(keywords ? kFieldKeywords : kFieldSupplementalCategories);
    if (!list)
        return;
    const bool selected = list->GetValue() >= 0;
    const bool hasText = !PaneText(keywords ? kKeywordEntry : kCategoryEntry).trimmed().isEmpty();
    EnablePane(FindPanelPane(kAddButton), hasText);
    EnablePane(FindPanelPane(kReplaceButton), hasText && selected);
    EnablePane(FindPanelPane(kRemoveButton), selected);
}

void CItemInfoWindow::EditListRow(MessageT message)
{
    if (GetPanelID() != kInfoKeywordsPanel && GetPanelID() != kInfoCategoriesPanel)
        return;
    const bool keywords = GetPanelID() == kInfoKeywordsPanel;
    auto* list = FindPanelPaneAs<LListBox>(keywords ? kFieldKeywords : kFieldSupplementalCategories);
    auto* entry = FindPanelPaneAs<LEditText>(keywords ? kKeywordEntry : kCategoryEntry);
    if (!list || !entry)
        return;
    QStringList rows = list->GetItems();
    const QString text = entry->GetCFDescriptor().trimmed();
    const SInt32 row = list->GetValue();
    switch (message) {
    case msg_InfoAddRow:
        if (text.isEmpty())
            break;
        if (!rows.contains(text)) {
            rows << text;
            list->SetItems(rows);
            SetModified(true);
        }
        entry->SelectAll();
        break;
    case msg_InfoReplaceRow:
        if (row < 0 || row >= rows.size() || text.isEmpty())
            break;
        rows[row] = text;
        list->SetItems(rows);
        SetModified(true);
        break;
    case msg_InfoRemoveRows:
        if (row < 0 || row >= rows.size())
            break;
        rows.removeAt(row);
        list->SetValue(-1);
        list->SetItems(rows);
        SetModified(true);
        break;
    case msg_InfoRowSelected:
    case msg_InfoRowDoubleClicked:
        // A chosen row comes into the entry field to be edited.
        if (row >= 0 && row < rows.size())
            entry->SetCFDescriptor(rows.at(row));
        break;
    default:
        break;
    }
    UpdateListButtons();
}

void CItemInfoWindow::SetDateNow()
{
    auto* date = FindPanelPaneAs<CDateTimeControl>(kFieldDateCreated);
    if (!date)
        return;
    date->SetDateSeconds(GetDateTimeNow());
    if (!date->IsVisible()) {
        if (LPane* none = FindPanelPane(kNoDatePane))
            none->Hide();
        date->Show();
        LCommander::SwitchTarget(this);
        date->setFocus();
    }
}
