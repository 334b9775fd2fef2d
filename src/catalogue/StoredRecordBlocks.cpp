#include "StoredRecordBlocks.h"

#include "ExceptionCode.h"
#include "ItemArena.h"
#include "LeasedFile.h"

#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <utility>

namespace {

// Guards every item's file and places, which a save moves while workers read
// blocks back: held only to copy or set them.
std::mutex& PlacesMutex()
{
    static auto* mutex = new std::mutex;
    return *mutex;
}

bool FitsPlace(qint64 at)
{
    return at >= 0 && at <= qint64(UINT32_MAX);
}

static_assert(sizeof(StoredRecordBlocks) == 16, "the header of every item's blocks");

} // namespace

StoredBlocksOnDisk BlocksOnDisk(LeasedFile* file, const IndexDbRecordPlaces& places, const UInt8* bytesBegin, qint64 bytesAt)
{
    const auto at = [&](const std::optional<QByteArrayView>& block) {
        return block ? bytesAt + qint64(reinterpret_cast<const UInt8*>(block->data()) - bytesBegin) : qint64(-1);
    };
    // The alias stays in memory: an item found where its alias says keeps no
    // other address, and reads its folder and volume from it.
    return { file, -1, at(places.userData), at(places.imageRecord) };
}

StoredRecordBlocks::Ptr StoredRecordBlocks::Make(const IndexDbRecord& record, const StoredBlocksOnDisk& onDisk)
{
    if (!record.alias && !record.caption && !record.imageRecord && !record.userData)
        return nullptr;
    UInt8 disk = 0;
    if (onDisk.file) {
        if (record.alias && FitsPlace(onDisk.alias))
            disk |= kAlias;
        if (record.userData && FitsPlace(onDisk.userData))
            disk |= kUserData;
        if (record.imageRecord && FitsPlace(onDisk.imageRecord))
            disk |= kImageRecord;
    }
    const size_t imageRoom = record.imageRecord && !(disk & kImageRecord) ? size_t(kImageRecordSize) : 0;
    const size_t aliasSize = record.alias ? size_t(record.alias->size()) : 0;
    const size_t captionSize = record.caption ? size_t(record.caption->size()) : 0;
    const size_t userDataSize = record.userData ? size_t(record.userData->size()) : 0;
    if (aliasSize > UINT32_MAX || captionSize > UINT32_MAX || userDataSize > UINT32_MAX)
        ThrowOSErr_(paramErr, "record block over 4 GB");
    const size_t aliasRoom = (disk & kAlias) ? 0 : aliasSize;
    const size_t userDataRoom = (disk & kUserData) ? 0 : userDataSize;

    // The blocks of one read live about as long as each other: they share chunks.
    static ItemArena* const arena = new ItemArena(0);
    const size_t size
        = sizeof(StoredRecordBlocks) + (disk ? sizeof(Places) : 0) + imageRoom + aliasRoom + captionSize + userDataRoom;
    const bool inArena = ItemArena::kInUse && size <= ItemArena::kMaxObjectSize;
    void* memory = inArena ? arena->Allocate(size) : ::operator new(size);
    Ptr blocks(new (memory) StoredRecordBlocks);
    blocks->mInArena = inArena;
    blocks->mAliasSize = UInt32(aliasSize);
    blocks->mCaptionSize = UInt32(captionSize);
    blocks->mUserDataSize = UInt32(userDataSize);
    blocks->mImageRoom = record.imageRecord ? UInt8(kImageRecordSize) : 0;
    blocks->mOnDisk = disk;
    if (disk) {
        onDisk.file->Retain();
        *blocks->DiskPlaces() = { onDisk.file, (disk & kAlias) ? UInt32(onDisk.alias) : 0,
            (disk & kUserData) ? UInt32(onDisk.userData) : 0, (disk & kImageRecord) ? UInt32(onDisk.imageRecord) : 0 };
    }
    char* out = blocks->Bytes();
    if (record.imageRecord) {
        std::memcpy(out, record.imageRecord->data(), imageRoom);
        blocks->mHas |= kImageRecord;
    }
    if (record.alias) {
        std::memcpy(out + imageRoom, record.alias->constData(), aliasRoom);
        blocks->mHas |= kAlias;
    }
    if (record.caption) {
        std::memcpy(out + imageRoom + aliasRoom, record.caption->constData(), captionSize);
        blocks->mHas |= kCaption;
    }
    if (record.userData) {
        std::memcpy(out + imageRoom + aliasRoom + captionSize, record.userData->constData(), userDataRoom);
        blocks->mHas |= kUserData;
    }
    return blocks;
}

void StoredRecordBlocks::Free::operator()(StoredRecordBlocks* blocks) const
{
    const bool inArena = blocks->mInArena;
    if (Places* places = blocks->DiskPlaces())
        places->file->Release();
    blocks->~StoredRecordBlocks();
    if (inArena)
        ItemArena::Free(blocks);
    else
        ::operator delete(blocks);
}

QByteArray StoredRecordBlocks::ReadBack(UInt8 block, qint64 count) const
{
    LeasedFile* file;
    qint64 at;
    {
        std::lock_guard lock(PlacesMutex());
        const Places& places = *DiskPlaces();
        file = places.file;
        file->Retain();
        at = block == kAlias ? places.aliasAt : block == kUserData ? places.userDataAt : places.imageAt;
    }
    QByteArray bytes(qsizetype(count), Qt::Uninitialized);
    const OSStatus status = file->ReadAt(at, count, bytes.data());
    file->Release();
    if (status != noErr)
        ThrowOSErr_(kStoredBlockUnreadableErr,
            "a block of the item's record cannot be read back from index.db (" + std::to_string(status) + ")");
    return bytes;
}

QByteArray StoredRecordBlocks::AliasBytes() const
{
    if (mOnDisk & kAlias)
        return ReadBack(kAlias, mAliasSize);
    return QByteArray(Bytes() + ImageRoom(), qsizetype(mAliasSize));
}

QByteArray StoredRecordBlocks::UserDataBytes() const
{
    if (mOnDisk & kUserData)
        return ReadBack(kUserData, mUserDataSize);
    return QByteArray(Bytes() + ImageRoom() + AliasRoom() + mCaptionSize, qsizetype(mUserDataSize));
}

ImageRecordBytes StoredRecordBlocks::ImageRecord() const
{
    ImageRecordBytes bytes {};
    if (mOnDisk & kImageRecord) {
        const QByteArray read = ReadBack(kImageRecord, kImageRecordSize);
        std::memcpy(bytes.data(), read.constData(), kImageRecordSize);
    } else if (mImageRoom) {
        std::memcpy(bytes.data(), Bytes(), kImageRecordSize);
    }
    return bytes;
}

StoredRecordBlocks::Ptr StoredRecordBlocks::WithAlias(const QByteArray& alias) const
{
    return Replaced(alias, std::nullopt);
}

StoredRecordBlocks::Ptr StoredRecordBlocks::WithCaption(const QByteArray& caption) const
{
    return Replaced(std::nullopt, caption);
}

StoredRecordBlocks::Ptr StoredRecordBlocks::Replaced(
    const std::optional<QByteArray>& alias, const std::optional<QByteArray>& caption) const
{
    // A block on disk only needs its size here.
    const bool aliasOnDisk = !alias && HasAlias() && (mOnDisk & kAlias);
    IndexDbRecord kept;
    if (alias)
        kept.alias = *alias;
    else if (HasAlias())
        kept.alias = aliasOnDisk ? QByteArray(qsizetype(mAliasSize), '\0') : Alias().toByteArray();
    if (caption)
        kept.caption = *caption;
    else if (HasCaption())
        kept.caption = CaptionBytes();
    if (HasImageRecord())
        kept.imageRecord = (mOnDisk & kImageRecord) ? ImageRecordBytes {} : ImageRecord();
    if (HasUserData())
        kept.userData = (mOnDisk & kUserData) ? QByteArray(qsizetype(mUserDataSize), '\0') : UserDataBytes();
    StoredBlocksOnDisk places;
    if (const Places* mine = DiskPlaces()) {
        std::lock_guard lock(PlacesMutex());
        places = {mine->file, aliasOnDisk ? qint64(mine->aliasAt) : -1,
            (mOnDisk & kUserData) ? qint64(mine->userDataAt) : -1, (mOnDisk & kImageRecord) ? qint64(mine->imageAt) : -1};
    }
    return Make(kept, places);
}

bool StoredRecordBlocks::MoveToFile(const StoredBlocksOnDisk& places, const IndexDbRecordPlaces& sizes)
{
    const UInt8 moving = mOnDisk & mHas;
    if (!moving || !places.file)
        return false;
    if ((moving & kAlias) && (!FitsPlace(places.alias) || !sizes.alias || sizes.alias->size() != qsizetype(mAliasSize)))
        return false;
    if ((moving & kUserData)
        && (!FitsPlace(places.userData) || !sizes.userData || sizes.userData->size() != qsizetype(mUserDataSize)))
        return false;
    if ((moving & kImageRecord)
        && (!FitsPlace(places.imageRecord) || !sizes.imageRecord || sizes.imageRecord->size() != kImageRecordSize))
        return false;
    places.file->Retain();
    LeasedFile* old;
    {
        std::lock_guard lock(PlacesMutex());
        Places& mine = *DiskPlaces();
        old = std::exchange(mine.file, places.file);
        if (moving & kAlias)
            mine.aliasAt = UInt32(places.alias);
        if (moving & kUserData)
            mine.userDataAt = UInt32(places.userData);
        if (moving & kImageRecord)
            mine.imageAt = UInt32(places.imageRecord);
    }
    old->Release();
    return true;
}
