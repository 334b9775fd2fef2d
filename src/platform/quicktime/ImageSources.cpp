#include "ImageSources.h"

#include "ExceptionCode.h"
#include "ImageBands.h"
#include "ImageMetadata.h"
#include "JpegEighth.h"
#include "OpenJpegLibrary.h"
#include "PackBits.h"
#include "PdfPages.h"
#include "Picture.h"
#include "PictReader.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <cstring>

namespace {

constexpr int kMaxSide = 30000; // larger sides are refused before anything is allocated
constexpr qsizetype kJpegEndSearch = 4096; // bytes at a JPEG's end looked at first for its end marker

UInt16 BE16(const QByteArray& d, qsizetype at)
{
    return UInt16((UInt8(d[at]) << 8) | UInt8(d[at + 1]));
}
UInt32 BE32(const QByteArray& d, qsizetype at)
{
    return (UInt32(BE16(d, at)) << 16) | BE16(d, at + 2);
}

bool StartsWith(const QByteArray& d, const char* magic, int length)
{
    return d.size() >= length && std::memcmp(d.constData(), magic, size_t(length)) == 0;
}

// The size that keeps the aspect of `natural` and covers `wanted`.
QSize CoveringSize(QSize natural, QSize wanted)
{
    if (!wanted.isValid() || wanted.isEmpty() || wanted.width() >= natural.width()
        || wanted.height() >= natural.height())
        return natural;
    // A size fitted to the natural one (as thumbnail frames are, rounding down)
    // is taken as it is: one scale straight to it, not a second to trim a pixel.
    const double shape = double(natural.width()) / natural.height();
    if (std::abs(wanted.width() - wanted.height() * shape) < 1.0
        || std::abs(wanted.height() - wanted.width() / shape) < 1.0)
        return wanted;
    double factor = std::max(double(wanted.width()) / natural.width(), double(wanted.height()) / natural.height());
    return QSize(std::max(1, int(std::ceil(natural.width() * factor))),
        std::max(1, int(std::ceil(natural.height() * factor))));
}

SInt16 DepthOfFormat(QImage::Format format, bool* hasTable, bool* sixteen)
{
    *hasTable = false;
    *sixteen = false;
    switch (format) {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
        *hasTable = true;
        return 1;
    case QImage::Format_Indexed8:
        *hasTable = true;
        return 8;
    case QImage::Format_Grayscale8:
        return 40;
    case QImage::Format_Grayscale16:
        *sixteen = true;
        return 40;
    case QImage::Format_RGBX64:
        *sixteen = true;
        return 24;
    case QImage::Format_RGBA64:
    case QImage::Format_RGBA64_Premultiplied:
        *sixteen = true;
        return 32;
    case QImage::Format_RGB32:
    case QImage::Format_RGB888:
    case QImage::Format_BGR888:
    case QImage::Format_RGBX8888:
        return 24;
    case QImage::Format_RGB16:
    case QImage::Format_RGB555:
        return 16;
    default:
        return 32;
    }
}

// What a JPEG header says of its picture, read without the decoder.
struct JpegFrame {
    QSize size;
    int components = 0;
};

// Reads a JPEG header up to its first scan the way the decoder reads it, and
// answers only for headers the decoder would take as they stand: an 8-bit
// sequential or progressive Huffman frame of 1, 3 or 4 components, well-formed
// tables and a scan naming the frame's components. Anything else (other codings,
// stray bytes, damaged tables) is false, and the decoder is asked.
bool ReadJpegFrame(const QByteArray& d, JpegFrame& out)
{
    if (!StartsWith(d, "\xFF\xD8", 2))
        return false;
    std::array<UInt8, 4> ids {};
    JpegFrame frame;
    qsizetype pos = 2;
    while (pos + 4 <= d.size()) {
        if (UInt8(d[pos]) != 0xFF)
            return false;
        const UInt8 marker = UInt8(d[pos + 1]);
        const qsizetype length = BE16(d, pos + 2);
        const qsizetype at = pos + 4; // the segment's contents
        const qsizetype n = length - 2;
        if (length < 2 || at + n > d.size())
            return false;
        auto byte = [&](qsizetype i) { return UInt8(d[at + i]); };
        switch (marker) {
        case 0xC0:
        case 0xC1:
        case 0xC2: {
            if (frame.components > 0 || n < 6 || byte(0) != 8)
                return false;
            const int height = BE16(d, at + 1);
            const int width = BE16(d, at + 3);
            const int count = byte(5);
            if (width < 1 || height < 1 || (count != 1 && count != 3 && count != 4) || n != 6 + 3 * count)
                return false;
            for (int i = 0; i < count; ++i) {
                const UInt8 sampling = byte(7 + 3 * i);
                if ((sampling >> 4) < 1 || (sampling >> 4) > 4 || (sampling & 15) < 1 || (sampling & 15) > 4
                    || byte(8 + 3 * i) > 3)
                    return false;
                ids[size_t(i)] = byte(6 + 3 * i);
            }
            frame.size = QSize(width, height);
            frame.components = count;
            break;
        }
        case 0xC4:
            for (qsizetype i = 0; i < n;) {
                if (i + 17 > n || (byte(i) >> 4) > 1 || (byte(i) & 15) > 3)
                    return false;
                int total = 0;
                for (int k = 1; k <= 16; ++k)
                    total += byte(i + k);
                if (total > 256)
                    return false;
                i += 17 + total;
                if (i > n)
                    return false;
            }
            break;
        case 0xDB:
            for (qsizetype i = 0; i < n;) {
                if ((byte(i) & 15) > 3)
                    return false;
                i += 1 + ((byte(i) >> 4) ? 128 : 64);
                if (i > n)
                    return false;
            }
            break;
        case 0xDD:
            if (n != 2)
                return false;
            break;
        case 0xDA: {
            const int count = n >= 1 ? byte(0) : 0;
            if (frame.components == 0 || count < 1 || count > 4 || n != 4 + 2 * count)
                return false;
            for (int i = 0; i < count; ++i) {
                const UInt8 id = byte(1 + 2 * i);
                if (std::find(ids.begin(), ids.begin() + frame.components, id) == ids.begin() + frame.components)
                    return false;
            }
            out = frame;
            return true;
        }
        default:
            // Application data and comments are passed over; any other marker
            // before the first scan is the decoder's to judge.
            if (!((marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE))
                return false;
            break;
        }
        pos = at + n;
    }
    return false;
}

// --- Qt's image readers ---------------------------------------------------

struct QtFormat {
    QByteArray qtName;
    OSType fileType;
    OSType codec;
    const char* codecName;
};

const QtFormat kQtFormats[] = {
    { "jpeg", 'JPEG', 'jpeg', "Photo - JPEG" },
    { "png", 'PNGf', 'png ', "PNG" },
    { "gif", 'GIFf', 'gif ', "GIF" },
    { "bmp", 'BMPf', 'WRLE', "BMP" },
    { "tiff", 'TIFF', 'tiff', "TIFF" },
    { "webp", 'WEBP', 'webp', "WebP" },
    { "tga", 'TPIC', 'tga ', "Targa" },
    { "icns", 'icns', 'icns', "Icon" },
    { "ico", 'ICO ', 'ico ', "Windows Icon" },
    { "jp2", 'jp2 ', 'mjp2', "JPEG 2000" },
};

class QtSource : public ImageSource {
public:
    QtSource(const QByteArray& data, const QtFormat& format, std::function<QByteArray()> readWhole)
        : mData(data)
        , mFormat(format)
        , mReadWhole(std::move(readWhole))
        , mMetadata(mData)
    {
        // A JPEG header the decoder would take says all that is asked before the
        // pixels: one picture, its size and its kind.
        JpegFrame frame;
        if (mFormat.fileType == 'JPEG' && ReadJpegFrame(mData, frame)) {
            mHeaderSize = frame.size;
            mStoredFormat = frame.components == 1 ? QImage::Format_Grayscale8 : QImage::Format_RGB32;
            return;
        }
        QBuffer buffer(&mData);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, mFormat.qtName);
        mCount = std::max(1, reader.imageCount());
        mStoredFormat = reader.imageFormat();
    }

    OSStatus ReadMetadata(const QByteArray&, const QString& formatName, UserData& into) override
    {
        return mMetadata.Read(formatName, into);
    }

    bool ReadIptcBlock(QByteArray& out) override { return mMetadata.ReadIptcBlock(out); }

    OSType FormatType() const override { return mFormat.fileType; }
    bool CanDecodeScaled() const override { return mFormat.fileType == 'JPEG'; }
    SInt32 ImageCount() override { return mCount + (mCount == 1 && !Thumbnail().isEmpty() ? 1 : 0); }
    bool IsThumbnail(SInt32 index) const override { return index == 2 && mCount == 1 && !Thumbnail().isEmpty(); }

    OSStatus Size(SInt32 index, QSize& out) override
    {
        if (IsThumbnail(index)) {
            QImage thumb;
            OSStatus status = Decode(index, {}, thumb);
            out = thumb.size();
            return status;
        }
        if (index == 1 && mHeaderSize.isValid()) {
            out = mHeaderSize;
            return noErr;
        }
        QBuffer buffer(&mData);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, mFormat.qtName);
        if (index > 1 && !reader.jumpToImage(index - 1))
            return invalidImageIndexErr;
        out = reader.size();
        if (out.isValid() && !out.isEmpty())
            return noErr;
        QImage image;
        OSStatus status = Decode(index, {}, image);
        out = image.size();
        return status;
    }

    OSStatus Decode(SInt32 index, QSize wanted, QImage& out) override
    {
        if (index < 1 || index > ImageCount())
            return invalidImageIndexErr;
        if (index == mCachedIndex && !mCached.isNull()
            && (mCachedFull || (wanted.isValid() && mCached.width() >= wanted.width()
                                   && mCached.height() >= wanted.height()))) {
            out = mCached;
            return mCachedStatus;
        }
        OSStatus status = noErr;
        QImage image;
        bool full = true;
        if (IsThumbnail(index)) {
            image = QImage::fromData(Thumbnail());
            if (image.isNull())
                return codecBadDataErr;
        } else {
            std::unique_ptr<QBuffer> buffer;
            std::unique_ptr<QImageReader> reader;
            auto open = [&] {
                reader.reset();
                buffer = std::make_unique<QBuffer>(&mData);
                buffer->open(QIODevice::ReadOnly);
                reader = std::make_unique<QImageReader>(buffer.get(), mFormat.qtName);
                reader->setAutoTransform(false);
                return index == 1 || reader->jumpToImage(index - 1);
            };
            if (!open())
                return invalidImageIndexErr;
            QSize natural = reader->size();
            if (index == 1 && UsePreviewFor(natural, wanted)) {
                // A small request is served by the camera's own preview when it covers it
                // and has the picture's shape (previews with black bars do not).
                image = QImage::fromData(Thumbnail());
                if (!image.isNull()) {
                    mCached = image;
                    mCachedIndex = index;
                    mCachedFull = false;
                    mCachedStatus = noErr;
                    out = image;
                    return noErr;
                }
            }
            if (mReadWhole) {
                // Only the header was read: the pixels are wanted now.
                mData = mReadWhole();
                mReadWhole = nullptr;
                if (!open())
                    return invalidImageIndexErr;
            }
            bool eighth = false;
            if (CanDecodeScaled() && natural.isValid() && wanted.isValid()) {
                QSize scaled = CoveringSize(natural, wanted);
                if (scaled != natural) {
                    full = false;
                    // Up to an eighth of the size (a sixteenth where colour is subsampled), the
                    // blocks' DC terms are the picture: the rest of the data is only skipped over.
                    eighth = mFormat.fileType == 'JPEG' && DecodeJpegEighth(mData, scaled, image);
                    if (!eighth)
                        reader->setScaledSize(scaled);
                    else if (image.size() != scaled)
                        image = ScaledSmoothlyInThisThread(image, scaled); // thumbnails: on this worker alone
                }
            }
            if (eighth) {
                // As the general decoder labels its pictures.
                const QByteArray profile = IccProfile();
                if (!profile.isEmpty())
                    image.setColorSpace(QColorSpace::fromIccProfile(profile));
            } else if (!reader->read(&image) || image.isNull()) {
                return codecBadDataErr;
            }
            // Qt's readers draw what a cut file holds and say nothing; the fault is reported
            // here, and what decoded is kept.
            if ((mFormat.fileType == 'JPEG' && !JpegIsComplete(mData))
                || (mFormat.fileType == 'BMPf' && !BmpIsComplete(mData))
                || (mFormat.fileType == 'GIFf' && !GifIsComplete(mData)))
                status = codecBadDataErr;
            if (image.colorSpace().isValid() && mProfile.isEmpty())
                mProfile = image.colorSpace().iccProfile();
            // The main image's pixels have answered whether it has a profile: no second decode to probe.
            if (index == 1)
                mProfileProbed = true;
        }
        mCached = image;
        mCachedIndex = index;
        mCachedFull = full;
        mCachedStatus = status;
        out = image;
        return status;
    }

    void SetUsePreview(bool use) override { mUsePreview = use; }

    bool UsePreviewFor(QSize natural, QSize wanted)
    {
        if (!mUsePreview || !natural.isValid() || !wanted.isValid() || wanted.isEmpty() || Thumbnail().isEmpty())
            return false;
        if (!mThumbnailSize.isValid()) {
            QBuffer buffer(&mThumbnail);
            buffer.open(QIODevice::ReadOnly);
            mThumbnailSize = QImageReader(&buffer).size();
            if (!mThumbnailSize.isValid())
                mThumbnailSize = QSize(0, 0);
        }
        if (mThumbnailSize.isEmpty() || mThumbnailSize.width() < wanted.width()
            || mThumbnailSize.height() < wanted.height())
            return false;
        const double shape = double(natural.width()) / natural.height();
        const double previewShape = double(mThumbnailSize.width()) / mThumbnailSize.height();
        return std::abs(shape - previewShape) <= 0.01 * shape;
    }

    SInt32 DrawsAllPixels(SInt32 index) override
    {
        QImage::Format f = IsThumbnail(index) ? QImage::Format_RGB32 : mStoredFormat;
        if (f == QImage::Format_Invalid)
            return graphicsImporterDontKnowIfDrawAllPixels;
        return QImage(1, 1, f).hasAlphaChannel() ? graphicsImporterDoesntDrawAllPixels : graphicsImporterDrawsAllPixels;
    }

    void Describe(SInt32 index, ImageDescription& d) override
    {
        d.cType = mFormat.codec;
        d.name = Str31(mFormat.codecName);
        bool table = false, sixteen = false;
        QImage::Format f = IsThumbnail(index) ? QImage::Format_RGB32 : mStoredFormat;
        if (f == QImage::Format_Invalid) {
            QImage image;
            Decode(index, {}, image);
            f = image.format();
        }
        d.depth = DepthOfFormat(f, &table, &sixteen);
        d.sixteenBitsPerChannel = sixteen;
        if (table && !mCached.isNull())
            d.colorTable = mCached.colorTable();
        else if (table)
            d.colorTable = { qRgb(255, 255, 255), qRgb(0, 0, 0) };
    }

    QByteArray IccProfile() override
    {
        if (!mProfileProbed && mProfile.isEmpty()) {
            mProfileProbed = true;
            // JPEG, PNG and TIFF files say in their headers; pixels need not be decoded.
            bool answered = false;
            mProfile = ReadHeaderIccProfile(mData, &answered);
            if (answered)
                return mProfile;
            // Otherwise the profile comes with decoded pixels of the main image (never the preview's).
            QBuffer buffer(&mData);
            buffer.open(QIODevice::ReadOnly);
            QImageReader reader(&buffer, mFormat.qtName);
            const QSize natural = reader.size();
            if (CanDecodeScaled() && natural.isValid())
                reader.setScaledSize(CoveringSize(natural, QSize(std::max(1, natural.width() / 8), std::max(1, natural.height() / 8))));
            QImage probe;
            if (reader.read(&probe) && probe.colorSpace().isValid())
                mProfile = probe.colorSpace().iccProfile();
        }
        return mProfile;
    }

private:
    // The camera's preview, taken out of the metadata only when a picture is
    // wanted: reading a file's metadata does not need it.
    const QByteArray& Thumbnail() const
    {
        if (!mThumbnailRead) {
            mThumbnailRead = true;
            mThumbnail = mMetadata.EmbeddedThumbnail();
        }
        return mThumbnail;
    }

    QByteArray mData; // of a JPEG file, maybe only its header until the pixels are wanted
    QtFormat mFormat;
    std::function<QByteArray()> mReadWhole;
    ImageMetadataReader mMetadata;
    int mCount = 1;
    QSize mHeaderSize; // of the main picture, when read from a JPEG header
    QImage::Format mStoredFormat = QImage::Format_Invalid;
    mutable QByteArray mThumbnail;
    mutable bool mThumbnailRead = false;
    QSize mThumbnailSize;
    QByteArray mProfile;
    bool mProfileProbed = false;
    bool mUsePreview = true;
    QImage mCached;
    SInt32 mCachedIndex = 0;
    bool mCachedFull = false;
    OSStatus mCachedStatus = noErr;
};

// --- pictures ---------------------------------------------------------------

class PictSource : public ImageSource {
public:
    explicit PictSource(Picture picture, const PictInfo& info)
        : mPicture(std::move(picture))
        , mInfo(info)
    {
    }
    OSType FormatType() const override { return 'PICT'; }
    bool CanDecodeScaled() const override { return true; }
    OSStatus Size(SInt32, QSize& out) override
    {
        out = QSize(mInfo.frame.Width(), mInfo.frame.Height());
        return noErr;
    }
    OSStatus Decode(SInt32 index, QSize wanted, QImage& out) override
    {
        if (index != 1)
            return invalidImageIndexErr;
        QSize size = CoveringSize(QSize(mInfo.frame.Width(), mInfo.frame.Height()), wanted);
        if (!DecodedImageFits(size.width(), size.height()))
            return memFullErr;
        out = QImage(size, QImage::Format_ARGB32_Premultiplied);
        if (out.isNull())
            return memFullErr;
        out.fill(Qt::white);
        QPainter painter(&out);
        return mPicture.Draw(painter, MakeRect(0, 0, size.height(), size.width()));
    }
    void Describe(SInt32, ImageDescription& d) override
    {
        d.cType = 'PICT';
        d.name = Str31("PICT");
        d.depth = SInt16(mInfo.depth ? mInfo.depth : 32);
        d.hRes = mInfo.hRes;
        d.vRes = mInfo.vRes;
        if (mInfo.hasColorTable)
            d.colorTable = { qRgb(255, 255, 255), qRgb(0, 0, 0) };
    }

private:
    Picture mPicture;
    PictInfo mInfo;
};

// --- PDF, first page --------------------------------------------------------

class PdfSource : public ImageSource {
public:
    explicit PdfSource(std::unique_ptr<PdfPage> page)
        : mPage(std::move(page))
        , mPoints(mPage->Points())
    {
    }
    bool IsUsable() const { return mPoints.width() >= 1 && mPoints.height() >= 1; }
    OSType FormatType() const override { return 'PDF '; }
    bool CanDecodeScaled() const override { return true; }
    OSStatus Size(SInt32, QSize& out) override
    {
        out = QSize(int(std::lround(mPoints.width())), int(std::lround(mPoints.height())));
        return noErr;
    }
    OSStatus Decode(SInt32 index, QSize wanted, QImage& out) override
    {
        if (index != 1)
            return invalidImageIndexErr;
        QSize natural;
        Size(1, natural);
        QSize size = wanted.isValid() && !wanted.isEmpty() ? wanted.expandedTo(QSize(1, 1)) : natural;
        double dpiX = 72.0 * size.width() / mPoints.width();
        double dpiY = 72.0 * size.height() / mPoints.height();
        if (size.width() > kMaxSide || size.height() > kMaxSide)
            return memFullErr;
        out = mPage->Render(dpiX, dpiY);
        return out.isNull() ? codecErr : noErr;
    }
    SInt32 DrawsAllPixels(SInt32) override { return graphicsImporterDrawsAllPixels; }
    void Describe(SInt32, ImageDescription& d) override
    {
        d.cType = 'PDF ';
        d.name = Str31("PDF");
        d.depth = 32;
    }

private:
    std::unique_ptr<PdfPage> mPage;
    QSizeF mPoints;
};

// --- JPEG 2000 through OpenJPEG ----------------------------------------------

struct MemoryStream {
    const QByteArray* data;
    OPJ_OFF_T position = 0;
};

OPJ_SIZE_T ReadMemory(void* buffer, OPJ_SIZE_T count, void* user)
{
    auto* m = static_cast<MemoryStream*>(user);
    const OPJ_OFF_T left = m->data->size() - m->position;
    if (left <= 0)
        return OPJ_SIZE_T(-1);
    const OPJ_SIZE_T n = std::min<OPJ_SIZE_T>(count, OPJ_SIZE_T(left));
    std::memcpy(buffer, m->data->constData() + m->position, n);
    m->position += OPJ_OFF_T(n);
    return n;
}

OPJ_OFF_T SkipMemory(OPJ_OFF_T count, void* user)
{
    auto* m = static_cast<MemoryStream*>(user);
    const OPJ_OFF_T target = std::clamp<OPJ_OFF_T>(m->position + count, 0, m->data->size());
    const OPJ_OFF_T moved = target - m->position;
    m->position = target;
    return moved;
}

OPJ_BOOL SeekMemory(OPJ_OFF_T to, void* user)
{
    auto* m = static_cast<MemoryStream*>(user);
    if (to < 0 || to > m->data->size())
        return OPJ_FALSE;
    m->position = to;
    return OPJ_TRUE;
}

void QuietHandler(const char*, void*) {}

// One decode of a JPEG 2000 file or code stream, at 1 / 2^reduce of its size.
class Jpeg2000Decode {
public:
    Jpeg2000Decode(const QByteArray& data, int reduce)
        : mMemory { &data }
        , mOpj(OpenJpeg())
    {
        if (!mOpj)
            return;
        const bool boxed = StartsWith(data, "\0\0\0\x0CjP  ", 8);
        mCodec = mOpj->create_decompress(boxed ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
        mOpj->set_error_handler(mCodec, QuietHandler, nullptr);
        mOpj->set_warning_handler(mCodec, QuietHandler, nullptr);
        mOpj->set_info_handler(mCodec, QuietHandler, nullptr);
        opj_dparameters_t parameters;
        mOpj->set_default_decoder_parameters(&parameters);
        mOpj->setup_decoder(mCodec, &parameters);
        mStream = mOpj->stream_create(64 * 1024, OPJ_TRUE);
        mOpj->stream_set_user_data(mStream, &mMemory, nullptr);
        mOpj->stream_set_user_data_length(mStream, OPJ_UINT64(data.size()));
        mOpj->stream_set_read_function(mStream, ReadMemory);
        mOpj->stream_set_skip_function(mStream, SkipMemory);
        mOpj->stream_set_seek_function(mStream, SeekMemory);
        mHeaderRead = mOpj->read_header(mStream, mCodec, &mImage);
        if (mHeaderRead && reduce > 0)
            mOpj->set_decoded_resolution_factor(mCodec, OPJ_UINT32(reduce));
    }
    ~Jpeg2000Decode()
    {
        if (!mOpj)
            return;
        if (mImage)
            mOpj->image_destroy(mImage);
        mOpj->stream_destroy(mStream);
        mOpj->destroy_codec(mCodec);
    }

    // Whether the JPEG 2000 library could be loaded.
    bool Available() const { return mOpj != nullptr; }

    // The full size from the header.
    QSize HeaderSize() const
    {
        if (!mHeaderRead || !mImage)
            return {};
        return QSize(int(mImage->x1 - mImage->x0), int(mImage->y1 - mImage->y0));
    }

    OSStatus Decode(QImage& out)
    {
        QSize size = HeaderSize();
        if (!size.isValid() || size.width() > kMaxSide || size.height() > kMaxSide || mImage->numcomps < 1)
            return codecBadDataErr;
        if (!mOpj->decode(mCodec, mStream, mImage) || !mOpj->end_decompress(mCodec, mStream))
            return codecBadDataErr;
        const opj_image_comp_t* comps = mImage->comps;
        const int count = int(mImage->numcomps);
        const int width = int(comps[0].w), height = int(comps[0].h);
        if (width < 1 || height < 1 || !comps[0].data)
            return codecBadDataErr;
        for (int c = 0; c < count; ++c) {
            if (!comps[c].data || comps[c].w < 1 || comps[c].h < 1 || comps[c].prec < 1 || comps[c].prec > 31)
                return codecBadDataErr;
        }
        const bool color = count >= 3;
        const bool alpha = count == 2 || count >= 4;
        if (!DecodedImageFits(width, height))
            return memFullErr;
        out = QImage(width, height, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        auto sample = [&](int c, int x, int y) {
            const opj_image_comp_t& comp = comps[c];
            // Subsampled components are stretched over the first one's grid.
            const int cx = std::min<int>(int(comp.w) - 1, int(qint64(x) * comp.w / width));
            const int cy = std::min<int>(int(comp.h) - 1, int(qint64(y) * comp.h / height));
            int v = comp.data[qsizetype(cy) * comp.w + cx];
            if (comp.sgnd)
                v += 1 << (comp.prec - 1);
            v = comp.prec > 8 ? v >> (comp.prec - 8) : v << (8 - comp.prec);
            return std::clamp(v, 0, 255);
        };
        for (int y = 0; y < height; ++y) {
            QRgb* line = reinterpret_cast<QRgb*>(out.scanLine(y));
            for (int x = 0; x < width; ++x) {
                const int r = sample(0, x, y);
                const int g = color ? sample(1, x, y) : r;
                const int b = color ? sample(2, x, y) : r;
                const int a = alpha ? sample(color ? 3 : 1, x, y) : 255;
                line[x] = qRgba(r, g, b, a);
            }
        }
        mDepth = SInt16(color ? (alpha ? 32 : 24) : 40);
        mSixteen = comps[0].prec > 8;
        return noErr;
    }
    SInt16 Depth() const { return mDepth; }
    bool Sixteen() const { return mSixteen; }

private:
    MemoryStream mMemory;
    const OpenJpegFunctions* mOpj;
    opj_codec_t* mCodec = nullptr;
    opj_stream_t* mStream = nullptr;
    opj_image_t* mImage = nullptr;
    bool mHeaderRead = false;
    SInt16 mDepth = 24;
    bool mSixteen = false;
};

// OpenJPEG draws what a cut code stream holds; the stream's own end tells a cut file.
bool Jpeg2000IsComplete(const QByteArray& d)
{
    auto endsWithEOC = [&](qsizetype end) { return end >= 2 && UInt8(d[end - 2]) == 0xFF && UInt8(d[end - 1]) == 0xD9; };
    if (!StartsWith(d, "\0\0\0\x0CjP  ", 8))
        return endsWithEOC(d.size());
    // Every box must fit in the file, and the code stream box must end its stream.
    qsizetype pos = 0;
    bool streamComplete = false;
    while (pos + 8 <= d.size()) {
        quint64 length = BE32(d, pos);
        const QByteArray type = d.mid(pos + 4, 4);
        qsizetype header = 8;
        if (length == 1) {
            if (pos + 16 > d.size())
                return false;
            length = (quint64(BE32(d, pos + 8)) << 32) | BE32(d, pos + 12);
            header = 16;
        } else if (length == 0) {
            length = quint64(d.size() - pos);
        }
        if (length < quint64(header) || length > quint64(d.size() - pos))
            return false;
        if (type == "jp2c")
            streamComplete = endsWithEOC(pos + qsizetype(length));
        pos += qsizetype(length);
    }
    return streamComplete && pos == d.size();
}

class Jpeg2000Source : public ImageSource {
public:
    Jpeg2000Source(const QByteArray& data, QSize size)
        : mData(data)
        , mSize(size)
    {
    }
    OSType FormatType() const override { return 'jp2 '; }
    bool CanDecodeScaled() const override { return true; }
    OSStatus Size(SInt32, QSize& out) override
    {
        out = mSize;
        return noErr;
    }
    OSStatus Decode(SInt32 index, QSize wanted, QImage& out) override
    {
        if (index != 1)
            return invalidImageIndexErr;
        // Each resolution level halves the size; take the smallest that still covers `wanted`.
        int reduce = 0;
        while (wanted.isValid() && !wanted.isEmpty() && reduce < 5 && (mSize.width() >> (reduce + 1)) >= wanted.width()
            && (mSize.height() >> (reduce + 1)) >= wanted.height())
            ++reduce;
        if (!mCached.isNull() && mCachedReduce <= reduce) {
            out = mCached;
            return Jpeg2000IsComplete(mData) ? noErr : codecBadDataErr;
        }
        auto decode = std::make_unique<Jpeg2000Decode>(mData, reduce);
        OSStatus status = decode->Decode(out);
        // A code stream with fewer resolution levels than asked fails: try at full size.
        if (status != noErr && reduce > 0) {
            decode = std::make_unique<Jpeg2000Decode>(mData, 0);
            status = decode->Decode(out);
            reduce = 0;
        }
        if (status == noErr) {
            mCached = out;
            mCachedReduce = reduce;
            mDepth = decode->Depth();
            mSixteen = decode->Sixteen();
            if (!Jpeg2000IsComplete(mData))
                status = codecBadDataErr;
        }
        return status;
    }
    SInt32 DrawsAllPixels(SInt32) override { return graphicsImporterDrawsAllPixels; }
    void Describe(SInt32, ImageDescription& d) override
    {
        d.cType = 'mjp2';
        d.name = Str31("JPEG 2000");
        d.depth = mDepth;
        d.sixteenBitsPerChannel = mSixteen;
    }

private:
    QByteArray mData;
    QSize mSize;
    QImage mCached;
    int mCachedReduce = 0;
    SInt16 mDepth = 24;
    bool mSixteen = false;
};

// --- formats decoded whole by our own readers --------------------------------

class DecodedSource : public ImageSource {
public:
    DecodedSource(OSType type, QImage image, ImageDescription desc, OSStatus status)
        : mType(type)
        , mImage(std::move(image))
        , mDesc(std::move(desc))
        , mStatus(status)
    {
    }
    OSType FormatType() const override { return mType; }
    OSStatus Size(SInt32, QSize& out) override
    {
        out = mImage.size();
        return noErr;
    }
    OSStatus Decode(SInt32 index, QSize, QImage& out) override
    {
        if (index != 1)
            return invalidImageIndexErr;
        out = mImage;
        return mStatus;
    }
    SInt32 DrawsAllPixels(SInt32) override { return graphicsImporterDrawsAllPixels; }
    void Describe(SInt32, ImageDescription& d) override
    {
        d.cType = mDesc.cType;
        d.name = mDesc.name;
        d.depth = mDesc.depth;
        d.colorTable = mDesc.colorTable;
        d.sixteenBitsPerChannel = mDesc.sixteenBitsPerChannel;
        d.extensions = mDesc.extensions;
    }

private:
    OSType mType;
    QImage mImage;
    ImageDescription mDesc;
    OSStatus mStatus;
};

OSStatus MakeDecoded(OSType type, const QByteArray& data, std::unique_ptr<ImageSource>& out,
    OSStatus (*decode)(const QByteArray&, QImage&, ImageDescription*))
{
    QImage image;
    ImageDescription desc;
    OSStatus status = decode(data, image, &desc);
    if (image.isNull())
        return status ? status : codecBadDataErr;
    out = std::make_unique<DecodedSource>(type, image, desc, status);
    return noErr;
}

OSStatus DecodeMacPaintWithDescription(const QByteArray& data, QImage& out, ImageDescription* desc)
{
    if (desc) {
        desc->cType = 'PNTG';
        desc->name = Str31("MacPaint");
        desc->depth = 1;
        desc->colorTable = { qRgb(255, 255, 255), qRgb(0, 0, 0) };
    }
    return DecodeMacPaint(data, out);
}

} // namespace

std::unique_ptr<ImageSource> MakeImageSourceForPixels(const QImage& image, OSType formatType)
{
    ImageDescription desc;
    desc.cType = 'raw ';
    desc.name = Str31("None");
    bool table = false, sixteen = false;
    desc.depth = DepthOfFormat(image.format(), &table, &sixteen);
    desc.sixteenBitsPerChannel = sixteen;
    if (sixteen && !image.hasAlphaChannel())
        desc.SetExtension('cspc', QByteArray("b48r"));
    return std::make_unique<DecodedSource>(formatType, image, desc, noErr);
}

// --- QuickTime Image files ------------------------------------------------------
// Atoms at the top level: 'idsc' an image description, 'idat' the image's data in that
// description's codec. The data is read by the reader of the codec's format; the file
// keeps its own description (codec, depth, name).

namespace {

constexpr OSType kImageDescriptionAtom = 'idsc';
constexpr OSType kImageDataAtom = 'idat';
constexpr int kAtomHeaderSize = 8;

struct QuickTimeImageAtoms {
    QByteArray description;
    QByteArray data;
};

// Every atom's size is checked against the bytes left; the first of each kind counts.
OSStatus ReadQuickTimeImageAtoms(const QByteArray& file, QuickTimeImageAtoms& out)
{
    qsizetype at = 0;
    bool haveDescription = false, haveData = false;
    while (at + kAtomHeaderSize <= file.size()) {
        quint64 size = BE32(file, at);
        const OSType type = BE32(file, at + 4);
        qsizetype header = kAtomHeaderSize;
        if (size == 1) { // a 64-bit size follows the type
            if (at + 16 > file.size())
                return codecBadDataErr;
            size = (quint64(BE32(file, at + 8)) << 32) | BE32(file, at + 12);
            header = 16;
        } else if (size == 0) { // to the end of the file
            size = quint64(file.size() - at);
        }
        if (size < quint64(header) || size > quint64(file.size() - at))
            return codecBadDataErr;
        const QByteArray body = file.mid(at + header, qsizetype(size) - header);
        if (type == kImageDescriptionAtom && !haveDescription) {
            out.description = body;
            haveDescription = true;
        } else if (type == kImageDataAtom && !haveData) {
            out.data = body;
            haveData = true;
        }
        at += qsizetype(size);
    }
    return haveDescription && haveData ? noErr : codecBadDataErr;
}

bool LooksLikeQuickTimeImage(const QByteArray& data)
{
    if (data.size() < kAtomHeaderSize)
        return false;
    const OSType first = BE32(data, 4);
    return first == kImageDescriptionAtom || first == kImageDataAtom;
}

// The file type whose reader takes a codec's data.
OSType FileTypeOfCodec(OSType codec)
{
    switch (codec) {
    case 'jpeg':
        return 'JPEG';
    case 'png ':
        return 'PNGf';
    case 'tiff':
        return 'TIFF';
    case 'gif ':
        return 'GIFf';
    case 'WRLE':
        return 'BMPf';
    case 'mjp2':
    case 'jp2 ':
        return 'jp2 ';
    case '8BPS':
        return '8BPS';
    case 'tga ':
        return 'TPIC';
    case 'SGI ':
        return '.SGI';
    default:
        return 0;
    }
}

// Uncompressed pixels ('raw '): 24-bit RGB or 32-bit ARGB rows, each row possibly padded.
OSStatus DecodeRawCodec(const ImageDescription& d, const QByteArray& data, QImage& out)
{
    const int bytesPerPixel = d.depth == 24 ? 3 : d.depth == 32 ? 4 : 0;
    if (bytesPerPixel == 0)
        return cantFindHandler;
    if (d.width < 1 || d.height < 1)
        return codecBadDataErr;
    const qsizetype rowBytes = data.size() / d.height;
    if (rowBytes < qsizetype(d.width) * bytesPerPixel)
        return codecBadDataErr;
    if (!DecodedImageFits(d.width, d.height))
        return memFullErr;
    out = QImage(d.width, d.height, bytesPerPixel == 4 ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < d.height; ++y) {
        const auto* row = reinterpret_cast<const UInt8*>(data.constData() + qsizetype(y) * rowBytes);
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < d.width; ++x, row += bytesPerPixel)
            line[x] = bytesPerPixel == 4 ? qRgba(row[1], row[2], row[3], row[0]) : qRgb(row[0], row[1], row[2]);
    }
    return noErr;
}

// The codec's reader behind the file's own type and description.
class QuickTimeImageSource : public ImageSource {
public:
    QuickTimeImageSource(std::unique_ptr<ImageSource> inner, const ImageDescription& stored)
        : mInner(std::move(inner))
        , mStored(stored)
    {
    }
    OSType FormatType() const override { return 'qtif'; }
    OSStatus Size(SInt32 index, QSize& out) override { return mInner->Size(index, out); }
    OSStatus Decode(SInt32 index, QSize wanted, QImage& out) override
    {
        const OSStatus status = mInner->Decode(index, wanted, out);
        // The file's description holds the resolution, whatever the data says.
        if (!out.isNull() && mStored.hRes > 0 && mStored.vRes > 0) {
            out.setDotsPerMeterX(int(std::lround(FixedToDouble(mStored.hRes) / 0.0254)));
            out.setDotsPerMeterY(int(std::lround(FixedToDouble(mStored.vRes) / 0.0254)));
        }
        return status;
    }
    bool CanDecodeScaled() const override { return mInner->CanDecodeScaled(); }
    SInt32 DrawsAllPixels(SInt32 index) override { return mInner->DrawsAllPixels(index); }
    void SetUsePreview(bool use) override { mInner->SetUsePreview(use); }
    void Describe(SInt32 index, ImageDescription& d) override
    {
        mInner->Describe(index, d);
        // The file's description holds the resolution, whatever the data says.
        if (mStored.hRes > 0 && mStored.vRes > 0) {
            d.hRes = mStored.hRes;
            d.vRes = mStored.vRes;
        }
        d.cType = mStored.cType;
        d.name = mStored.name;
        d.vendor = mStored.vendor;
        d.depth = mStored.depth;
        d.spatialQuality = mStored.spatialQuality;
        d.temporalQuality = mStored.temporalQuality;
    }
    QByteArray IccProfile() override
    {
        const QByteArray own = mStored.Extension('iicc');
        return own.isEmpty() ? mInner->IccProfile() : own;
    }

private:
    std::unique_ptr<ImageSource> mInner;
    ImageDescription mStored;
};

OSStatus MakeQuickTimeImageSource(const QByteArray& file, std::unique_ptr<ImageSource>& out)
{
    QuickTimeImageAtoms atoms;
    OSStatus status = ReadQuickTimeImageAtoms(file, atoms);
    if (status != noErr)
        return status;
    ImageDescription stored;
    status = CatchCode([&] { stored = ImageDescription::FromBytes(atoms.description); });
    if (status != noErr)
        return codecBadDataErr;
    std::unique_ptr<ImageSource> inner;
    if (stored.cType == 'raw ') {
        QImage pixels;
        status = DecodeRawCodec(stored, atoms.data, pixels);
        if (status != noErr)
            return status;
        inner = MakeImageSourceForPixels(pixels, 'qtif');
    } else {
        const OSType type = FileTypeOfCodec(stored.cType);
        if (type == 0)
            return cantFindHandler;
        // A QuickTime Image inside another is no such thing (and nesting must not recurse).
        if (LooksLikeQuickTimeImage(atoms.data))
            return codecBadDataErr;
        status = MakeImageSource(atoms.data, type, inner);
        if (status != noErr)
            return status;
    }
    out = std::make_unique<QuickTimeImageSource>(std::move(inner), stored);
    return noErr;
}

} // namespace

SInt32 ImageSource::DrawsAllPixels(SInt32)
{
    return graphicsImporterDontKnowIfDrawAllPixels;
}

void ImageSource::Describe(SInt32, ImageDescription&) {}

bool BmpIsComplete(const QByteArray& d)
{
    if (d.size() < 54)
        return false;
    auto le32 = [&](int at) {
        return UInt32(UInt8(d[at])) | (UInt32(UInt8(d[at + 1])) << 8) | (UInt32(UInt8(d[at + 2])) << 16)
            | (UInt32(UInt8(d[at + 3])) << 24);
    };
    const UInt32 fileSize = le32(2);
    if (fileSize > UInt32(d.size()))
        return false;
    // Uncompressed rows: the pixels must all be there even when the file size field is 0.
    const UInt32 offset = le32(10);
    const SInt32 width = SInt32(le32(18));
    const SInt32 height = SInt32(le32(22));
    const UInt16 bits = UInt16(UInt8(d[28]) | (UInt8(d[29]) << 8));
    const UInt32 compression = le32(30);
    if (compression == 0 && width > 0 && bits > 0) {
        const qint64 rowBytes = ((qint64(width) * bits + 31) / 32) * 4;
        if (qint64(offset) + rowBytes * std::abs(qint64(height)) > d.size())
            return false;
    }
    return true;
}

bool PngChunksFit(const QByteArray& d)
{
    // The PNG library takes an ancillary chunk (text, profile) whole into memory at the
    // length it declares; image data alone is streamed, so only it may be cut short.
    qsizetype at = 8;
    while (at + 8 <= d.size()) {
        const quint64 length = BE32(d, at);
        const bool imageData = d.mid(at + 4, 4) == "IDAT";
        if (d.mid(at + 4, 4) == "IEND")
            return true;
        if (length + 12 > quint64(d.size() - at))
            return imageData;
        at += qsizetype(length) + 12;
    }
    return true;
}

bool GifIsComplete(const QByteArray& d)
{
    // The trailer byte 0x3B ends every GIF stream; writers may pad after it with zeros.
    qsizetype end = d.size();
    while (end > 0 && d[end - 1] == '\0')
        --end;
    return end > 0 && UInt8(d[end - 1]) == 0x3B;
}

namespace {

// APP2 segments "ICC_PROFILE\0", sequence number, count, then a part of the profile.
QByteArray JpegIccProfile(const QByteArray& d)
{
    static const QByteArray kTag("ICC_PROFILE\0", 12);
    std::map<int, QByteArray> parts;
    qsizetype pos = 2;
    while (pos + 4 <= d.size() && UInt8(d[pos]) == 0xFF) {
        const UInt8 marker = UInt8(d[pos + 1]);
        if (marker == 0xFF) {
            ++pos;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9)
            break; // the profile comes before the pixels
        const qsizetype length = BE16(d, pos + 2);
        if (length < 2 || pos + 2 + length > d.size())
            break;
        if (marker == 0xE2 && length >= 2 + 14 && d.mid(pos + 4, 12) == kTag)
            parts[UInt8(d[pos + 16])] = d.mid(pos + 18, length - 16);
        pos += 2 + length;
    }
    QByteArray profile;
    int expected = 1;
    for (const auto& [sequence, part] : parts) {
        if (sequence != expected++)
            return {}; // a part missing: no profile rather than a wrong one
        profile += part;
    }
    return profile;
}

// The iCCP chunk: a name, a zero, the compression method (0) and the zlib stream.
QByteArray PngIccProfile(const QByteArray& d)
{
    qsizetype pos = 8;
    while (pos + 12 <= d.size()) {
        const qsizetype length = BE32(d, pos);
        const QByteArray type = d.mid(pos + 4, 4);
        if (length > d.size() - pos - 12)
            break;
        if (type == "iCCP") {
            const QByteArray chunk = d.mid(pos + 8, length);
            const qsizetype nameEnd = chunk.indexOf('\0');
            if (nameEnd < 1 || nameEnd + 2 > chunk.size() || chunk[nameEnd + 1] != 0)
                return {};
            // qUncompress wants the expected size in front; it grows past a guess too small.
            QByteArray stream = chunk.mid(nameEnd + 2);
            const UInt32 guess = UInt32(std::min<qsizetype>(stream.size() * 4, 1 << 24));
            stream.prepend(char(guess & 0xFF)).prepend(char((guess >> 8) & 0xFF));
            stream.prepend(char((guess >> 16) & 0xFF)).prepend(char(guess >> 24));
            return qUncompress(stream);
        }
        if (type == "IDAT" || type == "IEND")
            break;
        pos += 12 + length;
    }
    return {};
}

// Tag 34675 of the first directory.
QByteArray TiffIccProfile(const QByteArray& d)
{
    if (d.size() < 8)
        return {};
    const bool little = d.startsWith("II");
    auto u16 = [&](qsizetype at) {
        return little ? UInt16(UInt8(d[at]) | (UInt8(d[at + 1]) << 8)) : BE16(d, at);
    };
    auto u32 = [&](qsizetype at) {
        return little ? UInt32(u16(at)) | (UInt32(u16(at + 2)) << 16) : BE32(d, at);
    };
    const qsizetype ifd = u32(4);
    if (ifd < 8 || ifd + 2 > d.size())
        return {};
    const int count = u16(ifd);
    for (int i = 0; i < count; ++i) {
        const qsizetype entry = ifd + 2 + qsizetype(i) * 12;
        if (entry + 12 > d.size())
            return {};
        if (u16(entry) != 34675)
            continue;
        const qsizetype size = u32(entry + 4); // type UNDEFINED: one byte per count
        const qsizetype at = size <= 4 ? entry + 8 : qsizetype(u32(entry + 8));
        if (at < 0 || size > d.size() || at > d.size() - size)
            return {};
        return d.mid(at, size);
    }
    return {};
}

} // namespace

QByteArray ReadHeaderIccProfile(const QByteArray& data, bool* answered)
{
    QByteArray profile;
    bool known = true;
    if (StartsWith(data, "\xFF\xD8", 2))
        profile = JpegIccProfile(data);
    else if (StartsWith(data, "\x89PNG\r\n\x1A\n", 8))
        known = !(profile = PngIccProfile(data)).isEmpty(); // without one, gamma chunks may still describe it
    else if (StartsWith(data, "II*\0", 4) || StartsWith(data, "MM\0*", 4))
        profile = TiffIccProfile(data);
    else
        known = false;
    // Only a profile the decoder itself would take counts, as if the pixels had been read.
    if (!profile.isEmpty() && !QColorSpace::fromIccProfile(profile).isValid())
        profile.clear();
    if (answered)
        *answered = known;
    return profile;
}

qsizetype JpegScanStart(const QByteArray& d)
{
    // Walk the marker segments to the first scan.
    if (!StartsWith(d, "\xFF\xD8", 2))
        return -1;
    qsizetype pos = 2;
    while (pos + 4 <= d.size()) {
        if (UInt8(d[pos]) != 0xFF)
            return -1;
        UInt8 marker = UInt8(d[pos + 1]);
        if (marker == 0xFF) {
            ++pos;
            continue;
        }
        const qsizetype next = pos + 2 + BE16(d, pos + 2);
        if (marker == 0xDA)
            return next <= d.size() ? next : -1;
        pos = next;
    }
    return -1;
}

bool JpegIsComplete(const QByteArray& d)
{
    const qsizetype scanStart = JpegScanStart(d);
    if (scanStart < 0)
        return false;
    // The end marker is nearly always in the last bytes; the whole scan is
    // searched only for files with something appended after it.
    const qsizetype tail = std::max(scanStart, d.size() - kJpegEndSearch);
    return d.indexOf("\xFF\xD9", tail) >= 0 || (tail > scanStart && d.indexOf("\xFF\xD9", scanStart) >= 0);
}

OSStatus ImageSource::ReadMetadata(const QByteArray& data, const QString& formatName, UserData& into)
{
    return ReadImageMetadata(data, formatName, into);
}

OSStatus MakeImageSource(const QByteArray& data, OSType typeHint, std::unique_ptr<ImageSource>& out,
    std::function<QByteArray()> readWhole)
{
    out.reset();
    if (data.isEmpty())
        return codecBadDataErr;
    // Qt refuses images above 128 MB by default; photographs of 50 megapixels and more
    // are real, so the limit is raised once (sizes are still checked against it).
    static const bool limitRaised = [] {
        QImageReader::setAllocationLimit(2048);
        return true;
    }();
    (void)limitRaised;

    // FlashPix (an OLE compound file): no maintained reader exists for it.
    if (StartsWith(data, "\xD0\xCF\x11\xE0", 4) || typeHint == 'FPix')
        return cantFindHandler;
    if (typeHint == 'qtif' || LooksLikeQuickTimeImage(data))
        return MakeQuickTimeImageSource(data, out);
    if (StartsWith(data, "%PDF", 4)) {
        std::unique_ptr<PdfPage> page;
        if (const OSStatus status = OpenPdfFirstPage(data, page); status != noErr)
            return status;
        auto pdf = std::make_unique<PdfSource>(std::move(page));
        if (!pdf->IsUsable())
            return codecBadDataErr;
        out = std::move(pdf);
        return noErr;
    }
    if (StartsWith(data, "8BPS", 4))
        return MakeDecoded('8BPS', data, out, DecodePhotoshopComposite);
    if (data.size() >= 2 && BE16(data, 0) == 474)
        return MakeDecoded('.SGI', data, out, DecodeSGI);
    if (StartsWith(data, "\0\0\0\x0CjP  \r\n\x87\n", 12) || StartsWith(data, "\xFF\x4F\xFF\x51", 4)) {
        const Jpeg2000Decode header(data, 0);
        if (!header.Available())
            return cantFindHandler;
        const QSize size = header.HeaderSize();
        if (!size.isValid() || size.isEmpty())
            return codecBadDataErr;
        out = std::make_unique<Jpeg2000Source>(data, size);
        return noErr;
    }

    // Targa has no signature (Qt's reader wants the optional 2.0 footer, and its icon
    // reader claims such files): the file type decides.
    if (typeHint == 'TPIC')
        return MakeDecoded('TPIC', data, out, DecodeTarga);
    // MacPaint has no signature either; its version word can pass for an icon header.
    if (typeHint == 'PNTG')
        return MakeDecoded('PNTG', data, out, DecodeMacPaintWithDescription);

    // A JPEG stream is known by its first bytes, without asking every reader.
    QByteArray qtName;
    if (StartsWith(data, "\xFF\xD8\xFF", 3)) {
        qtName = QByteArrayLiteral("jpeg");
    } else {
        QBuffer buffer(const_cast<QByteArray*>(&data));
        buffer.open(QIODevice::ReadOnly);
        qtName = QImageReader::imageFormat(&buffer);
    }
    if (qtName == "png" && !PngChunksFit(data))
        return codecBadDataErr;
    for (const QtFormat& format : kQtFormats) {
        if (format.qtName == qtName) {
            out = std::make_unique<QtSource>(data, format, format.fileType == 'JPEG' ? std::move(readWhole) : nullptr);
            return noErr;
        }
    }

    qsizetype pictStart = FindPictStart(data);
    if (pictStart >= 0) {
        Picture picture(data.mid(pictStart));
        PictInfo info;
        picture.GetInfo(info);
        if (info.frame.IsEmpty())
            return codecBadDataErr;
        out = std::make_unique<PictSource>(picture, info);
        return noErr;
    }
    if (typeHint == 'PICT' || typeHint == 'JPEG' || typeHint == 'PNGf' || typeHint == 'TIFF' || typeHint == 'GIFf'
        || typeHint == 'BMPf' || typeHint == '8BPS')
        return codecBadDataErr; // it says what it is but is not
    return cantFindHandler;
}

// --- Photoshop composite -----------------------------------------------------

OSStatus DecodePhotoshopComposite(const QByteArray& d, QImage& out, ImageDescription* desc)
{
    return CatchCode([&] {
        constexpr int kHeader = 26;
        if (d.size() < kHeader || !StartsWith(d, "8BPS", 4) || BE16(d, 4) != 1)
            ThrowOSErr_(codecBadDataErr, "not a Photoshop file");
        const int channels = BE16(d, 12);
        const qint64 height = BE32(d, 14);
        const qint64 width = BE32(d, 18);
        const int depth = BE16(d, 22);
        const int mode = BE16(d, 24);
        if (channels < 1 || channels > 56 || width < 1 || height < 1 || width > kMaxSide || height > kMaxSide)
            ThrowOSErr_(codecBadDataErr, "Photoshop header out of range");
        if (depth != 1 && depth != 8 && depth != 16)
            ThrowOSErr_(cantFindHandler, "Photoshop depth " + std::to_string(depth));
        if (mode != 0 && mode != 1 && mode != 2 && mode != 3 && mode != 4 && mode != 8)
            ThrowOSErr_(cantFindHandler, "Photoshop colour mode " + std::to_string(mode));
        ThrowIfImageTooLarge(width, height, "Photoshop image");

        qsizetype pos = kHeader;
        auto section = [&](QByteArray* keep) {
            if (pos + 4 > d.size())
                ThrowOSErr_(codecBadDataErr, "Photoshop section cut short");
            qsizetype length = BE32(d, pos);
            pos += 4;
            if (length > d.size() - pos)
                ThrowOSErr_(codecBadDataErr, "Photoshop section longer than the file");
            if (keep)
                *keep = d.mid(pos, length);
            pos += length;
        };
        QByteArray palette;
        section(&palette);  // colour mode data
        section(nullptr);   // image resources
        section(nullptr);   // layers and masks
        if (pos + 2 > d.size())
            ThrowOSErr_(codecBadDataErr, "Photoshop image data missing");
        const int compression = BE16(d, pos);
        pos += 2;

        const qsizetype rowBytes = depth == 1 ? (width + 7) / 8 : width * (depth / 8);
        const int used = std::min(channels, mode == 3 ? 3 : (mode == 4 ? 4 : 1));
        std::vector<QByteArray> planes(static_cast<size_t>(used));
        if (compression == 0) {
            if (rowBytes * height * used > d.size() - pos)
                ThrowOSErr_(codecBadDataErr, "Photoshop raw data cut short");
            for (int c = 0; c < used; ++c)
                planes[size_t(c)] = d.mid(pos + c * rowBytes * height, rowBytes * height);
        } else if (compression == 1) {
            const qsizetype counts = qsizetype(channels) * height;
            if (counts * 2 > d.size() - pos)
                ThrowOSErr_(codecBadDataErr, "Photoshop row counts cut short");
            qsizetype data = pos + counts * 2;
            for (int c = 0; c < channels && c < used; ++c) {
                QByteArray& plane = planes[size_t(c)];
                plane.reserve(rowBytes * height);
                for (qint64 y = 0; y < height; ++y) {
                    qsizetype count = BE16(d, pos + (c * height + y) * 2);
                    if (count > d.size() - data)
                        ThrowOSErr_(codecBadDataErr, "Photoshop packed row past the end");
                    QByteArray row;
                    if (!PackBits::Unpack(d.constData() + data, count, row, rowBytes))
                        ThrowOSErr_(codecBadDataErr, "Photoshop packed row does not unpack");
                    plane.append(row);
                    data += count;
                }
            }
        } else {
            ThrowOSErr_(cantFindHandler, "Photoshop compression " + std::to_string(compression));
        }

        out = QImage(int(width), int(height), QImage::Format_RGB32);
        const int step = depth == 16 ? 2 : 1;
        for (int y = 0; y < height; ++y) {
            QRgb* line = reinterpret_cast<QRgb*>(out.scanLine(y));
            for (int x = 0; x < width; ++x) {
                auto sample = [&](int c) {
                    const QByteArray& p = planes[size_t(std::min(c, used - 1))];
                    if (depth == 1)
                        return (UInt8(p[y * rowBytes + x / 8]) >> (7 - x % 8)) & 1 ? 0 : 255;
                    return int(UInt8(p[y * rowBytes + x * step]));
                };
                switch (mode) {
                case 3:
                    line[x] = qRgb(sample(0), sample(1), sample(2));
                    break;
                case 4: { // CMYK is stored inverted: 255 is no ink
                    int k = sample(3);
                    line[x] = qRgb(sample(0) * k / 255, sample(1) * k / 255, sample(2) * k / 255);
                    break;
                }
                case 2: {
                    int i = sample(0);
                    if (palette.size() >= 768)
                        line[x] = qRgb(UInt8(palette[i]), UInt8(palette[256 + i]), UInt8(palette[512 + i]));
                    else
                        line[x] = qRgb(i, i, i);
                    break;
                }
                default:
                    line[x] = qRgb(sample(0), sample(0), sample(0));
                    break;
                }
            }
        }
        if (desc) {
            desc->cType = '8BPS';
            desc->name = Str31("Photoshop");
            desc->depth = SInt16(mode == 3 ? 24 : (mode == 4 ? 32 : (depth == 1 ? 1 : (mode == 2 ? 8 : 40))));
            desc->sixteenBitsPerChannel = depth == 16;
        }
    });
}

// --- SGI ---------------------------------------------------------------------

OSStatus DecodeSGI(const QByteArray& d, QImage& out, ImageDescription* desc)
{
    return CatchCode([&] {
        constexpr int kHeader = 512;
        if (d.size() < kHeader || BE16(d, 0) != 474)
            ThrowOSErr_(codecBadDataErr, "not an SGI image");
        const int storage = UInt8(d[2]);
        const int bpc = UInt8(d[3]);
        const int width = BE16(d, 6);
        const int height = BE16(d, 8);
        const int channels = std::max<int>(1, BE16(d, 10));
        if ((bpc != 1 && bpc != 2) || storage > 1 || width < 1 || height < 1 || channels > 4)
            ThrowOSErr_(codecBadDataErr, "SGI header out of range");
        ThrowIfImageTooLarge(width, height, "SGI image");
        const qsizetype rowBytes = qsizetype(width) * bpc;
        auto rowOf = [&](int y, int c, QByteArray& row) {
            if (storage == 0) {
                qsizetype at = kHeader + (qsizetype(c) * height + y) * rowBytes;
                if (at + rowBytes > d.size())
                    ThrowOSErr_(codecBadDataErr, "SGI data cut short");
                row = d.mid(at, rowBytes);
                return;
            }
            const qsizetype tables = qsizetype(height) * channels * 4;
            if (kHeader + 2 * tables > d.size())
                ThrowOSErr_(codecBadDataErr, "SGI offset tables cut short");
            qsizetype start = BE32(d, kHeader + (qsizetype(c) * height + y) * 4);
            qsizetype length = BE32(d, kHeader + tables + (qsizetype(c) * height + y) * 4);
            if (start > d.size() || length > d.size() - start)
                ThrowOSErr_(codecBadDataErr, "SGI row past the end");
            row = QByteArray(rowBytes, '\0');
            qsizetype in = start, outPos = 0, end = start + length;
            while (in + bpc <= end) {
                int count = bpc == 1 ? UInt8(d[in]) : BE16(d, in);
                in += bpc;
                int n = count & 0x7F;
                if (n == 0)
                    break;
                if (outPos + qsizetype(n) * bpc > rowBytes)
                    ThrowOSErr_(codecBadDataErr, "SGI run past its row");
                if (count & 0x80) {
                    if (in + qsizetype(n) * bpc > end)
                        ThrowOSErr_(codecBadDataErr, "SGI literal run past the end");
                    std::memcpy(row.data() + outPos, d.constData() + in, size_t(n) * bpc);
                    in += qsizetype(n) * bpc;
                } else {
                    if (in + bpc > end)
                        ThrowOSErr_(codecBadDataErr, "SGI repeat past the end");
                    for (int k = 0; k < n; ++k)
                        std::memcpy(row.data() + outPos + qsizetype(k) * bpc, d.constData() + in, size_t(bpc));
                    in += bpc;
                }
                outPos += qsizetype(n) * bpc;
            }
        };
        out = QImage(width, height, channels == 4 ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        QByteArray rows[4];
        for (int y = 0; y < height; ++y) {
            for (int c = 0; c < channels; ++c)
                rowOf(y, c, rows[c]);
            // Rows are stored from the bottom up.
            QRgb* line = reinterpret_cast<QRgb*>(out.scanLine(height - 1 - y));
            for (int x = 0; x < width; ++x) {
                auto v = [&](int c) { return int(UInt8(rows[std::min(c, channels - 1)][qsizetype(x) * bpc])); };
                int alpha = channels == 4 ? v(3) : 255;
                line[x] = channels >= 3 ? qRgba(v(0), v(1), v(2), alpha) : qRgba(v(0), v(0), v(0), alpha);
            }
        }
        if (desc) {
            desc->cType = 'SGI ';
            desc->name = Str31("SGI");
            desc->depth = SInt16(channels >= 3 ? (channels == 4 ? 32 : 24) : 40);
            desc->sixteenBitsPerChannel = bpc == 2;
        }
    });
}

// --- Targa -------------------------------------------------------------------

OSStatus DecodeTarga(const QByteArray& d, QImage& out, ImageDescription* desc)
{
    return CatchCode([&] {
        constexpr int kHeader = 18;
        if (d.size() < kHeader)
            ThrowOSErr_(codecBadDataErr, "Targa header cut short");
        auto le16 = [&](qsizetype at) { return int(UInt8(d[at]) | (UInt8(d[at + 1]) << 8)); };
        const int idLength = UInt8(d[0]);
        const int mapType = UInt8(d[1]);
        const int type = UInt8(d[2]);
        const int mapFirst = le16(3), mapLength = le16(5), mapBits = UInt8(d[7]);
        const int width = le16(12), height = le16(14), bits = UInt8(d[16]), descriptor = UInt8(d[17]);
        const bool rle = type >= 9;
        const int base = rle ? type - 8 : type;
        if ((base != 1 && base != 2 && base != 3) || width < 1 || height < 1 || mapType > 1)
            ThrowOSErr_(codecBadDataErr, "Targa header out of range");
        if (!(bits == 8 || bits == 15 || bits == 16 || bits == 24 || bits == 32) || (base != 2 && bits != 8))
            ThrowOSErr_(codecBadDataErr, "Targa depth " + std::to_string(bits));
        ThrowIfImageTooLarge(width, height, "Targa image");
        qsizetype pos = kHeader + idLength;
        QList<QRgb> palette;
        if (mapType == 1) {
            const int entryBytes = (mapBits + 7) / 8;
            if (entryBytes < 2 || entryBytes > 4 || pos + qsizetype(mapLength) * entryBytes > d.size())
                ThrowOSErr_(codecBadDataErr, "Targa colour map");
            palette = QList<QRgb>(256 + mapFirst + mapLength, qRgb(0, 0, 0));
            for (int i = 0; i < mapLength; ++i) {
                const UInt8* e = reinterpret_cast<const UInt8*>(d.constData() + pos + qsizetype(i) * entryBytes);
                palette[mapFirst + i] = entryBytes == 2
                    ? qRgb(((e[1] >> 2) & 0x1F) << 3, (((e[1] & 3) << 3) | (e[0] >> 5)) << 3, (e[0] & 0x1F) << 3)
                    : qRgb(e[2], e[1], e[0]);
            }
            pos += qsizetype(mapLength) * entryBytes;
        }
        const int pixelBytes = (bits + 7) / 8;
        const qsizetype total = qsizetype(width) * height * pixelBytes;
        QByteArray pixels;
        if (!rle) {
            if (pos + total > d.size())
                ThrowOSErr_(codecBadDataErr, "Targa pixels cut short");
            pixels = d.mid(pos, total);
        } else {
            // Room only for what the packets left could make (128 pixels from each).
            pixels.reserve(std::min(total, (d.size() - pos) * 128));
            while (pixels.size() < total) {
                if (pos >= d.size())
                    ThrowOSErr_(codecBadDataErr, "Targa packets cut short");
                const int header = UInt8(d[pos++]);
                const int count = (header & 0x7F) + 1;
                const qsizetype bytes = qsizetype(count) * pixelBytes;
                if (pixels.size() + bytes > total)
                    ThrowOSErr_(codecBadDataErr, "Targa packet past the image");
                if (header & 0x80) {
                    if (pos + pixelBytes > d.size())
                        ThrowOSErr_(codecBadDataErr, "Targa packet cut short");
                    for (int k = 0; k < count; ++k)
                        pixels.append(d.constData() + pos, pixelBytes);
                    pos += pixelBytes;
                } else {
                    if (pos + bytes > d.size())
                        ThrowOSErr_(codecBadDataErr, "Targa packet cut short");
                    pixels.append(d.constData() + pos, bytes);
                    pos += bytes;
                }
            }
        }
        const bool topDown = descriptor & 0x20;
        const bool alpha = bits == 32 && (descriptor & 0x0F) != 0;
        out = QImage(width, height, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        for (int y = 0; y < height; ++y) {
            const UInt8* src = reinterpret_cast<const UInt8*>(pixels.constData()) + qsizetype(y) * width * pixelBytes;
            QRgb* line = reinterpret_cast<QRgb*>(out.scanLine(topDown ? y : height - 1 - y));
            for (int x = 0; x < width; ++x) {
                const UInt8* p = src + qsizetype(x) * pixelBytes;
                if (base == 1)
                    line[x] = p[0] < palette.size() ? palette[p[0]] : qRgb(0, 0, 0);
                else if (base == 3)
                    line[x] = qRgb(p[0], p[0], p[0]);
                else if (pixelBytes == 2)
                    line[x] = qRgb(((p[1] >> 2) & 0x1F) << 3, (((p[1] & 3) << 3) | (p[0] >> 5)) << 3, (p[0] & 0x1F) << 3);
                else
                    line[x] = qRgba(p[2], p[1], p[0], alpha ? p[3] : 255);
            }
        }
        if (desc) {
            desc->cType = 'tga ';
            desc->name = Str31("Targa");
            desc->depth = SInt16(base == 3 ? 40 : (base == 1 ? 8 : (alpha ? 32 : (bits == 24 ? 24 : 16))));
            if (base == 1)
                desc->colorTable = palette.mid(mapFirst, mapLength);
        }
    });
}

// --- MacPaint ----------------------------------------------------------------

OSStatus DecodeMacPaint(const QByteArray& input, QImage& out)
{
    constexpr int kWidth = 576, kHeight = 720, kRowBytes = 72, kHeader = 512, kMacBinary = 128;
    QByteArray d = input;
    // A MacBinary wrapper names the type at offset 65.
    if (d.size() > kMacBinary + kHeader && d[0] == 0 && d.mid(65, 4) == "PNTG")
        d = d.mid(kMacBinary);
    if (d.size() <= kHeader)
        return codecBadDataErr;
    QByteArray bits;
    bool complete = PackBits::Unpack(d.constData() + kHeader, d.size() - kHeader, bits, kRowBytes * kHeight);
    out = QImage(kWidth, kHeight, QImage::Format_Mono);
    out.setColorTable({ qRgb(255, 255, 255), qRgb(0, 0, 0) });
    for (int y = 0; y < kHeight; ++y)
        std::memcpy(out.scanLine(y), bits.constData() + y * kRowBytes, kRowBytes);
    return complete ? noErr : codecBadDataErr;
}
