#pragma once

#include "ExceptionCode.h"
#include "MacTypes.h"

#include <QtGlobal>

#include <atomic>
#include <string>

// Error numbers of the old imaging platform that the graphics and QuickTime
// layers return, so callers above can tell "no reader for this" from "broken data".
inline constexpr OSStatus cantFindHandler = -2003; // no importer or exporter for this format
inline constexpr OSStatus invalidImageIndexErr = -2029; // image index out of range
inline constexpr OSStatus codecErr = -8960; // a decoder or encoder failed
inline constexpr OSStatus codecBadDataErr = -8969; // the data is malformed or truncated
inline constexpr OSStatus noCodecErr = -8961; // the codec inside a picture is not one we have
inline constexpr OSStatus qtParamErr = -2202; // a parameter outside its range
inline constexpr OSStatus unresolvedComponentDLLErr = -3004; // a module of the program could not be loaded

// An importer that does not implement a question answers this.
inline constexpr OSStatus badComponentSelector = static_cast<OSStatus>(0x80008002);

// Codec qualities (CodecQ), 0..1024.
using CodecQ = UInt32;
enum : CodecQ {
    codecMinQuality = 0x000,
    codecLowQuality = 0x100,
    codecNormalQuality = 0x200,
    codecHighQuality = 0x300,
    codecMaxQuality = 0x3FF,
    codecLosslessQuality = 0x400,
};

// 16.16 fixed-point numbers.
using Fixed = SInt32;
inline constexpr Fixed FixedOne = 0x00010000;
// Values outside the 16.16 range (a huge stored resolution) are clamped to its
// ends, and NaN reads as 0.
inline Fixed DoubleToFixed(double value)
{
    if (!(value == value))
        return 0;
    const double scaled = value * 65536.0 + (value < 0 ? -0.5 : 0.5);
    if (scaled >= 2147483647.0)
        return 0x7FFFFFFF;
    if (scaled <= -2147483648.0)
        return SInt32(-0x7FFFFFFF - 1);
    return static_cast<Fixed>(scaled);
}
inline double FixedToDouble(Fixed value)
{
    return value / 65536.0;
}

// Qt's JPEG quality (0..100) for a codec quality (0..1023; lossless counts as the best).
inline int CodecQualityToPercent(CodecQ quality)
{
    if (quality >= codecMaxQuality)
        return 100;
    return static_cast<int>((quality * 100 + codecMaxQuality / 2) / codecMaxQuality);
}

// The largest image any reader decodes, counted as width x height x 4 bytes and
// checked before anything is allocated, so that a small hostile file cannot ask
// for gigabytes. One limit for every reader; tests may lower it. A module has a
// copy of its own, and is handed the program's to pass as `limit`.
inline constexpr qint64 kDefaultMaxDecodedImageBytes = qint64(1) << 30;
inline std::atomic<qint64> gMaxDecodedImageBytes { kDefaultMaxDecodedImageBytes };

inline bool DecodedImageFits(qint64 width, qint64 height, qint64 limit = gMaxDecodedImageBytes.load())
{
    return width > 0 && height > 0 && width <= limit / 4 / height;
}

// Throws memFullErr when an image of this size may not be decoded.
inline void ThrowIfImageTooLarge(qint64 width, qint64 height, const char* what, qint64 limit = gMaxDecodedImageBytes.load())
{
    if (!DecodedImageFits(width, height, limit))
        ThrowOSErr_(memFullErr,
            std::string(what) + ": " + std::to_string(width) + " x " + std::to_string(height) + " is too large to decode");
}
