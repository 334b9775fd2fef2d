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
    ExifThumbnail,  // with an EXIF thumbnail of the picture's shape (160x107) that may stand in for it
    Letterboxed,    // with a letterboxed EXIF thumbnail (160x120, black bars) that must be refused
};
inline constexpr int kCameraJpegCount = 96;
inline constexpr int kCameraJpegWidth = 6000;
inline constexpr int kCameraJpegHeight = 4000;

const std::vector<QString>& CameraJpegFiles(CameraSet set = CameraSet::Plain);
const char* CameraSetName(CameraSet set);
