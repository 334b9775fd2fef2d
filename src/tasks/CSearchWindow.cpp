#include "CSearchWindow.h"

#include "Alerts.h"
#include "CIndexDoc.h"
#include "CSearchTask.h"
#include "CSearchView.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "HelpBook.h"
#include "LDocument.h"
#include "LMenuBar.h"
#include "LStdControls.h"
#include "LocalizedStrings.h"
#include "Preferences.h"
#include "SearchEditors.h"
#include "StoredSettings.h"
#include "TaskOwnerView.h"
#include "TaskServices.h"
#include "UReanimator.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QAbstractSpinBox>
#include <QLoggingCategory>
#include <QMenu>
#include <QSet>
#include <QStandardItemModel>

namespace {

Q_LOGGING_CATEGORY(lcSearchWindow, "orvex.search")

constexpr SInt32 kWindowWidth = 505;
constexpr SInt32 kMaxWindowWidth = 1000;
constexpr SInt32 kRowsPanelHeight = 152;
constexpr SInt32 kDuplicatesPanelHeight = 182;
constexpr CommandT cmd_OrganizeSettings = 1038;
constexpr CommandT cmd_ShowSearch = 1057;
constexpr CommandT cmd_ShowDuplicates = 1060;
constexpr CommandT cmd_ShowBatch = 1061;
// The source the menu keeps for searches that add no items (a source of other programs).
constexpr CommandT kSourceNone = 9003;

void EnablePane(LPane* pane, bool enabled)
{
    if (pane)
        enabled ? pane->Enable() : pane->Disable();
}

// Screen updates held back for a scope: panels are built and sized out of sight.
class StNoUpdates {
public:
    explicit StNoUpdates(QWidget* widget)
        : mWidget(widget)
        , mWasEnabled(widget->updatesEnabled())
    {
        mWidget->setUpdatesEnabled(false);
    }
    ~StNoUpdates() { mWidget->setUpdatesEnabled(mWasEnabled); }
    StNoUpdates(const StNoUpdates&) = delete;
    StNoUpdates& operator=(const StNoUpdates&) = delete;

private:
    QWidget* mWidget;
    bool mWasEnabled;
};

} // namespace

CSearchWindow::CSearchWindow(const LLayoutData& data)
    : CFloater(data)
{
    sWindow = this;
    SetCFDescriptor(CopyLocalizedString(QStringLiteral("SEARCH_WINDOW_TITLE")));
    const Point stored = GetPrefPoint(kSearchWindowPositionKey);
    if (stored.h != 0 || stored.v != 0) {
        if (RestoreWindowPosition(this, kSearchWindowPositionKey))
            ConstrainToScreen();
    }
}

CSearchWindow::~CSearchWindow()
{
    SaveWindowPosition(this, kSearchWindowPositionKey);
    CatchCode([&] { SaveLastSettings(mPanelID); });
    CloseSaveDialog();
    for (const auto& connection : mTargetConnections)
        QObject::disconnect(connection);
    if (sWindow == this)
        sWindow = nullptr;
}

void CSearchWindow::FinishCreateSelf()
{
    CFloater::FinishCreateSelf();
    mPanelSelector = FindPaneAs<LControl>(this, msg_SearchPanel);
    mPanelHost = FindPaneAs<LView>(this, 'PHST');
    if (!mPanelSelector || !mPanelHost)
        ThrowOSErr_(err_NilPointer, "search window: no panel selector or panel host");
    mPanelSelector->AddListener(this);
    SetTabOrderByLook(true); // rows are added under buttons made before them
}

CSearchWindow* CSearchWindow::ShowSearchWindow(CIndexModel* model, SInt32 command)
{
    CSearchWindow* window = sWindow;
    if (!window) {
        LWindow* made = LWindow::CreateWindow(kSearchWindowLayout, LCommander::GetTopCommander());
        window = dynamic_cast<CSearchWindow*>(made);
        if (!window) {
            delete made;
            ThrowOSErr_(err_NilPointer, "layout 1021 makes no search window");
        }
    }
    for (const auto& connection : window->mTargetConnections)
        QObject::disconnect(connection);
    window->mTargetConnections.clear();
    window->mTarget = nullptr;
    switch (command) {
    case cmd_ShowSearch: window->SwitchPanel(kSearchPanel); break;
    case cmd_ShowDuplicates: window->SwitchPanel(kDuplicatesPanel); break;
    case cmd_ShowBatch: window->SwitchPanel(kBatchPanel); break;
    default:
        if (!window->mPanel)
            window->SwitchPanel(kSearchPanel);
        break;
    }
    window->SetTarget(model);
    if (model) {
        window->Show();
        window->Select();
    }
    return window;
}

// --- Panels -------------------------------------------------------------------------------------

void CSearchWindow::ClearPanelPanes()
{
    mAddButton = mRemoveButton = mRunButton = mSaveButton = nullptr;
    mSourcePopup = mResultPopup = nullptr;
    mCriteriaContainer = nullptr;
}

void CSearchWindow::SwitchPanel(ResIDT panelID)
{
    StNoUpdates quiet(this);
    if (panelID >= kSearchPanel && panelID <= kBatchPanel) {
        mPanelSelector->StopBroadcasting();
        mPanelSelector->SetValue(panelID - kSearchPanel + 1);
        mPanelSelector->StartBroadcasting();
    }
    if (mPanel)
        SaveLastSettings(mPanelID);

    LPane* made = nullptr;
    const OSStatus status = CatchCode([&] { made = UReanimator::CreatePaneTree(panelID, mPanelHost); });
    auto* panel = dynamic_cast<LView*>(made);
    if (!panel) {
        delete made;
        ThrowOSErr_(err_NilPointer, QStringLiteral("search panel %1 cannot be made (%2)").arg(panelID).arg(status).toStdString());
    }
    panel->setGeometry(mPanelHost->rect());
    panel->Hide();
    LView* old = mPanel;
    mPanel = panel;
    mPanelID = panelID;
    ClearPanelPanes();
    delete old;
    SetupPanel(mPanelSelector->GetValue());
    mPanel->Show();
}

void CSearchWindow::SetupPanel(SInt32 kind)
{
    StNoUpdates quiet(this);
    mRunButton = FindPaneAs<LControl>(mPanel, kRunButton);
    mSourcePopup = FindPaneAs<LStdPopupMenu>(mPanel, kSourcePopup);
    mResultPopup = FindPaneAs<LStdPopupMenu>(mPanel, kResultPopup);
    mSaveButton = FindPaneAs<LControl>(mPanel, kSaveButton);
    for (LControl* control : { mRunButton, mSaveButton, static_cast<LControl*>(mSourcePopup) }) {
        if (control)
            control->AddListener(this);
    }
    if (mSourcePopup)
        FillPopupFromMenu(*mSourcePopup, CachedMenu(kSourceMenu));
    if (mResultPopup)
        FillPopupFromMenu(*mResultPopup, CachedMenu(ResultMenuID()));
    const SInt32 selected = mTarget ? mTarget->CountSelectedItems() : 0;

    if (kind == 2) {
        mPanelHeight = kDuplicatesPanelHeight;
        SetMinMaxSize({ kWindowWidth, mPanelHeight }, { kWindowWidth, mPanelHeight });
        SetContentSize(kWindowWidth, mPanelHeight);
        if (mResultPopup)
            mResultPopup->SetValue(1);
        // A duplicate search is no setting the menu could run.
        EnablePane(mSaveButton, false);
    } else {
        mPanelHeight = kRowsPanelHeight;
        SetMinMaxSize({ kWindowWidth, mPanelHeight }, { kMaxWindowWidth, mPanelHeight });
        SetContentSize(kWindowWidth, mPanelHeight);
        mAddButton = FindPaneAs<LControl>(mPanel, kAddRowButton);
        mRemoveButton = FindPaneAs<LControl>(mPanel, kRemoveRowButton);
        mCriteriaContainer = FindPaneAs<LView>(mPanel, kCriteriaContainer);
        if (!mCriteriaContainer)
            ThrowOSErr_(err_NilPointer, "search window: the panel has no criteria container");
        for (LControl* control : { mAddButton, mRemoveButton }) {
            if (control)
                control->AddListener(this);
        }
        if (mAddButton)
            mAddButton->setToolTip(CopyLocalizedString(QStringLiteral("SEARCH_ADD_ROW_TIP")));
        if (mRemoveButton)
            mRemoveButton->setToolTip(CopyLocalizedString(QStringLiteral("SEARCH_REMOVE_ROW_TIP")));
        EnablePane(mRemoveButton, false);
        const bool batch = kind == 3;
        if (mSourcePopup)
            mSourcePopup->SetValue(batch ? (selected > 0 ? 2 : 1) : (selected > 1 ? 2 : 1));
        if (batch && mResultPopup)
            mResultPopup->SetValue(3);
        ApplyLastSettings(batch ? kLastBatchSettingsKey : kLastSearchSettingsKey);
    }
    UpdateSourceMenu(true);
    EnablePane(mRunButton, mTarget != nullptr);
}

void CSearchWindow::ApplyLastSettings(const QString& key)
{
    const QVariant last = CopyPrefValue(key);
    if (!last.isValid()) {
        AddCriterionRow(nullptr);
        return;
    }
    const OSStatus status = CatchCode([&] { ApplySettings(last.toMap()); });
    if (status == noErr)
        return;
    // A damaged entry would fail at every showing: it goes, and the panel starts afresh.
    qCWarning(lcSearchWindow) << "dropped the damaged" << key << "entry:" << status;
    SetPrefValue(key, QVariant());
    while (RemoveLastCriterionRow()) {
    }
    AddCriterionRow(nullptr);
}

void CSearchWindow::SaveLastSettings(ResIDT panelID)
{
    if (panelID != kSearchPanel && panelID != kBatchPanel)
        return;
    SetPrefValue(panelID == kSearchPanel ? kLastSearchSettingsKey : kLastBatchSettingsKey, CopySettings());
    while (RemoveLastCriterionRow()) {
    }
}

void CSearchWindow::SetContentSize(SInt32 width, SInt32 height)
{
    ResizeFrameBy(width - this->width(), height - this->height(), true);
}

SInt32 CSearchWindow::GetRowHeight() const
{
    return mRows.empty() ? 30 : mRows.front()->height();
}

void CSearchWindow::FitRows()
{
    const SInt32 height = mPanelHeight + SInt32(mRows.size()) * GetRowHeight();
    SetMinMaxSize({ kWindowWidth, height }, { kMaxWindowWidth, height });
    ResizeFrameBy(0, height - this->height(), true);
    EnablePane(mRemoveButton, mRows.size() > 1);
    if (IsVisible())
        ConstrainToScreen();
}

// --- Rows ---------------------------------------------------------------------------------------

void CSearchWindow::AddCriterionRow(const QVariantMap* dictionary)
{
    if (!mCriteriaContainer || (mPanelID != kSearchPanel && mPanelID != kBatchPanel))
        ThrowOSErr_(err_NilPointer, "search window: this panel has no rows");
    const ResIDT layout = mPanelID == kSearchPanel ? kSearchRowLayout : kBatchRowLayout;
    LPane* made = UReanimator::CreatePaneTree(layout, mCriteriaContainer);
    auto* row = dynamic_cast<CSearchView*>(made);
    if (!row) {
        delete made;
        ThrowOSErr_(err_NilPointer, "search window: the row layout makes no criteria row");
    }
    const SInt32 rowHeight = row->height();
    row->PlaceInSuperImageAt(0, SInt32(mRows.size()) * rowHeight, false);
    row->ResizeFrameBy(mCriteriaContainer->width() - row->width(), 0, false);
    try {
        if (dictionary)
            row->SetFromDictionary(*dictionary);
        else
            row->SetDefaultCategory(SInt32(mRows.size()) + 1);
    } catch (...) {
        delete row;
        throw;
    }
    row->Show();
    mRows.push_back(row);
    FitRows();
}

bool CSearchWindow::RemoveLastCriterionRow()
{
    if (mRows.empty())
        return false;
    CSearchView* row = mRows.back();
    row->Hide();
    mRows.pop_back();
    delete row;
    FitRows();
    return !mRows.empty();
}

// --- Settings -----------------------------------------------------------------------------------

CommandT CSearchWindow::SourceCommand() const
{
    return mSourcePopup ? PopupCommand(*mSourcePopup, CachedMenu(kSourceMenu)) : 0;
}

ResIDT CSearchWindow::ResultMenuID() const
{
    switch (mPanelID) {
    case kDuplicatesPanel: return kDuplicateResultMenu;
    case kBatchPanel: return kBatchResultMenu;
    default: return kSearchResultMenu;
    }
}

CommandT CSearchWindow::ResultCommand() const
{
    return mResultPopup ? PopupCommand(*mResultPopup, CachedMenu(ResultMenuID())) : 0;
}

QVariantMap CSearchWindow::CopySettings() const
{
    QVariantMap settings;
    settings.insert(kSourceKindKey, SourceCommand());
    settings.insert(kResultKindKey, ResultCommand());
    QVariantList criteria;
    for (CSearchView* row : mRows)
        criteria.append(row->CopyCriteriaDictionary());
    settings.insert(kCriteriaListKey, criteria);
    return settings;
}

void CSearchWindow::ApplySettings(const QVariantMap& settings)
{
    if (!settings.contains(kSourceKindKey) || !settings.contains(kResultKindKey) || !settings.contains(kCriteriaListKey))
        ThrowOSErr_(err_NilPointer, "search settings without source, result or criteria");
    if (mSourcePopup)
        SetPopupToCommand(*mSourcePopup, CachedMenu(kSourceMenu), settings.value(kSourceKindKey).toInt());
    if (mResultPopup)
        SetPopupToCommand(*mResultPopup, CachedMenu(ResultMenuID()), settings.value(kResultKindKey).toInt());
    for (const QVariant& entry : settings.value(kCriteriaListKey).toList()) {
        if (entry.typeId() != QMetaType::QVariantMap)
            ThrowOSErr_(err_NilPointer, "a stored criterion is no dictionary");
        const QVariantMap dictionary = entry.toMap();
        AddCriterionRow(&dictionary);
    }
}

// --- Source and target --------------------------------------------------------------------------

void CSearchWindow::UpdateSourceMenu(bool force)
{
    auto* combo = mSourcePopup ? mSourcePopup->findChild<QComboBox*>() : nullptr;
    auto setTexts = [&](const QString& all, const QString& selected) {
        if (!combo || combo->count() < 2)
            return;
        combo->setItemText(0, all);
        combo->setItemText(1, selected);
    };
    const QString allText = CopyLocalizedString(QStringLiteral("600:55"));
    const QString selectedText = CopyLocalizedString(QStringLiteral("600:56"));
    if (!mTarget) {
        setTexts(allText, selectedText);
        mShownCount = mShownSelected = -1; // the next target's counts show
        return;
    }
    const CIndexModel& model = *mTarget;
    const SInt32 count = mPanelID == kBatchPanel ? model.CountItems() : model.CountAllItems();
    const SInt32 selected = model.CountSelectedItems();
    if (!force && count == mShownCount && selected == mShownSelected)
        return;
    mShownCount = count;
    mShownSelected = selected;
    const auto items = [](SInt32 n) { return CopyLocalizedString(n == 1 ? QStringLiteral("ONE_ITEM_WORD") : QStringLiteral("600:53")); };
    setTexts(QStringLiteral("%1 (%2%3)").arg(allText).arg(count).arg(items(count)),
        QStringLiteral("%1 (%2%3)").arg(selectedText).arg(selected).arg(items(selected)));
}

void CSearchWindow::EnableResultItems(bool all)
{
    auto* combo = mResultPopup ? mResultPopup->findChild<QComboBox*>() : nullptr;
    auto* model = combo ? qobject_cast<QStandardItemModel*>(combo->model()) : nullptr;
    if (!model)
        return;
    const LMenu& menu = CachedMenu(ResultMenuID());
    for (SInt16 i = 1; i <= menu.CountItems() && i <= model->rowCount(); ++i) {
        if (menu.Item(i)->IsSeparator())
            continue;
        model->item(i - 1)->setEnabled(all || menu.Item(i)->command == kResultCopyToNewIndex);
    }
}

void CSearchWindow::SourceKindChanged()
{
    const CommandT source = SourceCommand();
    const bool elsewhere = source == kSearchSourceOpenIndexes || source == kSourceNone;
    if (!elsewhere) {
        EnableResultItems(true);
        CatchCode([&] { UpdateTitle(); });
    } else if (mPanelID != kBatchPanel && mResultPopup) {
        // Items of other indexes can only be copied into a new index.
        EnableResultItems(false);
        SetPopupToCommand(*mResultPopup, CachedMenu(ResultMenuID()), kResultCopyToNewIndex);
        SetCFDescriptor(CopyLocalizedString(QStringLiteral("SEARCH_WINDOW_TITLE")));
    }
}

void CSearchWindow::SetTarget(CIndexModel* model)
{
    for (const auto& connection : mTargetConnections)
        QObject::disconnect(connection);
    mTargetConnections.clear();
    mTarget = model;
    if (!model) {
        SetCFDescriptor(QString());
        EnablePane(mRunButton, false);
        Hide();
        return;
    }
    // The source menu's counts follow the index, whatever changed it.
    const auto follow = [this] { CatchCode([this] { UpdateSourceMenu(false); }); };
    for (auto signal : { &CIndexModel::stateChanged, &CIndexModel::selectionChanged, &CIndexModel::listChanged })
        mTargetConnections.push_back(QObject::connect(model, signal, follow));
    for (auto signal : { &CIndexModel::itemsInserted, &CIndexModel::itemsRemoved })
        mTargetConnections.push_back(QObject::connect(model, signal, follow));
    mTargetConnections.push_back(QObject::connect(model, &QObject::destroyed, [this] {
        mTarget = nullptr;
        SetTarget(nullptr);
    }));
    if (mPanelID == kBatchPanel && mSourcePopup)
        mSourcePopup->SetValue(model->CountSelectedItems() > 0 ? 2 : 1);
    const CommandT source = SourceCommand();
    if (source != kSearchSourceOpenIndexes && source != kSourceNone)
        CatchCode([&] { UpdateTitle(); });
    EnablePane(mRunButton, true);
    UpdateSourceMenu(false);
}

void CSearchWindow::UpdateTitle()
{
    if (!mTarget)
        ThrowOSErr_(err_NilPointer, "search window: no target");
    TaskOwnerView* view = FindTaskOwnerView(mTarget);
    QString title = view ? view->GetWindowTitle() : QString();
    const QString suffix = QStringLiteral(".idxp");
    while (title.endsWith(suffix))
        title.chop(suffix.size());
    while (title.startsWith(suffix))
        title.remove(0, suffix.size());
    // The index searched, named after the window's own title: never mistaken for that index's window.
    SetCFDescriptor(title.isEmpty() ? CopyLocalizedString(QStringLiteral("SEARCH_WINDOW_TITLE"))
                                    : CopyLocalizedString(QStringLiteral("SEARCH_WINDOW_TITLE_OF")).arg(title));
}

// --- Running ------------------------------------------------------------------------------------

void CSearchWindow::RunSearch()
{
    ThrowIfNil_(mTarget);
    const CommandT source = SourceCommand();
    auto task = std::make_unique<CSearchTask>(QString::fromLatin1(source == kSearchSourceOpenIndexes ? "601:54" : "601:39"),
        *mTarget, kSearchKindSearch, this);
    task->SetSourceKind(source);
    task->SetResultAction(ResultCommand());
    task->InsertSourceItems(source);
    for (CSearchView* row : mRows)
        task->AddCriterion(row->MakeCriteria());
    task.release()->Start();
    Hide();
}

void CSearchWindow::FindDuplicates()
{
    ThrowIfNil_(mTarget);
    const CommandT source = SourceCommand();
    auto task = std::make_unique<CSearchTask>(QStringLiteral("601:41"), *mTarget, kSearchKindDuplicates, this);
    task->SetSourceKind(source);
    task->SetResultAction(ResultCommand());
    task->InsertSourceItems(source);
    task->AddCriterion(std::make_unique<CCriteria>(kDuplicatesCategory, kSelectorSameMediaInfo, QString()));
    task.release()->Start();
    Hide();
}

void CSearchWindow::RunBatch()
{
    ThrowIfNil_(mTarget);
    const CommandT result = ResultCommand();
    // The user may decline changing the media: nothing runs then.
    if (result != kResultBatchCatalogue && GetPrefBoolean(QStringLiteral("ConfirmChangesToMedia"))
        && !AskYesNoAlert(CopyLocalizedString(QStringLiteral("600:57")), CopyLocalizedString(QStringLiteral("600:81")),
            kCautionAlert))
        return;
    auto task = std::make_unique<CSearchTask>(QStringLiteral("601:43"), *mTarget, kSearchKindBatch, this);
    task->SetResultAction(result);
    const CommandT source = SourceCommand();
    CIndexModel& model = *mTarget;
    if (source == kSearchSourceAllItems) {
        for (CIndexItem* item : model.GetItemList())
            task->InsertItem(item, kInsertAtEnd);
    } else if (source == kSearchSourceSelection) {
        for (CIndexItem* item : model.SelectedItems())
            task->InsertItem(item, kInsertAtEnd);
    }
    QVariantList criteria;
    for (CSearchView* row : mRows)
        criteria.append(row->CopyCriteriaDictionary());
    // The task asks for what a step lacks (a value, a folder) and starts itself.
    CSearchTask* running = task.release();
    try {
        running->LoadCriteria(criteria);
    } catch (...) {
        delete running;
        throw;
    }
    Hide();
}

// --- Saving a named setting ---------------------------------------------------------------------

void CSearchWindow::CloseSaveDialog()
{
    LDialogBox* dialog = mSaveDialog;
    mSaveDialog = nullptr;
    if (dialog) {
        dialog->RemoveListener(this);
        dialog->Hide();
        delete dialog;
    }
}

void CSearchWindow::OpenSaveSettingDialog()
{
    if (mPanelID == kDuplicatesPanel)
        return;
    CloseSaveDialog();
    LWindow* made = LWindow::CreateWindow(kSaveSettingLayout, this);
    mSaveDialog = dynamic_cast<LDialogBox*>(made);
    if (!mSaveDialog) {
        delete made;
        ThrowOSErr_(err_NilPointer, "layout 1033 makes no dialog");
    }
    mSaveDialog->AddListener(this);
    mSaveDialog->Show();
    mSaveDialog->Select();
    // The keys go to the name at once: what the user types names the setting.
    if (auto* name = dynamic_cast<LEditText*>(mSaveDialog->FindPaneByID(901)))
        name->GetLineEdit()->setFocus(Qt::OtherFocusReason);
}

void CSearchWindow::SaveSetting()
{
    if (!mSaveDialog)
        return;
    const QString name = CopyPaneCFDescriptor(mSaveDialog, 901).trimmed();
    const QString shortcut = CopyPaneCFDescriptor(mSaveDialog, 902).trimmed().toUpper();
    if (name.isEmpty()) {
        ShowMessageAlert(CopyLocalizedString(QStringLiteral("SETTING_NAME_EMPTY")), kCautionAlert);
        return;
    }
    const bool batch = mPanelID == kBatchPanel;
    QString owner;
    const EShortcutCheck check
        = CheckSettingShortcut(shortcut, CopyStoredSettings(false), CopyStoredSettings(true), 0, &owner);
    if (check != EShortcutCheck::Ok) {
        ShowMessageAlert(ShortcutRefusalText(check, shortcut, owner), kCautionAlert);
        return;
    }
    QVariantMap setting = CopySettings();
    setting.insert(kSettingNameKey, name);
    setting.insert(kSettingShortcutKey, shortcut);
    AppendStoredSetting(batch, setting);
    CloseSaveDialog();
}

// --- Messages, keys and commands ----------------------------------------------------------------

void CSearchWindow::ListenToMessage(MessageT message, void* ioParam)
{
    switch (message) {
    case msg_SearchPanel: {
        const SInt32 value = ioParam ? *static_cast<SInt32*>(ioParam) : mPanelSelector->GetValue();
        if (value >= 1 && value <= 3 && ResIDT(kSearchPanel + value - 1) != mPanelID)
            SwitchPanel(ResIDT(kSearchPanel + value - 1));
        break;
    }
    case msg_SearchRun: RunSearch(); break;
    case msg_SearchAddRow: AddCriterionRow(nullptr); break;
    case msg_SearchRemoveRow: RemoveLastCriterionRow(); break;
    case msg_SearchDuplicates: FindDuplicates(); break;
    case msg_SearchBatch: RunBatch(); break;
    case msg_SearchSave:
        if (mSaveDialog)
            SaveSetting();
        else
            OpenSaveSettingDialog();
        break;
    case msg_SearchSource: SourceKindChanged(); break;
    case msg_SearchSaveCancel: CloseSaveDialog(); break;
    default: break;
    }
}

bool CSearchWindow::HandleKeyPress(const EventRecord& event)
{
    const UInt8 charCode = EventCharCode(event);
    auto click = [](LControl* control) {
        if (!control || !control->IsEnabled())
            return false;
        control->SimulateHotSpotClick(kControlButtonPart);
        return true;
    };
    // Typed text keeps its "+" and "-": rows change by key only outside edit fields.
    QWidget* focus = QApplication::focusWidget();
    const bool editing = qobject_cast<QLineEdit*>(focus) || qobject_cast<QAbstractSpinBox*>(focus);
    switch (charCode) {
    case char_Enter:
    case char_Return:
        if (mSaveDialog)
            return false;
        return click(mRunButton);
    case char_Escape:
        if (mSaveDialog)
            CloseSaveDialog();
        else
            Hide();
        return true;
    case char_PageUp:
    case char_LeftArrow:
        if (editing)
            break;
        if (mPanelSelector->GetValue() > 1)
            mPanelSelector->SetValue(mPanelSelector->GetValue() - 1);
        return true;
    case char_PageDown:
    case char_RightArrow:
        if (editing)
            break;
        if (mPanelSelector->GetValue() < 3)
            mPanelSelector->SetValue(mPanelSelector->GetValue() + 1);
        return true;
    case '+':
        if (!editing)
            return click(mAddButton);
        break;
    case '-':
        if (!editing)
            return click(mRemoveButton);
        break;
    default: break;
    }
    return CFloater::HandleKeyPress(event);
}

bool CSearchWindow::ObeyCommand(CommandT command, void* ioParam)
{
    switch (command) {
    case cmd_Close:
        Hide();
        return true;
    case cmd_Save:
        if (!mSaveDialog && mPanelID != kDuplicatesPanel)
            ListenToMessage(msg_SearchSave, nullptr);
        return true;
    default: return CFloater::ObeyCommand(command, ioParam);
    }
}

void CSearchWindow::FindCommandStatus(CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark, Str255& outName)
{
    switch (command) {
    case cmd_Save: outEnabled = !mSaveDialog && mPanelID != kDuplicatesPanel; return;
    case cmd_SaveAs: outEnabled = false; return;
    case cmd_Close: outEnabled = true; return;
    default: CFloater::FindCommandStatus(command, outEnabled, outUsesMark, outMark, outName);
    }
}

void CSearchWindow::AttemptClose()
{
    Hide();
}

void CSearchWindow::Click(SMouseDownEvent& event)
{
    if (HandleContextClick(event) != cmResult_NotHandled)
        return;
    CFloater::Click(event);
}

void CSearchWindow::AddOwnItems(QMenu* menu)
{
    AppendMenuItemWithCommand(menu, CopyLocalizedString(QStringLiteral("600:113")), cmd_OrganizeSettings);
}

void CSearchWindow::GetHelpString(QString& outText)
{
    outText = CopyLocalizedString(QString::fromLatin1(mPanelID == kBatchPanel ? "600:99" : "600:98"));
}

void CSearchWindow::HelpChosen()
{
    ThrowIfOSErr_(GotoHelpPage(QString::fromLatin1(mPanelID == kBatchPanel ? "pgs/wr6.html" : "pgs/wr5.html")));
}
