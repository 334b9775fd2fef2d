#pragma once

#include "MacTypes.h"
#include "PString.h"

#include <QString>
#include <vector>

// Field keys name an item's fields wherever they are shown, sorted, searched or
// changed: they are the commands of the field menu, the list view's column IDs,
// the categories of search criteria and the keys of the organizer's value index.
enum : SInt32 {
    kFieldName = 4001,
    kFieldDateAdded = 4002,
    kFieldTotalSize = 4003,
    kFieldKind = 4004,
    kFieldHasAlias = 4005,
    kFieldRemoteURL = 4006,
    kFieldHasThumbnail = 4007,
    kFieldHasCaption = 4008,
    kFieldError = 4009,
    kFieldVolume = 4010,
    kFieldFolder = 4011,
    kFieldCreator = 4014,
    kFieldCreationDate = 4015,
    kFieldModificationDate = 4016,
    kFieldLocation = 4017,
    kFieldUnsavedChanges = 4020,
    kFieldFileState = 4021,
    kFieldMediaValidates = 4022,
    kFieldTurnState = 4023,
    kFieldHasEXIF = 4024,
    kFieldOpenInViewer = 4025,
    kFieldPositionInView = 4026,

    kFieldEXIFVersion = 4201,
    kFieldFlashpixVersion = 4202,
    kFieldDateTimeOriginal = 4203,
    kFieldExposureTime = 4204,
    kFieldFNumber = 4205,
    kFieldExposureBias = 4206,
    kFieldExposureProgram = 4207,
    kFieldFocalLength = 4208,
    kFieldSubjectDistance = 4209,
    kFieldSensingMethod = 4210,
    kFieldLightSource = 4211,
    kFieldFlash = 4212,
    kFieldMeteringMode = 4213,
    kFieldISOSpeed = 4214,
    kFieldCompressedBitsPerPixel = 4215,
    kFieldMake = 4216,
    kFieldModel = 4217,
    kFieldSoftware = 4218,
    kFieldFormat = 4219,
    kFieldRelatedSoundFile = 4220,
    kFieldUserComment = 4221,
    kFieldDateTimeDigitized = 4222,
    kFieldExposureSummary = 4223,
    kFieldBrightness = 4224,
    kFieldExposureIndex = 4225,
    kFieldMaxAperture = 4226,
    kFieldOrientation = 4227,

    kFieldWidth = 5001,
    kFieldHeight = 5002,
    kFieldDepth = 5003,
    kFieldDimensions = 5004,
    kFieldResolution = 5005,
    kFieldFrameCount = 5007,
    kFieldCodecName = 5008,
    kFieldRecordForm = 5009,
    kFieldDataSize = 5010,
    kFieldSpatialQuality = 5011,
    kFieldTemporalQuality = 5012,

    kFieldCaption = 6001,
    kFieldCaptionWriter = 6002,
    kFieldHeadline = 6003,
    kFieldSpecialInstructions = 6004,
    kFieldCopyrightNotice = 6005,
    kFieldByline = 6006,
    kFieldBylineTitle = 6007,
    kFieldCredit = 6008,
    kFieldSource = 6009,
    kFieldCity = 6010,
    kFieldProvinceState = 6011,
    kFieldCountryName = 6012,
    kFieldDateCreated = 6013,
    kFieldObjectName = 6014,
    kFieldTransmissionReference = 6015,
    kFieldKeywords = 6016,
    kFieldSupplementalCategories = 6017,
    kFieldCategory = 6018,
    kFieldUrgency = 6019,
    kFieldUrgencyLabel = 6020,
};

// The ranges of keys, bounds included; the keys with meaning are listed above.
inline bool IsItemFieldKey(SInt32 key)
{
    return key >= 4001 && key <= 4199;
}
inline bool IsEXIFFieldKey(SInt32 key)
{
    return key >= 4201 && key <= 4399;
}
inline bool IsImageFieldKey(SInt32 key)
{
    return key >= 5001 && key <= 5999;
}
inline bool IsCaptionFieldKey(SInt32 key)
{
    return key >= 6001 && key <= 6999;
}
inline bool IsFieldKey(SInt32 key)
{
    return IsItemFieldKey(key) || IsEXIFFieldKey(key) || IsImageFieldKey(key) || IsCaptionFieldKey(key);
}

// How a field without a value reads.
enum EFieldTextMode : SInt16 {
    kFieldTextEmpty = 0,       // the empty text
    kFieldTextPlaceholder = 1, // "-"
    kFieldTextFullName = 2,    // the empty text, and the name always with its extension
};

// The text of a field without a value in placeholder mode.
inline const QString kFieldPlaceholder = QStringLiteral("-");

// Results of setting a field from a text.
inline constexpr OSStatus kFieldReadOnlyErr = -4979;
// A key that is no command of the field menu.
inline constexpr OSStatus kMenuItemNotFoundErr = -5620;

// Every key of the four tables that has meaning, in key order.
const std::vector<SInt32>& AllFieldKeys();

// Whether the list view lets the user edit the key's cell (the read-only fields
// whose text the user would expect to type over are offered, and refused then).
bool IsFieldEditable(SInt32 key);

// The display name of a key from the field menu, every word capitalised. Throws
// kMenuItemNotFoundErr when the key is no command of the menu, 'nilP' when the menu cannot
// be loaded.
QString CopyFieldName(SInt32 key);
// A preference holding a list of field keys; throws when an entry is no number.
std::vector<SInt32> ReadFieldKeyList(const QString& prefKey);

// The key of the field menu's item (1-based); an item without a command gives the
// menu's synthetic (negative) command for it.
SInt32 GetFieldKeyAt(SInt16 item);

// The localized kind name of a file type (text 603:n), the default entry for a
// type without one of its own.
void GetKindNameForFileType(OSType fileType, Str255& out);
QString CopyKindNameForFileType(OSType fileType);
