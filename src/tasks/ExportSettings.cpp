#include "ExportSettings.h"

#include "Preferences.h"

namespace {

const QString kType = QStringLiteral("DefaultExportType");
const QString kQuality = QStringLiteral("DefaultExportQuality");
const QString kNaturalBounds = QStringLiteral("ExportUseNaturalBounds");
const QString kWidth = QStringLiteral("DefaultExportWidth");
const QString kHeight = QStringLiteral("DefaultExportHeigth"); // the stored key's own spelling
const QString kDefaultResolution = QStringLiteral("kPRExportUseDefaultResolution");
const QString kResolution = QStringLiteral("kPRDefaultExportResolution");
const QString kPreserveMetaData = QStringLiteral("ExportPreserveMetaData");
const QString kPreserveColorProfile = QStringLiteral("ExportPreserveColorProfile");
const QString kEmbedThumbnail = QStringLiteral("ExportEmbedThumbnail");
const QString kAddToIndex = QStringLiteral("ExportAddToIndex");

} // namespace

ExportSettings ExportSettings::Read()
{
    ExportSettings s;
    s.type = OSType(GetPrefNumber(kType));
    s.quality = GetPrefNumber(kQuality);
    s.naturalBounds = GetPrefBoolean(kNaturalBounds);
    s.width = GetPrefNumber(kWidth);
    s.height = GetPrefNumber(kHeight);
    s.defaultResolution = GetPrefBoolean(kDefaultResolution);
    s.resolution = GetPrefNumber(kResolution);
    s.preserveMetaData = GetPrefBoolean(kPreserveMetaData);
    s.preserveColorProfile = GetPrefBoolean(kPreserveColorProfile);
    s.embedThumbnail = GetPrefBoolean(kEmbedThumbnail);
    s.addToIndex = GetPrefBoolean(kAddToIndex);
    return s;
}

void ExportSettings::SaveOptions() const
{
    if (width > 0 && height > 0) {
        SetPrefNumber(kWidth, width);
        SetPrefNumber(kHeight, height);
    }
    if (resolution > 0)
        SetPrefNumber(kResolution, resolution);
    SetPrefBoolean(kNaturalBounds, naturalBounds);
    SetPrefBoolean(kDefaultResolution, defaultResolution);
    SetPrefBoolean(kPreserveMetaData, preserveMetaData);
    SetPrefBoolean(kPreserveColorProfile, preserveColorProfile);
    SetPrefBoolean(kEmbedThumbnail, embedThumbnail);
    SetPrefBoolean(kAddToIndex, addToIndex);
}

void ExportSettings::SaveType(OSType type)
{
    SetPrefNumber(kType, SInt32(type));
}

void ExportSettings::SaveQuality(SInt32 quality)
{
    SetPrefNumber(kQuality, quality);
}
