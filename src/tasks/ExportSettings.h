#pragma once

#include "MacTypes.h"

// The ten export preferences, read once for an export and written by the options
// dialog. Each key is spelled only in ExportSettings.cpp.
struct ExportSettings {
    OSType type = 'TIFF';         // "DefaultExportType"
    SInt32 quality = 0;           // "DefaultExportQuality" (a codec quality)
    bool naturalBounds = true;    // "ExportUseNaturalBounds"
    SInt32 width = 0;             // "DefaultExportWidth"
    SInt32 height = 0;            // "DefaultExportHeigth"
    bool defaultResolution = true; // "kPRExportUseDefaultResolution"
    SInt32 resolution = 0;        // "kPRDefaultExportResolution", dots per inch
    bool preserveMetaData = true; // "ExportPreserveMetaData"
    bool preserveColorProfile = false; // "ExportPreserveColorProfile"
    bool embedThumbnail = false;  // "ExportEmbedThumbnail"
    bool addToIndex = false;      // "ExportAddToIndex"

    static ExportSettings Read();
    // What the options dialog saves: the box only when both sides are above 0, the
    // resolution only when above 0, and the six switches.
    void SaveOptions() const;
    static void SaveType(OSType type);
    static void SaveQuality(SInt32 quality);

    // The box the image is fitted into, when one applies.
    bool FitsIntoBox() const { return !naturalBounds && width > 0 && height > 0; }
    bool SetsResolution() const { return !defaultResolution && resolution > 0; }
};
