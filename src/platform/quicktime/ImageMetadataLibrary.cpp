// The metadata module: image metadata read and written with Exiv2, handed over
// as the plain records of ImageMetadataLibrary.h.

#include "ImageMetadataLibrary.h"

#include "GraphicsErrors.h"
#include "RegularFile.h"

#include <QFile>

#include <cmath>
#include <memory>
#include <unordered_map>

// Exiv2 0.27 still spells its owning pointers std::auto_ptr.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#include <exiv2/pgfimage.hpp>
#include <exiv2/webpimage.hpp>
#pragma GCC diagnostic pop

namespace ImageMetadataLibrary {

struct Image {
    std::unique_ptr<Exiv2::Image> image;
};

} // namespace ImageMetadataLibrary

namespace {

using ImageMetadataLibrary::DataSet;
using ImageMetadataLibrary::ExportRecords;
using ImageMetadataLibrary::Failure;
using ImageMetadataLibrary::Item;
using ImageMetadataLibrary::kCameraTexts;
using Image = ImageMetadataLibrary::Image;

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

bool CanCarryFile(const QString& path)
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

bool CanCarryData(const QByteArray& data)
{
    try {
        return IsMetadataImageType(
            Exiv2::ImageFactory::getType(reinterpret_cast<const Exiv2::byte*>(data.constData()), long(data.size())));
    } catch (const std::exception&) {
        return false;
    }
}

Image* Opened(Exiv2::Image::AutoPtr opened)
{
    if (!opened.get())
        return nullptr;
    opened->readMetadata();
    return new Image{std::unique_ptr<Exiv2::Image>(opened.release())};
}

Image* OpenFile(const QString& path, Failure& failure)
{
    failure = {};
    if (!CanCarryFile(path))
        return nullptr;
    try {
        return Opened(Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString(), false));
    } catch (const std::bad_alloc&) {
        failure = {memFullErr, "allocation refused"};
    } catch (const std::exception& e) {
        // overflow_error, length_error and the like come from inside the library too.
        failure = {badFormat, e.what()};
    }
    return nullptr;
}

Image* OpenData(const QByteArray& data)
{
    if (data.isEmpty() || !CanCarryData(data))
        return nullptr;
    try {
        return Opened(
            Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte*>(data.constData()), long(data.size())));
    } catch (const std::exception&) {
        return nullptr;
    }
}

void Close(Image* image)
{
    delete image;
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

std::vector<Item> Items(const Image& image)
{
    std::vector<Item> items;
    try {
        const ItemDirectories& directories = Directories();
        for (const Exiv2::Exifdatum& datum : image.image->exifData()) {
            const int directory = datum.ifdId();
            const bool photo = directory == directories.photo;
            if (!photo && directory != directories.image)
                continue;
            const long size = datum.size();
            if (size <= 0 || size > 16 * 1024 * 1024)
                continue;
            items.push_back({photo ? EXIFUserDataType(datum.tag()) : TIFFUserDataType(datum.tag()),
                ValueBytes(datum, StandardType(datum, photo))});
            if (!photo) {
                for (const auto& text : kCameraTexts) {
                    if (text.tag == datum.tag())
                        items.push_back({text.type, TrimText(QByteArray::fromStdString(datum.toString()))});
                }
            }
        }
    } catch (const std::exception&) {
        // What was read before a broken entry is kept.
    }
    return items;
}

bool IptcBlock(const Image& image, QByteArray& out, Failure& failure)
{
    out.clear();
    failure = {};
    try {
        const Exiv2::IptcData& iptc = image.image->iptcData();
        if (!iptc.empty()) {
            const Exiv2::DataBuf iim = Exiv2::IptcParser::encode(iptc);
            out = QByteArray(reinterpret_cast<const char*>(iim.pData_), qsizetype(iim.size_));
        }
        return true;
    } catch (const std::bad_alloc&) {
        failure = {memFullErr, "allocation refused"};
    } catch (const std::exception& e) {
        failure = {badFormat, e.what()};
    }
    return false;
}

QByteArray EmbeddedThumbnail(const Image& image)
{
    try {
        Exiv2::PreviewManager previews(*image.image);
        Exiv2::PreviewPropertiesList list = previews.getPreviewProperties();
        if (list.empty())
            return {};
        Exiv2::PreviewImage preview = previews.getPreviewImage(list.front());
        return QByteArray(reinterpret_cast<const char*>(preview.pData()), int(preview.size()));
    } catch (const std::exception&) {
        return {};
    }
}

// A value of the dataset's own type read from its bytes, as the library reads a
// file's datasets; bytes its type does not take (a date that is no date) are kept
// as they are.
Exiv2::Value::AutoPtr IptcValueOf(UInt16 record, UInt16 dataSet, const QByteArray& bytes)
{
    const auto* data = reinterpret_cast<const Exiv2::byte*>(bytes.constData());
    Exiv2::Value::AutoPtr value = Exiv2::Value::create(Exiv2::IptcDataSets::dataSetType(dataSet, record));
    if (value->read(data, long(bytes.size()), Exiv2::bigEndian) != 0) {
        value = Exiv2::Value::create(Exiv2::string);
        value->read(data, long(bytes.size()), Exiv2::bigEndian);
    }
    return value;
}

OSStatus WriteIptc(Image& image, const std::vector<DataSet>& dataSets)
{
    try {
        Exiv2::IptcData iptc;
        for (const DataSet& d : dataSets)
            iptc.add(Exiv2::IptcKey(d.dataSet, d.record), IptcValueOf(d.record, d.dataSet, d.bytes).get());
        image.image->setIptcData(iptc);
        image.image->writeMetadata();
        return noErr;
    } catch (const std::bad_alloc&) {
        return memFullErr;
    } catch (const std::exception&) {
        return badFormat;
    }
}

// The TIFF tags that say how the file itself is laid out: the writer's, never
// carried over from the source.
bool IsLayoutTag(UInt16 prefix, UInt16 tag)
{
    if (prefix == (('t' << 8) | 'i'))
        return tag == 0x0100 || tag == 0x0101 || tag == 0x0102 || tag == 0x0103 || tag == 0x0106 || tag == 0x0111
            || tag == 0x0115 || tag == 0x0116 || tag == 0x0117 || tag == 0x011C || tag == 0x8769 || tag == 0x8825
            || tag == 0x0201 || tag == 0x0202
            // The resolution is the one the pixels were written at.
            || tag == 0x011A || tag == 0x011B || tag == 0x0128
            // The pixels are written as shown, upright: the source's turn no longer applies.
            || tag == 0x0112;
    return tag == 0xA005 || tag == 0xA002 || tag == 0xA003;
}

// The maker note comes from the source file (CarryOverFromSource), never from
// its block.
bool IsMakerNote(UInt16 prefix, UInt16 tag)
{
    return prefix == (('e' << 8) | 'x') && tag == 0x927C;
}

// The source's maker note, as the library has read it into tags of the camera
// maker's groups (or as its block when the library knows no such groups for
// it), and its Interop directory. The library writes them anew, the maker note's
// offsets and byte order its own. A source the library cannot read gives none.
void CarryOverFromSource(Exiv2::ExifData& exif, const QString& source)
{
    if (source.isEmpty())
        return;
    Failure failure;
    const std::unique_ptr<Image> image(OpenFile(source, failure));
    if (!image)
        return;
    for (const Exiv2::Exifdatum& datum : image->image->exifData()) {
        const std::string group = datum.groupName();
        if (group == "Iop" || group == "MakerNote" || Exiv2::ExifTags::isMakerGroup(group)
            || datum.key() == "Exif.Photo.MakerNote")
            exif.add(datum);
    }
}

void SetExifItem(Exiv2::ExifData& exif, const Item& item)
{
    if (IsTextUserDataType(item.type)) {
        for (const auto& camera : kCameraTexts) {
            if (camera.type == item.type) {
                Exiv2::ExifKey key(camera.tag, "Image");
                exif[key.key()] = std::string(item.bytes.constData(), size_t(item.bytes.size()));
            }
        }
        return;
    }
    const UInt16 prefix = UInt16(item.type >> 16);
    const UInt16 tag = UInt16(item.type & 0xFFFF);
    if ((prefix != (('e' << 8) | 'x') && prefix != (('t' << 8) | 'i')) || IsLayoutTag(prefix, tag)
        || IsMakerNote(prefix, tag) || item.bytes.isEmpty())
        return;
    Exiv2::ExifKey key(tag, prefix == (('e' << 8) | 'x') ? "Photo" : "Image");
    auto value = Exiv2::Value::create(key.defaultTypeId());
    if (value->read(reinterpret_cast<const Exiv2::byte*>(item.bytes.constData()), long(item.bytes.size()),
            Exiv2::bigEndian)
        != 0)
        return;
    exif[key.key()].setValue(value.get());
}

OSStatus WriteExport(const QString& path, const ExportRecords& records)
{
    if (!CanCarryFile(path))
        return cantFindHandler;
    try {
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        if (!image.get())
            return cantFindHandler;
        image->readMetadata();
        for (const Item& item : records.items)
            SetExifItem(image->exifData(), item);
        CarryOverFromSource(image->exifData(), records.source);
        if (!records.iptc.isEmpty()) {
            Exiv2::IptcData iptc;
            if (Exiv2::IptcParser::decode(iptc, reinterpret_cast<const Exiv2::byte*>(records.iptc.constData()),
                    uint32_t(records.iptc.size()))
                != 0)
                return codecBadDataErr;
            image->setIptcData(iptc);
        }
        if (!records.thumbnailJpeg.isEmpty()) {
            Exiv2::ExifThumb thumb(image->exifData());
            thumb.setJpegThumbnail(reinterpret_cast<const Exiv2::byte*>(records.thumbnailJpeg.constData()),
                long(records.thumbnailJpeg.size()));
        }
        if (records.dpiX > 0 && records.dpiY > 0 && !image->exifData().empty()) {
            // Readers take the EXIF's resolution before the file format's own.
            auto rational = [](double dpi) {
                const double whole = std::round(dpi);
                return std::abs(dpi - whole) < 1e-6 ? Exiv2::URational(uint32_t(whole), 1)
                                                    : Exiv2::URational(uint32_t(std::lround(dpi * 100)), 100);
            };
            image->exifData()["Exif.Image.XResolution"] = rational(records.dpiX);
            image->exifData()["Exif.Image.YResolution"] = rational(records.dpiY);
            image->exifData()["Exif.Image.ResolutionUnit"] = uint16_t(2); // inches
        }
        if (!records.iccProfile.isEmpty()) {
            Exiv2::DataBuf profile(reinterpret_cast<const Exiv2::byte*>(records.iccProfile.constData()),
                long(records.iccProfile.size()));
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

} // namespace

extern "C" Q_DECL_EXPORT const ImageMetadataLibrary::Functions* OrvexImageMetadata()
{
    static const ImageMetadataLibrary::Functions functions = [] {
        // The XMP toolkit is set up once, before threads read metadata at the same time.
        Exiv2::XmpParser::initialize();
        // The library's warnings about odd files are not the user's concern.
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::error);
        return ImageMetadataLibrary::Functions{CanCarryFile, CanCarryData, OpenFile, OpenData, Close, Items,
            IptcBlock, EmbeddedThumbnail, WriteIptc, WriteExport};
    }();
    return &functions;
}
