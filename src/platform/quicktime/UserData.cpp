#include "UserData.h"

#include "ExceptionCode.h"
#include "LStream.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

constexpr SInt64 kAtomHeaderSize = 8; // u32 size, u32 type
constexpr SInt64 kTextEntryHeaderSize = 4; // u16 text length, u16 language code

struct TextEntry {
    UInt16 language = 0;
    QByteArray text;
};

// Splits a text item into its entries; false when an entry runs past the item.
bool ParseTextEntries(const QByteArray& item, std::vector<TextEntry>& outEntries)
{
    outEntries.clear();
    LDataStream stream(item);
    while (!stream.AtEnd()) {
        if (stream.Remaining() < kTextEntryHeaderSize)
            return false;
        const UInt16 length = stream.ReadUInt16();
        const UInt16 language = stream.ReadUInt16();
        if (length > stream.Remaining())
            return false;
        outEntries.push_back({language, stream.ReadBytes(length)});
    }
    return true;
}

QByteArray JoinTextEntries(const std::vector<TextEntry>& entries)
{
    LDataStream stream;
    for (const TextEntry& entry : entries) {
        stream.WriteUInt16(UInt16(entry.text.size()));
        stream.WriteUInt16(entry.language);
        stream.WriteBytes(entry.text);
    }
    return stream.TakeData();
}

} // namespace

UserData::TypeItems* UserData::Find(OSType type)
{
    auto it = std::find_if(mTypes.begin(), mTypes.end(), [type](const TypeItems& t) { return t.type == type; });
    return it == mTypes.end() ? nullptr : &*it;
}

const UserData::TypeItems* UserData::Find(OSType type) const
{
    return const_cast<UserData*>(this)->Find(type);
}

OSStatus UserData::NewUserDataFromHandle(const QByteArray& block, std::unique_ptr<UserData>& outUserData)
{
    outUserData.reset();
    auto userData = std::make_unique<UserData>();
    LDataStream stream(block);
    // The closing zero is optional on reading: blocks cut right after their
    // last atom are still whole.
    while (!stream.AtEnd()) {
        if (stream.Remaining() < 4)
            return badFormat;
        const UInt32 size = stream.ReadUInt32();
        if (size == 0)
            break;
        // Sizes below the header (1 would announce a 64-bit size) or past the
        // end of the block make the whole block unreadable.
        if (size < kAtomHeaderSize || SInt64(size) - 4 > stream.Remaining())
            return badFormat;
        const OSType type = stream.ReadUInt32();
        userData->AddUserData(stream.ReadBytes(SInt64(size) - kAtomHeaderSize), type);
    }
    outUserData = std::move(userData);
    return noErr;
}

std::unique_ptr<UserData> UserData::FromHandle(const QByteArray& block)
{
    std::unique_ptr<UserData> userData;
    ThrowIfOSErr_(NewUserDataFromHandle(block, userData));
    return userData;
}

OSStatus UserData::PutUserDataIntoHandle(QByteArray& outBlock) const
{
    // Sized first and filled in place: a save writes the block of every item.
    qsizetype total = 4;
    for (const TypeItems& entry : mTypes) {
        for (const QByteArray& item : entry.items) {
            if (kAtomHeaderSize + item.size() > std::numeric_limits<UInt32>::max())
                return paramErr;
            total += kAtomHeaderSize + item.size();
        }
    }
    QByteArray block(total, Qt::Uninitialized);
    char* out = block.data();
    for (const TypeItems& entry : mTypes) {
        for (const QByteArray& item : entry.items) {
            qToBigEndian(UInt32(kAtomHeaderSize + item.size()), out);
            qToBigEndian(UInt32(entry.type), out + 4);
            std::memcpy(out + kAtomHeaderSize, item.constData(), size_t(item.size()));
            out += kAtomHeaderSize + item.size();
        }
    }
    qToBigEndian(UInt32(0), out);
    outBlock = std::move(block);
    return noErr;
}

QByteArray UserData::ToHandle() const
{
    QByteArray block;
    ThrowIfOSErr_(PutUserDataIntoHandle(block));
    return block;
}

OSType UserData::GetNextUserDataType(OSType type) const
{
    if (type == 0)
        return mTypes.empty() ? 0 : mTypes.front().type;
    for (size_t i = 0; i + 1 < mTypes.size(); ++i) {
        if (mTypes[i].type == type)
            return mTypes[i + 1].type;
    }
    return 0;
}

SInt32 UserData::CountUserDataType(OSType type) const
{
    const TypeItems* entry = Find(type);
    return entry ? SInt32(entry->items.size()) : 0;
}

OSStatus UserData::GetUserData(QByteArray& outData, OSType type, SInt32 index) const
{
    const TypeItems* entry = Find(type);
    if (!entry || index < 1 || size_t(index) > entry->items.size())
        return userDataItemNotFound;
    outData = entry->items[size_t(index) - 1];
    return noErr;
}

OSStatus UserData::AddUserData(const QByteArray& data, OSType type)
{
    TypeItems* entry = Find(type);
    if (!entry) {
        mTypes.push_back({type, {}});
        entry = &mTypes.back();
    }
    entry->items.push_back(data);
    return noErr;
}

OSStatus UserData::SetUserDataItem(const QByteArray& data, OSType type, SInt32 index)
{
    const SInt32 count = CountUserDataType(type);
    if (index < 1 || index > count + 1)
        return userDataItemNotFound;
    if (index == count + 1)
        return AddUserData(data, type);
    Find(type)->items[size_t(index) - 1] = data;
    return noErr;
}

OSStatus UserData::RemoveUserData(OSType type, SInt32 index)
{
    TypeItems* entry = Find(type);
    if (!entry || index < 1 || size_t(index) > entry->items.size())
        return userDataItemNotFound;
    entry->items.erase(entry->items.begin() + (index - 1));
    if (entry->items.empty())
        mTypes.erase(mTypes.begin() + (entry - mTypes.data()));
    return noErr;
}

OSStatus UserData::GetUserDataText(QByteArray& outText, OSType type, SInt32 index, SInt16 language) const
{
    QByteArray item;
    if (OSStatus err = GetUserData(item, type, index))
        return err;
    std::vector<TextEntry> entries;
    if (!ParseTextEntries(item, entries))
        return badFormat;
    for (const TextEntry& entry : entries) {
        if (entry.language == UInt16(language)) {
            outText = entry.text;
            return noErr;
        }
    }
    return userDataItemNotFound;
}

OSStatus UserData::AddUserDataText(const QByteArray& text, OSType type, SInt32 index, SInt16 language)
{
    if (text.size() > std::numeric_limits<UInt16>::max())
        return paramErr;
    const SInt32 count = CountUserDataType(type);
    if (index < 1 || index > count + 1)
        return userDataItemNotFound;
    std::vector<TextEntry> entries;
    if (index <= count && !ParseTextEntries(Find(type)->items[size_t(index) - 1], entries))
        return badFormat;
    auto it = std::find_if(
        entries.begin(), entries.end(), [language](const TextEntry& e) { return e.language == UInt16(language); });
    if (it != entries.end())
        it->text = text;
    else
        entries.push_back({UInt16(language), text});
    return SetUserDataItem(JoinTextEntries(entries), type, index);
}

OSStatus UserData::RemoveUserDataText(OSType type, SInt32 index, SInt16 language)
{
    QByteArray item;
    if (OSStatus err = GetUserData(item, type, index))
        return err;
    std::vector<TextEntry> entries;
    if (!ParseTextEntries(item, entries))
        return badFormat;
    auto it = std::find_if(
        entries.begin(), entries.end(), [language](const TextEntry& e) { return e.language == UInt16(language); });
    if (it == entries.end())
        return userDataItemNotFound;
    entries.erase(it);
    // The last text of an item takes the item with it.
    if (entries.empty())
        return RemoveUserData(type, index);
    return SetUserDataItem(JoinTextEntries(entries), type, index);
}
