#pragma once

#include "Geometry.h"
#include "PString.h"

#include <QString>

#include <memory>

class LCommander;
class QColor;
class QImage;
class QPainter;
class QMenu;
class QWidget;

// Full-screen mode, nested: 0 normal, -n entered n times. The outermost begin hides
// the desktop's panels by making the program's windows full screen; the outermost
// end restores them.
extern SInt32 gFullScreenNesting;
void BeginFullScreenMode(bool lockDown);
void EndFullScreenMode();
bool IsSystemUIHidden();

// A fade of all screens to black and back (0.7 s around full-screen switches). Does
// nothing when "MediaUseFadeEffect" is off; a failure leaves the screens as they were.
class StDisplayFade {
public:
    explicit StDisplayFade(float seconds = 0.7f, bool synchronous = true);
    ~StDisplayFade();
    StDisplayFade(const StDisplayFade&) = delete;
    StDisplayFade& operator=(const StDisplayFade&) = delete;

    bool IsFaded() const { return mFaded; }

private:
    void Fade(double from, double to, double seconds);

    float mSeconds;
    bool mSynchronous;
    bool mFaded = false;
    std::unique_ptr<QWidget> mCurtains[8];
    int mCurtainCount = 0;
};

// The index view's item list lock, held for a scope. The views implement it.
class AItemListLockable {
public:
    virtual ~AItemListLockable() = default;
    virtual void LockItemList() = 0;
    virtual void UnlockItemList() = 0;
};

class StItemListLock {
public:
    explicit StItemListLock(AItemListLockable* view);
    ~StItemListLock();
    StItemListLock(const StItemListLock&) = delete;
    StItemListLock& operator=(const StItemListLock&) = delete;

private:
    AItemListLockable* mView;
};

// Posts a command to the target commander (the current target when null); it runs
// once, from the event loop.
OSStatus PostCommandEvent(CommandT command, LCommander* target = nullptr);

bool MenuHasItemText(const QMenu* menu, const QString& text);

// Command ranges of saved settings and field columns.
bool IsSavedSettingsCommand(CommandT command);
bool IsSavedSearchCommand(CommandT command);
bool IsSavedBatchCommand(CommandT command);
SInt32 SavedSettingsIndexFromCommand(CommandT command);
bool FieldIDFromCommand(const CommandT* command, SInt32* field);

// The stored index password's scrambling: characters 1 to length - 1 shifted by 7.
void ScramblePString(Str255& text);
void UnscramblePString(Str255& text);

// 60 x seconds + 0.5, clamped to the UInt32 range.
UInt32 SecondsToTicks(double seconds);

inline void DebugHook() { }
inline bool ShouldPurgeMediaDuringUpdate() { return false; }
inline bool ShouldCheckDragSenderWindow() { return false; }

// The "poof" of an item removed from a view: when "kPRShowPoofEffect" is on and the
// view is visible, the five frames of poof.png play at the centre of the item's frame
// (in the view's coordinates). Never fails.
void ShowPoofEffect(QWidget* view, const QRect& itemFrame);
// Plays the poof centred on a global point; nothing when the image cannot be loaded.
void AnimatePoof(QPoint globalCentre);
// The poof image (five frames side by side), loaded once; null when missing.
const QImage& GetPoofImage();

// Remembers a stream's position and restores it at the end of the scope; with a
// new position other than -1 the stream is moved there meanwhile.
class LStream;
class StFilePosition {
public:
    explicit StFilePosition(LStream& stream, SInt64 newPosition = -1);
    ~StFilePosition();
    StFilePosition(const StFilePosition&) = delete;
    StFilePosition& operator=(const StFilePosition&) = delete;

private:
    LStream& mStream;
    SInt64 mSaved;
};

// The pane behind which a media group box is drawn (the interface kit's media panes).
class AMediaGroupPane {
public:
    virtual ~AMediaGroupPane() = default;
    virtual SInt16 GetBackgroundMode() const = 0; // 1: no frame at all
    virtual void GetFrameColors(QColor& light, QColor& dark) const = 0;
    virtual void DrawOwnFrame(QPainter& painter, const QRect& frame) = 0;
    virtual void DrawPatternFrame(QPainter& painter, const QRect& frame) = 0;
    virtual void DrawThemeGroup(QPainter& painter, const QRect& frame, bool primary) = 0;
};

// Chooses how the group box behind a media pane is drawn: nothing for background
// mode 1 or equal frame colours; kind -10 the pane's own frame; kind -11 with a media
// pattern ("MediaPatternID" above 1) the pattern frame; else the theme's group box.
void DrawMediaPrimaryGroup(QPainter& painter, const QRect& frame, SInt16 kind, AMediaGroupPane& pane);
void DrawMediaSecondaryGroup(QPainter& painter, const QRect& frame, SInt16 kind, AMediaGroupPane& pane);
