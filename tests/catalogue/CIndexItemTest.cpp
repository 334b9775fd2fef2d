#include "CIndexItem.h"
#include "AliasRecord.h"
#include "CANPAInfo.h"
#include "CEXIFInfo.h"
#include "CIndexModel.h"
#include "CIndexPackage.h"
#include "CItemError.h"
#include "CMedia.h"
#include "ExceptionCode.h"
#include "FieldKeys.h"
#include "IndexFileRecord.h"
#include "IndexViewServices.h"
#include "ItemWindowServices.h"
#include "LDataBrowser.h"
#include "LStream.h"
#include "LWindow.h"
#include "MacDates.h"
#include "MediaImageInfo.h"
#include "NativePaths.h"
#include "Offscreen.h"
#include "Picture.h"
#include "Preferences.h"
#include "RecordBytes.h"
#include "TestIndexView.h"
#include "UReanimator.h"
#include "URegistrar.h"
#include "UserData.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <functional>
#include <new>
#include <stdexcept>

namespace {

QString FreshDir(const QString& name)
{
    QString dir = TestTempDir() + QLatin1String("/item-") + name;
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    return dir;
}

QString CopySample(const QString& sample, const QString& toPath)
{
    QDir().mkpath(QFileInfo(toPath).path());
    QFile::remove(toPath);
    EXPECT_TRUE(QFile::copy(TestDataPath("exif-samples/jpg/" + sample), toPath)) << sample.toStdString();
    QFile::setPermissions(toPath, QFile::ReadOwner | QFile::WriteOwner);
    return toPath;
}

// Makes thumbnails the simple way: a small grey JPEG picture per item.
class SimpleThumbnailMaker : public ThumbnailServices {
public:
    void CreateThumbnail(CIndexItem& item, bool) override
    {
        QImage image(16, 12, QImage::Format_RGB32);
        image.fill(QColor(90, 90, 90));
        item.SetThumbnail(std::make_unique<Picture>(Picture::FromImageAsJPEG(image, MakeRect(0, 0, 12, 16), 768)));
    }
    bool ShouldRecreateThumbnail(CIndexItem& item) override { return item.GetThumbnailNumber() == 0; }
};

class StThumbnailServices {
public:
    explicit StThumbnailServices(ThumbnailServices* maker) { SetThumbnailServices(maker); }
    ~StThumbnailServices() { SetThumbnailServices(nullptr); }
};


class CountingListener : public LListener {
public:
    void ListenToMessage(MessageT message, void*) override
    {
        if (message == msg_ItemFlagsChanged)
            ++count;
    }
    int count = 0;
};

MediaImageInfo SampleImageInfo()
{
    MediaImageInfo info;
    info.recordKind = 1;
    info.name = Str63("JPEG");
    info.dataSize = 0x01020304;
    info.width = 640;
    info.height = 480;
    info.hRes = 72 << 16;
    info.vRes = 96 << 16;
    info.depth = 24;
    info.frameCount = 1;
    info.temporalQuality = 0;
    info.spatialQuality = 768;
    info.hasColorProfile = 1;
    return info;
}

// The 102 bytes of SampleImageInfo, big-endian as index.db keeps them.
QByteArray SampleImageInfoBigEndian()
{
    return RecordBytes()
        .U16BE(1)
        .PascalField("JPEG", 64)
        .U32BE(0x01020304)
        .U16BE(640)
        .U16BE(480)
        .U32BE(72 << 16)
        .U32BE(96 << 16)
        .U16BE(24)
        .U16BE(12)
        .U16BE(1)
        .U32BE(0)
        .U32BE(768)
        .Bytes(QByteArray("\x01\x00\x00\x00\x00\x00", 6));
}

QByteArray SampleCaptionBlock()
{
    CANPAInfo caption;
    caption.SetHeadline(Str255("Harbour at dawn"));
    caption.AddKeyword(Str255("boats"));
    return caption.GetDataHandle();
}

std::vector<std::unique_ptr<CIndexItem>> ReadItems(const QByteArray& data, CIndexPackage* package)
{
    IndexDbReader reader(data);
    std::vector<std::unique_ptr<CIndexItem>> items;
    IndexDbRecord record;
    while (reader.Next(record))
        items.push_back(std::make_unique<CIndexItem>(record, package));
    EXPECT_TRUE(reader.Errors().empty());
    return items;
}

// A package that keeps its media inside, holding "media/notes.txt" (not a
// picture), and the record of an item stored there.
std::unique_ptr<CIndexPackage> StoringPackage(const QString& path)
{
    SetPrefBoolean("IndexStoreMediaFile", true);
    auto package = std::make_unique<CIndexPackage>(QUrl::fromLocalFile(path), nullptr);
    SetPrefBoolean("IndexStoreMediaFile", false);
    QFile notes(path + "/media/notes.txt");
    if (!notes.open(QIODevice::WriteOnly) || notes.write("not a picture") != 13)
        ADD_FAILURE() << "cannot write " << notes.fileName().toStdString();
    return package;
}

IndexDbRecord StoredNotesRecord()
{
    IndexDbRecord record;
    record.name = QByteArray("notes.txt");
    record.storedName = QByteArray("notes.txt");
    record.fields = CatalogueFields {'TEXT', 13, 1, 2, 3, 0, 0};
    return record;
}

} // namespace

TEST(CIndexItem, FlagWordForEachEXIFOrientation)
{
    const UInt32 expected[9] = {0, 0, kItemFlagFlipHorizontal, kItemFlagRotate180, kItemFlagFlipVertical,
        kItemFlagRotate90CW | kItemFlagFlipHorizontal, kItemFlagRotate90CW, kItemFlagRotate90CCW | kItemFlagFlipHorizontal,
        kItemFlagRotate90CCW};
    const SInt32 rotation[9] = {0, 0, 0, 3, 0, 2, 2, 1, 1};
    const SInt32 flip[9] = {0, 0, 1, 0, 2, 1, 0, 1, 0};
    SetPrefBoolean("TransformUsingEXIF", true);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        EXPECT_EQ(FlagsForEXIFOrientation(orientation), expected[orientation]);
        SInt32 r = -1;
        SInt32 f = -1;
        GetMediaTransformForFlags(expected[orientation], r, f);
        EXPECT_EQ(r, rotation[orientation]);
        EXPECT_EQ(f, flip[orientation]);

        // The real photographs: reading the EXIF record sets the flag word.
        CIndexItem item(QUrl::fromLocalFile(
            TestDataPath(QStringLiteral("exif-samples/jpg/orientation/landscape_%1.jpg").arg(orientation))));
        ASSERT_NE(item.GetEXIFInfo(), nullptr);
        EXPECT_EQ(item.GetEXIFInfo()->GetOrientation(), orientation);
        EXPECT_EQ(item.GetFlags() & kItemFlagTransformMask, expected[orientation]);
    }
    EXPECT_EQ(FlagsForEXIFOrientation(0), 0u);
    EXPECT_EQ(FlagsForEXIFOrientation(9), 0u);
}

TEST(CIndexItem, FlagChangesBroadcastOnceAndOrientationOnlyAddsBits)
{
    IndexDbRecord record;
    record.name = QByteArray("a.jpg");
    record.fields = CatalogueFields {};
    CIndexItem item(record, nullptr);
    CountingListener listener;
    item.AddListener(&listener);
    item.SetFlags(0x40);
    item.SetFlags(0x40);
    EXPECT_EQ(listener.count, 1);
    EXPECT_TRUE(item.IsDirty());
    item.ApplyOrientationFlags(1);
    EXPECT_EQ(listener.count, 1);
    item.ApplyOrientationFlags(6);
    EXPECT_EQ(item.GetFlags(), 0x40u | kItemFlagRotate90CW);
    EXPECT_EQ(listener.count, 2);
}

TEST(CIndexItem, BusyCountThumbnailNumberAndPurge)
{
    IndexDbRecord record;
    record.name = QByteArray("b.jpg");
    record.fields = CatalogueFields {'JPEG', 1, 2, 3, 4, 5, 0};
    CIndexItem item(record, nullptr);
    EXPECT_FALSE(item.IsDirty());
    item.SetBusy(false);
    EXPECT_FALSE(item.IsBusy());
    item.SetBusy(true);
    EXPECT_TRUE(item.IsBusy());

    item.SetThumbnail(std::make_unique<Picture>(QByteArray(12, '\0')));
    EXPECT_EQ(item.GetThumbnailNumber(), -5); // the picture changed since the file was written
    EXPECT_TRUE(item.IsDirty());
    item.Purge(); // a dirty item keeps its parts
    EXPECT_NE(item.GetThumbnail(), nullptr);
}

TEST(CIndexItem, RawNamesAnswerRawTypeWhateverIsStored)
{
    IndexDbRecord record;
    record.name = QByteArray("DSC_0001.NEF");
    record.fields = CatalogueFields {'TIFF', 1, 2, 3, 4, 0, 0};
    CIndexItem item(record, nullptr);
    EXPECT_EQ(item.GetFileTypeCode(), OSType('RAW '));
}

TEST(CIndexItem, WritesEveryTagAsBuiltByHand)
{
    const QString dir = FreshDir("every-tag");
    SetPrefBoolean("IndexStoreMediaFile", false);
    CIndexPackage package(QUrl::fromLocalFile(dir + "/Full.idxp"), nullptr);
    const QString photo = CopySample("Canon_40D.jpg", dir + "/Pictures/Harbour.jpg");
    FileRef base = FileRef::FromUrl(package.GetIndexDbURL());
    QByteArray alias;
    ASSERT_EQ(NewAliasBytes(&base, FileRef(photo), alias), noErr);

    UserData userData;
    userData.AddUserDataText("Canon", UserDataTextType("mak"), 1, 0);
    const QByteArray userDataBlock = userData.ToHandle();

    IndexDbRecord record;
    record.name = QByteArray("Harbour.jpg");
    record.fileURL = QUrl::fromLocalFile(photo).toEncoded();
    record.alias = alias;
    record.fields = CatalogueFields {'JPEG', 7000, 3000000000u, 3100000000u, 3200000000u, 9, 0x10000000};
    record.remoteURL = QByteArray("http://example.org/photos/");
    record.userData = userDataBlock;
    record.caption = SampleCaptionBlock();
    const QByteArray image = SampleImageInfoBigEndian();
    record.imageRecord.emplace();
    std::memcpy(record.imageRecord->data(), image.constData(), 102);
    CIndexItem item(record, &package);

    LDataStream stream;
    item.WriteToStream(stream, package);

    RecordBytes expected;
    expected.CountedBE(16, "Harbour.jpg");
    expected.CountedBE(18, "file://" + photo.toUtf8());
    expected.CountedBE(6, alias);
    expected.Tag(4).U32BE('JPEG').U32BE(7000).U32BE(3000000000u).U32BE(3100000000u).U32BE(3200000000u);
    expected.U32BE(9).U32BE(0x10000000);
    expected.CountedBE(7, "http://example.org/photos/Harbour.jpg"); // a folder address gets the name
    expected.CountedBE(15, userDataBlock);
    expected.CountedBE(8, SampleCaptionBlock());
    expected.Tag(12).U32BE(102).Bytes(image);
    expected.Tag(2);
    EXPECT_EQ(stream.Data(), expected.Data());
    EXPECT_FALSE(item.IsDirty());
    EXPECT_EQ(item.GetPackage(), &package);
}

// A save makes its aliases ahead on the workers; one made ahead serves only the
// URL it was made from, so an item whose URL changed since gets its own file's.
TEST(CIndexItem, AnAliasMadeAheadServesOnlyTheURLItWasMadeFrom)
{
    const QString dir = FreshDir("premade-alias");
    SetPrefBoolean("IndexStoreMediaFile", false);
    CIndexPackage package(QUrl::fromLocalFile(dir + "/P.idxp"), nullptr);
    const QString other = CopySample("Canon_40D.jpg", dir + "/Pictures/Other.jpg");
    const QString own = CopySample("Nikon_D70.jpg", dir + "/Pictures/Own.jpg");
    const FileRef base = FileRef::FromUrl(package.GetIndexDbURL());
    QByteArray expected;
    ASSERT_EQ(NewAliasBytes(&base, FileRef(own), expected), noErr);
    const struct {
        const char* name;
        QString madeFrom;
    } rows[] = { { "made from the item's file", own }, { "made from the file the item named before", other } };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::optional<PremadeAlias> premade = CIndexItem(QUrl::fromLocalFile(row.madeFrom)).PremakeAlias(package);
        ASSERT_TRUE(premade);
        CIndexItem item(QUrl::fromLocalFile(own));
        LDataStream stream;
        item.WriteToStream(stream, package, &*premade);
        const auto* pos = reinterpret_cast<const UInt8*>(stream.Data().constData());
        IndexDbRecord record;
        ASSERT_EQ(ParseIndexDbRecord(pos, pos + stream.Data().size(), record), noErr);
        EXPECT_EQ(record.alias, std::optional<QByteArray>(expected));
    }
}

TEST(CIndexItem, MinimalItemWithoutThumbnailIsWrittenWithNumberZero)
{
    const QString dir = FreshDir("minimal");
    const auto package = StoringPackage(dir + "/Min.idxp");
    CIndexItem item(StoredNotesRecord(), package.get());
    ASSERT_TRUE(item.IsStoredInPackage());
    EXPECT_EQ(item.GetURL().toLocalFile(), dir + "/Min.idxp/media/notes.txt");

    LDataStream stream;
    item.WriteToStream(stream, *package); // no thumbnail can be had: still written
    const QByteArray expected = RecordBytes()
                                    .CountedBE(16, "notes.txt")
                                    .CountedBE(17, "notes.txt")
                                    .Tag(4)
                                    .U32BE('TEXT')
                                    .U32BE(13)
                                    .U32BE(1)
                                    .U32BE(2)
                                    .U32BE(3)
                                    .U32BE(0)
                                    .U32BE(0)
                                    .Tag(2);
    EXPECT_EQ(stream.Data(), expected);
}

TEST(CIndexItem, ALibrarysOwnExceptionNeverCostsTheRecord)
{
    // Thumbnail making that fails inside a library the way libraries do.
    class ThrowingItem : public CIndexItem {
    public:
        using CIndexItem::CIndexItem;
        std::function<void()> fail;
        void WriteThumbnailFile(CIndexPackage&) override { fail(); }
    };
    const QString dir = FreshDir("foreign");
    const auto package = StoringPackage(dir + "/F.idxp");
    const IndexDbRecord record = StoredNotesRecord();
    const std::function<void()> failures[] = {
        [] { throw std::overflow_error("value too large"); },
        [] { throw std::bad_alloc(); },
        [] { throw std::length_error("vector"); },
    };
    for (const auto& failure : failures) {
        ThrowingItem item(record, package.get());
        item.fail = failure;
        LDataStream stream;
        EXPECT_EQ(CatchCode([&] { item.WriteToStream(stream, *package); }), noErr);
        // The record is whole, with thumbnail number 0.
        const QByteArray expected = RecordBytes()
                                        .CountedBE(16, "notes.txt")
                                        .CountedBE(17, "notes.txt")
                                        .Tag(4)
                                        .U32BE('TEXT')
                                        .U32BE(13)
                                        .U32BE(1)
                                        .U32BE(2)
                                        .U32BE(3)
                                        .U32BE(0)
                                        .U32BE(0)
                                        .Tag(2);
        EXPECT_EQ(stream.Data(), expected);
    }
}

TEST(CIndexItem, OlderRecordFormOfAnItemAndItsLazyReload)
{
    IndexDbRecord record;
    record.name = QByteArray("Photo.jpg");
    record.fields = CatalogueFields {'JPEG', 1000, 10, 20, 30, 0, 0x04000000};
    record.caption = SampleCaptionBlock();
    CIndexItem item(record, nullptr);

    LDataStream file;
    file.WriteBytes("head"); // the record starts at an offset
    item.WriteRecord(file, 4);

    const QByteArray expected = RecordBytes()
                                    .Bytes("head")
                                    .Tag(4)
                                    .PascalField("Photo.jpg", 64)
                                    .U32LE('JPEG')
                                    .U32LE(1000)
                                    .U32LE(10)
                                    .U32LE(20)
                                    .U32LE(30)
                                    .CountedLE(8, SampleCaptionBlock())
                                    .Tag(13)
                                    .U32LE(4)
                                    .U32LE(0x04000000)
                                    .Tag(2);
    EXPECT_EQ(file.Data(), expected);

    // Written, the item let go of its caption; it comes back from the file, and
    // the file's position is kept.
    EXPECT_FALSE(item.IsRecordLoaded());
    file.SetMarker(2);
    ASSERT_NE(item.GetCaptionInfo(), nullptr);
    EXPECT_EQ(item.GetCaptionInfo()->GetDataHandle(), SampleCaptionBlock());
    EXPECT_EQ(file.GetMarker(), 2);

    // An item without any part writes the 95-byte record.
    IndexDbRecord bare;
    bare.name = QByteArray("x");
    bare.fields = CatalogueFields {};
    CIndexItem empty(bare, nullptr);
    LDataStream small;
    empty.WriteRecord(small, 0);
    EXPECT_EQ(small.Data().size(), 95);
}

TEST(CIndexItem, OlderRecordFormKeepsTheImageRecordInHostOrder)
{
    IndexDbRecord record;
    record.name = QByteArray("Photo.jpg");
    record.fields = CatalogueFields {'JPEG', 1000, 10, 20, 30, 0, 0x04000000};
    CIndexItem item(record, nullptr);
    item.SetImageInfo(std::make_unique<MediaImageInfo>(SampleImageInfo()));

    LDataStream file;
    item.WriteRecord(file, 0);

    // Every field as the little-endian build keeps the record in memory; the
    // name and the last six bytes are bytes either way.
    const QByteArray image = RecordBytes()
                                 .U16LE(1)
                                 .PascalField("JPEG", 64)
                                 .U32LE(0x01020304)
                                 .U16LE(640)
                                 .U16LE(480)
                                 .U32LE(72 << 16)
                                 .U32LE(96 << 16)
                                 .U16LE(24)
                                 .U16LE(12)
                                 .U16LE(1)
                                 .U32LE(0)
                                 .U32LE(768)
                                 .Bytes(QByteArray("\x01\x00\x00\x00\x00\x00", 6));
    ASSERT_EQ(image.size(), 102);
    const QByteArray expected = RecordBytes()
                                    .Tag(4)
                                    .PascalField("Photo.jpg", 64)
                                    .U32LE('JPEG')
                                    .U32LE(1000)
                                    .U32LE(10)
                                    .U32LE(20)
                                    .U32LE(30)
                                    .Tag(13)
                                    .U32LE(4)
                                    .U32LE(0x04000000)
                                    .Tag(12)
                                    .U32LE(102)
                                    .Bytes(image)
                                    .Tag(2);
    EXPECT_EQ(file.Data().toHex(), expected.toHex());

    // Read back from bytes built by hand, the record is the same description.
    IndexDbRecord bare;
    bare.name = QByteArray("Photo.jpg");
    CIndexItem reader(bare, nullptr);
    LDataStream input(expected);
    reader.ReadRecord(input);
    ASSERT_NE(reader.GetImageInfo(), nullptr);
    EXPECT_EQ(*reader.GetImageInfo(), SampleImageInfo());
    EXPECT_TRUE(input.AtEnd());
}

TEST(CIndexItem, FileURLsReadAsTheAddressesTheyStore)
{
    // Each stored address reads back as Qt parses it, the older "localhost" form
    // as the same local file, escapes of bytes above 0x7F as the name's own bytes.
    const struct {
        const char* stored;
        const char* file; // the local path read
        QUrl url;
    } cases[] = {
        { "file:///photos/harbour.jpg", "/photos/harbour.jpg", QUrl("file:///photos/harbour.jpg") },
        { "file:///Users/pat/a%20b.jpg", "/Users/pat/a b.jpg", QUrl("file:///Users/pat/a%20b.jpg") },
        { "file://localhost/Users/pat/a%20b.jpg", "/Users/pat/a b.jpg", QUrl("file:///Users/pat/a%20b.jpg") },
        { "file:///100%25%20x/a%2Fb%3F;c+d%5B1%5D%7e.jpg", "/100% x/a/b?;c+d[1]~.jpg",
            QUrl::fromEncoded("file:///100%25%20x/a%2Fb%3F;c+d%5B1%5D%7e.jpg") },
        { "file:///caf%C3%A9/t%E9.jpg", nullptr,
            UrlFromNativeFileUrl(QUrl::fromEncoded("file:///caf%C3%A9/t%E9.jpg")) },
        { "file:///a/b.jpg?x#y", "/a/b.jpg", QUrl("file:///a/b.jpg?x#y") },
        // A stray "%" makes every "%" a literal one, as Qt reads it.
        { "file:///13%zz/b c%20d.jpg", "/13%zz/b c%20d.jpg", QUrl::fromEncoded("file:///13%zz/b c%20d.jpg") },
    };
    for (const auto& c : cases) {
        IndexDbRecord record;
        record.name = QByteArray("b.jpg");
        record.fields = CatalogueFields {};
        record.fileURL = QByteArray(c.stored);
        CIndexItem item(record, nullptr);
        const QUrl url = item.GetURL();
        EXPECT_EQ(url, c.url) << c.stored;
        EXPECT_EQ(url.toString(), c.url.toString()) << c.stored;
        EXPECT_EQ(url.toEncoded(), c.url.toEncoded()) << c.stored;
        if (c.file)
            EXPECT_EQ(url.toLocalFile(), QString::fromUtf8(c.file)) << c.stored;
    }
}

TEST(CIndexItem, StoredNamesOutsideMediaAreRefused)
{
    CIndexPackage package(QUrl::fromLocalFile(FreshDir("hostile") + "/H.idxp"), nullptr);
    for (const char* hostile : {"../index.db", "..", "sub/file.jpg", "/etc/passwd", "."}) {
        IndexDbRecord record;
        record.name = QByteArray("x.jpg");
        record.storedName = QByteArray(hostile);
        record.fields = CatalogueFields {};
        // The item stays, without the name, and says why.
        CIndexItem item(record, &package);
        EXPECT_TRUE(item.GetStoredName().isEmpty()) << hostile;
        ASSERT_NE(item.GetError(), nullptr) << hostile;
        EXPECT_EQ(item.GetError()->GetCode(), badFormat) << hostile;
    }
}

TEST(CIndexItem, CaptionAndImageRecordAreParsedOnlyWhenAskedFor)
{
    // A caption with its urgency as the ASCII digit other programs write: a block
    // never parsed comes back exactly as it was read.
    QByteArray caption("\x1C\x02\x0A\x00\x01" "5" "\x1C\x02\x69\x00\x0F" "Harbour at dawn", 26);
    IndexDbRecord record;
    record.name = QByteArray("harbour.jpg");
    record.fileURL = QByteArray("file:///photos/harbour.jpg");
    record.fields = CatalogueFields {'JPEG', 7000, 3000000000u, 3100000000u, 3200000000u, 0, 0};
    record.caption = caption;
    record.imageRecord.emplace();
    std::memcpy(record.imageRecord->data(), SampleImageInfoBigEndian().constData(), 102);
    const QDir dir(FreshDir("lazyblocks"));
    CIndexPackage package(QUrl::fromLocalFile(dir.filePath("L.idxp")), nullptr);

    auto written = [&](CIndexItem& item) {
        LDataStream stream;
        item.WriteToStream(stream, package);
        IndexDbReader reader(stream.Data());
        IndexDbRecord back;
        EXPECT_TRUE(reader.Next(back));
        return back;
    };
    CIndexItem untouched(record, &package);
    EXPECT_EQ(untouched.GetDateAdded(), 3000000000u) << "the stored date, not the time of reading";
    const IndexDbRecord same = written(untouched);
    EXPECT_EQ(same.caption, record.caption);
    EXPECT_EQ(same.imageRecord, record.imageRecord);

    CIndexItem asked(record, &package);
    ASSERT_NE(asked.GetCaptionInfo(), nullptr);
    EXPECT_EQ(PStringToQString(asked.GetCaptionInfo()->GetHeadline()), QStringLiteral("Harbour at dawn"));
    ASSERT_NE(asked.GetImageInfo(), nullptr);
    EXPECT_EQ(*asked.GetImageInfo(), SampleImageInfo());
    // A caption set anew replaces the stored block.
    auto fresh = std::make_unique<CANPAInfo>();
    fresh->SetHeadline(Str255("Quay"));
    const QByteArray freshBlock = fresh->GetDataHandle();
    asked.SetCaptionInfo(std::move(fresh));
    EXPECT_EQ(written(asked).caption, std::optional<QByteArray>(freshBlock));

    // A record without catalogue fields is added now.
    record.fields.reset();
    const UInt32 before = GetDateTimeNow();
    CIndexItem undated(record, &package);
    EXPECT_GE(undated.GetDateAdded(), before);

    // A damaged caption is left out when it is read, and the item says so.
    record.caption = QByteArray("\x1C\x02\x69\x00\x40" "cut", 8);
    CIndexItem damaged(record, &package);
    ASSERT_NE(damaged.GetError(), nullptr);
    EXPECT_NE(damaged.GetError()->GetReason().find("caption"), std::string::npos);
}

TEST(CIndexItem, DamagedCaptionOrUserDataCostsOnlyThatPart)
{
    IndexDbRecord record;
    record.name = QByteArray("x.jpg");
    record.fields = CatalogueFields {};
    record.userData = QByteArray("\x00\x00\x00\xFF" "abcd", 8);
    CIndexItem item(record, nullptr);
    EXPECT_EQ(item.GetName(), QStringLiteral("x.jpg"));
    ASSERT_NE(item.GetError(), nullptr);
    EXPECT_NE(item.GetError()->GetReason().find("user data"), std::string::npos);
}

// Two items of one record: one asks for its user data and image record one by
// one (each part opening the medium on its own) and then writes its record; the
// other writes its record straight away. Both records, read back.
struct AskedAndWritten {
    std::unique_ptr<CIndexItem> asked;
    std::unique_ptr<CIndexItem> written;
    OSStatus userDataStatus = noErr; // what asking for the part threw
    OSStatus imageInfoStatus = noErr;
    QByteArray askedBytes;
    QByteArray writtenBytes;
    IndexDbRecord back; // the written item's record
};

AskedAndWritten WriteAskedAndUnasked(const IndexDbRecord& record, CIndexPackage& package)
{
    AskedAndWritten out;
    out.asked = std::make_unique<CIndexItem>(record, &package);
    out.userDataStatus = CatchCode([&] { out.asked->GetUserData(); });
    out.imageInfoStatus = CatchCode([&] { out.asked->GetImageInfo(); });
    LDataStream one;
    out.asked->WriteToStream(one, package);
    out.askedBytes = one.Data();

    out.written = std::make_unique<CIndexItem>(record, &package);
    LDataStream other;
    out.written->WriteToStream(other, package);
    out.writtenBytes = other.Data();
    IndexDbReader reader(out.writtenBytes);
    EXPECT_TRUE(reader.Next(out.back));
    return out;
}

IndexDbRecord RecordOfFile(const QString& path, UInt32 size)
{
    IndexDbRecord record;
    record.name = QFileInfo(path).fileName().toUtf8();
    record.fileURL = QUrl::fromLocalFile(path).toEncoded();
    record.fields = CatalogueFields {'JPEG', size, 3000000000u, 3000000000u, 3000000000u, 4, 0};
    return record;
}

// A medium that cannot be opened fails each part of the record alike: the
// record and the item's error are those of an item that asked for each part on
// its own, and the failure is forgotten once the record is written.
TEST(CIndexItem, UnreadableMediumFailsEveryPartOfTheRecordAlike)
{
    const QString dir = FreshDir("unreadable");
    CIndexPackage package(QUrl::fromLocalFile(dir + "/U.idxp"), nullptr);
    const QString path = dir + "/photos/Broken.jpg";
    QDir().mkpath(dir + "/photos");
    QFile broken(path);
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.close(); // empty: no medium can be made of it

    const IndexDbRecord record = RecordOfFile(path, 0);
    const AskedAndWritten items = WriteAskedAndUnasked(record, package);
    EXPECT_NE(items.userDataStatus, noErr);
    EXPECT_NE(items.imageInfoStatus, noErr);
    EXPECT_EQ(items.writtenBytes, items.askedBytes);
    EXPECT_FALSE(items.back.userData);
    EXPECT_FALSE(items.back.imageRecord);
    EXPECT_EQ(items.back.fileURL, record.fileURL);
    const CItemError* writtenError = items.written->GetError();
    const CItemError* askedError = items.asked->GetError();
    ASSERT_NE(writtenError, nullptr);
    ASSERT_NE(askedError, nullptr);
    EXPECT_EQ(writtenError->GetCode(), askedError->GetCode());
    EXPECT_EQ(writtenError->GetMessage(), askedError->GetMessage());
    EXPECT_EQ(writtenError->GetReason(), askedError->GetReason());

    // Once the file is a photograph the medium is made again.
    CopySample("Canon_40D.jpg", path);
    std::unique_ptr<CMedia> media(items.written->CreateMedia());
    EXPECT_NE(media, nullptr);
}

// A first write opens the medium once for the user data and the image record:
// the record is the one an item that asked for each part on its own writes.
TEST(CIndexItem, OneMediumServesEveryPartOfAFirstWrite)
{
    const QString dir = FreshDir("onemedium");
    CIndexPackage package(QUrl::fromLocalFile(dir + "/O.idxp"), nullptr);
    for (const QString sample : {"Canon_40D.jpg", "Nikon_D70.jpg", "orientation/portrait_6.jpg"}) {
        SCOPED_TRACE(sample.toStdString());
        const QString path = CopySample(sample, dir + "/photos/" + QFileInfo(sample).fileName());
        const AskedAndWritten items = WriteAskedAndUnasked(RecordOfFile(path, 1000), package);
        EXPECT_EQ(items.userDataStatus, noErr);
        EXPECT_EQ(items.imageInfoStatus, noErr);
        EXPECT_NE(items.asked->GetUserData(), nullptr);
        EXPECT_NE(items.asked->GetImageInfo(), nullptr);
        EXPECT_EQ(items.writtenBytes, items.askedBytes);
        EXPECT_TRUE(items.back.userData);
        EXPECT_TRUE(items.back.imageRecord);
        EXPECT_EQ(items.written->GetError(), nullptr);
        // The medium went with the write: the item makes a new one when asked.
        std::unique_ptr<CMedia> media(items.written->CreateMedia());
        EXPECT_NE(media, nullptr);
    }
}

TEST(CIndexItem, StoredMediaWithTheSameNameNeverOverwriteEachOther)
{
    const QString dir = FreshDir("collide");
    SetPrefBoolean("IndexStoreMediaFile", true);
    SetPrefBoolean("IndexRemoveMediaFile", true);
    CIndexModel model;
    CIndexPackage package(QUrl::fromLocalFile(dir + "/C.idxp"), &model);
    SetPrefDefault("IndexStoreMediaFile");
    SetPrefDefault("IndexRemoveMediaFile");

    const QString first = CopySample("Nikon_D70.jpg", dir + "/card1/IMG_0001.JPG");
    const QString second = CopySample("Pentax_K10D.jpg", dir + "/card2/IMG_0001.JPG");
    CIndexItem a(QUrl::fromLocalFile(first));
    CIndexItem b(QUrl::fromLocalFile(second));

    LDataStream stream;
    a.WriteToStream(stream, package);
    EXPECT_EQ(model.GetPendingDeletions().size(), 1u); // queued once its copy and record are written
    b.WriteToStream(stream, package);

    EXPECT_NE(a.GetStoredName(), b.GetStoredName());
    EXPECT_EQ(ReadWholeFile(a.GetURL().toLocalFile()), ReadWholeFile(first));
    EXPECT_EQ(ReadWholeFile(b.GetURL().toLocalFile()), ReadWholeFile(second));
    EXPECT_EQ(QDir(dir + "/C.idxp/media").entryList(QDir::Files).size(), 2);
    ASSERT_EQ(model.GetPendingDeletions().size(), 2u);
    EXPECT_EQ(model.GetPendingDeletions()[0].toLocalFile(), first);
    EXPECT_EQ(model.GetPendingDeletions()[1].toLocalFile(), second);

    // Written again into the same package, the media are not copied again.
    const QByteArray before = stream.Data();
    LDataStream again;
    a.WriteToStream(again, package);
    EXPECT_EQ(QDir(dir + "/C.idxp/media").entryList(QDir::Files).size(), 2);
    EXPECT_TRUE(again.Data().contains(QByteArray("\x11\x00\x00\x00", 4)));
}

TEST(CIndexItem, RoundTripOfRealPhotographsItemForItem)
{
    SimpleThumbnailMaker maker;
    StThumbnailServices installed(&maker);
    const QString dir = FreshDir("roundtrip");
    const QStringList samples {"Canon_40D.jpg", "Canon_DIGITAL_IXUS_400.jpg", "Fujifilm_FinePix6900ZOOM.jpg",
        "Kodak_CX7530.jpg", "Nikon_D70.jpg", "Olympus_C8080WZ.jpg", "Panasonic_DMC-FZ30.jpg", "Pentax_K10D.jpg",
        "Sony_HDR-HC3.jpg", "orientation/portrait_6.jpg"};

    SetPrefBoolean("IndexStoreMediaFile", false);
    CIndexPackage outside(QUrl::fromLocalFile(dir + "/Outside.idxp"), nullptr);
    SetPrefBoolean("IndexStoreMediaFile", true);
    CIndexPackage inside(QUrl::fromLocalFile(dir + "/Inside.idxp"), nullptr);
    SetPrefDefault("IndexStoreMediaFile");

    for (CIndexPackage* package : {&outside, &inside}) {
        SCOPED_TRACE(package->GetPackageURL().toString().toStdString());
        std::vector<std::unique_ptr<CIndexItem>> items;
        for (const QString& sample : samples) {
            const QString path = CopySample(sample, dir + "/photos/" + QFileInfo(sample).fileName());
            items.push_back(std::make_unique<CIndexItem>(QUrl::fromLocalFile(path)));
        }
        items[0]->SetRemoteURL(QUrl("ftp://example.org/incoming/Canon_40D.jpg"));
        items[1]->SetCaptionInfo(std::make_unique<CANPAInfo>(SampleCaptionBlock()));
        items[2]->SetImageInfo(std::make_unique<MediaImageInfo>(SampleImageInfo()));
        items[3]->SetFlags(0x00000042);

        LDataStream stream;
        for (auto& item : items)
            item->WriteToStream(stream, *package);
        QFile db(package->GetIndexDbURL().toLocalFile());
        ASSERT_TRUE(db.open(QIODevice::WriteOnly));
        db.write(stream.Data());
        db.close();

        auto back = ReadItems(ReadWholeFile(package->GetIndexDbURL().toLocalFile()), package);
        ASSERT_EQ(back.size(), items.size());
        LDataStream rewritten;
        for (size_t i = 0; i < items.size(); ++i) {
            CIndexItem& a = *items[i];
            CIndexItem& b = *back[i];
            SCOPED_TRACE(a.GetName().toStdString());
            EXPECT_EQ(b.GetName(), a.GetName());
            EXPECT_EQ(b.GetFileTypeCode(), a.GetFileTypeCode());
            EXPECT_EQ(b.GetTotalSize(), a.GetTotalSize());
            EXPECT_EQ(b.GetDateAdded(), a.GetDateAdded());
            EXPECT_EQ(b.GetCreationDate(), a.GetCreationDate());
            EXPECT_EQ(b.GetModificationDate(), a.GetModificationDate());
            EXPECT_EQ(b.GetFlags(), a.GetFlags());
            EXPECT_GT(b.GetThumbnailNumber(), 0);
            EXPECT_EQ(b.GetThumbnailNumber(), a.GetThumbnailNumber());
            EXPECT_EQ(b.GetStoredName(), a.GetStoredName());
            EXPECT_EQ(b.GetURL(), a.GetURL());
            EXPECT_EQ(b.GetRemoteURL(), a.GetRemoteURL());
            ASSERT_NE(b.GetThumbnail(), nullptr);
            EXPECT_EQ(b.GetThumbnail()->Frame().Width(), 16);
            if (a.GetUserData() && b.GetUserData())
                EXPECT_TRUE(*a.GetUserData() == *b.GetUserData());
            EXPECT_EQ(a.GetUserData() != nullptr, b.GetUserData() != nullptr);
            if (a.GetCaptionInfo())
                EXPECT_EQ(b.GetCaptionInfo()->GetDataHandle(), a.GetCaptionInfo()->GetDataHandle());
            ASSERT_EQ(a.GetImageInfo() != nullptr, b.GetImageInfo() != nullptr);
            if (a.GetImageInfo())
                EXPECT_EQ(*b.GetImageInfo(), *a.GetImageInfo());
            b.WriteToStream(rewritten, *package);
        }
        // The media gave their parts: user data and image records went through.
        int withUserData = 0;
        int withImageInfo = 0;
        for (auto& item : back) {
            withUserData += item->GetUserData() != nullptr;
            withImageInfo += item->GetImageInfo() != nullptr;
        }
        EXPECT_GE(withUserData, 8);
        EXPECT_EQ(withImageInfo, int(samples.size()));
        // Read back and written again, the index is the same byte for byte.
        EXPECT_EQ(rewritten.Data(), stream.Data());
        if (package == &inside)
            EXPECT_EQ(QDir(dir + "/Inside.idxp/media").entryList(QDir::Files).size(), samples.size());
    }
}

TEST(CIndexItem, RemovedFromItsBrowserTheItemLivesOn)
{
    LDataBrowserImp::Settings settings;
    settings.viewStyle = 'cols'; // no column list
    SPaneInfo info;
    LDataBrowser browser(info, settings);
    browser.FinishCreate();

    IndexDbRecord record;
    record.name = QByteArray("kept.jpg");
    record.fields = CatalogueFields {};
    CIndexItem item(record, nullptr); // owned by its view, here the test
    browser.AddItem(&item);
    EXPECT_EQ(item.GetOwningBrowser(), &browser);
    browser.RemoveItem(&item);
    EXPECT_EQ(browser.CountItems(), 0);
    EXPECT_EQ(item.GetName(), "kept.jpg");
}

TEST(CIndexItem, CellPartsInTheGridAndTheExtendedList)
{
    IndexDbRecord record;
    record.name = QByteArray("cell.jpg");
    record.fields = CatalogueFields {};
    CIndexItem item(record, nullptr);
    TestIndexView view; // cells 120 wide, 140 high, two lines of 12
    const QRect cell = ToQRect(MakeRect(0, 0, 140, 120));

    EXPECT_EQ(item.GetPartRect(kItemPartThumbnailFrame, cell, view), ToQRect(MakeRect(4, 4, 112, 116)));
    EXPECT_EQ(item.GetPartRect(kItemPartTextBlock, cell, view), ToQRect(MakeRect(116, 0, 140, 120)));
    EXPECT_EQ(item.GetPartRect(kItemPartErrorBadge, cell, view), ToQRect(MakeRect(7, 97, 23, 113)));
    // No picture: the thumbnail square centred in the frame.
    EXPECT_EQ(item.GetPartRect(kItemPartPicture, cell, view), ToQRect(MakeRect(8, 10, 108, 110)));

    EXPECT_EQ(item.HitTest(QPoint(100, 10), cell, view), kItemPartPicture);
    EXPECT_EQ(item.HitTest(QPoint(50, 130), cell, view), kItemPartTextBlock);
    EXPECT_EQ(item.HitTest(QPoint(2, 2), cell, view), kItemPartNone);
    item.SetError(std::make_unique<CItemError>(-43, QString(), QStringLiteral("600:62")));
    EXPECT_EQ(item.HitTest(QPoint(100, 10), cell, view), kItemPartErrorBadge);

    EXPECT_EQ(item.FindTextLineAt(QPoint(5, 117), cell, view), 0);
    EXPECT_EQ(item.FindTextLineAt(QPoint(5, 130), cell, view), 1);
    EXPECT_EQ(item.FindTextLineAt(QPoint(5, 50), cell, view), -1);
    EXPECT_EQ(item.GetTextLineRect(1, cell, view), ToQRect(MakeRect(128, 0, 140, 120)));

    // A landscape thumbnail turned a quarter stands upright in the picture square.
    QImage image(40, 20, QImage::Format_RGB32);
    image.fill(Qt::gray);
    item.SetThumbnail(std::make_unique<Picture>(Picture::FromImage(image, MakeRect(0, 0, 20, 40))));
    item.SetFlags(kItemFlagRotate90CW);
    const QRect picture = item.GetPartRect(kItemPartPicture, cell, view);
    EXPECT_EQ(picture.height(), 100);
    EXPECT_EQ(picture.width(), 50);

    view.extended = true; // cells 120 wide, 60 high
    const QRect row = ToQRect(MakeRect(0, 0, 60, 300));
    EXPECT_EQ(item.GetPartRect(kItemPartThumbnailFrame, row, view), ToQRect(MakeRect(4, 4, 56, 56)));
    EXPECT_EQ(item.GetPartRect(kItemPartTextBlock, row, view), ToQRect(MakeRect(4, 56, 56, 296)));
    // The label column (extra width 30 and eight characters of 5) holds no line.
    EXPECT_EQ(item.FindTextLineAt(QPoint(100, 10), row, view), -1);
    EXPECT_EQ(item.FindTextLineAt(QPoint(130, 20), row, view), 1);
    EXPECT_EQ(item.GetTextLineRect(0, row, view).left(), 86);

    // Far down a view of thousands of rows the parts keep their places (no 16-bit wrap).
    const QRect farRow = row.translated(0, 5'000'000);
    EXPECT_EQ(item.GetPartRect(kItemPartTextBlock, farRow, view), item.GetPartRect(kItemPartTextBlock, row, view).translated(0, 5'000'000));
    EXPECT_EQ(item.FindTextLineAt(QPoint(130, 5'000'020), farRow, view), 1);
    view.extended = false;
    const QRect farCell = cell.translated(240, 40'000);
    EXPECT_EQ(item.GetPartRect(kItemPartPicture, farCell, view), picture.translated(240, 40'000));
    EXPECT_EQ(item.HitTest(QPoint(300, 40'060), farCell, view), kItemPartPicture);
}

TEST(CIndexItem, FileOperationsMoveAndRenameTheMediaFile)
{
    const QString dir = FreshDir("fileops");
    const QString path = CopySample("Kodak_CX7530.jpg", dir + "/in/Kodak.jpg");
    QDir().mkpath(dir + "/out");
    CIndexItem item(QUrl::fromLocalFile(path));
    item.MoveFileTo(QUrl::fromLocalFile(dir + "/out"), 0);
    EXPECT_EQ(item.GetURL().toLocalFile(), dir + "/out/Kodak.jpg");
    EXPECT_TRUE(QFile::exists(dir + "/out/Kodak.jpg"));
    EXPECT_TRUE(item.IsDirty());

    item.SetName("Kodak holiday.jpg");
    item.RenameMediaFile();
    EXPECT_EQ(item.GetURL().toLocalFile(), dir + "/out/Kodak holiday.jpg");

    // A name that is taken: the file stays, the item carries the error.
    CopySample("Kodak_CX7530.jpg", dir + "/out/Taken.jpg");
    item.SetName("Taken.jpg");
    EXPECT_THROW(item.RenameMediaFile(), ExceptionCode);
    ASSERT_NE(item.GetError(), nullptr);
    // The error says which file and which name, beside its code.
    EXPECT_NE(item.GetError()->GetReason().find("Kodak holiday.jpg"), std::string::npos);
    EXPECT_NE(item.GetError()->GetReason().find("\"Taken.jpg\""), std::string::npos);
    EXPECT_TRUE(QFile::exists(dir + "/out/Kodak holiday.jpg"));
}

TEST(CIndexItem, MadeFromAFileTakesItsCatalogueInformation)
{
    const QString dir = FreshDir("fromfile");
    const QString path = CopySample("Olympus_C8080WZ.jpg", dir + "/Olympus.jpg");
    const UInt32 before = GetDateTimeNow();
    CIndexItem item{FileRef(path)};
    EXPECT_EQ(item.GetName(), "Olympus.jpg");
    EXPECT_EQ(item.GetFileTypeCode(), OSType('JPEG'));
    EXPECT_EQ(item.GetTotalSize(), UInt32(QFileInfo(path).size()));
    EXPECT_EQ(item.GetModificationDate(), DateTimeToMacSecondsUTC(QFileInfo(path).lastModified()));
    EXPECT_GE(item.GetDateAdded(), before);
    EXPECT_EQ(item.GetURL().toLocalFile(), path);
    EXPECT_FALSE(item.IsInIndexFile());
}

TEST(CIndexItem, DisplayPictureIsTheThumbnailTurnedByTheFlagWord)
{
    IndexDbRecord record;
    record.name = QByteArray("turned.jpg");
    record.fields = CatalogueFields {};
    CIndexItem item(record, nullptr);
    QImage image(40, 20, QImage::Format_RGB32);
    image.fill(Qt::white);
    image.setPixel(0, 0, qRgb(255, 0, 0)); // the top left corner, red
    item.SetThumbnail(std::make_unique<Picture>(Picture::FromImage(image, MakeRect(0, 0, 20, 40))));
    item.SetFlags(kItemFlagRotate90CW);
    Offscreen* shown = item.GetDisplayPicture();
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->Width(), 20);
    EXPECT_EQ(shown->Height(), 40);
    // A quarter turn clockwise takes the top left corner to the top right.
    EXPECT_GT(qRed(shown->Image().pixel(19, 0)), 200);
    EXPECT_LT(qGreen(shown->Image().pixel(19, 0)), 60);
}

namespace {

class TestInfoWindow : public LWindow, public ItemInfoWindow {
public:
    explicit TestInfoWindow(const LLayoutData& data)
        : LWindow(data)
    {
    }
    void SetIndexItem(CIndexItem* item, CIndexModel*) override { shown = item; }
    void BringToFront() override
    {
        Show();
        Select();
        ++broughtForward;
    }
    CIndexItem* shown = nullptr;
    int broughtForward = 0;
};

// What the views do: windows from their layouts, the file chosen by a stand-in
// for the user.
class TestItemWindows : public ItemWindowServices {
public:
    TestItemWindows() { SetItemWindowServices(this); }
    ~TestItemWindows() override { SetItemWindowServices(nullptr); }

    std::unique_ptr<ItemInfoWindow> MakeItemInfoWindow(LCommander* superCommander) override
    {
        try {
            LWindow* window = LWindow::CreateWindow(kItemInfoWindowLayout, superCommander);
            if (auto* info = dynamic_cast<ItemInfoWindow*>(window))
                return std::unique_ptr<ItemInfoWindow>(info);
            delete window;
        } catch (const ExceptionCode&) {
        }
        return nullptr;
    }
    QUrl AskForMissingFile(const QString& name, const QUrl& folder) override
    {
        askedName = name;
        askedFolder = folder;
        if (whileAsking)
            whileAsking();
        return answer;
    }

    QUrl answer;
    QString askedName;
    QUrl askedFolder;
    std::function<void()> whileAsking;
};

} // namespace

TEST(CIndexItem, InfoWindowIsMadeOnceAndShowsTheItem)
{
    IndexDbRecord record;
    record.name = QByteArray("info.jpg");
    record.fields = CatalogueFields {};
    auto item = std::make_unique<CIndexItem>(record, nullptr);
    // Without window services there is no window to show.
    EXPECT_THROW(item->ShowInfoWindow(nullptr), ExceptionCode);

    TestItemWindows windows;
    const QString folder = FreshDir("layouts");
    UReanimator::AddLayoutFolder(folder);
    // Without a layout 911 the views make no window either.
    EXPECT_THROW(item->ShowInfoWindow(nullptr), ExceptionCode);
    EXPECT_EQ(item->GetInfoWindow(), nullptr);

    URegistrar::RegisterClass<TestInfoWindow>('tInf');
    QFile layout(folder + "/911.json");
    ASSERT_TRUE(layout.open(QIODevice::WriteOnly));
    layout.write(R"({ "id": 911, "root": { "class": "tInf", "id": 911, "frame": [20, 40, 300, 200] } })");
    layout.close();
    item->ShowInfoWindow(nullptr);
    auto* window = dynamic_cast<TestInfoWindow*>(item->GetInfoWindow());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->shown, item.get());
    EXPECT_EQ(window->broughtForward, 1);
    item->ShowInfoWindow(nullptr); // brought forward, not made again
    EXPECT_EQ(item->GetInfoWindow(), window);
    EXPECT_EQ(window->broughtForward, 2);

    // A window closing by itself lets go of the item first.
    item->SetInfoWindow(kInfoWindowClosing);
    EXPECT_EQ(item->GetInfoWindow(), nullptr);
    delete window;
    item->ShowInfoWindow(nullptr);
    ASSERT_NE(item->GetInfoWindow(), nullptr);
    item.reset(); // the item takes its window with it
}

TEST(CIndexItem, LocatesAMissingFileThroughTheViewsDialog)
{
    const QString dir = FreshDir("locate");
    const QString path = CopySample("Canon_40D.jpg", dir + "/old/Canon.jpg");
    CIndexItem::ForgetLocateFolder();
    CIndexItem item{QUrl::fromLocalFile(path)};
    QDir().mkpath(dir + "/moved");
    ASSERT_TRUE(QFile::rename(path, dir + "/moved/Canon.jpg"));

    // No dialog: the item asks nothing and finds nothing.
    EXPECT_TRUE(item.LocateFile(true).isEmpty());

    TestItemWindows windows;
    EXPECT_TRUE(item.LocateFile(true).isEmpty()) << "the user cancelled";
    EXPECT_EQ(windows.askedName, QStringLiteral("Canon.jpg"));
    EXPECT_TRUE(item.LocateFile(false).isEmpty()) << "only asked when asking is allowed";

    // The user points at the folder: the file of the item's name in it is taken,
    // and the folder is where later searches look first.
    windows.answer = QUrl::fromLocalFile(dir + "/moved");
    EXPECT_EQ(item.LocateFile(true).toLocalFile(), dir + "/moved/Canon.jpg");
    EXPECT_EQ(item.GetURL().toLocalFile(), dir + "/moved/Canon.jpg");

    CIndexItem other{QUrl::fromLocalFile(dir + "/moved/Canon.jpg")};
    QFile::remove(dir + "/moved/Canon.jpg");
    CopySample("Canon_40D.jpg", dir + "/moved/Renamed.jpg");
    windows.answer = QUrl::fromLocalFile(dir + "/moved/Renamed.jpg");
    EXPECT_EQ(other.LocateFile(true).toLocalFile(), dir + "/moved/Renamed.jpg");
    EXPECT_EQ(other.GetName(), QStringLiteral("Renamed.jpg"));
    EXPECT_EQ(windows.askedFolder.toLocalFile(), dir + "/moved");
    CIndexItem::ForgetLocateFolder();
}

// An item read with its alias takes its address, folder, volume and location
// from where the alias finds the file: where it was, moved before the index
// was opened, or moved after the file was found; a save writes that place.
TEST(CIndexItem, FolderAndVolumeAreWhereTheAliasFindsTheFile)
{
    const struct {
        const char* name;
        bool movedBeforeOpening;
        bool movedAfterFound;
    } kCases[] = { { "stays", false, false }, { "moved-before", true, false }, { "moved-after", false, true } };
    for (const auto& row : kCases) {
        const QString dir = FreshDir(QStringLiteral("alias-place-") + QLatin1String(row.name));
        const QString path = CopySample("Canon_40D.jpg", dir + "/old place/Canon.jpg");
        const QString moved = dir + "/new place/Canon.jpg";
        QDir().mkpath(dir + "/new place");
        CIndexPackage package(QUrl::fromLocalFile(dir + "/Index.idxp"), nullptr);
        const FileRef base = FileRef::FromUrl(package.GetIndexDbURL());
        IndexDbRecord record;
        record.name = QByteArray("Canon.jpg");
        record.fileURL = QUrl::fromLocalFile(path).toEncoded();
        record.alias.emplace();
        ASSERT_EQ(NewAliasBytes(&base, FileRef(path), *record.alias), noErr);
        record.fields = CatalogueFields { 'JPEG', 7000, 3000000000u, 3100000000u, 3200000000u, 0, 0 };
        if (row.movedBeforeOpening)
            ASSERT_TRUE(QFile::rename(path, moved));
        CIndexItem item(record, &package);
        EXPECT_EQ(item.CopyFieldString(kFieldFolder, kFieldTextEmpty),
            row.movedBeforeOpening ? QStringLiteral("new place") : QStringLiteral("old place")) << row.name;
        if (row.movedAfterFound) {
            ASSERT_TRUE(QFile::rename(path, moved));
            EXPECT_EQ(item.LocateFile(false).toLocalFile(), moved) << row.name;
        }
        const QString where = row.movedBeforeOpening || row.movedAfterFound ? moved : path;
        const QString folder = QFileInfo(where).dir().dirName();
        EXPECT_EQ(item.GetURL(), QUrl::fromLocalFile(where)) << row.name;
        EXPECT_EQ(item.CopyFieldString(kFieldFolder, kFieldTextEmpty), folder) << row.name;
        EXPECT_EQ(item.CopyFieldString(kFieldVolume, kFieldTextEmpty), where.split(QLatin1Char('/')).at(2)) << row.name;
        EXPECT_EQ(item.CopyFieldString(kFieldLocation, kFieldTextEmpty), QStringLiteral("file://") + where) << row.name;
        EXPECT_FALSE(item.HasProblem()) << row.name;

        LDataStream stream;
        item.WriteToStream(stream, package);
        EXPECT_TRUE(stream.Data().contains(QUrl::fromLocalFile(where).toEncoded())) << row.name;
        const auto back = ReadItems(stream.Data(), &package);
        ASSERT_EQ(back.size(), 1u);
        EXPECT_EQ(back[0]->CopyFieldString(kFieldFolder, kFieldTextEmpty), folder) << row.name;
        EXPECT_EQ(back[0]->GetURL(), QUrl::fromLocalFile(where)) << row.name;
    }
}

TEST(CIndexItem, CopyFromAnotherPackageNeverQueuesThatPackagesMedia)
{
    const QString dir = FreshDir("twopackages");
    SetPrefBoolean("IndexStoreMediaFile", true);
    SetPrefBoolean("IndexRemoveMediaFile", true);
    CIndexModel modelA;
    CIndexModel modelB;
    CIndexPackage a(QUrl::fromLocalFile(dir + "/A.idxp"), &modelA);
    CIndexPackage b(QUrl::fromLocalFile(dir + "/B.idxp"), &modelB);
    SetPrefDefault("IndexStoreMediaFile");
    SetPrefDefault("IndexRemoveMediaFile");

    CIndexItem item(QUrl::fromLocalFile(CopySample("Canon_40D.jpg", dir + "/Canon.jpg")));
    LDataStream intoA;
    item.WriteToStream(intoA, a);
    ASSERT_TRUE(item.IsStoredInPackage());
    const QString storedInA = item.GetURL().toLocalFile();

    LDataStream intoB;
    item.WriteToStream(intoB, b);
    EXPECT_TRUE(modelB.GetPendingDeletions().empty());
    EXPECT_TRUE(QFile::exists(storedInA));
    EXPECT_TRUE(item.GetURL().toLocalFile().startsWith(dir + "/B.idxp/media/"));
}
