#pragma once

#include <QByteArray>

// The resolution an image file records in its own fields, read from its header:
// JPEG (the JFIF density, else the EXIF XResolution/YResolution with their unit),
// TIFF (the first directory's XResolution/YResolution and ResolutionUnit), PNG
// (pHYs in pixels per metre) and BMP (pixels per metre). Decoders report a
// default density of their own for files that record none; the old importers
// said 72 dpi there.
struct StoredResolution {
    enum EState {
        kOtherFormat, // a format read elsewhere
        kNone,        // the file records none, or only an aspect ratio: 72 dpi
        kStored,
    };
    EState state = kOtherFormat;
    double hDpi = 0;
    double vDpi = 0;
};

StoredResolution ReadStoredResolution(const QByteArray& data);
