// The slide show: the window steps through its index view by itself.
#include "CMediaWindow.h"

#include "CMediaNavigator.h"
#include "CMediaView.h"
#include "ErrorCodes.h"
#include "ErrorReport.h"
#include "ExceptionCode.h"
#include "Preferences.h"
#include "ResourceUtilities.h"

#include <algorithm>

namespace {
enum : SInt32 { kOrderForward = 1, kOrderBackward = 2, kOrderRandomNoRepeat = 3, kOrderRandom = 4 };
} // namespace

void CMediaWindow::StartSlideShow(double interval)
{
    if (IsSlideShowRunning() || CountItems() < 2)
        return;
    mHistory.push_back(mItemIndex);
    mLastStepTick = TickCount();
    StartRepeating(interval);
    bool running = true;
    if (mNavigator)
        mNavigator->ListenToMessage(msg_MediaSlideShowState, &running);
}

void CMediaWindow::StopSlideShow()
{
    if (!IsSlideShowRunning())
        return;
    StopRepeating();
    bool running = false;
    if (mNavigator)
        mNavigator->ListenToMessage(msg_MediaSlideShowState, &running);
    const SInt32 pending = mPendingError;
    mPendingError = 0;
    ReportMediaError(pending);
}

void CMediaWindow::SpendTime(const EventRecord&)
{
    // A step that fails (the index gone from the view, say) ends the show with
    // its report instead of failing again at every firing.
    try {
        SlideShowStep();
    } catch (const ExceptionCode& e) {
        StopSlideShow();
        UpdateTitle();
        if (!IsUserCancelCode(e.Code()))
            ReportError(e, kNoteAlert);
    }
}

void CMediaWindow::SlideShowStep()
{
    const double delay = std::max<SInt32>(0, GetPrefNumber(QStringLiteral("SlideShowDelay")));
    if (double(UInt32(TickCount() - mLastStepTick)) <= delay * 60.0)
        return;
    if (mMediaView && !mMediaView->IsReadyForNextSlide())
        return;
    mLastStepTick = TickCount();
    const SInt32 count = CountItems();
    if (count < 2)
        return;
    if (SInt32(mHistory.size()) >= count) {
        mHistory.clear();
        if (!GetPrefBoolean(QStringLiteral("LoopSlideShow"))) {
            ProcessCommand(cmd_Close);
            return;
        }
    }
    switch (GetPrefNumber(QStringLiteral("SlideShowOrder"))) {
    case kOrderRandomNoRepeat: {
        // Drawn from the indexes still to show, so the draw always ends.
        std::vector<SInt32> left;
        left.reserve(size_t(count));
        for (SInt32 index = 1; index <= count; ++index) {
            if (index != mItemIndex && std::find(mHistory.begin(), mHistory.end(), index) == mHistory.end())
                left.push_back(index);
        }
        if (left.empty()) {
            // The list shrank under the round: it is complete.
            mHistory.clear();
            for (SInt32 index = 1; index <= count; ++index) {
                if (index != mItemIndex)
                    left.push_back(index);
            }
        }
        mItemIndex = left[size_t(RandomInRange(0, SInt32(left.size()) - 1))];
        break;
    }
    case kOrderRandom:
        mItemIndex = RandomInRange(1, count);
        break;
    case kOrderBackward:
        mItemIndex = mItemIndex < 2 ? count : mItemIndex - 1;
        break;
    default:
        mItemIndex = UInt32(mItemIndex) >= UInt32(count) ? 1 : mItemIndex + 1;
        break;
    }
    ShowItemAt(mItemIndex);
    mHistory.push_back(mItemIndex);
}
