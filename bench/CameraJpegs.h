#pragma once

#include <QSize>
#include <QString>

#include <vector>

// Camera-size JPEGs for the benchmarks, made once under the build
// folder ($ORVEX_BENCH_CACHE to put them elsewhere) and kept between runs.
// Every file carries EXIF as a camera writes it (make, model, date, an
// orientation, upright or turned).
enum class CameraSet {
    Plain,          // EXIF only
    Profiled,       // with an embedded ICC profile (Adobe RGB)
    ExifThumbnail,  // 4:3 frames with the cameras' 160x120 EXIF thumbnail, of the picture's shape: it may stand in
    Letterboxed,    // 3:2 frames with the same 160x120 thumbnail, black bars above and below: it must be refused
};
inline constexpr int kCameraJpegCount = 96;

// 24 MP 3:2 frames (6000x4000), but 16 MP 4:3 ones (4608x3456) for the set whose
// thumbnails fit, as compact and four-thirds cameras make them.
QSize CameraSetSize(CameraSet set);

const std::vector<QString>& CameraJpegFiles(CameraSet set = CameraSet::Plain);
const char* CameraSetName(CameraSet set);
