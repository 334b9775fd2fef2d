#include "ImageMetadata.h"

#include "ExceptionCode.h"
#include "GraphicsErrors.h"
#include "RegularFile.h"
#include "UserData.h"

#include <QBuffer>
#include <QFile>
#include <exiv2/exiv2.hpp>
#include <unordered_map>
#include <exiv2/pgfimage.hpp>
#include <exiv2/webpimage.hpp>

namespace {

// Camera texts and the TIFF tags they come from.
struct CameraText {
    UInt16 tag;
    OSType type;
};
const CameraText kCameraTexts[] = {
    { 0x010F, UserDataTextType("mak") },
    { 0x0110, UserDataTextType("mod") },
    { 0x0131, UserDataTextType("swr") },
};

bool IsMetadataImageType(int type)
{
    namespace T = Exiv2::ImageType;
    switch (type) {
    case T::jpeg:
    case T::exv:
    case T::cr2:
    case T::crw:
    case T::tiff:
    case T::mrw:
    case T::orf:
    case T::psd:
    case T::raf:
    case T::rw2:
    case T::png:
    case T::jp2:
    case T::webp:
    case T::pgf:
        return true;
    default:
        return false;
    }
}

// Opens a file the library may read, with its metadata read; null for any other
// file and for a file the library fails on. Every failure of the library, of
// whatever kind, stays here.
std::unique_ptr<Exiv2::Image> OpenFile(const QString& path)
{
    if (!CanCarryImageMetadata(path))
        return nullptr;
    try {
        auto opened = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        if (opened.get())
            opened->readMetadata();
        return std::unique_ptr<Exiv2::Image>(opened.release());
    } catch (const std::exception&) {
        return nullptr;
    }
}

std::unique_ptr<Exiv2::Image> OpenMemory(const QByteArray& data)
{
    if (data.isEmpty() || !CanCarryImageMetadata(data))
        return nullptr;
    try {
        auto image = Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte*>(data.constData()), long(data.size()));
        if (image.get())
            image->readMetadata();
        return std::unique_ptr<Exiv2::Image>(image.release());
    } catch (const std::exception&) {
        return nullptr;
    }
}

// Longer runs of numbers (no tag the record reads has them) stay as stored.
constexpr long kLongestConvertedCount = 64;

bool IsIntegerType(Exiv2::TypeId type)
{
    return type == Exiv2::unsignedByte || type == Exiv2::unsignedShort || type == Exiv2::unsignedLong
        || type == Exiv2::signedByte || type == Exiv2::signedShort || type == Exiv2::signedLong;
}

bool IsRationalType(Exiv2::TypeId type)
{
    return type == Exiv2::unsignedRational || type == Exiv2::signedRational;
}

// The value bytes, big-endian, in the type the standard gives the tag: files
// store an Orientation or ISO as LONG, a pixel dimension as two SHORTs, and the
// reader of the items knows each tag by its standard type only. Numbers are
// converted value by value (the count stays); other types are copied as stored.
// A UNICODE user comment comes in UCS-2 big-endian, as the library turns it.
QByteArray ValueBytes(const Exiv2::Exifdatum& datum, Exiv2::TypeId standard)
{
    const long size = datum.size();
    QByteArray bytes(size, '\0');
    datum.copy(reinterpret_cast<Exiv2::byte*>(bytes.data()), Exiv2::bigEndian);
    try {
        const Exiv2::TypeId stored = datum.typeId();
        if (stored == standard || datum.count() <= 0 || datum.count() > kLongestConvertedCount)
            return bytes;
        // Rationals of either sign share their bytes; integers become n/1.
        const bool toInteger = IsIntegerType(standard) && IsIntegerType(stored);
        const bool toRational = IsRationalType(standard) && IsIntegerType(stored);
        if (!toInteger && !toRational)
            return bytes;
        auto converted = Exiv2::Value::create(standard);
        std::string text;
        for (long i = 0; i < datum.count(); ++i) {
            if (i > 0)
                text += ' ';
            text += std::to_string(datum.toLong(i));
            if (toRational)
                text += "/1";
        }
        if (converted->read(text) != 0)
            return bytes;
        QByteArray out(converted->size(), '\0');
        converted->copy(reinterpret_cast<Exiv2::byte*>(out.data()), Exiv2::bigEndian);
        return out;
    } catch (const std::exception&) {
        return bytes; // a tag the library has no type for stays as stored
    }
}

// The directories whose tags become items, by the library's numbers for them.
struct ItemDirectories {
    int photo = -1;
    int image = -1;
};

const ItemDirectories& Directories()
{
    static const ItemDirectories directories = [] {
        ItemDirectories d;
        try {
            d.photo = Exiv2::ExifKey("Exif.Photo.ExposureTime").ifdId();
            d.image = Exiv2::ExifKey("Exif.Image.Make").ifdId();
        } catch (const std::exception&) {
        }
        return d;
    }();
    return directories;
}

// The type the standard gives a tag of the photo or image directory. Looking a
// tag up by its key is most of the cost of an item, and a file repeats the same
// few dozen tags: each is looked up once per thread.
Exiv2::TypeId StandardType(const Exiv2::Exifdatum& datum, bool photo)
{
    thread_local std::unordered_map<UInt32, Exiv2::TypeId> known;
    const UInt32 key = (photo ? 0x10000u : 0u) | datum.tag();
    const auto found = known.find(key);
    if (found != known.end())
        return found->second;
    Exiv2::TypeId standard = Exiv2::invalidTypeId;
    try {
        standard = Exiv2::ExifKey(datum.tag(), photo ? "Photo" : "Image").defaultTypeId();
    } catch (const std::exception&) {
        // a tag the library has no type for stays as stored
    }
    known.emplace(key, standard);
    return standard;
}

QByteArray TrimText(QByteArray text)
{
    while (!text.isEmpty() && (text.back() == '\0' || text.back() == ' '))
        text.chop(1);
    return text;
}

} // namespace

namespace {

void FillUserData(Exiv2::Image* image, const QString& formatName, UserData& into)
{
    if (image) {
        try {
            const ItemDirectories& directories = Directories();
            for (const Exiv2::Exifdatum& datum : image->exifData()) {
                const int directory = datum.ifdId();
                const bool photo = directory == directories.photo;
                OSType type;
                if (photo)
                    type = EXIFUserDataType(datum.tag());
                else if (directory == directories.image)
                    type = TIFFUserDataType(datum.tag());
                else
                    continue;
                const long size = datum.size();
                if (size <= 0 || size > 16 * 1024 * 1024)
                    continue;
                if (into.CountUserDataType(type) == 0)
                    into.AddUserData(ValueBytes(datum, StandardType(datum, photo)), type);
                if (!photo) {
                    for (const CameraText& text : kCameraTexts) {
                        if (text.tag == datum.tag() && into.CountUserDataType(text.type) == 0)
                            into.AddUserDataText(TrimText(QByteArray::fromStdString(datum.toString())), text.type, 1, 0);
                    }
                }
            }
        } catch (const std::exception&) {
            // What was read before a broken entry is kept.
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
    // The library opens the file itself: only a regular file may reach it.
    if (CheckRegularFile(path) != noErr)
        return false;
    try {
        return IsMetadataImageType(Exiv2::ImageFactory::getType(QFile::encodeName(path).toStdString()));
    } catch (const std::exception&) {
        return false;
    }
}

bool CanCarryImageMetadata(const QByteArray& data)
{
    try {
        return IsMetadataImageType(
            Exiv2::ImageFactory::getType(reinterpret_cast<const Exiv2::byte*>(data.constData()), long(data.size())));
    } catch (const std::exception&) {
        return false;
    }
}

OSStatus ReadImageFileMetadata(const QString& path, const QString& formatName, UserData& into)
{
    // A file the library cannot read, or reads only to fail on, gives no items.
    std::unique_ptr<Exiv2::Image> image = OpenFile(path);
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

ImageMetadataReader::ImageMetadataReader(const QByteArray& imageData)
    : mData(imageData)
    , mImage(OpenMemory(mData))
{
}

ImageMetadataReader::~ImageMetadataReader() = default;

OSStatus ImageMetadataReader::Read(const QString& formatName, UserData& into) const
{
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
    if (!mImage)
        return false;
    try {
        const Exiv2::IptcData& iptc = mImage->iptcData();
        if (!iptc.empty()) {
            const Exiv2::DataBuf iim = Exiv2::IptcParser::encode(iptc);
            out = QByteArray(reinterpret_cast<const char*>(iim.pData_), qsizetype(iim.size_));
        }
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

QByteArray ImageMetadataReader::EmbeddedThumbnail() const
{
    if (!mImage)
        return {};
    try {
        Exiv2::PreviewManager previews(*mImage);
        Exiv2::PreviewPropertiesList list = previews.getPreviewProperties();
        if (list.empty())
            return {};
        Exiv2::PreviewImage preview = previews.getPreviewImage(list.front());
        return QByteArray(reinterpret_cast<const char*>(preview.pData()), int(preview.size()));
    } catch (const std::exception&) {
        return {};
    }
}

OSStatus WriteImageMetadata(const QString& path, const ExportMetadata& metadata)
{
    if (!CanCarryImageMetadata(path))
        return cantFindHandler;
    try {
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        if (!image.get())
            return cantFindHandler;
        image->readMetadata();
        if (metadata.exif) {
            Exiv2::ExifData& exif = image->exifData();
            const UserData& ud = *metadata.exif;
            for (OSType type = ud.GetNextUserDataType(0); type != 0; type = ud.GetNextUserDataType(type)) {
                const UInt16 prefix = UInt16(type >> 16);
                const UInt16 tag = UInt16(type & 0xFFFF);
                if (prefix != (('e' << 8) | 'x') && prefix != (('t' << 8) | 'i'))
                    continue;
                // Layout of the file itself is the writer's; only values are carried over.
                if (prefix == (('t' << 8) | 'i')
                    && (tag == 0x0100 || tag == 0x0101 || tag == 0x0102 || tag == 0x0103 || tag == 0x0106
                        || tag == 0x0111 || tag == 0x0115 || tag == 0x0116 || tag == 0x0117 || tag == 0x011C
                        || tag == 0x8769 || tag == 0x8825 || tag == 0x0201 || tag == 0x0202
                        // The pixels are written as shown, upright: the source's turn no longer applies.
                        || tag == 0x0112))
                    continue;
                if (prefix == (('e' << 8) | 'x') && (tag == 0xA005 || tag == 0xA002 || tag == 0xA003))
                    continue;
                QByteArray bytes;
                if (ud.GetUserData(bytes, type, 1) != noErr || bytes.isEmpty())
                    continue;
                Exiv2::ExifKey key(tag, prefix == (('e' << 8) | 'x') ? "Photo" : "Image");
                auto value = Exiv2::Value::create(key.defaultTypeId());
                if (value->read(reinterpret_cast<const Exiv2::byte*>(bytes.constData()), long(bytes.size()),
                        Exiv2::bigEndian)
                    != 0)
                    continue;
                exif[key.key()].setValue(value.get());
            }
            QByteArray text;
            for (const CameraText& camera : kCameraTexts) {
                if (ud.GetUserDataText(text, camera.type, 1, 0) == noErr && !text.isEmpty()) {
                    Exiv2::ExifKey key(camera.tag, "Image");
                    exif[key.key()] = std::string(text.constData(), size_t(text.size()));
                }
            }
        }
        if (!metadata.iptc.isEmpty()) {
            Exiv2::IptcData iptc;
            if (Exiv2::IptcParser::decode(iptc, reinterpret_cast<const Exiv2::byte*>(metadata.iptc.constData()),
                    uint32_t(metadata.iptc.size()))
                != 0)
                return codecBadDataErr;
            image->setIptcData(iptc);
        }
        if (!metadata.thumbnail.isNull()) {
            QByteArray jpeg;
            QBuffer buffer(&jpeg);
            buffer.open(QIODevice::WriteOnly);
            metadata.thumbnail.convertToFormat(QImage::Format_RGB32).save(&buffer, "JPEG", 75);
            Exiv2::ExifThumb thumb(image->exifData());
            thumb.setJpegThumbnail(reinterpret_cast<const Exiv2::byte*>(jpeg.constData()), long(jpeg.size()));
        }
        if (!metadata.iccProfile.isEmpty()) {
            Exiv2::DataBuf profile(reinterpret_cast<const Exiv2::byte*>(metadata.iccProfile.constData()),
                long(metadata.iccProfile.size()));
            image->setIccProfile(profile, false);
        }
        image->writeMetadata();
        return noErr;
    } catch (const Exiv2::Error& e) {
        return e.code() == Exiv2::kerUnsupportedImageType || e.code() == Exiv2::kerFileContainsUnknownImageType
                || e.code() == Exiv2::kerWritingImageFormatUnsupported
            ? cantFindHandler
            : ioErr;
    } catch (const std::exception&) {
        return ioErr;
    }
}
