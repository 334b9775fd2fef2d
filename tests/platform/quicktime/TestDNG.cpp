#include "TestDNG.h"

#include <QFile>

#include <tiffio.h>

#include <vector>

namespace {

constexpr uint16_t kWhite = 4095;
constexpr uint16_t kPhotometricCFA = 32803;
constexpr uint16_t kIlluminantD65 = 21;

void SetCameraTags(TIFF* tiff)
{
    static const uint8_t dngVersion[4] = { 1, 4, 0, 0 };
    static const float colorMatrix[9] = { 3.2406f, -1.5372f, -0.4986f, -0.9689f, 1.8758f, 0.0415f, 0.0557f, -0.2040f, 1.0570f };
    static const float neutral[3] = { 1.0f, 1.0f, 1.0f };
    TIFFSetField(tiff, TIFFTAG_MAKE, "Orvex");
    TIFFSetField(tiff, TIFFTAG_MODEL, "Test Sensor");
    TIFFSetField(tiff, TIFFTAG_DATETIME, "2024:05:17 08:30:15");
    TIFFSetField(tiff, TIFFTAG_DNGVERSION, dngVersion);
    TIFFSetField(tiff, TIFFTAG_UNIQUECAMERAMODEL, "Orvex Test Sensor");
    TIFFSetField(tiff, TIFFTAG_COLORMATRIX1, 9, colorMatrix);
    TIFFSetField(tiff, TIFFTAG_ASSHOTNEUTRAL, 3, neutral);
    TIFFSetField(tiff, TIFFTAG_CALIBRATIONILLUMINANT1, kIlluminantD65);
}

} // namespace

QString WriteTestDNG(const QString& path, int width, int height, int previewSide)
{
    return WriteTurnedTestDNG(path, width, height, previewSide, previewSide, 0);
}

QString WriteTurnedTestDNG(const QString& path, int width, int height, int previewWidth, int previewHeight, int orientation)
{
    const int previewSide = previewWidth;
    const bool halves = orientation > 0;
    TIFF* tiff = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (!tiff)
        return QString();

    if (previewSide > 0) {
        TIFFSetField(tiff, TIFFTAG_SUBFILETYPE, FILETYPE_REDUCEDIMAGE);
        TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, previewWidth);
        TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, previewHeight);
        if (halves)
            TIFFSetField(tiff, TIFFTAG_ORIENTATION, uint16_t(orientation));
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
        SetCameraTags(tiff);
        uint64_t subIFD = 0;
        TIFFSetField(tiff, TIFFTAG_SUBIFD, 1, &subIFD);
        std::vector<uint8_t> row(static_cast<size_t>(previewWidth) * 3);
        for (int x = 0; x < previewWidth; ++x)
            row[size_t(x) * 3 + (halves && x >= previewWidth / 2 ? 2 : 1)] = 200;
        for (int y = 0; y < previewHeight; ++y)
            TIFFWriteScanline(tiff, row.data(), uint32_t(y), 0);
        TIFFWriteDirectory(tiff);
    }

    static const uint16_t cfaDims[2] = { 2, 2 };
    static const uint8_t cfaPattern[4] = { 0, 1, 1, 2 };
    static const uint32_t whiteLevel[1] = { kWhite };
    TIFFSetField(tiff, TIFFTAG_SUBFILETYPE, 0);
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, kPhotometricCFA);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, height);
    TIFFSetField(tiff, TIFFTAG_CFAREPEATPATTERNDIM, cfaDims);
    TIFFSetField(tiff, TIFFTAG_CFAPATTERN, 4, cfaPattern);
    TIFFSetField(tiff, TIFFTAG_WHITELEVEL, 1, whiteLevel);
    if (previewSide <= 0)
        SetCameraTags(tiff);
    std::vector<uint16_t> row(static_cast<size_t>(width));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool redSite = (y % 2 == 0) && (x % 2 == 0);
            row[size_t(x)] = y < height / 2 ? (redSite ? kWhite * 9 / 10 : kWhite / 50) : kWhite / 4;
        }
        TIFFWriteScanline(tiff, row.data(), uint32_t(y), 0);
    }
    TIFFClose(tiff);
    return path;
}
