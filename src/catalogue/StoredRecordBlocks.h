#pragma once

#include "IndexDbRecord.h"

#include <QByteArray>
#include <QByteArrayView>
#include <memory>

// The blocks of an index.db record that an item keeps as they were read until
// it is asked for them: the alias, the caption, the image record and the user
// data (a photograph's EXIF: parsed, it takes several times its bytes), in one
// allocation. Each can be dropped (when the item replaces or parses it); the
// bytes stay until the whole is freed.
class StoredRecordBlocks {
public:
    struct Free {
        void operator()(StoredRecordBlocks* blocks) const;
    };
    using Ptr = std::unique_ptr<StoredRecordBlocks, Free>;

    // Null when the record holds none of the four.
    static Ptr Make(const IndexDbRecord& record);

    bool HasAlias() const { return mHas & kAlias; }
    bool HasCaption() const { return mHas & kCaption; }
    bool HasImageRecord() const { return mHas & kImageRecord; }
    bool HasUserData() const { return mHas & kUserData; }
    bool IsEmpty() const { return mHas == 0; }

    QByteArrayView Alias() const { return {Bytes() + mImageRoom, qsizetype(mAliasSize)}; }
    QByteArrayView Caption() const { return {Bytes() + mImageRoom + mAliasSize, qsizetype(mCaptionSize)}; }
    QByteArrayView UserDataBlock() const
    {
        return {Bytes() + mImageRoom + mAliasSize + mCaptionSize, qsizetype(mUserDataSize)};
    }
    ImageRecordBytes ImageRecord() const;
    // A copy owning its bytes, for whoever keeps it past the blocks.
    QByteArray AliasBytes() const { return Alias().toByteArray(); }
    QByteArray CaptionBytes() const { return Caption().toByteArray(); }
    QByteArray UserDataBytes() const { return UserDataBlock().toByteArray(); }

    void DropAlias() { mHas &= ~kAlias; }
    void DropCaption() { mHas &= ~kCaption; }
    void DropImageRecord() { mHas &= ~kImageRecord; }
    void DropUserData() { mHas &= ~kUserData; }

private:
    enum : UInt8 { kAlias = 1, kCaption = 2, kImageRecord = 4, kUserData = 8 };

    StoredRecordBlocks() = default;
    // The image record first (when the record had one), then the alias, the
    // caption and the user data.
    const char* Bytes() const { return reinterpret_cast<const char*>(this + 1); }
    char* Bytes() { return reinterpret_cast<char*>(this + 1); }

    UInt32 mAliasSize = 0;
    UInt32 mCaptionSize = 0;
    UInt32 mUserDataSize = 0;
    UInt8 mImageRoom = 0; // 0 or kImageRecordSize
    UInt8 mHas = 0;
    bool mInArena = false; // else from the ordinary allocator (large blocks)
};
