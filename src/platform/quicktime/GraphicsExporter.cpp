#include "GraphicsExporter.h"

#include "ExceptionCode.h"
#include "FourCharCode.h"
#include "GraphicsImporter.h"
#include "ImageMetadata.h"
#include "Jpeg2000Writer.h"
#include "LStream.h"
#include "Modules.h"
#include "SafeSave.h"
#include "UserData.h"

#include <QBuffer>
#include <QColorSpace>
#include <gif_lib.h>
#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <QTemporaryFile>

#include <cmath>
#include <cstdio>
#include <tuple>

namespace {

struct ExportFormat {
    OSType type;
    const char* qtName; // null: one of our writers
    OSType extension;
    const char* name;
};

const ExportFormat kFormats[] = {
    { 'JPEG', "jpeg", 'jpg ', "JPEG" },
    { 'TIFF', "tiff", 'tif ', "TIFF" },
    { 'PNGf', "png", 'png ', "PNG" },
    { 'BMPf', "bmp", 'bmp ', "BMP" },
    { 'GIFf', nullptr, 'gif ', "GIF" },
    { 'jp2 ', nullptr, 'jp2 ', "JPEG 2000" },
    { 'PICT', nullptr, 'pct ', "PICT" },
    { '8BPS', nullptr, 'psd ', "Photoshop" },
};

const ExportFormat* FindFormat(OSType type)
{
    for (const ExportFormat& f : kFormats) {
        if (f.type == type)
            return &f;
    }
    return nullptr;
}

bool HasWriter(const ExportFormat& f)
{
    return !f.qtName || QImageWriter::supportedImageFormats().contains(QByteArray(f.qtName));
}

constexpr double kInchesPerMeter = 39.37007874;

} // namespace

QList<OSType> GraphicsExporter::AvailableTypes()
{
    QList<OSType> types;
    for (const ExportFormat& f : kFormats) {
        if (HasWriter(f))
            types.append(f.type);
    }
    return types;
}

bool GraphicsExporter::CanExport(OSType type)
{
    const ExportFormat* f = FindFormat(type);
    return f && HasWriter(*f);
}

OSStatus GraphicsExporter::Open(OSType type, std::unique_ptr<GraphicsExporter>& out)
{
    out.reset();
    if (!CanExport(type))
        return cantFindHandler;
    out.reset(new GraphicsExporter(type));
    return noErr;
}

QString GraphicsExporter::Name() const
{
    return QString::fromLatin1(FindFormat(mType)->name);
}

OSType GraphicsExporter::DefaultFileNameExtension() const
{
    return FindFormat(mType)->extension;
}

QString GraphicsExporter::DefaultExtensionText() const
{
    return FourCharCodeToQString(DefaultFileNameExtension()).trimmed().toLower();
}

QString GraphicsExporter::SettingsAsText() const
{
    QString text = Name();
    if (mType == 'JPEG' || mType == 'jp2 ')
        text += QStringLiteral(", quality %1%").arg(CodecQualityToPercent(mQuality));
    if (mHRes > 0)
        text += QStringLiteral(", %1 dpi").arg(FixedToDouble(mHRes));
    return text;
}

void GraphicsExporter::SetResolution(Fixed horizontal, Fixed vertical)
{
    mHRes = horizontal;
    mVRes = vertical;
}

void GraphicsExporter::SetThumbnailEnabled(bool enabled, int width, int height)
{
    mThumbnail = enabled;
    mThumbnailSize = QSize(std::max(1, width), std::max(1, height));
}

void GraphicsExporter::SetInputOffscreen(const Offscreen& world)
{
    mInputImage = world.Image();
    mInputImporter = nullptr;
    mInputPicture = Picture();
}

void GraphicsExporter::SetInputImporter(GraphicsImporter* importer)
{
    mInputImporter = importer;
    mInputImage = QImage();
    mInputPicture = Picture();
}

void GraphicsExporter::SetInputPicture(const Picture& picture)
{
    mInputPicture = picture;
    mInputImage = QImage();
    mInputImporter = nullptr;
}

OSStatus GraphicsExporter::InputImage(QImage& out)
{
    if (!mInputImage.isNull()) {
        out = mInputImage;
        return noErr;
    }
    if (!mInputPicture.IsNull())
        return mInputPicture.Render(out);
    if (!mInputImporter)
        return err_NilPointer;
    return CatchCode([&] {
        Rect bounds;
        ThrowIfOSErr_(mInputImporter->GetBoundsRect(&bounds));
        OffsetRect(bounds, -bounds.left, -bounds.top);
        Offscreen world(bounds);
        MatrixRecord saved;
        mInputImporter->GetMatrix(&saved);
        CGrafPtr savedPort = nullptr;
        mInputImporter->GetGWorld(&savedPort);
        Rect source;
        mInputImporter->GetSourceRect(&source);
        MatrixRecord atOrigin = saved;
        Rect current;
        mInputImporter->GetBoundsRect(&current);
        TranslateMatrix(atOrigin, -current.left << 16, -current.top << 16);
        mInputImporter->SetMatrix(&atOrigin);
        StOffscreenPort port(world);
        mInputImporter->SetGWorld(port.Port());
        OSStatus status = mInputImporter->Draw();
        port.End();
        mInputImporter->SetGWorld(savedPort);
        mInputImporter->SetMatrix(&saved);
        ThrowIfOSErr_(status);
        out = world.Image();
    });
}

std::pair<double, double> GraphicsExporter::Resolution(const QImage& image) const
{
    const double dpiX = mHRes > 0 ? FixedToDouble(mHRes) : (image.dotsPerMeterX() > 0 ? image.dotsPerMeterX() / kInchesPerMeter : 72.0);
    const double dpiY = mVRes > 0 ? FixedToDouble(mVRes) : (image.dotsPerMeterY() > 0 ? image.dotsPerMeterY() / kInchesPerMeter : 72.0);
    return {dpiX, dpiY};
}

OSStatus GraphicsExporter::WritePixels(const QImage& input, const QString& path)
{
    QImage image = input;
    const auto [dpiX, dpiY] = Resolution(image);
    image.setDotsPerMeterX(int(std::lround(dpiX * kInchesPerMeter)));
    image.setDotsPerMeterY(int(std::lround(dpiY * kInchesPerMeter)));

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return OSErrorFromFileError(file.error(), path);
    if (mType == 'PICT' || mType == '8BPS' || mType == 'GIFf' || mType == 'jp2 ') {
        QByteArray bytes;
        if (mType == 'PICT') {
            Picture picture = Picture::FromImage(image, MakeRect(0, 0, image.height(), image.width()));
            // The header records the resolution.
            bytes = picture.ToFileData();
            LDataStream r;
            r.WriteUInt32(UInt32(DoubleToFixed(dpiX)));
            r.WriteUInt32(UInt32(DoubleToFixed(dpiY)));
            // Extended header: after size, frame, version opcode, header opcode, -2 and a reserved word.
            bytes.replace(512 + 10 + 4 + 2 + 4, 8, r.Data());
        } else if (mType == 'GIFf') {
            OSStatus status = WriteGifFile(image, bytes);
            if (status != noErr)
                return status;
        } else if (mType == 'jp2 ') {
            OSStatus status = WriteJpeg2000File(image, mQuality, bytes);
            if (status != noErr)
                return status;
        } else {
            bytes = WritePhotoshopFile(image, dpiX, dpiY);
        }
        if (file.write(bytes) != bytes.size())
            return WriteFailureCode(errno);
        return FinishFileWrite(file);
    }
    if (image.hasAlphaChannel() && mType == 'JPEG')
        image = image.convertToFormat(QImage::Format_RGB32);
    if (!mProfile.isEmpty()) {
        QColorSpace space = QColorSpace::fromIccProfile(mProfile);
        if (space.isValid())
            image.setColorSpace(space);
    }
    // Encoded in memory and then written with every byte checked: Qt's TIFF
    // writer reports success after the device refused its bytes.
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, FindFormat(mType)->qtName);
    if (mType == 'JPEG' || mType == 'jp2 ')
        writer.setQuality(CodecQualityToPercent(mQuality));
    if (!writer.write(image))
        return codecErr;
    errno = 0;
    if (file.write(bytes) != bytes.size())
        return WriteFailureCode(errno);
    return FinishFileWrite(file);
}

OSStatus GraphicsExporter::DoExport()
{
    if (mOutput.isEmpty())
        return paramErr;
    // Checked again by the rename; this spares the decoding.
    if (!mReplaceExisting && QFileInfo(mOutput).exists())
        return dupFNErr;
    QImage image;
    OSStatus status = InputImage(image);
    if (status != noErr)
        return status;
    if (image.isNull())
        return codecErr;

    const QFileInfo target(mOutput);
    QTemporaryFile temp(target.absolutePath() + QStringLiteral("/.") + target.fileName() + QStringLiteral(".XXXXXX"));
    if (!temp.open())
        return OSErrorFromFileError(temp.error(), target.absolutePath());
    temp.close();
    status = WritePixels(image, temp.fileName());
    if (status != noErr)
        return status;

    ExportMetadata metadata;
    if (mExifEnabled && mMetaData) {
        metadata.exif = mMetaData;
        metadata.exifSource = mMetaDataSource;
    }
    metadata.iptc = mIPTC;
    if (!mProfile.isEmpty() && (mType == 'PNGf' || mType == 'JPEG' || mType == 'TIFF')
        && !QColorSpace::fromIccProfile(mProfile).isValid())
        metadata.iccProfile = mProfile; // Qt embeds the profiles it understands itself
    if (mThumbnail && mType == 'JPEG')
        metadata.thumbnail = image.scaled(mThumbnailSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    std::tie(metadata.dpiX, metadata.dpiY) = Resolution(image);
    if (metadata.exif || !metadata.iptc.isEmpty() || !metadata.iccProfile.isEmpty() || !metadata.thumbnail.isNull()) {
        status = WriteImageMetadata(temp.fileName(), metadata);
        if (status != noErr && status != cantFindHandler)
            return status;
    }

    QFile::setPermissions(temp.fileName(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
            | QFileDevice::ReadOther);
    const QByteArray from = QFile::encodeName(temp.fileName());
    const QByteArray to = QFile::encodeName(mOutput);
    if (mReplaceExisting) {
        if (std::rename(from.constData(), to.constData()) != 0)
            return ioErr;
    } else if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) != 0) {
        // A file system without the flag gets a link, which refuses an existing name too.
        if (errno != EINVAL && errno != ENOSYS)
            return errno == EEXIST ? dupFNErr : ioErr;
        if (::link(from.constData(), to.constData()) != 0)
            return errno == EEXIST ? dupFNErr : ioErr;
        ::unlink(from.constData());
    }
    temp.setAutoRemove(false);
    return SyncFolderOf(mOutput);
}

QByteArray WritePhotoshopFile(const QImage& input, double dpiX, double dpiY)
{
    QImage image = input.convertToFormat(QImage::Format_RGB32);
    LDataStream s;
    s.WriteBytes("8BPS");
    s.WriteUInt16(1);
    s.WriteBlock("\0\0\0\0\0\0", 6);
    s.WriteUInt16(3); // channels
    s.WriteUInt32(UInt32(image.height()));
    s.WriteUInt32(UInt32(image.width()));
    s.WriteUInt16(8);
    s.WriteUInt16(3); // RGB
    s.WriteUInt32(0); // no colour mode data
    // Image resources: ResolutionInfo (1005).
    LDataStream res;
    res.WriteBytes("8BIM");
    res.WriteUInt16(1005);
    res.WriteUInt16(0); // empty name, padded
    res.WriteUInt32(16);
    res.WriteUInt32(UInt32(DoubleToFixed(dpiX)));
    res.WriteUInt16(1); // pixels per inch
    res.WriteUInt16(1);
    res.WriteUInt32(UInt32(DoubleToFixed(dpiY)));
    res.WriteUInt16(1);
    res.WriteUInt16(1);
    s.WriteUInt32(UInt32(res.GetLength()));
    s.WriteBytes(res.Data());
    s.WriteUInt32(0); // no layers
    s.WriteUInt16(0); // raw
    for (int c = 0; c < 3; ++c) {
        for (int y = 0; y < image.height(); ++y) {
            const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            QByteArray row(image.width(), '\0');
            for (int x = 0; x < image.width(); ++x)
                row[x] = char(c == 0 ? qRed(line[x]) : (c == 1 ? qGreen(line[x]) : qBlue(line[x])));
            s.WriteBytes(row);
        }
    }
    return s.TakeData();
}

namespace {
// giflib, loaded at the first GIF written rather than at start.
struct GifFunctions {
    decltype(&GifQuantizeBuffer) QuantizeBuffer = nullptr;
    decltype(&EGifOpen) Open = nullptr;
    decltype(&GifMakeMapObject) MakeMapObject = nullptr;
    decltype(&EGifPutScreenDesc) PutScreenDesc = nullptr;
    decltype(&EGifPutImageDesc) PutImageDesc = nullptr;
    decltype(&EGifPutLine) PutLine = nullptr;
    decltype(&GifFreeMapObject) FreeMapObject = nullptr;
    decltype(&EGifCloseFile) CloseFile = nullptr;
    bool loaded = false;
};

const GifFunctions& Gif()
{
    static const GifFunctions functions = [] {
        GifFunctions f;
        std::string error;
        f.loaded = LoadLibraryFunctions("libgif.so.7", error, [&f](void* library) {
            return (f.QuantizeBuffer = reinterpret_cast<decltype(&GifQuantizeBuffer)>(LibraryFunction(library, "GifQuantizeBuffer")))
                && (f.Open = reinterpret_cast<decltype(&EGifOpen)>(LibraryFunction(library, "EGifOpen")))
                && (f.MakeMapObject = reinterpret_cast<decltype(&GifMakeMapObject)>(LibraryFunction(library, "GifMakeMapObject")))
                && (f.PutScreenDesc = reinterpret_cast<decltype(&EGifPutScreenDesc)>(LibraryFunction(library, "EGifPutScreenDesc")))
                && (f.PutImageDesc = reinterpret_cast<decltype(&EGifPutImageDesc)>(LibraryFunction(library, "EGifPutImageDesc")))
                && (f.PutLine = reinterpret_cast<decltype(&EGifPutLine)>(LibraryFunction(library, "EGifPutLine")))
                && (f.FreeMapObject = reinterpret_cast<decltype(&GifFreeMapObject)>(LibraryFunction(library, "GifFreeMapObject")))
                && (f.CloseFile = reinterpret_cast<decltype(&EGifCloseFile)>(LibraryFunction(library, "EGifCloseFile")));
        });
        return f;
    }();
    return functions;
}

int AppendToByteArray(GifFileType* gif, const GifByteType* data, int length)
{
    static_cast<QByteArray*>(gif->UserData)->append(reinterpret_cast<const char*>(data), length);
    return length;
}
} // namespace

OSStatus WriteGifFile(const QImage& input, QByteArray& out)
{
    const QImage image = input.convertToFormat(QImage::Format_RGB32);
    const int width = image.width(), height = image.height();
    if (width < 1 || height < 1 || width > 65535 || height > 65535)
        return paramErr;
    if (!Gif().loaded)
        return cantFindHandler;
    // GIF holds 256 colours: giflib's median-cut quantizer picks them.
    const size_t count = size_t(width) * size_t(height);
    std::vector<GifByteType> red(count), green(count), blue(count), indexes(count);
    for (int y = 0; y < height; ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            const size_t i = size_t(y) * size_t(width) + size_t(x);
            red[i] = GifByteType(qRed(line[x]));
            green[i] = GifByteType(qGreen(line[x]));
            blue[i] = GifByteType(qBlue(line[x]));
        }
    }
    int colours = 256;
    std::vector<GifColorType> palette(256);
    if (Gif().QuantizeBuffer(unsigned(width), unsigned(height), &colours, red.data(), green.data(), blue.data(),
            indexes.data(), palette.data())
        != GIF_OK)
        return codecErr;
    out.clear();
    int error = 0;
    GifFileType* gif = Gif().Open(&out, AppendToByteArray, &error);
    if (!gif)
        return codecErr;
    ColorMapObject* map = Gif().MakeMapObject(256, palette.data());
    bool ok = map && Gif().PutScreenDesc(gif, width, height, 8, 0, map) == GIF_OK
        && Gif().PutImageDesc(gif, 0, 0, width, height, false, nullptr) == GIF_OK;
    for (int y = 0; ok && y < height; ++y)
        ok = Gif().PutLine(gif, indexes.data() + size_t(y) * size_t(width), width) == GIF_OK;
    if (map)
        Gif().FreeMapObject(map);
    if (Gif().CloseFile(gif, &error) != GIF_OK)
        ok = false;
    return ok ? noErr : codecErr;
}
