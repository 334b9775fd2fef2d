#include "CInfoView.h"

#include "BundleStrings.h"
#include "CIndexDoc.h"
#include "CIndexView.h"
#include "CVisualTask.h"
#include "DeferredIcon.h"
#include "ExceptionCode.h"
#include "LStdControls.h"
#include "LWindow.h"
#include "LocalizedStrings.h"
#include "PString.h"
#include "Preferences.h"
#include "ResourceUtilities.h"
#include "TextFormats.h"
#include "URegistrar.h"
#include "UResources.h"

#include <QApplication>
#include <QHash>
#include <QIcon>
#include <QStyle>
#include <QToolButton>
#include <QWindow>

namespace {

// The colour icons of the storage button and the password button.
constexpr SInt16 kIconFilesOutside = 454;
constexpr SInt16 kIconFilesStored = 455;
constexpr SInt16 kIconFilesStoredAndRemoved = 456;
constexpr SInt16 kIconPasswordInKeychain = 451;
constexpr SInt16 kIconPasswordInIndex = 432;
constexpr SInt32 kSnapStep = 10;

// The words after the numbers, loaded once; 'nilP' when one has no text.
struct CountWords {
    QString all, shown, selected, one; // `one` follows a count of one item
};

const CountWords& Words()
{
    static const CountWords words = [] {
        for (const char* key : { "600:53", "600:137", "600:54", "ONE_ITEM_WORD" })
            if (!BundleHasLocalizedString(QLatin1String(key)))
                ThrowOSErr_(err_NilPointer, std::string("no text for ") + key);
        return CountWords { CopyLocalizedString(QStringLiteral("600:53")), CopyLocalizedString(QStringLiteral("600:137")),
            CopyLocalizedString(QStringLiteral("600:54")), CopyLocalizedString(QStringLiteral("ONE_ITEM_WORD")) };
    }();
    return words;
}

// The strip shows its icons again after every change of the index: each file is
// read once, not every time (a sort of a large index would wait for it).
QIcon IconFile(const QString& path)
{
    // Kept to the program's end: no pixmap outlives the application object.
    static auto* icons = new QHash<QString, QIcon>;
    auto found = icons->constFind(path);
    if (found == icons->constEnd())
        found = icons->insert(path, UResources::ReadIcon(path));
    return *found;
}

QIcon ColourIcon(SInt16 id)
{
    return IconFile(QStringLiteral(":/icons/cicn-%1.png").arg(id));
}

void SetButtonIcon(LControl* button, SInt16 id)
{
    if (auto* image = dynamic_cast<LImagePane*>(button))
        image->SetIcon(ColourIcon(id));
    else if (auto* bevel = dynamic_cast<LBevelButton*>(button))
        bevel->SetIcon(ColourIcon(id).pixmap(16, 16).toImage());
    button->SetUserCon(id); // which icon shows, for whoever asks
}

} // namespace

CInfoView::CInfoView(const LLayoutData& data)
    : CPlacardView(data)
{
    Words();
}

CInfoView::~CInfoView() = default;

LPane* CInfoView::Require(PaneIDT paneID)
{
    LPane* pane = FindPaneByID(paneID);
    if (!pane)
        ThrowOSErr_(err_NilPointer, "the status placard has no pane " + std::to_string(paneID));
    return pane;
}

void CInfoView::FinishCreateSelf()
{
    mInfoText = Require(kPaneInfoText);
    mTypeSelect = Require(kPaneTypeSelect);
    mStorageButton = dynamic_cast<LControl*>(Require(kPaneStorageButton));
    mListLock = Require(kPaneListLock);
    mPasswordButton = dynamic_cast<LControl*>(Require(kPanePasswordButton));
    mTaskGroup = Require(kPaneTaskGroup);
    mProgress = dynamic_cast<LProgressBar*>(Require(kPaneProgress));
    mTaskTitle = Require(kPaneTaskTitle);
    mStopButton = dynamic_cast<LControl*>(Require(kPaneStopButton));
    mZoomSlider = dynamic_cast<LControl*>(Require(kPaneZoomSlider));
    mSortButton = dynamic_cast<LBevelButton*>(Require(kPaneSortButton));
    ThrowIfNil_(mSortButton);
    ThrowIfNil_(mStorageButton);
    ThrowIfNil_(mPasswordButton);
    ThrowIfNil_(mProgress);
    ThrowIfNil_(mStopButton);
    ThrowIfNil_(mZoomSlider);
    for (LControl* control : { mStopButton, mStorageButton, mPasswordButton, mZoomSlider, static_cast<LControl*>(mSortButton) })
        control->AddListener(this);
    // Tab reaches the strip's controls, but a click leaves the keyboard with the
    // grid, whose arrows and page keys would otherwise move the slider.
    for (LControl* control : { mStopButton, mStorageButton, mPasswordButton, mZoomSlider, static_cast<LControl*>(mSortButton) }) {
        if (auto* pane = dynamic_cast<LControlPane*>(control); pane && pane->GetControlWidget()) {
            pane->GetControlWidget()->setFocusPolicy(Qt::TabFocus);
            pane->setFocusPolicy(Qt::TabFocus);
        }
    }
    // Made when the button is first drawn: the style's icons are slow to make and
    // the button shows only while a task runs.
    if (auto* stop = dynamic_cast<LBevelButton*>(mStopButton))
        stop->SetIcon(DeferredThemeIcon(
            [] { return QIcon(QApplication::style()->standardIcon(QStyle::SP_BrowserStop).pixmap(16, 16)); }, 16));
    if (auto* button = qobject_cast<QToolButton*>(mSortButton->GetControlWidget())) {
        button->setAutoRaise(true); // flat on the strip, like its icons
        button->setIconSize(QSize(16, 16));
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    }
    // The strip is small: so are its texts.
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    for (LPane* text : { mInfoText, mTypeSelect, mTaskTitle }) {
        QList<QWidget*> widgets = text->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
        widgets.append(text);
        for (QWidget* widget : widgets)
            widget->setFont(small);
    }
    SetButtonIcon(mStorageButton, kIconFilesOutside);
    if (auto* lock = dynamic_cast<LImagePane*>(mListLock))
        lock->SetIcon(IconFile(QStringLiteral(":/icons/listlock.png")));
    mListLock->Hide();
    mPasswordButton->Hide();
    mTaskGroup->Hide();
    mZoomSlider->Show();
}

void CInfoView::EnableSelf()
{
    if (LPane* mark = FindPaneByID(kPaneEnabledMark))
        mark->Show();
    CPlacardView::EnableSelf();
}

void CInfoView::SetIndexView(CIndexView* view)
{
    if (mView)
        mView->RemoveListener(this);
    mView = view;
    if (!view)
        return;
    view->AddListener(this);
    ListenToMessage(msg_ViewFrameChanged, nullptr);
    ShowCounts();
}

void CInfoView::SetIndexDocument(CIndexDoc* document)
{
    ThrowIfNil_(document);
    if (LWindow* window = document->GetWindow())
        SetListPane(window->FindPaneByID('brow'));
    SetIndexView(CIndexView::ViewOfPane(document->GetIndexViewPane()));
}

QString CInfoView::GetInfoText() const
{
    return mInfoText ? mInfoText->GetCFDescriptor() : QString();
}

void CInfoView::SetInfoText(const QString& text)
{
    mInfoText->SetCFDescriptor(text);
    mInfoText->Refresh();
}

QString CInfoView::CountsText(SInt32 all, SInt32 shown, SInt32 selected, UInt64 totalSize)
{
    if (all == 0)
        return QString();
    const CountWords& words = Words();
    QString text = QString::number(all) + (all == 1 ? words.one : words.all);
    if (shown != all)
        text += QStringLiteral("  ") + QString::number(shown) + words.shown;
    if (selected != 0)
        text += QStringLiteral("  ") + QString::number(selected) + words.selected;
    if (selected == 0 && shown == all)
        text += QStringLiteral(" [") + FormatByteSize(totalSize) + QLatin1Char(']');
    return text;
}

void CInfoView::ShowCounts()
{
    if (!mView)
        return;
    SetInfoText(CountsText(mView->CountAllItems(), mView->CountItems(), mView->CountSelectedItems(),
        mView->GetTotalFileSize()));
    if (mView->CountRunningTasks() == 0) {
        mTaskGroup->Hide();
        if (LPane* idle = FindPaneByID(kPaneIdleGroup); idle && mView->isVisible() && isVisible() && IsActive())
            idle->Show();
    }
    ShowSortOrder();
    mListLock->SetVisible(mView->IsItemListLocked());
    const bool stored = mView->TestFlags(kViewStoreMediaFile);
    const bool removed = mView->TestFlags(kViewRemoveMediaFile);
    SetButtonIcon(mStorageButton,
        !stored ? kIconFilesOutside : (removed ? kIconFilesStoredAndRemoved : kIconFilesStored));
    if (!mView->HasPassword()) {
        mPasswordButton->Hide();
    } else {
        SetButtonIcon(mPasswordButton,
            mView->GetKeepPasswordInKeychain() ? kIconPasswordInKeychain : kIconPasswordInIndex);
        mPasswordButton->Show();
    }
}

void CInfoView::ShowSortOrder()
{
    // "IndexSortOrder" 0 is ascending; 1 (descending) and 2 (no order) show descending.
    const SInt32 order = mView->GetSortOrder() == 0 ? 0 : 1;
    if (order != mShownSortOrder) {
        mShownSortOrder = order;
        mSortButton->SetIcon(IconFile(order == 0 ? QStringLiteral(":/icons/sort-ascending.png") : QStringLiteral(":/icons/sort-descending.png")));
        mSortButton->SetUserCon(order);
        if (QWidget* button = mSortButton->GetControlWidget())
            button->setToolTip(CopyLocalizedString(order == 0 ? QStringLiteral("SORT_ASCENDING_HELP") : QStringLiteral("SORT_DESCENDING_HELP")));
    }
    Boolean enabled = false, usesMark = false;
    UInt16 mark = 0;
    Str255 name;
    mView->ProcessCommandStatus(cmd_ReverseSortOrder, enabled, usesMark, mark, name);
    enabled ? mSortButton->Enable() : mSortButton->Disable();
}

void CInfoView::Zoom()
{
    if (mSettingSlider)
        return;
    SInt32 value = mZoomSlider->GetValue();
    if (mView && !(mListPane && mListPane->IsVisible())) {
        const bool option = QGuiApplication::queryKeyboardModifiers().testFlag(Qt::AltModifier);
        if (option || GetPrefBoolean(QStringLiteral("SnapZoomToFixedValues")))
            value -= value % kSnapStep;
        if (value == 0)
            value = mView->GetMinThumbnailSize();
        if (value != mView->GetThumbnailSize())
            mView->SetThumbnailSize(value, true);
    }
    const QString format = CopyLocalizedString(QStringLiteral("VIEW_SIZE_TEXT"));
    if (format.isEmpty() || !BundleHasLocalizedString(QStringLiteral("VIEW_SIZE_TEXT")))
        ThrowOSErr_(err_NilPointer, "no text for VIEW_SIZE_TEXT");
    SetInfoText(format.arg(value).arg(value));
    mInfoText->repaint();
}

void CInfoView::ShowTask(CVisualTask* task)
{
    ThrowIfNil_(task);
    mTaskGroup->Hide();
    mCurrentTask = task;
    if (task->IsStopShown()) {
        mStopButton->Show();
        mProgress->ResizeFrameTo(kBarWidthWithStop, kBarHeight, false);
    } else {
        mStopButton->Hide();
        mProgress->ResizeFrameTo(kBarWidthAlone, kBarHeight, false);
    }
    mTaskGroup->Show();
}

void CInfoView::ShowProgressRange()
{
    // A range of a single value has no fraction to show: the bar shows full.
    if (mProgressMax <= mProgressMin && !mProgress->IsIndeterminate()) {
        mProgress->SetMinValue(0);
        mProgress->SetMaxValue(1);
        mProgress->SetValue(1);
        return;
    }
    mProgress->SetMinValue(mProgressMin);
    mProgress->SetMaxValue(mProgressMax);
    mProgress->SetValue(mProgressValue);
}

void CInfoView::ListenToMessage(MessageT message, void* ioParam)
{
    switch (message) {
    case msg_IndexViewStateChanged:
        ShowCounts();
        break;
    case msg_PlacardInfoText:
        if (ioParam) {
            SetInfoText(*static_cast<const QString*>(ioParam));
            mInfoText->repaint();
        }
        break;
    case msg_PlacardTypeSelect:
        mTypeSelect->SetCFDescriptor(ioParam ? PStringToQString(static_cast<ConstStr255Param>(ioParam)) : QString());
        break;
    case msg_PlacardZoom:
        Zoom();
        break;
    case msg_PlacardReverseSort:
        if (mView)
            mView->ProcessCommand(cmd_ReverseSortOrder, nullptr);
        break;
    case msg_ViewFrameChanged:
        if (mView && !(mListPane && mListPane->IsVisible())) {
            mSettingSlider = true;
            mZoomSlider->SetMinValue(mView->GetMinThumbnailSize());
            mZoomSlider->SetMaxValue(mView->GetMaxThumbnailSize());
            mZoomSlider->SetValue(mView->GetThumbnailSize());
            mSettingSlider = false;
        }
        break;
    case msg_TaskProgress:
        mProgressValue = *static_cast<const SInt32*>(ioParam);
        ShowProgressRange();
        break;
    case msg_TaskProgressMin:
        mProgressMin = *static_cast<const SInt32*>(ioParam);
        ShowProgressRange();
        break;
    case msg_TaskProgressMax:
        mProgressMax = *static_cast<const SInt32*>(ioParam);
        ShowProgressRange();
        break;
    case msg_TaskIndeterminate:
        mProgress->SetIndeterminate(*static_cast<const SInt32*>(ioParam) != 0);
        ShowProgressRange();
        break;
    case msg_TaskShown:
        ShowTask(static_cast<CVisualTask*>(ioParam));
        break;
    case msg_TaskHidden:
        // The task shown is done: the strip goes back to the index's counts.
        if (ioParam == mCurrentTask) {
            mCurrentTask = nullptr;
            mTaskGroup->Hide();
            ShowCounts();
        }
        break;
    case msg_PlacardStopTask:
        // The task may have ended since it was shown: only a live one is stopped.
        if (mCurrentTask) {
            if (CVisualTask::IsAlive(mCurrentTask))
                mCurrentTask->Stop();
            mCurrentTask = nullptr;
        }
        break;
    case msg_TaskTitle:
        if (ioParam) {
            mTaskTitle->SetCFDescriptor(*static_cast<const QString*>(ioParam));
            mTaskTitle->Refresh();
        }
        break;
    case msg_PropertyDialogOK:
        // The storage and password icons open the index's property dialog, as its
        // command does: not under the screen lock.
        if (mView)
            mView->ProcessCommand(cmd_IndexProperties, nullptr);
        break;
    case msg_PlacardVisibleRange:
        if (mView) {
            SInt32 first = 0, last = 0;
            mView->GetVisibleRange(first, last, true);
            SetInfoText(QStringLiteral("First: %1 Last: %2").arg(first).arg(last));
        }
        break;
    default:
        break;
    }
}

void CInfoView::Click(SMouseDownEvent& event)
{
    // The strip is a handle of the window: the corner square resizes it, the rest moves it.
    QWidget* shell = window();
    QWindow* handle = shell ? shell->windowHandle() : nullptr;
    const QRect corner(width() - kGrowBoxSide, height() - kGrowBoxSide, kGrowBoxSide, kGrowBoxSide);
    if (!handle || FindSubPaneHitBy(event.wherePort.x(), event.wherePort.y())) {
        CPlacardView::Click(event);
        return;
    }
    if (corner.contains(event.whereLocal))
        handle->startSystemResize(Qt::BottomEdge | Qt::RightEdge);
    else
        handle->startSystemMove();
}

void RegisterPlacardClasses()
{
    URegistrar::RegisterClass<CInfoView>(CInfoView::class_ID);
}
