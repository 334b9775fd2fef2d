#pragma once

#include "GraphicsErrors.h"
#include "ImageDescription.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <functional>
#include <memory>

class UserData;

// What an importer says about whether it covers every pixel of its bounds.
enum : SInt32 {
    graphicsImporterDrawsAllPixels = 0,
    graphicsImporterDoesntDrawAllPixels = 1,
    graphicsImporterDontKnowIfDrawAllPixels = 2,
};

// One decoder behind a graphics importer. Indexes count from 1.
class ImageSource {
public:
    virtual ~ImageSource() = default;

    virtual OSType FormatType() const = 0; // the file type ('JPEG', 'PICT', ...)
    virtual SInt32 ImageCount() { return 1; }
    virtual OSStatus Size(SInt32 index, QSize& out) = 0;
    // Decodes at no less than `wanted` (full size when empty). On failure `out`
    // may hold what was decoded before the fault.
    virtual OSStatus Decode(SInt32 index, QSize wanted, QImage& out) = 0;
    virtual bool CanDecodeScaled() const { return false; }
    virtual SInt32 DrawsAllPixels(SInt32 index);
    // Depth, codec and name of the stored image (what a decode does not say).
    virtual void Describe(SInt32 index, ImageDescription& d);
    virtual QByteArray IccProfile() { return {}; }
    // True for the image that is the file's embedded thumbnail.
    virtual bool IsThumbnail(SInt32) const { return false; }
    // Whether a small decode of the main image may be served by the file's own
    // preview when it has one of the same shape (on unless turned off).
    virtual void SetUsePreview(bool) {}
    // The image's metadata items from the data the source was made from
    // (ReadImageMetadata); a source that has parsed them already uses that.
    virtual OSStatus ReadMetadata(const QByteArray& data, const QString& formatName, UserData& into);
    // The IPTC datasets as one IIM block, from metadata the source has parsed
    // already; false when it has none parsed.
    virtual bool ReadIptcBlock(QByteArray&) { return false; }
};

// Picks the decoder for `data` by its content, then by `typeHint`. cantFindHandler
// when nothing here reads the format; codecBadDataErr when its header is broken.
// `data` may be only a JPEG file's header (JpegScanStart bytes): then `readWhole`
// reads the whole file when its pixels are wanted, and nothing else needs it.
OSStatus MakeImageSource(const QByteArray& data, OSType typeHint, std::unique_ptr<ImageSource>& out,
    std::function<QByteArray()> readWhole = {});

// A source over pixels decoded elsewhere.
std::unique_ptr<ImageSource> MakeImageSourceForPixels(const QImage& image, OSType formatType);

// Small readers of ours for formats Qt has no plug-in for: the flattened
// composite of a Photoshop file, SGI images, Targa images (Qt's reader needs the
// optional 2.0 footer), MacPaint documents.
OSStatus DecodePhotoshopComposite(const QByteArray& data, QImage& out, ImageDescription* desc = nullptr);
OSStatus DecodeSGI(const QByteArray& data, QImage& out, ImageDescription* desc = nullptr);
OSStatus DecodeTarga(const QByteArray& data, QImage& out, ImageDescription* desc = nullptr);
OSStatus DecodeMacPaint(const QByteArray& data, QImage& out);

// True when a JPEG stream reaches its end-of-image marker after its scan data
// (a cut file does not).
bool JpegIsComplete(const QByteArray& data);
// Where a JPEG stream's first scan data starts, just after the header segments
// that hold everything but the pixels; -1 when `data` ends before it or is no
// JPEG stream.
qsizetype JpegScanStart(const QByteArray& data);

// The ICC profile a JPEG (APP2), PNG (iCCP) or TIFF (tag 34675) file carries,
// read from its header without decoding pixels; empty when it has none or one
// the decoder would not take. `answered` is false for other formats, and for a
// PNG without one (its colour chunks may still describe it).
QByteArray ReadHeaderIccProfile(const QByteArray& data, bool* answered = nullptr);
bool BmpIsComplete(const QByteArray& data);
// False for a PNG stream with a chunk other than image data that runs past its end
// (a text chunk declaring gigabytes in a small file is read whole by the decoder).
bool PngChunksFit(const QByteArray& data);
bool GifIsComplete(const QByteArray& data);
