#include "ImageMetadata.h"

#include "ExceptionCode.h"
#include "GraphicsErrors.h"
#include "ImageMetadataLibrary.h"
#include "Modules.h"
#include "UserData.h"

#include <QBuffer>

// ImageMetadataLibrary.cpp's entry, when it is linked into the program rather than loaded.
extern "C" const ImageMetadataLibrary::Functions* OrvexImageMetadata() __attribute__((weak));

using ImageMetadataLibrary::Item;

namespace {

// The module's functions; nullptr, with `whyNot` set, when it cannot be loaded.
const ImageMetadataLibrary::Functions* Library(std::string* whyNot = nullptr)
{
    static std::string error;
    static const ImageMetadataLibrary::Functions* const functions
        = ModuleTable(OrvexImageMetadata, "orvex-metadata", "OrvexImageMetadata", error);
    if (whyNot)
        *whyNot = error;
    return functions;
}

// The image's items into user data, each type once: the first item the file
// holds of a type, and none of a type `into` has already.
void FillUserData(const ImageMetadataLibrary::Image* image, const QString& formatName, UserData& into)
{
    if (image) {
        for (const Item& item : Library()->items(*image)) {
            if (into.CountUserDataType(item.type) != 0)
                continue;
            if (IsTextUserDataType(item.type))
                into.AddUserDataText(item.bytes, item.type, 1, 0);
            else
                into.AddUserData(item.bytes, item.type);
        }
    }
    if (!formatName.isEmpty() && into.CountUserDataType(UserDataTextType("fmt")) == 0)
        into.AddUserDataText(formatName.toLatin1(), UserDataTextType("fmt"), 1, 0);
}

} // namespace

OSStatus ReadImageMetadata(const QByteArray& imageData, const QString& formatName, UserData& into)
{
    return ImageMetadataReader(imageData).Read(formatName, into);
}

bool CanCarryImageMetadata(const QString& path)
{
    const ImageMetadataLibrary::Functions* library = Library();
    return library && library->canCarryFile(path);
}

bool CanCarryImageMetadata(const QByteArray& data)
{
    const ImageMetadataLibrary::Functions* library = Library();
    return library && library->canCarryData(data);
}

OSStatus ReadImageFileMetadata(const QString& path, const QString& formatName, UserData& into)
{
    const ImageMetadataLibrary::Functions* library = Library();
    if (!library)
        return unresolvedComponentDLLErr;
    // A file the library cannot read, or reads only to fail on, gives no items.
    ImageMetadataLibrary::Failure failure;
    const std::unique_ptr<ImageMetadataLibrary::Image, ImageMetadataLibrary::Close> image(
        library->openFile(path, failure));
    try {
        FillUserData(image.get(), formatName, into);
    } catch (const std::exception&) {
        return codecBadDataErr;
    }
    return noErr;
}

QByteArray ReadEmbeddedThumbnail(const QByteArray& imageData)
{
    return ImageMetadataReader(imageData).EmbeddedThumbnail();
}

void ImageMetadataLibrary::Close::operator()(Image* image) const
{
    Library()->close(image);
}

ImageMetadataReader::ImageMetadataReader(const QByteArray& imageData)
    : mData(imageData)
{
    if (const ImageMetadataLibrary::Functions* library = Library())
        mImage.reset(library->openData(mData));
}

ImageMetadataReader::~ImageMetadataReader() = default;

OSStatus ImageMetadataReader::Read(const QString& formatName, UserData& into) const
{
    if (!Library())
        return unresolvedComponentDLLErr;
    try {
        FillUserData(mImage.get(), formatName, into);
    } catch (const std::exception&) {
        return codecBadDataErr;
    }
    return noErr;
}

bool ImageMetadataReader::ReadIptcBlock(QByteArray& out) const
{
    out.clear();
    ImageMetadataLibrary::Failure failure;
    return mImage && Library()->iptcBlock(*mImage, out, failure);
}

QByteArray ImageMetadataReader::EmbeddedThumbnail() const
{
    return mImage ? Library()->embeddedThumbnail(*mImage) : QByteArray();
}

OSStatus WriteImageMetadata(const QString& path, const ExportMetadata& metadata)
{
    const ImageMetadataLibrary::Functions* library = Library();
    if (!library)
        return unresolvedComponentDLLErr;
    ImageMetadataLibrary::ExportRecords records;
    if (metadata.exif) {
        const UserData& ud = *metadata.exif;
        records.source = metadata.exifSource;
        QByteArray bytes;
        for (OSType type = ud.GetNextUserDataType(0); type != 0; type = ud.GetNextUserDataType(type)) {
            const UInt16 prefix = UInt16(type >> 16);
            if (prefix != (('e' << 8) | 'x') && prefix != (('t' << 8) | 'i'))
                continue;
            if (ud.GetUserData(bytes, type, 1) == noErr && !bytes.isEmpty())
                records.items.push_back({type, bytes});
        }
        for (const auto& camera : ImageMetadataLibrary::kCameraTexts) {
            if (ud.GetUserDataText(bytes, camera.type, 1, 0) == noErr && !bytes.isEmpty())
                records.items.push_back({camera.type, bytes});
        }
    }
    records.iptc = metadata.iptc;
    records.iccProfile = metadata.iccProfile;
    records.dpiX = metadata.dpiX;
    records.dpiY = metadata.dpiY;
    if (!metadata.thumbnail.isNull()) {
        QBuffer buffer(&records.thumbnailJpeg);
        buffer.open(QIODevice::WriteOnly);
        metadata.thumbnail.convertToFormat(QImage::Format_RGB32).save(&buffer, "JPEG", 75);
    }
    return library->writeExport(path, records);
}

OSStatus ImageFileIptc::Read(const QString& path, QByteArray& block, std::string& reason)
{
    block.clear();
    reason.clear();
    mImage.reset();
    const ImageMetadataLibrary::Functions* library = Library(&reason);
    if (!library)
        return unresolvedComponentDLLErr;
    ImageMetadataLibrary::Failure failure;
    mImage.reset(library->openFile(path, failure));
    if (mImage && !library->iptcBlock(*mImage, block, failure))
        mImage.reset();
    if (!mImage) {
        reason = failure.reason;
        return failure.status == memFullErr ? memFullErr : badFormat;
    }
    return noErr;
}

OSStatus ImageFileIptc::Write(const std::vector<ImageMetadataLibrary::DataSet>& dataSets)
{
    return mImage ? Library()->writeIptc(*mImage, dataSets) : badFormat;
}
