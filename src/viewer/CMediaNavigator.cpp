#include "CMediaNavigator.h"

#include "CMediaView.h"
#include "CMediaWindow.h"
#include "ExceptionCode.h"
#include "LBroadcaster.h"
#include "LControl.h"
#include "LocalizedStrings.h"
#include "Preferences.h"
#include "TextFormats.h"

#include <cstdlib>

namespace {
enum : PaneIDT {
    kPreviousButton = 1001,
    kTimeText = 1002,
    kVolumeControl = 1003,
    kPlayButton = 1004,
    kNextButton = 1005,
    kPositionText = 1006,
    kNameText = 'info',
    kTimeControl = 'stat',
};
const QString kNoTime = QStringLiteral("--:--:--");
const QString kPlaySymbol = QStringLiteral("\u25B6");
const QString kPauseSymbol = QStringLiteral("\u275A\u275A");

// Showing a value is not the user setting it: the control's message stays in.
void SetValueQuietly(LPane* control, SInt32 value)
{
    auto* broadcaster = dynamic_cast<LBroadcaster*>(control);
    if (broadcaster)
        broadcaster->StopBroadcasting();
    control->SetValue(value);
    if (broadcaster)
        broadcaster->StartBroadcasting();
}
} // namespace

CMediaNavigator::CMediaNavigator(const LLayoutData& data)
    : CFloater(data)
{
}

CMediaNavigator::~CMediaNavigator()
{
    QRect bounds;
    GetGlobalBounds(bounds);
    SetPrefRect(kRectKey, FromQRect(bounds));
    SetPrefBoolean(kVisibleKey, IsVisible());
}

void CMediaNavigator::FinishCreateSelf()
{
    CFloater::FinishCreateSelf();
    mTimeText = FindPaneByID(kTimeText);
    mPositionText = FindPaneByID(kPositionText);
    mNameText = FindPaneByID(kNameText);
    mTimeControl = FindPaneByID(kTimeControl);
    mPlayButton = FindPaneByID(kPlayButton);
    mVolumeControl = FindPaneByID(kVolumeControl);
    if (!mTimeText || !mPositionText)
        ThrowOSErr_(err_NilPointer, "navigator without its time or position pane");
    const Rect stored = GetPrefRect(kRectKey);
    if (!stored.IsEmpty())
        DoSetBounds(ToQRect(stored));
    else
        MoveWindowTo(0, 10000);
    ConstrainToScreen();
    if (mVolumeControl)
        mVolumeControl->SetMaxValue(kFullVolume);
    ListenToMessage(msg_MediaStillShown, nullptr);
    if (GetPrefBoolean(kVisibleKey))
        Show();
}

QString CMediaNavigator::GetTimeText() const
{
    return mTimeText ? mTimeText->GetCFDescriptor() : QString();
}

QString CMediaNavigator::GetPositionText() const
{
    return mPositionText ? mPositionText->GetCFDescriptor() : QString();
}

QString CMediaNavigator::GetNameText() const
{
    return mNameText ? mNameText->GetCFDescriptor() : QString();
}

bool CMediaNavigator::IsPlayButtonRunning() const
{
    return mRunning;
}

void CMediaNavigator::SetTimeText(const QString& text)
{
    if (mTimeText && mTimeText->GetCFDescriptor() != text)
        mTimeText->SetCFDescriptor(text);
}

bool CMediaNavigator::ObeyCommand(CommandT command, void* ioParam)
{
    // Closing only hides it; a window that hides itself for a sound goes with it.
    if (command == cmd_Close) {
        Hide();
        BroadcastMessage(msg_MediaNavigatorClosed, nullptr);
        return true;
    }
    return CFloater::ObeyCommand(command, ioParam);
}

void CMediaNavigator::ListenToMessage(MessageT message, void* ioParam)
{
    switch (message) {
    case msg_MediaMovieStatus: {
        const auto* status = static_cast<const MediaMovieStatus*>(ioParam);
        if (!status)
            return;
        mShowsTime = true;
        mCurrentTime = status->current;
        if (mTimeMode == 0 || status->duration < 0)
            SetTimeText(status->current == -1 ? kNoTime : FormatMovieTimeText(status->current));
        else
            SetTimeText(FormatMovieTimeText(std::max<SInt32>(0, status->duration - status->current)));
        mTimeText->Show();
        if (mTimeControl) {
            mTimeControl->Show();
            mTimeControl->SetMaxValue(std::max<SInt32>(0, status->duration));
            SetValueQuietly(mTimeControl, std::max<SInt32>(0, status->current));
        }
        if (mVolumeControl) {
            SetValueQuietly(mVolumeControl, std::abs(status->volume));
            mVolumeControl->SetVisible(status->hasSound);
        }
        return;
    }
    case msg_MediaNavigatorInfo: {
        const auto* info = static_cast<const MediaNavigatorInfo*>(ioParam);
        if (!info)
            return;
        mPositionText->SetCFDescriptor(
            info->index > 0 ? QStringLiteral("%1/%2").arg(info->index).arg(info->count) : QString());
        if (mNameText)
            mNameText->SetCFDescriptor(info->name);
        return;
    }
    case msg_MediaStillShown:
        mShowsTime = false;
        mCurrentTime = 0;
        mTimeText->SetCFDescriptor(QString());
        mTimeText->Hide();
        if (mTimeControl) {
            mTimeControl->SetValue(0);
            mTimeControl->Hide();
        }
        if (mVolumeControl)
            mVolumeControl->Hide();
        return;
    case msg_MediaSlideShowState: {
        const bool running = ioParam && *static_cast<const bool*>(ioParam);
        if (mRunning != running) {
            mRunning = running;
            if (mPlayButton) {
                mPlayButton->SetCFDescriptor(running ? kPauseSymbol : kPlaySymbol);
                // The symbol says nothing to a screen reader: the button is named by what it does.
                const QString name
                    = CopyLocalizedString(running ? QStringLiteral("600:59") : QStringLiteral("ACC_MEDIA_PLAY"));
                mPlayButton->setAccessibleName(name);
                if (auto* control = dynamic_cast<LControlPane*>(mPlayButton); control && control->GetControlWidget())
                    control->GetControlWidget()->setAccessibleName(name);
            }
        }
        return;
    }
    case msg_MediaTimeClicked:
        mTimeMode = mTimeMode == 0 ? 1 : 0;
        return;
    case cmd_MediaPrevious:
        // A movie played past the first seconds starts again; else the previous item.
        if (mShowsTime && mCurrentTime / 600 > kRestartSeconds) {
            BroadcastMessage(cmd_MediaStop, nullptr);
            BroadcastMessage(cmd_MediaPlayPause, nullptr);
        } else {
            BroadcastMessage(cmd_MediaPrevious, nullptr);
        }
        return;
    default:
        CFloater::ListenToMessage(message, ioParam);
    }
}
