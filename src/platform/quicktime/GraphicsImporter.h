#pragma once

#include "GraphicsErrors.h"
#include "Geometry.h"
#include "ImageDescription.h"
#include "MatrixRecord.h"
#include "Offscreen.h"
#include "ImageSources.h"
#include "Picture.h"

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QString>
#include <functional>
#include <memory>

class UserData;
class ImageSource;

// Importer flags.
enum : SInt32 { kGraphicsImporterDontUseColorMatching = 8 };


// A graphics importer: one still image file (or block of memory) opened for
// measuring and drawing. It draws the current image's source rectangle through
// its matrix into its port; setting the bounds rectangle sets the matrix that
// maps the source rectangle onto it. Formats: Qt's image readers (JPEG with
// scaled decoding), our PICT reader, PDF through Poppler (first page), and our
// readers for the flattened Photoshop composite, SGI and MacPaint images.
// Opening fails with cantFindHandler for a format nothing here reads and with
// codecBadDataErr for data that is not what it claims to be.
class GraphicsImporter {
public:
    // `typeHint` is the file type ('PICT', 'PDF ', 'PNTG', ...) when known; the
    // content decides first and the hint only where content says nothing.
    static OSStatus OpenFile(const QString& path, OSType typeHint, std::unique_ptr<GraphicsImporter>& out);
    static OSStatus OpenData(const QByteArray& data, OSType typeHint, std::unique_ptr<GraphicsImporter>& out);
    // An importer over pixels decoded elsewhere (camera raw); `formatType` names them.
    // 16-bit images describe themselves with the 'cspc' extension 'b48r'.
    static OSStatus OpenImage(const QImage& image, OSType formatType, std::unique_ptr<GraphicsImporter>& out);
    ~GraphicsImporter();

    OSType FormatType() const; // the file type of the format that was recognised ('JPEG', 'PICT', ...)
    // The file's bytes; of a JPEG file only its header, its pixels being read when they are wanted.
    const QByteArray& Data() const { return mData; }
    const QString& Path() const { return mPath; }

    OSStatus GetNaturalBounds(Rect* out);
    OSStatus GetImageCount(SInt32* count);
    OSStatus SetImageIndex(SInt32 index); // from 1
    OSStatus GetImageIndex(SInt32* index) const;

    OSStatus SetSourceRect(const Rect* r);
    OSStatus GetSourceRect(Rect* r);
    OSStatus SetBoundsRect(const Rect* r);
    OSStatus GetBoundsRect(Rect* r);
    OSStatus SetMatrix(const MatrixRecord* m);
    OSStatus GetMatrix(MatrixRecord* m) const;
    OSStatus SetQuality(CodecQ quality);
    OSStatus GetQuality(CodecQ* quality) const;
    OSStatus SetGraphicsMode(SInt32 mode, const QColor* opColor);
    OSStatus GetGraphicsMode(SInt32* mode, QColor* opColor) const;
    OSStatus SetFlags(SInt32 flags);
    OSStatus GetFlags(SInt32* flags) const;
    OSStatus SetGWorld(CGrafPtr port);
    OSStatus GetGWorld(CGrafPtr* port) const;

    // Draws into the port; a decoder failure is returned, never drawn as an empty picture.
    OSStatus Draw();
    // The current image decoded at (about) `wanted` pixels, the smallest size the
    // decoder can give that is not below it; full size when `wanted` is empty.
    OSStatus DecodeImage(QSize wanted, QImage& out);
    // Whether DecodeImage may answer a small request with the file's embedded
    // preview of the same shape (the default) or always decodes the image itself.
    void SetUseEmbeddedPreview(bool use);
    OSStatus GetAsPicture(Picture& out);
    OSStatus DoesDrawAllPixels(SInt32* answer);
    OSStatus Validate(bool* valid);

    OSStatus GetImageDescription(ImageDescription& out);
    // The embedded ICC profile; empty when there is none.
    QByteArray GetColorProfile();
    // The current image's metadata: 'ex'/'ti' items per EXIF/TIFF tag (value bytes
    // big-endian), the camera texts, and "n=th" in 'nth?' for an embedded thumbnail.
    OSStatus GetMetaData(UserData& into);
    // The current image's IPTC datasets as one IIM block, from the metadata read
    // when the importer was opened; false when there is none such to ask.
    bool GetIptcBlock(QByteArray& out);

private:
    GraphicsImporter() = default;
    static OSStatus Open(const QByteArray& data, const QString& path, OSType typeHint,
        std::unique_ptr<GraphicsImporter>& out, std::function<QByteArray()> readWhole = {}, qint64 fileSize = -1);
    OSStatus ResetForImage();

    QByteArray mData;
    qint64 mFileSize = -1; // when mData is only the file's header
    QString mPath;
    std::unique_ptr<ImageSource> mSource;
    SInt32 mIndex = 1;
    Rect mNatural;
    Rect mSourceRect;
    MatrixRecord mMatrix;
    CodecQ mQuality = codecNormalQuality;
    SInt32 mMode = ditherCopy;
    QColor mOpColor;
    SInt32 mFlags = 0;
    CGrafPtr mPort = nullptr;
};
