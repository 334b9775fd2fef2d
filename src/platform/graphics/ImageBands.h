#pragma once

#include <QImage>
#include <QSize>

// Image work for a worker thread, done on that thread alone. Qt's raster
// routines split the rows of a large conversion, drawing or smooth scale over
// Qt's shared thread pool; called from one of our own workers, that nests a pool
// inside a pool, and the workers end up waiting on each other rather than
// working. These give the same pixels without handing any row to another thread.

// The image converted to a 32-bit `format` (RGB32, ARGB32 or ARGB32
// premultiplied) a band of rows at a time, each band small enough that Qt
// converts it on the calling thread: the bytes of a whole conversion. Other
// formats are converted whole.
QImage ConvertedInBands(const QImage& image, QImage::Format format);

// Draws `source` unscaled at the origin of `destination` (source over), a band
// of rows at a time: the bytes of one QPainter::drawImage.
void DrawImageInBands(QImage& destination, const QImage& source);

// The image scaled to `size` on the calling thread: each pixel the average of
// the source area it covers when shrinking, interpolated between the nearest
// pixels when enlarging. An opaque RGB32 image stays RGB32; any other comes
// back ARGB32 premultiplied.
QImage ScaledSmoothlyInThisThread(const QImage& image, QSize size);
