#pragma once

#include "MacTypes.h"

#include <QByteArray>
#include <memory>
#include <vector>

// User data's own error numbers.
inline constexpr OSStatus userDataItemNotFound = -2026; // no item of that type, index or language

// Item types. Text items have the © sign (byte 0xA9) and three letters:
// UserDataTextType("aut") is '©aut'. The image metadata an importer hands
// over is one item per tag: 'ex' and the 16-bit EXIF tag, 'ti' and the TIFF tag.
constexpr OSType UserDataTextType(const char (&letters)[4])
{
    return (OSType(0xA9) << 24) | (OSType(UInt8(letters[0])) << 16) | (OSType(UInt8(letters[1])) << 8)
        | OSType(UInt8(letters[2]));
}
constexpr OSType EXIFUserDataType(UInt16 tag) { return (OSType('e') << 24) | (OSType('x') << 16) | tag; }
constexpr OSType TIFFUserDataType(UInt16 tag) { return (OSType('t') << 24) | (OSType('i') << 16) | tag; }
constexpr bool IsTextUserDataType(OSType type) { return (type >> 24) == 0xA9; }

// A collection of metadata items keyed by four-character type, several items
// per type (numbered from 1). Items are opaque bytes, except text items, whose
// bytes are a run of (u16 text length, u16 language code, text) entries: one
// text per language. The ©-types ('©nam', '©aut', ...) are text items.
//
// Serialised, user data is the contents of a 'udta' atom: one atom per item
// (u32 size including the 8-byte header, u32 type, data), big-endian, the
// items of one type together in index order, the types in the order they were
// first added, closed by a 32-bit zero. index.db stores exactly these bytes.
class UserData {
public:
    UserData() = default;
    UserData(const UserData&) = default;
    UserData& operator=(const UserData&) = default;

    // Reads a serialised block. Every atom size is checked against what
    // remains: a malformed block gives badFormat and no user data.
    static OSStatus NewUserDataFromHandle(const QByteArray& block, std::unique_ptr<UserData>& outUserData);
    // Throwing form of the above.
    static std::unique_ptr<UserData> FromHandle(const QByteArray& block);

    // Replaces `outBlock` with the serialised form.
    OSStatus PutUserDataIntoHandle(QByteArray& outBlock) const;
    QByteArray ToHandle() const;

    bool IsEmpty() const { return mTypes.empty(); }

    // The type after `type` in this user data's order; 0 starts the walk, and
    // 0 comes back after the last type (or when `type` is not present).
    OSType GetNextUserDataType(OSType type) const;
    SInt32 CountUserDataType(OSType type) const;

    // Item `index` (from 1) of `type`, whole; userDataItemNotFound when absent.
    OSStatus GetUserData(QByteArray& outData, OSType type, SInt32 index) const;
    // Appends an item of `type`.
    OSStatus AddUserData(const QByteArray& data, OSType type);
    // Replaces item `index`, or appends it when index is one past the last.
    OSStatus SetUserDataItem(const QByteArray& data, OSType type, SInt32 index);
    OSStatus RemoveUserData(OSType type, SInt32 index);

    // The text of `language` in text item `index`. A missing item or language
    // gives userDataItemNotFound; an item whose entries run past its end gives
    // badFormat.
    OSStatus GetUserDataText(QByteArray& outText, OSType type, SInt32 index, SInt16 language) const;
    // Sets the text of `language` in item `index` (replacing that language's
    // text, keeping the others); index one past the last makes a new item.
    // Texts longer than 65535 bytes give paramErr.
    OSStatus AddUserDataText(const QByteArray& text, OSType type, SInt32 index, SInt16 language);
    OSStatus RemoveUserDataText(OSType type, SInt32 index, SInt16 language);

    friend bool operator==(const UserData&, const UserData&) = default;

private:
    struct TypeItems {
        OSType type = 0;
        std::vector<QByteArray> items;
        friend bool operator==(const TypeItems&, const TypeItems&) = default;
    };

    TypeItems* Find(OSType type);
    const TypeItems* Find(OSType type) const;

    std::vector<TypeItems> mTypes;
};
