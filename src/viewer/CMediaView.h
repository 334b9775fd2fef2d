#pragma once

#include "LBroadcaster.h"
#include "LCommander.h"
#include "LPeriodical.h"
#include "LView.h"
#include "MediaViewOptions.h"

#include <QImage>

#include <memory>

class CMedia;
class QPagedPaintDevice;

// Commands of the media views.
enum : CommandT {
    cmd_MediaZoom50 = 1002,
    cmd_MediaZoom100 = 1003,
    cmd_MediaZoom200 = 1004,
    cmd_MediaZoomDialog = 1029,
    cmd_MediaPlayPause = 1046,
    cmd_MediaStop = 1047,
    cmd_MediaLoop = 1049,
    cmd_MediaLoopSelection = 1050,
    cmd_MediaController = 1051,
    cmd_MediaBackAndForth = 1052,
    cmd_MediaMute = 1053,
    cmd_MediaZoomIn = 1069,
    cmd_MediaZoomOut = 1070,
    cmd_MediaFitShrink = 1072,
    cmd_MediaFitEnlarge = 1073,
    cmd_MediaNext = 1077,
    cmd_MediaFastForward = 1078,
    cmd_MediaPrevious = 1079,
    cmd_MediaFastBackward = 1080,
    cmd_MediaFillShorterSide = 1081,
};

// Messages between the media views, their window and the navigator.
inline constexpr MessageT msg_MediaVolumeChanged = 3010; // SInt16*
inline constexpr MessageT msg_MediaZoomChanged = 3022; // null
inline constexpr MessageT msg_MediaItemChanged = 3023; // the item
inline constexpr MessageT msg_MediaMovieStatus = 3024; // MediaMovieStatus*
inline constexpr MessageT msg_MediaNavigatorInfo = 3025; // MediaNavigatorInfo*
inline constexpr MessageT msg_MediaNavigatorClosed = 3026; // null
inline constexpr MessageT msg_MediaSlideShowState = 3027; // bool*
inline constexpr MessageT msg_MediaStillShown = 3028; // null
inline constexpr MessageT msg_MediaTimeClicked = 3015; // null

// What a movie view tells its window (and the window its navigator) a few times
// a second. Times are in 1/600 s; -1 when unknown.
struct MediaMovieStatus {
    SInt32 current = -1;
    SInt32 duration = -1;
    SInt16 volume = 0;
    bool playing = false;
    bool hasSound = false;
};

// The pane of a media window that shows one medium: it lays the medium out at
// the zoom of the window's options, centres it, scrolls it by dragging and by
// Option-arrows, draws it through a cache rendered at the screen's pixel density,
// copies and prints it. The view owns its medium. The subclasses show stills
// ('ImVi') and movies and sounds ('MeVi'); their pane IDs are the media kinds.
class CMediaView : public LView, public LCommander, public LBroadcaster, public LPeriodical {
public:
    explicit CMediaView(const LLayoutData& data);
    explicit CMediaView(const SPaneInfo& info);
    ~CMediaView() override;

    // True when the laid-out medium is larger than the frame.
    virtual bool CanScroll() const;
    // Shows a new medium (null releases the one shown) with the window's options
    // (null keeps those it has). Throws the medium's code when it cannot be measured.
    virtual void SetMedia(std::unique_ptr<CMedia> media, MediaViewOptions* options);
    // Lays the same medium out again (the frame or the zoom changed).
    virtual void Relayout();
    CMedia* GetMedia() const { return mMedia.get(); }
    // Hands the medium over and forgets it.
    virtual std::unique_ptr<CMedia> DetachMedia();
    MediaViewOptions* GetOptions() const { return mOptions; }

    SInt16 GetZoom() const;
    // A percentage (clamped to 1..2000, fixed mode) or a fitting mode (-1, -2, -3).
    virtual void SetZoom(SInt16 value);
    // The laid-out bounds of the medium in image coordinates.
    const QRect& GetMediaBounds() const { return mBounds; }

    virtual bool IsPlaying() const { return false; }
    virtual bool IsReadyForNextSlide() const { return true; }
    virtual SInt16 GetVolume() const { return 0; }
    virtual void SetVolume(SInt16) {}
    virtual SInt32 GetControllerHeight() const { return 0; }

    // Printing: through the dialog unless told otherwise; PrintTo prints on a
    // printer already set up and answers the pages printed.
    virtual void Print(bool withoutDialog);
    SInt32 PrintTo(QPagedPaintDevice& printer);
    bool IsPrinting() const { return mPrinting; }
    // The shown picture on the clipboard.
    virtual void Copy();
    // The medium drawn at a size; a null image when it cannot be drawn (the code
    // in outStatus).
    QImage RenderMedium(QSize size, OSStatus* outStatus = nullptr) const;
    // The pixels the cache holds (null until first drawn after a layout).
    const QImage& GetCache() const { return mCache; }

    bool ObeyCommand(CommandT command, void* ioParam) override;
    void FindCommandStatus(CommandT command, Boolean& outEnabled, Boolean& outUsesMark, UInt16& outMark,
        Str255& outName) override;
    bool HandleKeyPress(const EventRecord& event) override;
    void SpendTime(const EventRecord& event) override;
    void DrawSelf(QPainter& painter) override;
    void ClickSelf(const SMouseDownEvent& event) override;
    void AdjustMouseSelf(QPoint portPoint, const EventRecord& event) override;

    // Scrolls by one arrow key's step (32 pixels); true when anything moved.
    bool KeyScroll(UInt8 arrowChar);
    // Scrolls the image for a mouse movement of (dh, dv): four times as far, the
    // other way, pinned to the image's edges; true when anything moved.
    bool DragScrollBy(SInt32 dh, SInt32 dv);

protected:
    virtual void PrepareForMedia(bool changed);
    virtual void StatusUpdate();
    virtual void IdleUpdate(const EventRecord& event);
    virtual void DrawMedium(QPainter& painter, const QRect& localBounds);
    void DrawMediaError(QPainter& painter, OSStatus code);
    void ScreenChanged() override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

    std::unique_ptr<CMedia> mMedia;
    MediaViewOptions* mOptions = nullptr;
    QRect mBounds;
    QImage mCache;
    bool mPrinting = false;
    UInt32 mLastIdleTime = 0;
    OSStatus mDrawError = noErr;

private:
    void InitMediaView();
    void Layout();
    void EnsureCache(qreal pixelRatio);

    SMouseDownEvent mDragStart {};
    QPoint mLastDragPoint;
    bool mDragging = false;
    bool mDragScrolled = false;
};
