// How an item keeps what it reads: the record's blocks in one allocation, the
// lazy parts with their looked-for marks, and the record written back as read.
#include "CANPAInfo.h"
#include "CIndexItem.h"
#include "CIndexPackage.h"
#include "CItemError.h"
#include "ItemArena.h"
#include "LazyPart.h"
#include "LeasedFile.h"
#include "LStream.h"
#include "MediaImageInfo.h"
#include "StoredRecordBlocks.h"
#include "UserData.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <malloc.h>
#include <optional>
#include <thread>
#include <vector>

namespace {

QByteArray Bytes(int size, int seed)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + seed) & 0xFF);
    return bytes;
}

ImageRecordBytes ImageBytes(int seed)
{
    ImageRecordBytes bytes {};
    for (int i = 0; i < kImageRecordSize; ++i)
        bytes[i] = UInt8(i + seed);
    return bytes;
}

// The record an item writes, read back; nothing when it wrote none whole.
std::optional<IndexDbRecord> WrittenRecord(CIndexItem& item, CIndexPackage& package)
{
    LDataStream stream;
    item.WriteToStream(stream, package);
    IndexDbReader reader(stream.Data());
    IndexDbRecord back;
    if (!reader.Next(back))
        return std::nullopt;
    return back;
}

} // namespace

TEST(StoredRecordBlocks, KeepsEachBlockAsReadWhateverTheOthers)
{
    IndexDbRecord record;
    EXPECT_EQ(StoredRecordBlocks::Make(record), nullptr) << "a record without blocks needs no allocation";

    // The alias, user data and image record also lie in a file, as index.db
    // holds them; any of them may be read back from it instead of kept.
    const QByteArray alias = Bytes(121, 1);
    const QByteArray userData = Bytes(301, 2);
    const ImageRecordBytes image = ImageBytes(3);
    const QString path = TestTempDir() + QStringLiteral("/blocks.db");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(5, 'x') + alias + userData + QByteArray(reinterpret_cast<const char*>(image.data()), kImageRecordSize));
    }
    LeasedFile* file = LeasedFile::Open(path);
    ASSERT_NE(file, nullptr) << "a file of our own takes a lease";
    // Renamed over, the file read stays the one the places lie in.
    ASSERT_TRUE(QFile::copy(path, path + ".new"));
    {
        QFile other(path + ".new");
        ASSERT_TRUE(other.open(QIODevice::WriteOnly));
        other.write(QByteArray(600, 'y'));
    }
    ASSERT_EQ(std::rename(QFile::encodeName(path + ".new").constData(), QFile::encodeName(path).constData()), 0);

    // Every subset of the four, each of three kept in memory or on disk.
    for (int mask = 1; mask < 16; ++mask) {
        for (int disk = 0; disk < 8; ++disk) {
            SCOPED_TRACE(testing::Message() << "blocks " << mask << ", on disk " << disk);
            IndexDbRecord r;
            if (mask & 1)
                r.alias = alias;
            if (mask & 2)
                r.caption = Bytes(27, 100 + mask);
            if (mask & 4)
                r.imageRecord = image;
            if (mask & 8)
                r.userData = userData;
            const StoredBlocksOnDisk places {file, (disk & 1) ? 5 : -1, (disk & 2) ? 5 + alias.size() : -1,
                (disk & 4) ? 5 + alias.size() + userData.size() : -1};
            const StoredRecordBlocks::Ptr blocks = StoredRecordBlocks::Make(r, places);
            ASSERT_NE(blocks, nullptr);
            EXPECT_EQ(blocks->HasAlias(), bool(mask & 1));
            EXPECT_EQ(blocks->HasCaption(), bool(mask & 2));
            EXPECT_EQ(blocks->HasImageRecord(), bool(mask & 4));
            EXPECT_EQ(blocks->HasUserData(), bool(mask & 8));
            if (r.alias)
                EXPECT_EQ(blocks->AliasBytes(), *r.alias);
            if (r.caption)
                EXPECT_EQ(blocks->CaptionBytes(), *r.caption);
            if (r.imageRecord)
                EXPECT_EQ(blocks->ImageRecord(), *r.imageRecord);
            if (r.userData)
                EXPECT_EQ(blocks->UserDataBytes(), *r.userData);
        }
    }
    file->Release();
}

TEST(StoredRecordBlocks, EmptyBlocksArePresentAndDroppedBlocksAreGone)
{
    // A block of no bytes is still a block the record had.
    IndexDbRecord record;
    record.alias = QByteArray("");
    record.caption = Bytes(5, 1);
    record.imageRecord = ImageBytes(3);
    StoredRecordBlocks::Ptr blocks = StoredRecordBlocks::Make(record);
    ASSERT_NE(blocks, nullptr);
    EXPECT_TRUE(blocks->HasAlias());
    EXPECT_TRUE(blocks->AliasBytes().isEmpty());

    blocks->DropImageRecord();
    EXPECT_FALSE(blocks->HasImageRecord());
    EXPECT_EQ(blocks->CaptionBytes(), *record.caption) << "dropping one block leaves the others where they were";
    blocks->DropCaption();
    EXPECT_FALSE(blocks->IsEmpty());
    blocks->DropAlias();
    EXPECT_TRUE(blocks->IsEmpty());
}

TEST(LazyPart, LookedForMarkAndPartAreKeptApart)
{
    LazyPart<MediaImageInfo> part;
    EXPECT_FALSE(part.LookedFor());
    EXPECT_EQ(part.Get(), nullptr);

    part.SetLookedFor(true);
    auto info = std::make_unique<MediaImageInfo>();
    MediaImageInfo* held = info.get();
    EXPECT_TRUE(part.Replace(std::move(info)));
    EXPECT_EQ(part.Get(), held) << "the mark does not disturb the pointer";
    EXPECT_TRUE(part.LookedFor()) << "setting the part keeps the mark";
    EXPECT_TRUE(part.Replace(nullptr));
    EXPECT_FALSE(part.Replace(nullptr)) << "nothing held, nothing replaced";
    EXPECT_EQ(part.Get(), nullptr);
    EXPECT_TRUE(part.LookedFor());

    // A part looked for and missing is not made again; one forgotten is.
    int made = 0;
    auto make = [&] {
        ++made;
        part.Set(std::make_unique<MediaImageInfo>());
    };
    EXPECT_EQ(part.Get([] {}, make), nullptr);
    EXPECT_EQ(made, 0);
    part.Forget();
    EXPECT_NE(part.Get([] {}, make), nullptr);
    EXPECT_EQ(made, 1);
    EXPECT_TRUE(part.LookedFor());
}

// An item read from a record keeps its alias, caption and image record as read
// until asked for them; whether or not it was asked, the record it writes is the
// one it read, byte for byte.
TEST(CIndexItem, RecordWrittenBackAsReadWhicheverPartsWereAskedFor)
{
    IndexDbRecord record;
    record.name = QByteArray("IMG_0001.JPG");
    record.alias = Bytes(120, 9); // no alias the resolver knows: the file is never found
    record.fields = CatalogueFields {'JPEG', 3000001, 3000000000u, 3100000000u, 3100000001u, 0, 0x10};
    record.caption = QByteArray("\x1C\x02\x00\x00\x02\x00\x04\x1C\x02\x69\x00\x0F" "Harbour at dawn", 27);
    MediaImageInfo info;
    info.recordKind = 1;
    info.name = Str63("JPEG");
    info.width = 4000;
    info.height = 3000;
    info.depth = 24;
    info.frameCount = 1;
    const QByteArray imageBytes = info.ToBytes();
    record.imageRecord.emplace();
    std::memcpy(record.imageRecord->data(), imageBytes.constData(), kImageRecordSize);
    LDataStream original;
    WriteIndexDbRecord(original, record);

    QDir dir(TestTempDir() + QLatin1String("/item-memory"));
    dir.removeRecursively();
    QDir().mkpath(dir.path());
    CIndexPackage package(QUrl::fromLocalFile(dir.filePath("M.idxp")), nullptr);
    auto writtenBytes = [&](CIndexItem& item) {
        LDataStream stream;
        item.WriteToStream(stream, package);
        return stream.Data();
    };

    for (int ask = 0; ask < 8; ++ask) {
        CIndexItem item(record, &package);
        if (ask & 1) {
            const QByteArray* alias = item.GetAlias();
            ASSERT_NE(alias, nullptr);
            EXPECT_EQ(*alias, *record.alias);
            EXPECT_EQ(item.GetAlias(), alias) << "the alias is made once";
        }
        if (ask & 2)
            EXPECT_NE(item.GetCaptionInfo(), nullptr);
        if (ask & 4) {
            ASSERT_NE(item.GetImageInfo(), nullptr);
            EXPECT_EQ(*item.GetImageInfo(), info);
        }
        EXPECT_EQ(writtenBytes(item), original.Data()) << "asked for " << ask;
        EXPECT_FALSE(item.IsDirty());
    }

    // A new alias replaces the stored one; clearing it leaves none.
    CIndexItem item(record, &package);
    item.SetAlias(QByteArray("new alias"));
    ASSERT_NE(item.GetAlias(), nullptr);
    EXPECT_EQ(*item.GetAlias(), QByteArray("new alias"));
    EXPECT_TRUE(item.IsDirty());
}

TEST(CIndexItem, RarelyUsedStateComesAndGoesWithoutTouchingTheRecord)
{
    IndexDbRecord record;
    record.name = QByteArray("a.jpg");
    record.fileURL = QByteArray("file:///nowhere/a.jpg");
    record.fields = CatalogueFields {'JPEG', 1, 2, 3, 4, 0, 0};
    CIndexItem item(record, nullptr);
    EXPECT_EQ(item.GetError(), nullptr);
    EXPECT_FALSE(item.IsOpenInViewer());
    EXPECT_EQ(item.GetInfoWindow(), nullptr);
    EXPECT_TRUE(item.GetStoredName().isEmpty());

    item.SetError(std::make_unique<CItemError>(ExceptionCode(-43), QString(), QStringLiteral("600:50")));
    ASSERT_NE(item.GetError(), nullptr);
    EXPECT_EQ(item.GetError()->GetCode(), -43);
    // Items failing alike (in the same second) hold one record between them.
    CIndexItem other(record, nullptr);
    other.SetError(std::make_unique<CItemError>(ExceptionCode(-43), QString(), QStringLiteral("600:50")));
    if (other.GetError()->GetTime() == item.GetError()->GetTime())
        EXPECT_EQ(other.GetError(), item.GetError());
    const CItemError* held = item.GetError();
    item.SetOpenInViewer(1);
    EXPECT_TRUE(item.IsOpenInViewer());
    EXPECT_EQ(item.GetError(), held) << "the error is kept when the other rare members are made";
    item.SetError(nullptr);
    EXPECT_EQ(item.GetError(), nullptr);
    item.SetOpenInViewer(0);
    EXPECT_FALSE(item.IsOpenInViewer());
    EXPECT_FALSE(item.IsDirty()) << "none of these is part of the record";
    EXPECT_EQ(item.GetName(), QStringLiteral("a.jpg"));
    EXPECT_EQ(item.GetURL(), QUrl(QStringLiteral("file:///nowhere/a.jpg")));
}

TEST(ItemArena, SlotsAreAlignedDistinctAndReusedAndEmptyChunksAreLetGo)
{
    const std::size_t heldBefore = ItemArena::HeldBytes();
    ItemArena& arena = *new ItemArena(40); // never destroyed, as the program's arenas
    const std::size_t perChunk = ItemArena::kChunkSize / 48; // handed are rounded to 16 bytes

    // More than two chunks' worth: every slot 16-byte aligned, none overlapping.
    std::vector<char*> handed;
    for (std::size_t i = 0; i < 2 * perChunk + 10; ++i) {
        auto* slot = static_cast<char*>(arena.Allocate(40));
        ASSERT_EQ(reinterpret_cast<std::uintptr_t>(slot) % 16, 0u);
        std::memset(slot, int(i & 0xFF), 40);
        handed.push_back(slot);
    }
    EXPECT_EQ(ItemArena::HeldBytes() - heldBefore, 3 * ItemArena::kChunkSize);
    std::vector<char*> sorted = handed;
    std::sort(sorted.begin(), sorted.end());
    for (std::size_t i = 1; i < sorted.size(); ++i)
        ASSERT_GE(sorted[i] - sorted[i - 1], 48) << "handed overlap";
    for (std::size_t i = 0; i < handed.size(); i += 997)
        EXPECT_EQ(handed[i][39], char(i & 0xFF)) << "a slot was written over";

    // A freed slot of the chunk in use is handed out again before fresh space;
    // one of a full chunk once the chunk in use is full.
    char* last = handed.back();
    ItemArena::Free(last);
    EXPECT_EQ(arena.Allocate(40), last);
    char* older = handed[5];
    ItemArena::Free(older);
    handed.erase(handed.begin() + 5);
    bool reused = false;
    for (std::size_t i = 0; i < perChunk && !reused; ++i) {
        handed.push_back(static_cast<char*>(arena.Allocate(40)));
        reused = handed.back() == older;
    }
    EXPECT_TRUE(reused) << "the slot freed in a full chunk was never reused";
    EXPECT_EQ(ItemArena::HeldBytes() - heldBefore, 3 * ItemArena::kChunkSize);

    // Everything freed: only the chunk new objects go to stays.
    for (char* slot : handed)
        ItemArena::Free(slot);
    EXPECT_EQ(ItemArena::HeldBytes() - heldBefore, ItemArena::kChunkSize);
    EXPECT_THROW(arena.Allocate(49), std::bad_alloc) << "a slot arena takes nothing larger than its slots";
}

TEST(ItemArena, VaryingSizesFromManyThreadsAtOnce)
{
    ItemArena& arena = *new ItemArena(0);
    EXPECT_THROW(arena.Allocate(ItemArena::kMaxObjectSize + 1), std::bad_alloc);
    const std::size_t heldBefore = ItemArena::HeldBytes();
    std::vector<std::thread> threads;
    std::atomic<int> damaged {0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            std::vector<std::pair<char*, std::size_t>> held;
            for (int i = 0; i < 20000; ++i) {
                const std::size_t size = 1 + std::size_t((i * 37 + t) % 300);
                auto* object = static_cast<char*>(arena.Allocate(size));
                std::memset(object, t + 1, size);
                held.emplace_back(object, size);
                if (i % 3 == 0) { // free some early, as items replaced while others are read
                    auto [old, oldSize] = held[held.size() / 2];
                    if (old[0] != char(t + 1) || old[oldSize - 1] != char(t + 1))
                        ++damaged;
                    ItemArena::Free(old);
                    held.erase(held.begin() + long(held.size() / 2));
                }
            }
            for (auto [object, size] : held) {
                if (object[0] != char(t + 1) || object[size - 1] != char(t + 1))
                    ++damaged;
                ItemArena::Free(object);
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(damaged.load(), 0) << "objects of different threads overlapped";
    EXPECT_LE(ItemArena::HeldBytes() - heldBefore, ItemArena::kChunkSize) << "empty chunks were kept";
}
// Saving an index read from its file writes each alias from the record's block:
// the items do not make a copy of it to keep (a hundred thousand aliases).
TEST(CIndexItem, WritingLeavesTheStoredAliasInItsBlock)
{
    IndexDbRecord record;
    record.name = QByteArray("IMG_0001.JPG");
    record.alias = Bytes(120, 4);
    record.fields = CatalogueFields {'JPEG', 3000001, 3000000000u, 3100000000u, 3100000001u, 1, 0x10};
    QDir dir(TestTempDir() + QLatin1String("/item-memory-alias"));
    dir.removeRecursively();
    QDir().mkpath(dir.path());
    CIndexPackage package(QUrl::fromLocalFile(dir.filePath("M.idxp")), nullptr);
    constexpr int kCount = 1000;
    std::vector<std::unique_ptr<CIndexItem>> items;
    for (int i = 0; i < kCount; ++i)
        items.push_back(std::make_unique<CIndexItem>(record, &package));
    LDataStream first;
    items[0]->WriteToStream(first, package); // the package's own lazy state

    const size_t before = mallinfo2().uordblks;
    for (auto& item : items) {
        const std::optional<IndexDbRecord> back = WrittenRecord(*item, package);
        ASSERT_TRUE(back);
        ASSERT_EQ(back->alias, record.alias);
    }
    const double grown = double(ssize_t(mallinfo2().uordblks) - ssize_t(before)) / kCount;
    EXPECT_LT(grown, 100) << "bytes each item took on when its record was written";
}

// The first save of an index makes each item's alias: the item keeps it with the
// record's other blocks, as an index read from its file does, not in a copy of
// its own beside them; the next save writes the same alias.
TEST(CIndexItem, AnAliasMadeBySavingIsKeptAsTheRecordHoldsIt)
{
    QDir dir(TestTempDir() + QLatin1String("/item-memory-made-alias"));
    dir.removeRecursively();
    QDir().mkpath(dir.filePath("photos"));
    CIndexPackage package(QUrl::fromLocalFile(dir.filePath("M.idxp")), nullptr);
    constexpr int kCount = 1000;
    std::vector<std::unique_ptr<CIndexItem>> items;
    for (int i = 0; i < kCount; ++i) {
        const QString path = dir.filePath(QStringLiteral("photos/IMG_%1.JPG").arg(i));
        QFile(path).open(QIODevice::WriteOnly);
        // What an import read of the file already: its image record and metadata.
        IndexDbRecord record;
        record.name = QFileInfo(path).fileName().toUtf8();
        record.fileURL = QUrl::fromLocalFile(path).toEncoded();
        record.fields = CatalogueFields {'JPEG', 0, 3000000000u, 3100000000u, 3100000001u, i + 1, 0};
        record.imageRecord = ImageBytes(i);
        record.userData = UserData().ToHandle();
        items.push_back(std::make_unique<CIndexItem>(record, &package));
    }
    LDataStream warm;
    items[0]->WriteToStream(warm, package); // the package's own lazy state

    std::vector<QByteArray> aliases;
    aliases.reserve(kCount);
    // The heap and the item arenas, where stored blocks live.
    const auto held = [] { return ssize_t(mallinfo2().uordblks + ItemArena::HeldBytes()); };
    const ssize_t before = held();
    for (auto& item : items) {
        const std::optional<IndexDbRecord> back = WrittenRecord(*item, package);
        ASSERT_TRUE(back && back->alias) << "the save made the item's alias";
        aliases.push_back(*back->alias);
    }
    // Less the copies of the aliases read back here.
    const double grown = double(held() - before - ssize_t(aliases.size() * (aliases[0].size() + 32))) / kCount;
    for (size_t i = 0; i < items.size(); ++i) {
        const std::optional<IndexDbRecord> back = WrittenRecord(*items[i], package);
        ASSERT_TRUE(back && back->fileURL);
        ASSERT_EQ(back->alias, aliases[i]) << "the next save writes the alias the first made";
        ASSERT_EQ(items[i]->GetURL(), QUrl::fromEncoded(*back->fileURL));
    }
    EXPECT_LT(grown, double(aliases[0].size()) + 64) << "bytes each item took on when its alias was made: " << grown
                                                     << " for an alias of " << aliases[0].size();
}

// A photograph's EXIF (the record's user data, one item per tag) is kept as the
// record holds it until asked for: an index of a million photographs would
// otherwise hold each tag in a block of its own, several times the record's
// bytes. Asked for, it gives the tags; written, the record's very bytes.
TEST(CIndexItem, AStoredEXIFTakesNoMoreThanItsBytesUntilAskedFor)
{
    QDir dir(TestTempDir() + QLatin1String("/item-memory-exif"));
    dir.removeRecursively();
    QDir().mkpath(dir.path());
    CIndexPackage package(QUrl::fromLocalFile(dir.filePath("E.idxp")), nullptr);
    UserData exif;
    for (int tag = 0; tag < 40; ++tag)
        exif.AddUserData(Bytes(8 + tag % 5 * 6, tag), OSType(0x00000100 + tag));
    const QByteArray block = exif.ToHandle();
    constexpr int kCount = 2000;
    const auto records = [&](bool withExif) {
        std::vector<IndexDbRecord> made(kCount);
        for (int i = 0; i < kCount; ++i) {
            made[size_t(i)].name = "IMG_" + QByteArray::number(i) + ".JPG";
            made[size_t(i)].fileURL = QUrl::fromLocalFile(dir.filePath(QStringLiteral("IMG_%1.JPG").arg(i))).toEncoded();
            made[size_t(i)].fields = CatalogueFields {'JPEG', 0, 3000000000u, 3100000000u, 3100000001u, i + 1, 0};
            if (withExif)
                made[size_t(i)].userData = block;
        }
        return made;
    };
    const auto held = [] { return ssize_t(mallinfo2().uordblks + ItemArena::HeldBytes()); };
    const auto bytesAnItem = [&](const std::vector<IndexDbRecord>& made, std::vector<std::unique_ptr<CIndexItem>>& items) {
        const ssize_t before = held();
        for (const IndexDbRecord& record : made)
            items.push_back(std::make_unique<CIndexItem>(record, &package));
        return double(held() - before) / kCount;
    };
    std::vector<std::unique_ptr<CIndexItem>> plain;
    std::vector<std::unique_ptr<CIndexItem>> photos;
    const std::vector<IndexDbRecord> plainRecords = records(false);
    const std::vector<IndexDbRecord> photoRecords = records(true);
    const double without = bytesAnItem(plainRecords, plain);
    const double with = bytesAnItem(photoRecords, photos);
    EXPECT_LT(with - without, double(block.size()) + 16)
        << "bytes an item's EXIF took: " << with - without << " for a block of " << block.size();

    const std::optional<IndexDbRecord> back = WrittenRecord(*photos[1], package);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->userData, block);
    const UserData* asked = photos[0]->GetUserData();
    ASSERT_TRUE(asked);
    EXPECT_EQ(*asked, exif);
    const std::optional<IndexDbRecord> again = WrittenRecord(*photos[0], package);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->userData, block) << "the record written after the EXIF was read";
}
