#pragma once

#include <QByteArray>
#include <initializer_list>

// Builds record bytes by hand, field by field, the way the format tables lay them out.
class RecordBytes {
public:
    RecordBytes& Tag(unsigned char tag)
    {
        mBytes.append(char(tag));
        return *this;
    }
    RecordBytes& U32BE(unsigned value)
    {
        for (int shift = 24; shift >= 0; shift -= 8)
            mBytes.append(char((value >> shift) & 0xFF));
        return *this;
    }
    RecordBytes& U32LE(unsigned value)
    {
        for (int shift = 0; shift <= 24; shift += 8)
            mBytes.append(char((value >> shift) & 0xFF));
        return *this;
    }
    RecordBytes& U16BE(unsigned value)
    {
        mBytes.append(char((value >> 8) & 0xFF));
        mBytes.append(char(value & 0xFF));
        return *this;
    }
    RecordBytes& U16LE(unsigned value)
    {
        mBytes.append(char(value & 0xFF));
        mBytes.append(char((value >> 8) & 0xFF));
        return *this;
    }
    RecordBytes& Bytes(const QByteArray& bytes)
    {
        mBytes.append(bytes);
        return *this;
    }
    // A counted string in a fixed field: length byte, text, zeros to `size` bytes.
    RecordBytes& PascalField(const QByteArray& text, int size)
    {
        mBytes.append(char(text.size()));
        mBytes.append(text);
        return Zeros(size - 1 - int(text.size()));
    }
    RecordBytes& Zeros(int count)
    {
        mBytes.append(QByteArray(count, '\0'));
        return *this;
    }
    // A tag with a big-endian count and its bytes (index.db strings and blocks).
    RecordBytes& CountedBE(unsigned char tag, const QByteArray& bytes)
    {
        return Tag(tag).U32BE(unsigned(bytes.size())).Bytes(bytes);
    }
    RecordBytes& CountedLE(unsigned char tag, const QByteArray& bytes)
    {
        return Tag(tag).U32LE(unsigned(bytes.size())).Bytes(bytes);
    }
    const QByteArray& Data() const { return mBytes; }
    operator QByteArray() const { return mBytes; }

private:
    QByteArray mBytes;
};

// One index.db record of a remote item as the format's table lays it out: name,
// catalogue fields (type, size, three dates, thumbnail number 0, flags) and the
// remote address; a thumbnail number where one is given.
inline QByteArray RemoteRecord(const QByteArray& name, unsigned size, unsigned thumbnail = 0)
{
    return RecordBytes()
        .CountedBE(16, name)
        .Tag(4)
        .U32BE('JPEG')
        .U32BE(size)
        .U32BE(3000000000u)
        .U32BE(3100000000u)
        .U32BE(3200000000u)
        .U32BE(thumbnail)
        .U32BE(0)
        .CountedBE(7, "http://example.org/" + name)
        .Tag(2);
}
