#include "MediaViewOptions.h"

#include "Preferences.h"
#include "RectUtilities.h"

#include <algorithm>
#include <cmath>

namespace {
const QString kZoomKey = QStringLiteral("MediaZoom");
const QString kZoomFlagKey = QStringLiteral("MediaZoomFlag");
const QString kVolumeKey = QStringLiteral("MediaVolume");
const QString kLoopKey = QStringLiteral("MediaLoopPlayback");
const QString kBackForthKey = QStringLiteral("MediaLoopBackForth");
const QString kControllerKey = QStringLiteral("MediaControllerVisible");

SInt16 ZoomFromScale(double scale)
{
    return SInt16(std::clamp(std::lround(scale * 100.0), long(kMinZoom), long(kMaxZoom)));
}
} // namespace

MediaViewOptions MediaViewOptions::FromPreferences()
{
    MediaViewOptions options;
    options.zoom = SInt16(std::clamp(GetPrefNumber(kZoomKey), SInt32(kMinZoom), SInt32(kMaxZoom)));
    const SInt32 flag = GetPrefNumber(kZoomFlagKey);
    options.zoomFlag = (flag == kZoomFitShrink || flag == kZoomFitEnlarge || flag == kZoomFillShorterSide)
        ? SInt16(flag)
        : SInt16(kZoomFixed);
    // A volume never set (0) plays at full volume rather than silently.
    const SInt32 volume = std::clamp(GetPrefNumber(kVolumeKey), SInt32(-kFullVolume), SInt32(kFullVolume));
    options.volume = volume == 0 ? kFullVolume : SInt16(volume);
    options.loopPlayback = GetPrefBoolean(kLoopKey);
    options.loopBackAndForth = GetPrefBoolean(kBackForthKey);
    options.controllerVisible = GetPrefBoolean(kControllerKey);
    return options;
}

void MediaViewOptions::WriteToPreferences() const
{
    SetPrefNumber(kZoomKey, zoom);
    SetPrefNumber(kZoomFlagKey, zoomFlag);
    SetPrefNumber(kVolumeKey, volume);
    SetPrefBoolean(kLoopKey, loopPlayback);
    SetPrefBoolean(kBackForthKey, loopBackAndForth);
    SetPrefBoolean(kControllerKey, controllerVisible);
}

QRect CalcMediaBounds(const QRect& natural, const QRect& frame, MediaViewOptions& options, SInt16 maxZoom,
    bool printing)
{
    const QRect source(0, 0, natural.width(), natural.height());
    const QRect available(0, 0, std::max(frame.width(), 1), std::max(frame.height(), 1));
    if (source.isEmpty())
        return source;
    double scale = 1.0;
    switch (options.zoomFlag) {
    case kZoomFitShrink:
    case kZoomFitEnlarge: {
        QRect fitted;
        scale = FitRectInRect(source, available, fitted, options.zoomFlag == kZoomFitEnlarge, false);
        options.zoom = ZoomFromScale(scale);
        if (options.zoomFlag == kZoomFitEnlarge && !printing && maxZoom > 0 && scale * 100.0 > maxZoom) {
            scale = maxZoom / 100.0;
            options.zoom = maxZoom;
            break;
        }
        // The fitted size itself, so rounding never pushes an edge past the frame.
        return QRect(0, 0, std::max(fitted.width(), 1), std::max(fitted.height(), 1));
    }
    case kZoomFillShorterSide:
        // A portrait medium fills the frame's width, any other its height.
        if (source.width() < source.height()) {
            scale = double(available.width()) / source.width();
            options.zoom = ZoomFromScale(scale);
            return QRect(0, 0, available.width(), std::max(1, int(std::lround(source.height() * scale))));
        }
        scale = double(available.height()) / source.height();
        options.zoom = ZoomFromScale(scale);
        return QRect(0, 0, std::max(1, int(std::lround(source.width() * scale))), available.height());
    default:
        scale = std::clamp<SInt32>(options.zoom, kMinZoom, kMaxZoom) / 100.0;
        break;
    }
    const qint64 width = std::max<qint64>(1, std::llround(source.width() * scale));
    const qint64 height = std::max<qint64>(1, std::llround(source.height() * scale));
    return QRect(0, 0, ClampToSInt32(width), ClampToSInt32(height));
}
