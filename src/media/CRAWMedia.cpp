#include "CRAWMedia.h"

#include "ExceptionCode.h"
#include "GraphicsExporter.h"
#include "ImageMetadata.h"
#include "LocalizedStrings.h"
#include "Preferences.h"
#include "UserData.h"
#include "WorkerPool.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageWriter>

#include <cmath>
#include <cstdio>

namespace {

constexpr UInt16 kExposureTimeTag = 0x829A;
constexpr UInt16 kFNumberTag = 0x829D;
constexpr UInt16 kISOSpeedRatingsTag = 0x8827;
constexpr UInt16 kDateTimeOriginalTag = 0x9003;
constexpr UInt16 kDateTimeDigitizedTag = 0x9004;
constexpr UInt16 kFocalLengthTag = 0x920A;
constexpr OSType kMakeType = UserDataTextType("mak");
constexpr OSType kModelType = UserDataTextType("mod");

// EXIF item values, big-endian as the importer delivers them.
QByteArray RationalItem(UInt32 numerator, UInt32 denominator)
{
    QByteArray item;
    for (UInt32 v : {numerator, denominator})
        item.append(char(v >> 24)).append(char(v >> 16)).append(char(v >> 8)).append(char(v));
    return item;
}

QByteArray ShortItem(UInt16 value)
{
    return QByteArray().append(char(value >> 8)).append(char(value));
}

// Tenths, as cameras record f-numbers and focal lengths.
QByteArray TenthsItem(float value)
{
    return RationalItem(UInt32(std::lround(value * 10)), 10);
}

// A second and longer in tenths, shorter times as 1/N, the way cameras write them.
QByteArray ExposureItem(float seconds)
{
    if (seconds >= 1)
        return TenthsItem(seconds);
    return RationalItem(1, UInt32(std::lround(1.0 / seconds)));
}
constexpr SInt8 kNoOrientation = -1;
constexpr OSType kRawFileType = 'RAW ';

bool Pref(const char* key)
{
    return GetPrefBoolean(QString::fromLatin1(key));
}

RawDecoder::Options OptionsFromPreferences()
{
    RawDecoder::Options options;
    options.linearOutput = Pref("RawLinearOutput");
    options.halfSize = Pref("RawRenderHalfSize");
    options.autoWhiteBalance = Pref("RawUseAutoWhiteBalance");
    options.cameraWhiteBalance = Pref("RawUseCameraWhiteBalance");
    options.fourColorRGB = Pref("RawFourColorRGB");
    options.documentMode = Pref("RawDocumentMode");
    options.quickInterpolation = Pref("RawQuickInterpolation");
    options.brightness = GetPrefFloat(QStringLiteral("RawBrightness"));
    return options;
}

bool IsPortrait(int width, int height)
{
    return height > width;
}

QString LocalPathOf(const QUrl& url)
{
    const QString path = url.isLocalFile() ? url.toLocalFile() : QString();
    ThrowIf_(path.isEmpty(), "raw file without a path");
    return path;
}

} // namespace

CRAWMedia::CRAWMedia(const QUrl& url)
{
    mPath = LocalPathOf(url);
    mFileName = QFileInfo(mPath).fileName();
    if (mFileName.isEmpty())
        ThrowOSErr_(err_NilPointer);
    ThrowIfOSErr_(DecodeRAW(kDecodeIdentify));
    // A file the decoder knows but cannot decode still has metadata to read; its
    // picture operations are refused below rather than showing an empty picture.
    if (IsMetadataOnly())
        return;

    SetOutputBounds();
}

// The size a decode will give: half size when the preference asks, pixel aspect and
// quarter turns already applied by the decoder.
void CRAWMedia::SetOutputBounds()
{
    int width = mIdentity.outputBounds.Width();
    int height = mIdentity.outputBounds.Height();
    if (Pref("RawRenderHalfSize") && !mFullSizeDecode) {
        width = (width + 1) / 2;
        height = (height + 1) / 2;
    }
    mOutputBounds = MakeRect(0, 0, height, width);
}

void CRAWMedia::SetFullSizeDecode(bool fullSize)
{
    if (bool(mFullSizeDecode) == fullSize)
        return;
    CMedia::SetFullSizeDecode(fullSize);
    // Pixels decoded in the other mode are of the other size.
    if (mImporter || mDecoded) {
        ReleaseDecodedFile();
        mDecoded = false;
    }
    SetOutputBounds();
}

CRAWMedia::~CRAWMedia()
{
    ReleaseDecodedFile();
}

void CRAWMedia::ReleaseDecodedFile()
{
    mOrientation = kNoOrientation;
    mImporter.reset();
    mUserData.reset();
    mDescription.reset();
    mColorProfile.clear();
    mColorProfileLooked = false;
    mDeepImage = false;
}

void CRAWMedia::OpenImporterOnImage(const QImage& image)
{
    // The decoder's pixels reach the importer as an uncompressed TIFF in memory (16 bits
    // a sample stay 16 bits), the form the decoder used to write to a file.
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "tiff");
    if (!writer.write(image))
        ThrowOSErr_(codecErr, "decoded image could not be handed on");
    ThrowIfOSErr_(GraphicsImporter::OpenData(buffer.data(), 'TIFF', mImporter));
}

void CRAWMedia::OpenImporterOnRawFile()
{
    const OSStatus status = GraphicsImporter::OpenFile(mPath, kRawFileType, mImporter);
    if (status == cantFindHandler) {
        std::printf("Thumbnail from RAW file failed, reverting to use RAW data\n");
        ThrowIfOSErr_(DecodeRAW(kDecodeFull));
        return;
    }
    ThrowIfOSErr_(status);
    mOrientation = SInt8(mIdentity.orientation);
    ClearOrientationWhenTurnedAlready();
}

// A preview whose shape differs from the sensor image's was turned by the camera already.
void CRAWMedia::ClearOrientationWhenTurnedAlready()
{
    if (!mImporter)
        return;
    Rect preview;
    if (mImporter->GetNaturalBounds(&preview) == noErr
        && IsPortrait(preview.Width(), preview.Height()) != IsPortrait(mIdentity.imageWidth, mIdentity.imageHeight))
        mOrientation = kNoOrientation;
    if (mIdentity.model == QLatin1String("FinePix S2Pro") || mIdentity.decoderModel == QLatin1String("FinePix S2Pro"))
        mOrientation = kNoOrientation;
}

OSStatus CRAWMedia::DecodeRAW(SInt32 mode)
{
    if ((mDecoded || mSkipDecoding) && mode != kDecodeIdentify)
        return noErr;
    if (mode == kDecodeFull)
        mDecoded = true;
    ReleaseDecodedFile();

    const QByteArray name = QFile::encodeName(mPath);
    return CatchCode([&] {
        switch (mode) {
        case kDecodeIdentify:
            mIdentity = RawDecoder::Identify(mPath);
            if (!mIdentity.decodable)
                std::fprintf(stderr, "Cannot decode file %s\n", name.constData());
            break;
        case kDecodePreview: {
            RawDecoder::Preview preview;
            const OSStatus status = CatchCode([&] { preview = RawDecoder::ExtractPreview(mPath); });
            if (status != noErr) {
                std::fprintf(stderr, "%s has no thumbnail.\n", name.constData());
                OpenImporterOnRawFile();
                break;
            }
            // Cameras store previews unturned, as JPEG or as pixels; both take the file's turn.
            if (!preview.jpeg.isEmpty())
                ThrowIfOSErr_(GraphicsImporter::OpenData(preview.jpeg, 'JPEG', mImporter));
            else
                OpenImporterOnImage(preview.image);
            mOrientation = SInt8(preview.orientation);
            ClearOrientationWhenTurnedAlready();
            break;
        }
        case kDecodeFull: {
            std::fprintf(stderr, "Loading %s %s image from %s ...\n", mIdentity.decoderMake.toLocal8Bit().constData(),
                mIdentity.decoderModel.toLocal8Bit().constData(), name.constData());
            // A decode running as a worker job ends early when the task waiting on it is stopped.
            const QImage image = RawDecoder::Decode(mPath, OptionsFromPreferences(), mFullSizeDecode,
                [] { return WorkerPool::CancelRequested(); });
            mDeepImage = image.depth() == 64;
            OpenImporterOnImage(image);
            break;
        }
        default:
            ThrowOSErr_(paramErr);
        }
    });
}

OSStatus CRAWMedia::GetNaturalBounds(Rect* r)
{
    if (!r)
        return paramErr;
    if (IsMetadataOnly())
        return cantFindHandler;
    *r = mOutputBounds;
    return CMedia::GetNaturalBounds(r);
}

OSStatus CRAWMedia::GetBoundsRect(Rect* r)
{
    if (IsMetadataOnly())
        return cantFindHandler;
    if (!mImporter) {
        if (OSStatus status = DecodeRAW(mFullSizeDecode ? kDecodeFull : kDecodePreview))
            return status;
    }
    return CQTImageBaseMedia::GetBoundsRect(r);
}

OSStatus CRAWMedia::SetBoundsRect(const Rect* r)
{
    if (!r)
        return paramErr;
    if (IsMetadataOnly())
        return cantFindHandler;
    OSStatus status = noErr;
    if (!mDecoded) {
        if (!Pref("RawUseEmbeddedImage") || mFullSizeDecode) {
            status = DecodeRAW(kDecodeFull);
        } else {
            if (!mImporter)
                status = DecodeRAW(kDecodePreview);
            Rect preview;
            if (status == noErr && mImporter && !mDecoded && mImporter->GetNaturalBounds(&preview) == noErr) {
                const SInt64 requested = SInt64(r->Height()) * r->Width();
                const SInt64 available = SInt64(preview.Height()) * preview.Width();
                if (requested > available && !Pref("RawEnlargeEmbeddedImage"))
                    status = DecodeRAW(kDecodeFull);
            }
        }
    }
    if (mOrientation > 0) {
        const OSStatus reset = ResetTransform();
        if (status == noErr)
            status = reset;
    }
    const OSStatus set = CQTImageBaseMedia::SetBoundsRect(r);
    return status != noErr ? status : set;
}

OSStatus CRAWMedia::DrawMatched()
{
    if (IsMetadataOnly())
        return cantFindHandler;
    if (!mDecoded) {
        if (mOrientation == 5)
            SetTransform(kMediaRotateQuarter1, kMediaFlipNone);
        else if (mOrientation == 6)
            SetTransform(kMediaRotateQuarter2, kMediaFlipNone);
    }
    if (OSStatus status = ApplyTransform())
        return status;
    return Draw();
}

OSStatus CRAWMedia::GetAsPicture(Picture* out)
{
    if (!out)
        return paramErr;
    if (IsMetadataOnly())
        return cantFindHandler;
    return CatchCode([&] {
        if (!mImporter)
            ThrowIfOSErr_(DecodeRAW(kDecodePreview));
        ThrowIfNil_(mImporter);
        Rect bounds;
        ThrowIfOSErr_(GetBoundsRect(&bounds));
        Offscreen world(bounds);
        ThrowIfOSErr_(DrawIntoOffscreen(world, true));
        *out = Picture::FromOffscreen(world);
    });
}

UserData* CRAWMedia::GetMetaData()
{
    if (mUserData)
        return mUserData.get();
    auto data = std::make_unique<UserData>();
    // The raw file's own metadata, not that of its preview or of decoded pixels,
    // which carry none or the decoder's substitutes.
    ReadImageFileMetadata(mPath, CopyLocalizedString(mIdentity.isDNG ? QStringLiteral("603:54") : QStringLiteral("603:51")),
        *data);

    // Where the file's records gave the library nothing, the decoder's identification fills in.
    auto addIfMissing = [&](OSType type, const QByteArray& item) {
        if (!item.isEmpty() && data->CountUserDataType(type) == 0)
            data->AddUserData(item, type);
    };
    auto addTextIfMissing = [&](OSType type, const QString& text) {
        if (!text.isEmpty() && data->CountUserDataType(type) == 0)
            data->AddUserDataText(text.toLatin1(), type, 1, 0);
    };
    addTextIfMissing(kMakeType, mIdentity.make);
    addTextIfMissing(kModelType, mIdentity.model);
    if (mIdentity.captureTime.isValid()) {
        const QByteArray text = mIdentity.captureTime.toString(QStringLiteral("yyyy:MM:dd HH:mm:ss")).toLatin1();
        addIfMissing(EXIFUserDataType(kDateTimeOriginalTag), text + '\0');
        addIfMissing(EXIFUserDataType(kDateTimeDigitizedTag), text + '\0');
    }
    if (mIdentity.isoSpeed >= 1 && mIdentity.isoSpeed <= 0xFFFF)
        addIfMissing(EXIFUserDataType(kISOSpeedRatingsTag), ShortItem(UInt16(std::lround(mIdentity.isoSpeed))));
    if (mIdentity.shutter > 0)
        addIfMissing(EXIFUserDataType(kExposureTimeTag), ExposureItem(mIdentity.shutter));
    if (mIdentity.aperture > 0)
        addIfMissing(EXIFUserDataType(kFNumberTag), TenthsItem(mIdentity.aperture));
    if (mIdentity.focalLength > 0)
        addIfMissing(EXIFUserDataType(kFocalLengthTag), TenthsItem(mIdentity.focalLength));
    mUserData = std::move(data);
    return mUserData.get();
}

OSStatus CRAWMedia::GetDescription(MediaImageInfo* info)
{
    if (!info)
        return paramErr;
    if (IsMetadataOnly())
        return cantFindHandler;
    if (OSStatus status = CMedia::GetDescription(info))
        return status;
    info->recordKind = MediaImageInfo::kRawRecordKind;
    info->width = ClampToSInt16(mIdentity.imageWidth);
    info->height = ClampToSInt16(mIdentity.imageHeight);
    info->depth = SInt16(16 * mIdentity.colors);
    info->dataSize = SInt32(std::min<SInt64>(SInt64(mIdentity.imageWidth) * mIdentity.imageHeight * mIdentity.colors, 0x7FFFFFFF));
    return noErr;
}

OSStatus CRAWMedia::Export(GraphicsExporter* exporter)
{
    if (!exporter)
        return err_NilPointer;
    if (IsMetadataOnly())
        return cantFindHandler;
    if (!mDeepImage)
        return CQTImageBaseMedia::Export(exporter);
    // Sixteen bits a sample: drawn into a 48-bit world of the wanted size, not through 8 bits.
    return CatchCode([&] {
        Rect bounds;
        ThrowIfOSErr_(GetBoundsRect(&bounds));
        QImage deep(bounds.Width(), bounds.Height(), QImage::Format_RGBX64);
        if (deep.isNull())
            ThrowOSErr_(memFullErr);
        deep.fill(Qt::white);
        Offscreen world(std::move(deep), Point { bounds.top, bounds.left });
        ThrowIfOSErr_(DrawIntoOffscreen(world, false));
        exporter->SetInputOffscreen(world);
        ThrowIfOSErr_(exporter->DoExport());
    });
}

OSStatus CRAWMedia::GetThumbnailPicture(Picture* out)
{
    return IsMetadataOnly() ? OSStatus(cantFindHandler) : CQTImageBaseMedia::GetThumbnailPicture(out);
}

bool CRAWMedia::Validate()
{
    return !IsMetadataOnly() && CQTImageBaseMedia::Validate();
}

OSStatus CRAWMedia::Draw()
{
    return IsMetadataOnly() ? OSStatus(cantFindHandler) : CQTImageBaseMedia::Draw();
}

QString CopyRAWFileDescription(const QUrl& url)
{
    RawDecoder::Identity identity;
    const QString path = LocalPathOf(url);
    const OSStatus status = CatchCode([&] { identity = RawDecoder::Identify(path); });
    if (status == fnfErr)
        ThrowOSErr_(err_AssertFailed, "no raw file there");
    if (status == cantFindHandler || (status == noErr && !identity.decodable))
        return QString();
    if (status != noErr)
        ThrowOSErr_(err_NilPointer, "raw file could not be read");
    const QString kind = CopyLocalizedString(identity.isDNG ? QStringLiteral("603:54") : QStringLiteral("603:51"));
    if (kind.isEmpty())
        ThrowOSErr_(err_NilPointer, "raw kind text missing");
    return QStringLiteral("%1 %2 %3").arg(identity.decoderMake, identity.decoderModel, kind);
}
