#pragma once

#include "MacTypes.h"

#include <QRect>

// Zoom modes of the options block: a fixed percentage, or how the medium is fitted.
enum : SInt16 {
    kZoomFixed = -99,
    kZoomFitShrink = -1, // fit, never enlarging
    kZoomFitEnlarge = -2, // fit, enlarging up to the medium's maximum zoom
    kZoomFillShorterSide = -3,
};
inline constexpr SInt16 kMinZoom = 1;
inline constexpr SInt16 kMaxZoom = 2000;
// QuickTime's full volume; the stored volume is negative while muted.
inline constexpr SInt16 kFullVolume = 256;

// The viewing options a media window hands every media view it shows, so zoom,
// volume and looping carry from item to item; read from the preferences when
// the window is made and written back when it goes.
struct MediaViewOptions {
    SInt16 zoom = 100;
    SInt16 zoomFlag = kZoomFitEnlarge;
    SInt16 volume = kFullVolume;
    bool loopPlayback = false;
    bool loopBackAndForth = false;
    bool controllerVisible = false;

    static MediaViewOptions FromPreferences();
    void WriteToPreferences() const;
};

// Lays a medium's natural bounds out in the available frame by the zoom model
// and answers the laid-out bounds at (0, 0). The fitting modes store the zoom
// they reached (as a percentage, at least 1) in the options. `maxZoom` is the
// medium's limit in percent (-1: none); printing ignores it.
QRect CalcMediaBounds(const QRect& natural, const QRect& frame, MediaViewOptions& options, SInt16 maxZoom,
    bool printing);
