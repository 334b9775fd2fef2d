#include "PhotoRecords.h"

#include "AliasRecord.h"
#include "CANPAInfo.h"
#include "CIndexItem.h"
#include "FileRef.h"
#include "MediaImageInfo.h"
#include "PString.h"
#include "UserData.h"

#include <QDir>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

struct CameraSample {
    QByteArray userData;
    ImageRecordBytes imageRecord {};
    OSType fileType = 0;
    UInt32 size = 0;
    UInt32 created = 0;
};

const std::vector<CameraSample>& CameraSamples()
{
    static const std::vector<CameraSample> samples = [] {
        std::vector<CameraSample> made;
        const QDir folder(QStringLiteral(ORVEX_TEST_DATA_DIR "/exif-samples/jpg"));
        for (const QString& name : folder.entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name)) {
            CIndexItem item(QUrl::fromLocalFile(folder.filePath(name)));
            const UserData* userData = item.GetUserData();
            const MediaImageInfo* info = item.GetImageInfo();
            if (!userData || userData->IsEmpty() || !info)
                continue;
            CameraSample sample;
            sample.userData = userData->ToHandle();
            const QByteArray bytes = info->ToBytes();
            std::copy_n(bytes.constData(), std::min<qsizetype>(bytes.size(), kImageRecordSize),
                reinterpret_cast<char*>(sample.imageRecord.data()));
            sample.fileType = item.GetFileTypeCode();
            sample.size = item.GetTotalSize();
            sample.created = item.GetCreationDate();
            made.push_back(sample);
        }
        if (made.empty()) {
            std::fprintf(stderr, "no camera photograph in the test data gave its EXIF\n");
            std::abort();
        }
        return made;
    }();
    return samples;
}

} // namespace

IndexDbRecord PhotoRecord(int i, const QByteArray& name, const QByteArray& fileURL, const QByteArray& caption)
{
    const std::vector<CameraSample>& samples = CameraSamples();
    const CameraSample& sample = samples[size_t(i) % samples.size()];
    IndexDbRecord record;
    record.name = name;
    record.fileURL = fileURL;
    // Sizes and dates of one photograph to the next as a camera's are.
    record.fields = CatalogueFields {sample.fileType, sample.size + UInt32((qint64(i) * 104729) % 3000000),
        3000000000u + UInt32(i), sample.created + UInt32(i * 17), sample.created + UInt32(i * 17), i + 1, 0};
    record.userData = sample.userData;
    record.imageRecord = sample.imageRecord;
    record.caption = caption;
    return record;
}

QByteArray PhotoCaption(int i, const QStringList& keywords, const QString& headline, const QByteArray& caption)
{
    static const char* const kPhotographers[] = {"Anna Berg", "Tom Ruiz", "Mei Chen", "Jon Olafsson"};
    static const char* const kCities[] = {"Lisbon", "Bergen", "Kyoto", "Valparaiso", "Hobart"};
    static const char* const kCountries[] = {"Portugal", "Norway", "Japan", "Chile", "Australia"};
    CANPAInfo info;
    for (const QString& keyword : keywords)
        info.AddKeywordCF(keyword);
    info.SetHeadline(MakePString<255>(headline));
    info.SetCaption(caption);
    const char* photographer = kPhotographers[size_t(i / 100) % std::size(kPhotographers)];
    info.SetByline(MakePString<255>(QString::fromLatin1(photographer)));
    info.SetCity(MakePString<255>(QString::fromLatin1(kCities[size_t(i / 1000) % std::size(kCities)])));
    info.SetCountryName(MakePString<255>(QString::fromLatin1(kCountries[size_t(i / 1000) % std::size(kCountries)])));
    info.SetCopyrightNotice(MakePString<255>(QStringLiteral("(c) %1 %2").arg(2015 + i % 10).arg(QLatin1String(photographer))));
    return info.GetDataHandle();
}

QByteArray PhotoAlias(const QString& indexDbPath, const QString& filePath)
{
    const FileRef indexDb = FileRef::FromUrl(QUrl::fromLocalFile(indexDbPath));
    QByteArray alias;
    if (NewAliasBytes(&indexDb, FileRef::FromUrl(QUrl::fromLocalFile(filePath)), alias) != noErr)
        return {};
    return alias;
}
