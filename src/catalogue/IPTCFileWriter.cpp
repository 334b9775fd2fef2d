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
#include <optional>
#include <vector>

namespace {

using IIMText::kApplicationRecord;
constexpr UInt16 kRecordVersionDataSet = 0;

// The record-2 datasets a caption reads and writes (Time Created with the date);
// every other dataset of a file is left as the file has it.
constexpr UInt8 kCaptionDataSets[] = {5, 10, 15, 20, 25, 40, 55, 60, 80, 85, 90, 95, 101, 103, 105, 110, 115, 116,
    120, 122};

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

bool IsAscii(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar ch) { return ch.unicode() < 0x80; });
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

        ImageFileIptc file;
        QByteArray fileBlock;
        std::string reason;
        const OSStatus status = file.Read(path, fileBlock, reason);
        if (status != noErr)
            return status;
        const IIMText::FileCharset charset = IIMText::DeclaredCharset(fileBlock);
        const CaptionValues held = FileCaptionValues(fileBlock);
        auto changed = [&](UInt8 dataSet) {
            const auto a = wanted.find(dataSet);
            const auto b = held.find(dataSet);
            return (a == wanted.end() ? std::vector<QByteArray>() : a->second)
                != (b == held.end() ? std::vector<QByteArray>() : b->second);
        };
        auto kept = [&](UInt8 record, UInt8 dataSet) { return !IsCaptionDataSet(record, dataSet) || !changed(dataSet); };

        // The texts the caller changed, in the order they are written below.
        std::vector<QString> typed;
        for (const UInt8 dataSet : kCaptionDataSets) {
            if (!changed(dataSet) || !wanted.count(dataSet) || !IIMText::IsTextDataSet(kApplicationRecord, dataSet))
                continue;
            for (const QByteArray& bytes : wanted.at(dataSet))
                typed.push_back(IIMText::TextFromCaptionBytes(bytes));
        }

        // The whole record becomes UTF-8, declared so, when each kept text is known
        // exactly in the file's set, or when a typed text needs a set the file does
        // not declare: one record in two encodings would show one of them garbled.
        // Then each kept text is written as the characters the reader shows for it.
        // Otherwise the kept texts keep their bytes and the typed ones are written in
        // the file's set.
        bool keptExactly = true;
        IIMText::WalkDataSets(fileBlock, [&](UInt8 record, UInt8 dataSet, QByteArrayView data) {
            if (keptExactly && kept(record, dataSet) && IIMText::IsTextDataSet(record, dataSet))
                keptExactly = charset.DecodeExactly(data).has_value();
        });
        auto inFileSet = [&](const QString& text) -> std::optional<QByteArray> {
            if (IsAscii(text))
                return text.toLatin1(); // every set the file may declare starts in ASCII
            if (charset.Kind() == IIMText::ECharset::Undeclared)
                return std::nullopt;
            return charset.Encode(text);
        };
        const bool toUTF8 = keptExactly
            || std::any_of(typed.begin(), typed.end(), [&](const QString& text) { return !inFileSet(text); });

        // Datasets of changed fields go; the file's other datasets stay.
        std::vector<ImageMetadataLibrary::DataSet> dataSets;
        bool hasVersion = false;
        bool hasApplicationData = false;
        IIMText::WalkDataSets(fileBlock, [&](UInt8 record, UInt8 dataSet, QByteArrayView data) {
            if (!kept(record, dataSet))
                return;
            QByteArray bytes = data.toByteArray();
            if (record == kApplicationRecord) {
                hasVersion = hasVersion || dataSet == kRecordVersionDataSet;
                hasApplicationData = hasApplicationData || dataSet != kRecordVersionDataSet;
                if (toUTF8 && IIMText::IsTextDataSet(record, dataSet))
                    bytes = charset.Decode(data).toUtf8();
            }
            dataSets.push_back({record, dataSet, bytes});
        });
        auto typedText = typed.cbegin();
        for (const UInt8 dataSet : kCaptionDataSets) {
            if (!changed(dataSet) || !wanted.count(dataSet))
                continue;
            for (const QByteArray& bytes : wanted.at(dataSet)) {
                QByteArray value = bytes;
                if (IIMText::IsTextDataSet(kApplicationRecord, dataSet)) {
                    const QString& text = *typedText++;
                    value = toUTF8 ? text.toUtf8() : *inFileSet(text);
                }
                dataSets.push_back({kApplicationRecord, dataSet, value});
                hasApplicationData = true;
            }
        }
        if (hasApplicationData) {
            if (!hasVersion) {
                IIMText::WalkDataSets(iimBlock, [&](UInt8 record, UInt8 dataSet, QByteArrayView data) {
                    if (record == kApplicationRecord && dataSet == kRecordVersionDataSet && !hasVersion) {
                        dataSets.push_back({record, dataSet, data.toByteArray()});
                        hasVersion = true;
                    }
                });
            }
            if (toUTF8) {
                // The texts are UTF-8 now, and the file says so.
                std::erase_if(dataSets, [](const ImageMetadataLibrary::DataSet& d) {
                    return d.record == IIMText::kEnvelopeRecord && d.dataSet == IIMText::kCodedCharacterSet;
                });
                dataSets.push_back({IIMText::kEnvelopeRecord, IIMText::kCodedCharacterSet, IIMText::kUTF8Declaration});
            }
        }
        // The file's datasets came record by record, the order the library writes
        // them in anyway; within a record they keep their order.
        if (const OSStatus failed = file.Write(dataSets); failed != noErr)
            return failed;
    } catch (const ExceptionCode&) {
        return badFormat; // the caller's block is damaged
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
