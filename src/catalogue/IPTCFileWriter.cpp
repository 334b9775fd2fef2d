#include "IPTCFileWriter.h"

#include "CANPAInfo.h"
#include "ExceptionCode.h"
#include "FileErrors.h"
#include "IIMText.h"
#include "ImageMetadata.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <vector>

// Exiv2 0.27 still spells its owning pointers std::auto_ptr.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop

namespace {

using IIMText::kApplicationRecord;
constexpr UInt16 kRecordVersionDataSet = 0;

// The record-2 datasets a caption reads and writes; every other dataset of a file
// is left as the file has it.
constexpr UInt8 kCaptionDataSets[] = {5, 10, 15, 20, 25, 40, 55, 80, 85, 90, 95, 101, 103, 105, 110, 115, 116, 120,
    122};

bool IsCaptionDataSet(UInt16 record, UInt16 dataSet)
{
    return record == kApplicationRecord
        && std::find(std::begin(kCaptionDataSets), std::end(kCaptionDataSets), dataSet) != std::end(kCaptionDataSets);
}

// The non-empty values of the caption datasets of a block in the caption form, by dataset.
using CaptionValues = std::map<UInt8, std::vector<QByteArray>>;
CaptionValues ValuesOf(const QByteArray& block)
{
    CaptionValues values;
    IIMText::WalkDataSets(block, [&](UInt8 record, UInt8 dataSet, QByteArrayView data) {
        if (IsCaptionDataSet(record, dataSet) && !data.isEmpty())
            values[dataSet].push_back(data.toByteArray());
    });
    return values;
}

// What the caption record makes of the file's own datasets, in the form the
// caller's block has, so that only the fields the caller changed are written.
CaptionValues FileCaptionValues(const QByteArray& fileBlock)
{
    try {
        CANPAInfo caption(IIMText::BlockToCaptionForm(fileBlock));
        return ValuesOf(caption.GetDataHandle(EUrgencyForm::AsciiDigit));
    } catch (const ExceptionCode&) {
        return {}; // a damaged caption is replaced whole
    }
}

QByteArray DatumBytes(const Exiv2::Iptcdatum& datum)
{
    QByteArray bytes(qsizetype(datum.size()), '\0');
    datum.copy(reinterpret_cast<Exiv2::byte*>(bytes.data()), Exiv2::bigEndian);
    return bytes;
}

// A value of the dataset's own type read from its bytes; bytes its type does not
// take (a date that is no date) are kept as they are.
Exiv2::Value::AutoPtr ValueOf(UInt16 record, UInt16 dataSet, const QByteArray& bytes)
{
    const auto* data = reinterpret_cast<const Exiv2::byte*>(bytes.constData());
    Exiv2::Value::AutoPtr value = Exiv2::Value::create(Exiv2::IptcDataSets::dataSetType(dataSet, record));
    if (value->read(data, long(bytes.size()), Exiv2::bigEndian) != 0) {
        value = Exiv2::Value::create(Exiv2::string);
        value->read(data, long(bytes.size()), Exiv2::bigEndian);
    }
    return value;
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
        const CaptionValues wanted = ValuesOf(iimBlock);

        if (!CanCarryImageMetadata(path))
            return badFormat;
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(std::string(nativePath.constData()), false);
        if (!image.get())
            return badFormat;
        image->readMetadata();
        Exiv2::IptcData& iptc = image->iptcData();
        const Exiv2::DataBuf encoded = Exiv2::IptcParser::encode(iptc);
        const QByteArray fileBlock(reinterpret_cast<const char*>(encoded.pData_), qsizetype(encoded.size_));
        const IIMText::ECharset charset = IIMText::DeclaredCharset(fileBlock);
        const CaptionValues held = FileCaptionValues(fileBlock);
        auto changed = [&](UInt8 dataSet) {
            const auto a = wanted.find(dataSet);
            const auto b = held.find(dataSet);
            return (a == wanted.end() ? std::vector<QByteArray>() : a->second)
                != (b == held.end() ? std::vector<QByteArray>() : b->second);
        };

        // Datasets of changed fields go; the file's other texts stay, in UTF-8.
        bool hasVersion = false;
        bool hasApplicationData = false;
        for (auto it = iptc.begin(); it != iptc.end();) {
            const UInt16 record = it->record();
            const UInt16 dataSet = it->tag();
            if (IsCaptionDataSet(record, dataSet) && changed(UInt8(dataSet))) {
                it = iptc.erase(it);
                continue;
            }
            if (record == kApplicationRecord) {
                hasVersion = hasVersion || dataSet == kRecordVersionDataSet;
                hasApplicationData = hasApplicationData || dataSet != kRecordVersionDataSet;
                if (IIMText::IsTextDataSet(UInt8(record), UInt8(dataSet))) {
                    const QByteArray bytes = DatumBytes(*it);
                    const QByteArray utf8 = IIMText::DecodeFileText(bytes, charset).toUtf8();
                    if (utf8 != bytes)
                        it->setValue(ValueOf(record, dataSet, utf8).get());
                }
            }
            ++it;
        }
        for (const UInt8 dataSet : kCaptionDataSets) {
            if (!changed(dataSet) || !wanted.count(dataSet))
                continue;
            for (const QByteArray& bytes : wanted.at(dataSet)) {
                const QByteArray value = IIMText::IsTextDataSet(kApplicationRecord, dataSet)
                    ? IIMText::TextFromCaptionBytes(bytes).toUtf8()
                    : bytes;
                iptc.add(Exiv2::IptcKey(dataSet, kApplicationRecord), ValueOf(kApplicationRecord, dataSet, value).get());
                hasApplicationData = true;
            }
        }
        if (hasApplicationData) {
            if (!hasVersion) {
                IIMText::WalkDataSets(iimBlock, [&](UInt8 record, UInt8 dataSet, QByteArrayView data) {
                    if (record == kApplicationRecord && dataSet == kRecordVersionDataSet && !hasVersion) {
                        iptc.add(Exiv2::IptcKey(dataSet, record),
                            ValueOf(record, dataSet, data.toByteArray()).get());
                        hasVersion = true;
                    }
                });
            }
            // The texts are UTF-8 now, and the file says so.
            for (auto it = iptc.findId(IIMText::kCodedCharacterSet, IIMText::kEnvelopeRecord); it != iptc.end();
                 it = iptc.findId(IIMText::kCodedCharacterSet, IIMText::kEnvelopeRecord))
                iptc.erase(it);
            iptc.add(Exiv2::IptcKey(IIMText::kCodedCharacterSet, IIMText::kEnvelopeRecord),
                ValueOf(IIMText::kEnvelopeRecord, IIMText::kCodedCharacterSet, IIMText::kUTF8Declaration).get());
        }
        image->writeMetadata();
    } catch (const ExceptionCode&) {
        return badFormat; // the caller's block is damaged
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
