#pragma once

#include <QString>

#include <vector>

// 200 camera-size JPEGs (24 MP), made once in the benchmarks' cache folder
// ($ORVEX_BENCH_CACHE or the user's cache) and kept between runs.
inline constexpr int kCameraJpegCount = 200;
const std::vector<QString>& CameraJpegFiles();
