#include "CMediaWindow.h"

#include "PrefKeys.h"

#include "Alerts.h"
#include "CIndexItem.h"
#include "CIndexModel.h"
#include "CIndexView.h"
#include "CMedia.h"
#include "CMediaCaptionFloater.h"
#include "CMediaNavigator.h"
#include "CMediaView.h"
#include "CVisualTask.h"
#include "DesktopServices.h"
#include "DisplayUtilities.h"
#include "ErrorCodes.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "FieldKeys.h"
#include "FileRoutines.h"
#include "HelpBook.h"
#include "IndexContextMenus.h"
#include "LocalizedStrings.h"
#include "MediaBackground.h"
#include "MediaFactory.h"
#include "MediaViewerServices.h"
#include "Preferences.h"
#include "Sounds.h"
#include "StoredSettings.h"
#include "CExportFilesTask.h"
#include "ThemeColors.h"
#include "UReportErrors.h"
#include "WindowUtilities.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QTimer>

#include <algorithm>

namespace {
std::vector<CMediaWindow*>& WindowList()
{
    static std::vector<CMediaWindow*> windows;
    return windows;
}

void RemoveFromList(CMediaWindow* window)
{
    auto& list = WindowList();
    list.erase(std::remove(list.begin(), list.end(), window), list.end());
}

constexpr SInt16 kNavigatorSide = 11;
constexpr SInt16 kCaptionSide = 15;
constexpr SInt16 kCompletionSound = 200;
const QString kHelpPage = QStringLiteral("pgs/wr3.html");

// The screen the window's frame lies on most.
QScreen* ScreenOfWidget(const QWidget* widget)
{
    if (!widget)
        return nullptr;
    const QWidget* top = widget->window();
    return top && top->screen() ? top->screen() : QGuiApplication::primaryScreen();
}
} // namespace

CMediaWindow::CMediaWindow(const LLayoutData& data)
    : CCMWindow(data)
    , mOptions(MediaViewOptions::FromPreferences())
{
    WindowList().push_back(this);
    setAutoFillBackground(false);
}

CMediaWindow::~CMediaWindow()
{
    if (mNavigator)
        mNavigator->RemoveListener(this);
    if (mMediaView) {
        mMediaView->RemoveListener(this);
        mMediaView->SetMedia(nullptr, nullptr);
    }
    StopRepeating();
    RemoveFromList(this);
    if (mItem) {
        mItem->RemoveListener(this);
        mItem->SetOpenInViewer(0);
        if (mModel && mItemIndex != -1) {
            mModel->ItemRedrawn(mItem, kFieldOpenInViewer);
            mModel->RevealItem(mItemIndex);
        } else if (!mModel) {
            delete mItem;
        }
    }
    mItem = nullptr;
    delete mNavigator;
    mNavigator = nullptr;
    delete mCaptionFloater;
    mCaptionFloater = nullptr;
    RunReportingErrors([&] { mOptions.WriteToPreferences(); });
}

const std::vector<CMediaWindow*>& CMediaWindow::GetWindowList()
{
    return WindowList();
}

void CMediaWindow::FinishCreateSelf()
{
    CCMWindow::FinishCreateSelf();
    MakeFloaters();
    mToolbar.Create(kMediaToolbarIdentifier, this, toolbarAttr_Configurable | toolbarAttr_AutoSavesConfig);
}

void CMediaWindow::MakeFloaters()
{
    mNavigator = dynamic_cast<CMediaNavigator*>(LWindow::CreateWindow(kMediaNavigatorLayout, this));
    ThrowIfNil_(mNavigator);
    mNavigator->AddListener(this);
    mCaptionFloater = dynamic_cast<CMediaCaptionFloater*>(LWindow::CreateWindow(kMediaCaptionLayout, this));
    ThrowIfNil_(mCaptionFloater);
    mCaptionFloater->PositionRelativeTo(this, kCaptionSide);
}

CMediaWindow* CMediaWindow::FindOrCreate(CIndexItem* item, bool windowed, CIndexModel* model)
{
    for (CMediaWindow* window : WindowList()) {
        if (window->GetItem() != item)
            continue;
        if (window->IsFullScreenKind() == windowed)
            window->ToggleFullScreen();
        else
            window->Select();
        return nullptr;
    }
    LCommander* app = LCommander::GetTopCommander();
    const bool indexFullScreen = model && model->GetSettings().fullScreen;
    if (windowed && !indexFullScreen) {
        auto* window = dynamic_cast<CMediaWindow*>(LWindow::CreateWindow(kMediaWindowLayout, app));
        ThrowIfNil_(window);
        return window;
    }
    // One full-screen window per screen: the second screen when asked for, else
    // the active window's (the index window the item was opened from).
    QScreen* target = ChosenFullScreenScreen();
    if (!target)
        target = ScreenOfWidget(QApplication::activeWindow());
    if (!target)
        target = QGuiApplication::primaryScreen();
    if (target) {
        for (CMediaWindow* window : WindowList()) {
            if (window->IsFullScreenKind() && ScreenOfWidget(window) == target) {
                window->Select();
                return window;
            }
        }
    }
    auto* window = dynamic_cast<CMediaWindow*>(LWindow::CreateWindow(kMediaWindowFSLayout, app));
    ThrowIfNil_(window);
    return window;
}

QScreen* ChosenFullScreenScreen()
{
    if (GetPrefNumber(QStringLiteral("FullScreenViewOptions")) != 2)
        return nullptr;
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screen != QGuiApplication::primaryScreen())
            return screen;
    }
    return nullptr;
}

void CMediaWindow::RefreshAllMediaWindows()
{
    for (CMediaWindow* window : WindowList())
        window->Refresh();
}

CMediaWindow* OpenMediaWindowForItem(
    CIndexItem* item, CIndexModel* model, bool windowed, std::unique_ptr<CMedia> media)
{
    CMediaWindow* window = CMediaWindow::FindOrCreate(item, windowed, model);
    if (window)
        window->SetItem(item, model, std::move(media));
    return window;
}

void OpenMediaWindowAtIndex(
    SInt32 index, CIndexModel* model, bool windowed, std::unique_ptr<CMedia> media)
{
    if (!model)
        ThrowOSErr_(err_NilPointer, "no index to open from");
    CIndexItem* item = model->ItemAt(index);
    if (!item)
        ThrowOSErr_(err_AssertFailed, "no item at index " + std::to_string(index));
    if (CMediaWindow* window = CMediaWindow::FindOrCreate(item, windowed, model))
        window->SetItemAtIndex(index, model, std::move(media));
}

// The shown item.

void CMediaWindow::SetItem(CIndexItem* item, CIndexModel* model, std::unique_ptr<CMedia> media)
{
    ReleaseItem();
    mItem = item;
    mModel = model;
    ShowMedia(std::move(media));
}

void CMediaWindow::SetItemAtIndex(SInt32 index, CIndexModel* model, std::unique_ptr<CMedia> media)
{
    ReleaseItem();
    if (!model)
        ThrowOSErr_(err_NilPointer, "no index");
    mModel = model;
    mItemIndex = index;
    CIndexItem* item = model->ItemAt(index);
    if (!item)
        ThrowOSErr_(err_AssertFailed, "no item at index " + std::to_string(index));
    mItem = item;
    ShowMedia(std::move(media));
}

void CMediaWindow::ReleaseItem()
{
    if (mItem) {
        mItem->RemoveListener(this);
        mItem->SetOpenInViewer(0);
        if (mModel) {
            if (mItemIndex != -1)
                mModel->ItemRedrawn(mItem, kFieldOpenInViewer);
        } else {
            delete mItem;
        }
    }
    mItem = nullptr;
    mModel = nullptr;
    mItemIndex = -1;
}

void CMediaWindow::ForgetItem()
{
    if (mItem)
        mItem->RemoveListener(this);
    mItem = nullptr;
}

SInt32 CMediaWindow::CountItems() const
{
    return mModel ? mModel->CountItems() : 0;
}

QString CMediaWindow::FloaterName(const QString& itemName, CMedia* media)
{
    QString name = itemName;
    // Only a three-letter extension goes.
    if (name.size() >= 4 && name.at(name.size() - 4) == QLatin1Char('.'))
        name.chop(4);
    if (media) {
        Str255 own {};
        if (media->CopyUserDataText(UserDataTextType("nam"), own, 1) == noErr && own[0] > 0)
            name = PStringToQString(own);
    }
    return name;
}

void CMediaWindow::ShowMedia(std::unique_ptr<CMedia> media)
{
    const OSStatus status = CatchCode([&] {
        ThrowIfNil_(mItem);
        if (!mItem->HasListener(this))
            mItem->AddListener(this);
        if (!media)
            media.reset(mItem->CreateMedia());
        ThrowIfNil_(media);
        // "Check media before showing": a damaged file is reported, never half drawn.
        if (Pref::ValidateMedia.Get() && !media->Validate())
            ThrowOSErr_(codecBadDataErr, "the medium does not pass its check");
        if (mItemIndex != -1 && mModel) {
            mModel->SelectOnly(mItemIndex); // the grid and the list draw it
            mItem->SetOpenInViewer(1);
            mModel->ItemRedrawn(mItem, kFieldOpenInViewer);
            mModel->RevealItem(mItemIndex);
        }
        const bool hasArea = media->HasArea();
        if (!hasArea && !IsFullScreenKind()) {
            // A sound plays with the window out of sight; the navigator carries
            // its controls and stays while the program is in the background.
            if (IsVisible())
                Hide();
            mNavigator->ClearAttribute(windAttr_HideOnSuspend);
            if (!mNavigator->IsVisible()) {
                mNavigator->Show();
                mNavigator->ConstrainToScreen();
            }
        } else {
            if (!IsVisible() && !IsFullScreenKind()) {
                // Laid out against the whole screen first; the window then shrinks to it.
                QRect standard;
                CalcStandardBounds(standard);
                DoSetBounds(standard);
            }
            if (!IsVisible())
                mNavigator->PositionRelativeTo(this, kNavigatorSide);
            mNavigator->SetAttribute(windAttr_HideOnSuspend);
        }

        CMedia* shown = media.get();
        const PaneIDT kind = PaneIDT(shown->GetKind());
        if (mMediaView && mMediaView->GetPaneID() == kind) {
            mMediaView->SetMedia(std::move(media), &mOptions);
        } else {
            if (mMediaView) {
                mMediaView->RemoveListener(this);
                mMediaView->SetMedia(nullptr, nullptr);
            }
            mMediaView = dynamic_cast<CMediaView*>(FindPaneByID(kind));
            ThrowIfNil_(mMediaView);
            mMediaView->AddListener(this);
            mMediaView->SetMedia(std::move(media), &mOptions);
            LCommander::SwitchTarget(mMediaView);
        }

        MediaNavigatorInfo info;
        info.name = FloaterName(mItem->GetName(), shown);
        if (mItemIndex != -1 && mModel) {
            info.index = mItemIndex;
            info.count = CountItems();
        }
        mNavigator->ListenToMessage(msg_MediaNavigatorInfo, &info);
        if (kind != kMediaKindMovie)
            mNavigator->ListenToMessage(msg_MediaStillShown, nullptr);
        mCaptionFloater->PositionRelativeTo(this, kCaptionSide);
        mCaptionFloater->ListenToMessage(msg_MediaItemChanged, mItem);
        mCaptionFloater->PositionRelativeTo(this, kCaptionSide);

        if (!IsVisible() && (hasArea || IsFullScreenKind())) {
            if (!IsFullScreenKind()) {
                const QSize frame = mMediaView->size();
                mRelayingOut = true;
                ResizeFrameTo(std::max(frame.width(), 1), std::max(frame.height(), 1), false);
                mRelayingOut = false;
                mMediaView->Relayout();
            }
            Show();
            Select();
        }
        UpdateTitle();
        mToolbar.UpdateAllCommandStatus();
    });
    if (status == noErr)
        return;
    if (IsUserCancelCode(status)) {
        ProcessCommand(cmd_Close);
        return;
    }
    Show();
    ReportMediaError(status);
    CatchCode([&] { UpdateTitle(); });
}

void CMediaWindow::UpdateTitle()
{
    if (!mItem)
        return;
    SetWindowProxyURL(this, mItem->GetURL(), true);
    if (mMediaView) {
        const bool running = IsSlideShowRunning();
        // The place among the items shown, only while the item stands among them
        // (an item opened alone, or one a search has hidden, has none).
        const SInt32 place = mModel ? mModel->GetIndexOfItem(mItem) : 0;
        const QString position = place > 0 ? QStringLiteral(" (%1/%2)").arg(place).arg(CountItems()) : QString();
        const QString title = (running ? QStringLiteral("<< ") : QString()) + mItem->GetName() + QStringLiteral(" @ ")
            + QString::number(mMediaView->GetZoom()) + QLatin1Char('%') + position
            + (running ? QStringLiteral(" >>") : QString());
        SetCFDescriptor(title);
        // A screen reader names the picture as the item it shows.
        mMediaView->setAccessibleName(mItem->GetName());
    }
    if (OpeningSelectedItemFlag())
        StartSlideShow(0.125);
}

void CMediaWindow::ReportMediaError(SInt32 code)
{
    if (!IsSlideShowRunning() && code != 0)
        ReportError(code, kNoteAlert);
    else if (code != 0)
        mPendingError = code;
    if (mModel && mItem && mItemIndex != -1 && mItemIndex != 0)
        mModel->ItemRedrawn(mItem, kFieldOpenInViewer);
}

// Stepping.

void CMediaWindow::ShowNext()
{
    if (!mModel)
        return;
    mItemIndex = UInt32(mItemIndex) >= UInt32(CountItems()) ? 1 : mItemIndex + 1;
    ShowItemAt(mItemIndex);
}

void CMediaWindow::ShowPrevious()
{
    if (!mModel)
        return;
    mItemIndex = mItemIndex < 2 ? CountItems() : mItemIndex - 1;
    ShowItemAt(mItemIndex);
}

void CMediaWindow::DeleteItem()
{
    if (!mItem || !mModel || mItemIndex < 1)
        return;
    if (Pref::ConfirmDelete.Get()
        && !AskYesNoAlert(CopyLocalizedString(QStringLiteral("600:84")), CopyLocalizedString(QStringLiteral("600:20")),
            kCautionAlert))
        return;
    if (Pref::ShowPoofEffect.Get()) {
        QRect bounds;
        GetGlobalBounds(bounds);
        AnimatePoof(bounds.center());
    }
    QPointer<CIndexModel> model = mModel;
    const SInt32 old = mItemIndex;
    if (old == CountItems()) {
        mItem->SetOpenInViewer(0);
        ForgetItem();
        RemoveIndexItem(*model, old, true, true);
        ProcessCommand(cmd_Close);
        return;
    }
    ShowNext();
    if (model && CatchCode([&] { RemoveIndexItem(*model, old, true, true); }) == noErr) {
        mItemIndex -= 1;
        UpdateTitle();
        if (mNavigator && mItem) {
            MediaNavigatorInfo info { FloaterName(mItem->GetName(), nullptr), mItemIndex, CountItems() };
            mNavigator->ListenToMessage(msg_MediaNavigatorInfo, &info);
        }
    }
}

void CMediaWindow::ToggleFullScreen()
{
    if (!(mModel && mModel->GetSettings().fullScreen)) {
        const bool wasFullScreen = IsFullScreenKind();
        Hide();
        RemoveFromList(this);
        std::unique_ptr<CMedia> media = mMediaView ? mMediaView->DetachMedia() : nullptr;
        CIndexItem* item = mItem;
        QPointer<CIndexModel> model = mModel;
        const SInt32 index = mItemIndex;
        // The other window takes the item over (a stand-alone one included).
        ForgetItem();
        mModel = nullptr;
            mItemIndex = -1;
        if (model && index != -1)
            OpenMediaWindowAtIndex(index, model, wasFullScreen, std::move(media));
        else if (item)
            OpenMediaWindowForItem(item, model, wasFullScreen, std::move(media));
        for (CMediaWindow* window : WindowList()) {
            if (window != this && window->GetItem() == item && window->IsFullScreenKind())
                window->mLeavesToWindow = !wasFullScreen;
        }
    }
    ProcessCommand(cmd_Close);
}

// Commands.

bool CMediaWindow::ObeyCommand(CommandT command, void* ioParam)
{
    SInt16 menuID = 0, menuItem = 0;
    if (IsSyntheticCommand(command, menuID, menuItem) && menuID == kRatingMenuID) {
        // The shown item is rated through its index view's batch.
        if (mItem && mModel && CIndexView::RateItems(*mModel, menuItem, { mItem }) && mMediaView)
            mMediaView->Refresh();
        return true;
    }
    if (command >= kFirstStoredSetting && command <= kLastStoredSetting) {
        // A stored search or batch from the Search menu acts on the shown item.
        if (mItem && mModel)
            RunStoredSetting(*mModel, command, mItem, this);
        return true;
    }
    switch (command) {
    case cmd_MediaInfoWindow:
        if (mItem)
            mItem->ShowInfoWindow(this, mModel);
        return true;
    case cmd_MediaSlideShow:
    case cmd_MediaPlayPause:
        IsSlideShowRunning() ? StopSlideShow() : StartSlideShow(0.125);
        UpdateTitle();
        return true;
    case cmd_MediaReveal:
        if (mItem)
            mItem->RevealInFinder();
        return true;
    case cmd_MediaToolbar:
        mToolbar.IsVisible() ? mToolbar.Hide() : mToolbar.Show();
        LCommander::SetUpdateCommandStatus(true);
        return true;
    case cmd_MediaDelete:
        DeleteItem();
        return true;
    case cmd_MediaDesktopPicture:
        if (mItem)
            ThrowIfOSErr_(SetDesktopPictureURL(mItem->GetURL()));
        return true;
    case cmd_MediaExport:
        if (mItem && mModel)
            StartExportFilesTask(*mModel, { mItem }, IsFullScreenKind() ? nullptr : this);
        return true;
    case cmd_MediaFullScreen:
        ToggleFullScreen();
        return true;
    case cmd_MediaActivateFonts:
    case cmd_MediaDeactivateFonts:
        if (mItem && mModel) {
            mModel->SetFontsActive({ mItem }, command == cmd_MediaActivateFonts);
            if (mMediaView)
                mMediaView->Refresh();
        }
        return true;
    case cmd_MediaCaptionFloater:
        if (!mCaptionFloater->IsVisible()) {
            mCaptionFloater->PositionRelativeTo(this, kCaptionSide);
            mCaptionFloater->Show();
        } else {
            mCaptionFloater->Hide();
        }
        return true;
    case cmd_MediaNavigatorFloater:
        if (!mNavigator->IsVisible()) {
            mNavigator->PositionRelativeTo(this, kNavigatorSide);
            mNavigator->Show();
        } else {
            mNavigator->Hide();
        }
        return true;
    case cmd_MediaNext:
        ShowNext();
        return true;
    case cmd_MediaPrevious:
        ShowPrevious();
        return true;
    default:
        return CCMWindow::ObeyCommand(command, ioParam);
    }
}

void CMediaWindow::FindCommandStatus(CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark,
    Str255& outName)
{
    if (IsSheetOpen()) {
        outEnabled = false;
        return;
    }
    auto mark = [&](bool on) {
        outUsesMark = true;
        outMark = on ? checkMark : noMark;
    };
    SInt16 menuID = 0, menuItem = 0;
    if (IsSyntheticCommand(command, menuID, menuItem) && menuID == kRatingMenuID) {
        outEnabled = mItem && mModel && CIndexView::RatingOfMenuItem(menuItem) >= 0;
        return;
    }
    if (command >= kFirstStoredSetting && command <= kLastStoredSetting) {
        outEnabled = mItem && mModel && !mModel->IsItemListLocked() && CanRunStoredSetting(*mModel, command);
        return;
    }
    switch (command) {
    case cmd_MediaDelete:
        outEnabled = mItem && mModel && mItemIndex >= 1;
        if (Pref::ConfirmDelete.Get())
            QStringToPString(CopyLocalizedString(QStringLiteral("600:61")), outName);
        return;
    case cmd_MediaFullScreen:
        outEnabled = true;
        mark(IsFullScreenKind());
        return;
    case cmd_MediaCaptionFloater:
        outEnabled = true;
        mark(mCaptionFloater && mCaptionFloater->IsVisible());
        return;
    case cmd_MediaNavigatorFloater:
        outEnabled = true;
        mark(mNavigator && mNavigator->IsVisible());
        return;
    case cmd_MediaDesktopPicture: // a picture, on a desktop whose picture we can set
        outEnabled = mItem && !mItem->IsFont() && !IsSoundMediaType(mItem->GetFileTypeCode()) && CanSetDesktopPicture();
        return;
    case cmd_MediaInfoWindow:
    case cmd_MediaSlideShow:
    case cmd_MediaPlayPause:
    case cmd_MediaReveal:
    case cmd_Copy:
        outEnabled = true;
        return;
    case cmd_MediaToolbar:
        outEnabled = true;
        QStringToPString(CopyLocalizedCFString(600, mToolbar.IsVisible() ? 12 : 11), outName);
        return;
    case cmd_MediaExport: // the export's task belongs to the item's index view
        outEnabled = mItem && mModel;
        return;
    case cmd_MediaRating: // carries the rating menu
        outEnabled = true;
        return;
    case cmd_MediaActivateFonts:
    case cmd_MediaDeactivateFonts:
        outEnabled = mItem && mModel && mItem->IsFont();
        return;
    default:
        CCMWindow::FindCommandStatus(command, outEnabled, outUsesMark, outMark, outName);
    }
}

bool CMediaWindow::HandleKeyPress(const EventRecord& event)
{
    if (!IsVisible() || IsSheetOpen())
        return CCMWindow::HandleKeyPress(event);
    const UInt8 key = EventCharCode(event);
    const bool option = event.modifiers & optionKey;
    switch (key) {
    case char_Home:
        if (mModel && CountItems() > 0)
            ShowItemAt(1);
        break;
    case char_End:
        if (mModel && CountItems() > 0)
            ShowItemAt(CountItems());
        break;
    case char_Enter:
    case char_Return:
        ToggleFullScreen();
        break;
    case char_Backspace:
    case char_FwdDelete:
        ProcessCommand(cmd_MediaDelete);
        break;
    case char_Tab:
        break;
    case char_Escape:
        if (mLeavesToWindow)
            ToggleFullScreen();
        else
            ProcessCommand(cmd_Close);
        break;
    case char_LeftArrow:
        if (!option) {
            ShowPrevious();
            mLastStepTick = TickCount();
        }
        break;
    case char_RightArrow:
        if (!option) {
            ShowNext();
            if (mItemIndex == 1 && Pref::PlayCompletionSound.Get())
                PlaySoundResource(kCompletionSound);
            mLastStepTick = TickCount();
        }
        break;
    case ' ':
        ObeyCommand(cmd_MediaSlideShow, nullptr);
        break;
    case 'I':
    case 'i':
        ProcessCommand(cmd_MediaCaptionFloater);
        break;
    case 'N':
    case 'n':
        ProcessCommand(cmd_MediaNavigatorFloater);
        break;
    default:
        return CCMWindow::HandleKeyPress(event);
    }
    LCommander::SetUpdateCommandStatus(true);
    return true;
}

// Messages.

void CMediaWindow::ListenToMessage(MessageT message, void* ioParam)
{
    switch (message) {
    case msg_BroadcasterDied:
        if (ioParam != mItem)
            return;
        [[fallthrough]];
    case 202: {
        // The item goes: show what now stands at its index, or go with the index.
        mItem = nullptr;
        if (!mModel || mModel->GetViewState() == kViewStateRemovingAll) {
            mModel = nullptr;
                    DoClose();
            return;
        }
        QPointer<CMediaWindow> self(this);
        QTimer::singleShot(0, this, [self] {
            if (self && !self->mItem)
                RunReportingErrors([&] { self->ListenToMessage(msg_MediaItemChanged, nullptr); });
        });
        return;
    }
    case cmd_MediaPlayPause:
        IsSlideShowRunning() ? StopSlideShow() : StartSlideShow(0.125);
        UpdateTitle();
        if (mMediaView && mMediaView->GetPaneID() == kMediaKindMovie)
            mMediaView->ObeyCommand(message, ioParam);
        return;
    case cmd_MediaStop:
        StopSlideShow();
        UpdateTitle();
        if (mMediaView && mMediaView->GetPaneID() == kMediaKindMovie)
            mMediaView->ObeyCommand(message, ioParam);
        return;
    case cmd_MediaNext:
    case cmd_MediaFastForward:
    case cmd_MediaPrevious:
    case cmd_MediaFastBackward:
        if (mMediaView)
            mMediaView->ProcessCommand(message, ioParam);
        return;
    case msg_MediaVolumeChanged:
        if (mMediaView && ioParam)
            mMediaView->SetVolume(SInt16(*static_cast<SInt32*>(ioParam)));
        return;
    case msg_MediaZoomChanged:
        UpdateTitle();
        return;
    case msg_MediaItemChanged:
        if (!mModel && !mItem)
            return;
        if (mItemIndex == -1)
            SetItem(mItem, mModel, nullptr);
        else if (mModel && CountItems() > 0)
            ShowItemAt(std::min(mItemIndex, CountItems()));
        else
            DoClose();
        return;
    case msg_MediaMovieStatus:
    case msg_MediaSlideShowState:
    case msg_MediaStillShown:
        if (mNavigator)
            mNavigator->ListenToMessage(message, ioParam);
        return;
    case msg_MediaNavigatorClosed:
        if (!IsVisible())
            ProcessCommand(cmd_Close);
        return;
    default:
        return;
    }
}

// Mouse, drawing, activation.

void CMediaWindow::ClickSelf(const SMouseDownEvent& event)
{
    (void)event;
    if (GetClickCount() == 2) {
        ProcessCommand(cmd_Close);
        return;
    }
    if (IsFullScreenKind() && mModel && mModel->GetSettings().fullScreen)
        ProcessCommand(cmd_Close);
}

void CMediaWindow::DrawSelf(QPainter& painter)
{
    if (IsFullScreenKind()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    const PixPattern& pattern = GetMediaBackgroundPattern();
    if (Pref::MediaPatternID.Get() == kPlainMediaBackground || pattern.IsNull()) {
        painter.fillRect(rect(), GetColorRampEntry13());
        return;
    }
    painter.fillRect(rect(), pattern.Brush(PaintDevicePixelRatio(painter)));
    // An etched frame one pixel outside the medium, in the pattern's own colours.
    if (mMediaView && mMediaView->isVisible()) {
        const ThemeColours& colours = GetMediaBackgroundColours();
        const QRect frame = mMediaView->geometry().adjusted(-1, -1, 0, 0);
        painter.setPen(colours[kThemeLabelColour]);
        painter.drawRect(frame.translated(1, 1));
        painter.setPen(colours[kThemeLineColour]);
        painter.drawRect(frame);
    }
}

void CMediaWindow::resizeEvent(QResizeEvent* event)
{
    CCMWindow::resizeEvent(event);
    // New bounds lay the medium out again; the zoom may have changed with them.
    if (mRelayingOut || !mMediaView || !mMediaView->GetMedia())
        return;
    mRelayingOut = true;
    CatchCode([&] {
        mMediaView->Relayout();
        UpdateTitle();
    });
    mRelayingOut = false;
}

void CMediaWindow::Activate()
{
    CCMWindow::Activate();
    if (mNavigatorHiddenByDeactivate && mNavigator) {
        mNavigator->Show();
        mNavigatorHiddenByDeactivate = false;
    }
}

void CMediaWindow::Deactivate()
{
    CCMWindow::Deactivate();
    // A floater coming forward leaves the navigator where it is.
    LWindow* active = LWindow::GetActiveWindow();
    if (active && active->HasAttribute(windAttr_Floating))
        return;
    if (mNavigator && mNavigator->IsVisible() && IsVisible() && active) {
        mNavigator->Hide();
        mNavigatorHiddenByDeactivate = true;
    }
}

void CMediaWindow::DoClose()
{
    StopSlideShow();
    RemoveFromList(this);
    // Its palettes go with it now, not when the window is deleted after the event at hand.
    for (LWindow* palette : { static_cast<LWindow*>(mNavigator), static_cast<LWindow*>(mCaptionFloater) })
        if (palette && palette->IsVisible())
            palette->Hide();
    CCMWindow::DoClose();
}

void CMediaWindow::Select()
{
    if (IsVisible())
        CCMWindow::Select();
}

// The contextual menu.

void CMediaWindow::AddOwnItems(QMenu* menu)
{
    AppendCommandItem(menu, cmd_MediaFullScreen);
    CCMWindow::AddOwnItems(menu);
    AppendRatingItem(menu);
    AppendActionsItem(menu);
    AppendMenuSeparator(menu);
    AppendCommandItem(menu, cmd_MediaInfoWindow);
    if (AppendCommandItem(menu, cmd_MediaExport)) {
        QAction* exportItem = menu->actions().last();
        exportItem->setText(CopyLocalizedString(QStringLiteral("600:94")));
    }
    if (mItem && !mItem->IsFont() && !IsSoundMediaType(mItem->GetFileTypeCode()))
        AppendCommandItem(menu, cmd_MediaDesktopPicture);
    AppendCommandItem(menu, cmd_MediaActivateFonts);
    AppendCommandItem(menu, cmd_MediaDeactivateFonts);
    AppendCommandItem(menu, cmd_MediaReveal);
    AppendCommandItem(menu, cmd_MediaDelete);
    RemoveExtraSeparators(menu);
}

UInt32 CMediaWindow::GetHelpType()
{
    return 2;
}

void CMediaWindow::GetHelpString(QString& outText)
{
    outText = CopyLocalizedString(QStringLiteral("600:13"));
}

void CMediaWindow::HelpChosen()
{
    ThrowIfOSErr_(GotoHelpPage(kHelpPage, QStringLiteral("MediaView")));
}
