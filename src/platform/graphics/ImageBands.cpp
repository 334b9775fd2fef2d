#include "ImageBands.h"

#include <QColorSpace>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// Qt hands a conversion to its pool from two blocks of 64 KB of source up, and
// a fill or blend from about 96 rows up: bands stay under both.
constexpr qsizetype kConvertBandBytes = 64 * 1024;
constexpr int kDrawBandRows = 32;

bool IsDirect32(QImage::Format format)
{
    return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32
        || format == QImage::Format_ARGB32_Premultiplied;
}

// Rows y .. y + rows - 1 of an image, as an image sharing its bytes.
QImage ConstBand(const QImage& image, int y, int rows)
{
    QImage band(image.constScanLine(y), image.width(), rows, image.bytesPerLine(), image.format());
    if (image.colorCount() > 0)
        band.setColorTable(image.colorTable());
    return band;
}

// Which source pixels make one output pixel along one axis, and their weights
// in 1/kOne: weights of a pixel sum to kOne exactly, so a flat area stays flat.
constexpr int kWeightBits = 14;
constexpr int kOne = 1 << kWeightBits;

struct Taps {
    std::vector<int> first;  // per output pixel: its first source pixel
    std::vector<int> count;  // per output pixel: how many source pixels
    std::vector<int> offset; // per output pixel: where its weights start
    std::vector<int> weights;
};

Taps MakeTaps(int from, int to)
{
    Taps taps;
    taps.first.reserve(size_t(to));
    taps.count.reserve(size_t(to));
    taps.offset.reserve(size_t(to));
    const double scale = double(from) / to;
    for (int o = 0; o < to; ++o) {
        const int at = int(taps.weights.size());
        int first = 0;
        if (scale >= 1.0) {
            // Shrinking: the source area under the output pixel, each pixel by how much of it is covered.
            const double start = o * scale;
            const double end = std::min(double(from), (o + 1) * scale);
            first = std::min(from - 1, int(std::floor(start)));
            const int last = std::clamp(int(std::ceil(end)) - 1, first, from - 1);
            for (int i = first; i <= last; ++i) {
                const double covered = std::min(end, i + 1.0) - std::max(start, double(i));
                taps.weights.push_back(int(std::lround(std::max(0.0, covered) / scale * kOne)));
            }
        } else {
            // Enlarging: between the two source pixels whose centres are nearest.
            const double centre = std::clamp((o + 0.5) * scale - 0.5, 0.0, double(from - 1));
            first = std::min(from - 1, int(centre));
            const int far = int(std::lround((centre - first) * kOne));
            taps.weights.push_back(kOne - far);
            if (first + 1 < from)
                taps.weights.push_back(far);
        }
        // What rounding left over goes to the heaviest weight.
        auto begin = taps.weights.begin() + at;
        int sum = 0;
        for (auto w = begin; w != taps.weights.end(); ++w)
            sum += *w;
        *std::max_element(begin, taps.weights.end()) += kOne - sum;
        taps.first.push_back(first);
        taps.count.push_back(int(taps.weights.size()) - at);
        taps.offset.push_back(at);
    }
    return taps;
}

} // namespace

QImage ConvertedInBands(const QImage& image, QImage::Format format)
{
    if (image.isNull() || image.format() == format)
        return image;
    if (!IsDirect32(format))
        return image.convertToFormat(format);
    QImage out(image.size(), format);
    if (out.isNull())
        return out;
    const int bandRows = int(std::max<qsizetype>(1, kConvertBandBytes / std::max<qsizetype>(1, image.bytesPerLine())));
    const size_t rowBytes = size_t(image.width()) * 4;
    for (int y = 0; y < image.height(); y += bandRows) {
        const int rows = std::min(bandRows, image.height() - y);
        const QImage converted = ConstBand(image, y, rows).convertToFormat(format);
        for (int r = 0; r < rows; ++r)
            std::memcpy(out.scanLine(y + r), converted.constScanLine(r), rowBytes);
    }
    out.setColorSpace(image.colorSpace());
    out.setDotsPerMeterX(image.dotsPerMeterX());
    out.setDotsPerMeterY(image.dotsPerMeterY());
    out.setDevicePixelRatio(image.devicePixelRatio());
    return out;
}

void DrawImageInBands(QImage& destination, const QImage& source)
{
    if (destination.isNull() || source.isNull())
        return;
    if (destination.devicePixelRatio() != 1.0 || source.devicePixelRatio() != 1.0) {
        // Bands of rows would not line up across a change of pixel ratio.
        QPainter painter(&destination);
        painter.drawImage(0, 0, source);
        return;
    }
    const int height = std::min(destination.height(), source.height());
    const qsizetype rowBytes = destination.bytesPerLine();
    uchar* bits = destination.bits();
    for (int y = 0; y < height; y += kDrawBandRows) {
        const int rows = std::min(kDrawBandRows, height - y);
        QImage band(bits + y * rowBytes, destination.width(), rows, rowBytes, destination.format());
        QPainter painter(&band);
        painter.drawImage(0, 0, ConstBand(source, y, rows));
    }
}

QImage ScaledSmoothlyInThisThread(const QImage& image, QSize size)
{
    if (image.isNull() || size.isEmpty())
        return QImage();
    if (image.size() == size)
        return image;
    const QImage::Format format = image.format() == QImage::Format_RGB32 || !image.hasAlphaChannel()
        ? QImage::Format_RGB32
        : QImage::Format_ARGB32_Premultiplied;
    const QImage source = ConvertedInBands(image, format);
    QImage out(size, format);
    if (source.isNull() || out.isNull())
        return QImage();

    const int sw = source.width(), sh = source.height(), dw = size.width(), dh = size.height();
    const Taps across = MakeTaps(sw, dw);
    const Taps down = MakeTaps(sh, dh);

    // Across first, every source row into 8.8 fixed point per channel, then down.
    std::vector<std::uint16_t> rows(size_t(sh) * size_t(dw) * 4);
    for (int y = 0; y < sh; ++y) {
        const uchar* in = source.constScanLine(y);
        std::uint16_t* row = rows.data() + size_t(y) * size_t(dw) * 4;
        for (int x = 0; x < dw; ++x) {
            const uchar* p = in + size_t(across.first[x]) * 4;
            const int* w = across.weights.data() + across.offset[x];
            std::uint32_t c0 = 0, c1 = 0, c2 = 0, c3 = 0;
            for (int k = 0; k < across.count[x]; ++k, p += 4) {
                c0 += std::uint32_t(w[k]) * p[0];
                c1 += std::uint32_t(w[k]) * p[1];
                c2 += std::uint32_t(w[k]) * p[2];
                c3 += std::uint32_t(w[k]) * p[3];
            }
            constexpr int shift = kWeightBits - 8;
            constexpr std::uint32_t half = 1u << (shift - 1);
            row[4 * x] = std::uint16_t((c0 + half) >> shift);
            row[4 * x + 1] = std::uint16_t((c1 + half) >> shift);
            row[4 * x + 2] = std::uint16_t((c2 + half) >> shift);
            row[4 * x + 3] = std::uint16_t((c3 + half) >> shift);
        }
    }
    std::vector<std::uint32_t> sums(size_t(dw) * 4);
    for (int y = 0; y < dh; ++y) {
        std::fill(sums.begin(), sums.end(), 0u);
        const int* w = down.weights.data() + down.offset[y];
        for (int k = 0; k < down.count[y]; ++k) {
            const std::uint16_t* row = rows.data() + size_t(down.first[y] + k) * size_t(dw) * 4;
            const std::uint32_t weight = std::uint32_t(w[k]);
            for (size_t i = 0; i < sums.size(); ++i)
                sums[i] += weight * row[i];
        }
        uchar* line = out.scanLine(y);
        constexpr int shift = kWeightBits + 8;
        constexpr std::uint32_t half = 1u << (shift - 1);
        for (size_t i = 0; i < sums.size(); ++i)
            line[i] = uchar((sums[i] + half) >> shift);
    }
    out.setColorSpace(image.colorSpace());
    out.setDotsPerMeterX(image.dotsPerMeterX());
    out.setDotsPerMeterY(image.dotsPerMeterY());
    return out;
}
