#include "GraphicsImporter.h"

#include "ExceptionCode.h"
#include "ImageMetadata.h"
#include "StoredResolution.h"
#include "ImageSources.h"
#include "LStream.h"
#include "PostScriptConverter.h"
#include "RegularFile.h"
#include "UserData.h"

#include <QPainter>

#include <cmath>

namespace {

constexpr qint64 kMaxFileBytes = qint64(1) << 31; // larger files are refused rather than read whole
constexpr qint64 kHeaderBytes = 64 * 1024; // read first: most JPEG headers end within it
constexpr Fixed kDefaultResolution = 72 << 16; // dots per inch where a file records none

} // namespace

GraphicsImporter::~GraphicsImporter() = default;

OSStatus GraphicsImporter::OpenFile(const QString& path, OSType typeHint, std::unique_ptr<GraphicsImporter>& out)
{
    out.reset();
    // One open says whether it is a regular file, how large, and reads it.
    RegularFile file;
    if (const OSStatus status = file.Open(path); status != noErr)
        return status == permErr || status == ioErr ? status : fnfErr;
    const qint64 fileSize = file.Size();
    if (fileSize > kMaxFileBytes)
        return memFullErr;
    QByteArray data;
    if (const OSStatus status = file.ReadAt(0, kHeaderBytes, data); status != noErr)
        return status;
    if (data.startsWith("\xFF\xD8\xFF") && typeHint != 'EPSF') {
        // A JPEG's size, colour profile, metadata and camera preview are all in its
        // header: the rest of the file is read only when its pixels are wanted.
        qsizetype header;
        while ((header = JpegScanStart(data)) < 0 && data.size() < fileSize) {
            QByteArray more;
            if (file.ReadAt(data.size(), data.size(), more) != noErr || more.isEmpty())
                break;
            data += more;
        }
        if (header > 0 && data.size() < fileSize) {
            data.truncate(header);
            auto readWhole = [path, data] {
                QByteArray bytes;
                ReadRegularFile(path, bytes, kMaxFileBytes);
                // A file changed since its header was read is not mixed with it.
                return bytes.startsWith(data) ? bytes : QByteArray();
            };
            std::unique_ptr<GraphicsImporter> importer;
            if (Open(data, path, typeHint, importer, readWhole, fileSize) == noErr && importer->FormatType() == 'JPEG') {
                out = std::move(importer);
                return noErr;
            }
            data.clear();
        }
    }
    if (data.size() < fileSize) {
        QByteArray rest;
        if (const OSStatus status = file.ReadAt(data.size(), fileSize - data.size(), rest); status != noErr)
            return status;
        data += rest;
    }
    if (data.startsWith("%!PS") || data.startsWith("\xC5\xD0\xD3\xC6") || typeHint == 'EPSF') {
        // PostScript is turned into PDF first.
        QByteArray pdf;
        OSStatus status = ConvertPostScriptToPDF(path, pdf);
        if (status != noErr)
            return status;
        data = pdf;
        typeHint = 'PDF ';
    }
    return Open(data, path, typeHint, out);
}

OSStatus GraphicsImporter::OpenData(const QByteArray& data, OSType typeHint, std::unique_ptr<GraphicsImporter>& out)
{
    out.reset();
    return Open(data, QString(), typeHint, out);
}

OSStatus GraphicsImporter::OpenImage(const QImage& image, OSType formatType, std::unique_ptr<GraphicsImporter>& out)
{
    out.reset();
    if (image.isNull())
        return codecBadDataErr;
    return CatchCode([&] {
        std::unique_ptr<GraphicsImporter> importer(new GraphicsImporter);
        importer->mSource = MakeImageSourceForPixels(image, formatType);
        ThrowIfOSErr_(importer->ResetForImage());
        out = std::move(importer);
    });
}

OSStatus GraphicsImporter::Open(const QByteArray& data, const QString& path, OSType typeHint,
    std::unique_ptr<GraphicsImporter>& out, std::function<QByteArray()> readWhole, qint64 fileSize)
{
    return CatchCode([&] {
        std::unique_ptr<GraphicsImporter> importer(new GraphicsImporter);
        importer->mData = data;
        importer->mFileSize = fileSize;
        importer->mPath = path;
        ThrowIfOSErr_(MakeImageSource(importer->mData, typeHint, importer->mSource, std::move(readWhole)));
        ThrowIfOSErr_(importer->ResetForImage());
        out = std::move(importer);
    });
}

OSType GraphicsImporter::FormatType() const
{
    return mSource->FormatType();
}

OSStatus GraphicsImporter::ResetForImage()
{
    QSize size;
    OSStatus status = mSource->Size(mIndex, size);
    if (status != noErr)
        return status;
    if (size.isEmpty() || size.width() > 32767 || size.height() > 32767)
        return codecBadDataErr;
    mNatural = MakeRect(0, 0, size.height(), size.width());
    mSourceRect = mNatural;
    SetIdentityMatrix(mMatrix);
    return noErr;
}

OSStatus GraphicsImporter::GetNaturalBounds(Rect* out)
{
    if (!out)
        return paramErr;
    *out = mNatural;
    return noErr;
}

OSStatus GraphicsImporter::GetImageCount(SInt32* count)
{
    if (!count)
        return paramErr;
    *count = mSource->ImageCount();
    return noErr;
}

OSStatus GraphicsImporter::SetImageIndex(SInt32 index)
{
    if (index < 1 || index > mSource->ImageCount())
        return invalidImageIndexErr;
    if (index == mIndex)
        return noErr;
    const SInt32 previous = mIndex;
    mIndex = index;
    OSStatus status = ResetForImage();
    if (status != noErr) {
        mIndex = previous;
        ResetForImage();
    }
    return status;
}

OSStatus GraphicsImporter::GetImageIndex(SInt32* index) const
{
    if (!index)
        return paramErr;
    *index = mIndex;
    return noErr;
}

OSStatus GraphicsImporter::SetSourceRect(const Rect* r)
{
    if (!r)
        return paramErr;
    Rect bounds;
    GetBoundsRect(&bounds);
    mSourceRect = *r;
    RectMatrix(mMatrix, mSourceRect, bounds); // the bounds stay where they were
    return noErr;
}

OSStatus GraphicsImporter::GetSourceRect(Rect* r)
{
    if (!r)
        return paramErr;
    *r = mSourceRect;
    return noErr;
}

OSStatus GraphicsImporter::SetBoundsRect(const Rect* r)
{
    if (!r)
        return paramErr;
    RectMatrix(mMatrix, mSourceRect, *r);
    return noErr;
}

OSStatus GraphicsImporter::GetBoundsRect(Rect* r)
{
    if (!r)
        return paramErr;
    *r = TransformRect(mMatrix, mSourceRect);
    return noErr;
}

OSStatus GraphicsImporter::SetMatrix(const MatrixRecord* m)
{
    if (!m)
        return paramErr;
    mMatrix = *m;
    return noErr;
}

OSStatus GraphicsImporter::GetMatrix(MatrixRecord* m) const
{
    if (!m)
        return paramErr;
    *m = mMatrix;
    return noErr;
}

OSStatus GraphicsImporter::SetQuality(CodecQ quality)
{
    mQuality = std::min<CodecQ>(quality, codecLosslessQuality);
    return noErr;
}

OSStatus GraphicsImporter::GetQuality(CodecQ* quality) const
{
    if (!quality)
        return paramErr;
    *quality = mQuality;
    return noErr;
}

OSStatus GraphicsImporter::SetGraphicsMode(SInt32 mode, const QColor* opColor)
{
    mMode = mode;
    if (opColor)
        mOpColor = *opColor;
    return noErr;
}

OSStatus GraphicsImporter::GetGraphicsMode(SInt32* mode, QColor* opColor) const
{
    if (mode)
        *mode = mMode;
    if (opColor)
        *opColor = mOpColor;
    return noErr;
}

OSStatus GraphicsImporter::SetFlags(SInt32 flags)
{
    mFlags = flags;
    return noErr;
}

OSStatus GraphicsImporter::GetFlags(SInt32* flags) const
{
    if (!flags)
        return paramErr;
    *flags = mFlags;
    return noErr;
}

OSStatus GraphicsImporter::SetGWorld(CGrafPtr port)
{
    mPort = port;
    return noErr;
}

OSStatus GraphicsImporter::GetGWorld(CGrafPtr* port) const
{
    if (!port)
        return paramErr;
    *port = mPort;
    return noErr;
}

OSStatus GraphicsImporter::DecodeImage(QSize wanted, QImage& out)
{
    return mSource->Decode(mIndex, wanted, out);
}

OSStatus GraphicsImporter::Draw()
{
    if (!mPort || !mPort->isActive())
        return err_NilPointer;
    if (mSourceRect.IsEmpty())
        return noErr;
    // Ask the decoder only for the pixels the port will show.
    const QTransform toDevice = mMatrix.transform * mPort->combinedTransform();
    const QRectF shown = toDevice.mapRect(QRectF(ToQRect(mSourceRect)));
    const double scale = std::max(shown.width() / mSourceRect.Width(), shown.height() / mSourceRect.Height());
    QSize wanted;
    if (scale > 0 && scale < 1)
        wanted = QSize(int(std::ceil(mNatural.Width() * scale)), int(std::ceil(mNatural.Height() * scale)));
    QImage image;
    OSStatus status = mSource->Decode(mIndex, wanted, image);
    if (image.isNull())
        return status ? status : codecErr;

    const double sx = double(image.width()) / mNatural.Width();
    const double sy = double(image.height()) / mNatural.Height();
    QRectF target(ToQRect(mSourceRect));
    QRectF source(mSourceRect.left * sx, mSourceRect.top * sy, mSourceRect.Width() * sx, mSourceRect.Height() * sy);
    mPort->save();
    mPort->setWorldTransform(mMatrix.transform, true);
    mPort->setRenderHint(QPainter::SmoothPixmapTransform, mQuality >= codecNormalQuality);
    mPort->drawImage(target, image, source);
    mPort->restore();
    return status;
}

OSStatus GraphicsImporter::GetAsPicture(Picture& out)
{
    return CatchCode([&] {
        Rect bounds;
        ThrowIfOSErr_(GetBoundsRect(&bounds));
        Offscreen world(bounds);
        StOffscreenPort port(world);
        CGrafPtr saved = mPort;
        mPort = port.Port();
        OSStatus status = Draw();
        mPort = saved;
        port.End();
        ThrowIfOSErr_(status);
        out = Picture::FromOffscreen(world);
    });
}

OSStatus GraphicsImporter::DoesDrawAllPixels(SInt32* answer)
{
    if (!answer)
        return paramErr;
    *answer = mSource->DrawsAllPixels(mIndex);
    return noErr;
}

OSStatus GraphicsImporter::Validate(bool* valid)
{
    if (!valid)
        return paramErr;
    QImage image;
    OSStatus status = mSource->Decode(mIndex, QSize(32, 32), image);
    *valid = status == noErr && !image.isNull();
    return noErr;
}

OSStatus GraphicsImporter::GetImageDescription(ImageDescription& out)
{
    return CatchCode([&] {
        ImageDescription d;
        d.width = mNatural.Width();
        d.height = mNatural.Height();
        d.dataSize = SInt32(std::min<qint64>(mFileSize >= 0 ? mFileSize : mData.size(), 0x7FFFFFFF));
        d.frameCount = 1;
        mSource->Describe(mIndex, d);
        // The resolution as the file records it, 72 dpi where it records none:
        // decoders put a default density of their own on such images.
        const OSType format = mSource->FormatType();
        const StoredResolution stored = ReadStoredResolution(mData);
        if (stored.state == StoredResolution::kStored) {
            d.hRes = DoubleToFixed(stored.hDpi);
            d.vRes = DoubleToFixed(stored.vDpi);
        } else if (stored.state == StoredResolution::kNone || format == 'PDF ' || format == 'GIFf') {
            d.hRes = d.vRes = kDefaultResolution;
        } else if (format != 'PICT' && format != 'qtif') {
            // Other formats tell it with the decoded pixels; a small decode is enough.
            QImage probe;
            mSource->Decode(mIndex, QSize(std::min<int>(d.width, 64), std::min<int>(d.height, 64)), probe);
            if (probe.dotsPerMeterX() > 0 && probe.dotsPerMeterY() > 0) {
                d.hRes = DoubleToFixed(std::round(probe.dotsPerMeterX() * 0.0254 * 100) / 100);
                d.vRes = DoubleToFixed(std::round(probe.dotsPerMeterY() * 0.0254 * 100) / 100);
            }
        }
        out = d;
    });
}

void GraphicsImporter::SetUseEmbeddedPreview(bool use)
{
    mSource->SetUsePreview(use);
}

QByteArray GraphicsImporter::GetColorProfile()
{
    return mSource->IccProfile();
}

bool GraphicsImporter::GetIptcBlock(QByteArray& out)
{
    return !mSource->IsThumbnail(mIndex) && mSource->ReadIptcBlock(out);
}

OSStatus GraphicsImporter::GetMetaData(UserData& into)
{
    return CatchCode([&] {
        ImageDescription d;
        mSource->Describe(mIndex, d);
        if (mSource->IsThumbnail(mIndex)) {
            // The second image of a one-image file is its embedded thumbnail.
            into.AddUserData(QByteArray("n=th"), 'nth?');
            return;
        }
        ThrowIfOSErr_(mSource->ReadMetadata(mData, PStringToQString(d.name), into));
    });
}
