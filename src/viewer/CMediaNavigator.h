#pragma once

#include "CFloater.h"

class LPane;

// The media window's navigator (layout 921, 'MNav'): the item's name and place
// in its index, the slide show's state and, for movies and sounds, the playing
// time, position and volume. Its buttons' messages go on to the window.
class CMediaNavigator : public CFloater {
public:
    static constexpr ClassIDT class_ID = 'MNav';
    static inline const QString kRectKey = QStringLiteral("MediaNavigatorWindowRect_");
    static inline const QString kVisibleKey = QStringLiteral("MediaNavigatorVisible");
    // The previous button restarts a movie that has played longer than this.
    static constexpr SInt32 kRestartSeconds = 5;

    explicit CMediaNavigator(const LLayoutData& data);
    ~CMediaNavigator() override;

    void ListenToMessage(MessageT message, void* ioParam) override;
    bool ObeyCommand(CommandT command, void* ioParam) override;

    SInt32 GetTimeMode() const { return mTimeMode; }
    QString GetTimeText() const;
    QString GetPositionText() const;
    QString GetNameText() const;
    bool IsPlayButtonRunning() const;

protected:
    void FinishCreateSelf() override;

private:
    void SetTimeText(const QString& text);

    LPane* mTimeText = nullptr;
    LPane* mPositionText = nullptr;
    LPane* mNameText = nullptr;
    LPane* mTimeControl = nullptr;
    LPane* mPlayButton = nullptr;
    LPane* mVolumeControl = nullptr;
    SInt32 mTimeMode = 1;
    bool mRunning = false;
    bool mShowsTime = false; // a movie or sound is shown
    SInt32 mCurrentTime = 0;
};
