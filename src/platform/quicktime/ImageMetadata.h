#pragma once

#include "ImageMetadataLibrary.h"
#include "MacTypes.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <memory>

class UserData;

// Image metadata through Exiv2, in the item form the EXIF record reads: one
// item per EXIF tag ('ex' + tag) and per TIFF tag of the first directory ('ti'
// + tag) holding the value bytes big-endian, and the camera texts '©mak',
// '©mod', '©swr' and '©fmt'. `formatName` becomes '©fmt'. The library is in
// the metadata module, loaded at the first call; without the module no file
// carries metadata and the functions below give unresolvedComponentDLLErr.
// Whether the file is a kind of image that can carry IPTC or EXIF (JPEG, TIFF
// and the TIFF-based raws, CRW, MRW, ORF, RAF, RW2, PSD, PNG, WebP, JPEG 2000),
// judged from its first bytes. Nothing else is handed to the metadata library:
// movies and sounds have readers of their own, and the library's readers of
// those corrupt memory or never return on damaged files.
bool CanCarryImageMetadata(const QString& path);
bool CanCarryImageMetadata(const QByteArray& data);

OSStatus ReadImageMetadata(const QByteArray& imageData, const QString& formatName, UserData& into);
// The same from a file read in place (camera raw files: TIFF-based raws, CRW,
// MRW, RAF, RW2), without reading the whole file into memory.
OSStatus ReadImageFileMetadata(const QString& path, const QString& formatName, UserData& into);

// The embedded preview image (the EXIF thumbnail), the smallest one Exiv2 finds;
// empty when there is none.
QByteArray ReadEmbeddedThumbnail(const QByteArray& imageData);

// One image's metadata parsed once, then asked for its embedded thumbnail and
// its items as often as wanted (the functions above in one). The data, which
// may be just a JPEG's header, is kept while the reader lives.
class ImageMetadataReader {
public:
    explicit ImageMetadataReader(const QByteArray& imageData);
    ~ImageMetadataReader();
    QByteArray EmbeddedThumbnail() const;
    OSStatus Read(const QString& formatName, UserData& into) const;
    // The IPTC datasets as one IIM block (empty when there are none); false when
    // the data could not be read as an image with metadata.
    bool ReadIptcBlock(QByteArray& out) const;

private:
    QByteArray mData;
    std::unique_ptr<ImageMetadataLibrary::Image, ImageMetadataLibrary::Close> mImage;
};

// An image file's IPTC datasets, read to be shown or rewritten.
class ImageFileIptc {
public:
    // The datasets as one IIM block (empty without any). badFormat for a file that
    // is no image the library reads (`reason` empty) or that it fails on (`reason`
    // says how), memFullErr, or unresolvedComponentDLLErr without the module.
    OSStatus Read(const QString& path, QByteArray& block, std::string& reason);
    // Replaces the datasets of the file read with `dataSets`, in their order, and
    // writes the file: badFormat when the library cannot, memFullErr.
    OSStatus Write(const std::vector<ImageMetadataLibrary::DataSet>& dataSets);

private:
    std::unique_ptr<ImageMetadataLibrary::Image, ImageMetadataLibrary::Close> mImage;
};

// What an exporter writes after the pixels.
struct ExportMetadata {
    const UserData* exif = nullptr; // 'ex'/'ti' items and camera texts
    QString exifSource;             // the file they were read from (ExportRecords::source)
    QByteArray iptc;                // IPTC-IIM bytes
    QByteArray iccProfile;
    QImage thumbnail;               // embedded as the EXIF thumbnail (JPEG)
    double dpiX = 0, dpiY = 0;      // the pixels' resolution, which the EXIF states
};

// Writes the metadata into an image file with Exiv2. Formats Exiv2 cannot write
// give cantFindHandler; metadata the file cannot hold is left out.
OSStatus WriteImageMetadata(const QString& path, const ExportMetadata& metadata);
