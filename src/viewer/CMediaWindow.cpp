#include "CMediaWindow.h"

#include "PrefKeys.h"

#include "Alerts.h"
#include "CIndexItem.h"
#include "CIndexView.h"
#include "CMedia.h"
#include "CMediaCaptionFloater.h"
#include "CMediaNavigator.h"
#include "CMediaView.h"
#include "DesktopServices.h"
#include "DisplayUtilities.h"
#include "MediaBackground.h"
#include "ErrorCodes.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "FileRoutines.h"
#include "HelpBook.h"
#include "IndexContextMenus.h"
#include "LocalizedStrings.h"
#include "MediaFactory.h"
#include "MediaViewerServices.h"
#include "Preferences.h"
#include "Sounds.h"
#include "StoredSettings.h"
#include "CExportFilesTask.h"
#include "ThemeColors.h"
#include "UReportErrors.h"
#include "WindowUtilities.h"

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

// Scrolls the index view so the cell of the index shows.
void RevealIndex(CIndexView& view, SInt32 index)
{
    QRect cell;
    if (!view.GetCellRect(index, cell))
        return;
    const QRect frame = view.rect();
    SInt32 dv = 0;
    if (cell.top() < frame.top())
        dv = cell.top() - frame.top();
    else if (cell.bottom() > frame.bottom())
        dv = std::min(cell.bottom() - frame.bottom(), cell.top() - frame.top());
    if (dv != 0)
        view.ScrollPinnedImageBy(0, dv, true);
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
        if (mIndexView && mItemIndex != -1)
            RevealIndex(*mIndexView, mItemIndex);
        else if (!mIndexView)
            delete mItem;
    }
    mItem = nullptr;
    delete mNavigator;
    mNavigator = nullptr;
    delete mCaptionFloater;
    mCaptionFloater = nullptr;
    RunReportingErrors([&] { mOptions.WriteToPreferences(); });
    if (mIndexView)
        mIndexView->Refresh();
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

CMediaWindow* CMediaWindow::FindOrCreate(CIndexItem* item, bool windowed, CIndexView* view)
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
    if (windowed && !(view && view->IsFullScreen())) {
        auto* window = dynamic_cast<CMediaWindow*>(LWindow::CreateWindow(kMediaWindowLayout, app));
        ThrowIfNil_(window);
        return window;
    }
    // One full-screen window per screen: the second screen when asked for, else
    // the index window's.
    QScreen* target = ChosenFullScreenScreen();
    if (!target && view)
        target = ScreenOfWidget(view);
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

CMediaWindow* OpenMediaWindowForItem(CIndexItem* item, CIndexView* view, bool windowed, std::unique_ptr<CMedia> media)
{
    CMediaWindow* window = CMediaWindow::FindOrCreate(item, windowed, view);
    if (window)
        window->SetItem(item, view, std::move(media));
    return window;
}

void OpenMediaWindowAtIndex(SInt32 index, CIndexView* view, bool windowed, std::unique_ptr<CMedia> media)
{
    if (!view)
        ThrowOSErr_(err_NilPointer, "no index view to open from");
    CIndexItem* item = nullptr;
    if (!view->GetItemAt(index, item) || !item)
        ThrowOSErr_(err_AssertFailed, "no item at index " + std::to_string(index));
    if (CMediaWindow* window = CMediaWindow::FindOrCreate(item, windowed, view))
        window->SetItemAtIndex(index, view, std::move(media));
}

// The shown item.

void CMediaWindow::SetItem(CIndexItem* item, CIndexView* view, std::unique_ptr<CMedia> media)
{
    ReleaseItem();
    mItem = item;
    mIndexView = view;
    ShowMedia(std::move(media));
}

void CMediaWindow::SetItemAtIndex(SInt32 index, CIndexView* view, std::unique_ptr<CMedia> media)
{
    ReleaseItem();
    if (!view)
        ThrowOSErr_(err_NilPointer, "no index view");
    mIndexView = view;
    mItemIndex = index;
    CIndexItem* item = nullptr;
    if (!view->GetItemAt(index, item) || !item)
        ThrowOSErr_(err_AssertFailed, "no item at index " + std::to_string(index));
    mItem = item;
    ShowMedia(std::move(media));
}

void CMediaWindow::ReleaseItem()
{
    if (mItem) {
        mItem->RemoveListener(this);
        mItem->SetOpenInViewer(0);
        if (mIndexView) {
            if (mItemIndex != -1)
                mIndexView->RefreshItem(mItemIndex);
        } else {
            delete mItem;
        }
    }
    mItem = nullptr;
    mIndexView = nullptr;
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
    return mIndexView ? mIndexView->CountItems() : 0;
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
        if (mItemIndex != -1 && mIndexView) {
            mIndexView->GetModel().SelectOnly(mItemIndex); // the grid and the list draw it
            mItem->SetOpenInViewer(1);
            RevealIndex(*mIndexView, mItemIndex);
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
        if (mItemIndex != -1 && mIndexView) {
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
        const SInt32 place = mIndexView ? mIndexView->GetIndexOfItem(mItem) : 0;
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
    if (mIndexView && mItemIndex != -1 && mItemIndex != 0 && mIndexView->isVisible())
        mIndexView->RefreshItem(mItemIndex);
}

// Stepping.

void CMediaWindow::ShowNext()
{
    if (!mIndexView)
        return;
    mItemIndex = UInt32(mItemIndex) >= UInt32(CountItems()) ? 1 : mItemIndex + 1;
    SetItemAtIndex(mItemIndex, mIndexView, nullptr);
}

void CMediaWindow::ShowPrevious()
{
    if (!mIndexView)
        return;
    mItemIndex = mItemIndex < 2 ? CountItems() : mItemIndex - 1;
    SetItemAtIndex(mItemIndex, mIndexView, nullptr);
}

void CMediaWindow::DeleteItem()
{
    if (!mItem || !mIndexView || mItemIndex < 1)
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
    QPointer<CIndexView> view = mIndexView;
    const SInt32 old = mItemIndex;
    if (old == CountItems()) {
        mItem->SetOpenInViewer(0);
        ForgetItem();
        view->RemoveItem(old, true, true, false);
        ProcessCommand(cmd_Close);
        return;
    }
    ShowNext();
    if (view && view->RemoveItem(old, true, true, true)) {
        view->Refresh();
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
    if (!(mIndexView && mIndexView->IsFullScreen())) {
        const bool wasFullScreen = IsFullScreenKind();
        Hide();
        RemoveFromList(this);
        std::unique_ptr<CMedia> media = mMediaView ? mMediaView->DetachMedia() : nullptr;
        CIndexItem* item = mItem;
        QPointer<CIndexView> view = mIndexView;
        const SInt32 index = mItemIndex;
        // The other window takes the item over (a stand-alone one included).
        ForgetItem();
        mIndexView = nullptr;
        mItemIndex = -1;
        if (view && index != -1)
            OpenMediaWindowAtIndex(index, view, wasFullScreen, std::move(media));
        else if (item)
            OpenMediaWindowForItem(item, view, wasFullScreen, std::move(media));
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
        if (mItem && mIndexView && mIndexView->RateSelectedItems(menuItem, mItem) && mMediaView)
            mMediaView->Refresh();
        return true;
    }
    if (command >= kFirstStoredSetting && command <= kLastStoredSetting) {
        // A stored search or batch from the Search menu acts on the shown item.
        if (mItem && mIndexView)
            RunStoredSetting(mIndexView->GetModel(), command, mItem, this);
        return true;
    }
    switch (command) {
    case cmd_MediaInfoWindow:
        if (mItem)
            mItem->ShowInfoWindow(this, mIndexView.data());
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
        if (mItem && mIndexView)
            StartExportFilesTask(mIndexView->GetModel(), {mItem}, IsFullScreenKind() ? nullptr : this);
        return true;
    case cmd_MediaFullScreen:
        ToggleFullScreen();
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
        outEnabled = mItem && mIndexView && CIndexView::RatingOfMenuItem(menuItem) >= 0;
        return;
    }
    if (command >= kFirstStoredSetting && command <= kLastStoredSetting) {
        outEnabled = mItem && mIndexView && !mIndexView->IsItemListLocked() && CanRunStoredSetting(mIndexView->GetModel(), command);
        return;
    }
    switch (command) {
    case cmd_MediaDelete:
        outEnabled = mItem && mIndexView && mItemIndex >= 1;
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
        outEnabled = mItem && !IsFontMediaType(mItem->GetFileTypeCode()) && !IsSoundMediaType(mItem->GetFileTypeCode())
            && CanSetDesktopPicture();
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
        outEnabled = mItem && mIndexView;
        return;
    case cmd_MediaRating: // carries the rating menu
        outEnabled = true;
        return;
    // The fonts' activation belongs to a subsystem still to come.
    case cmd_MediaActivateFonts:
    case cmd_MediaDeactivateFonts:
        outEnabled = false;
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
        if (mIndexView && CountItems() > 0)
            SetItemAtIndex(1, mIndexView, nullptr);
        break;
    case char_End:
        if (mIndexView && CountItems() > 0)
            SetItemAtIndex(CountItems(), mIndexView, nullptr);
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
        if (!mIndexView || mIndexView->GetViewState() == kViewStateRemovingAll) {
            mIndexView = nullptr;
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
        if (!mIndexView && !mItem)
            return;
        if (mItemIndex == -1)
            SetItem(mItem, mIndexView, nullptr);
        else if (mIndexView && CountItems() > 0)
            SetItemAtIndex(std::min(mItemIndex, CountItems()), mIndexView, nullptr);
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
    if (IsFullScreenKind() && mIndexView && mIndexView->IsFullScreen())
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
    if (mItem && !IsFontMediaType(mItem->GetFileTypeCode()) && !IsSoundMediaType(mItem->GetFileTypeCode()))
        AppendCommandItem(menu, cmd_MediaDesktopPicture);
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
