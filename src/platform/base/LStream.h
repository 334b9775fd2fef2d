#pragma once

#include "ExceptionCode.h"
#include "MacTypes.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <memory>
#include <type_traits>

enum EStreamFrom { streamFrom_Start = 1, streamFrom_End, streamFrom_Marker };

// A byte stream with a marker, in the framework's style. Numbers are big-endian
// unless the LE form is used. Every read checks what remains and throws eofErr
// instead of reading past the end, so a truncated or hostile length can never
// walk out of the data.
class LStream {
public:
    virtual ~LStream() = default;

    SInt64 GetMarker() const { return mMarker; }
    virtual void SetMarker(SInt64 offset, EStreamFrom from = streamFrom_Start);
    SInt64 GetLength() const { return mLength; }
    virtual void SetLength(SInt64 length);
    SInt64 Remaining() const { return mLength - mMarker; }
    bool AtEnd() const { return mMarker >= mLength; }

    // Raw transfer of up to ioByteCount bytes; ioByteCount becomes the count done.
    virtual OSStatus PutBytes(const void* buffer, SInt32& ioByteCount) = 0;
    virtual OSStatus GetBytes(void* buffer, SInt32& ioByteCount) = 0;

    // Whole transfers: throw when fewer bytes than asked can be moved.
    void WriteBlock(const void* buffer, SInt32 byteCount);
    void ReadBlock(void* buffer, SInt32 byteCount);
    void WriteBytes(const QByteArray& bytes) { WriteBlock(bytes.constData(), SInt32(bytes.size())); }
    // Reads `count` bytes; the count is checked against what remains before anything is allocated.
    QByteArray ReadBytes(SInt64 count);
    void Skip(SInt64 count);

    UInt8 ReadUInt8();
    UInt16 ReadUInt16();
    UInt32 ReadUInt32();
    UInt64 ReadUInt64();
    UInt16 ReadUInt16LE();
    UInt32 ReadUInt32LE();
    UInt64 ReadUInt64LE();
    SInt8 ReadSInt8() { return static_cast<SInt8>(ReadUInt8()); }
    SInt16 ReadSInt16() { return static_cast<SInt16>(ReadUInt16()); }
    SInt32 ReadSInt32() { return static_cast<SInt32>(ReadUInt32()); }
    SInt64 ReadSInt64() { return static_cast<SInt64>(ReadUInt64()); }

    void WriteUInt8(UInt8 value);
    void WriteUInt16(UInt16 value);
    void WriteUInt32(UInt32 value);
    void WriteUInt64(UInt64 value);
    void WriteUInt16LE(UInt16 value);
    void WriteUInt32LE(UInt32 value);
    void WriteUInt64LE(UInt64 value);

    // Pascal strings: a length byte and that many bytes; ReadPString cuts to the capacity.
    void WritePString(const unsigned char* pString);
    void ReadPString(unsigned char* outPString, int capacity = 255);

    // Big-endian stream operators for the integer types, as the framework had them.
    template <typename T>
        requires std::is_integral_v<T>
    LStream& operator<<(T value)
    {
        WriteInteger(static_cast<std::make_unsigned_t<T>>(value), sizeof(T));
        return *this;
    }

    template <typename T>
        requires std::is_integral_v<T>
    LStream& operator>>(T& value)
    {
        value = static_cast<T>(ReadInteger(sizeof(T)));
        return *this;
    }

protected:
    SInt64 mMarker = 0;
    SInt64 mLength = 0;

private:
    void WriteInteger(UInt64 value, int size);
    UInt64 ReadInteger(int size);
    [[noreturn]] void ThrowEndOfData(SInt64 wanted) const;
};

// A stream over bytes in memory; grows as it is written.
class LDataStream : public LStream {
public:
    LDataStream() = default;
    explicit LDataStream(QByteArray bytes);

    const QByteArray& Data() const { return mData; }
    QByteArray TakeData();
    // Writes on into `room`'s allocation (an empty array with the capacity made
    // ahead) when the stream holds nothing; else `room` is let go.
    void GiveRoom(QByteArray room);

    void SetLength(SInt64 length) override;
    OSStatus PutBytes(const void* buffer, SInt32& ioByteCount) override;
    OSStatus GetBytes(void* buffer, SInt32& ioByteCount) override;

private:
    QByteArray mData;
};

// A stream over an open file. Opening failures throw the matching OS error.
// A stream on a file. Read and ReadWrite work on the file itself; Truncate
// writes a new file through a temporary file beside it, which Close() renames
// into place once every byte has reached the disk. A Truncate stream destroyed
// without Close() leaves the old file as it was. Failed writes throw.
class LFileStream : public LStream {
public:
    enum class Mode { Read, ReadWrite, Truncate };
    LFileStream(const QString& path, Mode mode);
    ~LFileStream() override;

    void SetMarker(SInt64 offset, EStreamFrom from = streamFrom_Start) override;
    void SetLength(SInt64 length) override;
    OSStatus PutBytes(const void* buffer, SInt32& ioByteCount) override;
    OSStatus GetBytes(void* buffer, SInt32& ioByteCount) override;

    // Flushes, checks and closes the file (renaming a Truncate stream's file
    // into place and syncing its folder); throws when any of it fails.
    void Close();

    // The file the stream stands for (not its temporary file).
    const QString& Path() const { return mPath; }

private:
    QString mPath;
    Mode mMode;
    QFile mFile;
    bool mClosed = false;
};

// The OS error that best names a failed QFile operation.
OSStatus OSErrorFromFileError(QFileDevice::FileError error, const QString& path);
