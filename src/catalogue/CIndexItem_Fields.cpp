// The item's fields by field key: their texts, setting them from a text, and the
// value-index reports of a change.
#include "CIndexItem.h"

#include "PrefKeys.h"

#include "BundleStrings.h"
#include "CANPAInfo.h"
#include "CEXIFInfo.h"
#include "CItemError.h"
#include "CMedia.h"
#include "ErrorReport.h"
#include "CRAWMedia.h"
#include "ExceptionCode.h"
#include "FieldDictionaryKeys.h"
#include "FieldKeys.h"
#include "FileRoutines.h"
#include "FileSystemRoutines.h"
#include "FileTypes.h"
#include "FourCharCode.h"
#include "IIMText.h"
#include "IndexViewServices.h"
#include "LMenuBar.h"
#include "LocalizedStrings.h"
#include "MacRoman.h"
#include "MediaImageInfo.h"
#include "NativePaths.h"
#include "Picture.h"
#include "Preferences.h"
#include "StWritingItem.h"
#include "TextFormats.h"
#include "UserData.h"

#include <QMimeDatabase>
#include <QMutex>
#include <atomic>
#include <cmath>
#include <cstdio>

namespace {

constexpr SInt16 kFieldTextList = 602;
constexpr SInt16 kRecordFormList = 605;
constexpr SInt16 kExposureProgramList = 613;
constexpr SInt16 kMeteringModeList = 614;
constexpr SInt16 kLightSourceList = 615;
constexpr SInt16 kSensingMethodList = 616;
constexpr SInt16 kOrientationList = 618;

// Entries of list 602.
constexpr SInt16 kTextPixels = 4;
constexpr SInt16 kTextDPI = 8;
constexpr SInt16 kTextBits = 9;
constexpr SInt16 kTextFileFound = 11;
constexpr SInt16 kTextFileMissing = 12;
constexpr SInt16 kTextMediaValid = 13;
constexpr SInt16 kTextMediaInvalid = 14;
constexpr SInt16 kTextYes = 15;
constexpr SInt16 kTextNo = 16;
constexpr SInt16 kTextFlashFired = 17;
constexpr SInt16 kTextFlashNotFired = 18;
constexpr SInt16 kTextStoredInPackage = 23;

// Entries of list 618 for the turn state.
constexpr SInt16 kOrientationRotate180 = 3;
constexpr SInt16 kOrientationRotate90CW = 6;
constexpr SInt16 kOrientationRotate90CCW = 8;

// The error field as exported: what was being done, then what the failure means,
// in words only; the code is for the list column and the error alert, beside words.
QString ErrorFieldWords(const CItemError& error)
{
    const QString meaning = error.GetErrorText().isEmpty() ? GetErrorText(error.GetCode()) : error.GetErrorText();
    QStringList parts;
    for (const QString& part : { error.GetMessage(), meaning }) {
        if (!part.isEmpty() && !parts.contains(part))
            parts << part;
    }
    return parts.join(QLatin1Char(' '));
}

constexpr SInt32 kNoUrgency = 9;
constexpr SInt32 kFirstUnnamedUrgency = 8; // 8 (the least) and 9 (none) have no label of their own
constexpr SInt32 kHighestShownUrgency = 8;

const QString kShowFileExtension = Pref::ShowFileExtension.Key();
const QString kShowDateWithTime = QStringLiteral("ShowDateWithTime");
const QString kApplyChangesToMediaFile = Pref::ApplyChangesToMediaFile.Key();

bool WritesFile(CIndexItem::FileWrite write)
{
    if (write == CIndexItem::FileWrite::ByPreference)
        return GetPrefBoolean(kApplyChangesToMediaFile);
    return write == CIndexItem::FileWrite::AlsoFile;
}

// A field's text in its Str255.
constexpr qsizetype kMaxFieldBytes = 255;

bool IsListFieldKey(SInt32 key)
{
    return key == kFieldKeywords || key == kFieldSupplementalCategories;
}

// A caption list's entries joined by ", ": as many whole entries as fit in
// `limit` bytes (all with a negative limit).
QByteArray JoinedEntries(const TArray<LStr255>& list, qsizetype limit)
{
    const QByteArray separator(", ");
    QByteArray bytes;
    for (const LStr255& entry : list) {
        const qsizetype joined = (bytes.isEmpty() ? 0 : bytes.size() + separator.size()) + entry.Bytes().size();
        if (limit >= 0 && joined > limit)
            break;
        if (!bytes.isEmpty())
            bytes += separator;
        bytes += entry.Bytes();
    }
    return bytes;
}

std::atomic<UInt64> gItemSequence {0};

void AssignText(Str255& out, const QString& text)
{
    QStringToPString(text, out); // cut at 255 bytes, as every field text is
}

void AssignLocalized(Str255& out, SInt16 list, SInt16 index)
{
    GetLocalizedString(out, list, index);
}

void AssignYesNo(Str255& out, bool yes)
{
    AssignLocalized(out, kFieldTextList, yes ? kTextYes : kTextNo);
}

void AssignFormatted(Str255& out, const char* format, double value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    out.AssignBytes(buffer, int(std::strlen(buffer)));
}

void AssignDate(Str255& out, UInt32 seconds)
{
    FormatDateTime(seconds, shortDate, GetPrefBoolean(kShowDateWithTime), out); // 0 leaves `out`
}

void AppendText(Str255& out, const QString& text)
{
    Str255 tail;
    AssignText(tail, text);
    out.Append(tail);
}

// Runs a getter that may fail; a failure counts as no value.
template <typename F>
auto Quietly(F&& getter) -> decltype(getter())
{
    decltype(getter()) result {};
    CatchCode([&] { result = getter(); });
    return result;
}

// The element `fromEnd` places from the end of a path split at "/"; empty when
// the path has fewer elements.
// Found from the end without splitting: the value index asks this of every item.
QString PathElementFromEnd(const QString& path, int fromEnd)
{
    qsizetype end = path.size();
    for (int i = 1; i < fromEnd; ++i) {
        const qsizetype slash = end > 0 ? path.lastIndexOf(QLatin1Char('/'), end - 1) : -1;
        if (slash < 0)
            return {};
        end = slash;
    }
    const qsizetype start = end > 0 ? path.lastIndexOf(QLatin1Char('/'), end - 1) + 1 : 0;
    return path.mid(start, end - start);
}

const char* QualityWord(UInt32 quality)
{
    switch (quality) {
    case 0: return "Min";
    case 256: return "Low";
    case 512: return "Normal";
    case 768: return "High";
    case 1023: return "Max";
    case 1024: return "Lossless";
    default: return nullptr;
    }
}

bool IsPlaceholder(const Str255& text)
{
    return text.Length() == 1 && text.Text()[0] == '-';
}

// The desktop's description of the MIME type of a file type, looked up once per
// type: reading the MIME database's comments costs far more than a field read,
// and a list or the value index reads the kind of every item.
QString MimeCommentForFileType(OSType type)
{
    static QMutex mutex;
    static QHash<OSType, QString> comments;
    const QMutexLocker lock(&mutex);
    auto found = comments.constFind(type);
    if (found == comments.constEnd()) {
        const QMimeType mime = QMimeDatabase().mimeTypeForName(MimeTypeForFileType(type));
        found = comments.insert(type, mime.isValid() && !mime.isDefault() ? mime.comment() : QString());
    }
    return *found;
}

// Whether a new name must reach the item's file before the item takes it: a medium on
// a server has no file here to rename; a local one, found or gone, has.
bool NameReachesFile(CIndexItem& item)
{
    QUrl url;
    CatchCode([&] { url = item.GetURL(); });
    return url.isEmpty() || url.isLocalFile();
}

} // namespace

// The extension as the desktop sees it: the part after the last point, when the
// point is neither first nor last and the part holds no blank.
qsizetype FileExtensionPoint(const QString& name)
{
    const qsizetype point = name.lastIndexOf(QLatin1Char('.'));
    if (point <= 0 || point == name.size() - 1)
        return -1;
    for (qsizetype i = point + 1; i < name.size(); ++i) {
        if (name.at(i).isSpace())
            return -1;
    }
    return point;
}

UInt64 NextItemSequenceNumber()
{
    return gItemSequence.fetch_add(1, std::memory_order_relaxed) + 1;
}

UInt64 ReserveItemSequenceNumbers(UInt64 count)
{
    return gItemSequence.fetch_add(count, std::memory_order_relaxed) + 1;
}

bool CIndexItem::KindFollowsFileType(OSType type)
{
    return type != 'EPSF' && type != '.fff' && !MimeCommentForFileType(type).isEmpty();
}

// Field texts.

Str255& CIndexItem::GetFieldText(SInt32 key, Str255& out, SInt16 mode)
{
    if (mode == kFieldTextPlaceholder)
        out = Str255("-");
    StWritingItem quiet(mWriting); // a field read never asks for a missing file
    if (IsItemFieldKey(key))
        return GetFileFieldText(key, out);
    if (IsEXIFFieldKey(key))
        return GetEXIFFieldText(key, out);
    if (IsImageFieldKey(key))
        return GetImageFieldText(key, out);
    if (IsCaptionFieldKey(key))
        return GetCaptionFieldText(key, out);
    return out;
}

Str255& CIndexItem::GetFileFieldText(SInt32 key, Str255& out)
{
    switch (key) {
    case kFieldName: {
        QString name = GetName();
        // The short rule of the Pascal-string route: a three- or four-letter extension.
        if (!GetPrefBoolean(kShowFileExtension)) {
            if (name.size() >= 5 && name.at(name.size() - 4) == QLatin1Char('.'))
                name.chop(4);
            else if (name.size() >= 6 && name.at(name.size() - 5) == QLatin1Char('.'))
                name.chop(5);
        }
        AssignText(out, name);
        break;
    }
    case kFieldDateAdded: AssignDate(out, GetDateAdded()); break;
    case kFieldKind: {
        const OSType type = GetFileTypeCode();
        QString kind;
        if (type != 'EPSF' && type != '.fff') {
            // The desktop's description of the file's kind (KindFollowsFileType).
            kind = MimeCommentForFileType(type);
            if (kind.isEmpty()) {
                const QMimeType mime = QMimeDatabase().mimeTypeForFile(GetName(), QMimeDatabase::MatchExtension);
                if (mime.isValid() && !mime.isDefault())
                    kind = mime.comment();
            }
        }
        if (kind.isEmpty())
            kind = CopyKindNameForFileType(type != 0 ? type : FileTypeForName(GetName()));
        if (kind.isEmpty())
            kind = CopyKindNameForFileType(FileTypeForName(GetName()));
        AssignText(out, kind);
        break;
    }
    case kFieldHasAlias: AssignYesNo(out, Quietly([&] { return GetAlias() != nullptr; })); break;
    case kFieldRemoteURL: {
        const QUrl url = GetRemoteURL();
        if (!url.isEmpty())
            AssignText(out, url.toString());
        break;
    }
    case kFieldHasThumbnail: AssignYesNo(out, Quietly([&] { return GetThumbnail() != nullptr; })); break;
    case kFieldHasCaption: AssignYesNo(out, Quietly([&] { return GetCaptionInfo() != nullptr; })); break;
    case kFieldError:
        if (GetError())
            AssignText(out, QStringLiteral("%1 %2").arg(GetError()->GetCode()).arg(GetError()->GetMessage()));
        break;
    case kFieldCreator: {
        const OSType creator = GetCreatorCode();
        if (creator != 0 && creator != '****' && creator != kUnknownFileType)
            AssignText(out, FourCharCodeToQString(creator));
        break;
    }
    case kFieldCreationDate: AssignDate(out, GetCreationDate()); break;
    case kFieldModificationDate: AssignDate(out, GetModificationDate()); break;
    case kFieldLocation: {
        const QString path = Quietly([&] { return GetAliasPath(); });
        if (!path.isEmpty())
            AssignText(out, path);
        break;
    }
    case kFieldUnsavedChanges: AssignYesNo(out, IsDirty()); break;
    case kFieldFileState:
        if (IsStoredInPackage()) {
            AssignLocalized(out, kFieldTextList, kTextStoredInPackage);
        } else {
            const bool resolves = Quietly([&] {
                const QByteArray* alias = GetAlias();
                if (!alias)
                    return false;
                QByteArray bytes = *alias;
                FileRef target;
                return ResolveAliasHandle(&bytes, &target, true, AliasBaseFile()) == noErr;
            });
            AssignLocalized(out, kFieldTextList, resolves ? kTextFileFound : kTextFileMissing);
        }
        break;
    case kFieldMediaValidates:
        AssignLocalized(out, kFieldTextList, ValidateMedia() ? kTextMediaValid : kTextMediaInvalid);
        break;
    case kFieldTurnState: {
        const UInt32 flags = GetFlags();
        if (flags & kItemFlagRotate90CW)
            AssignLocalized(out, kOrientationList, kOrientationRotate90CW);
        else if (flags & kItemFlagRotate90CCW)
            AssignLocalized(out, kOrientationList, kOrientationRotate90CCW);
        else if (flags & kItemFlagRotate180)
            AssignLocalized(out, kOrientationList, kOrientationRotate180);
        break;
    }
    case kFieldHasEXIF: AssignYesNo(out, Quietly([&] { return GetEXIFInfo() != nullptr; })); break;
    case kFieldPositionInView: AssignText(out, QString::number(GetPositionInView())); break;
    default: break; // 4003, 4010 and 4011 have texts of their own; the rest have none
    }
    return out;
}

Str255& CIndexItem::GetImageFieldText(SInt32 key, Str255& out)
{
    const MediaImageInfo* info = Quietly([&] { return GetImageInfo(); });
    if (!info)
        return out;
    auto number = [&out](SInt32 value) {
        if (value != 0)
            AssignText(out, QString::number(value));
    };
    switch (key) {
    case kFieldWidth: number(info->width); break;
    case kFieldHeight: number(info->height); break;
    case kFieldDepth: number(info->depth); break;
    case kFieldDimensions: {
        const QString pixels = CopyLocalizedCFString(kFieldTextList, kTextPixels);
        Str255 part;
        if (!IsPlaceholder(GetImageFieldText(kFieldWidth, part = Str255("-")))) {
            Str255 height("-");
            GetImageFieldText(kFieldHeight, height);
            AssignText(out, PStringToQString(part) + QStringLiteral(" x ") + PStringToQString(height) + pixels
                    + QStringLiteral("  "));
        }
        if (!IsPlaceholder(GetImageFieldText(kFieldDepth, part = Str255("-")))) {
            out.Append(part);
            AppendText(out, CopyLocalizedCFString(kFieldTextList, kTextBits) + QStringLiteral("  "));
        }
        if (!IsPlaceholder(GetImageFieldText(kFieldResolution, part = Str255("-"))))
            out.Append(part);
        break;
    }
    case kFieldResolution:
        if (info->hRes != 0)
            AssignText(out,
                QString::number(std::lround(info->hRes / 65536.0)) + CopyLocalizedCFString(kFieldTextList, kTextDPI));
        break;
    case kFieldFrameCount: number(info->frameCount); break;
    case kFieldCodecName:
        if (!info->name.IsEmpty())
            out.Assign(info->name);
        break;
    case kFieldRecordForm: AssignLocalized(out, kRecordFormList, info->constant12); break;
    case kFieldSpatialQuality:
    case kFieldTemporalQuality:
        if (const char* word = QualityWord(UInt32(key == kFieldSpatialQuality ? info->spatialQuality
                                                                                 : info->temporalQuality)))
            out = Str255(word);
        break;
    default: break; // 5010 has a text of its own
    }
    return out;
}

Str255& CIndexItem::GetCaptionFieldText(SInt32 key, Str255& out)
{
    const CANPAInfo* caption = Quietly([&] { return PeekCaptionInfo(); });
    if (!caption) {
        if (key == kFieldUrgency)
            out = Str255("No");
        return out;
    }
    // The entries that fit whole: a cut entry would be a wrong keyword, or half a
    // character reference. The field's string (CopyFieldString) has them all.
    auto joined = [&out](const TArray<LStr255>& list) {
        if (list.GetCount() != 0)
            out.AssignBytes(JoinedEntries(list, kMaxFieldBytes));
    };
    if (const CaptionText* field = caption->PlainTextField(key)) {
        out.AssignBytes(field->Bytes());
        return out;
    }
    switch (key) {
    case kFieldCaption:
        if (const QByteArray* text = caption->GetCaption())
            out.AssignBytes(IIMText::CutCaptionBytes(*text, 255));
        break;
    case kFieldDateCreated: AssignDate(out, caption->GetDateCreated()); break;
    case kFieldKeywords: joined(caption->GetKeywords()); break;
    case kFieldSupplementalCategories: joined(caption->GetSupplementalCategories()); break;
    case kFieldUrgency: {
        const SInt32 urgency = caption->GetUrgency();
        out = urgency <= kHighestShownUrgency ? MakePString(QString::number(urgency + 1)) : Str255("No");
        break;
    }
    default: break; // 6020 has a text of its own
    }
    return out;
}

Str255& CIndexItem::GetEXIFFieldText(SInt32 key, Str255& out)
{
    const CEXIFInfo* exif = Quietly([&] { return GetEXIFInfo(); });
    if (!exif)
        return out;
    auto has = [exif](UInt16 tag) { return exif->HasUserDataType(EXIFUserDataType(tag)); };
    auto hasText = [exif](const char (&letters)[4]) { return exif->HasUserDataType(UserDataTextType(letters)); };
    auto fromList = [&out](SInt16 list, SInt32 value) { AssignLocalized(out, list, SInt16(value)); };
    switch (key) {
    case kFieldEXIFVersion:
        if (has(0x9000))
            exif->GetEXIFVersion(out);
        break;
    case kFieldFlashpixVersion:
        if (has(0xA000))
            exif->GetFlashpixVersion(out);
        break;
    case kFieldDateTimeOriginal:
        if (has(0x9003))
            AssignDate(out, exif->GetDateTimeOriginal());
        break;
    case kFieldExposureTime:
        if (has(0x9201) || has(0x829A)) {
            const double time = exif->GetExposureTime();
            // A time of 0 (or less) has no reciprocal to show.
            if (time > 0.5)
                AssignFormatted(out, "%6.3fs", time);
            else if (time > 0.0)
                AssignText(out, QStringLiteral("1/%1s").arg(int(1.0 / time + 0.5)));
        }
        break;
    case kFieldFNumber:
        if (has(0x9202) || has(0x829D))
            AssignFormatted(out, "f%3.1f", exif->GetFNumber());
        break;
    case kFieldExposureBias:
        if (has(0x9204)) {
            const double bias = exif->GetExposureBias();
            AssignFormatted(out, bias > 0.0 ? "+%4.1f EV" : "%4.1f EV", bias);
        }
        break;
    case kFieldExposureProgram:
        if (has(0x8822))
            fromList(kExposureProgramList, exif->GetExposureProgram());
        break;
    case kFieldFocalLength:
        if (has(0x920A))
            AssignFormatted(out, "%4.1fmm", exif->GetFocalLength());
        break;
    case kFieldSubjectDistance:
        if (has(0x9206)) {
            if (std::isinf(exif->GetSubjectDistance()))
                out = Str255("\xB0"); // the infinity sign in Mac Roman
            else
                AssignFormatted(out, "%4.2fm", exif->GetSubjectDistance());
        }
        break;
    case kFieldSensingMethod:
        if (has(0xA217))
            fromList(kSensingMethodList, exif->GetSensingMethod());
        break;
    case kFieldLightSource:
        if (has(0x9208))
            fromList(kLightSourceList, exif->GetLightSource());
        break;
    case kFieldFlash:
        if (has(0x9209))
            AssignLocalized(out, kFieldTextList, exif->IsFlashFired() ? kTextFlashFired : kTextFlashNotFired);
        break;
    case kFieldMeteringMode:
        if (has(0x9207))
            fromList(kMeteringModeList, exif->GetMeteringMode());
        break;
    case kFieldISOSpeed:
        if (has(0x8827))
            AssignText(out, QString::number(exif->GetISOSpeed()));
        break;
    case kFieldCompressedBitsPerPixel:
        if (has(0x9102))
            AssignFormatted(out, "%4.1f", exif->GetCompressedBitsPerPixel());
        break;
    case kFieldMake:
        if (hasText("mak"))
            exif->GetMake(out);
        break;
    case kFieldModel:
        if (hasText("mod"))
            exif->GetModel(out);
        break;
    case kFieldSoftware:
        if (hasText("swr"))
            exif->GetSoftware(out);
        break;
    case kFieldFormat:
        if (hasText("fmt"))
            exif->GetFormat(out);
        break;
    case kFieldRelatedSoundFile:
        if (has(0xA004))
            exif->GetRelatedSoundFile(out);
        break;
    case kFieldUserComment:
        if (has(0x9286))
            exif->GetUserComment(out);
        break;
    case kFieldDateTimeDigitized:
        if (has(0x9004) || has(0x9003))
            AssignDate(out, exif->GetDateTimeDigitized());
        break;
    case kFieldExposureSummary: {
        Str255 part;
        if (!IsPlaceholder(GetEXIFFieldText(kFieldExposureTime, part = Str255("-")))) {
            out = part;
            out.Append(Str255("  "));
        }
        if (!IsPlaceholder(GetEXIFFieldText(kFieldFNumber, part = Str255("-")))) {
            out.Append(part);
            out.Append(Str255("  "));
        }
        if (!IsPlaceholder(GetEXIFFieldText(kFieldFocalLength, part = Str255("-")))) {
            out.Append(Str255("Focal "));
            out.Append(part);
            out.Append(Str255("  "));
        }
        if (!IsPlaceholder(GetEXIFFieldText(kFieldFlash, part = Str255("-")))) {
            out.Append(Str255("Flash "));
            out.Append(part);
        }
        break;
    }
    case kFieldBrightness:
        if (has(0x9203))
            AssignFormatted(out, "%4.1f", exif->GetBrightness());
        break;
    case kFieldExposureIndex:
        if (has(0xA215))
            AssignFormatted(out, "%4.1f", exif->GetExposureIndex());
        break;
    case kFieldMaxAperture:
        if (has(0x9205))
            AssignFormatted(out, "f%3.1f", exif->GetMaxAperture());
        break;
    case kFieldOrientation:
        fromList(kOrientationList, exif->HasUserDataType(TIFFUserDataType(0x0112)) ? exif->GetOrientation() : 1);
        break;
    default:
        if (key > kFieldOrientation)
            AssignText(out, QStringLiteral("Key Value: %1").arg(key));
        break;
    }
    return out;
}

bool CIndexItem::IsFieldKnownWithoutMedia(SInt32 key)
{
    auto known = [this](auto& part) {
        if (part.Get() || part.LookedFor())
            return true;
        // The stored record holds what an earlier look at the file gave.
        if (CatchCode([&] {
                LoadRecord();
                LoadStoredPart(part);
            }) != noErr)
            return true; // a damaged block reads as no value, file or not
        return part.Get() || part.LookedFor();
    };
    if (IsCaptionFieldKey(key)) {
        // A stored caption was checked when its record was read: it need not be
        // parsed (and kept) to be known.
        if (!mCaption && mStored && mStored->HasCaption())
            return true;
        return known(mCaption);
    }
    if (IsImageFieldKey(key))
        return known(mImageInfo);
    if (IsEXIFFieldKey(key))
        return (mRare && (mRare->exif.Get() || mRare->exif.LookedFor())) || known(mUserData)
            || (mStored && mStored->HasUserData());
    if (key == kFieldKind)
        return GetFileTypeCode() != 'RAW ' || (mRare && mRare->rawKindText);
    return true;
}

QString CIndexItem::CopyCellString(SInt32 key)
{
    if (key == kFieldUrgencyLabel) {
        // The label list names "no urgency" for menus; a cell leaves it blank.
        const CANPAInfo* caption = Quietly([&] { return PeekCaptionInfo(); });
        const SInt32 urgency = caption ? caption->GetUrgency() : kNoUrgency;
        if (urgency < 0 || urgency >= kFirstUnnamedUrgency)
            return {};
    }
    return CopyFieldString(key, kFieldTextEmpty);
}

namespace {

// The volume (the third element: "/media/<volume>/...") or the folder of a path.
QString VolumeOrFolderOfPath(SInt32 key, const QString& path)
{
    if (key != kFieldVolume)
        return PathElementFromEnd(path, 2);
    const qsizetype first = path.indexOf(QLatin1Char('/'));
    const qsizetype second = first < 0 ? -1 : path.indexOf(QLatin1Char('/'), first + 1);
    if (second < 0)
        return {};
    const qsizetype third = path.indexOf(QLatin1Char('/'), second + 1);
    return path.mid(second + 1, third < 0 ? -1 : third - second - 1);
}

} // namespace

QString CIndexItem::VolumeOrFolderText(SInt32 key, const QUrl& url)
{
    if (!url.isLocalFile())
        return key == kFieldVolume ? url.host() : PathElementFromEnd(url.path(), 2);
    return VolumeOrFolderOfPath(key, ReadableNativePath(FileRef::FromUrl(url).NativePath()));
}

QString CIndexItem::CopyFieldString(SInt32 key, SInt16 mode)
{
    QString text;
    const OSStatus status = CatchCode([&] {
        StWritingItem quiet(mWriting); // a field read never asks for a missing file
        switch (key) {
        case kFieldName: {
            text = GetName();
            ThrowIfNot_(!text.isEmpty(), "item without a name");
            if (mode != kFieldTextFullName && !GetPrefBoolean(kShowFileExtension)) {
                const qsizetype point = FileExtensionPoint(text);
                if (point > 0)
                    text.truncate(point);
            }
            break;
        }
        case kFieldTotalSize: text = FormatByteSize(GetTotalSize()); break;
        case kFieldKind:
            // The camera's description needs the raw file opened: never while a row draws.
            if (GetFileTypeCode() == 'RAW ' && ((mRare && mRare->rawKindText) || !StDrawingItems::Active())) {
                if (!mRare || !mRare->rawKindText)
                    MakeRare().rawKindText = CopyRAWFileDescription(GetURL());
                text = *mRare->rawKindText;
                break;
            }
            [[fallthrough]];
        default: {
            Str255 out;
            GetFieldText(key, out, mode);
            // Caption texts, and EXIF comments read from UCS-2, keep the characters
            // Mac Roman lacks as references.
            text = IsCaptionFieldKey(key) || IsEXIFFieldKey(key)
                ? IIMText::TextFromCaptionBytes(QByteArrayView(out + 1, out[0]))
                : PStringToQString(out);
            break;
        }
        case kFieldError:
            if (GetError())
                text = QStringLiteral("%1 %2").arg(GetError()->GetCode()).arg(GetError()->GetMessage());
            break;
        case kFieldVolume:
        case kFieldFolder: {
            if (IsStoredInPackage())
                break;
            // A file where its alias says: the alias's path, with no URL made.
            CatchCode([&] { FindURL(); });
            const QUrl url = mURLAtAliasPath ? QUrl() : mURL;
            if (!url.isEmpty() && !url.isLocalFile()) {
                text = VolumeOrFolderText(key, url);
                break;
            }
            text = VolumeOrFolderOfPath(key,
                mURLAtAliasPath   ? ReadableNativePath(HeldAliasPath().toByteArray())
                : url.isEmpty()   ? CopyFieldString(kFieldLocation, kFieldTextEmpty)
                                  : ReadableNativePath(FileRef::FromUrl(url).NativePath()));
            break;
        }
        case kFieldCreator: {
            Str255 out;
            text = PStringToQString(GetFileFieldText(key, out));
            break;
        }
        case kFieldLocation: {
            const QUrl url = Quietly([&] { return GetURL(); });
            text = url.isEmpty() ? GetAliasPath() : QUrl::fromPercentEncoding(NativeFileUrlBytes(url));
            break;
        }
        case kFieldDataSize: {
            const MediaImageInfo* info = Quietly([&] { return GetImageInfo(); });
            if (info && info->dataSize != 0)
                text = FormatByteSize(UInt32(info->dataSize));
            break;
        }
        case kFieldUrgencyLabel: {
            const CANPAInfo* caption = Quietly([&] { return PeekCaptionInfo(); });
            text = CANPAInfo::CopyUrgencyLabel(caption ? caption->GetUrgency() : kNoUrgency);
            break;
        }
        case kFieldKeywords:
        case kFieldSupplementalCategories:
            // Every entry, however many: the list is edited and exported whole.
            if (const CANPAInfo* caption = Quietly([&] { return PeekCaptionInfo(); }))
                text = IIMText::TextFromCaptionBytes(JoinedEntries(
                    key == kFieldKeywords ? caption->GetKeywords() : caption->GetSupplementalCategories(), -1));
            break;
        }
    });
    if (status != noErr)
        text.clear();
    if (text.isEmpty())
        return mode == kFieldTextPlaceholder ? kFieldPlaceholder : QString(QLatin1String(""));
    return text;
}

FieldDictionaryKeys FieldDictionaryKeys::Load()
{
    FieldDictionaryKeys keys;
    std::unique_ptr<LMenu> menu;
    CatchCode([&] { menu = LMenu::Load(212); });
    if (!menu)
        return keys;
    for (SInt16 i = 1; i <= menu->CountItems(); ++i) {
        const SInt32 key = menu->Item(i)->command;
        if (key == cmd_Nothing || !IsFieldKey(key))
            continue;
        const QString name = Quietly([&] { return CopyFieldName(key); });
        if (!name.isEmpty())
            keys.mFields.push_back({key, name});
    }
    return keys;
}

QVariantMap CIndexItem::CopyFieldDictionary()
{
    return CopyFieldDictionary(FieldDictionaryKeys::Load(), GetPositionInView());
}

QVariantMap CIndexItem::CopyFieldDictionary(const FieldDictionaryKeys& fields, SInt32 position)
{
    QVariantMap dictionary;
    auto localized = [](SInt16 index) { return CopyLocalizedCFString(kFieldTextList, index); };
    auto insert = [&](const QString& name, const QString& text) {
        if (!text.isEmpty() && text != kFieldPlaceholder)
            dictionary.insert(name, text);
    };
    auto isStateField = [](SInt32 key) { return key == kFieldFileState || key == kFieldMediaValidates; };
    for (const FieldDictionaryKeys::Field& field : fields.Fields()) {
        if (field.key == kFieldHasThumbnail) // the stored thumbnail's number, not its picture read from disk
            insert(field.name, localized(GetThumbnailNumber() > 0 || HeldThumbnail() ? kTextYes : kTextNo));
        else if (field.key == kFieldPositionInView)
            insert(field.name, QString::number(position));
        else if (field.key == kFieldError)
            insert(field.name, GetError() ? ErrorFieldWords(*GetError()) : QString());
        else if (!isStateField(field.key))
            insert(field.name, CopyFieldString(field.key, kFieldTextPlaceholder));
    }
    // The states last, as the other fields left them: as last located (left out
    // while never looked for), and a failure met or a medium measured before.
    for (const FieldDictionaryKeys::Field& field : fields.Fields()) {
        if (field.key == kFieldFileState) {
            if (IsStoredInPackage())
                insert(field.name, localized(kTextStoredInPackage));
            else if (HoldsURL())
                insert(field.name, localized(kTextFileFound));
            else if (mURLLookedFor)
                insert(field.name, localized(kTextFileMissing));
        } else if (field.key == kFieldMediaValidates) {
            if (GetError() || HasThumbnailFailed())
                insert(field.name, localized(kTextMediaInvalid));
            else if (mImageInfo.Get() || GetThumbnailNumber() > 0)
                insert(field.name, localized(kTextMediaValid));
        }
    }
    return dictionary;
}

bool CIndexItem::ValidateMedia()
{
    // Checking is no failure of the item: its error record stays as it was.
    StItemErrorSaver<CIndexItem> keepError(this);
    bool valid = false;
    CatchCode([&] {
        if (LocateFile(false).isEmpty())
            return;
        std::unique_ptr<CMedia> media(CreateMedia());
        valid = media && media->Validate();
    });
    return valid;
}

// Setting fields.

CANPAInfo& CIndexItem::CaptionForChange()
{
    if (CANPAInfo* caption = Quietly([&] { return GetCaptionInfo(); }))
        return *caption;
    SetCaptionInfo(std::make_unique<CANPAInfo>());
    return *mCaption.Get();
}

OSStatus CIndexItem::CaptionChanged(CANPAInfo& caption, FileWrite write)
{
    if (!caption.IsModified())
        return noErr;
    MarkDirty();
    return WritesFile(write) ? WriteChangedCaptionToMediaFile() : noErr;
}

OSStatus CIndexItem::SetFieldValue(SInt32 key, const QString& text, FileWrite write)
{
    if (text.isNull())
        return paramErr;

    OSStatus result = noErr;
    if (key == kFieldName) {
        if (GetName() != text) {
            // The file takes the name first: an item never bears a name its file could
            // not take. A failure is the item's error "600:112" and the result.
            QString taken = text;
            if (WritesFile(write) && NameReachesFile(*this))
                result = CatchCode([&] { taken = RenameMediaFile(text); });
            if (result == noErr)
                SetName(taken);
        }
    } else if (IsListFieldKey(key)) {
        // A list is held entry by entry: each entry must fit, not the whole text.
        for (const QString& entry : text.split(QLatin1Char(','))) {
            if (IIMText::CaptionBytesFromText(entry.trimmed()).size() > kMaxFieldBytes)
                return paramErr;
        }
        const QString entries = MacRoman::Decode(IIMText::CaptionBytesFromText(text));
        CANPAInfo& caption = CaptionForChange();
        key == kFieldKeywords ? caption.SetKeywordsCF(entries) : caption.SetSupplementalCategoriesCF(entries);
        result = CaptionChanged(caption, write);
    } else {
        Str255 value;
        if (IsCaptionFieldKey(key)) {
            // Typed caption text is kept as read text is: Mac Roman, references for the rest.
            if (!value.AssignBytes(IIMText::CaptionBytesFromText(text)))
                return paramErr;
        } else if (!QStringToPString(text, value)) {
            return paramErr;
        }
        if (IsItemFieldKey(key))
            result = SetFileFieldValue(key, value, write);
        else if (IsImageFieldKey(key) || IsEXIFFieldKey(key))
            result = kFieldReadOnlyErr;
        else if (IsCaptionFieldKey(key))
            result = SetCaptionFieldValue(key, value, write);
    }
    return result;
}

OSStatus CIndexItem::SetFileFieldValue(SInt32 key, ConstStr255Param text, FileWrite write)
{
    const QString value = PStringToQString(text);
    switch (key) {
    case kFieldName: {
        QString taken = value;
        if (WritesFile(write) && NameReachesFile(*this)) {
            if (const OSStatus status = CatchCode([&] { taken = RenameMediaFile(value); }); status != noErr)
                return status; // the item's error "600:112"; the item keeps its name
        }
        SetName(taken);
        return noErr;
    }
    case kFieldRemoteURL: {
        if (value.isEmpty()) {
            SetRemoteURL(QUrl());
            return noErr;
        }
        if (value.endsWith(QLatin1String("//")))
            return noErr; // a scheme and nothing yet
        const QUrl url(value.trimmed(), QUrl::StrictMode);
        if (!url.isValid() || url.scheme().isEmpty())
            return paramErr;
        SetRemoteURL(url);
        return noErr;
    }
    case kFieldCreationDate: {
        const UInt32 seconds = ParseDateText(text);
        if (seconds == 0)
            return paramErr;
        return CatchCode([&] { SetCreationDate(seconds, WritesFile(write)); });
    }
    default: return kFieldReadOnlyErr;
    }
}

OSStatus CIndexItem::SetCaptionFieldValue(SInt32 key, ConstStr255Param text, FileWrite write)
{
    if (key < kFieldCaption || key > kFieldUrgencyLabel)
        return kFieldReadOnlyErr;

    // The text is checked before anything changes, so bad text leaves the item alone.
    const QString value = PStringToQString(text);
    SInt32 urgency = -1;
    UInt32 date = 0;
    if (key == kFieldUrgency || key == kFieldUrgencyLabel) {
        const QString digits = value.trimmed();
        bool isNumber = false;
        urgency = digits.toInt(&isNumber);
        if (key == kFieldUrgency) {
            // The field shows the stored index plus one (1 to 8), and "No" for none.
            if (digits == QLatin1String("No") || digits.isEmpty()) {
                urgency = kNoUrgency;
                isNumber = true;
            } else if (urgency < 1 || urgency > kHighestShownUrgency) {
                isNumber = false;
            } else {
                --urgency;
            }
        }
        if (!isNumber || urgency < 0 || urgency > kNoUrgency || urgency == kHighestShownUrgency)
            return paramErr;
    } else if (key == kFieldDateCreated && !value.trimmed().isEmpty()) {
        date = ParseDateText(text);
        if (date == 0)
            return paramErr;
    }

    CANPAInfo* caption = &CaptionForChange();
    switch (key) {
    case kFieldCaption: caption->SetCaptionText(text); break;
    case kFieldCaptionWriter: caption->SetWriterEditor(text); break;
    case kFieldHeadline: caption->SetHeadline(text); break;
    case kFieldSpecialInstructions: caption->SetSpecialInstructions(text); break;
    case kFieldCopyrightNotice: caption->SetCopyrightNotice(text); break;
    case kFieldByline: caption->SetByline(text); break;
    case kFieldBylineTitle: caption->SetBylineTitle(text); break;
    case kFieldCredit: caption->SetCredit(text); break;
    case kFieldSource: caption->SetSource(text); break;
    case kFieldCity: caption->SetCity(text); break;
    case kFieldProvinceState: caption->SetProvinceState(text); break;
    case kFieldCountryName: caption->SetCountryName(text); break;
    case kFieldDateCreated: caption->SetDateCreated(date); break;
    case kFieldObjectName: caption->SetObjectName(text); break;
    case kFieldTransmissionReference: caption->SetOriginalTransmissionReference(text); break;
    case kFieldKeywords: caption->SetKeywordsCF(value); break;
    case kFieldSupplementalCategories: caption->SetSupplementalCategoriesCF(value); break;
    case kFieldCategory: caption->SetCategory(text); break;
    case kFieldUrgency:
    case kFieldUrgencyLabel: caption->SetUrgency(urgency); break;
    default: break;
    }
    return CaptionChanged(*caption, write);
}
