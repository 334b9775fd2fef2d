#pragma once

#include "MacTypes.h"

// Error numbers of the old imaging platform that the graphics and QuickTime
// layers return, so callers above can tell "no reader for this" from "broken data".
inline constexpr OSStatus cantFindHandler = -2003; // no importer or exporter for this format
inline constexpr OSStatus invalidImageIndexErr = -2029; // image index out of range
inline constexpr OSStatus codecErr = -8960; // a decoder or encoder failed
inline constexpr OSStatus codecBadDataErr = -8969; // the data is malformed or truncated
inline constexpr OSStatus noCodecErr = -8961; // the codec inside a picture is not one we have
inline constexpr OSStatus qtParamErr = -2202; // a parameter outside its range

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
inline Fixed DoubleToFixed(double value)
{
    return static_cast<Fixed>(value * 65536.0 + (value < 0 ? -0.5 : 0.5));
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
