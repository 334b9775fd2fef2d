#include "LString.h"

#include "BundleStrings.h"

#include <algorithm>

namespace {
LString::IndexedStringLoader& Loader()
{
    static LString::IndexedStringLoader loader;
    return loader;
}
} // namespace

LString::LString(int capacity)
    : mCapacity(std::clamp(capacity, 0, 255))
{
}

LString::LString(const char* text, int capacity)
    : LString(capacity)
{
    Assign(QString::fromLatin1(text));
}

LString::LString(ConstStr255Param text, int capacity)
    : LString(capacity)
{
    Assign(text);
}

LString::LString(const QString& text, int capacity)
    : LString(capacity)
{
    Assign(text);
}

LString::LString(SInt16 listID, SInt16 index, int capacity)
    : LString(capacity)
{
    LoadIndexed(listID, index);
}

LString& LString::operator=(const LString& other)
{
    // Keeps this string's capacity, like any other assignment.
    return Assign(other.ConstTextPtr());
}

void LString::CutToCapacity()
{
    if (mBytes.Length() > mCapacity)
        mBytes.Data()[0] = static_cast<unsigned char>(mCapacity);
}

LString& LString::Assign(ConstStr255Param text)
{
    mBytes.Assign(text);
    CutToCapacity();
    return *this;
}

LString& LString::Assign(const QString& text)
{
    QStringToPString(text, mBytes);
    CutToCapacity();
    return *this;
}

LString& LString::Assign(const char* bytes, int length)
{
    mBytes.AssignBytes(bytes, length);
    CutToCapacity();
    return *this;
}

LString& LString::Append(ConstStr255Param text)
{
    if (text)
        mBytes.Append(text);
    CutToCapacity();
    return *this;
}

LString& LString::Append(const QString& text)
{
    Str255 bytes;
    QStringToPString(text, bytes);
    return Append(bytes);
}

LString& LString::Insert(const QString& text, int position)
{
    QString current = ToQString();
    current.insert(std::clamp(position, 0, int(current.size())), text);
    return Assign(current);
}

LString& LString::LoadIndexed(SInt16 listID, SInt16 index)
{
    if (index <= 0) {
        // A single string resource: "STR <id>" in the strings table, else empty.
        const QString key = QStringLiteral("STR %1").arg(listID);
        return Assign(BundleHasLocalizedString(key) ? BundleLocalizedString(key) : QString());
    }
    if (Loader()) {
        Loader()(*this, listID, index);
        CutToCapacity();
        return *this;
    }
    return Assign(BundleLocalizedString(QStringLiteral("%1:%2").arg(listID).arg(index)));
}

void LString::SetIndexedStringLoader(IndexedStringLoader loader)
{
    Loader() = std::move(loader);
}
