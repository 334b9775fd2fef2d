#pragma once

#include <QString>

// Writes a DNG of `width` x `height` (even numbers) with an RGGB sensor pattern: the top half
// a saturated red scene, the bottom half a mid grey. Its colour matrix maps XYZ to linear
// sRGB, so decoded pixels can be checked against plain expectations. With `previewSide` > 0
// the first directory holds a green RGB preview of that side and the raw data moves to a
// sub-directory, as cameras write them. The capture time is 2024:05:17 08:30:15.
QString WriteTestDNG(const QString& path, int width, int height, int previewSide = 0);

// The same with a preview of `previewWidth` x `previewHeight` whose left half is green and
// right half blue, and the TIFF orientation `orientation` (1 upright, 3 half turn, 6 a
// quarter clockwise, 8 a quarter counter-clockwise).
QString WriteTurnedTestDNG(const QString& path, int width, int height, int previewWidth, int previewHeight, int orientation);
