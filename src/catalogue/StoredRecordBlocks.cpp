#include "StoredRecordBlocks.h"

#include "ExceptionCode.h"
#include "ItemArena.h"

#include <cstring>
#include <new>

StoredRecordBlocks::Ptr StoredRecordBlocks::Make(const IndexDbRecord& record)
{
    if (!record.alias && !record.caption && !record.imageRecord && !record.userData)
        return nullptr;
    const size_t imageRoom = record.imageRecord ? size_t(kImageRecordSize) : 0;
    const size_t aliasSize = record.alias ? size_t(record.alias->size()) : 0;
    const size_t captionSize = record.caption ? size_t(record.caption->size()) : 0;
    const size_t userDataSize = record.userData ? size_t(record.userData->size()) : 0;
    if (aliasSize > UINT32_MAX || captionSize > UINT32_MAX || userDataSize > UINT32_MAX)
        ThrowOSErr_(paramErr, "record block over 4 GB");

    // The blocks of one read live about as long as each other: they share chunks.
    static ItemArena* const arena = new ItemArena(0);
    const size_t size = sizeof(StoredRecordBlocks) + imageRoom + aliasSize + captionSize + userDataSize;
    const bool inArena = ItemArena::kInUse && size <= ItemArena::kMaxObjectSize;
    void* memory = inArena ? arena->Allocate(size) : ::operator new(size);
    Ptr blocks(new (memory) StoredRecordBlocks);
    blocks->mInArena = inArena;
    blocks->mAliasSize = UInt32(aliasSize);
    blocks->mCaptionSize = UInt32(captionSize);
    blocks->mUserDataSize = UInt32(userDataSize);
    blocks->mImageRoom = UInt8(imageRoom);
    char* out = blocks->Bytes();
    if (record.imageRecord) {
        std::memcpy(out, record.imageRecord->data(), imageRoom);
        blocks->mHas |= kImageRecord;
    }
    if (record.alias) {
        std::memcpy(out + imageRoom, record.alias->constData(), aliasSize);
        blocks->mHas |= kAlias;
    }
    if (record.caption) {
        std::memcpy(out + imageRoom + aliasSize, record.caption->constData(), captionSize);
        blocks->mHas |= kCaption;
    }
    if (record.userData) {
        std::memcpy(out + imageRoom + aliasSize + captionSize, record.userData->constData(), userDataSize);
        blocks->mHas |= kUserData;
    }
    return blocks;
}

void StoredRecordBlocks::Free::operator()(StoredRecordBlocks* blocks) const
{
    const bool inArena = blocks->mInArena;
    blocks->~StoredRecordBlocks();
    if (inArena)
        ItemArena::Free(blocks);
    else
        ::operator delete(blocks);
}

ImageRecordBytes StoredRecordBlocks::ImageRecord() const
{
    ImageRecordBytes bytes {};
    if (mImageRoom)
        std::memcpy(bytes.data(), Bytes(), kImageRecordSize);
    return bytes;
}
