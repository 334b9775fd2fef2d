#pragma once

#include <QString>

#include <vector>

// Camera-size JPEGs (24 MP) for the benchmarks, made once under the build
// folder ($ORVEX_BENCH_CACHE to put them elsewhere) and kept between runs.
// Every file carries EXIF as a camera writes it (make, model, date, an
// orientation, upright or turned).
enum class CameraSet {
    Plain,          // EXIF only
    Profiled,       // with an embedded ICC profile (Adobe RGB)
    ExifThumbnail,  // with an EXIF thumbnail: 160x107 of the same shape, or letterboxed 160x120 on every other file
};
inline constexpr int kCameraJpegCount = 96;
inline constexpr int kCameraJpegWidth = 6000;
inline constexpr int kCameraJpegHeight = 4000;

const std::vector<QString>& CameraJpegFiles(CameraSet set = CameraSet::Plain);
const char* CameraSetName(CameraSet set);
