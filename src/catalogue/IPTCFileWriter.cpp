#include "IPTCFileWriter.h"

#include "ExceptionCode.h"
#include "FileErrors.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

// Exiv2 0.27 still spells its owning pointers std::auto_ptr.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop

namespace {

constexpr uint16_t kApplicationRecord = 2;
constexpr uint16_t kRecordVersionDataSet = 0;

// The record-2 datasets a caption reads and writes; every other dataset of a file
// is left as the file has it.
constexpr uint16_t kCaptionDataSets[] = {5, 10, 15, 20, 25, 40, 55, 80, 85, 90, 95, 101, 103, 105, 110, 115, 116,
    120, 122};

bool IsCaptionDataSet(const Exiv2::Iptcdatum& datum)
{
    return datum.record() == kApplicationRecord
        && std::find(std::begin(kCaptionDataSets), std::end(kCaptionDataSets), datum.tag())
        != std::end(kCaptionDataSets);
}

} // namespace

bool CanWriteIPTCIntoFileType(OSType fileType)
{
    return fileType == 'JPEG' || fileType == 'TIFF' || fileType == '8BPS' || fileType == 'PNGf';
}

OSStatus WriteCaptionIntoImageFile(const QString& path, const QByteArray& iimBlock)
{
    const QByteArray nativePath = QFile::encodeName(path);
    struct stat before {};
    if (::stat(nativePath.constData(), &before) != 0)
        return LastOSError();
    // Refused before the library is asked: it would report a locked file only as
    // a failure of its own.
    if (::access(nativePath.constData(), W_OK) != 0)
        return LastOSError();

    try {
        Exiv2::IptcData caption;
        if (Exiv2::IptcParser::decode(caption, reinterpret_cast<const Exiv2::byte*>(iimBlock.constData()),
                uint32_t(iimBlock.size()))
            != 0)
            return badFormat;

        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(std::string(nativePath.constData()), false);
        if (!image.get())
            return badFormat;
        image->readMetadata();
        Exiv2::IptcData& iptc = image->iptcData();
        for (auto it = iptc.begin(); it != iptc.end();)
            it = IsCaptionDataSet(*it) ? iptc.erase(it) : it + 1;
        const bool hasVersion = iptc.findId(kRecordVersionDataSet, kApplicationRecord) != iptc.end();
        for (const Exiv2::Iptcdatum& datum : caption) {
            if (IsCaptionDataSet(datum)
                || (!hasVersion && datum.record() == kApplicationRecord && datum.tag() == kRecordVersionDataSet))
                iptc.add(datum);
        }
        image->writeMetadata();
    } catch (const Exiv2::AnyError&) {
        return badFormat;
    } catch (const std::bad_alloc&) {
        return memFullErr;
    } catch (const std::exception&) {
        return badFormat;
    }

    // The caption is no change of the picture: the file keeps its date.
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    if (::utimensat(AT_FDCWD, nativePath.constData(), times, 0) != 0)
        return LastOSError();
    return noErr;
}
