#pragma once

#include "MacTypes.h"
#include "UserData.h"

#include <QByteArray>
#include <QString>

#include <string>
#include <vector>

// What the metadata module ("orvex-metadata", with Exiv2 and the libraries it
// brings) gives: plain records in and out, so that the program never holds the
// library's types and the library is loaded at the first image whose metadata is
// wanted rather than at start. ImageMetadata.cpp turns the records into user
// data and back; ImageMetadataLibrary.cpp is the module.
namespace ImageMetadataLibrary {

// An image with its metadata read by the library; opaque outside the module.
struct Image;

// One metadata item of an image: an EXIF ('ex' + tag) or first-directory TIFF
// ('ti' + tag) item holding the value bytes big-endian in the type the standard
// gives the tag, or a camera text (kCameraTexts).
struct Item {
    OSType type = 0;
    QByteArray bytes;
};

// One IPTC dataset with its bytes as stored.
struct DataSet {
    UInt8 record = 0;
    UInt8 dataSet = 0;
    QByteArray bytes;
};

// Why a file the library was asked to open gave no image: nothing (noErr) when
// it is no image the library reads, else the library's failure and its reason.
struct Failure {
    OSStatus status = noErr;
    std::string reason;
};

// Camera texts and the TIFF tags they come from.
struct CameraText {
    UInt16 tag;
    OSType type;
};
inline constexpr CameraText kCameraTexts[] = {
    {0x010F, UserDataTextType("mak")},
    {0x0110, UserDataTextType("mod")},
    {0x0131, UserDataTextType("swr")},
};

// What an export writes into a file after its pixels.
struct ExportRecords {
    std::vector<Item> items; // 'ex'/'ti' items, then camera texts, in the order set
    // The file the items were read from. Its maker note and Interop directory are
    // carried over as the library reads them, for the library to write with
    // offsets of its own: a maker note's entries point at bytes counted from the
    // start of the EXIF, so its block is never copied as it is.
    QString source;
    QByteArray iptc;         // an IIM block
    QByteArray iccProfile;
    QByteArray thumbnailJpeg; // the EXIF thumbnail
    // The resolution the pixels were written at, in dots per inch: the EXIF says
    // the same (0: the file's own stays).
    double dpiX = 0;
    double dpiY = 0;
};

// The module's entry, `OrvexImageMetadata`, answers this table (ImageMetadata.h
// says what each does). Every failure of the library stays inside the module.
struct Functions {
    bool (*canCarryFile)(const QString& path);
    bool (*canCarryData)(const QByteArray& data);
    // Null for a file or data that is no image the library reads, or that it fails on.
    Image* (*openFile)(const QString& path, Failure& failure);
    // The data must stay alive while the image does.
    Image* (*openData)(const QByteArray& data);
    void (*close)(Image* image);
    // The image's items in the order the file holds them, a camera text after its
    // tag's item; a tag held twice comes twice.
    std::vector<Item> (*items)(const Image& image);
    // The IPTC datasets as one IIM block (empty without any); false with the
    // reason when the library fails on them.
    bool (*iptcBlock)(const Image& image, QByteArray& out, Failure& failure);
    QByteArray (*embeddedThumbnail)(const Image& image);
    // Replaces the image's IPTC datasets with `dataSets` and writes the file.
    OSStatus (*writeIptc)(Image& image, const std::vector<DataSet>& dataSets);
    // cantFindHandler for a file the library cannot write.
    OSStatus (*writeExport)(const QString& path, const ExportRecords& records);
};

// Closes an image through the module that opened it.
struct Close {
    void operator()(Image* image) const;
};

} // namespace ImageMetadataLibrary
