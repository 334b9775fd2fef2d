#pragma once

#include "PString.h"

#include <QString>
#include <functional>

// The framework's string object: a Mac Roman Pascal string of a fixed capacity
// (at most 255 bytes). Its indexed loader takes a text by string list and index.
class LString {
public:
    explicit LString(int capacity = 255);
    LString(const char* text, int capacity = 255);
    LString(ConstStr255Param text, int capacity = 255);
    LString(const QString& text, int capacity = 255);
    LString(SInt16 listID, SInt16 index, int capacity = 255);
    LString(const LString& other) = default;
    LString& operator=(const LString& other);

    int Capacity() const { return mCapacity; }
    int Length() const { return mBytes[0]; }
    bool IsEmpty() const { return Length() == 0; }
    const unsigned char* TextPtr() const { return mBytes.Text(); }
    ConstStr255Param ConstTextPtr() const { return mBytes; }
    operator ConstStr255Param() const { return mBytes; }
    // Room to write into (the length byte first); at most Capacity() bytes.
    unsigned char* Data() { return mBytes.Data(); }

    LString& Assign(ConstStr255Param text);
    LString& Assign(const QString& text);
    LString& Assign(const char* bytes, int length);
    LString& Append(ConstStr255Param text);
    LString& Append(const QString& text);
    LString& Insert(const QString& text, int position); // position in characters, 0 = front
    LString& operator=(const QString& text) { return Assign(text); }
    LString& operator+=(const QString& text) { return Append(text); }
    LString& operator+=(ConstStr255Param text) { return Append(text); }

    QString ToQString() const { return PStringToQString(mBytes); }
    QByteArray Bytes() const { return mBytes.Bytes(); }

    friend bool operator==(const LString& a, const LString& b) { return a.mBytes == b.mBytes; }

    // Index > 0: the localized text of the key "list:index" (through the loader
    // hook); index <= 0: the single string resource of that ID, empty when missing.
    LString& LoadIndexed(SInt16 listID, SInt16 index);

    // The loader of list texts. Without a hook the bundle strings table answers
    // directly; the foundation installs its localized-string routine here.
    using IndexedStringLoader = std::function<void(LString& out, SInt16 listID, SInt16 index)>;
    static void SetIndexedStringLoader(IndexedStringLoader loader);

private:
    void CutToCapacity();

    Str255 mBytes;
    int mCapacity;
};

using LStr255 = LString;
