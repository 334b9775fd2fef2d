#pragma once

#include "MacTypes.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstring>

using StringPtr = unsigned char*;
using ConstStringPtr = const unsigned char*;
using ConstStr255Param = const unsigned char*;

// A Pascal string: a length byte followed by up to N bytes of Mac Roman text.
// Converts to ConstStr255Param so it can be passed where the old code took one.
template <int N>
class PString {
public:
    static constexpr int kCapacity = N;

    PString() { mBytes[0] = 0; }
    explicit PString(ConstStr255Param source) { Assign(source); }
    explicit PString(const char* text) { AssignBytes(text, int(std::strlen(text))); }

    int Length() const { return mBytes[0]; }
    bool IsEmpty() const { return mBytes[0] == 0; }
    const unsigned char* Text() const { return mBytes.data() + 1; }
    unsigned char* Data() { return mBytes.data(); }
    const unsigned char* Data() const { return mBytes.data(); }
    operator ConstStr255Param() const { return mBytes.data(); }

    void Clear() { mBytes[0] = 0; }

    // Copies a Pascal string, cutting it to the capacity.
    void Assign(ConstStr255Param source)
    {
        if (!source) {
            Clear();
            return;
        }
        AssignBytes(reinterpret_cast<const char*>(source + 1), source[0]);
    }

    // Copies raw bytes, cutting them to the capacity; returns false when cut.
    bool AssignBytes(const char* bytes, int length)
    {
        int count = length < 0 ? 0 : (length > N ? N : length);
        if (count > 0)
            std::memmove(mBytes.data() + 1, bytes, size_t(count));
        mBytes[0] = static_cast<unsigned char>(count);
        return count == length;
    }

    bool AssignBytes(const QByteArray& bytes) { return AssignBytes(bytes.constData(), int(bytes.size())); }

    // Appends bytes up to the capacity; returns false when cut.
    bool Append(ConstStr255Param other)
    {
        int room = N - Length();
        int count = other[0] < room ? other[0] : room;
        std::memcpy(mBytes.data() + 1 + Length(), other + 1, size_t(count));
        mBytes[0] = static_cast<unsigned char>(Length() + count);
        return count == other[0];
    }

    QByteArray Bytes() const { return QByteArray(reinterpret_cast<const char*>(Text()), Length()); }

    friend bool operator==(const PString& a, const PString& b)
    {
        return a.Length() == b.Length() && std::memcmp(a.Text(), b.Text(), size_t(a.Length())) == 0;
    }

private:
    std::array<unsigned char, N + 1> mBytes {};
};

using Str255 = PString<255>;
using Str63 = PString<63>;
using Str31 = PString<31>;
using Str32 = PString<32>;
using Str15 = PString<15>;

// Text of a Pascal string decoded from Mac Roman.
QString PStringToQString(ConstStr255Param source);

// Encodes `text` as Mac Roman into `out` (at most its capacity). Returns false when
// a character had no Mac Roman byte or the text was cut; `out` holds what fitted.
bool QStringToPString(const QString& text, unsigned char* out, int capacity);

template <int N>
bool QStringToPString(const QString& text, PString<N>& out)
{
    return QStringToPString(text, out.Data(), N);
}

template <int N = 255>
PString<N> MakePString(const QString& text)
{
    PString<N> result;
    QStringToPString(text, result);
    return result;
}
