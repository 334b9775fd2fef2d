#pragma once

#include <optional>

#include "IndexDbRecord.h"

#include <QByteArray>
#include <QByteArrayView>
#include <memory>

class LeasedFile;

// A block kept in index.db can no longer be read back from it (changed in place
// by another program before it could be read in, or a read failed).
inline constexpr OSStatus kStoredBlockUnreadableErr = -1320;

// Where the blocks of a record lie in the file it was read from (offsets of
// their bytes, -1 for a block that stays in memory).
struct StoredBlocksOnDisk {
    LeasedFile* file = nullptr;
    qint64 alias = -1;
    qint64 userData = -1;
    qint64 imageRecord = -1;
};

// The places of the blocks `places` found in a record among bytes that begin at
// `bytesBegin`, which are the file's from offset `bytesAt` on.
StoredBlocksOnDisk BlocksOnDisk(
    LeasedFile* file, const IndexDbRecordPlaces& places, const UInt8* bytesBegin, qint64 bytesAt = 0);

// The blocks of an index.db record that an item keeps as they were read until
// it is asked for them: the alias, the caption, the image record and the user
// data (a photograph's EXIF: parsed, it takes several times its bytes), in one
// allocation. The image record and user data are rarely asked for: when the
// file they were read from is held (LeasedFile), only their places are kept and
// their bytes read back from it. The caption is always in memory: the quick
// search reads it in place. Each can be dropped (when the item replaces or parses
// it); the bytes stay until the whole is freed.
class StoredRecordBlocks {
public:
    struct Free {
        void operator()(StoredRecordBlocks* blocks) const;
    };
    using Ptr = std::unique_ptr<StoredRecordBlocks, Free>;

    // Null when the record holds none of the four. The blocks that `onDisk`
    // places are read back from its file.
    static Ptr Make(const IndexDbRecord& record, const StoredBlocksOnDisk& onDisk = {});

    bool HasAlias() const { return mHas & kAlias; }
    bool HasCaption() const { return mHas & kCaption; }
    bool HasImageRecord() const { return mHas & kImageRecord; }
    bool HasUserData() const { return mHas & kUserData; }
    bool IsEmpty() const { return mHas == 0; }

    // The alias in place, when it is held in memory (else empty).
    QByteArrayView Alias() const
    {
        return (mOnDisk & kAlias) ? QByteArrayView() : QByteArrayView(Bytes() + ImageRoom(), qsizetype(mAliasSize));
    }
    QByteArrayView Caption() const { return {Bytes() + ImageRoom() + AliasRoom(), qsizetype(mCaptionSize)}; }
    // Copies owning their bytes; a block read back from its file throws when the
    // file can no longer give it.
    QByteArray AliasBytes() const;
    QByteArray CaptionBytes() const { return Caption().toByteArray(); }
    QByteArray UserDataBytes() const;
    ImageRecordBytes ImageRecord() const;

    // The same blocks (those read back from the file still read from it) with
    // `alias` held in memory in place of the alias they had.
    Ptr WithAlias(const QByteArray& alias) const;
    // The same with `caption` in place of the caption they had, or held.
    Ptr WithCaption(const QByteArray& caption) const;

    // After a save the same blocks lie in the new file: the places follow them
    // there (the allocation stays, for the caption may be read meanwhile). False,
    // with nothing changed, when `places` does not hold each block read back
    // from a file with its size.
    bool MoveToFile(const StoredBlocksOnDisk& places, const IndexDbRecordPlaces& sizes);

    void DropAlias() { mHas &= ~kAlias; }
    void DropCaption() { mHas &= ~kCaption; }
    void DropImageRecord() { mHas &= ~kImageRecord; }
    void DropUserData() { mHas &= ~kUserData; }

private:
    enum : UInt8 { kAlias = 1, kCaption = 2, kImageRecord = 4, kUserData = 8 };

    StoredRecordBlocks() = default;
    // Only with blocks on disk, behind the header (index.db is under 2 GB).
    struct Places {
        LeasedFile* file;
        UInt32 aliasAt;
        UInt32 userDataAt;
        UInt32 imageAt;
    };
    Places* DiskPlaces() const { return mOnDisk ? reinterpret_cast<Places*>(const_cast<StoredRecordBlocks*>(this + 1)) : nullptr; }
    // In memory: the image record first (when the record had one), then the
    // alias, the caption and the user data, each unless read back from the file.
    const char* Bytes() const { return reinterpret_cast<const char*>(this + 1) + (mOnDisk ? sizeof(Places) : 0); }
    char* Bytes() { return reinterpret_cast<char*>(this + 1) + (mOnDisk ? sizeof(Places) : 0); }
    size_t ImageRoom() const { return (mImageRoom && !(mOnDisk & kImageRecord)) ? size_t(kImageRecordSize) : 0; }
    size_t AliasRoom() const { return (mOnDisk & kAlias) ? 0 : mAliasSize; }
    QByteArray ReadBack(UInt8 block, qint64 count) const;
    // The same blocks with the alias or the caption given in place of its own.
    Ptr Replaced(const std::optional<QByteArray>& alias, const std::optional<QByteArray>& caption) const;

    UInt32 mAliasSize = 0;
    UInt32 mCaptionSize = 0;
    UInt32 mUserDataSize = 0;
    UInt8 mImageRoom = 0; // 0 or kImageRecordSize
    UInt8 mHas = 0;
    UInt8 mOnDisk = 0; // the blocks read back from the file; never changes
    bool mInArena = false; // else from the ordinary allocator (large blocks)
};
